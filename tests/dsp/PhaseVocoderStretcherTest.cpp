#include "dsp/PhaseVocoderStretcher.h"

#include "common/StretchMeasure.h"
#include "common/ToneMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

// Stereo frames: `left` and `right` of frame i.
template <class F> std::vector<float> stereo(double seconds, F f) {
    std::vector<float> v(2 * static_cast<std::size_t>(seconds * kRate));
    for (std::size_t i = 0; i < v.size() / 2; ++i) {
        v[2 * i] = static_cast<float>(f(static_cast<double>(i) / kRate, 0));
        v[2 * i + 1] = static_cast<float>(f(static_cast<double>(i) / kRate, 1));
    }
    return v;
}

TEST(PhaseVocoder, EdgesOfTheStretcherContract) {
    PhaseVocoderStretcher s;
    std::vector<float> big(2 * 200000, 0.25f);
    std::vector<float> out(2 * 64, 1.0f);
    EXPECT_EQ(s.inputFramesFor(64), 64); // unprepared: silence, and asks for what it gives
    s.process(big.data(), 64, out.data(), 64);
    EXPECT_EQ(test::peakLevel(out.data(), out.size()), 0.0f);

    s.prepare(0.0, 64, 0); // no rate: 48 kHz
    s.setRatio(5.0);
    EXPECT_EQ(s.ratio(), 4.0);
    s.setRatio(0.1);
    EXPECT_EQ(s.ratio(), 0.25);
    s.setRatio(std::nan(""));
    EXPECT_EQ(s.ratio(), 0.25);
    // More input than it holds is dropped, not written past the end; the first hop still plays.
    s.process(big.data(), 200000, out.data(), 64);
    EXPECT_EQ(s.inputFill(), s.inputCapacity());
    EXPECT_EQ(out[0], 0.25f);
    s.reset(); // forgets it all: starved, it plays silence rather than stale output
    EXPECT_EQ(s.latencyFrames(), 0.0);
    s.process(nullptr, 0, out.data(), 64);
    EXPECT_EQ(test::peakLevel(out.data(), out.size()), 0.0f);
}

TEST(PhaseVocoder, TheFirstHopAfterAResetIsTheInputAtFullLevel) {
    PhaseVocoderStretcher s;
    s.prepare(kRate, 512, 0);
    s.setRatio(1.25);
    const auto noise = stereo(1.0, [](double t, int c) { return std::sin(1e5 * t * t + c); });
    const auto out = test::stretchThrough(s, noise, 512, static_cast<std::size_t>(s.hopFrames()));
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_NEAR(out[i], noise[i], 1e-6) << i;
}

TEST(PhaseVocoder, DeliversEveryBlockAndAccountsForEveryInputFrame) {
    const auto tone = stereo(14.0, [](double t, int) { return std::sin(2 * M_PI * 330 * t); });
    for (double ratio : {0.25, 0.8, 1.06, 2.83, 4.0}) {
        for (int block : {64, 256, 2048}) {
            PhaseVocoderStretcher s;
            s.prepare(kRate, 2048, 3);
            s.setRatio(ratio);
            std::size_t used = 0;
            const std::size_t frames = 48000 * 3;
            const auto out = test::stretchThrough(s, tone, block, frames, &used);
            // What went in is how far the output has got at the ratio plus what is held inside:
            // the latency is right, so a deck's audible position is.
            EXPECT_NEAR(static_cast<double>(used), frames * ratio + s.latencyFrames(), 2.0)
                << ratio << " " << block;
            for (std::size_t i = 0; i + 200 < frames; i += 100)
                ASSERT_GT(test::peakLevel(&out[2 * i], 400), 0.5f)
                    << ratio << " " << block << " " << i;
        }
    }
}

TEST(PhaseVocoder, KeepsTheStereoImage) {
    struct Case {
        const char* name;
        double gain;  // right against left
        double phase; // right's delay, radians
    } cases[] = {{"right half as loud, a quarter period late", 0.5, M_PI / 2},
                 {"out of phase", 1.0, M_PI}};
    for (const Case& c : cases) {
        PhaseVocoderStretcher s;
        s.prepare(kRate, 256, 0);
        s.setRatio(1.06);
        const auto chord = stereo(12.0, [&](double t, int ch) {
            double v = 0.0;
            for (double hz : test::kChordHz)
                v += 0.25 * (ch == 0 ? std::sin(2 * M_PI * hz * t)
                                     : c.gain * std::sin(2 * M_PI * hz * t - c.phase));
            return v;
        });
        const auto out = test::stretchThrough(s, chord, 256, 48000 * 7);
        double ll = 0, rr = 0, lr = 0;
        for (std::size_t i = 48000; i < out.size() / 2; ++i) {
            ll += out[2 * i] * out[2 * i];
            rr += out[2 * i + 1] * out[2 * i + 1];
            lr += out[2 * i] * out[2 * i + 1];
        }
        EXPECT_NEAR(std::sqrt(rr / ll), c.gain, 0.01) << c.name;
        EXPECT_NEAR(lr / std::sqrt(ll * rr), std::cos(c.phase), 0.01) << c.name;
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_LE(test::offPartialDb(
                          test::stretchSpectrum(out.data(), out.size() / 2, 2, ch, kRate, 48000),
                          test::kChordHz),
                      -40.0)
                << c.name << ", channel " << ch;
    }
}

TEST(PhaseVocoder, OnsetsLandOnTimeSlowerAndFasterAndAFlamKeepsItsShape) {
    // A click at the very start, and a flam: a second hit 40 ms after the first, inside the same
    // window, which keeps its distance from the first.
    const std::vector<double> at = {0.01, 0.7, 0.74, 1.5, 2.3, 3.1, 3.9, 4.7};
    const std::size_t flam = 2;
    std::vector<float> tone = test::partialsSignal({220.0}, 8.0, kRate);
    for (float& v : tone)
        v *= 0.2f; // a quiet tone under the clicks
    const auto mono = test::clickSignal(at, 8.0, kRate, tone);
    const auto input = stereo(8.0, [&](double t, int ch) {
        return mono[static_cast<std::size_t>(std::lround(t * kRate))] * (ch ? 0.8 : 1.0);
    });
    const auto want = test::measureClicks(input.data(), 5 * 48000, 2, 0, kRate, 0.02);
    ASSERT_EQ(want.size(), at.size());
    for (double ratio : {0.8, 1.25}) {
        PhaseVocoderStretcher s;
        s.prepare(kRate, 256, 5);
        s.setRatio(ratio);
        const auto out =
            test::stretchThrough(s, input, 256, static_cast<std::size_t>(5.0 / ratio * kRate));
        const auto got = test::measureClicks(out.data(), out.size() / 2, 2, 0, kRate, 0.02);
        ASSERT_EQ(got.size(), want.size()) << ratio;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_LT(got[i].riseSeconds, 0.002) << ratio << " click " << i;
            const double ideal = i == flam ? got[i - 1].onsetSeconds + want[i].onsetSeconds -
                                                 want[i - 1].onsetSeconds
                                           : want[i].onsetSeconds / ratio;
            EXPECT_NEAR(got[i].onsetSeconds, ideal, i == flam ? 0.0005 : 0.005)
                << ratio << " click " << i;
        }
    }
}

} // namespace
} // namespace vyn
