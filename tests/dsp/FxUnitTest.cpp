// The FX unit driven the way the render block drives it (timing, tails, send mode, bypass,
// commands, real-time safety), and the master bus it returns into (limiter, gain, cue bus).

#include "dsp/FxUnit.h"
#include "common/RealtimeGuard.h"
#include "common/Signals.h"
#include "common/ToneMeasure.h"
#include "dsp/FxRig.h"
#include "dsp/MasterBus.h"
#include "support/RealtimeScope.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

using test::configure;
using test::prepared;

class FxUnitTest : public ::testing::Test {
protected:
    void SetUp() override { fx.prepare(kRate, 2048); }
    FxUnit fx;
};

TEST_F(FxUnitTest, EchoAtOneBeatAndHalfFeedbackRepeatsEveryHalfSecondAtHalfLevel) {
    configure(fx, FxUnit::kEcho, 0.59, 0.5);
    const auto run = test::renderFx(fx, test::impulse(96000, 100));
    const auto hits = test::hits(run.deck);
    ASSERT_EQ(hits, (std::vector<int>{100, 24100, 48100, 72100}));
    // Dry, then the line's first pass, then each repeat half as loud as the one before.
    EXPECT_FLOAT_EQ(run.deck[2 * 100], 1.0f);
    EXPECT_FLOAT_EQ(run.deck[2 * 24100], 1.0f);
    EXPECT_FLOAT_EQ(run.deck[2 * 48100 + 1], 0.5f);
    EXPECT_FLOAT_EQ(run.deck[2 * 72100], 0.25f);
    EXPECT_EQ(run.master, run.deck); // insert mode: the deck carries the effect to the master
}

TEST_F(FxUnitTest, ParameterRoundsToTheNearestBeatTableStep) {
    struct Case {
        double value;
        int delayFrames;
        float readBack;
    };
    for (const Case& c :
         {Case{0.5, 12000, 0.5f}, Case{0.58, 12000, 0.5f}, Case{0.59, 24000, 4.0f / 6.0f},
          Case{0.0, 1500, 0.0f}, Case{-0.3, 1500, 0.0f}, Case{1.0, 96000, 1.0f}}) {
        FxUnit unit;
        prepared(unit, FxUnit::kSingleEcho, c.value, 0.0);
        EXPECT_FLOAT_EQ(unit.param(), c.readBack) << c.value;
        const auto run = test::renderFx(unit, test::impulse(100000, 0));
        EXPECT_EQ(test::hits(run.deck), (std::vector<int>{0, c.delayFrames})) << c.value;
    }
}

TEST_F(FxUnitTest, TempoComesFromTheMasterAndValuesNotAboveOneAreIgnored) {
    configure(fx, FxUnit::kSingleEcho, 4.0 / 6.0, 0.0);
    // Before any tempo, beats run at 120 BPM.
    auto run = test::renderFx(fx, test::impulse(30000, 0), {.tempo = 0.0});
    EXPECT_EQ(test::hits(run.deck), (std::vector<int>{0, 24000}));
    run = test::renderFx(fx, test::impulse(40000, 0), {.tempo = 100.0});
    EXPECT_EQ(test::hits(run.deck), (std::vector<int>{0, 28800}));
    // No tempo (0) or nonsense keeps the last tempo the unit was given.
    fx.setTempo(0.5);
    fx.setTempo(NAN);
    run = test::renderFx(fx, test::impulse(40000, 0), {.tempo = 0.0});
    EXPECT_EQ(test::hits(run.deck), (std::vector<int>{0, 28800}));
}

