// The beat grid (beats, times, tempo, bar phase), the load cue, and the sync manager: master
// election, the follower's tempo and its phase correction.

#include "engine/SyncManager.h"
#include "engine/BeatGrid.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>

namespace vyn {
namespace {

class Sync : public ::testing::Test {
protected:
    SyncInput in[16];
    SyncResult out[16];
    SyncManager sync;

    void deck(int d, double bpm, bool playing, double beat = 0.0) {
        in[d].loaded = in[d].hasGrid = true;
        in[d].gridBpm = in[d].localBpm = bpm;
        in[d].playing = playing;
        in[d].beat = beat;
        in[d].barPhase = std::fmod(beat, 4.0);
    }
    void step() { sync.update(in, out); }
};

TEST_F(Sync, ElectsTheFirstPlayingDeckWithAGridAndKeepsTheLastOne) {
    in[3].loaded = true; // no grid: never a candidate
    in[3].playing = true;
    step();
    EXPECT_EQ(sync.master(), -1);
    sync.setSyncOn(0, true);
    sync.setSyncOn(1, true);
    deck(0, 120, true);
    deck(1, 126, false);
    step();
    EXPECT_EQ(sync.master(), 0);
    in[1].playing = true;
    step();
    EXPECT_EQ(sync.master(), 0) << "a playing master keeps the role";
    in[0].playing = false;
    step();
    EXPECT_EQ(sync.master(), 1);
    in[1].playing = false;
    step();
    EXPECT_EQ(sync.master(), 1) << "with nothing playing the last master stays";
    EXPECT_FALSE(sync.masterPlaying());
}

TEST_F(Sync, ChosenMasterStaysMasterWhilePaused) {
    deck(0, 120, true);
    deck(5, 128, false);
    sync.setChosenMaster(5);
    step();
    EXPECT_EQ(sync.master(), 5);
    EXPECT_DOUBLE_EQ(sync.masterBpm(), 128.0);
    EXPECT_TRUE(out[5].isMaster);
}

TEST_F(Sync, FollowerTakesTheMastersTempoPlayingOrPaused) {
    deck(0, 120, true);
    in[0].userRate = 1.05;
    deck(1, 126, true);
    sync.setSyncOn(1, true);
    step();
    EXPECT_TRUE(out[1].following);
    EXPECT_NEAR(out[1].rate, 120.0 * 1.05 / 126.0, 1e-12);
    EXPECT_DOUBLE_EQ(sync.masterBpm(), 126.0);
    EXPECT_DOUBLE_EQ(out[0].rate, 1.05) << "the master plays at its own rate";
    // Paused, the follower keeps the tempo without correcting its phase.
    deck(1, 120, false, 3.3);
    step();
    EXPECT_TRUE(out[1].notCorrecting);
    EXPECT_NEAR(out[1].rate, 1.05, 1e-12);
}

TEST_F(Sync, LaggingFollowerIsNudgedGentlyUntilInPhase) {
    deck(0, 120, true, 0.0);
    deck(1, 120, true, -0.3);
    sync.setSyncOn(1, true);
    step(); // becoming playing with sync requests an align: take it out of the way
    in[1].beat = -0.3;
    const double dt = 256.0 / 48000.0;
    int blocks = 0;
    double maxRate = 0.0;
    for (; blocks < 100000; ++blocks) {
        step();
        maxRate = std::max(maxRate, out[1].rate);
        ASSERT_LE(out[1].rate, 1.002 + 1e-12);
        ASSERT_GE(out[1].rate, 1.0);
        // The nudge shrinks to nothing at the 0.01 dead band, so it is approached, not crossed.
        if (std::fabs(out[1].phaseError) <= 0.0101) break;
        in[0].beat += 2.0 * dt;
        in[1].beat += 2.0 * dt * out[1].rate;
    }
    EXPECT_LT(blocks, 100000);
    EXPECT_NEAR(maxRate, 1.002, 1e-9);
    EXPECT_LT(out[1].rate - 1.0, 0.25 * 0.0001 + 1e-12) << "the nudge fades out near the dead band";
    in[1].beat = in[0].beat - 0.005;
    step();
    EXPECT_DOUBLE_EQ(out[1].rate, 1.0) << "inside the dead band nothing is nudged";
}

TEST_F(Sync, StartingASyncedDeckSnapsItsBarPhaseAndAnAlignItsBeatPhase) {
    deck(0, 120, true, 8.0);  // bar phase 0
    deck(1, 120, false, 2.0); // bar phase 2: half a bar off
    sync.setSyncOn(1, true);
    step();
    in[1].playing = true;
    step();
    EXPECT_DOUBLE_EQ(out[1].correction, -2.0);
    EXPECT_DOUBLE_EQ(out[1].rate, 1.0);
    // An align without the snap corrects the beat phase only.
    deck(0, 120, true, 8.25);
    deck(1, 120, true, 5.0);
    sync.requestAlign(1, false);
    step();
    EXPECT_NEAR(out[1].correction, 0.25, 1e-12);
    step();
    EXPECT_EQ(out[1].correction, 0.0) << "the align is one-shot";
}

TEST_F(Sync, SwapCarriesFlagsAndMasterReferences) {
    deck(0, 120, true);
    deck(1, 124, true);
    sync.setSyncOn(1, true);
    sync.setChosenMaster(0);
    step();
    sync.swap(0, 1);
    EXPECT_EQ(sync.chosenMaster(), 1);
    EXPECT_EQ(sync.master(), 1);
    EXPECT_TRUE(sync.syncOn(0));
    EXPECT_FALSE(sync.syncOn(1));
}

BeatGrid grid(std::vector<GridBeat> beats) {
    BeatGrid g;
    g.beats = std::move(beats);
    g.updateSummary();
    return g;
}

TEST(BeatGrid, EmptyGridAndNotANumberAnswerZero) {
    BeatGrid g;
    EXPECT_EQ(
        std::tuple(g.indexAt(3.0), g.beatAt(3.0), g.timeAt(3.0), g.bpmAt(3.0), g.barPhase(3.0)),
        std::tuple(-1, 0.0, 0.0, 0.0, 0.0));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const BeatGrid& h : {grid({{1.0, 120.0, 1}}), grid({{0.5, 120.0, 1}, {1.0, 120.0, 2}})})
        EXPECT_EQ(std::tuple(h.beatAt(nan), h.timeAt(nan), h.barPhase(nan)),
                  std::tuple(0.0, 0.0, 0.0));
}

TEST(BeatGrid, SingleBeatExtrapolatesBothWaysAtAClampedTempo) {
    const BeatGrid g = grid({{1.0, 120.0, 1}});
    EXPECT_DOUBLE_EQ(g.beatAt(1.5), 1.0);
    EXPECT_DOUBLE_EQ(g.beatAt(0.5), -1.0);
    EXPECT_DOUBLE_EQ(g.timeAt(2.0), 2.0);
    EXPECT_EQ(g.indexAt(0.99), -1);
    EXPECT_EQ(g.indexAt(1.0), 0);
    EXPECT_DOUBLE_EQ(grid({{0.0, 10.0, 1}}).timeAt(1.0), 3.0);
    EXPECT_DOUBLE_EQ(grid({{0.0, 1000.0, 1}}).timeAt(1.0), 0.15);
}

TEST(BeatGrid, InterpolatesBetweenUnevenBeats) {
    const BeatGrid g = grid({{0.0, 120.0, 1}, {0.5, 120.0, 2}, {1.5, 60.0, 3}});
    EXPECT_DOUBLE_EQ(g.beatAt(1.0), 1.5);
    EXPECT_DOUBLE_EQ(g.timeAt(1.5), 1.0);
    EXPECT_DOUBLE_EQ(g.beatAt(2.5), 3.0); // beyond the last beat at its 60 BPM
    EXPECT_DOUBLE_EQ(g.bpmAt(0.7), 120.0);
    EXPECT_DOUBLE_EQ(g.bpmAt(9.0), 60.0);
    EXPECT_DOUBLE_EQ(g.bpmAt(-1.0), 120.0);
    EXPECT_FALSE(g.constantTempo);
    EXPECT_DOUBLE_EQ(g.bpm, 100.0);
}

TEST(BeatGrid, BarPhaseFollowsBeatInBar) {
    const BeatGrid g = grid({{0.0, 120.0, 3}, {0.5, 120.0, 4}, {1.0, 120.0, 1}});
    EXPECT_DOUBLE_EQ(g.barPhase(0.25), 2.5);
    EXPECT_DOUBLE_EQ(g.barPhase(0.75), 3.5);
    EXPECT_DOUBLE_EQ(g.barPhase(1.0), 0.0);
    EXPECT_DOUBLE_EQ(g.barPhase(-0.25), 2.5); // before the grid: from the first beat
}

TEST(LoadCue, PrefersLoadPointThenMemoryCue) {
    EXPECT_EQ(loadCueTime({}), 0.0);
    EXPECT_EQ(loadCueTime({{CueKind::HotCue, 0, 5.0, -1.0, ""}}), 0.0);
    EXPECT_EQ(
        loadCueTime({{CueKind::Memory, -1, 7.0, -1.0, ""}, {CueKind::Memory, -1, 3.0, -1.0, ""}}),
        7.0);
    EXPECT_EQ(loadCueTime(
                  {{CueKind::Memory, -1, 7.0, -1.0, ""}, {CueKind::LoadPoint, -1, 9.0, -1.0, ""}}),
              9.0);
}

} // namespace
} // namespace vyn
