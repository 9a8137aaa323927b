// Stem jobs through the loader of a real engine host: stems switched on for a playing deck, the
// outcomes the application sees, cancellation by a newer load or on request, splitting during a
// load, and the stem cache behind it all.

#include "common/OfflineEngine.h"
#include "common/StemTracks.h"
#include "common/TestPaths.h"
#include "dsp/StemCache.h"
#include "dsp/Waveform.h"
#include "engine/EngineHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>

namespace vyn {
namespace {

using Outcome = StemRequestOutcome;

class StemJobs : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("stem-jobs");
        ASSERT_TRUE(test::writeKickAndTones(dir + "/music.wav", 20.0, 44100.0));
        ASSERT_TRUE(test::writeKickAndTones(dir + "/other.wav", 3.0, 44100.0));
    }
    void TearDown() override {
        engine->stop(); // no job may still use the cache settings reset below
        setStemCacheSettings({});
    }

    TrackLoader& loader() { return engine->loader(); }
    // The next result of `kind`, polling (and rendering in between, as a device would) until it
    // arrives; results of the other kind wait for their own call.
    LoadResult next(std::uint8_t kind) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            for (auto it = backlog.begin(); it != backlog.end(); ++it) {
                if (it->kind != kind) continue;
                const LoadResult r = *it;
                backlog.erase(it);
                return r;
            }
            if (std::chrono::steady_clock::now() > deadline) break;
            const std::vector<LoadResult> some = host.collect(1);
            backlog.insert(backlog.end(), some.begin(), some.end());
        }
        ADD_FAILURE() << "no result of kind " << int(kind);
        return {};
    }
    void load(int deck, const std::string& name) {
        LoadRequest r;
        r.deck = deck;
        r.trackId = 11;
        r.audioPath = dir + "/" + name;
        r.keyText = "8A";
        r.grid.beats = {{0.0, 120.0, 1}, {0.5, 120.0, 2}};
        r.grid.updateSummary();
        r.cues = {{CueKind::HotCue, 1, 2.0, -1.0, ""}};
        ASSERT_TRUE(loader().submit(std::move(r)));
        const LoadResult result = next(0);
        ASSERT_TRUE(result.ok) << result.error;
    }
    DeckSnapshot deck(int d) { return host.snapshot().decks[d]; }
    // Waits until the deck's stem job reports progress (it is splitting).
    void waitUntilSplitting(int d) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (loader().stemStatus(d).progress <= 0.0f &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_GT(loader().stemStatus(d).progress, 0.0f);
    }

    std::string dir;
    test::OfflineEngine host;
    std::unique_ptr<EngineHost>& engine = host.engine;
    std::vector<LoadResult> backlog;
};

TEST_F(StemJobs, APlayingDeckGetsItsStemsWithoutLosingAnything) {
    load(0, "music.wav");
    ASSERT_TRUE(engine->pushOwn(Command(CommandType::PLAY, 0)));
    ASSERT_TRUE(engine->pushOwn(Command(CommandType::SET_STEMS, 0, 1.0)));
    host.render();
    const LoadedDeckInfo plain = loader().deckInfo(0);
    ASSERT_TRUE(plain.waveform);

    EXPECT_EQ(loader().requestStems(0), Outcome::Submitted);
    EXPECT_EQ(loader().requestStems(0), Outcome::Running) << "asking again changes nothing";
    EXPECT_TRUE(loader().stemStatus(0).running);
    const LoadResult r = next(1);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(std::pair(r.deck, r.fromCache), std::pair(0u, false));
    host.render();
    // Playing on without a jump or a step through the swap is DeckStems.SplitLandingMidPlay...'s.
    // Spectral stems (variant 0) on the same track, playing, with its key, grid and cues.
    const DeckSnapshot d = deck(0);
    EXPECT_EQ(
        std::tuple(d.stemsAvailable, d.state, d.hasKey, d.hasGrid, d.hotCueMask, d.stemVariant),
        std::tuple(true, std::uint8_t(DeckState::PLAYING), true, true, 1 << 1, 0u));
    // The same waveform and load, four times the audio.
    const LoadedDeckInfo info = loader().deckInfo(0);
    EXPECT_EQ(std::tuple(info.waveform, info.hasStems, info.audioBytes, info.loadCount),
              std::tuple(plain.waveform, true, 4 * plain.audioBytes, plain.loadCount));
    EXPECT_FALSE(loader().stemStatus(0).running);
    EXPECT_EQ(loader().stemStatus(0).progress, -1.0f);
    EXPECT_EQ(loader().requestStems(0), Outcome::AlreadySplit);
}

