// Peers that try to wear the Link server down: one that makes it answer without ever reading,
// and one that sends faster than the server reads while other surfaces wait for their turn.

#include "LinkServerFixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace vyn {
namespace {

class LinkFlood : public test::LinkServerFixture {};

TEST_F(LinkFlood, PingsWithoutReadingAreCutAtTheOutputLimit) {
    LinkSettings s = settings();
    s.socketSendBuffer = 65536;
    s.outputLimitBytes = 128 * 1024; // the cut is the same at any limit, and sooner here
    start(s);
    // Never paired and never reading: each ping queues a pong that cannot go out.
    test::RawClient c(port, 65536);
    ASSERT_TRUE(c.send(test::upgradeRequest(port)));
    const std::string pings = [] {
        std::string batch;
        for (int i = 0; i < 500; ++i)
            batch += test::clientFrame(9, std::string(125, 'p'));
        return batch;
    }();
    std::size_t mostWaiting = 0, sent = 0;
    const std::size_t enough = 64u << 20; // 64 MiB of pongs if nothing stopped them
    while (sent < enough && c.send(pings)) {
        sent += pings.size();
        mostWaiting = std::max(mostWaiting, server.waitingOutputBytes());
    }
    EXPECT_LT(sent, enough) << "the connection was never cut";
    EXPECT_LE(mostWaiting, s.outputLimitBytes + pings.size());
    for (int i = 0; i < 200 && server.connectedCount() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server.connectedCount(), 0);
}

TEST_F(LinkFlood, AFloodingPeerDoesNotStarveTheOthers) {
    // Each command costs the server a millisecond, so a backlog of them is seconds of work that
    // the flooder has queued in the socket long before the server gets through it.
    LinkSettings s = settings();
    s.readBudgetBytes = 4096;
    start(s);
    intentDelayMs = 1;
    auto flooder = pairedRaw();
    auto other = pairedRaw();
    std::string burst;
    for (int i = 0; i < 10000; ++i)
        burst += test::clientFrame(1, R"({"t":"cmd","c":3,"d":0})");
    std::thread flood([&] { flooder->send(burst); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    other->send(test::clientFrame(9, "turn"));
    other->readUntil(
        [](const std::string& r) { return r.find("\x8a\x04turn") != std::string::npos; }, 3000);
    const std::size_t handled = takeIntents().size();
    intentDelayMs = 0;
    flood.join();
    EXPECT_NE(other->received().find("\x8a\x04turn"), std::string::npos)
        << "the other surface waited for the flood to end";
    EXPECT_LT(handled, 10000u);
}

} // namespace
} // namespace vyn
