// The Link host on a real engine (offline device, real loader): surface commands reach the engine
// through the Link ring, and loads publish each deck's waveform frames once per change.

#include "control/link/LinkHost.h"
#include "LinkTestPeers.h"
#include "common/OfflineEngine.h"
#include "common/WavFiles.h"
#include "engine/EngineHost.h"

#include <gtest/gtest.h>

#include <thread>

namespace vyn {
namespace {

std::string writeTone(const std::string& path, double seconds) {
    return test::writeToneWav(path, 110.0, seconds, 48000, 12000.0 / 32767.0);
}

using test::waveFrames;

class LinkHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<LinkHost>(*engine);
        LinkSettings s;
        s.port = 0;
        s.loopbackOnly = true;
        s.pairingCode = "2468";
        ASSERT_TRUE(host->start(s));
        port = host->server().port();
    }
    void TearDown() override { host.reset(); }
    void render(int blocks = 1) { offline.render(blocks); }
    // Loads `path` on `deck` and renders until the deck holds it.
    void load(int deck, const std::string& path, std::int32_t trackId) {
        LoadRequest r;
        r.deck = deck;
        r.trackId = trackId;
        r.audioPath = path;
        ASSERT_TRUE(engine->loader().submit(std::move(r)));
        const std::vector<LoadResult> results = offline.collect();
        ASSERT_EQ(results.size(), 1u);
        ASSERT_TRUE(results[0].ok) << results[0].error;
        render(2);
    }
    std::unique_ptr<test::RawClient> paired() { return test::pairedClient(port, "2468"); }
    EngineSnapshot snapshot() { return offline.snapshot(); }

    test::OfflineEngine offline;
    std::unique_ptr<EngineHost>& engine = offline.engine;
    std::unique_ptr<LinkHost> host;
    int port = 0;
};

// Commands go through the Link ring to the engine, unless a replay owns the mix.
TEST_F(LinkHostTest, SurfaceCommandsAndDeckSwapsReachTheEngineUnlessAReplayOwnsTheMix) {
    const std::string dir = test::scratchDir("linkhost-range");
    load(0, writeTone(dir + "/a.wav", 3.0), 1);
    auto c = paired();
    host->setReplayOwnsMix(true);
    c->send(test::clientFrame(1, R"({"t":"cmd","c":3,"d":0})") + test::clientFrame(9, "r"));
    c->readUntil([](const std::string& r) { return r.find("\x8a\x01r") != std::string::npos; });
    render(2);
    EXPECT_EQ(snapshot().decks[0].state, static_cast<std::uint8_t>(DeckState::READY));
    host->setReplayOwnsMix(false);
    c->send(test::clientFrame(1, R"({"t":"cmd","c":12,"d":15.7,"v":1})") + // keylock, deck 16
            test::clientFrame(1, R"({"t":"cmd","c":6,"d":0,"v":1.05})") +  // rate
            test::clientFrame(1, R"({"t":"cmd","c":51,"d":0,"v":0.6})") +  // swap decks 1 and 2
            test::clientFrame(1, R"({"t":"cmd","c":51,"d":8,"v":1})") +    // deck 9: no swap
            test::clientFrame(9, "x"));
    c->readUntil([](const std::string& r) { return r.find("\x8a\x01x") != std::string::npos; });
    render(); // the commands first, then the swap the loader posts
    std::vector<LoadResult> results;
    engine->loader().poll(results);
    render(2);
    const EngineSnapshot s = snapshot();
    EXPECT_TRUE(s.decks[15].keylock);
    EXPECT_EQ(s.decks[1].state, static_cast<std::uint8_t>(DeckState::READY)) << "swapped";
    EXPECT_EQ(s.decks[0].state, static_cast<std::uint8_t>(DeckState::EMPTY));
    EXPECT_DOUBLE_EQ(s.decks[1].userRate, 1.05);
    EXPECT_EQ(engine->loader().deckInfo(1).trackId, 1);
    EXPECT_EQ(host->server().commandsReceived(), 5u);
}

TEST_F(LinkHostTest, EachLoadPublishesBothWaveformsOnceAndTheStateNamesTheTrackByItsFile) {
    const std::string dir = test::scratchDir("linkhost-waves");
    auto c = paired();
    LinkTickInput tick;
    tick.deckCount = 2;
    host->tick(tick);
    load(1, writeTone(dir + "/First Track.wav", 20.0), 7); // 3000 columns: the overview is reduced
    for (int i = 0; i < 5; ++i) {
        host->tick(tick);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    c->readUntil([](const std::string& r) { return waveFrames(r).size() >= 2; });
    c->readAll(300);
    // The overview is reduced to 2048 columns; the detail keeps 150 columns a second.
    EXPECT_EQ(waveFrames(c->received()),
              (std::vector<std::string>{"deck 1 track 7 kind 1 columns 2048 cps 102.400",
                                        "deck 1 track 7 kind 0 columns 3000 cps 150.000"}))
        << "published once although ticked five times";
    const auto texts = test::serverTexts(c->received());
    ASSERT_FALSE(texts.empty());
    const std::string& state = texts.back();
    EXPECT_NE(state.find(R"({"i":1,"name":"First Track.wav","track":7,"wv":3000,)"),
              std::string::npos)
        << state;

    // A new load on the same deck republishes both, once.
    load(1, writeTone(dir + "/second.wav", 2.0), 8);
    for (int i = 0; i < 3; ++i)
        host->tick(tick);
    c->readUntil([](const std::string& r) { return waveFrames(r).size() >= 4; });
    c->readAll(300);
    EXPECT_EQ(waveFrames(c->received()),
              (std::vector<std::string>{"deck 1 track 7 kind 1 columns 2048 cps 102.400",
                                        "deck 1 track 7 kind 0 columns 3000 cps 150.000",
                                        "deck 1 track 8 kind 1 columns 300 cps 150.000",
                                        "deck 1 track 8 kind 0 columns 300 cps 150.000"}));
}

} // namespace
} // namespace vyn
