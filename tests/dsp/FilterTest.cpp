#include "common/Signals.h"
#include "common/ToneMeasure.h"
#include "dsp/ChannelFilter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

// Gain of the filter at `hz`, measured on a tone after the filter has settled.
double gainAt(float knob, float resonance, double hz, double rate = kRate) {
    ChannelFilter filter;
    filter.prepare(rate);
    filter.setKnob(knob);
    filter.setResonance(resonance);
    // Two seconds: the resonant 30 Hz filter rings for a while before it settles.
    const int frames = static_cast<int>(2 * rate);
    auto tone = test::stereoSine(hz, rate, frames, 0.25f);
    test::inBlocks(tone, 256, [&](float* p, int n) { filter.process(p, n); });
    const int half = frames / 2;
    return test::toneAmplitude(tone, 1, hz, rate, half, half) / 0.25;
}

TEST(ChannelFilter, InsideTheDeadZoneTheAudioIsBitExact) {
    for (float knob : {0.019f, -0.019f, 0.0f}) {
        ChannelFilter filter;
        filter.prepare(kRate);
        filter.setKnob(knob);
        filter.setResonance(1.0f);
        const auto input = test::stereoNoise(4096, 1.0f);
        auto out = input;
        test::inBlocks(out, 256, [&](float* p, int n) { filter.process(p, n); });
        EXPECT_EQ(out, input) << knob;
    }
}

TEST(ChannelFilter, JustOutsideTheDeadZoneIsAHighPassNearThirtyFourHertz) {
    EXPECT_NEAR(ChannelFilter::cutoffHz(0.021f), 34.4f, 0.2f);
    // Resonance 0 is a Butterworth response: -3 dB at the cutoff, 12 dB per octave below it.
    EXPECT_NEAR(gainAt(0.021f, 0.0f, 34.4), 0.707, 0.02);
    EXPECT_LT(gainAt(0.021f, 0.0f, 8.6), 0.07);
    EXPECT_GT(gainAt(0.021f, 0.0f, 1000.0), 0.999);
}

TEST(ChannelFilter, FullLeftWithFullResonancePeaksAtThirtyHertz) {
    double bestHz = 0.0, best = 0.0;
    for (double hz = 20.0; hz <= 40.0; hz += 0.5) {
        const double g = gainAt(-1.0f, 1.0f, hz);
        if (g > best) {
            best = g;
            bestHz = hz;
        }
    }
    // Q = 4: the peak sits just below the cutoff at about 4x (+12 dB).
    EXPECT_GE(bestHz, 28.5);
    EXPECT_LE(bestHz, 30.5);
    EXPECT_NEAR(best, 4.0, 0.25);
    EXPECT_LT(gainAt(-1.0f, 1.0f, 500.0), 0.01);
}

TEST(ChannelFilter, KnobEndsReachThirtyHertzAndEighteenKilohertz) {
    EXPECT_NEAR(ChannelFilter::cutoffHz(-1.0f), 30.0f, 0.01f);
    EXPECT_NEAR(ChannelFilter::cutoffHz(1.0f), 18000.0f, 2.0f);
    EXPECT_NEAR(ChannelFilter::cutoffHz(-0.02f), 18000.0f * std::pow(600.0f, -0.02f), 1.0f);
    // Low-pass side at -0.5: cutoff 18000/sqrt(600) = 735 Hz.
    EXPECT_NEAR(gainAt(-0.5f, 0.0f, 735.0), 0.707, 0.02);
    EXPECT_LT(gainAt(-0.5f, 0.0f, 6000.0), 0.02);
    EXPECT_GT(gainAt(-0.5f, 0.0f, 60.0), 0.99);
}

TEST(ChannelFilter, AboveNyquistTheCutoffIsHeldBelowItAndStaysStable) {
    // At 32 kHz the +1 cutoff (18 kHz) lies above Nyquist; it is held at 0.45 x rate = 14.4 kHz,
    // where the Butterworth high-pass reads -3 dB; an octave below is cut.
    EXPECT_NEAR(gainAt(1.0f, 0.0f, 14400.0, 32000.0), 0.707, 0.03);
    EXPECT_LT(gainAt(1.0f, 0.0f, 7200.0, 32000.0), 0.1);
    ChannelFilter filter;
    filter.prepare(32000.0);
    filter.setKnob(1.0f);
    filter.setResonance(1.0f);
    auto noise = test::stereoNoise(32000, 1.0f);
    test::inBlocks(noise, 512, [&](float* p, int n) { filter.process(p, n); });
    for (float v : noise)
        ASSERT_TRUE(std::isfinite(v));
}

TEST(ChannelFilter, LeavingAndReenteringTheDeadZoneStartsFromRest) {
    ChannelFilter used, fresh;
    used.prepare(kRate);
    fresh.prepare(kRate);
    used.setKnob(-0.6f);
    used.setResonance(0.8f);
    auto loud = test::stereoNoise(4800, 1.0f, 5);
    used.process(loud.data(), 2048);
    used.setKnob(0.01f);
    auto quiet = test::stereoNoise(256, 0.5f, 6);
    const auto quietIn = quiet;
    used.process(quiet.data(), 256);
    EXPECT_EQ(quiet, quietIn);
    used.setKnob(-0.6f);
    fresh.setKnob(-0.6f);
    fresh.setResonance(0.8f);
    auto a = test::stereoNoise(1024, 0.5f, 7);
    auto b = a;
    used.process(a.data(), 1024);
    fresh.process(b.data(), 1024);
    EXPECT_EQ(a, b);
}

TEST(ChannelFilter, SettingsAreClampedAndNonFiniteIgnored) {
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
}

TEST(ChannelFilter, PrepareKeepsTheKnobButClearsTheState) {
    ChannelFilter filter;
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
    auto a = test::stereoNoise(512, 0.5f, 3);
    auto b = a;
    filter.process(a.data(), 512);
    fresh.process(b.data(), 512);
    EXPECT_EQ(a, b);
}

} // namespace
} // namespace vyn
