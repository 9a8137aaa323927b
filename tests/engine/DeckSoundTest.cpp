// What a deck sounds like, measured on audio rendered through the engine host: the varispeed
// reader, key lock, key shift, leaving stretch mode, loops, key sync, the real-time guard and the
// interpolation setting. Key lock and key shift run through both stretchers (WSOLA and the phase
// vocoder).

#include "DeckFixture.h"
#include "common/StretchMeasure.h"
#include "common/ToneMeasure.h"
#include "engine/Deck.h"

#include <cmath>
#include <map>
#include <vector>

namespace vyn {
namespace {

using test::kBeat;
using test::kRate;

class DeckSound : public test::DeckFixture {
protected:
    LoadedTrack* tone(double hz, double seconds = 30.0) {
        return test::makeTrack(test::sineWave(hz, kRate, static_cast<std::size_t>(seconds * kRate)),
                               kRate);
    }
    // Frequency of the master over the rendered span, skipping the first 100 ms.
    static double frequency(const std::vector<float>& out) {
        const std::vector<float> steady(out.begin() + 2 * 4800, out.end());
        return test::toneFrequency(steady, kRate);
    }
};

// The same behaviour from either stretcher: 0 WSOLA, 1 phase vocoder.
class DeckKeyLock : public DeckSound, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        DeckSound::SetUp();
        useKeylockQuality(GetParam());
    }
};

INSTANTIATE_TEST_SUITE_P(BothStretchers, DeckKeyLock, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return param.param == 0 ? "Wsola" : "PhaseVocoder";
                         });

TEST_F(DeckSound, UnitRateWithoutKeyLockReproducesTheSourceExactly) {
    const std::vector<float> source = test::noise(200000, 9);
    loadTrack(0, test::makeTrack(source, kRate));
    push(CommandType::PLAY, 0);
    const std::vector<float> out = render(210000, 333);
    for (std::size_t i = 0; i < source.size(); ++i) {
        ASSERT_EQ(out[2 * i], source[i]) << i;
        ASSERT_EQ(out[2 * i + 1], source[i]) << i;
    }
    for (std::size_t i = source.size(); i < 210000; ++i)
        ASSERT_EQ(out[2 * i], 0.0f) << "past the end " << i;
    EXPECT_EQ(state(), DeckState::PAUSED);
    EXPECT_EQ(position(), 200000.0);
}

TEST_P(DeckKeyLock, PitchAndTempoFollowTheRateKeyLockAndKeyShift) {
    // Without key lock the pitch follows the rate; with it the pitch stays while the tempo
    // follows; a key shift moves the pitch at an unchanged tempo. The audible position advances
    // at the rate (the stretcher's latency only wobbles).
    // The last row: a key shift beyond the +6 limit, key lock at the fastest rate in the
    // largest blocks.
    struct Case {
        bool keylock;
        double rate;
        int shift;
        int heardShift;
        int block = 256;
    };
    for (const Case& c : {Case{false, 1.25, 0, 0}, Case{false, 0.8, 0, 0}, Case{true, 1.25, 0, 0},
                          Case{true, 0.8, 0, 0}, Case{false, 1.0, 3, 3}, Case{false, 1.0, -5, -5},
                          Case{true, 4.0, 12, 6, 2048}}) {
        SCOPED_TRACE(testing::Message() << c.keylock << " " << c.rate << " " << c.shift);
        loadTrack(0, tone(440.0, 60.0));
        push(CommandType::SET_KEYLOCK, 0, c.keylock ? 1 : 0);
        push(CommandType::SET_RATE, 0, c.rate);
        push(CommandType::SET_KEY_SHIFT, 0, c.shift);
        push(CommandType::PLAY, 0);
        render(24000);
        const double start = position();
        const std::vector<float> out = render(4 * 48000, c.block);
        const double pitch =
            440.0 * (c.keylock ? 1.0 : c.rate) * std::pow(2.0, c.heardShift / 12.0);
        EXPECT_NEAR(frequency(out), pitch, pitch * 0.005);
        const double tolerance = c.keylock || c.shift != 0 ? 4 * 48000 * c.rate * 0.005 : 1e-6;
        EXPECT_NEAR(position() - start, 4 * 48000 * c.rate, tolerance);
        EXPECT_EQ(deck().keyShift, c.heardShift);
    }
}

