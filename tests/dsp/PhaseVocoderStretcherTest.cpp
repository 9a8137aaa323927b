#include "dsp/PhaseVocoderStretcher.h"

#include "common/StretchMeasure.h"
#include "common/ToneMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

// Stereo frames from a function of (frame, channel).
template <class F> std::vector<float> stereo(std::size_t frames, F f) {
    std::vector<float> v(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        v[2 * i] = static_cast<float>(f(i, 0));
        v[2 * i + 1] = static_cast<float>(f(i, 1));
    }
    return v;
}

double sine(double hz, std::size_t i, double phase = 0.0) {
    return std::sin(2 * M_PI * hz * static_cast<double>(i) / kRate + phase);
}

// Drives the stretcher as a deck does: asks how much input each block needs and feeds that.
// Returns the input frames consumed.
std::size_t stretch(PhaseVocoderStretcher& s, const std::vector<float>& input,
                    std::vector<float>& out, int block, std::size_t outFrames) {
    std::size_t used = 0;
    const std::size_t available = input.size() / 2;
    out.assign(2 * outFrames, 0.0f);
    for (std::size_t done = 0; done < outFrames; done += static_cast<std::size_t>(block)) {
        const int n = static_cast<int>(std::min<std::size_t>(block, outFrames - done));
        int m = s.inputFramesFor(n);
        if (used + static_cast<std::size_t>(m) > available) m = static_cast<int>(available - used);
        s.process(input.data() + 2 * used, m, out.data() + 2 * done, n);
        used += static_cast<std::size_t>(m);
    }
    return used;
}

TEST(PhaseVocoder, UnpreparedItIsSilentAndAsksForWhatItGives) {
    PhaseVocoderStretcher s;
    std::vector<float> in(512, 0.3f);
    std::vector<float> out(512, 1.0f);
    EXPECT_EQ(s.inputFramesFor(256), 256);
    s.process(in.data(), 256, out.data(), 256);
    for (float v : out)
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(s.latencyFrames(), 0.0);
}

TEST(PhaseVocoder, RatioIsClampedAndIgnoresNaN) {
    PhaseVocoderStretcher s;
    s.prepare(0.0, 256, 0); // no rate: 48 kHz
    EXPECT_EQ(s.windowFrames(), 8192);
    s.setRatio(5.0);
    EXPECT_EQ(s.ratio(), 4.0);
    s.setRatio(0.1);
    EXPECT_EQ(s.ratio(), 0.25);
    s.setRatio(1.3);
    s.setRatio(std::nan(""));
    EXPECT_EQ(s.ratio(), 1.3);
}

TEST(PhaseVocoder, TheFirstFrameAfterAResetIsTheInputAtFullLevel) {
    PhaseVocoderStretcher s;
    s.prepare(kRate, 512, 0);
    s.setRatio(1.25);
    const auto noise = stereo(40000, [](std::size_t i, int c) {
        return std::sin(0.37 * static_cast<double>(i * i % 1009) + c);
    });
    std::vector<float> out;
    stretch(s, noise, out, 512, static_cast<std::size_t>(s.hopFrames()));
    for (int i = 0; i < 2 * s.hopFrames(); ++i)
        ASSERT_NEAR(out[static_cast<std::size_t>(i)], noise[static_cast<std::size_t>(i)], 1e-6)
            << i;
}

TEST(PhaseVocoder, DeliversEveryBlockAndAccountsForEveryInputFrame) {
    for (double ratio : {0.25, 0.8, 1.06, 2.83, 4.0}) {
        for (int block : {64, 256, 2048}) {
            PhaseVocoderStretcher s;
            s.prepare(kRate, 2048, 3);
            s.setRatio(ratio);
            const auto input = stereo(48000 * 14, [](std::size_t i, int) { return sine(330, i); });
            std::vector<float> out;
            const std::size_t frames = 48000 * 3;
            const std::size_t used = stretch(s, input, out, block, frames);
            // What went in is where the output has got to at the ratio plus what is held inside:
            // the latency is right, so a deck's audible position is.
            EXPECT_NEAR(static_cast<double>(used), frames * ratio + s.latencyFrames(), 2.0)
                << ratio << " " << block;
            std::size_t silent = 0;
            for (std::size_t i = 0; i + 200 < frames; i += 100)
                if (test::peakLevel(&out[2 * i], 2 * 200) < 0.5f) ++silent;
            EXPECT_EQ(silent, 0u) << ratio << " " << block;
            EXPECT_LE(s.inputFill(), s.inputCapacity());
        }
    }
}

TEST(PhaseVocoder, ExcessInputIsDroppedNotOverflowed) {
    PhaseVocoderStretcher s;
    s.prepare(kRate, 64, 0);
    std::vector<float> big(2 * 200000, 0.25f);
    std::vector<float> out(2 * 64);
    s.process(big.data(), 200000, out.data(), 64);
    EXPECT_EQ(s.inputFill(), s.inputCapacity());
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_EQ(out[127], 0.25f);
}

