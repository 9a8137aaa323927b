// A deck's channel: the strip (trim, EQ of either type, fader, peaks), the EQ moves heard on
// music-like input, the isolator's flat sum, and the filter knob.

#include "dsp/ChannelStrip.h"
#include "common/RealtimeGuard.h"
#include "common/Signals.h"
#include "common/ToneMeasure.h"
#include "dsp/ChannelFilter.h"
#include "dsp/IsolatorEq.h"
#include "support/RealtimeScope.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;
constexpr EqType kEqTypes[] = {EqType::Isolator, EqType::OnePole};

// A strip of `type` prepared at 48 kHz; the type is chosen first, so no crossfade runs.
ChannelStrip stripOf(EqType type = EqType::Isolator) {
    ChannelStrip s;
    s.setEqType(type);
    s.prepare(kRate);
    return s;
}

// Expects `used` to process new audio exactly as `fresh` does: nothing it heard before is left.
template <class Processor> void expectSameOutput(Processor& used, Processor& fresh) {
    auto a = test::stereoNoise(1024, 0.5f, 4);
    auto b = a;
    used.process(a.data(), 1024);
    fresh.process(b.data(), 1024);
    EXPECT_EQ(a, b);
}

// Runs `in` through a fresh strip of `type` configured by `setup`, after one second of the same
// signal so smoothing and band states have settled; returns the second second.
template <typename Setup> std::vector<float> settledOutput(double hz, Setup setup, EqType type) {
    ChannelStrip strip = stripOf(type);
    setup(strip);
    auto signal = test::stereoSine(hz, kRate, 96000, 0.5f);
    test::inBlocks(signal, 256, [&](float* p, int n) { strip.process(p, n); });
    return std::vector<float>(signal.begin() + 96000, signal.end());
}

double gainAt(double hz, void (*setup)(ChannelStrip&), EqType type = EqType::OnePole) {
    const auto out = settledOutput(hz, setup, type);
    return test::toneAmplitude(out, 0, hz, kRate, 0, 48000) / 0.5;
}

TEST(SmoothedParameter, GlidesWithoutOvershootToEveryTargetExactlyAndZeroTimeJumps) {
    for (double rate : {44100.0, 48000.0, 192000.0}) {
        for (float target : {0.25f, 1.0f, 0.0f, 3.7f, -0.5f, 1e-3f}) {
            SmoothedParameter p{1.0f, 1.0f, 0.0f};
            p.setTime(rate, SmoothedParameter::kEqSeconds);
            p.setTarget(target);
            const int steps = static_cast<int>(20 * 0.015 * rate);
            for (int i = 0; i < steps; ++i)
                p.next();
            EXPECT_TRUE(p.settled()) << rate << " " << target << " at " << p.current;
        }
    }
    SmoothedParameter p{0.0f, 0.0f, 0.0f};
    p.setTime(48000.0, SmoothedParameter::kGainSeconds);
    p.setTarget(1.0f);
    float last = 0.0f;
    for (int i = 0; i < 48000; ++i) {
        const float v = p.next();
        ASSERT_GE(v, last);
        ASSERT_LE(v, 1.0f);
        last = v;
    }
    p.setTime(48000.0, 0.0);
    p.setTarget(0.3f);
    EXPECT_EQ(p.next(), 0.3f);
}

class ChannelStripOfType : public ::testing::TestWithParam<EqType> {};
INSTANTIATE_TEST_SUITE_P(EqTypes, ChannelStripOfType, ::testing::ValuesIn(kEqTypes),
                         [](const auto& named) {
                             return std::string(named.param == EqType::Isolator ? "Isolator"
                                                                                : "OnePole");
                         });

constexpr auto lowKill = [](ChannelStrip& s) { s.setEqLow(0.0f); };
constexpr auto midKill = [](ChannelStrip& s) { s.setEqMid(0.0f); };
constexpr auto highKill = [](ChannelStrip& s) { s.setEqHigh(0.0f); };

TEST(IsolatorStrip, AKillTakesItsBandFortyDecibelsDownAndLeavesTheOthersFlat) {
    struct Case {
        void (*setup)(ChannelStrip&);
        std::vector<double> killed; // at least 40 dB down
        std::vector<double> kept;   // within 1 dB, an octave or more from a crossover
    };
    const Case cases[] = {
        {lowKill, {25, 50, 100}, {400, 500, 1000, 1600, 2000, 8000, 12000, 16000, 20000}},
        {midKill, {500, 1000, 1600}, {25, 50, 100, 8000, 12000, 16000, 20000}},
        {highKill, {8000, 12000, 16000, 20000}, {25, 50, 100, 400, 500, 1000, 1600, 2000}},
    };
    for (const Case& c : cases) {
        for (double hz : c.killed)
            EXPECT_LT(20.0 * std::log10(gainAt(hz, c.setup, EqType::Isolator)), -40.0) << hz;
        for (double hz : c.kept)
            EXPECT_NEAR(20.0 * std::log10(gainAt(hz, c.setup, EqType::Isolator)), 0.0, 1.0) << hz;
    }
}

