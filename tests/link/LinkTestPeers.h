#pragma once
// Peers for the Link server tests, all on the loopback interface: a raw TCP client for what real
// clients never send (malformed requests, oversize control frames, silence), and the node
// scenarios of tests/node/link-client.mjs, which drive the npm `ws` client.

#include "common/LoopbackSocket.h"
#include "common/TestPaths.h"
#include "common/WebSocketFrames.h"
#include "support/Json.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace vyn::test {

class RawClient {
public:
    // `receiveBuffer` > 0 caps the kernel's receive buffer, so that a client that stops reading
    // pushes back on the server at once.
    explicit RawClient(int port, int receiveBuffer = 0)
        : socket_(connectLoopback(port, receiveBuffer)) {}
    ~RawClient() { closeLoopback(socket_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool send(const std::string& bytes) { return sendAll(socket_, bytes); }
    // Reads until `done(received)` holds, the peer closes, or the time runs out.
    template <typename Done> std::string readUntil(Done done, int timeoutMs = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done(received_) && !closed_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) break;
            if (receiveSome(socket_, received_, static_cast<int>(left)) < 0) {
                closed_ = true;
                break;
            }
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
    LoopbackSocket socket_;
    bool closed_ = false;
    std::string received_;
};

inline std::string upgradeRequest(int port, const std::string& extra = {}) {
    return "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
           extra + "\r\n";
}

// A close frame's payload: the code, big-endian, then the reason.
inline std::string closePayload(std::uint16_t code, const std::string& reason = {}) {
    return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)} + reason;
}

// A raw client that upgraded and paired with `code`.
inline std::unique_ptr<RawClient> pairedClient(int port, const std::string& code,
                                               int receiveBuffer = 0) {
    auto c = std::make_unique<RawClient>(port, receiveBuffer);
    EXPECT_TRUE(c->send(upgradeRequest(port) +
                        clientFrame(1, "{\"t\":\"hello\",\"pair\":\"" + code + "\"}")));
    c->readUntil(
        [](const std::string& r) { return r.find("{\"t\":\"paired\"}") != std::string::npos; });
    EXPECT_NE(c->received().find("{\"t\":\"paired\"}"), std::string::npos);
    return c;
}

// The waveform frames in a server byte stream, one line each; a frame whose length disagrees with
// its column count is marked.
inline std::vector<std::string> waveFrames(const std::string& bytes) {
    std::vector<std::string> out;
    for (const ServerFrame& f : serverFrames(bytes)) {
        if (f.opcode != 2 || f.payload.size() < 20) continue;
        std::int32_t header[4]; // deck, track, count, kind
        float cps;
        std::memcpy(header, f.payload.data(), sizeof header);
        std::memcpy(&cps, f.payload.data() + 16, 4);
        const bool whole = f.payload.size() == 20u + 4u * static_cast<std::uint32_t>(header[2]);
        char line[112];
        std::snprintf(line, sizeof line, "deck %d track %d kind %d columns %d cps %.3f%s",
                      header[0], header[1], header[3], header[2], cps, whole ? "" : " (cut)");
        out.push_back(line);
    }
    return out;
}

// Runs a node script of tests/node and returns its JSON report (its last output line).
inline JsonValue runNodeScript(const std::string& script, const std::string& args) {
    const std::string dir = std::string(VYN_SOURCE_DIR) + "/tests/node";
    if (!std::filesystem::exists(dir + "/node_modules/ws")) {
        ADD_FAILURE() << "the node test packages are missing: run scripts/install-deps";
        return {};
    }
    const ProcessResult r = runProcess("node '" + dir + "/" + script + "' " + args);
    std::string last = r.out;
    while (!last.empty() && last.back() == '\n')
        last.pop_back();
    last = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
    JsonParseResult parsed = parseJson(last);
    EXPECT_TRUE(parsed.ok && r.exitCode == 0)
        << "node " << script << " " << args << " exited " << r.exitCode << ": " << r.out << r.err;
    if (const JsonValue* e = parsed.value.find("error"))
        ADD_FAILURE() << e->asString() << "\n" << r.err;
    return parsed.value;
}

// A scenario of link-client.mjs, the npm `ws` client.
inline JsonValue runNodeScenario(const std::string& args) {
    return runNodeScript("link-client.mjs", args);
}

} // namespace vyn::test
