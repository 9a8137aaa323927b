// The varispeed reader with the band-limited interpolator: how closely it follows a waveform
// between frames, what it removes when it decimates, loops at fractional speeds, and switching
// interpolation in the middle of playback.

#include "dsp/VarispeedReader.h"

#include "common/SpectralPurity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace vyn {
namespace {

// cos(2 pi f n + 0.3) on both channels for 0 <= n < frames, silence outside.
struct Cosine {
    double cyclesPerFrame;
    std::int64_t frames = 1 << 20;
    double at(double n) const { return std::cos(2.0 * M_PI * cyclesPerFrame * n + 0.3); }
    void operator()(std::int64_t first, float* dst, int count) const {
        for (int i = 0; i < count; ++i) {
            const std::int64_t n = first + i;
            const bool inside = n >= 0 && n < frames;
            dst[2 * i] = dst[2 * i + 1] =
                inside ? static_cast<float>(at(static_cast<double>(n))) : 0.0f;
        }
    }
};

struct Noise {
    void operator()(std::int64_t first, float* dst, int count) const {
        for (int i = 0; i < count; ++i) {
            std::uint32_t x = static_cast<std::uint32_t>(first + i) * 2654435761u + 12345u;
            x ^= x >> 13;
            x *= 0x5bd1e995u;
            x ^= x >> 15;
            dst[2 * i] = static_cast<float>(x & 0xffff) / 65536.0f - 0.5f;
            dst[2 * i + 1] = -dst[2 * i];
        }
    }
};

VarispeedReader bandLimitedReader(int rawFrames = 16384) {
    VarispeedReader reader;
    reader.prepare(rawFrames);
    reader.setInterpolation(VarispeedInterpolation::BandLimited); // before any read: at once
    return reader;
}

struct Following {
    double cyclesPerFrame;
    double speed;
    double tolerance; // largest difference from the waveform, full scale 1
};

TEST(BandLimitedRead, FollowsTheWaveformBetweenFramesAtAnySpeed) {
    const Following cases[] = {
        {0.0, 0.37, 1e-6},       // a constant stays constant at every phase
        {0.0, 3.3, 1e-6},        // ... through the decimating low-pass
        {0.0, 7.0, 1e-6},        // ... and beyond its widest setting
        {0.02, 0.91875, 5e-5},   // 1 kHz of a 44.1 kHz source on a 48 kHz engine
        {0.272, 0.9555, 5e-5},   // 12 kHz at rate 1.04
        {0.3628, 0.99225, 1e-4}, // 16 kHz at rate 1.08
        {0.3, -0.9, 5e-5},       // backwards
        {0.1, 2.5, 5e-5},        // decimating: below the lowered cutoff
        {0.04, -4.0, 5e-5},      // scratching backwards at the fastest jog speed
    };
    for (const Following& c : cases) {
        VarispeedReader reader = bandLimitedReader();
        const Cosine source{c.cyclesPerFrame};
        double playhead = 100000.37;
        const double start = playhead;
        std::vector<float> out(2 * 1000);
        reader.read(source, playhead, 1e9, c.speed, out.data(), 1000);
        double worst = 0.0;
        for (int i = 0; i < 1000; ++i)
            worst = std::fmax(worst, std::fabs(out[2 * i] - source.at(start + i * c.speed)));
        EXPECT_LE(worst, c.tolerance) << c.cyclesPerFrame << " at " << c.speed;
        EXPECT_DOUBLE_EQ(playhead, start + 1000 * c.speed);
    }
}

TEST(BandLimitedRead, RemovesWhatWouldFoldBackWhenDecimating) {
    // Each tone would fold back below 0.4 cycles per output frame (19.2 kHz at 48 kHz).
    const Following cases[] = {{0.48, 1.3, 0}, {0.35, 2.0, 0}, {0.2, 4.0, 0}, {0.2, -8.0, 0}};
    for (const Following& c : cases) {
        VarispeedReader reader = bandLimitedReader();
        double playhead = 200000.5;
        std::vector<float> out(2 * 1000);
        reader.read(Cosine{c.cyclesPerFrame}, playhead, 1e9, c.speed, out.data(), 1000);
        double energy = 0.0;
        for (int i = 0; i < 1000; ++i)
            energy += out[2 * i] * out[2 * i];
        EXPECT_LE(10.0 * std::log10(energy / 500.0 + 1e-30), -80.0)
            << c.cyclesPerFrame << " at " << c.speed;
    }
}

TEST(BandLimitedRead, AReadLongerThanTheScratchHoldsItsLastPosition) {
    VarispeedReader reader = bandLimitedReader(64);
    double playhead = 1000.0;
    std::vector<float> out(2 * 100);
    // 100 frames at speed 4 span 400 source frames: the positions past the scratch repeat the last
    // one it holds instead of reading beyond it.
    reader.read(Noise{}, playhead, 1e9, 4.0, out.data(), 100);
    EXPECT_EQ(playhead, 1400.0);
    for (int i = 20; i < 100; ++i) // the scratch, with its margins, ends after frame 16
        ASSERT_EQ(out[2 * i], out[2 * 99]) << i;
    EXPECT_NE(out[0], out[2 * 99]);
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
        for (int done = 0; done < 970; done += 97)
            reader.readLooped(Noise{}, playhead, 1e9, c.speed, 1000.0, 1030.0,
                              out.data() + 2 * done, 97);
        for (int i = 40; i + c.period < 970; ++i) {
            ASSERT_EQ(out[2 * i], out[2 * (i + c.period)]) << c.speed << " frame " << i;
            ASSERT_EQ(out[2 * i + 1], out[2 * (i + c.period) + 1]) << c.speed << " frame " << i;
        }
        EXPECT_GE(playhead, 1000.0);
        EXPECT_LE(playhead, 1030.0);
    }
}

