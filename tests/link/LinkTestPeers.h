#pragma once
// Peers for the Link server tests, all on the loopback interface: a raw TCP client for what real
// clients never send (malformed requests, oversize control frames, silence), and the node
// scenarios of tests/node/link-client.mjs, which drive the npm `ws` client.

#include "common/TestPaths.h"
#include "common/WebSocketFrames.h"
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

// A client frame, masked unless `mask` is false (common/WebSocketFrames.h).
inline std::string maskedFrame(std::uint8_t opcode, const std::string& payload, bool fin = true,
                               bool mask = true, std::uint8_t rsv = 0) {
    return clientFrame(opcode, payload, fin, mask, rsv);
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
