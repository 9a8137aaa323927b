#include "dsp/VarispeedReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vyn {
namespace {

// A source whose left channel holds the frame number and right channel its negative, so every
// output sample tells which source position it came from.
struct RampSource {
    std::int64_t frames;
    int fetches = 0;
    void operator()(std::int64_t first, float* dst, int count) {
        ++fetches;
        for (int i = 0; i < count; ++i) {
            const std::int64_t f = first + i;
            const bool inside = f >= 0 && f < frames;
            dst[2 * i] = inside ? static_cast<float>(f) : 0.0f;
            dst[2 * i + 1] = inside ? -static_cast<float>(f) : 0.0f;
        }
    }
};

class Varispeed : public ::testing::Test {
protected:
    void SetUp() override { reader.prepare(8192); }
    std::vector<float> read(double speed, int n) {
        std::vector<float> out(2 * static_cast<std::size_t>(n), -1.0f);
        ended = !reader.read(source, playhead, static_cast<double>(source.frames), speed,
                             out.data(), n);
        return out;
    }
    std::vector<float> readLooped(double speed, int n, double in, double outEdge) {
        std::vector<float> out(2 * static_cast<std::size_t>(n), -1.0f);
        ended = !reader.readLooped(source, playhead, static_cast<double>(source.frames), speed, in,
                                   outEdge, out.data(), n);
        return out;
    }
    VarispeedReader reader;
    RampSource source{1000};
    double playhead = 0.0;
    bool ended = false;
};

TEST_F(Varispeed, UnitSpeedCopiesTheSourceExactly) {
    playhead = 17.0;
    const auto out = read(1.0, 100);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(out[2 * i], 17.0f + i);
        ASSERT_EQ(out[2 * i + 1], -(17.0f + i));
    }
    EXPECT_EQ(playhead, 117.0);
    EXPECT_FALSE(ended);
}

TEST_F(Varispeed, InterpolatesBetweenFramesAtFractionalPositions) {
    playhead = 10.25;
    const auto out = read(0.5, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_FLOAT_EQ(out[2 * i], 10.25f + 0.5f * i);
    EXPECT_DOUBLE_EQ(playhead, 14.25);
}

TEST_F(Varispeed, ReadsBackwardsAndStopsAtTheStartWithoutEnding) {
    playhead = 50.0;
    auto out = read(-1.0, 20);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(out[2 * i], 50.0f - i);
    EXPECT_EQ(playhead, 30.0);
    out = read(-2.0, 40);
    EXPECT_EQ(playhead, 0.0);
    EXPECT_FALSE(ended);
    EXPECT_EQ(out[2 * 39], 0.0f); // positions below 0 hold the first frame
}

TEST_F(Varispeed, ReportsTheEndOfTheSource) {
    playhead = 990.0;
    const auto out = read(1.0, 20);
    EXPECT_TRUE(ended);
    EXPECT_EQ(playhead, 1000.0);
    EXPECT_EQ(out[2 * 9], 999.0f);
    EXPECT_EQ(out[2 * 10], 0.0f); // silence past the end
}

TEST_F(Varispeed, FastReadsFetchOneSpanWithinTheScratch) {
    VarispeedReader small;
    small.prepare(64);
    playhead = 0.0;
    std::vector<float> out(2 * 100);
    // 100 frames at speed 4 would need 403 source frames: the span is cut to the scratch and the
    // positions past it hold the last fetched frame instead of reading out of bounds.
    small.read(source, playhead, 1000.0, 4.0, out.data(), 100);
    EXPECT_EQ(out[2 * 15], 60.0f);
    EXPECT_EQ(out[2 * 99], 63.0f);
    EXPECT_EQ(playhead, 400.0);
    VarispeedSpan span = planVarispeed(50.5, 10, -1.0, 8192);
    EXPECT_EQ(span.first, 39); // one frame of history below floor(lowest position)
    EXPECT_EQ(span.count, 14);
    EXPECT_DOUBLE_EQ(span.x0, 11.5);
    span = planVarispeed(5.5, 10, -1.0, 8192); // never before the first frame
    EXPECT_EQ(span.first, 0);
    EXPECT_EQ(span.count, 8);
}

TEST_F(Varispeed, LoopRepeatsExactlyItsLength) {
    playhead = 90.0;
    const auto out = readLooped(1.0, 300, 100.0, 164.0);
    EXPECT_FALSE(ended);
    // Plays into the loop, then wraps from 163 to 100 without rendering 164.
    EXPECT_EQ(out[2 * 0], 90.0f);
    EXPECT_EQ(out[2 * 73], 163.0f);
    EXPECT_EQ(out[2 * 74], 100.0f);
    for (int i = 10; i + 64 < 300; ++i)
        ASSERT_EQ(out[2 * i], out[2 * (i + 64)]) << i;
    EXPECT_GE(playhead, 100.0);
    EXPECT_LT(playhead, 164.0);
}

TEST_F(Varispeed, LoopKeepsTheFractionalOvershootAtEveryWrap) {
    playhead = 100.0;
    const auto out = readLooped(1.5, 200, 100.0, 130.0);
    for (int i = 0; i < 200; ++i) {
        const double expected = 100.0 + std::fmod(1.5 * i, 30.0);
        ASSERT_NEAR(out[2 * i], expected, 1e-4) << i;
    }
}

TEST_F(Varispeed, ReverseLoopWrapsFromTheInEdgeToTheOutEdge) {
    playhead = 120.0;
    const auto out = readLooped(-1.0, 100, 100.0, 140.0);
    EXPECT_EQ(out[2 * 19], 101.0f);
    EXPECT_EQ(out[2 * 20], 120.0f + 20.0f); // 100 itself is skipped: wraps to 140
    for (int i = 0; i + 40 < 100; ++i)
        ASSERT_EQ(out[2 * i], out[2 * (i + 40)]);
}

TEST_F(Varispeed, PlayheadPastTheOutEdgeComesBackByWholeLoops) {
    playhead = 170.0; // 6 frames past the out edge, e.g. after halving a loop
    const auto out = readLooped(1.0, 4, 100.0, 164.0);
    EXPECT_EQ(out[0], 106.0f);
}

TEST_F(Varispeed, LoopEndingAtTheEndOfTheSourceKeepsPlaying) {
    playhead = 950.0;
    const auto out = readLooped(1.0, 200, 900.0, 1000.0);
    EXPECT_FALSE(ended);
    EXPECT_EQ(out[2 * 49], 999.0f);
    EXPECT_EQ(out[2 * 50], 900.0f);
}

TEST_F(Varispeed, NoLoopWhenTheEdgesAreUnset) {
    playhead = 990.0;
    readLooped(1.0, 20, -1.0, 500.0);
    EXPECT_TRUE(ended);
}

} // namespace
} // namespace vyn
