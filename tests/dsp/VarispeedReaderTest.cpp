#include "dsp/VarispeedReader.h"
#include "common/StretchMeasure.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
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

TEST_F(Varispeed, CopiesAtUnitSpeedAndInterpolatesAtFractionalPositions) {
    playhead = 17.0;
    auto out = read(1.0, 100);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(out[2 * i], 17.0f + i);
        ASSERT_EQ(out[2 * i + 1], -(17.0f + i));
    }
    EXPECT_EQ(playhead, 117.0);
    EXPECT_FALSE(ended);
    playhead = 10.25;
    out = read(0.5, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_FLOAT_EQ(out[2 * i], 10.25f + 0.5f * i);
    EXPECT_DOUBLE_EQ(playhead, 14.25);
}

TEST_F(Varispeed, StopsAtTheStartBackwardsAndReportsTheEndForwards) {
    playhead = 50.0;
    auto out = read(-1.0, 20);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(out[2 * i], 50.0f - i);
    EXPECT_EQ(playhead, 30.0);
    out = read(-2.0, 40);
    EXPECT_EQ(playhead, 0.0);
    EXPECT_FALSE(ended);
    EXPECT_EQ(out[2 * 39], 0.0f); // positions below 0 hold the first frame
    playhead = 990.0;
    out = read(1.0, 20);
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

TEST_F(Varispeed, ReverseLoopWrapsToTheOutEdgeAndAPlayheadPastItComesBackByWholeLoops) {
    playhead = 120.0;
    auto out = readLooped(-1.0, 100, 100.0, 140.0);
    EXPECT_EQ(out[2 * 19], 101.0f);
    EXPECT_EQ(out[2 * 20], 120.0f + 20.0f); // 100 itself is skipped: wraps to 140
    for (int i = 0; i + 40 < 100; ++i)
        ASSERT_EQ(out[2 * i], out[2 * (i + 40)]);
    playhead = 170.0; // 6 frames past the out edge, e.g. after halving a loop
    out = readLooped(1.0, 4, 100.0, 164.0);
    EXPECT_EQ(out[0], 106.0f);
}

TEST_F(Varispeed, ALoopAtTheEndOfTheSourceKeepsPlayingAndUnsetEdgesAreNoLoop) {
    playhead = 950.0;
    const auto out = readLooped(1.0, 200, 900.0, 1000.0);
    EXPECT_FALSE(ended);
    EXPECT_EQ(out[2 * 49], 999.0f);
    EXPECT_EQ(out[2 * 50], 900.0f);
    playhead = 990.0;
    readLooped(1.0, 20, -1.0, 500.0);
    EXPECT_TRUE(ended) << "no in point: plays to the end";
}

// The varispeed reader with the band-limited interpolator: how closely it follows a waveform
// between frames, what it removes when it decimates, loops at fractional speeds, and switching
// interpolation in the middle of playback.

// cos(2 pi f n + 0.3) on both channels for n >= 0, silence before.
struct Cosine {
    double cyclesPerFrame;
    double at(double n) const { return std::cos(2.0 * M_PI * cyclesPerFrame * n + 0.3); }
    void operator()(std::int64_t first, float* dst, int count) const {
        for (int i = 0; i < count; ++i)
            dst[2 * i] = dst[2 * i + 1] =
                first + i < 0 ? 0.0f : static_cast<float>(at(static_cast<double>(first + i)));
    }
};

VarispeedReader bandLimitedReader() {
    VarispeedReader reader;
    reader.prepare(16384);
    reader.setInterpolation(VarispeedInterpolation::BandLimited); // before any read: at once
    return reader;
}

TEST(BandLimitedRead, FollowsTheWaveformAndRemovesWhatWouldFoldBack) {
    struct Case {
        double cyclesPerFrame;
        double speed;
        double tolerance; // largest difference from the waveform; 0: the tone must be gone
    };
    const Case cases[] = {
        {0.0, 0.37, 1e-6},       // a constant stays constant at every phase
        {0.0, 3.3, 1e-6},        // ... through the decimating low-pass
        {0.0, 7.0, 1e-6},        // ... and beyond its widest setting
        {0.02, 0.91875, 5e-5},   // 1 kHz of a 44.1 kHz source on a 48 kHz engine
        {0.3628, 0.99225, 1e-4}, // 16 kHz at rate 1.08
        {0.3, -0.9, 5e-5},       // backwards
        {0.1, 2.5, 5e-5},        // decimating: below the lowered cutoff
        {0.04, -4.0, 5e-5},      // scratching backwards at the fastest jog speed
        // Tones that would fold back below 0.4 cycles per output frame (19.2 kHz at 48 kHz).
        {0.48, 1.3, 0},
        {0.35, 2.0, 0},
        {0.2, 4.0, 0},
        {0.2, -8.0, 0}, // beyond the widest low-pass, its cutoff stays at 1/8
    };
    for (const Case& c : cases) {
        VarispeedReader reader = bandLimitedReader();
        const Cosine source{c.cyclesPerFrame};
        const double start = 100000.37;
        double playhead = start;
        std::vector<float> out(2 * 1000);
        reader.read(source, playhead, 1e9, c.speed, out.data(), 1000);
        EXPECT_DOUBLE_EQ(playhead, start + 1000 * c.speed);
        double worst = 0.0;
        double energy = 0.0;
        for (int i = 0; i < 1000; ++i) {
            worst = std::fmax(worst, std::fabs(out[2 * i] - source.at(start + i * c.speed)));
            energy += out[2 * i] * out[2 * i];
        }
        if (c.tolerance > 0)
            EXPECT_LE(worst, c.tolerance) << c.cyclesPerFrame << " at " << c.speed;
        else
            EXPECT_LE(10.0 * std::log10(energy / 500.0), -80.0)
                << c.cyclesPerFrame << " at " << c.speed;
    }
}

TEST(BandLimitedRead, LoopsRepeatExactlyAtFractionalSpeeds) {
    struct Case {
        double speed;
        int period; // output frames per pass of the 30-frame loop
    };
    for (const Case c : {Case{1.5, 20}, Case{-1.5, 20}, Case{0.75, 40}, Case{2.5, 12}}) {
        VarispeedReader reader = bandLimitedReader();
        double playhead = 1010.0;
        std::vector<float> out(2 * 970);
        for (int done = 0; done < 970; done += 97) // blocks that end anywhere in the loop
            reader.readLooped(Cosine{0.1234}, playhead, 1e9, c.speed, 1000.0, 1030.0,
                              out.data() + 2 * done, 97);
        for (int i = 40; i + c.period < 970; ++i)
            ASSERT_EQ(out[2 * i], out[2 * (i + c.period)]) << c.speed << " frame " << i;
        EXPECT_GE(playhead, 1000.0);
        EXPECT_LE(playhead, 1030.0);
    }
}

TEST(BandLimitedRead, SwitchingInterpolationWhilePlayingDoesNotClick) {
    // A quarter of the source rate read at half speed: linear interpolation adds an image 21 dB
    // down at 0.375 cycles per output frame, the band-limited one none, and neither puts anything
    // below 0.1 (about -300 dB), while a click spreads energy over the whole spectrum. Measured
    // over 2048 frames centred on the last switch; switching at once measures -46 dB.
    struct Case {
        std::vector<int> switchBlocks; // the interpolation changes before these 256-frame blocks
        double limit;
    };
    const Case cases[] = {
        {{16}, -100.0},
        {{12, 16}, -100.0}, // and back once the blend is over
        {{16, 17}, -70.0},  // back half way through: the blend turns round where it was
    };
    for (const Case& c : cases) {
        VarispeedReader reader;
        reader.prepare(16384);
        double playhead = 5000.0;
        std::vector<float> out(2 * 256 * 32);
        for (int b = 0; b < 32; ++b) {
            for (int s : c.switchBlocks)
                if (s == b)
                    reader.setInterpolation(reader.interpolation() == VarispeedInterpolation::Linear
                                                ? VarispeedInterpolation::BandLimited
                                                : VarispeedInterpolation::Linear);
            reader.read(Cosine{0.25}, playhead, 1e9, 0.5, out.data() + 2 * 256 * b, 256);
        }
        const std::size_t from = 256 * static_cast<std::size_t>(c.switchBlocks.back()) - 1024;
        EXPECT_LE(test::bandDb(test::stretchSpectrum(out.data() + 2 * from, 2048, 2, 0, 1.0),
                               0.0005, 0.1),
                  c.limit)
            << c.switchBlocks.size() << " switches";
    }
}

} // namespace
} // namespace vyn