TEST_F(FxUnitTest, TheBeatStepSurvivesTypeChanges) {
    // Knob types keep their own value and leave the remembered step alone.
    configure(fx, FxUnit::kEcho, 2.0 / 6.0, 0.5);
    fx.setType(FxUnit::kReverb);
    fx.setParam(0.9);
    fx.setType(FxUnit::kRoll);
    EXPECT_FLOAT_EQ(fx.param(), 2.0f / 6.0f);
    EXPECT_FLOAT_EQ(fx.quantisedParam(), 2.0f / 6.0f);
    // From echo to gate at half a beat (120 BPM): the gate opens every 12000 frames.
    configure(fx, FxUnit::kEcho, 0.5, 0.5);
    fx.setType(FxUnit::kGate);
    fx.setResonance(0.5);
    EXPECT_FLOAT_EQ(fx.param(), 0.5f);
    const auto run = test::renderFx(fx, std::vector<float>(2 * 48000, 1.0f));
    for (int period = 0; period < 4; ++period) {
        EXPECT_FLOAT_EQ(run.deck[2 * (12000 * period + 3000)], 1.0f) << period;
        EXPECT_EQ(run.deck[2 * (12000 * period + 9000)], 0.0f) << period;
    }
}

TEST_F(FxUnitTest, UntargetingLeavesTheRepeatsOnTheMaster) {
    configure(fx, FxUnit::kEcho, 4.0 / 6.0, 0.5);
    const auto run =
        test::renderFx(fx, test::impulse(80000, 0), {.beforeBlock = [](FxUnit& u, int f) {
                           if (f == 12032) u.setTarget(FxUnit::kTargetNone);
                       }});
    EXPECT_EQ(fx.target(), FxUnit::kTargetNone);
    // The deck itself is dry from then on; the master still hears the line play out.
    EXPECT_EQ(test::hits(run.deck), (std::vector<int>{0}));
    EXPECT_EQ(test::hits(run.master, 1), (std::vector<int>{0, 24000, 48000, 72000}));
    EXPECT_FLOAT_EQ(run.master[2 * 48000], 0.5f);
    EXPECT_TRUE(fx.tailActive());
}

// After the first block or so the master hears the dry impulse and nothing of the line.
TEST_F(FxUnitTest, CuttingOrResettingTheLineSilencesItAtOnce) {
    using Change = void (*)(FxUnit&);
    struct Case {
        const char* what;
        int type;
        Change change;
    };
    const Case cases[] = {
        {"clear target", FxUnit::kEcho, [](FxUnit& u) { u.clearTarget(); }},
        {"retarget", FxUnit::kEcho, [](FxUnit& u) { u.setTarget(3); }},
        {"mode change", FxUnit::kEcho, [](FxUnit& u) { u.setMode(1.0); }},
        {"type change", FxUnit::kEcho, [](FxUnit& u) { u.setType(FxUnit::kEcho); }},
        {"untargeted flanger", FxUnit::kFlanger,
         [](FxUnit& u) { u.setTarget(FxUnit::kTargetNone); }},
        {"mix 0 on a ringing tail", FxUnit::kEcho,
         [](FxUnit& u) {
             u.setTarget(FxUnit::kTargetNone);
             u.setMix(0.0);
         }},
    };
    for (const Case& c : cases) {
        FxUnit unit;
        prepared(unit, c.type, c.type == FxUnit::kEcho ? 4.0 / 6.0 : 0.5, 0.5);
        const auto run =
            test::renderFx(unit, test::impulse(30000, 0), {.beforeBlock = [&c](FxUnit& u, int f) {
                               if (f == 1024) c.change(u);
                           }});
        EXPECT_EQ(test::peakOf(run.master, 1024, 30000 - 1024), 0.0f) << c.what;
    }
    // Retargeting after a clear starts from an empty line.
    configure(fx, FxUnit::kEcho, 4.0 / 6.0, 0.5);
    test::renderFx(fx, test::impulse(2048, 0));
    fx.clearTarget();
    EXPECT_FALSE(fx.tailActive());
    fx.setTarget(0);
    const auto again = test::renderFx(fx, std::vector<float>(2 * 30000, 0.0f));
    EXPECT_EQ(test::peakOf(again.master, 0, 30000), 0.0f);
}

