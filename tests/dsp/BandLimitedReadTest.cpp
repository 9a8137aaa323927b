// The varispeed reader with the band-limited interpolator: how closely it follows a waveform
// between frames, what it removes when it decimates, loops at fractional speeds, and switching
// interpolation in the middle of playback.

#include "dsp/VarispeedReader.h"

#include "common/StretchMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace vyn {
namespace {

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