TEST(OnePoleStrip, AKillCutsWhatItsCrossoverPassesAndKeepsTheRest) {
    // One-pole crossovers at 200 Hz and 4 kHz: a killed band is only partly gone near its edge.
    struct Case {
        void (*setup)(ChannelStrip&);
        double hz, low, high;
    };
    const Case cases[] = {
        {lowKill, 60.0, 0.25, 0.31}, // about 11 dB down
        {lowKill, 30.0, 0.0, 0.16},  // about 17 dB down
        {lowKill, 5000.0, 0.98, 1.01},
        {highKill, 60.0, 0.995, 1.01},
        {highKill, 5000.0, 0.0, 0.66},
        {highKill, 16000.0, 0.0, 0.30},
        // What is left is the 200 Hz low-pass plus what the 4 kHz one-pole lets through above it.
        {midKill, 900.0, 0.0, 0.12},
        {midKill, 20.0, 0.99, 1.01},
        {midKill, 16000.0, 0.7, 1.01},
    };
    for (const Case& c : cases) {
        const double gain = gainAt(c.hz, c.setup);
        EXPECT_GT(gain, c.low) << c.hz;
        EXPECT_LT(gain, c.high) << c.hz;
    }
}

TEST_P(ChannelStripOfType, AFlatStripIsBitExactAndEveryBandAtOneGainScalesTheWholeSignal) {
    ChannelStrip strip = stripOf(GetParam());
    const auto input = test::stereoNoise(48000, 1.0f);
    auto out = input;
    test::inBlocks(out, 512, [&](float* p, int n) { strip.process(p, n); });
    EXPECT_EQ(out, input);
    auto allHalf = [](ChannelStrip& s) {
        s.setEqLow(0.5f);
        s.setEqMid(0.5f);
        s.setEqHigh(0.5f);
    };
    for (double hz : {40.0, 200.0, 1000.0, 4000.0, 12000.0})
        EXPECT_NEAR(gainAt(hz, allHalf, GetParam()), 0.5, 0.005) << hz;
}

TEST(ChannelStrip, GainIsTrimTimesFaderAndGlidesThereAndPeaksArePerChannelAndClearable) {
    ChannelStrip strip = stripOf();
    strip.setTrim(0.5f);
    strip.setFader(0.5f);
    std::vector<float> dc(2 * 9600, 1.0f);
    test::inBlocks(dc, 480, [&](float* p, int n) { strip.process(p, n); });
    // No step: the first sample has barely moved; after 10 ms (one time constant) the gain has
    // gone 63 % of the way from 1 to 0.25; after 200 ms it is there.
    EXPECT_GT(dc[0], 0.99f);
    EXPECT_NEAR(dc[2 * 480], 0.25f + 0.75f * std::exp(-1.0f), 0.01f);
    EXPECT_EQ(dc[2 * 9599], 0.25f);
    EXPECT_EQ(dc[2 * 9599 + 1], 0.25f);
    EXPECT_FLOAT_EQ(strip.trim(), 0.5f);
    EXPECT_FLOAT_EQ(strip.fader(), 0.5f);
    // Peaks are taken after the gain.
    strip.clearPeaks();
    std::vector<float> block(2 * 256);
    for (int f = 0; f < 256; ++f) {
        block[2 * f] = (f == 100) ? -0.8f : 0.1f;
        block[2 * f + 1] = 0.3f;
    }
    strip.process(block.data(), 256);
    EXPECT_EQ(std::pair(strip.peakLeft(), strip.peakRight()), std::pair(0.2f, 0.075f));
    strip.clearPeaks();
    EXPECT_EQ(std::pair(strip.peakLeft(), strip.peakRight()), std::pair(0.0f, 0.0f));
}

TEST(ChannelStrip, NonFiniteSettingsAreIgnored) {
    ChannelStrip strip = stripOf();
    strip.setEqLow(NAN);
    strip.setTrim(INFINITY);
    strip.setFader(NAN);
    const auto input = test::stereoNoise(1024, 1.0f, 3);
    auto out = input;
    strip.process(out.data(), 1024);
    EXPECT_EQ(out, input);
    EXPECT_EQ(strip.eqLow(), 1.0f);
}