TEST_F(FxUnitTest, TheTailEndsAfterOneAndAQuarterDelaysOfSilence) {
    configure(fx, FxUnit::kSingleEcho, 4.0 / 6.0, 0.0);
    bool activeAtOneSecond = false;
    // The repeat lands at 24000 (block ending 24064); silence must then last 30000 frames.
    const auto run =
        test::renderFx(fx, test::impulse(54016, 0), {.beforeBlock = [&](FxUnit& u, int f) {
                           if (f == 2560) u.setTarget(FxUnit::kTargetNone);
                           if (f == 48128) activeAtOneSecond = u.tailActive();
                       }});
    EXPECT_FLOAT_EQ(run.master[2 * 24000], 1.0f);
    EXPECT_TRUE(activeAtOneSecond);
    EXPECT_TRUE(fx.tailActive());
    test::renderFx(fx, std::vector<float>(2 * 256, 0.0f));
    EXPECT_FALSE(fx.tailActive());
}

TEST_F(FxUnitTest, SendModeLeavesTheDeckDryAndAddsTheWetReturnTimesMixEvenAfterAnUnload) {
    configure(fx, FxUnit::kEcho, 4.0 / 6.0, 0.5, 0.5, 0, true);
    const auto input = test::impulse(60000, 0);
    const auto run = test::renderFx(fx, input);
    EXPECT_EQ(run.deck, input);
    EXPECT_EQ(test::hits(run.master), (std::vector<int>{0, 24000, 48000}));
    EXPECT_FLOAT_EQ(run.master[0], 1.0f);
    EXPECT_FLOAT_EQ(run.master[2 * 24000], 0.5f);
    EXPECT_FLOAT_EQ(run.master[2 * 48000], 0.25f);
    // The send's tail keeps ringing when the target deck is unloaded.
    FxUnit unit;
    prepared(unit, FxUnit::kEcho, 4.0 / 6.0, 0.5, 1.0, 0, true);
    const auto unloaded = test::renderFx(unit, test::impulse(50000, 0),
                                         {.deckLoaded = [](int frame) { return frame < 1024; }});
    EXPECT_EQ(test::hits(unloaded.master), (std::vector<int>{0, 24000, 48000}));
}

TEST_F(FxUnitTest, OnlyTheTargetDeckFeedsTheUnitAndTheMasterTargetProcessesTheWholeMix) {
    configure(fx, FxUnit::kEcho, 4.0 / 6.0, 0.5, 1.0, 5);
    const auto input = test::impulse(30000, 0);
    EXPECT_EQ(test::renderFx(fx, input, {.deck = 4}).master, input);
    // Insert: the gate works on the master after the decks.
    configure(fx, FxUnit::kGate, 4.0 / 6.0, 0.5, 1.0, FxUnit::kTargetMaster);
    auto run = test::renderFx(fx, std::vector<float>(2 * 24000, 1.0f));
    EXPECT_EQ(run.deck[2 * 18000], 1.0f);
    EXPECT_EQ(run.master[2 * 18000], 0.0f);
    EXPECT_EQ(run.master[2 * 6000], 1.0f);
    // Send: dry master plus the echo's return times mix.
    FxUnit unit;
    prepared(unit, FxUnit::kEcho, 4.0 / 6.0, 0.5, 0.5, FxUnit::kTargetMaster, true);
    run = test::renderFx(unit, test::impulse(30000, 0));
    EXPECT_EQ(test::hits(run.master), (std::vector<int>{0, 24000}));
    EXPECT_FLOAT_EQ(run.master[0], 1.0f);
    EXPECT_FLOAT_EQ(run.master[2 * 24000], 0.5f);
}

