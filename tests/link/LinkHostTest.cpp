// The Link host on a real engine (offline device, real loader): surface commands reach the engine
// through the Link ring, and loads publish each deck's waveform frames once per change.

#include "control/link/LinkHost.h"
#include "LinkTestPeers.h"
#include "audio/OfflineAudioDevice.h"
#include "audio/WavFileWriter.h"
#include "engine/EngineHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

namespace vyn {
namespace {

std::string writeTone(const std::string& path, double seconds) {
    WavFileWriter w;
    EXPECT_TRUE(w.open(path, WavFileWriter::Format::Pcm16, 2, 48000));
    const auto frames = static_cast<std::size_t>(seconds * 48000.0);
    std::vector<std::int16_t> pcm(2 * frames);
    for (std::size_t i = 0; i < frames; ++i)
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(
            12000 * std::sin(2 * M_PI * 110.0 * static_cast<double>(i) / 48000.0));
    EXPECT_TRUE(w.writeInt16(pcm.data(), frames));
    EXPECT_TRUE(w.finish());
    return path;
}

struct WaveHeader {
    std::int32_t deck, track, count, kind;
    float cps;
};

// The binary frames in a server byte stream.
std::vector<WaveHeader> waveFrames(const std::string& r) {
    std::vector<WaveHeader> out;
    std::size_t pos = r.find("\r\n\r\n");
    pos = pos == std::string::npos ? r.size() : pos + 4;
    while (pos + 2 <= r.size()) {
        const auto op = static_cast<std::uint8_t>(r[pos]) & 0x0F;
        std::uint64_t n = static_cast<std::uint8_t>(r[pos + 1]) & 0x7F;
        std::size_t h = 2;
        if (n == 126) {
            if (pos + 4 > r.size()) break;
            n = (std::uint64_t(static_cast<std::uint8_t>(r[pos + 2])) << 8) |
                static_cast<std::uint8_t>(r[pos + 3]);
            h = 4;
        } else if (n == 127) {
            if (pos + 10 > r.size()) break;
            n = 0;
            for (int i = 0; i < 8; ++i)
                n = (n << 8) | static_cast<std::uint8_t>(r[pos + 2 + static_cast<std::size_t>(i)]);
            h = 10;
        }
        if (pos + h + n > r.size()) break;
        if (op == 2) {
            WaveHeader w;
            std::memcpy(&w, r.data() + pos + h, sizeof w);
            out.push_back(w);
        }
        pos += h + static_cast<std::size_t>(n);
    }
    return out;
}

class LinkHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto device = std::make_unique<OfflineAudioDevice>(2, 48000.0);
        offline = device.get();
        engine = EngineHost::create(std::move(device));
        ASSERT_TRUE(engine->open());
        host = std::make_unique<LinkHost>(*engine);
        LinkSettings s;
        s.port = 0;
        s.loopbackOnly = true;
        s.pairingCode = "2468";
        ASSERT_TRUE(host->start(s));
        port = host->server().port();
        buffer.assign(2 * 256, 0.0f);
    }
    void TearDown() override {
        host.reset();
        engine->stop();
    }
    void render(int blocks = 1) {
        for (int i = 0; i < blocks; ++i)
            offline->renderInto(buffer.data(), 256);
    }
    // Ticks (and renders) until `count` loads finished.
    void load(int deck, const std::string& path, std::int32_t trackId) {
        LoadRequest r;
        r.deck = deck;
        r.trackId = trackId;
        r.audioPath = path;
        ASSERT_TRUE(engine->loader().submit(std::move(r)));
        std::vector<LoadResult> results;
        for (int i = 0; i < 2000; ++i) {
            engine->loader().poll(results);
            render();
            if (!results.empty()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(results.size(), 1u);
        ASSERT_TRUE(results[0].ok) << results[0].error;
        render(2);
    }
    std::unique_ptr<test::RawClient> paired() {
        auto c = std::make_unique<test::RawClient>(port);
        c->send(test::upgradeRequest(port) +
                test::maskedFrame(1, R"({"t":"hello","pair":"2468"})"));
        c->readUntil([](const std::string& r) { return r.find("paired") != std::string::npos; });
        return c;
    }
    EngineSnapshot snapshot() {
        EngineSnapshot s;
        EXPECT_TRUE(engine->readSnapshot(s));
        return s;
    }

    OfflineAudioDevice* offline = nullptr;
    std::unique_ptr<EngineHost> engine;
    std::unique_ptr<LinkHost> host;
    int port = 0;
    std::vector<float> buffer;
};

TEST_F(LinkHostTest, SurfaceCommandsReachTheEngineThroughTheLinkRing) {
    const std::string dir = test::scratchDir("linkhost");
    load(0, writeTone(dir + "/a.wav", 3.0), 1);
    ASSERT_EQ(snapshot().decks[0].state, static_cast<std::uint8_t>(DeckState::READY));
    auto c = paired();
    c->send(test::maskedFrame(1, R"({"t":"cmd","c":3,"d":0})") +
            test::maskedFrame(1, R"({"t":"cmd","c":48,"d":0,"v":2})") + test::maskedFrame(9, "x"));
    c->readUntil([](const std::string& r) { return r.find("\x8a\x01x") != std::string::npos; });
    render(2);
    const EngineSnapshot s = snapshot();
    EXPECT_EQ(s.decks[0].state, static_cast<std::uint8_t>(DeckState::PLAYING));
    EXPECT_EQ(s.decks[0].keyShift, 2);
    EXPECT_EQ(host->server().commandsReceived(), 2u);
}

TEST_F(LinkHostTest, SurfacesReachTheMixerRateAndDeckSwapButNeverALoad) {
    const std::string dir = test::scratchDir("linkhost-range");
    load(0, writeTone(dir + "/a.wav", 3.0), 1);
    auto c = paired();
    c->send(test::maskedFrame(1, R"({"t":"cmd","c":12,"d":15.7,"v":1})") + // keylock, deck 16
            test::maskedFrame(1, R"({"t":"cmd","c":24,"d":2,"v":0.5})") +  // filter
            test::maskedFrame(1, R"({"t":"cmd","c":6,"d":0,"v":1.05})") +  // rate
            test::maskedFrame(1, R"({"t":"cmd","c":1,"d":1})") +           // load: refused
            test::maskedFrame(1, R"({"t":"cmd","c":51,"d":0,"v":0.6})") +  // swap decks 1 and 2
            test::maskedFrame(1, R"({"t":"cmd","c":51,"d":8,"v":1})") +    // deck 9: no swap
            test::maskedFrame(9, "x"));
    c->readUntil([](const std::string& r) { return r.find("\x8a\x01x") != std::string::npos; });
    render(); // the commands first, then the swap the loader posts
    std::vector<LoadResult> results;
    engine->loader().poll(results);
    render(2);
    const EngineSnapshot s = snapshot();
    EXPECT_TRUE(s.decks[15].keylock);
    EXPECT_EQ(s.decks[1].state, static_cast<std::uint8_t>(DeckState::READY)) << "swapped";
    EXPECT_EQ(s.decks[0].state, static_cast<std::uint8_t>(DeckState::EMPTY));
    EXPECT_FLOAT_EQ(s.decks[2].filter, 0.5f);
    EXPECT_DOUBLE_EQ(s.decks[1].userRate, 1.05);
    EXPECT_EQ(engine->loader().deckInfo(1).trackId, 1);
    EXPECT_EQ(host->server().commandsReceived(), 5u);
}

TEST_F(LinkHostTest, CommandsAreIgnoredWhileAReplayOwnsTheMix) {
    const std::string dir = test::scratchDir("linkhost-replay");
    load(0, writeTone(dir + "/a.wav", 3.0), 1);
    host->setReplayOwnsMix(true);
    auto c = paired();
    c->send(test::maskedFrame(1, R"({"t":"cmd","c":3,"d":0})") + test::maskedFrame(9, "x"));
    c->readUntil([](const std::string& r) { return r.find("\x8a\x01x") != std::string::npos; });
    render(2);
    EXPECT_EQ(snapshot().decks[0].state, static_cast<std::uint8_t>(DeckState::READY));
    host->setReplayOwnsMix(false);
    c->send(test::maskedFrame(1, R"({"t":"cmd","c":3,"d":0})") + test::maskedFrame(9, "y"));
    c->readUntil([](const std::string& r) { return r.find("\x8a\x01y") != std::string::npos; });
    render(2);
    EXPECT_EQ(snapshot().decks[0].state, static_cast<std::uint8_t>(DeckState::PLAYING));
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
    auto frames = waveFrames(c->received());
    ASSERT_EQ(frames.size(), 2u) << "published once although ticked five times";
    EXPECT_EQ(frames[0].kind, 1);
    EXPECT_EQ(frames[0].count, 2048);
    EXPECT_NEAR(frames[0].cps, 150.0 * 2048 / 3000, 1e-3);
    EXPECT_EQ(frames[1].kind, 0);
    EXPECT_EQ(frames[1].count, 3000);
    EXPECT_FLOAT_EQ(frames[1].cps, 150.0f);
    for (const WaveHeader& w : frames) {
        EXPECT_EQ(w.deck, 1);
        EXPECT_EQ(w.track, 7);
    }
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
    frames = waveFrames(c->received());
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2].track, 8);
    EXPECT_EQ(frames[3].track, 8);
    EXPECT_EQ(frames[3].count, 300);
}

} // namespace
} // namespace vyn
