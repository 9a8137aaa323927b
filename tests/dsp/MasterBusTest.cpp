#include "dsp/MasterBus.h"
#include "common/Signals.h"
#include "common/ToneMeasure.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

// Plays `deck` (summed once into the master, and into the cue bus when `cue`) through the bus in
// blocks, returning the master output; `afterBlock` sees each block's end frame.
std::vector<float> play(MasterBus& bus, const std::vector<float>& deck, int block, bool cue = false,
                        std::vector<float>* cueOut = nullptr,
                        const std::function<void(int)>& afterBlock = {}) {
    const int frames = static_cast<int>(deck.size() / 2);
    std::vector<float> out(deck.size());
    if (cueOut) cueOut->assign(deck.size(), 0.0f);
    for (int f = 0; f < frames; f += block) {
        const int n = std::min(block, frames - f);
        bus.beginBlock(n);
        bus.addDeck(deck.data() + 2 * f, n, cue);
        bus.output(out.data() + 2 * f, cueOut ? cueOut->data() + 2 * f : nullptr, n);
        if (afterBlock) afterBlock(f + n);
    }
    return out;
}

std::vector<float> square(int frames, int period, float level) {
    std::vector<float> s(2 * static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f)
        s[2 * f] = s[2 * f + 1] = (f % period) < period / 2 ? level : -level;
    return s;
}

TEST(MasterBus, LimiterHoldsASquareAtGainTwoToMinusOneDecibel) {
    MasterBus bus;
    bus.setMasterGain(2.0f);
    bus.prepare(kRate, 2048);
    // The first 48 frames (1 ms) on their own: one attack time constant.
    const auto first = play(bus, square(48, 96, 1.0f), 48);
    const float wanted = 0.891f / 2.0f;
    EXPECT_NEAR(bus.limiterGain(), wanted + (1.0f - wanted) * std::exp(-1.0f), 0.01f);
    EXPECT_FLOAT_EQ(bus.masterPeak(), 2.0f);
    const auto out = play(bus, square(9600, 96, 1.0f), 256);
    float highest = test::peakOf(first, 0, 48);
    for (int f = 0; f < 9600; ++f) {
        highest = std::max(highest, std::fabs(out[2 * f]));
        if (f >= 8 * 48) {
            ASSERT_NEAR(std::fabs(out[2 * f]), 0.891f, 0.005f) << f;
        }
    }
    EXPECT_LE(highest, 1.0f);
    EXPECT_NEAR(bus.limiterGain(), wanted, 0.001f);
}

TEST(MasterBus, LimiterReleasesOverOneHundredTwentyMilliseconds) {
    MasterBus bus;
    bus.setMasterGain(2.0f);
    bus.prepare(kRate, 2048);
    play(bus, square(4800, 96, 1.0f), 256);
    const float held = bus.limiterGain();
    // 120 ms of quiet signal: 63 % of the way back to unity.
    play(bus, square(5760, 96, 0.1f), 256);
    EXPECT_NEAR(bus.limiterGain(), 1.0f - (1.0f - held) * std::exp(-1.0f), 0.01f);
    play(bus, square(48000, 96, 0.1f), 256);
    EXPECT_GT(bus.limiterGain(), 0.999f);
}

TEST(MasterBus, QuietSignalPassesUntouchedAndPeakIsBeforeTheLimiter) {
    MasterBus bus;
    bus.prepare(kRate, 512);
    const auto in = test::stereoNoise(4096, 0.8f);
    const auto out = play(bus, in, 512);
    EXPECT_EQ(out, in);
    EXPECT_EQ(bus.limiterGain(), 1.0f);
    EXPECT_LE(bus.masterPeak(), 0.8f);
    EXPECT_GT(bus.masterPeak(), 0.7f);
}

TEST(MasterBus, MasterGainGlidesWithATenMillisecondTimeConstant) {
    MasterBus bus;
    bus.prepare(kRate, 2048);
    bus.setMasterGain(0.5f);
    const auto out = play(bus, std::vector<float>(2 * 9600, 0.4f), 480);
    EXPECT_GT(out[0], 0.399f);
    EXPECT_NEAR(out[2 * 479], 0.4f * (0.5f + 0.5f * std::exp(-1.0f)), 0.002f);
    EXPECT_EQ(out[2 * 9599], 0.2f); // settled exactly, not a few ulps short
}

TEST(MasterBus, DecksSumIntoMasterAndOnlyCuedDecksIntoTheUnlimitedCue) {
    MasterBus bus;
    bus.prepare(kRate, 256);
    std::vector<float> a(2 * 256, 0.3f), b(2 * 256, 1.5f), out(2 * 256), cueOut(2 * 256);
    bus.beginBlock(256);
    bus.addDeck(a.data(), 256, false);
    bus.addDeck(b.data(), 256, true);
    EXPECT_FLOAT_EQ(bus.master()[10], 1.8f);
    bus.output(out.data(), cueOut.data(), 256);
    for (int i = 0; i < 2 * 256; ++i) {
        ASSERT_FLOAT_EQ(cueOut[i], 1.5f) << i;
        ASSERT_LE(out[i], 1.0f) << i;
    }
    // The next block starts from empty buses.
    bus.beginBlock(256);
    bus.output(out.data(), cueOut.data(), 256);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(cueOut[0], 0.0f);
}

TEST(MasterBus, NonFiniteFramesAreDroppedWithoutPoisoningTheLimiter) {
    MasterBus bus;
    bus.prepare(kRate, 256);
    std::vector<float> in(2 * 256, 0.5f);
    in[20] = NAN;
    in[41] = INFINITY;
    const auto out = play(bus, in, 256);
    EXPECT_EQ(out[20], 0.0f);
    EXPECT_EQ(out[21], 0.0f);
    EXPECT_EQ(out[41], 0.0f);
    EXPECT_FLOAT_EQ(out[100], 0.5f);
    EXPECT_EQ(bus.limiterGain(), 1.0f);
    EXPECT_FLOAT_EQ(bus.masterPeak(), 0.5f);
    bus.setMasterGain(NAN);
    EXPECT_EQ(bus.masterGain(), 1.0f);
}

TEST(MasterBus, PrepareKeepsTheMasterLevelAndBlocksAreClampedToItsSize) {
    MasterBus bus;
    bus.prepare(kRate, 128);
    bus.setMasterGain(0.25f);
    bus.prepare(44100.0, 128);
    std::vector<float> in(2 * 512, 1.0f), out(2 * 512, -7.0f);
    bus.beginBlock(512);
    bus.addDeck(in.data(), 512, false);
    bus.output(out.data(), nullptr, 512);
    EXPECT_FLOAT_EQ(out[0], 0.25f);
    EXPECT_FLOAT_EQ(out[2 * 127 + 1], 0.25f);
    EXPECT_EQ(out[2 * 128], -7.0f); // beyond the prepared block: untouched
}

} // namespace
} // namespace vyn