TEST_P(DeckKeyLock, LeavingStretchModeDoesNotMoveTheAudiblePosition) {
    loadTrack(0, tone(440.0));
    push(CommandType::SET_KEYLOCK, 0, 1);
    push(CommandType::SET_RATE, 0, 1.25);
    push(CommandType::PLAY, 0);
    render(48000);
    const double audible = position();
    // Render one block in reverse: it starts from what was heard, not from the read position
    // the stretcher had run ahead to.
    push(CommandType::SET_REVERSE, 0, 1);
    block(256);
    EXPECT_NEAR(position(), audible - 256 * 1.25, 1e-6);
    push(CommandType::SET_REVERSE, 0, 0);
    block(256);
    EXPECT_NEAR(position(), audible, 260.0); // back in stretch mode, restarted from there
}

TEST(DeckStretchMode, EntersAboveAThousandthAndLeavesOnlyWithinATenThousandth) {
    Deck d;
    d.prepare(kRate, 256, 0);
    Command load(CommandType::LOAD_TRACK, 0);
    load.track = test::makeTrack(test::sineWave(440.0, kRate, 480000), kRate);
    d.apply(load);
    d.apply(Command(CommandType::SET_KEYLOCK, 0, 1));
    d.apply(Command(CommandType::PLAY, 0));
    std::vector<float> out(512);
    auto at = [&](double rate) {
        d.apply(Command(CommandType::SET_RATE, 0, rate));
        d.render(out.data(), 256);
        return d.stretching();
    };
    // In at 1.002, not at 1.0005 on the way; out only at 1.0001.
    EXPECT_EQ((std::vector{at(1.0005), at(1.002), at(1.0005), at(1.00011), at(1.0001)}),
              (std::vector{false, true, true, true, false}));
    d.apply(Command(CommandType::SET_KEY_SHIFT, 0, 1)); // a key shift stretches even at rate 1
    EXPECT_TRUE(at(1.0));
    d.apply(Command(CommandType::JOG, 0, 1.0)); // a jog movement never stretches
    d.render(out.data(), 256);
    EXPECT_FALSE(d.stretching());
    d.apply(Command(CommandType::PAUSE, 0));
    d.render(out.data(), 256);
    d.render(out.data(), 256);
    EXPECT_FALSE(d.stretching()); // silent: out of stretch mode
}

TEST_P(DeckKeyLock, KeyLockInsideALoopKeepsTheLoopAndThePitch) {
    loadTrack(0, test::makeTrack(test::sineWave(440.0, kRate, 8 * 48000), kRate,
                                 test::constantGrid(120.0, 0.0, 16)));
    push(CommandType::SET_KEYLOCK, 0, 1);
    push(CommandType::SET_RATE, 0, 1.06);
    push(CommandType::BEAT_LOOP, 0, 2);
    push(CommandType::PLAY, 0);
    const std::vector<float> out = render(5 * 48000);
    EXPECT_NEAR(frequency(out), 440.0, 440.0 * 0.005);
    EXPECT_TRUE(deck().looping);
    EXPECT_GE(position(), 0.0);
    EXPECT_LT(position(), kBeat * 2);
}

class DeckKeySync : public test::DeckFixture {
protected:
    LoadedTrack* keyed(std::uint8_t pitch, std::uint8_t mode) {
        LoadedTrack* t = gridTrack(10.0);
        t->key = KeyCode{pitch, mode};
        return t;
    }
};

