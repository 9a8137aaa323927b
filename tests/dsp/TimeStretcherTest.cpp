// The two key-lock stretchers (the contract both keep, then each one's own behaviour measured on
// signals whose answer is known) and the onset detector the phase vocoder keeps attacks with.

#include "common/Signals.h"
#include "common/StretchMeasure.h"
#include "common/ToneMeasure.h"
#include "dsp/OnsetDetector.h"
#include "dsp/PhaseVocoderStretcher.h"
#include "dsp/WsolaStretcher.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <type_traits>
#include <vector>

namespace vyn {
namespace {

// What both stretchers promise a deck: silence and no demands before prepare, the ratio range,
// an oversized push dropped rather than written past the end, and a reset that forgets it all.
template <class Stretcher> class StretcherContract : public ::testing::Test {};
using Stretchers = ::testing::Types<WsolaStretcher, PhaseVocoderStretcher>;
TYPED_TEST_SUITE(StretcherContract, Stretchers);

// What an oversized push leaves inside: WSOLA keeps room for one window, the vocoder fills up.
void expectKeptWhatFits(const WsolaStretcher& s) {
    EXPECT_LE(s.inputFill(), s.inputCapacity() - s.windowFrames());
    EXPECT_GT(s.inputFill(), s.inputCapacity() - s.windowFrames() - 2 * s.hopFrames());
}
void expectKeptWhatFits(const PhaseVocoderStretcher& s) {
    EXPECT_EQ(s.inputFill(), s.inputCapacity());
}

TYPED_TEST(StretcherContract, KeepsItsPromisesAtTheEdges) {
    TypeParam s;
    std::vector<float> big(2 * 200000, 0.25f);
    std::vector<float> out(2 * 64, 1.0f);
    EXPECT_EQ(s.inputFramesFor(64), 64);
    s.process(big.data(), 64, out.data(), 64);
    EXPECT_EQ(test::peakLevel(out.data(), out.size()), 0.0f);
    EXPECT_EQ(s.latencyFrames(), 0.0);

    s.prepare(0.0, 64, 0); // no rate: 48 kHz
    for (const auto& [set, held] : {std::pair(5.0, 4.0), {0.1, 0.25}, {1.3, 1.3}, {NAN, 1.3}}) {
        s.setRatio(set);
        EXPECT_EQ(s.ratio(), held) << set;
    }
    s.process(big.data(), 200000, out.data(), 64);
    expectKeptWhatFits(s);
    EXPECT_EQ(out[0], 0.25f) << "the first hop still plays";
    EXPECT_LE(s.latencyFrames(), s.inputCapacity());
    s.reset();
    EXPECT_EQ(s.inputFill(), 0);
    EXPECT_EQ(s.latencyFrames(), 0.0);
    s.process(nullptr, 0, out.data(), 64); // starved: silence, not stale output
    EXPECT_EQ(test::peakLevel(out.data(), out.size()), 0.0f);
}

// Input frames a stretcher has taken for `frames` of output: WSOLA first skips S frames.
double expectedUse(const WsolaStretcher& s, std::size_t frames, double ratio) {
    return s.searchFrames() + frames * ratio + s.latencyFrames();
}
double expectedUse(const PhaseVocoderStretcher& s, std::size_t frames, double ratio) {
    return frames * ratio + s.latencyFrames();
}

TYPED_TEST(StretcherContract, DeliversEveryBlockAndAccountsForEveryInputFrame) {
    const auto input = test::stereoSine(330.0, 48000.0, 48000 * 14, 0.5f);
    for (double ratio : {0.25, 0.8, 1.0, 1.06, 2.83, 4.0}) {
        for (int block : {64, 256, 2048}) {
            TypeParam s;
            s.prepare(48000.0, 2048, 3);
            s.setRatio(ratio);
            std::size_t used = 0;
            const std::size_t frames = 48000 * 3;
            const auto out = test::stretchThrough(s, input, block, frames, &used);
            // Nothing pushed was dropped and the latency is right, so a deck's audible
            // position is.
            EXPECT_NEAR(static_cast<double>(used), expectedUse(s, frames, ratio),
                        (std::is_same_v<TypeParam, WsolaStretcher> ? 1e-6 : 2.0))
                << ratio << " " << block;
            // After the first window the output never starves or fades.
            for (std::size_t i = 2 * 2048; i + 200 < frames; i += 100)
                ASSERT_GT(test::peakLevel(&out[2 * i], 400), 0.25f)
                    << ratio << " " << block << " " << i;
            EXPECT_LE(s.latencyFrames(), s.inputCapacity());
        }
    }
}

// WSOLA

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
    s.reset();
    EXPECT_EQ(s.readPosition(), S) << "a reset starts the analysis over";
}

TEST(WsolaProcess, UnityRatioPlacesSegmentsAtTheirNaturalPositions) {
    WsolaStretcher s;
    s.prepare(48000.0, 256, 0);
    const int S = s.searchFrames();
    const auto input = test::stereoSine(440.0, 48000.0, 48000, 0.5f);
    const auto out = test::stretchThrough(s, input, 256, 24000);
    // Every segment continues its predecessor exactly, so the output is the input delayed by S,
    // apart from the tiny ripple of the overlapping Hann halves.
    double worst = 0.0;
    for (int i = 2000; i < 23000; ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(out[2 * i]) - input[2 * (i + S)]));
    EXPECT_LT(worst, 0.01);
}