TEST_F(FxUnitTest, MixZeroBypassesEveryTypeAndCrossfadeTypesBlendByMix) {
    const auto input = test::stereoNoise(8192, 0.5f);
    for (int type = 1; type < FxUnit::kTypeCount; ++type) {
        for (bool send : {false, true}) {
            for (int target : {0, FxUnit::kTargetMaster}) {
                FxUnit unit;
                prepared(unit, type, 0.7, 0.5, 0.0, target, send);
                EXPECT_TRUE(unit.bypassed()) << type;
                const auto run = test::renderFx(unit, input);
                ASSERT_EQ(run.deck, input) << type << " send " << send << " target " << target;
                ASSERT_EQ(run.master, input) << type << " send " << send << " target " << target;
            }
        }
    }
    configure(fx, FxUnit::kGate, 4.0 / 6.0, 0.5, 0.25);
    const auto run = test::renderFx(fx, std::vector<float>(2 * 24000, 1.0f));
    EXPECT_FLOAT_EQ(run.deck[2 * 18000], 0.75f); // gate closed: only the dry part remains
    EXPECT_FLOAT_EQ(run.deck[2 * 6000], 1.0f);
}

TEST_F(FxUnitTest, KnobEffectsBypassInTheirDeadZones) {
    struct Case {
        int type;
        double param;
    };
    const auto input = test::stereoNoise(4096, 0.5f);
    for (const Case& c :
         {Case{FxUnit::kFilter, 0.01}, Case{FxUnit::kFilter, -0.019}, Case{FxUnit::kFlanger, 0.0},
          Case{FxUnit::kPhaser, 0.0}, Case{FxUnit::kPitchShift, 0.01}, Case{FxUnit::kNone, 0.5}}) {
        FxUnit unit;
        prepared(unit, c.type, c.param, 0.5);
        EXPECT_TRUE(unit.bypassed()) << c.type;
        const auto run = test::renderFx(unit, input);
        EXPECT_EQ(run.master, input) << c.type;
    }
    // The same types engage just outside.
    configure(fx, FxUnit::kPitchShift, 0.03, 0.0);
    EXPECT_FALSE(fx.bypassed());
    EXPECT_NE(test::renderFx(fx, input).master, input);
}

TEST_F(FxUnitTest, CommandValuesAreRangeCheckedAndReadBack) {
    const std::pair<double, int> targets[] = {{3.9, 3},
                                              {16, FxUnit::kTargetNone},
                                              {-1, FxUnit::kTargetMaster},
                                              {-7, FxUnit::kTargetNone},
                                              {NAN, FxUnit::kTargetNone}};
    for (const auto& [value, target] : targets) {
        fx.setTarget(value);
        EXPECT_EQ(fx.target(), target) << value;
    }

    fx.setType(2.7);
    EXPECT_EQ(fx.type(), FxUnit::kEcho);
    fx.setType(16);
    fx.setType(-1);
    EXPECT_EQ(fx.type(), FxUnit::kEcho);

    for (const auto& [mix, held] : {std::pair(1.5, 1.0f), {-0.5, 0.0f}}) {
        fx.setMix(mix);
        EXPECT_EQ(fx.mix(), held) << mix;
    }
    fx.setMode(2.0);
    EXPECT_TRUE(fx.sendMode());

    // Each type's own ranges hold its knobs; non-finite values change nothing.
    fx.setType(FxUnit::kFilter);
    fx.setParam(-3.0);
    fx.setResonance(2.0);
    fx.setParam(NAN);
    fx.setResonance(INFINITY);
    EXPECT_FLOAT_EQ(fx.param(), -1.0f);
    EXPECT_FLOAT_EQ(fx.resonance(), 1.0f);
}

TEST(FxUnprepared, RenderCallsBeforePrepareLeaveTheAudioAlone) {
    FxUnit fx;
    configure(fx, FxUnit::kEcho, 0.5, 0.5, 1.0, 0, true);
    const auto input = test::stereoNoise(256, 0.5f);
    const auto run = test::renderFx(fx, input);
    EXPECT_EQ(run.deck, input);
    EXPECT_EQ(run.master, input);
}