TEST_F(DeckKeySync, TransposesTowardsTheMastersShiftedKeyTogglesBackAndEndsWithALoad) {
    loadTrack(0, keyed(11, kMajorMode)); // B major
    loadTrack(1, keyed(0, kMajorMode));  // C major
    EXPECT_TRUE(deck(0).hasKey);
    engine->overrideMaster(1, 0.0, 120.0);
    send(CommandType::KEY_SYNC, 0);
    EXPECT_EQ(deck(0).keyShift, 1);
    EXPECT_TRUE(deck(0).keySync);
    send(CommandType::KEY_SYNC, 0);
    EXPECT_EQ(deck(0).keyShift, 0);
    EXPECT_FALSE(deck(0).keySync);
    send(CommandType::KEY_SYNC, 0);
    ASSERT_TRUE(deck(0).keySync);
    loadTrack(0, keyed(2, kMajorMode)); // D major
    EXPECT_FALSE(deck(0).keySync);
    EXPECT_EQ(deck(0).keyShift, 0);

    // The master's own key shift counts: C shifted to E.
    send(CommandType::SET_KEY_SHIFT, 1, 4);
    send(CommandType::KEY_SYNC, 0);
    EXPECT_EQ(deck(0).keyShift, 2);
    // Setting the same shift keeps key sync; a different one ends it.
    send(CommandType::SET_KEY_SHIFT, 0, 2.4);
    EXPECT_TRUE(deck(0).keySync);
    send(CommandType::SET_KEY_SHIFT, 0, 1);
    EXPECT_FALSE(deck(0).keySync);
    EXPECT_EQ(deck(0).keyShift, 1);
}

TEST_F(DeckKeySync, DoesNothingWithoutAMasterOnItselfOrWithoutAKey) {
    loadTrack(0, keyed(9, kMinorMode));
    loadTrack(1, keyed(0, kMajorMode));
    loadTrack(2, gridTrack(10.0));  // key unknown
    send(CommandType::KEY_SYNC, 0); // no master
    EXPECT_FALSE(deck(0).keySync);
    engine->overrideMaster(0, 0.0, 120.0);
    send(CommandType::KEY_SYNC, 0); // the master itself
    EXPECT_FALSE(deck(0).keySync);
    engine->overrideMaster(1, 0.0, 120.0);
    send(CommandType::KEY_SYNC, 2);
    EXPECT_FALSE(deck(2).keySync);
    EXPECT_FALSE(deck(2).hasKey);
    send(CommandType::KEY_SYNC, 0); // A minor is C major's relative: no shift needed
    EXPECT_TRUE(deck(0).keySync);
    EXPECT_EQ(deck(0).keyShift, 0);
}

