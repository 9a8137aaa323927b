#pragma once
// Peers for the Link server tests, all on the loopback interface: a raw TCP client for what real
// clients never send (malformed requests, oversize control frames, silence), and the node
// scenarios of tests/node/link-client.mjs, which drive the npm `ws` client.

#include "common/TestPaths.h"
#include "support/Json.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace vyn::test {

class RawClient {
public:
    // `receiveBuffer` > 0 caps the kernel's receive buffer, so that a client that stops reading
    // pushes back on the server at once.
    explicit RawClient(int port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }
    bool send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Reads until `done(received)` holds, the peer closes, or the time runs out.
    template <typename Done> std::string readUntil(Done done, int timeoutMs = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done(received_) && !closed_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buf[65536];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) {
                closed_ = true;
                break;
            }
            received_.append(buf, static_cast<std::size_t>(n));
        }
        return received_;
    }
    std::string readAll(int timeoutMs = 3000) {
        return readUntil([](const std::string&) { return false; }, timeoutMs);
    }
    // True once the server has closed the connection (waits up to the timeout).
    bool closedByPeer(int timeoutMs = 3000) {
        readAll(timeoutMs);
        return closed_;
    }
    std::string& received() { return received_; }

private:
    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
    std::string received_;
};

inline std::string upgradeRequest(int port, const std::string& extra = {}) {
    return "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
           extra + "\r\n";
}

// A client frame: masked with a fixed key unless `mask` is false; `rsv` sets reserved bits.
inline std::string maskedFrame(std::uint8_t opcode, const std::string& payload, bool fin = true,
                               bool mask = true, std::uint8_t rsv = 0) {
    std::string f;
    f += static_cast<char>((fin ? 0x80 : 0) | rsv | opcode);
    const std::uint8_t m = mask ? 0x80 : 0;
    const std::uint64_t n = payload.size();
    if (n < 126) {
        f += static_cast<char>(m | n);
    } else if (n <= 65535) {
        f += static_cast<char>(m | 126);
        f += static_cast<char>(n >> 8);
        f += static_cast<char>(n & 255);
    } else {
        f += static_cast<char>(m | 127);
        for (int i = 7; i >= 0; --i)
            f += static_cast<char>((n >> (8 * i)) & 255);
    }
    const char key[4] = {'\x0f', '\x5a', '\x33', '\x71'};
    if (mask) f.append(key, 4);
    for (std::size_t i = 0; i < n; ++i)
        f += mask ? static_cast<char>(payload[i] ^ key[i & 3]) : payload[i];
    return f;
}

struct ServerFrame {
    std::uint8_t opcode = 0;
    std::string payload;
};

// The whole unmasked server frames in `bytes` (after the HTTP response).
inline std::vector<ServerFrame> serverFrames(const std::string& bytes) {
    std::vector<ServerFrame> out;
    std::size_t pos = bytes.find("\r\n\r\n");
    pos = pos == std::string::npos ? 0 : pos + 4;
    const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    while (pos + 2 <= bytes.size()) {
        std::uint64_t n = at(pos + 1) & 0x7F;
        std::size_t h = 2;
        if (n == 126) {
            if (pos + 4 > bytes.size()) break;
            n = (std::uint64_t(at(pos + 2)) << 8) | at(pos + 3);
            h = 4;
        } else if (n == 127) {
            if (pos + 10 > bytes.size()) break;
            n = 0;
            for (std::size_t i = 0; i < 8; ++i)
                n = (n << 8) | at(pos + 2 + i);
            h = 10;
        }
        if (pos + h + n > bytes.size()) break;
        out.push_back({static_cast<std::uint8_t>(at(pos) & 0x0F),
                       bytes.substr(pos + h, static_cast<std::size_t>(n))});
        pos += h + static_cast<std::size_t>(n);
    }
    return out;
}

// The text payloads of the server frames in `bytes`.
inline std::vector<std::string> serverTexts(const std::string& bytes) {
    std::vector<std::string> out;
    for (ServerFrame& f : serverFrames(bytes))
        if (f.opcode == 1) out.push_back(std::move(f.payload));
    return out;
}

inline std::string nodeDir() {
    return std::string(VYN_SOURCE_DIR) + "/tests/node";
}

// Runs a scenario of link-client.mjs and returns its JSON report (its last output line).
inline JsonValue runNodeScenario(const std::string& args) {
    const std::string dir = nodeDir();
    if (::access((dir + "/node_modules/ws").c_str(), F_OK) != 0) {
        ADD_FAILURE() << "the node test packages are missing: run scripts/install-deps";
        return {};
    }
    const ProcessResult r = runProcess("node '" + dir + "/link-client.mjs' " + args);
    std::string last = r.out;
    while (!last.empty() && last.back() == '\n')
        last.pop_back();
    last = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
    JsonParseResult parsed = parseJson(last);
    EXPECT_TRUE(parsed.ok && r.exitCode == 0)
        << "node " << args << " exited " << r.exitCode << ": " << r.out << r.err;
    if (const JsonValue* e = parsed.value.find("error")) ADD_FAILURE() << e->asString();
    return parsed.value;
}

} // namespace vyn::test