TEST_P(ChannelStripOfType, ResetBandsStartsTheSplitFromRest) {
    // A strip that heard a loud low tone and then has its bands reset behaves like a new one.
    ChannelStrip used = stripOf(GetParam());
    ChannelStrip fresh = stripOf(GetParam());
    used.setEqLow(0.0f);
    fresh.setEqLow(0.0f);
    auto loud = test::stereoSine(50.0, kRate, 4800, 1.0f);
    test::inBlocks(loud, 256, [&](float* p, int n) { used.process(p, n); });
    auto settle = std::vector<float>(2 * 4800, 0.0f);
    test::inBlocks(settle, 256, [&](float* p, int n) { fresh.process(p, n); });
    used.resetBands();
    expectSameOutput(used, fresh);
}

// The channel strip's EQ moves heard on music-like input: a band swept to 0 and back, and a change
// of EQ type while a band is engaged, never make a sample step larger than the input's own (the
// isolator's flat sum is an allpass, so leaving or re-entering the untouched input must fade).

constexpr int kBlock = 256;

// The first `partials` of a set of inharmonic partials from bass to air, over 1.5 s: every phase
// alignment turns up, so the input's largest step is near its bound and an EQ that only shifts
// phases cannot exceed it by much.
std::vector<float> musicLike(int partials = 8) {
    const std::pair<double, float> all[] = {{41.2, 0.25f},   {97.3, 0.2f},    {233.1, 0.12f},
                                            {452.7, 0.1f},   {1021.3, 0.08f}, {2212.9, 0.05f},
                                            {5333.3, 0.03f}, {9871.1, 0.015f}};
    std::vector<float> sum(2 * 72000, 0.0f);
    for (int p = 0; p < partials; ++p) {
        const auto tone = test::stereoSine(all[p].first, kRate, 72000, all[p].second);
        std::transform(sum.begin(), sum.end(), tone.begin(), sum.begin(), std::plus<>());
    }
    return sum;
}

// The largest step in either channel.
float largestStep(const std::vector<float>& stereo) {
    return std::max(test::largestStep(stereo, 0), test::largestStep(stereo, 1));
}

// The input through `strip` block by block with the audio-thread guard armed, calling
// `before(block)` ahead of each block as the engine applies its commands.
template <typename Before>
std::vector<float> processArmed(ChannelStrip& strip, std::vector<float> out, Before before) {
    test::resetRealtimeViolations();
    {
        realtime::AudioThreadScope audioThread;
        for (int f = 0; f < 72000; f += kBlock) {
            before(f / kBlock);
            strip.process(out.data() + 2 * f, std::min(kBlock, 72000 - f));
        }
    }
    EXPECT_TRUE(test::noRealtimeViolations());
    return out;
}

ChannelStrip engagedStrip(EqType type) {
    ChannelStrip s = stripOf(type);
    s.setEqLow(0.0f);
    s.setEqHigh(0.7f);
    return s;
}

TEST_P(ChannelStripOfType, SweepingABandToZeroAndBackMakesNoStep) {
    const std::vector<float> input = musicLike();
    const float inputStep = largestStep(input);
    using Setter = void (ChannelStrip::*)(float);
    for (Setter band :
         {&ChannelStrip::setEqLow, &ChannelStrip::setEqMid, &ChannelStrip::setEqHigh}) {
        for (int rampBlocks : {1, 40}) { // a jump left to the 15 ms glide, and a knob turned
            ChannelStrip strip = stripOf(GetParam());
            const auto out = processArmed(strip, input, [&](int b) {
                // Down from block 20, back up from block 140; at unity again from block 180.
                const float down = std::clamp(1.0f - (b - 20) / float(rampBlocks), 0.0f, 1.0f);
                const float up = std::clamp((b - 140) / float(rampBlocks), 0.0f, 1.0f);
                (strip.*band)(b < 140 ? down : up);
            });
            EXPECT_LE(largestStep(out), inputStep * 1.02f) << rampBlocks;
            // Back at unity and settled: the input passes untouched again.
            EXPECT_TRUE(std::equal(out.end() - 9600, out.end(), input.end() - 9600));
        }
    }
}

