// The channel strip's EQ moves heard on music-like input: a band swept to 0 and back, and a change
// of EQ type while a band is engaged, never make a sample step larger than the input's own (the
// isolator's flat sum is an allpass, so leaving or re-entering the untouched input must fade).

#include "common/Signals.h"
#include "common/ToneMeasure.h"
#include "dsp/ChannelStrip.h"

#include "common/RealtimeGuard.h"
#include "support/RealtimeScope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;
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
    EXPECT_EQ(test::realtimeViolations().total(), 0);
    return out;
}

ChannelStrip engagedStrip(EqType type) {
    ChannelStrip s;
    s.setEqType(type);
    s.prepare(kRate);
    s.setEqLow(0.0f);
    s.setEqHigh(0.7f);
    return s;
}

class ChannelStripTransition : public ::testing::TestWithParam<EqType> {};
INSTANTIATE_TEST_SUITE_P(EqTypes, ChannelStripTransition,
                         ::testing::Values(EqType::Isolator, EqType::OnePole));

TEST_P(ChannelStripTransition, SweepingABandToZeroAndBackMakesNoStep) {
    const std::vector<float> input = musicLike();
    const float inputStep = largestStep(input);
    using Setter = void (ChannelStrip::*)(float);
    for (Setter band :
         {&ChannelStrip::setEqLow, &ChannelStrip::setEqMid, &ChannelStrip::setEqHigh}) {
        for (int rampBlocks : {1, 40}) { // a jump left to the 15 ms glide, and a knob turned
            ChannelStrip strip;
            strip.setEqType(GetParam());
            strip.prepare(kRate);
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

} // namespace
} // namespace vyn
