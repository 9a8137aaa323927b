#include "common/Signals.h"
#include "common/ToneMeasure.h"
#include "dsp/FxRig.h"
#include "dsp/FxUnit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

// The effect's own contribution in insert mode: the deck after the unit minus the dry input.
std::vector<float> wetOf(FxUnit& fx, const std::vector<float>& input) {
    const test::FxRun run = test::renderFx(fx, input);
    std::vector<float> wet(input.size());
    for (std::size_t i = 0; i < input.size(); ++i)
        wet[i] = run.deck[i] - input[i];
    return wet;
}

TEST(GateEffect, HalfDutyAtOneBeatIsOpenHalfTheBeatWithSmoothEdges) {
    FxUnit fx;
    test::prepared(fx, FxUnit::kGate, 4.0 / 6.0, 0.5);
    const auto run = test::renderFx(fx, std::vector<float>(2 * 48000, 1.0f));
    const int period = 24000; // one beat at 120 BPM
    double sum = 0.0;
    for (int f = period; f < 2 * period; ++f) {
        const double p = static_cast<double>(f - period) / period;
        const float g = run.deck[2 * f];
        ASSERT_EQ(g, run.deck[2 * f + 1]);
        sum += g;
        if (p >= 0.2 && p <= 0.3) {
            ASSERT_FLOAT_EQ(g, 1.0f) << p;
        }
        if (p >= 0.5) {
            ASSERT_EQ(g, 0.0f) << p;
        }
    }
    // The 0.2-period edges are halfway at their middle; the mean gain is 0.3.
    EXPECT_NEAR(run.deck[2 * (period + period / 10)], 0.5f, 0.001f);
    EXPECT_NEAR(run.deck[2 * (period + 4 * period / 10)], 0.5f, 0.001f);
    EXPECT_NEAR(sum / period, 0.3, 0.001);
    EXPECT_LT(test::largestStep(run.deck, 0, 0), 0.001);
}

TEST(GateEffect, EveryDutyClosesWithoutAJump) {
    for (double duty : {0.05, 0.1, 0.25, 0.39, 0.6, 0.95}) {
        FxUnit fx;
        test::prepared(fx, FxUnit::kGate, 3.0 / 6.0, duty);
        const auto run = test::renderFx(fx, std::vector<float>(2 * 24000, 1.0f));
        EXPECT_LT(test::largestStep(run.deck, 0, 0), 0.002) << duty;
        // Open for no longer than the duty.
        int open = 0;
        for (int f = 0; f < 12000; ++f)
            open += run.deck[2 * f] > 0.0f;
        EXPECT_LE(open, static_cast<int>(duty * 12000) + 1) << duty;
        EXPECT_GT(open, static_cast<int>(duty * 12000) - 2) << duty;
    }
}

// Largest component between `low` and `high` Hz (5 Hz steps).
double strongestIn(const std::vector<float>& stereo, double low, double high) {
    double best = 0.0;
    for (double hz = low; hz <= high; hz += 5.0)
        best = std::max(best, test::toneAmplitude(stereo, 0, hz, kRate, 9600, 76800));
    return best;
}

TEST(PitchShiftEffect, PlusAndMinusOneShiftByAnOctaveWithoutClicksFromAnEmptyLine) {
    for (const double octaves : {1.0, -1.0}) {
        const double from = octaves > 0 ? 440.0 : 880.0;
        const double to = octaves > 0 ? 880.0 : 440.0;
        FxUnit fx;
        test::prepared(fx, FxUnit::kPitchShift, octaves, 0.0);
        const auto run = test::renderFx(fx, test::stereoSine(from, kRate, 96000, 0.5f));
        // A window-based shifter turns a sine into lines a window rate (25 Hz) apart around the
        // shifted pitch; the strongest sits within a quarter tone of it, nothing near the input.
        EXPECT_GT(strongestIn(run.deck, to - 25.0, to + 25.0), 0.3) << octaves;
        EXPECT_LT(strongestIn(run.deck, from - 40.0, from + 40.0), 0.02) << octaves;
        EXPECT_NEAR(test::toneFrequency(run.deck, 1, kRate, 9600, 76800), to, to * 0.03);
        // A clean sine at 0.5 moves at most 0.5 * 2 pi * f / rate per sample; a tap jumping
        // across the window would show as a far larger step.
        EXPECT_LT(test::largestStep(run.deck, 0, 2000),
                  1.02 * 0.5 * 2.0 * std::numbers::pi * to / kRate)
            << octaves;
        // Leaving the dead zone and coming back empties the line: silence in, silence out.
        fx.setParam(0.0);
        fx.setParam(octaves);
        EXPECT_EQ(
            test::peakOf(test::renderFx(fx, std::vector<float>(2 * 4096, 0.0f)).deck, 0, 4096),
            0.0f);
    }
}

