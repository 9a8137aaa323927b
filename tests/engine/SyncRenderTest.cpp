// Sync and quantise measured on the engine's own render, block by block.

#include "common/EngineFixture.h"
#include "common/TestTracks.h"

#include <cmath>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

// A click on every beat of a constant-tempo grid starting at `firstBeat` seconds.
LoadedTrack* clickTrack(double bpm, double seconds, double firstBeat = 0.0) {
    const auto frames = static_cast<std::size_t>(seconds * kRate);
    std::vector<float> mono(frames, 0.0f);
    const double period = 60.0 / bpm;
    for (double t = firstBeat; t < seconds; t += period) {
        const auto at = static_cast<std::size_t>(std::llround(t * kRate));
        for (std::size_t i = at; i < std::min(frames, at + 48); ++i)
            mono[i] = 0.8f;
    }
    const int beats = static_cast<int>((seconds - firstBeat) / period) + 1;
    return test::makeTrack(std::move(mono), kRate, test::constantGrid(bpm, firstBeat, beats));
}

double wrappedBeatDifference(double a, double b) {
    double d = a - b;
    d -= std::round(d);
    return d;
}

class SyncRender : public test::EngineFixture {
protected:
    EngineSnapshot s() { return snapshot(); }
};

TEST_F(SyncRender, FollowerStaysPhaseLockedForAMinute) {
    load(0, clickTrack(120.0, 90.0));
    load(1, clickTrack(126.0, 90.0, 0.2));
    push(CommandType::SET_SYNC, 1, 1);
    push(CommandType::PLAY, 0);
    block();
    push(CommandType::SET_PLAYHEAD, 1, 0.37 * kRate); // start it out of phase
    push(CommandType::PLAY, 1);
    block();
    double worst = 0.0;
    for (int b = 0; b < static_cast<int>(60.0 * kRate / 256); ++b) {
        block(256);
        const EngineSnapshot snap = s();
        ASSERT_EQ(snap.masterDeck, 0);
        if (b > 2)
            worst = std::max(
                worst, std::fabs(wrappedBeatDifference(snap.decks[0].beat, snap.decks[1].beat)));
    }
    EXPECT_LT(worst, 0.01);
    const EngineSnapshot snap = s();
    EXPECT_NEAR(snap.decks[1].rate, 120.0 / 126.0, 0.0021);
    EXPECT_NEAR(snap.masterBpm, 120.0f, 1e-3);
    EXPECT_TRUE(snap.decks[0].isMaster);
    EXPECT_TRUE(snap.decks[1].sync);
}

TEST_F(SyncRender, TurningSyncOffKeepsTheTempoUntilTheFaderMeetsIt) {
    load(0, clickTrack(120.0, 30.0));
    load(1, clickTrack(126.0, 30.0));
    push(CommandType::SET_SYNC, 1, 1);
    push(CommandType::PLAY, 0);
    push(CommandType::PLAY, 1);
    for (int i = 0; i < 20; ++i)
        block();
    const double synced = s().decks[1].rate;
    push(CommandType::SET_SYNC, 1, 0);
    block();
    EXPECT_NEAR(s().decks[1].rate, synced, 1e-9);
    push(CommandType::SET_RATE, 1, 1.0); // far from the held tempo: ignored
    block();
    EXPECT_NEAR(s().decks[1].rate, synced, 1e-9);
    push(CommandType::SET_RATE, 1, synced + 0.004); // within 0.005: takes over
    block();
    EXPECT_NEAR(s().decks[1].rate, synced + 0.004, 1e-9);
}

TEST_F(SyncRender, ChosenMasterThatIsPausedStaysMaster) {
    load(0, clickTrack(120.0, 30.0));
    load(1, clickTrack(128.0, 30.0));
    push(CommandType::SET_SYNC_MASTER, 1);
    push(CommandType::PLAY, 0);
    block();
    EXPECT_EQ(s().masterDeck, 1);
    EXPECT_NEAR(s().masterBpm, 128.0f, 1e-3);
    push(CommandType::SET_SYNC_MASTER, -1);
    block();
    EXPECT_EQ(s().masterDeck, 0);
}