TEST_F(StemJobs, WhatTheApplicationHearsBack) {
    EXPECT_EQ(loader().requestStems(16), Outcome::Refused);
    EXPECT_EQ(loader().requestStems(3), Outcome::NoTrack);
    ASSERT_TRUE(loader().queueLoad(3, dir + "/other.wav"));
    EXPECT_EQ(loader().requestStems(3), Outcome::LoadPending);
    ASSERT_TRUE(next(0).ok);
    EXPECT_EQ(loader().requestStems(3), Outcome::Submitted);
    // A newer load cancels the job, queued or running.
    ASSERT_TRUE(loader().queueLoad(3, dir + "/music.wav"));
    const LoadResult cancelled = next(1);
    EXPECT_EQ(std::pair(cancelled.ok, cancelled.error), std::pair(false, std::string("cancelled")));
    ASSERT_TRUE(next(0).ok);
    host.render();
    EXPECT_FALSE(deck(3).stemsAvailable);
    EXPECT_EQ(deck(3).length, 20u * 44100u);
    EXPECT_EQ(loader().stemStatus(3).error, "") << "the new track has no failed job";
}

// A stand-in separator that runs until it is stopped makes "while it runs" certain.
TEST_F(StemJobs, ARunningSplitStopsForANewerLoadOrOnRequestAndWaitsToBeAskedAgain) {
    test::FakeNeuralInstall neural(dir);
    neural.spin = true;
    loader().setPreferNeural(true);
    load(1, "music.wav");
    load(2, "music.wav");
    ASSERT_EQ(loader().requestStems(1), Outcome::Submitted);
    waitUntilSplitting(1);
    ASSERT_TRUE(loader().queueLoad(1, dir + "/other.wav"));
    const LoadResult r = next(1);
    EXPECT_EQ(std::pair(r.ok, r.error), std::pair(false, std::string("cancelled")));
    ASSERT_TRUE(next(0).ok);
    host.render();
    EXPECT_EQ(deck(1).length, 3u * 44100u) << "the new track, unsplit";
    EXPECT_FALSE(deck(1).stemsAvailable);

    ASSERT_EQ(loader().requestStems(2), Outcome::Submitted);
    waitUntilSplitting(2);
    loader().cancelStems(2);
    EXPECT_EQ(next(1).error, "cancelled");
    EXPECT_EQ(loader().stemStatus(2).error, "cancelled");
    EXPECT_EQ(loader().requestStems(2), Outcome::Failed);
    neural.spin = false;
    EXPECT_EQ(loader().requestStems(2, true), Outcome::Submitted);
    ASSERT_TRUE(next(1).ok);
    host.render();
    EXPECT_EQ(deck(2).stemVariant, 1u) << "made by the neural separator";
}

TEST_F(StemJobs, StemsOnLoadAndTheCache) {
    setStemCacheSettings({dir + "/cache", 8ull << 30, 64});
    loader().setStemSetting(2);
    load(4, "other.wav");
    host.render();
    EXPECT_TRUE(deck(4).stemsAvailable) << "split before it reached the deck";
    EXPECT_TRUE(loader().deckInfo(4).hasStems);
    EXPECT_EQ(loader().deckInfo(4).audioBytes, 4u * 4u * 3u * 44100u);
    EXPECT_EQ(loader().requestStems(4), Outcome::AlreadySplit);

    // The same file on another deck, split by a stem job: the cache has it.
    loader().setStemSetting(1);
    load(5, "other.wav");
    ASSERT_EQ(loader().requestStems(5), Outcome::Submitted);
    const LoadResult r = next(1);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.fromCache);
}

} // namespace
} // namespace vyn
