// The WebSocket server side of RFC 6455, as the well-known conformance suites test it, with raw
// sockets against the running Link server: each case gets the RFC's answer, either the right
// close code (and the connection ends after it) or the frames accepted and the connection alive.

#include "LinkServerFixture.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

using test::clientFrame;
using test::closePayload;
using test::ServerFrame;

constexpr int kNoClose = -1;
const std::string kEuro = "\xE2\x82\xAC";

class LinkConformance : public test::LinkServerFixture {
protected:
    void SetUp() override { start(settings("")); } // paired at upgrade

    // Sends the upgrade, `bytes` and a ping "end"; returns the frames the server sent until its
    // close (and the end of the connection) or the pong "end", whichever came first.
    std::vector<ServerFrame> exchange(const std::string& bytes) {
        test::RawClient c(port);
        c.send(test::upgradeRequest(port) + bytes + clientFrame(9, "end"));
        bool closed = false;
        c.readUntil([&closed](const std::string& r) {
            for (const ServerFrame& f : test::serverFrames(r)) {
                closed = closed || f.opcode == 8;
                if (f.opcode == 10 && f.payload == "end") return true;
            }
            return closed;
        });
        closedAfter = closed && c.closedByPeer(2000);
        return test::serverFrames(c.received());
    }
    // The close code the server answered with (0: a close without one), or kNoClose; fails when
    // anything follows a close frame.
    static int closeCode(const std::vector<ServerFrame>& frames) {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (frames[i].opcode != 8) continue;
            EXPECT_EQ(i + 1, frames.size()) << "frames after the close";
            const std::string& p = frames[i].payload;
            if (p.size() < 2) return 0;
            return (static_cast<std::uint8_t>(p[0]) << 8) | static_cast<std::uint8_t>(p[1]);
        }
        return kNoClose;
    }
    void expectClosedWith(const std::string& bytes, int code, const std::string& what) {
        const auto frames = exchange(bytes);
        EXPECT_EQ(closeCode(frames), code) << what;
        EXPECT_TRUE(closedAfter) << what;
        for (const ServerFrame& f : frames)
            EXPECT_NE(f.opcode, 10) << what << ": nothing after the faulty frame is answered";
    }
    bool closedAfter = false;
};

// Which fault earns which code is the reader's (WebSocketReaderTest); here one fault per code
// shows the server closing with it and answering nothing after.
TEST_F(LinkConformance, FaultsCloseWithTheReadersCode) {
    const struct {
        std::string bytes;
        int code;
        const char* what;
    } cases[] = {
        {clientFrame(1, "plain", true, false), 1002, "unmasked client frame"},
        {clientFrame(1, "\xC0\xAF"), 1007, "invalid UTF-8"},
        {clientFrame(2, std::string(1048577, 'x')).substr(0, 14), 1009,
         "frame one byte over 1 MiB"},
    };
    for (const auto& c : cases)
        expectClosedWith(c.bytes, c.code, c.what);
}

// Length forms and split code points are WebSocketReaderTest's; here the server takes a message
// at its size limit, answers pings, also between the fragments of a message, and ignores
// unsolicited pongs.
TEST_F(LinkConformance, WellFormedFramesAreAcceptedAndPingsAnswered) {
    const std::string longest(125, '\x7f');
    const auto frames =
        exchange(clientFrame(2, std::string(1048576, 'b')) +
                 clientFrame(1, "a" + kEuro.substr(0, 1), false) + clientFrame(9, "between") +
                 clientFrame(0, kEuro.substr(1), false) + clientFrame(10, "unsolicited") +
                 clientFrame(0, "") + clientFrame(9, "") + clientFrame(9, longest));
    std::vector<std::string> pongs;
    for (const ServerFrame& f : frames)
        if (f.opcode == 10) pongs.push_back(f.payload);
    EXPECT_EQ(closeCode(frames), kNoClose);
    EXPECT_EQ(pongs, (std::vector<std::string>{"between", "", longest, "end"}));
}

TEST_F(LinkConformance, ClosingHandshakeEchoesTheCodeAndEndsTheConnection) {
    for (int code :
         {1000, 1001, 1002, 1003, 1007, 1008, 1009, 1010, 1011, 3000, 3999, 4000, 4999}) {
        // The ping after the close is never answered.
        const auto frames = exchange(
            clientFrame(8, closePayload(static_cast<std::uint16_t>(code), "bye " + kEuro)));
        EXPECT_EQ(closeCode(frames), code);
        EXPECT_EQ(frames.back().payload.size(), 2u) << "the code alone is echoed";
        EXPECT_TRUE(closedAfter) << code;
    }
    const auto empty = exchange(clientFrame(8, ""));
    ASSERT_FALSE(empty.empty());
    EXPECT_EQ(empty.back().opcode, 8);
    EXPECT_EQ(empty.back().payload, "") << "an empty close is answered with an empty close";
    EXPECT_TRUE(closedAfter);
}

} // namespace
} // namespace vyn