TEST(ChannelStripTransition, AnEqTypeChangeCrossfadesBetweenTheTwoEqsOnTheRunningAudio) {
    // Bass and low mids with the low band killed: the two EQs differ by far more than the input's
    // own largest step, so a fade that is too quick shows.
    const std::vector<float> input = musicLike(4);
    std::vector<float> alone[2]; // each EQ type on its own
    for (int t : {0, 1}) {
        ChannelStrip s = engagedStrip(static_cast<EqType>(t));
        alone[t] = processArmed(s, input, [](int) {});
    }
    // Blocks where the type changes: once; back in the middle of the fade; back during the
    // warm-up; there and back with a rest between.
    const std::vector<int> schedules[] = {{40}, {40, 51}, {40, 43}, {40, 120}};
    for (EqType first : {EqType::Isolator, EqType::OnePole}) {
        const EqType second = first == EqType::Isolator ? EqType::OnePole : EqType::Isolator;
        for (const auto& changes : schedules) {
            ChannelStrip strip = engagedStrip(first);
            const auto out = processArmed(strip, input, [&](int b) {
                const auto at = std::find(changes.begin(), changes.end(), b);
                if (at != changes.end())
                    strip.setEqType((at - changes.begin()) % 2 ? first : second);
            });
            // Always a blend of what the two EQs make of the audio (a filter brought in cold
            // would ring outside it), without a step, ending on the last type chosen.
            for (std::size_t i = 0; i < out.size(); ++i) {
                ASSERT_GE(out[i], std::min(alone[0][i], alone[1][i]) - 1e-5f) << i;
                ASSERT_LE(out[i], std::max(alone[0][i], alone[1][i]) + 1e-5f) << i;
            }
            EXPECT_LE(largestStep(out), largestStep(input) * 1.02f) << changes.size();
            const EqType last = changes.size() % 2 ? second : first;
            ASSERT_EQ(strip.eqType(), last);
            for (std::size_t i = out.size() - 9600; i < out.size(); ++i)
                ASSERT_NEAR(out[i], alone[static_cast<int>(last)][i], 1e-5f) << i;
        }
    }
}

// At unit gains the three bands sum to an allpass: the impulse response's magnitude is flat from
// 20 Hz to 20 kHz (or to just under the Nyquist frequency) at every rate, including rates where
// the 4 kHz crossover has to be pulled down below Nyquist and rates where 200 Hz is a tiny
// fraction of it.
TEST(IsolatorEq, BandsAtUnitGainSumToAFlatMagnitude) {
    for (double rate : {8000.0, 44100.0, 48000.0, 192000.0, 384000.0}) {
        IsolatorEq eq;
        eq.prepare(rate);
        const int frames = 1 << 17;
        std::vector<float> response(2 * static_cast<std::size_t>(frames), 0.0f);
        response[0] = response[1] = 1.0f;
        const std::vector<float> ones(static_cast<std::size_t>(frames), 1.0f);
        eq.process(response.data(), frames, ones.data(), ones.data(), ones.data());
        for (double hz = 20.0; hz <= std::min(20000.0, 0.49 * rate); hz *= std::pow(2.0, 1.0 / 6)) {
            for (int channel : {0, 1}) {
                // Goertzel's sine amplitude of an impulse response is 2 |H| / frames.
                const double magnitude =
                    test::toneLevel(response.data(), frames, 2, channel, rate, hz) * frames / 2.0;
                ASSERT_NEAR(20.0 * std::log10(magnitude), 0.0, 0.5) << rate << " Hz rate, " << hz;
            }
        }
    }
}

// Gain of the filter at `hz`, measured on a tone after the filter has settled.
double filterGainAt(float knob, float resonance, double hz, double rate = kRate) {
    ChannelFilter filter;
    filter.prepare(rate);
    filter.setKnob(knob);
    filter.setResonance(resonance);
    // Two seconds: the resonant 30 Hz filter rings for a while before it settles.
    const int frames = static_cast<int>(2 * rate);
    auto tone = test::stereoSine(hz, rate, frames, 0.25f);
    test::inBlocks(tone, 256, [&](float* p, int n) { filter.process(p, n); });
    EXPECT_TRUE(std::all_of(tone.begin(), tone.end(), [](float v) { return std::isfinite(v); }));
    const int half = frames / 2;
    return test::toneAmplitude(tone, 1, hz, rate, half, half) / 0.25;
}

