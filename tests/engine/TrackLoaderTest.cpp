#include "common/OfflineEngine.h"
#include "common/TestPaths.h"
#include "common/WavFiles.h"
#include "dsp/Waveform.h"
#include "engine/EngineHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <tuple>

namespace vyn {
namespace {

class Loader : public ::testing::Test {
protected:
    void SetUp() override { dir = test::scratchDir("loader"); }
    std::vector<LoadResult> collect(std::size_t count) { return host.collect(count); }
    EngineSnapshot snapshot() { return host.snapshot(); }

    std::string dir;
    test::OfflineEngine host;
    std::unique_ptr<EngineHost>& engine = host.engine;
};

TEST_F(Loader, LoadsAFileOntoItsDeckWithTheLibrarysGridCuesAndKey) {
    LoadRequest r;
    r.deck = 6;
    r.trackId = 42;
    r.audioPath = test::writeToneWav(dir + "/keyed.wav", 440.0, 2.0);
    r.keyText = "8A";
    r.grid.beats = {{0.5, 120.0, 1}, {1.0, 120.0, 2}};
    r.grid.updateSummary();
    r.cues = {{CueKind::HotCue, 2, 1.25, -1.0, "drop"}, {CueKind::Memory, -1, 0.5, -1.0, ""}};
    ASSERT_TRUE(engine->loader().submit(std::move(r)));
    const auto results = collect(1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].ok) << results[0].error;
    EXPECT_EQ(std::tuple(results[0].deck, results[0].path), std::tuple(6u, dir + "/keyed.wav"));
    host.render();
    // Ready at the first memory cue (0.5 s), where a track starts.
    const DeckSnapshot d = snapshot().decks[6];
    EXPECT_EQ(
        std::tuple(d.state, d.length, d.hasKey, d.hasGrid, d.bpm, d.hotCueMask, d.mainCue),
        std::tuple(std::uint8_t(DeckState::READY), 96000u, true, true, 120.0f, 1 << 2, 24000u));
    EXPECT_FLOAT_EQ(d.hotCueSeconds[2], 1.25f);
    const LoadedDeckInfo info = engine->loader().deckInfo(6);
    EXPECT_EQ(std::tuple(info.trackId, info.path, info.loadCount, info.audioBytes, info.sampleRate),
              std::tuple(42, dir + "/keyed.wav", 1u, 96000u * 4u, 48000.0));
    EXPECT_EQ(engine->loader().loadedAudioBytes(), 96000u * 4u);
    ASSERT_TRUE(info.waveform);
    EXPECT_EQ(info.waveform->columns.size(), 300u);
}

TEST_F(Loader, ASecondQuickLoadCancelsTheFirst) {
    const std::string a = test::writeToneWav(dir + "/a.wav", 440.0, 3.0);
    const std::string b = test::writeToneWav(dir + "/b.wav", 440.0, 0.5);
    ASSERT_TRUE(engine->loader().queueLoad(0, a));
    ASSERT_TRUE(engine->loader().queueLoad(0, b));
    const auto results = collect(2);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(std::tuple(results[0].path, results[0].ok, results[0].error),
              std::tuple(a, false, std::string("cancelled")));
    EXPECT_EQ(std::pair(results[1].path, results[1].ok), std::pair(b, true)) << results[1].error;
    host.render();
    EXPECT_EQ(snapshot().decks[0].length, 24000u);
}

TEST_F(Loader, ReportsDecoderErrorsInRequestOrder) {
    std::ofstream(dir + "/junk.wav") << "junk!!";
    ASSERT_TRUE(engine->loader().queueLoad(1, test::writeToneWav(dir + "/empty.wav", 440.0, 0.0)));
    ASSERT_TRUE(engine->loader().queueLoad(2, dir + "/junk.wav"));
    ASSERT_TRUE(engine->loader().queueLoad(3, dir + "/missing.wav"));
    // Which text the decoder gives is its own tests'; the empty file's is the loader's.
    const auto results = collect(3);
    ASSERT_EQ(results.size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(results[i].deck, i + 1);
        EXPECT_FALSE(results[i].ok || results[i].error.empty()) << i;
    }
    EXPECT_EQ(results[0].error, "file decoded to zero frames") << "a header-only WAV";
}

TEST_F(Loader, FullEngineRingFailsTheLoadAndFreesTheTrack) {
    // The loader's producer slot is ring 0 (it is constructed first); fill it without rendering.
    for (int i = 0; i < 1023; ++i)
        ASSERT_TRUE(engine->push(0, Command(CommandType::NONE, -1)));
    const std::string path = test::writeToneWav(dir + "/tone.wav", 440.0, 0.5);
    ASSERT_TRUE(engine->loader().queueLoad(1, path));
    std::vector<LoadResult> results;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (results.empty() && std::chrono::steady_clock::now() < deadline) {
        engine->loader().poll(results);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].ok);
    EXPECT_EQ(results[0].error, "engine command queue full");
    EXPECT_EQ(engine->loader().loadedAudioBytes(), 0u);
    EXPECT_EQ(engine->loader().deckInfo(1).loadCount, 0u);
}

TEST_F(Loader, RetiredTracksAreFreedByThePoll) {
    ASSERT_TRUE(engine->loader().queueLoad(0, test::writeToneWav(dir + "/a.wav", 440.0, 0.2)));
    ASSERT_EQ(collect(1).size(), 1u);
    ASSERT_TRUE(engine->loader().queueLoad(0, test::writeToneWav(dir + "/b.wav", 440.0, 0.3)));
    ASSERT_EQ(collect(1).size(), 1u);
    host.render(); // applies the second load: the first is retired
    std::vector<LoadResult> none;
    engine->loader().poll(none);
    std::vector<LoadedTrack*> left;
    engine->drainRetired(left);
    EXPECT_TRUE(left.empty()) << "the poll should have freed the retired track";
    EXPECT_EQ(snapshot().decks[0].length, 14400u);
}

TEST_F(Loader, SwapMovesBookkeepingAndDecksAndDecksOutsideTheSixteenAreRefused) {
    EXPECT_FALSE(engine->loader().queueLoad(16, dir + "/x.wav"));
    EXPECT_FALSE(engine->loader().queueLoad(-1, dir + "/x.wav"));
    ASSERT_TRUE(engine->loader().queueLoad(0, test::writeToneWav(dir + "/a.wav", 440.0, 0.2)));
    ASSERT_EQ(collect(1).size(), 1u);
    EXPECT_FALSE(engine->loader().requestSwap(0, 0));
    EXPECT_FALSE(engine->loader().requestSwap(0, 16));
    ASSERT_TRUE(engine->loader().requestSwap(0, 5));
    std::vector<LoadResult> results;
    engine->loader().poll(results);
    EXPECT_TRUE(results.empty());
    host.render();
    EXPECT_EQ(engine->loader().deckInfo(5).path, dir + "/a.wav");
    EXPECT_TRUE(engine->loader().deckInfo(0).path.empty());
    EXPECT_EQ(snapshot().decks[5].length, 9600u);
    EXPECT_EQ(snapshot().decks[0].state, 0);
    engine->stop();
    EXPECT_FALSE(engine->loader().queueLoad(0, dir + "/x.wav")) << "a stopped engine loads nothing";
}

} // namespace
} // namespace vyn
