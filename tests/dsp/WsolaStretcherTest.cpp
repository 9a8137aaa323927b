#include "dsp/WsolaStretcher.h"

#include "common/Signals.h"
#include "common/StretchMeasure.h"
#include "common/ToneMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace vyn {
namespace {

std::size_t stretch(WsolaStretcher& s, const std::vector<float>& input, std::vector<float>& out,
                    int block, std::size_t outFrames) {
    std::size_t used = 0;
    out = test::stretchThrough(s, input, block, outFrames, &used);
    return used;
}

TEST(WsolaWindow, EightVariantsForSixteenDecksAndAMissingRateIsFortyEightKilohertz) {
    WsolaStretcher a, b;
    std::set<int> windows;
    for (int v = 0; v < 8; ++v) {
        a.prepare(48000.0, 256, v);
        b.prepare(48000.0, 256, v + 8); // decks 8-15 reuse the lengths of decks 0-7
        windows.insert(a.windowFrames());
        EXPECT_EQ(b.windowFrames(), a.windowFrames());
        EXPECT_EQ(a.hopFrames(), a.windowFrames() / 2);
    }
    EXPECT_EQ(windows.size(), 8u) << "each variant its own length, so decks do not beat together";
    a.prepare(0.0, 256, 3);
    b.prepare(48000.0, 256, 3);
    EXPECT_EQ(a.windowFrames(), b.windowFrames());
    EXPECT_EQ(a.searchFrames(), b.searchFrames());
    a.prepare(44100.0, 256, 3);
    EXPECT_LT(a.windowFrames(), b.windowFrames()) << "the window is a time, not a frame count";
}

TEST(WsolaRatio, IsClampedAndIgnoresNaN) {
    WsolaStretcher s;
    s.prepare(48000.0, 256, 0);
    s.setRatio(5.0);
    EXPECT_EQ(s.ratio(), 4.0);
    s.setRatio(0.1);
    EXPECT_EQ(s.ratio(), 0.25);
    s.setRatio(1.3);
    s.setRatio(std::nan(""));
    EXPECT_EQ(s.ratio(), 1.3);
}

TEST(WsolaUnprepared, WritesSilenceAndAsksForWhatItGives) {
    WsolaStretcher s;
    std::vector<float> in(512, 0.3f);
    std::vector<float> out(512, 1.0f);
    EXPECT_EQ(s.inputFramesFor(256), 256);
    s.process(in.data(), 256, out.data(), 256);
    for (float v : out)
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(s.latencyFrames(), 0.0);
}

TEST(WsolaFirstSegment, StartsAtInputFrameSUnwindowed) {
    WsolaStretcher s;
    s.prepare(48000.0, 1024, 0);
    const int S = s.searchFrames();
    const int hop = s.hopFrames();
    std::vector<float> ramp(2 * 4096);
    for (int i = 0; i < 4096; ++i) {
        ramp[2 * i] = static_cast<float>(i) / 4096.0f;
        ramp[2 * i + 1] = -static_cast<float>(i) / 4096.0f;
    }
    std::vector<float> out(2 * 1024);
    const int m = s.inputFramesFor(1024);
    ASSERT_LE(m, 4096);
    s.process(ramp.data(), m, out.data(), 1024);
    for (int i = 0; i < hop; ++i) {
        ASSERT_EQ(out[2 * i], ramp[2 * (S + i)]) << i;
        ASSERT_EQ(out[2 * i + 1], ramp[2 * (S + i) + 1]) << i;
    }
    // Frames before S after a reset are never heard: nothing in the output is below ramp[S].
    for (int i = 0; i < hop; ++i)
        EXPECT_GE(out[2 * i], ramp[2 * S]);
}

TEST(WsolaProcess, AlwaysDeliversTheRequestedBlockWhenFedWhatItAsks) {
    for (double ratio : {0.25, 0.8, 1.0, 1.06, 2.0, 2.83, 4.0}) {
        for (int block : {64, 256, 2048}) {
            WsolaStretcher s;
            s.prepare(48000.0, 2048, 3);
            s.setRatio(ratio);
            const auto input = test::stereoSine(330.0, 48000.0, 48000 * 20, 0.5f);
            std::vector<float> out;
            const std::size_t frames = 48000 * 3;
            const std::size_t used = stretch(s, input, out, block, frames);
            // Nothing pushed was dropped: what went in is what the analysis position passed
            // (S, then hop x ratio per hop of output) plus what is still held inside.
            EXPECT_NEAR(static_cast<double>(used),
                        s.searchFrames() + frames * ratio + s.latencyFrames(), 1e-6)
                << ratio << " " << block;
            // ...and after the first window the output never starves.
            std::size_t silent = 0;
            for (std::size_t i = 2 * 2048; i + 200 < frames; i += 100)
                if (test::peakLevel(&out[2 * i], 2 * 200) < 0.1f) ++silent;
            EXPECT_EQ(silent, 0u) << ratio << " " << block;
            EXPECT_LE(s.latencyFrames(), s.inputCapacity());
        }
    }
}

TEST(WsolaProcess, UnityRatioPlacesSegmentsAtTheirNaturalPositions) {
    WsolaStretcher s;
    s.prepare(48000.0, 256, 0);
    const int S = s.searchFrames();
    const auto input = test::stereoSine(440.0, 48000.0, 48000, 0.5f);
    std::vector<float> out;
    stretch(s, input, out, 256, 24000);
    // Every segment continues its predecessor exactly, so the output is the input delayed by S,
    // apart from the tiny ripple of the overlapping Hann halves.
    double worst = 0.0;
    for (int i = 2000; i < 23000; ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(out[2 * i]) - input[2 * (i + S)]));
    EXPECT_LT(worst, 0.01);
}