TEST(ChannelFilter, ResponsesAcrossTheKnob) {
    EXPECT_NEAR(ChannelFilter::cutoffHz(0.021f), 34.4f, 0.2f);
    EXPECT_NEAR(ChannelFilter::cutoffHz(-1.0f), 30.0f, 0.01f);
    EXPECT_NEAR(ChannelFilter::cutoffHz(1.0f), 18000.0f, 2.0f);
    // Resonance 0 is a Butterworth response: -3 dB at the cutoff, 12 dB per octave beyond it.
    struct Case {
        float knob, resonance;
        double hz, rate, low, high; // the gain lies in [low, high]
    };
    const Case cases[] = {
        {0.021f, 0.0f, 34.4, kRate, 0.687, 0.727}, // just outside the dead zone: high-pass
        {0.021f, 0.0f, 8.6, kRate, 0.0, 0.07},
        {0.021f, 0.0f, 1000.0, kRate, 0.999, 2.0},
        {-0.5f, 0.0f, 735.0, kRate, 0.687, 0.727}, // low-pass at 18000/sqrt(600) Hz
        {-0.5f, 0.0f, 6000.0, kRate, 0.0, 0.02},
        {-0.5f, 0.0f, 60.0, kRate, 0.99, 2.0},
        {-1.0f, 1.0f, 500.0, kRate, 0.0, 0.01},
        // At 32 kHz the +1 cutoff (18 kHz) lies above Nyquist: it is held at 0.45 x rate, and
        // stays stable at full resonance.
        {1.0f, 0.0f, 14400.0, 32000.0, 0.677, 0.737},
        {1.0f, 0.0f, 7200.0, 32000.0, 0.0, 0.1},
        {1.0f, 1.0f, 7200.0, 32000.0, 0.0, 0.1},
    };
    for (const Case& c : cases) {
        const double gain = filterGainAt(c.knob, c.resonance, c.hz, c.rate);
        EXPECT_GE(gain, c.low) << c.knob << " at " << c.hz << " Hz";
        EXPECT_LE(gain, c.high) << c.knob << " at " << c.hz << " Hz";
    }
}

TEST(ChannelFilter, FullLeftWithFullResonancePeaksAtThirtyHertz) {
    double bestHz = 0.0, best = 0.0;
    for (double hz = 20.0; hz <= 40.0; hz += 0.5) {
        const double g = filterGainAt(-1.0f, 1.0f, hz);
        if (g > best) {
            best = g;
            bestHz = hz;
        }
    }
    // Q = 4: the peak sits just below the cutoff at about 4x (+12 dB).
    EXPECT_GE(bestHz, 28.5);
    EXPECT_LE(bestHz, 30.5);
    EXPECT_NEAR(best, 4.0, 0.25);
}

TEST(ChannelFilter, TheDeadZoneIsBitExactAndLeavingItStartsFromRest) {
    ChannelFilter used, fresh;
    used.prepare(kRate);
    fresh.prepare(kRate);
    used.setResonance(0.8f);
    for (float knob : {-0.6f, 0.019f, -0.6f, -0.019f, -0.6f, 0.0f}) {
        used.setKnob(knob);
        auto noise = test::stereoNoise(2048, 1.0f, 5);
        const auto input = noise;
        test::inBlocks(noise, 256, [&](float* p, int n) { used.process(p, n); });
        if (std::fabs(knob) < 0.02f) {
            EXPECT_EQ(noise, input) << knob;
        }
    }
    used.setKnob(-0.6f);
    fresh.setKnob(-0.6f);
    fresh.setResonance(0.8f);
    expectSameOutput(used, fresh);
}

TEST(ChannelFilter, SettingsAreClampedAndNonFiniteIgnoredAndPrepareKeepsThemButClearsTheState) {
    ChannelFilter filter;
    filter.setKnob(-3.0f);
    filter.setResonance(2.0f);
    EXPECT_EQ(filter.knob(), -1.0f);
    EXPECT_EQ(filter.resonance(), 1.0f);
    filter.setKnob(NAN);
    filter.setResonance(-INFINITY);
    EXPECT_EQ(filter.knob(), -1.0f);
    EXPECT_EQ(filter.resonance(), 1.0f);
    filter.setResonance(-0.5f);
    EXPECT_EQ(filter.resonance(), 0.0f);

    filter.prepare(44100.0);
    filter.setKnob(0.4f);
    filter.setResonance(0.3f);
    auto noise = test::stereoNoise(2048, 1.0f, 2);
    filter.process(noise.data(), 2048);
    filter.prepare(48000.0);
    EXPECT_EQ(filter.knob(), 0.4f);
    EXPECT_EQ(filter.resonance(), 0.3f);
    ChannelFilter fresh;
    fresh.prepare(48000.0);
    fresh.setKnob(0.4f);
    fresh.setResonance(0.3f);
    expectSameOutput(filter, fresh);
}

} // namespace
} // namespace vyn