TEST(FxRealtime, EveryTypeModeAndTargetRendersWithoutAllocatingOrLocking) {
    FxUnit fx;
    fx.prepare(kRate, 2048);
    MasterBus bus;
    bus.prepare(kRate, 2048);
    auto deck = test::stereoNoise(2048, 0.5f);
    std::vector<float> out(2 * 2048), cue(2 * 2048);
    test::resetRealtimeViolations();
    {
        realtime::AudioThreadScope audioThread;
        int block = 0;
        for (int type = 0; type < FxUnit::kTypeCount; ++type) {
            for (int target : {0, FxUnit::kTargetMaster, FxUnit::kTargetNone, 0}) {
                for (int mode = 0; mode < 2; ++mode) {
                    fx.setType(type);
                    fx.setTarget(target);
                    fx.setMode(mode);
                    fx.setMix(0.8);
                    fx.setParam((block % 9) / 8.0 - (type == 1 || type == 11 ? 0.5 : 0.0));
                    fx.setResonance((block % 5) / 4.0);
                    for (int rep = 0; rep < 6; ++rep, ++block) {
                        const int n = 64 + (block * 97) % 1985;
                        fx.setTempo(118.0 + block % 9);
                        bus.beginBlock(n);
                        fx.beginBlock(n);
                        fx.processDeck(0, deck.data(), n);
                        bus.addDeck(deck.data(), n, true);
                        fx.finishBlock(bus.master(), n);
                        bus.output(out.data(), cue.data(), n);
                        for (int i = 0; i < 2 * n; ++i) // keep the input alive and bounded
                            deck[i] = 0.5f * std::sin(0.01f * (i + block));
                    }
                }
            }
        }
        fx.clearTarget();
    }
    EXPECT_TRUE(test::noRealtimeViolations());
    for (float s : out)
        ASSERT_TRUE(std::isfinite(s));
}

// Plays `deck` through the bus in blocks, returning the master output.
std::vector<float> play(MasterBus& bus, const std::vector<float>& deck, int block) {
    const int frames = static_cast<int>(deck.size() / 2);
    std::vector<float> out(deck.size());
    for (int f = 0; f < frames; f += block) {
        const int n = std::min(block, frames - f);
        bus.beginBlock(n);
        bus.addDeck(deck.data() + 2 * f, n, false);
        bus.output(out.data() + 2 * f, nullptr, n);
    }
    return out;
}

std::vector<float> square(int frames, int period, float level) {
    std::vector<float> s(2 * static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f)
        s[2 * f] = s[2 * f + 1] = (f % period) < period / 2 ? level : -level;
    return s;
}

TEST(MasterBus, LimiterHoldsASquareAtGainTwoToMinusOneDecibelAndReleasesOver120Ms) {
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
    const float held = bus.limiterGain();
    // 120 ms of quiet signal: 63 % of the way back to unity.
    play(bus, square(5760, 96, 0.1f), 256);
    EXPECT_NEAR(bus.limiterGain(), 1.0f - (1.0f - held) * std::exp(-1.0f), 0.01f);
    play(bus, square(48000, 96, 0.1f), 256);
    EXPECT_GT(bus.limiterGain(), 0.999f);
}

TEST(MasterBus, QuietSignalPassesUntouchedAndNonFiniteFramesAreDropped) {
    MasterBus bus;
    bus.prepare(kRate, 512);
    const auto quiet = test::stereoNoise(4096, 0.8f);
    EXPECT_EQ(play(bus, quiet, 512), quiet);
    EXPECT_EQ(bus.limiterGain(), 1.0f);
    EXPECT_LE(bus.masterPeak(), 0.8f);
    EXPECT_GT(bus.masterPeak(), 0.7f);
    // Without poisoning the limiter or the peak.
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
