#include "dsp/ChannelStrip.h"
#include "common/Signals.h"
#include "common/ToneMeasure.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;
constexpr EqType kEqTypes[] = {EqType::Isolator, EqType::OnePole};

// Runs `in` through a fresh strip of `type` configured by `setup`, after one second of the same
// signal so smoothing and band states have settled; returns the second second.
template <typename Setup> std::vector<float> settledOutput(double hz, Setup setup, EqType type) {
    ChannelStrip strip;
    strip.setEqType(type);
    strip.prepare(kRate);
    setup(strip);
    auto signal = test::stereoSine(hz, kRate, 96000, 0.5f);
    test::inBlocks(signal, 256, [&](float* p, int n) { strip.process(p, n); });
    return std::vector<float>(signal.begin() + 96000, signal.end());
}

double gainAt(double hz, void (*setup)(ChannelStrip&), EqType type = EqType::OnePole) {
    const auto out = settledOutput(hz, setup, type);
    return test::toneAmplitude(out, 0, hz, kRate, 0, 48000) / 0.5;
}

TEST(SmoothedParameter, ReachesEveryTargetExactlyWithinTwentyTimeConstants) {
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
}

TEST(SmoothedParameter, GlidesWithoutOvershootAndZeroTimeJumps) {
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
INSTANTIATE_TEST_SUITE_P(EqTypes, ChannelStripOfType, ::testing::ValuesIn(kEqTypes));

TEST_P(ChannelStripOfType, FlatStripIsBitExact) {
    ChannelStrip strip;
    strip.setEqType(GetParam());
    strip.prepare(kRate);
    const auto input = test::stereoNoise(48000, 1.0f);
    auto out = input;
    test::inBlocks(out, 512, [&](float* p, int n) { strip.process(p, n); });
    EXPECT_EQ(out, input);
}

TEST_P(ChannelStripOfType, ReturnsToBitExactOnceEveryGainIsBackAtOne) {
    ChannelStrip strip;
    strip.setEqType(GetParam());
    strip.prepare(kRate);
    auto warm = test::stereoNoise(4800, 0.8f, 7);
    strip.setEqLow(0.0f);
    strip.setEqHigh(1.7f);
    strip.setTrim(0.5f);
    strip.process(warm.data(), 2048);
    strip.setEqLow(1.0f);
    strip.setEqHigh(1.0f);
    strip.setTrim(1.0f);
    // Half a second for the 10 ms and 15 ms glides to reach their targets.
    auto settle = test::stereoNoise(24000, 0.8f, 8);
    test::inBlocks(settle, 256, [&](float* p, int n) { strip.process(p, n); });
    const auto input = test::stereoNoise(4800, 0.8f, 9);
    auto out = input;
    test::inBlocks(out, 256, [&](float* p, int n) { strip.process(p, n); });
    EXPECT_EQ(out, input);
}

TEST(OnePoleStrip, LowKillRemovesWhatTheTwoHundredHertzLowPassPasses) {
    auto lowKill = [](ChannelStrip& s) { s.setEqLow(0.0f); };
    // One-pole crossover: a 60 Hz tone comes out about 11 dB down, 30 Hz about 17 dB.
    EXPECT_LT(gainAt(60.0, lowKill), 0.31);
    EXPECT_GT(gainAt(60.0, lowKill), 0.25);
    EXPECT_LT(gainAt(30.0, lowKill), 0.16);
    EXPECT_GT(gainAt(5000.0, lowKill), 0.98);
    EXPECT_LT(gainAt(5000.0, lowKill), 1.01);
}

TEST(OnePoleStrip, HighKillKeepsOnlyWhatTheFourKilohertzLowPassPasses) {
    auto highKill = [](ChannelStrip& s) { s.setEqHigh(0.0f); };
    EXPECT_GT(gainAt(60.0, highKill), 0.995);
    EXPECT_LT(gainAt(5000.0, highKill), 0.66);
    EXPECT_LT(gainAt(16000.0, highKill), 0.30);
}

TEST(OnePoleStrip, MidKillLeavesTheBandEdgesAndCutsTheMiddle) {
    auto midKill = [](ChannelStrip& s) { s.setEqMid(0.0f); };
    // What is left is the 200 Hz low-pass plus what the 4 kHz one-pole lets through above it.
    EXPECT_LT(gainAt(900.0, midKill), 0.12);
    EXPECT_GT(gainAt(20.0, midKill), 0.99);
    EXPECT_GT(gainAt(16000.0, midKill), 0.7);
}

TEST_P(ChannelStripOfType, EveryBandAtTheSameGainScalesTheWholeSignal) {
    auto allHalf = [](ChannelStrip& s) {
        s.setEqLow(0.5f);
        s.setEqMid(0.5f);
        s.setEqHigh(0.5f);
    };
    for (double hz : {40.0, 200.0, 1000.0, 4000.0, 12000.0})
        EXPECT_NEAR(gainAt(hz, allHalf, GetParam()), 0.5, 0.005) << hz;
}

TEST(ChannelStrip, GainIsTrimTimesFaderAndGlidesThere) {
    ChannelStrip strip;
    strip.prepare(kRate);
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
}

TEST(ChannelStrip, PeaksArePerChannelAfterGainAndClearable) {
    ChannelStrip strip;
    strip.prepare(kRate);
    std::vector<float> block(2 * 256);
    for (int f = 0; f < 256; ++f) {
        block[2 * f] = (f == 100) ? -0.8f : 0.1f;
        block[2 * f + 1] = 0.3f;
    }
    strip.process(block.data(), 256);
    EXPECT_FLOAT_EQ(strip.peakLeft(), 0.8f);
    EXPECT_FLOAT_EQ(strip.peakRight(), 0.3f);
    strip.clearPeaks();
    EXPECT_EQ(strip.peakLeft(), 0.0f);
    EXPECT_EQ(strip.peakRight(), 0.0f);
}

TEST(ChannelStrip, NonFiniteSettingsAreIgnored) {
    ChannelStrip strip;
    strip.prepare(kRate);
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
    ChannelStrip used, fresh;
    used.setEqType(GetParam());
    fresh.setEqType(GetParam());
    used.prepare(kRate);
    fresh.prepare(kRate);
    used.setEqLow(0.0f);
    fresh.setEqLow(0.0f);
    auto loud = test::stereoSine(50.0, kRate, 4800, 1.0f);
    test::inBlocks(loud, 256, [&](float* p, int n) { used.process(p, n); });
    auto settle = std::vector<float>(2 * 4800, 0.0f);
    test::inBlocks(settle, 256, [&](float* p, int n) { fresh.process(p, n); });
    used.resetBands();
    auto a = test::stereoNoise(1024, 0.5f, 4);
    auto b = a;
    used.process(a.data(), 1024);
    fresh.process(b.data(), 1024);
    EXPECT_EQ(a, b);
}

} // namespace
} // namespace vyn