// Phase vocoder

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

TEST(PhaseVocoder, TheFirstHopAfterAResetIsTheInputAtFullLevel) {
    PhaseVocoderStretcher s;
    s.prepare(kRate, 512, 0);
    s.setRatio(1.25);
    const auto noise = stereo(1.0, [](double t, int c) { return std::sin(1e5 * t * t + c); });
    const auto out = test::stretchThrough(s, noise, 512, static_cast<std::size_t>(s.hopFrames()));
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_NEAR(out[i], noise[i], 1e-6) << i;
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

// The onsets found in mono `v` (played as stereo) fed in chunks of `chunk` frames.
std::vector<std::int64_t> onsets(const std::vector<float>& v, std::size_t chunk) {
    std::vector<float> s(2 * v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        s[2 * i] = s[2 * i + 1] = v[i];
    OnsetDetector d;
    d.prepare(128);
    std::vector<std::int64_t> found;
    for (std::size_t end = 0; end < v.size();) {
        end = std::min(end + chunk, v.size());
        d.scan(s.data(), 0, static_cast<std::int64_t>(end));
        for (; d.next() >= 0; d.pop())
            found.push_back(d.next());
    }
    return found;
}

TEST(OnsetDetector, SteadySoundHasNoneAndEachAttackIsFoundAtItsFirstFrameHoweverCut) {
    EXPECT_TRUE(onsets(test::partialsSignal(test::kChordHz, 2.0, kRate), 256).empty());
    EXPECT_TRUE(onsets(test::partialsSignal({55.0, 110.0}, 2.0, kRate), 256).empty());
    EXPECT_TRUE(onsets(test::noise(96000), 256).empty());
    // Sound from the first frame, and a click within the first eight blocks (still learning).
    EXPECT_TRUE(onsets(test::clickSignal({0.006}, 1.0, kRate, std::vector<float>(48000, 0.3f)), 256)
                    .empty());
    // The hit 8 ms after the one at 0.625 s is the same attack as far as a stretcher goes.
    const auto v = test::clickSignal({0.0834, 0.625, 0.633, 1.2526}, 2.0, kRate,
                                     test::partialsSignal({261.63}, 2.0, kRate));
    for (std::size_t chunk : {1u, 100u, 256u, 4096u, 96000u}) {
        const std::vector<std::int64_t> found = onsets(v, chunk);
        ASSERT_EQ(found.size(), 3u) << "chunk " << chunk;
        EXPECT_NEAR(found[0], 0.0834 * kRate, 2) << chunk;
        EXPECT_NEAR(found[1], 0.625 * kRate, 2) << chunk;
        EXPECT_NEAR(found[2], 1.2526 * kRate, 2) << chunk;
    }
}

} // namespace
} // namespace vyn