TEST_F(SyncRender, QuantisedPlayStartsOnTheMastersNextBeat) {
    // Deck 0: clicks at 120 BPM, the master. Deck 1: one click right at its start.
    load(0, clickTrack(120.0, 20.0));
    std::vector<float> single(static_cast<std::size_t>(10 * kRate), 0.0f);
    for (int i = 0; i < 48; ++i)
        single[static_cast<std::size_t>(i)] = 0.5f;
    load(1, test::makeTrack(std::move(single), kRate, test::constantGrid(120.0, 0.0, 20)));
    push(CommandType::SET_QUANTISE, -1, 1);
    push(CommandType::SET_FADER, 0, 0.0); // hear only deck 1
    push(CommandType::PLAY, 0);
    block(256);
    for (int i = 0; i < 40; ++i)
        block(256); // the master is about 0.43 beat into its track
    const std::uint64_t pressedAt = s().frame;
    push(CommandType::PLAY, 1);
    std::int64_t onset = -1;
    for (int b = 0; b < 600 && onset < 0; ++b) {
        const std::uint64_t start = s().frame;
        block(64);
        for (int f = 0; f < 64; ++f)
            if (std::fabs(master[2 * f]) > 0.01f) {
                onset = static_cast<std::int64_t>(start) + f;
                break;
            }
    }
    ASSERT_GE(onset, 0) << "deck 1 never sounded";
    // The master's beat 1 lies at frame 24000 of its track, which started at engine frame 0.
    EXPECT_GT(static_cast<std::uint64_t>(onset), pressedAt);
    EXPECT_NEAR(static_cast<double>(onset), 24000.0, 64.0);
}

TEST_F(SyncRender, APausedMasterHoldsNoQuantisedCommand) {
    const auto kPlaying = static_cast<std::uint8_t>(DeckState::PLAYING);
    for (int d = 0; d < 3; ++d)
        load(d, clickTrack(120.0, 30.0));
    push(CommandType::PLAY, 0);
    for (int i = 0; i < 10; ++i)
        block();
    push(CommandType::PAUSE, 0);
    push(CommandType::SET_QUANTISE, -1, 1);
    block();
    ASSERT_EQ(s().masterDeck, 0);
    push(CommandType::PLAY, 1); // the paused master's beat never advances: start at once
    block();
    EXPECT_EQ(s().decks[1].state, kPlaying);

    block(); // deck 1 now plays and leads
    ASSERT_EQ(s().masterDeck, 1);
    push(CommandType::PLAY, 2);
    block();
    EXPECT_NE(s().decks[2].state, kPlaying) << "parked for the playing master's next beat";
    push(CommandType::PAUSE, 1); // the master stops before that beat: the start goes ahead
    block();
    EXPECT_EQ(s().decks[2].state, kPlaying);
}

TEST_F(SyncRender, ParkedJumpRealignsASyncedFollower) {
    load(0, clickTrack(120.0, 30.0));
    load(1, clickTrack(120.0, 30.0));
    push(CommandType::SET_PLAYHEAD, 1, 0.3 * 24000.0); // hot cue 0 sits 0.3 beat off the grid
    push(CommandType::SET_HOT_CUE, 1, 0);
    push(CommandType::SET_PLAYHEAD, 1, 0.0);
    push(CommandType::SET_SYNC, 1, 1);
    push(CommandType::PLAY, 0);
    push(CommandType::PLAY, 1);
    block();
    push(CommandType::SET_QUANTISE, -1, 1);
    push(CommandType::JUMP_HOT_CUE, 1, 0);
    for (int i = 0; i < 100; ++i) // past the master's next beat (94 blocks away)
        block();
    const EngineSnapshot snap = s();
    EXPECT_LT(std::fabs(wrappedBeatDifference(snap.decks[0].beat, snap.decks[1].beat)), 0.01);
    EXPECT_LT(snap.decks[1].position, 12000.0) << "the jump fired and was lined up";
}

} // namespace
} // namespace vyn