TEST(RollEffect, PassesTheInputWhileCapturingThenRepeatsTheLoop) {
    FxUnit fx;
    test::prepared(fx, FxUnit::kRoll, 2.0 / 6.0, 0.0); // 1/4 beat = 6000 frames
    const auto input = test::stereoNoise(20000, 0.5f);
    const auto run = test::renderFx(fx, input);
    for (int f = 0; f < 6000; ++f)
        ASSERT_EQ(run.deck[2 * f], input[2 * f]) << f;
    for (int f = 6000; f < 20000; ++f)
        ASSERT_EQ(run.deck[2 * f + 1], input[2 * (f % 6000) + 1]) << f;
}

TEST(RollEffect, RisingRollReachesFourTimesSpeedInAboutEightPointSevenSeconds) {
    for (double rate : {44100.0, 96000.0}) {
        FxUnit fx;
        test::prepared(fx, FxUnit::kRisingRoll, 4.0 / 6.0, 0.0, 1.0, 0, false, rate);
        // One beat of 200 Hz (exactly 100 cycles) loops seamlessly; its pitch shows its speed.
        const int loop = static_cast<int>(0.5 * rate);
        const int total = loop + static_cast<int>(9.6 * rate);
        const auto run = test::renderFx(fx, test::stereoSine(200.0, rate, total, 0.5f));
        const int window = static_cast<int>(0.1 * rate);
        double reached = -1.0;
        for (int start = loop; start + window <= total; start += window) {
            const double hz = test::toneFrequency(run.deck, 0, rate, start, window);
            if (reached < 0 && hz > 0.99 * 800.0) reached = (start + window - loop) / rate;
        }
        // The speed grows by ln 2 / 2 per second: 1.017x averaged over the first 0.1 s.
        EXPECT_NEAR(test::toneFrequency(run.deck, 0, rate, loop, window), 200.0 * 1.0173, 1.0)
            << rate;
        EXPECT_GT(reached, 8.3) << rate;
        EXPECT_LT(reached, 9.0) << rate;
        EXPECT_NEAR(test::toneFrequency(run.deck, 0, rate, total - window, window), 800.0, 4.0)
            << rate;
    }
}

// Mean frequency of the sweep 40 * 50^u while u runs from a to b (what zero crossings measure).
double meanSweepHz(double a, double b) {
    return 40.0 * (std::pow(50.0, b) - std::pow(50.0, a)) / ((b - a) * std::log(50.0));
}

TEST(SweepToneEffect, SawSweepsFromFortyHertzToTwoKilohertzPerPeriod) {
    FxUnit fx;
    test::prepared(fx, FxUnit::kSawSweep, 1.0, 0.0); // 4 beats = 2 s
    const auto run = test::renderFx(fx, std::vector<float>(2 * 96000, 0.0f));
    EXPECT_NEAR(test::peakOf(run.deck, 0, 96000), 0.22f, 0.001f);
    EXPECT_NEAR(test::toneFrequency(run.deck, 0, kRate, 0, 9600), meanSweepHz(0.0, 0.1), 1.5);
    EXPECT_NEAR(test::toneFrequency(run.deck, 0, kRate, 81600, 9600), meanSweepHz(0.85, 0.95),
                10.0);
    // The next period starts low again.
    const auto next = test::renderFx(fx, std::vector<float>(2 * 9600, 0.0f));
    EXPECT_NEAR(test::toneFrequency(next.deck, 0, kRate, 0, 9600), meanSweepHz(0.0, 0.1), 1.5);
}

