#include "engine/BeatGrid.h"

#include <gtest/gtest.h>

#include <limits>

namespace vyn {
namespace {

BeatGrid grid(std::vector<GridBeat> beats) {
    BeatGrid g;
    g.beats = std::move(beats);
    g.updateSummary();
    return g;
}

TEST(BeatGrid, EmptyGridAnswersZero) {
    BeatGrid g;
    EXPECT_EQ(g.indexAt(3.0), -1);
    EXPECT_EQ(g.beatAt(3.0), 0.0);
    EXPECT_EQ(g.timeAt(3.0), 0.0);
    EXPECT_EQ(g.bpmAt(3.0), 0.0);
    EXPECT_EQ(g.barPhase(3.0), 0.0);
    EXPECT_TRUE(g.constantTempo);
    EXPECT_EQ(g.beatsPerBar, 4);
}

TEST(BeatGrid, SingleBeatExtrapolatesBothWays) {
    const BeatGrid g = grid({{1.0, 120.0, 1}});
    EXPECT_DOUBLE_EQ(g.beatAt(1.5), 1.0);
    EXPECT_DOUBLE_EQ(g.beatAt(0.5), -1.0);
    EXPECT_DOUBLE_EQ(g.timeAt(2.0), 2.0);
    EXPECT_EQ(g.indexAt(0.99), -1);
    EXPECT_EQ(g.indexAt(1.0), 0);
}

TEST(BeatGrid, ClampsExtrapolationTempo) {
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

TEST(BeatGrid, NotANumberReadsAsZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const BeatGrid& g : {grid({{1.0, 120.0, 1}}), grid({{0.5, 120.0, 1}, {1.0, 120.0, 2}})}) {
        EXPECT_EQ(g.beatAt(nan), 0.0);
        EXPECT_EQ(g.timeAt(nan), 0.0);
        EXPECT_EQ(g.barPhase(nan), 0.0);
    }
}

} // namespace
} // namespace vyn