TEST(PhaseVocoder, ResetForgetsBufferedAudio) {
    PhaseVocoderStretcher s;
    s.prepare(kRate, 256, 0);
    const auto input = stereo(96000, [](std::size_t i, int) { return 0.5 * sine(440, i); });
    std::vector<float> out;
    stretch(s, input, out, 256, 20000);
    EXPECT_GT(s.latencyFrames(), 0.0);
    s.reset();
    EXPECT_EQ(s.inputFill(), 0);
    EXPECT_EQ(s.latencyFrames(), 0.0);
    std::vector<float> block(2 * 256, 1.0f);
    s.process(nullptr, 0, block.data(), 256); // starved: silence, not stale output
    for (float v : block)
        ASSERT_EQ(v, 0.0f);
}

TEST(PhaseVocoder, KeepsTheStereoImage) {
    struct Case {
        const char* name;
        double rightGain;
        double rightPhase;
        double correlation; // of left and right: cos of the phase between them
    } cases[] = {
        {"right a quarter period later, half as loud", 0.5, -M_PI / 2, 0.0},
        {"out of phase", 1.0, M_PI, -1.0},
        {"right only", 1.0, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        PhaseVocoderStretcher s;
        s.prepare(kRate, 256, 0);
        s.setRatio(1.06);
        const bool rightOnly = c.correlation == 0.0 && c.rightPhase == 0.0;
        const auto input = stereo(48000 * 12, [&](std::size_t i, int ch) {
            double v = 0.0;
            for (double hz : {261.63, 329.63, 392.0})
                v += 0.25 * (ch == 0 ? (rightOnly ? 0.0 : sine(hz, i))
                                     : c.rightGain * sine(hz, i, c.rightPhase));
            return v;
        });
        std::vector<float> out;
        stretch(s, input, out, 256, 48000 * 7);
        const std::size_t from = 48000;
        const std::size_t n = out.size() / 2 - from;
        double ll = 0, rr = 0, lr = 0;
        for (std::size_t i = from; i < from + n; ++i) {
            ll += out[2 * i] * out[2 * i];
            rr += out[2 * i + 1] * out[2 * i + 1];
            lr += out[2 * i] * out[2 * i + 1];
        }
        if (rightOnly) {
            EXPECT_LT(ll, rr * 1e-8) << c.name;
            continue;
        }
        EXPECT_NEAR(std::sqrt(rr / ll), c.rightGain, 0.01) << c.name;
        EXPECT_NEAR(lr / std::sqrt(ll * rr), c.correlation, 0.01) << c.name;
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_LE(test::offPartialDb(
                          test::stretchSpectrum(out.data(), out.size() / 2, 2, ch, kRate, from),
                          {261.63, 329.63, 392.0}),
                      -40.0)
                << c.name << " channel " << ch;
    }
}

// Clicks over a quiet chord: each lasts 30 ms; `gaps` gives the seconds between them.
std::vector<float> clicks(double seconds, const std::vector<double>& at) {
    return stereo(static_cast<std::size_t>(seconds * kRate), [&](std::size_t i, int ch) {
        const double t = static_cast<double>(i) / kRate;
        double v = 0.05 * (sine(220.0, i) + sine(277.18, i));
        for (double a : at)
            if (t >= a && t < a + 0.03)
                v += 0.8 * std::sin(2 * M_PI * 3000 * (t - a)) * std::exp(-(t - a) / 0.003);
        return ch == 0 ? v : 0.8 * v;
    });
}

TEST(PhaseVocoder, OnsetsKeepTheirAttackAndLandOnTime) {
    // Slower and faster than the source; a click right at the start of the stream, and a flam:
    // a second hit 40 ms after the first, inside the same window, which keeps its spacing.
    const std::vector<double> at = {0.01, 0.7, 0.74, 1.5, 2.3, 3.1, 3.9, 4.7};
    const std::size_t flam = 2;
    for (double ratio : {0.8, 1.25}) {
        PhaseVocoderStretcher s;
        s.prepare(kRate, 256, 5);
        s.setRatio(ratio);
        const auto input = clicks(8.0, at);
        std::vector<float> out;
        stretch(s, input, out, 256, static_cast<std::size_t>(5.0 / ratio * kRate));
        const auto got = test::measureClicks(out.data(), out.size() / 2, 2, 0, kRate, 0.02);
        const auto want = test::measureClicks(input.data(), 5 * 48000, 2, 0, kRate, 0.02);
        ASSERT_EQ(want.size(), at.size());
        ASSERT_EQ(got.size(), want.size()) << ratio;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_LT(got[i].riseSeconds, 0.002) << ratio << " click " << i;
            const double ideal = i == flam ? got[i - 1].onsetSeconds +
                                                 (want[i].onsetSeconds - want[i - 1].onsetSeconds)
                                           : want[i].onsetSeconds / ratio;
            EXPECT_NEAR(got[i].onsetSeconds, ideal, i == flam ? 0.0005 : 0.005)
                << ratio << " click " << i;
        }
    }
}

} // namespace
} // namespace vyn