TEST(WsolaProcess, KeepsThePitchWhileChangingTheTempo) {
    for (double ratio : {0.8, 1.25, 1.06, 2.0}) {
        WsolaStretcher s;
        s.prepare(48000.0, 512, 1);
        s.setRatio(ratio);
        const auto input = test::stereoSine(440.0, 48000.0, 48000 * 8, 0.5f);
        std::vector<float> out;
        stretch(s, input, out, 512, 48000 * 3);
        const std::vector<float> steady(out.begin() + 2 * 4800, out.end());
        EXPECT_NEAR(test::toneFrequency(steady, 48000.0), 440.0, 440.0 * 0.005) << ratio;
        EXPECT_NEAR(test::toneFrequency(steady, 48000.0, 1), 440.0, 440.0 * 0.005) << ratio;
    }
}

TEST(WsolaProcess, ExcessInputIsDroppedNotOverflowed) {
    WsolaStretcher s;
    s.prepare(48000.0, 64, 0);
    std::vector<float> big(2 * 100000, 0.25f);
    std::vector<float> out(2 * 64);
    s.process(big.data(), 100000, out.data(), 64);
    // Everything beyond the room (capacity less one window) was dropped; the first hop played.
    EXPECT_LE(s.inputFill(), s.inputCapacity() - s.windowFrames());
    EXPECT_GT(s.inputFill(), s.inputCapacity() - s.windowFrames() - 2 * s.hopFrames());
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_LE(s.latencyFrames(), s.inputCapacity());
}

TEST(WsolaReset, ForgetsBufferedAudio) {
    WsolaStretcher s;
    s.prepare(48000.0, 256, 0);
    const auto input = test::stereoSine(440.0, 48000.0, 48000, 0.5f);
    std::vector<float> out;
    stretch(s, input, out, 256, 4096);
    EXPECT_GT(s.latencyFrames(), 0.0);
    s.reset();
    EXPECT_EQ(s.inputFill(), 0);
    EXPECT_EQ(s.readPosition(), s.searchFrames());
    EXPECT_EQ(s.latencyFrames(), 0.0);
    std::vector<float> block(2 * 256, 1.0f);
    s.process(nullptr, 0, block.data(), 256); // starved: silence, not stale output
    for (float v : block)
        ASSERT_EQ(v, 0.0f);
}

} // namespace
} // namespace vyn
