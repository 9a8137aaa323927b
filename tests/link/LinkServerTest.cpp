// The Link server against real peers on the loopback interface: curl for the page, the npm `ws`
// client for the protocol, and a raw TCP client for what well-behaved clients never send.

#include "control/link/LinkServer.h"
#include "LinkServerFixture.h"
#include "control/link/HttpRequest.h"
#include "dsp/Waveform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vyn {
namespace {

using test::RawClient;

using test::kPage;

class LinkServerTest : public test::LinkServerFixture {};

// ---- HTTP ------------------------------------------------------------------------------------

TEST_F(LinkServerTest, EveryPlainRequestGetsThePageAndBadOnesAreClosedUnanswered) {
    start(settings());
    for (const char* path : {"/", "/favicon.ico", "/ws", "/anything?pair=1234"}) {
        const auto r = test::runProcess(
            "curl -s -S -i --max-time 5 'http://127.0.0.1:" + std::to_string(port) + path + "'");
        ASSERT_EQ(r.exitCode, 0) << path << ": " << r.err;
        EXPECT_EQ(r.out, pageResponse(kPage)) << path; // its bytes are HttpRequestTest's
    }
    const auto post = test::runProcess("curl -s -o /dev/null -w '%{http_code}' --max-time 5 -d x=1 "
                                       "http://127.0.0.1:" +
                                       std::to_string(port) + "/ws");
    EXPECT_EQ(post.out, "200");
    RawClient raw(port);
    raw.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(raw.closedByPeer());
    for (const std::string& request : {std::string("NONSENSE\r\n\r\n"),
                                       "GET / HTTP/1.1\r\nX-Filler: " + std::string(17000, 'a')}) {
        RawClient bad(port);
        bad.send(request);
        EXPECT_TRUE(bad.closedByPeer());
        EXPECT_EQ(bad.received(), "") << request.substr(0, 20);
    }
}

TEST_F(LinkServerTest, ForeignOriginIsRefusedWhilePlainHttpStillWorks) {
    start(settings());
    const JsonValue r = test::runNodeScenario("origin " + std::to_string(port));
    EXPECT_EQ(r.find("foreign") ? r.find("foreign")->asString() : "", "status 403");
    EXPECT_EQ(r.find("own") ? r.find("own")->asString() : "", "opened");
    const auto page = test::runProcess("curl -s -H 'Origin: http://evil.example' --max-time 5 "
                                       "http://127.0.0.1:" +
                                       std::to_string(port) + "/");
    EXPECT_EQ(page.out, kPage);
}

// ---- WebSocket framing with a real client ----------------------------------------------------

TEST_F(LinkServerTest, HandshakeSplitAcrossSegmentsIsAnsweredAfterTheBlankLine) {
    start(settings());
    const JsonValue r = test::runNodeScenario("handshake-split " + std::to_string(port));
    ASSERT_TRUE(r.find("before") && r.find("response"));
    EXPECT_EQ(r.find("before")->asString(), "");
    EXPECT_EQ(r.find("response")->asString(),
              "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
}

TEST_F(LinkServerTest, NinthConnectionIsClosedWhileEightAreServed) {
    start(settings());
    startPublishing();
    const JsonValue r = test::runNodeScenario("ninth " + std::to_string(port) + " 4321");
    ASSERT_TRUE(r.find("ninth") && r.find("states"));
    EXPECT_EQ(r.find("ninth")->asString(), "refused");
    ASSERT_EQ(r.find("states")->items().size(), 8u);
    for (const JsonValue& s : r.find("states")->items())
        EXPECT_EQ(s.asString(), "state");
}

// ---- pairing and commands ---------------------------------------------------------------------

TEST_F(LinkServerTest, WrongCodeIsDeniedAndTheAddressWaitsBeforeItsNextTry) {
    LinkSettings s = settings();
    s.wrongCodeWaitMs = 700;
    start(s);
    const JsonValue r = test::runNodeScenario("pairing " + std::to_string(port) + " 4321 9999");
    ASSERT_TRUE(r.find("waitedMs"));
    EXPECT_EQ(r.find("denied")->asString(), "denied");
    EXPECT_EQ(r.find("firstClose")->asNumber(), 1006);
    EXPECT_EQ(r.find("paired")->asString(), "paired");
    EXPECT_GE(r.find("waitedMs")->asNumber(), 600) << "the right code waited for the back-off";
    EXPECT_EQ(r.find("again")->asString(), "paired");
    EXPECT_EQ(server.wrongCodeCount(), 1);

    // Only the paired connection's page commands arrived: PLAY on deck 1 and the hot cue; the
    // unpaired PAUSE and the LOAD_TRACK were dropped.
    EXPECT_EQ(takeIntents(), (Intents{{3, 0, 0.0}, {19, 2, 5.0}}));
    EXPECT_EQ(server.commandsReceived(), 2u);
}

TEST_F(LinkServerTest, WithoutACodeEveryConnectionIsPairedAtUpgrade) {
    start(settings(""));
    RawClient c(port);
    c.send(test::upgradeRequest(port) + test::clientFrame(1, "{\"t\":\"cmd\",\"c\":4,\"d\":3}"));
    for (int i = 0; i < 100 && server.commandsReceived() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(takeIntents(), (Intents{{4, 3, 0.0}}));
}

TEST_F(LinkServerTest, BrowseQueueHoldsSixtyFour) {
    start(settings());
    auto c = pairedRaw();
    std::string burst;
    for (int i = 1; i <= 70; ++i)
        burst += test::clientFrame(1, "{\"t\":\"load\",\"id\":" + std::to_string(i) + ",\"d\":1}");
    burst += test::clientFrame(1, "{\"t\":\"pick\",\"i\":3}");
    burst += test::clientFrame(9, "done");
    c->send(burst);
    c->readUntil([](const std::string& r) { return r.find("done") != std::string::npos; });
    std::vector<BrowseIntent> queued;
    BrowseIntent b;
    while (server.popBrowseIntent(b))
        queued.push_back(b);
    ASSERT_EQ(queued.size(), LinkServer::kBrowseQueueLimit);
    EXPECT_EQ(queued.front().trackId, 1u);
    EXPECT_EQ(queued.front().deck, 1);
    EXPECT_EQ(queued.back().trackId, 64u);
}

// ---- state and waveforms ----------------------------------------------------------------------

TEST_F(LinkServerTest, IdenticalStateIsSentOnceAndChangesFollow) {
    start(settings());
    server.publishState("{\"t\":\"state\",\"n\":1}");
    auto c = pairedRaw();
    c->readAll(300);
    server.publishState("{\"t\":\"state\",\"n\":1}");
    c->readAll(200);
    server.publishState("{\"t\":\"state\",\"n\":2}");
    c->readUntil([](const std::string& r) { return r.find("\"n\":2") != std::string::npos; });
    const auto texts = test::serverTexts(c->received());
    const std::vector<std::string> expected = {"{\"t\":\"paired\"}", "{\"t\":\"state\",\"n\":1}",
                                               "{\"t\":\"state\",\"n\":2}"};
    EXPECT_EQ(texts, expected);
}

TEST_F(LinkServerTest, NewlyPairedSurfaceGetsEveryStoredWaveformWhole) {
    start(settings());
    std::vector<WaveColumn> detail(200000);
    for (std::size_t i = 0; i < detail.size(); ++i)
        detail[i] = {static_cast<std::uint8_t>(i % 32), 1, 2, 3};
    const std::vector<WaveColumn> overview(2048, WaveColumn{20, 7, 7, 7});
    for (int deck = 0; deck < 4; ++deck) {
        server.publishWaveform(deck, 10 + deck, 1, 2.5f, overview.data(), overview.size());
        server.publishWaveform(deck, 10 + deck, 0, 150.0f, detail.data(), detail.size());
    }
    server.publishWaveform(5, 3, 0, 150.0f, nullptr, 0); // empty: nothing to send
    auto c = pairedRaw();
    const std::size_t expectedBytes = 4 * (2 + 8 + 20 + 4 * 2048) + 4 * (10 + 20 + 4 * 200000);
    c->readUntil([&](const std::string& r) { return r.size() >= expectedBytes; }, 10000);
    c->readAll(300);
    // Whole waveform frames, overviews first.
    std::vector<std::string> expected;
    for (const char* kind : {"1 columns 2048 cps 2.500", "0 columns 200000 cps 150.000"})
        for (int deck = 0; deck < 4; ++deck)
            expected.push_back("deck " + std::to_string(deck) + " track " +
                               std::to_string(10 + deck) + " kind " + kind);
    EXPECT_EQ(test::waveFrames(c->received()), expected);
}

TEST_F(LinkServerTest, StalledReaderKeepsWholeFramesAndCatchesUp) {
    LinkSettings s = settings();
    s.socketSendBuffer = 65536;
    s.outputLimitBytes = 256 * 1024;
    start(s);
    startPublishing(16);
    // While the node client stops reading, big waveforms keep changing.
    std::atomic<bool> waving{true};
    std::atomic<std::size_t> mostWaiting{0};
    std::atomic<int> lastWave{0};
    std::thread waves([&] {
        std::vector<WaveColumn> cols(200000, WaveColumn{9, 1, 1, 1});
        for (int k = 1; k <= 20 && waving; ++k) {
            server.publishWaveform(0, k, 0, 150.0f, cols.data(), cols.size());
            lastWave = k;
            for (int i = 0; i < 10; ++i) {
                mostWaiting = std::max(mostWaiting.load(), server.waitingOutputBytes());
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        while (waving) {
            mostWaiting = std::max(mostWaiting.load(), server.waitingOutputBytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const JsonValue r = test::runNodeScenario("stall " + std::to_string(port) + " 4321 2500");
    waving = false;
    waves.join();
    stopPublishing();
    ASSERT_TRUE(r.find("afterStall") && r.find("waves"));
    EXPECT_TRUE(r.find("slowError")->isNull()) << r.find("slowError")->asString();
    EXPECT_GT(r.find("healthyDuringStall")->asNumber(), 10) << "other surfaces kept being served";
    // The backlog never grew to hold every frame published during the stall.
    EXPECT_LT(mostWaiting.load(), 2u * 1024 * 1024);
    // After the stall the reader gets the current state, not a queue of old ones. Its 1.5 s after
    // the resume bring about 45 fresh states (30 a second) plus what the socket buffers still held
    // (17 more seen under ThreadSanitizer); a queue of the stall's 75 would bring about 120.
    const auto& after = r.find("afterStall")->items();
    ASSERT_FALSE(after.empty());
    EXPECT_GE(after.back().asNumber(), published.load() - 40);
    EXPECT_LE(after.size(), 80u);
    // Every waveform frame arrived whole, and the last one published was (re)sent.
    const auto& got = r.find("waves")->items();
    ASSERT_FALSE(got.empty());
    for (const JsonValue& w : got)
        EXPECT_TRUE(w.find("intact")->asBool());
    EXPECT_EQ(got.back().find("track")->asNumber(), lastWave.load());
}

// ---- housekeeping -----------------------------------------------------------------------------

TEST_F(LinkServerTest, SilentSocketsTimeOutSoTheyCannotLockSurfacesOut) {
    LinkSettings s = settings();
    s.requestTimeoutMs = 300;
    start(s);
    std::vector<std::unique_ptr<RawClient>> silent;
    for (int i = 0; i < 8; ++i)
        silent.push_back(std::make_unique<RawClient>(port));
    for (auto& c : silent)
        EXPECT_TRUE(c->closedByPeer(3000));
    RawClient ninth(port);
    ninth.send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_NE(ninth.readAll().find(kPage), std::string::npos);
}

TEST_F(LinkServerTest, HalfOpenPeerIsDroppedWhileALivePeerStays) {
    LinkSettings s = settings();
    s.pingAfterMs = 150;
    s.silenceTimeoutMs = 600;
    s.pairTimeoutMs = 400;
    start(s);
    // Upgraded but never pairs.
    RawClient unpaired(port);
    unpaired.send(test::upgradeRequest(port));
    // Paired, then never answers the pings.
    auto mute = pairedRaw();
    // The ws client answers pings by itself.
    const JsonValue r = test::runNodeScenario("idle " + std::to_string(port) + " 4321 1500");
    ASSERT_TRUE(r.find("outcome"));
    EXPECT_EQ(r.find("outcome")->asString(), "open");
    EXPECT_GE(r.find("pings")->asNumber(), 2);
    EXPECT_TRUE(unpaired.closedByPeer(100));
    EXPECT_TRUE(mute->closedByPeer(100));
    EXPECT_NE(mute->received().find("\x89\x00", 0, 2), std::string::npos) << "it was pinged";
}

// Descriptor limits are POSIX's; Winsock has none to exhaust from inside the process.
#ifndef _WIN32
TEST_F(LinkServerTest, RunningOutOfDescriptorsDoesNotSpinTheLoop) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizer runtimes open files of their own (symbolizer, maps) and misreport when the
    // process has no descriptor left; the plain build runs this test.
    GTEST_SKIP() << "descriptor exhaustion starves the sanitizer runtime";
#endif
    start(settings());
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    RawClient waiting(port); // completes the TCP handshake in the backlog
    // No descriptor left for accept: the limit is the lowest free descriptor number.
    const int lowest = ::dup(0);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const std::uint64_t before = server.loopPasses();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::uint64_t passes = server.loopPasses() - before;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_LT(passes, 200u) << "the loop kept retrying accept";
    // Once descriptors are back the waiting client is served.
    waiting.send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_NE(waiting.readAll().find(kPage), std::string::npos);
}
#endif

TEST_F(LinkServerTest, StopClosesEveryConnectionAndRestartServesAgain) {
    start(settings());
    auto c = pairedRaw();
    server.stop();
    EXPECT_TRUE(c->closedByPeer());
    EXPECT_FALSE(server.running());
    // Restarted with another code and no page provider: the page is a bare "VYN".
    LinkSettings s = settings("1111");
    s.pageProvider = nullptr;
    start(s);
    auto d = pairedRaw("1111");
    EXPECT_EQ(server.connectedCount(), 1);
    RawClient raw(port);
    raw.send("GET / HTTP/1.1\r\n\r\n");
    const std::string r = raw.readAll();
    EXPECT_EQ(r.substr(r.find("\r\n\r\n")), "\r\n\r\nVYN");
}

} // namespace
} // namespace vyn