TEST(SweepToneEffect, TriangleGoesUpAndBackDownAndIgnoresTheInput) {
    FxUnit quiet, loud;
    test::prepared(quiet, FxUnit::kTriangleSweep, 1.0, 0.0);
    test::prepared(loud, FxUnit::kTriangleSweep, 1.0, 0.0);
    const auto silence = std::vector<float>(2 * 96000, 0.0f);
    const auto noise = test::stereoNoise(96000, 0.7f);
    const auto a = test::renderFx(quiet, silence);
    const auto b = wetOf(loud, noise);
    // Around the middle of the period the tone is at the top, at the end back at the bottom.
    EXPECT_NEAR(test::toneFrequency(a.deck, 0, kRate, 43200, 9600), meanSweepHz(0.9, 1.0), 15.0);
    EXPECT_NEAR(test::toneFrequency(a.deck, 0, kRate, 86400, 9600), meanSweepHz(0.0, 0.2), 2.0);
    for (std::size_t i = 0; i < b.size(); i += 101)
        ASSERT_NEAR(b[i], a.deck[i], 1e-6f);
}

TEST(EchoEffects, LowCutEchoRepeatsTheHighsAndDropsTheLows) {
    auto repeatLevel = [](double hz) {
        FxUnit fx;
        test::prepared(fx, FxUnit::kLowCutEcho, 3.0 / 6.0, 0.0);
        std::vector<float> burst(2 * 48000, 0.0f);
        const auto tone = test::stereoSine(hz, kRate, 6000, 0.5f);
        std::copy(tone.begin(), tone.end(), burst.begin());
        const auto wet = wetOf(fx, burst);
        return test::toneAmplitude(wet, 0, hz, kRate, 12000 + 1000, 4000) / 0.5;
    };
    EXPECT_GT(repeatLevel(6000.0), 0.95);
    EXPECT_LT(repeatLevel(50.0), 0.15);
}

TEST(EchoEffects, PingPongCrossesSidesAtFullAndHalfDelay) {
    FxUnit fx;
    test::prepared(fx, FxUnit::kPingPongEcho, 4.0 / 6.0, 0.5);
    // Left in: comes back on the right every half delay; right in: on the left every delay.
    const auto left = wetOf(fx, test::impulse(60000, 0, 1.0f, 0.0f));
    EXPECT_EQ(test::hits(left, 1), (std::vector<int>{12000, 24000, 36000, 48000}));
    EXPECT_EQ(test::hits(left), std::vector<int>{});
    EXPECT_FLOAT_EQ(left[2 * 24000 + 1], 0.5f);
    fx.setType(FxUnit::kPingPongEcho);
    const auto right = wetOf(fx, test::impulse(60000, 0, 0.0f, 1.0f));
    EXPECT_EQ(test::hits(right), (std::vector<int>{24000, 48000}));
    EXPECT_EQ(test::hits(right, 1), std::vector<int>{});
}

TEST(EchoEffects, ShrinkingEchoRepeatsComeCloserTogether) {
    FxUnit fx;
    test::prepared(fx, FxUnit::kShrinkingEcho, 4.0 / 6.0, 0.85);
    const auto input = test::impulse(96000, 0);
    const auto wet = wetOf(fx, input);
    // Local maxima of the (interpolated) repeats.
    std::vector<int> repeats;
    for (int f = 1; f + 1 < 96000; ++f) {
        const float v = std::fabs(wet[2 * f]);
        if (v > 0.05f && v >= std::fabs(wet[2 * (f - 1)]) && v > std::fabs(wet[2 * (f + 1)]))
            repeats.push_back(f);
    }
    ASSERT_GE(repeats.size(), 4u);
    // The delay halves every two beats (48000 frames): after 24000 frames it is 1/sqrt(2) of the
    // start, so the first repeat, read at the delay the factor has then, comes before 24000.
    EXPECT_LT(repeats[0], 24000);
    EXPECT_GT(repeats[0], 16000);
    for (std::size_t i = 2; i < repeats.size(); ++i)
        EXPECT_LT(repeats[i] - repeats[i - 1], repeats[i - 1] - repeats[i - 2]) << i;
}

TEST(ModulationEffects, FlangerChannelsSweepInOppositePhase) {
    FxUnit fx;
    test::prepared(fx, FxUnit::kFlanger, 0.5, 0.0);
    const auto input = test::impulse(4800, 0);
    const auto wet = wetOf(fx, input);
    const auto l = test::framesAbove(wet, 0, 0.01f);
    const auto r = test::framesAbove(wet, 1, 0.01f);
    ASSERT_FALSE(l.empty());
    ASSERT_FALSE(r.empty());
    // Left delay + right delay = 7.2 ms sweep + 2 x 0.8 ms = 422.4 frames, each within 0.8-8 ms.
    EXPECT_NEAR(l.front() + r.front(), 422, 3);
    for (int d : {l.front(), r.front()}) {
        EXPECT_GE(d, 38);
        EXPECT_LE(d, 385);
    }
}