TEST_P(DeckKeyLock, PlayingLoopingSlippingStretchingAndShiftingNeverAllocateOrLock) {
    std::vector<LoadedTrack*> tracks;
    for (int i = 0; i < 6; ++i) {
        LoadedTrack* t = test::makeTrack(test::noise(20 * 48000, i + 1), i % 2 ? 44100.0 : kRate,
                                         test::constantGrid(120.0 + i, 0.0, 40));
        t->key = KeyCode{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i % 2)};
        t->cues = {{CueKind::Loop, 0, 1.0, 2.0, ""}, {CueKind::HotCue, 1, 3.0, -1.0, ""}};
        tracks.push_back(t);
    }
    for (int d = 0; d < 4; ++d)
        load(d, tracks[d]);
    block();
    // Step b of every 40 sends one command to deck b % 4; its value may depend on b and deck d.
    using Value = double (*)(int b, int d);
    const Value zero = [](int, int) { return 0.0; };
    const Value on = [](int, int) { return 1.0; };
    const std::map<int, std::pair<CommandType, Value>> script = {
        {0, {CommandType::PLAY, zero}},
        {1, {CommandType::SET_KEYLOCK, on}},
        {2, {CommandType::SET_RATE, [](int b, int) { return 0.8 + 0.05 * (b % 9); }}},
        {3, {CommandType::SET_KEY_SHIFT, [](int b, int) { return (b / 40) % 13 - 6.0; }}},
        {4, {CommandType::SET_PLAYHEAD, [](int b, int) { return (b * 37) % 48000 * 1.0; }}},
        {6, {CommandType::SET_FILTER, [](int b, int) { return (b % 21 - 10) / 10.0; }}},
        {8, {CommandType::SET_QUANTISE, [](int b, int) { return b / 40 % 2 * 1.0; }}},
        {10, {CommandType::SET_MASTER_GAIN, [](int, int) { return 0.8; }}},
        {5, {CommandType::BEAT_LOOP, [](int b, int) { return 1.0 + b % 3; }}},
        {7, {CommandType::SET_SLIP, on}},
        {9, {CommandType::JUMP_HOT_CUE, [](int b, int) { return b % 2 * 1.0; }}},
        {11, {CommandType::HOT_CUE_UP, [](int b, int) { return b % 2 * 1.0; }}},
        {13, {CommandType::SET_REVERSE, on}},
        {15, {CommandType::SET_REVERSE, zero}},
        {17, {CommandType::JOG_TOUCH, on}},
        {18, {CommandType::JOG, [](int, int) { return -1.5; }}},
        {19, {CommandType::JOG_TOUCH, zero}},
        {21, {CommandType::KEY_SYNC, zero}},
        {23, {CommandType::BEAT_JUMP, [](int b, int) { return b % 3 ? 4.0 : -4.0; }}},
        {25, {CommandType::RELOOP_EXIT, zero}},
        {27, {CommandType::SET_SLIP_REVERSE, on}},
        {29, {CommandType::SET_SLIP_REVERSE, zero}},
        {31, {CommandType::CUE_DOWN, zero}},
        {32, {CommandType::CUE_UP, zero}},
        {33, {CommandType::SWAP_DECKS, [](int, int d) { return (d + 1) % 4 * 1.0; }}},
        {35, {CommandType::LOOP_IN, zero}},
        {36, {CommandType::LOOP_ADJUST, [](int, int) { return 3.0; }}},
    };
    for (int b = 0; b < 4000; ++b) {
        const int d = b % 4;
        // A master to sync keys to and to park quantised commands for, now and then none.
        if (b % 50 == 0) engine->overrideMaster(b % 100 == 0 ? 3 : -1, b / 50.0, 123.0);
        if (const auto step = script.find(b % 40); step != script.end())
            push(step->second.first, d, step->second.second(b, d));
        if (b == 2000) {
            load(0, tracks[4]);
            load(1, tracks[5]);
        }
        // A brief turn on the other stretcher: two crossfades while the decks play.
        if (b % 97 == 50) useKeylockQuality(1 - GetParam());
        if (b % 97 == 52) useKeylockQuality(GetParam());
        block(b % 3 ? 256 : 2048);
    }
    // The decks really did something: every one moved.
    const EngineSnapshot s = snapshot();
    for (int d = 0; d < 4; ++d)
        EXPECT_GT(s.decks[d].position, 0.0) << d;
}

// The engine-wide interpolation setting changed while decks play: it reaches every deck at a
// block boundary, and the render block stays free of allocations and locks while it does.

using DeckInterpolation = test::DeckFixture;

TEST_F(DeckInterpolation, SwitchingWhilePlayingReachesEveryDeck) {
    // Two decks play the same 12 kHz tone of a 44.1 kHz track at rate 1.04 in step: the master is
    // clean only when both read band-limited.
    for (int d = 0; d < 2; ++d) {
        loadTrack(d, test::makeTrack(test::sineWave(12000.0, 44100.0, 10 * 44100, 0.3f), 44100.0));
        push(CommandType::SET_RATE, d, 1.04);
    }
    push(CommandType::PLAY, 0);
    push(CommandType::PLAY, 1);
    for (int interpolation : {0, 1, 0}) {
        SoundOptions options;
        options.interpolation = interpolation;
        engine->setSoundOptions(options);
        blocks(2); // the change and its 10 ms blend
        const std::vector<float> out = render(25600);
        const double away = test::offPartialDb(
            test::stretchSpectrum(out.data(), 25600, 2, 0, test::kRate), {12000.0 * 1.04});
        if (interpolation == 1)
            EXPECT_LE(away, -80.0);
        else
            EXPECT_GT(away, -20.0);
    }
}

} // namespace
} // namespace vyn