// A quarter of the source rate read at half speed, in blocks of 256 frames; the interpolation
// changes before the blocks listed. Linear interpolation adds an image 21 dB down at 0.375 cycles
// per output frame; the band-limited one does not. Returns the output.
std::vector<float> playAcrossSwitches(const std::vector<int>& switchBlocks) {
    VarispeedReader reader;
    reader.prepare(16384);
    const Cosine source{0.25};
    double playhead = 5000.0;
    std::vector<float> out(2 * 256 * 32);
    for (int b = 0; b < 32; ++b) {
        for (int s : switchBlocks)
            if (s == b)
                reader.setInterpolation(reader.interpolation() == VarispeedInterpolation::Linear
                                            ? VarispeedInterpolation::BandLimited
                                            : VarispeedInterpolation::Linear);
        reader.read(source, playhead, 1e9, 0.5, out.data() + 2 * 256 * b, 256);
    }
    return out;
}

TEST(BandLimitedRead, SwitchingInterpolationWhilePlayingDoesNotClick) {
    // A click spreads energy over the whole spectrum, while steady playback of this tone puts none
    // below 0.1 cycles per frame (4.8 kHz at 48 kHz) with either interpolation (about -300 dB).
    // Measured over 2048 frames centred on the last switch; switching at once measures -46 dB.
    struct Case {
        std::vector<int> switchBlocks;
        double limit;
    };
    const Case cases[] = {
        {{16}, -100.0},
        {{12, 16}, -100.0}, // and back once the blend is over
        {{16, 17}, -70.0},  // back half way through: the blend turns round where it was
    };
    for (const Case& c : cases) {
        const std::vector<float> out = playAcrossSwitches(c.switchBlocks);
        const std::size_t from = 256 * static_cast<std::size_t>(c.switchBlocks.back()) - 1024;
        EXPECT_LE(test::bandEnergyDb(out.data() + 2 * from, 2048, 2, 0, 48000.0, 20.0, 4800.0),
                  c.limit)
            << c.switchBlocks.size() << " switches";
    }
}

} // namespace
} // namespace vyn