TEST(ModulationEffects, PhaserWithoutFeedbackKeepsThePowerOfItsInput) {
    FxUnit fx;
    test::prepared(fx, FxUnit::kPhaser, 0.5, 0.0);
    const auto input = test::stereoNoise(96000, 0.5f);
    const auto wet = wetOf(fx, input);
    double pin = 0.0, pout = 0.0, psum = 0.0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        pin += input[i] * input[i];
        pout += wet[i] * wet[i];
        psum += (input[i] + wet[i]) * (input[i] + wet[i]);
    }
    EXPECT_NEAR(pout / pin, 1.0, 0.03); // all-pass
    // Dry plus all-passed cancels where the chain turns the phase by 180 degrees.
    EXPECT_LT(psum / pin, 3.0);
    EXPECT_GT(psum / pin, 1.0);
}

TEST(ModulationEffects, RateBackToZeroRestartsTheFlanger) {
    FxUnit a, b;
    test::prepared(a, FxUnit::kFlanger, 0.7, 0.6);
    test::prepared(b, FxUnit::kFlanger, 0.7, 0.6);
    test::renderFx(a, test::stereoNoise(9000, 1.0f));
    a.setParam(0.0);
    a.setParam(0.7);
    const auto input = test::stereoNoise(2000, 0.3f, 9);
    EXPECT_EQ(test::renderFx(a, input).deck, test::renderFx(b, input).deck);
}

TEST(ReverbEffect, RingsForSecondsAndABiggerRoomRingsLonger) {
    auto tailEnergy = [](double room, int from, int to) {
        FxUnit fx;
        test::prepared(fx, FxUnit::kReverb, room, 0.5);
        const auto input = test::impulse(2 * 48000, 0);
        const auto wet = wetOf(fx, input);
        double e = 0.0;
        for (int i = 2 * from; i < 2 * to; ++i)
            e += wet[i] * wet[i];
        return e;
    };
    const double early = tailEnergy(0.8, 0, 9600);
    const double late = tailEnergy(0.8, 48000, 57600);
    EXPECT_GT(early, 0.0);
    EXPECT_GT(late, 0.0);
    EXPECT_LT(late, early * 0.5);
    EXPECT_GT(tailEnergy(1.0, 48000, 57600), 4.0 * tailEnergy(0.2, 48000, 57600));
}

TEST(ReverbEffect, UntargetedTailLastsUntilThreeSecondsOfSilence) {
    FxUnit fx;
    test::prepared(fx, FxUnit::kReverb, 0.0, 1.0); // small, dark room: decays quickly
    const auto run =
        test::renderFx(fx, test::impulse(48000, 0), {.beforeBlock = [](FxUnit& u, int f) {
                           if (f == 256) u.setTarget(FxUnit::kTargetNone);
                       }});
    EXPECT_GT(test::peakOf(run.master, 2000, 4000), 0.0f);
    EXPECT_TRUE(fx.tailActive());
    test::renderFx(fx, std::vector<float>(2 * 4 * 48000, 0.0f));
    EXPECT_FALSE(fx.tailActive());
}

TEST(AllEffects, StayBoundedOnFullScaleNoiseAtEveryRate) {
    for (double rate : {22050.0, 44100.0, 96000.0, 0.0}) {
        for (int type = 1; type < FxUnit::kTypeCount; ++type) {
            FxUnit fx;
            test::prepared(fx, type, type == FxUnit::kFilter ? -0.8 : 0.8, 1.0, 1.0, 0, false,
                           rate);
            const auto input = test::stereoNoise(20000, 1.0f, static_cast<std::uint32_t>(type));
            const auto run = test::renderFx(fx, input);
            for (float v : run.master)
                ASSERT_TRUE(std::isfinite(v)) << type << " at " << rate;
            EXPECT_LT(test::peakOf(run.master, 0, 20000), 40.0f) << type << " at " << rate;
        }
    }
}

} // namespace
} // namespace vyn
