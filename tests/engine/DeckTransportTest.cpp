// Deck commands: load, cue, hot cues, loops, beat jump, the rate takeover, slip, reverse and
// the jog wheel.

#include "DeckFixture.h"
#include "common/ToneMeasure.h"
#include "engine/Deck.h"

#include <cmath>
#include <tuple>

namespace vyn {
namespace {

using test::kBeat;
using test::kRate;

class DeckLoad : public test::DeckFixture {};

TEST_F(DeckLoad, StartsAtTheLoadPointAndTakesHotCuesFromTheCueList) {
    LoadedTrack* t = gridTrack();
    t->cues = {
        {CueKind::Memory, -1, 5.0, -1.0, "memory"},
        {CueKind::LoadPoint, -1, 2.0, -1.0, "load"},
        {CueKind::HotCue, 0, 1.0, -1.0, "A"},
        {CueKind::Loop, 2, 4.0, 6.0, "loop"},
        {CueKind::HotCue, 8, 7.0, -1.0, "beyond the eight slots"},
        {CueKind::FadeIn, 1, 3.0, -1.0, "not a hot cue"},
    };
    loadTrack(0, t);
    const DeckSnapshot s = deck();
    EXPECT_EQ(std::tuple(state(), s.position, s.mainCue, s.hotCueMask),
              std::tuple(DeckState::READY, 2.0 * kRate, 96000u, 0b101));
    EXPECT_EQ(std::pair(s.hotCueSeconds[0], s.hotCueSeconds[2]), std::pair(1.0f, 4.0f));
    // Jumping to the loop hot cue starts its loop.
    send(CommandType::JUMP_HOT_CUE, 0, 2);
    EXPECT_TRUE(deck().looping);
    EXPECT_EQ(loopEdges(), std::make_pair(4.0f, 6.0f));
}

TEST_F(DeckLoad, ANewTrackClearsTransportButKeepsTheTempoAndUnloadEmptiesTheDeck) {
    loadTrack(0, gridTrack());
    send(CommandType::SET_RATE, 0, 1.1);
    send(CommandType::SET_KEY_SHIFT, 0, 3);
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::SET_REVERSE, 0, 1);
    send(CommandType::BEAT_LOOP, 0, 2);
    send(CommandType::PLAY);
    loadTrack(0, gridTrack());
    const DeckSnapshot s = deck();
    EXPECT_EQ(std::tuple(state(), s.keyShift, s.slip, s.reverse, s.looping, s.loopInSeconds),
              std::tuple(DeckState::READY, 0, false, false, false, -1.0f));
    EXPECT_EQ(std::pair(s.userRate, s.position), std::pair(1.1, 0.0));

    send(CommandType::SET_HOT_CUE, 0, 1);
    send(CommandType::UNLOAD);
    EXPECT_EQ(std::tuple(state(), deck().hotCueMask, deck().length),
              std::tuple(DeckState::EMPTY, 0, 0u));
    EXPECT_EQ(retired().size(), 2u) << "the replaced track and the unloaded one";
    // Transport commands on an empty deck do nothing.
    send(CommandType::PLAY);
    EXPECT_EQ(state(), DeckState::EMPTY);
}

class DeckCue : public test::DeckFixture {
protected:
    void SetUp() override {
        DeckFixture::SetUp();
        loadTrack(0, gridTrack());
    }
};

TEST_F(DeckCue, AwayFromTheCueItMovesThePointAndOnItPreviews) {
    send(CommandType::SET_PLAYHEAD, 0, 48000);
    send(CommandType::CUE_DOWN);
    EXPECT_EQ(deck().mainCue, 48000u);
    EXPECT_EQ(state(), DeckState::READY);
    send(CommandType::CUE_UP);
    // Now on the point: cue down previews from it, cue up returns and pauses.
    send(CommandType::CUE_DOWN);
    EXPECT_EQ(state(), DeckState::PLAYING);
    EXPECT_TRUE(deck().preview);
    blocks(10);
    EXPECT_EQ(position(), 48000.0 + 11 * 256);
    send(CommandType::CUE_UP);
    EXPECT_EQ(state(), DeckState::PAUSED);
    EXPECT_FALSE(deck().preview);
    EXPECT_EQ(position(), 48000.0);
    // Five milliseconds from the point count as on it, and play does not end the preview.
    send(CommandType::SET_PLAYHEAD, 0, 48240);
    send(CommandType::CUE_DOWN);
    ASSERT_TRUE(deck().preview);
    send(CommandType::PLAY);
    blocks(4);
    send(CommandType::CUE_UP);
    EXPECT_EQ(state(), DeckState::PAUSED);
    EXPECT_EQ(position(), 48000.0);
    send(CommandType::SET_PLAYHEAD, 0, 48241);
    send(CommandType::CUE_DOWN);
    EXPECT_FALSE(deck().preview);
    EXPECT_EQ(deck().mainCue, 48241u);
}

class DeckHotCue : public DeckCue {};

TEST_F(DeckHotCue, SetJumpClearAndLoopCues) {
    // Unset cues and indices outside the eight slots are ignored.
    send(CommandType::SET_PLAYHEAD, 0, 1000);
    send(CommandType::JUMP_HOT_CUE, 0, 3);
    send(CommandType::JUMP_HOT_CUE, 0, 8);
    EXPECT_EQ(state(), DeckState::READY);
    EXPECT_EQ(position(), 1000.0);
    send(CommandType::SET_HOT_CUE, 0, 8);
    send(CommandType::SET_HOT_CUE, 0, -1);
    EXPECT_EQ(deck().hotCueMask, 0);
    send(CommandType::SET_HOT_CUE, 0, 7);
    EXPECT_EQ(deck().hotCueMask, 0x80);
    send(CommandType::CLEAR_HOT_CUE, 0, 7);
    EXPECT_EQ(deck().hotCueMask, 0);
    EXPECT_EQ(deck().hotCueSeconds[7], -1.0f);

    // Jumping on a paused deck starts playback from the cue.
    send(CommandType::SET_PLAYHEAD, 0, 10 * kBeat);
    send(CommandType::SET_HOT_CUE, 0, 5);
    EXPECT_FLOAT_EQ(deck().hotCueSeconds[5], 5.0f);
    send(CommandType::SET_PLAYHEAD, 0, 0);
    send(CommandType::JUMP_HOT_CUE, 0, 5);
    EXPECT_EQ(state(), DeckState::PLAYING);
    EXPECT_EQ(position(), 10 * kBeat + 256);

    // Set during a loop, the cue stores the loop; halving the loop moves the cue along.
    send(CommandType::PAUSE);
    send(CommandType::SET_PLAYHEAD, 0, 4 * kBeat);
    send(CommandType::BEAT_LOOP, 0, 2);
    send(CommandType::SET_HOT_CUE, 0, 1);
    send(CommandType::RELOOP_EXIT); // leave the loop
    EXPECT_FALSE(deck().looping);
    send(CommandType::SET_PLAYHEAD, 0, 20 * kBeat);
    send(CommandType::JUMP_HOT_CUE, 0, 1);
    EXPECT_TRUE(deck().looping);
    EXPECT_EQ(loopEdges(), std::make_pair(2.0f, 3.0f));
    send(CommandType::LOOP_HALVE);
    EXPECT_FLOAT_EQ(deck().loopOutSeconds, 2.5f);
    send(CommandType::CLEAR_HOT_CUE, 0, 1);
    send(CommandType::LOOP_DOUBLE);
    EXPECT_EQ(deck().hotCueSeconds[1], -1.0f);
}

class DeckLoop : public DeckCue {};

TEST_F(DeckLoop, OutBeforeInWaitsForTheInPointAndLoopsHaveAMinimumLengthWithOrWithoutAGrid) {
    send(CommandType::SET_PLAYHEAD, 0, 3 * kBeat);
    send(CommandType::LOOP_OUT);
    EXPECT_FALSE(deck().looping);
    EXPECT_EQ(deck().loopOutSeconds, -1.0f); // not shown while there is no in point
    send(CommandType::SET_PLAYHEAD, 0, 0);
    send(CommandType::LOOP_IN);
    EXPECT_FALSE(deck().looping);
    send(CommandType::SET_PLAYHEAD, 0, 3 * kBeat);
    send(CommandType::LOOP_OUT);
    EXPECT_TRUE(deck().looping);
    EXPECT_EQ(loopEdges(), std::make_pair(0.0f, 1.5f));

    // Never shorter than 1/32 beat: 750 frames at 120 BPM.
    send(CommandType::RELOOP_EXIT);
    send(CommandType::SET_PLAYHEAD, 0, 10000);
    send(CommandType::LOOP_IN);
    send(CommandType::SET_PLAYHEAD, 0, 10740);
    send(CommandType::LOOP_OUT);
    EXPECT_FALSE(deck().looping);
    send(CommandType::SET_PLAYHEAD, 0, 10760);
    send(CommandType::LOOP_OUT);
    EXPECT_TRUE(deck().looping);
    // A beat loop too short for the minimum is not set at all.
    send(CommandType::RELOOP_EXIT);
    send(CommandType::BEAT_LOOP, 0, 1.0 / 64);
    EXPECT_FALSE(deck().looping);

    // Without a grid the minimum is 5 ms and beats count at 120 BPM.
    loadTrack(1, test::makeTrack(test::noise(96000), kRate));
    send(CommandType::LOOP_IN, 1);
    send(CommandType::SET_PLAYHEAD, 1, 239);
    send(CommandType::LOOP_OUT, 1);
    EXPECT_FALSE(deck(1).looping);
    send(CommandType::SET_PLAYHEAD, 1, 240);
    send(CommandType::LOOP_OUT, 1);
    EXPECT_TRUE(deck(1).looping);
    send(CommandType::RELOOP_EXIT, 1);
    send(CommandType::SET_PLAYHEAD, 1, 0);
    send(CommandType::BEAT_LOOP, 1, 1);
    EXPECT_FLOAT_EQ(deck(1).loopOutSeconds, 0.5f);
}

TEST_F(DeckLoop, BeatLoopFourHalvesAndEightDoublesAnActiveLoop) {
    send(CommandType::BEAT_LOOP, 0, 4);
    EXPECT_FLOAT_EQ(deck().loopOutSeconds, 2.0f);
    send(CommandType::BEAT_LOOP, 0, 4);
    EXPECT_FLOAT_EQ(deck().loopOutSeconds, 1.0f);
    send(CommandType::BEAT_LOOP, 0, 8);
    EXPECT_FLOAT_EQ(deck().loopOutSeconds, 2.0f);
    // Any other size replaces the loop with one from the audible position.
    send(CommandType::SET_PLAYHEAD, 0, kBeat / 2);
    send(CommandType::BEAT_LOOP, 0, 2);
    EXPECT_EQ(loopEdges(), std::make_pair(0.25f, 1.25f));
}

TEST_F(DeckLoop, QuantisedBeatLoopStartsOnTheNextBeat) {
    send(CommandType::SET_QUANTISE, -1, 1);
    send(CommandType::SET_PLAYHEAD, 0, 2.5 * kBeat);
    send(CommandType::BEAT_LOOP, 0, 4);
    EXPECT_EQ(loopEdges(), std::make_pair(1.5f, 3.5f));
    EXPECT_EQ(position(), 3 * kBeat); // moved ahead to the loop start
}

TEST_F(DeckLoop, HalvingBehindThePlayheadKeepsItInsideTheLoop) {
    send(CommandType::BEAT_LOOP, 0, 4);
    send(CommandType::PLAY);
    blocks(300); // beat 3.2 of the loop
    send(CommandType::LOOP_HALVE);
    block();
    EXPECT_EQ(position(), std::fmod(303 * 256.0, 2 * kBeat)); // inside the new two-beat loop
}

TEST_F(DeckLoop, ReloopExitLeavesAndReturnsToTheLoopStart) {
    send(CommandType::BEAT_LOOP, 0, 2);
    send(CommandType::PLAY);
    send(CommandType::RELOOP_EXIT);
    EXPECT_FALSE(deck().looping);
    blocks(300);
    EXPECT_GT(position(), 2 * kBeat);
    send(CommandType::RELOOP_EXIT);
    EXPECT_TRUE(deck().looping);
    EXPECT_EQ(position(), 256.0);
}

TEST_F(DeckLoop, InAndOutOnAnActiveLoopToggleEdgeAdjust) {
    send(CommandType::SET_PLAYHEAD, 0, 4 * kBeat);
    send(CommandType::BEAT_LOOP, 0, 2);
    send(CommandType::LOOP_OUT);
    EXPECT_TRUE(deck().loopOutAdjust);
    send(CommandType::LOOP_ADJUST, 0, 15); // 0.2 s
    EXPECT_FLOAT_EQ(deck().loopOutSeconds, 3.2f);
    send(CommandType::LOOP_ADJUST, 0, -1000); // never shorter than the minimum
    EXPECT_NEAR(deck().loopOutSeconds, 2.0 + 750.0 / kRate, 1e-4);
    send(CommandType::LOOP_IN); // switches to the in edge
    EXPECT_TRUE(deck().loopInAdjust);
    EXPECT_FALSE(deck().loopOutAdjust);
    send(CommandType::LOOP_ADJUST, 0, -75);
    EXPECT_FLOAT_EQ(deck().loopInSeconds, 1.0f);
    send(CommandType::LOOP_IN); // same edge again: off
    EXPECT_FALSE(deck().loopInAdjust);
    send(CommandType::LOOP_ADJUST, 0, 10);
    EXPECT_FLOAT_EQ(deck().loopInSeconds, 1.0f);
}

TEST_F(DeckLoop, EdgeAdjustEndsAfterTenSecondsOfAudioAndTheJogMovesTheEdge) {
    send(CommandType::BEAT_LOOP, 0, 4);
    send(CommandType::LOOP_IN);
    ASSERT_TRUE(deck().loopInAdjust);
    blocks(1870); // 9.97 s
    EXPECT_TRUE(deck().loopInAdjust);
    blocks(5);
    EXPECT_FALSE(deck().loopInAdjust);
    // The jog moves the edge in adjust mode; the touch does not hold the playing deck.
    send(CommandType::PLAY);
    send(CommandType::LOOP_OUT);
    const double before = position();
    push(CommandType::JOG_TOUCH, 0, 1);
    send(CommandType::JOG, 0, -0.5);
    EXPECT_NEAR(deck().loopOutSeconds, (4 * kBeat - 128) / kRate, 1e-5);
    EXPECT_EQ(position(), before + 256);
}

class DeckBeatJump : public DeckCue {};

TEST_F(DeckBeatJump, MovesByBeatsStopsAtTheStartAndCarriesTheLoopInsideTheTrack) {
    send(CommandType::SET_PLAYHEAD, 0, 2 * kBeat);
    send(CommandType::BEAT_JUMP, 0, 16);
    EXPECT_EQ(position(), 18 * kBeat);
    send(CommandType::BEAT_JUMP, 0, -32);
    EXPECT_EQ(position(), 0.0);
    // An active loop travels with the playhead...
    send(CommandType::SET_PLAYHEAD, 0, 4 * kBeat);
    send(CommandType::BEAT_LOOP, 0, 4);
    send(CommandType::BEAT_JUMP, 0, 16);
    EXPECT_EQ(loopEdges(), std::make_pair(10.0f, 12.0f));
    EXPECT_EQ(position(), 20 * kBeat);
    EXPECT_TRUE(deck().looping);
    // ...and near the end the jump is cut so the loop stays inside the track.
    send(CommandType::RELOOP_EXIT);
    const double length = 60.0 * kRate;
    send(CommandType::SET_PLAYHEAD, 0, length - 8 * kBeat);
    send(CommandType::BEAT_LOOP, 0, 4);
    send(CommandType::BEAT_JUMP, 0, 16);
    EXPECT_FLOAT_EQ(deck().loopOutSeconds, 60.0f);
    EXPECT_FLOAT_EQ(deck().loopInSeconds, 58.0f);
    EXPECT_EQ(position(), length - 4 * kBeat);
}

TEST(DeckTakeover, AHeldRateIgnoresTheFaderUntilItComesCloseOrATrackLoads) {
    Deck d;
    d.prepare(kRate, 256, 0);
    Command load(CommandType::LOAD_TRACK, 0);
    load.track = test::makeTrack(test::noise(4800), kRate);
    d.apply(load);
    d.holdCurrentRate(); // rate 1.0 held
    d.apply(Command(CommandType::SET_RATE, 0, 1.2));
    EXPECT_EQ(d.userRate(), 1.0);
    d.apply(Command(CommandType::SET_RATE, 0, 1.004));
    EXPECT_EQ(d.userRate(), 1.004);
    d.apply(Command(CommandType::SET_RATE, 0, 1.2)); // taken over: follows freely
    EXPECT_EQ(d.rate(), 1.2);
    d.apply(Command(CommandType::SET_RATE, 0, 5.0));
    EXPECT_EQ(d.rate(), 4.0);

    // A sync rate overrides the fader and hands its tempo back when it ends.
    d.apply(Command(CommandType::SET_RATE, 0, 0.9));
    d.setSyncRate(1.05);
    EXPECT_EQ(d.rate(), 1.05);
    d.apply(Command(CommandType::SET_RATE, 0, 0.95)); // user rate moves, sync rate plays
    EXPECT_EQ(d.rate(), 1.05);
    d.holdCurrentRate();
    d.setSyncRate(0.0);
    EXPECT_EQ(d.rate(), 1.05);
    d.apply(Command(CommandType::SET_RATE, 0, 0.95));
    EXPECT_EQ(d.rate(), 1.05);
    load.track = test::makeTrack(test::noise(4800), kRate);
    EngineHost::destroyTrack(d.apply(load)); // a load ends the takeover and retires the first
    d.apply(Command(CommandType::SET_RATE, 0, 0.95));
    EXPECT_EQ(d.rate(), 0.95);
}

// Slip, reverse and the jog wheel.

class DeckSlip : public DeckCue {};

TEST_F(DeckSlip, ReleasingTheHeldHotCueReturnsWhereTheTrackWouldHaveBeen) {
    send(CommandType::SET_HOT_CUE, 0, 0); // at 0
    send(CommandType::SET_PLAYHEAD, 0, 10 * kBeat);
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    const double p0 = position();
    send(CommandType::JUMP_HOT_CUE, 0, 0);
    EXPECT_TRUE(deck().slipActive);
    EXPECT_EQ(position(), 256.0);
    send(CommandType::HOT_CUE_UP, 0, 1); // another cue's release does not return
    EXPECT_TRUE(deck().slipActive);
    EXPECT_EQ(position(), 512.0);
    blocks(49);
    EXPECT_FLOAT_EQ(deck().slipSeconds, static_cast<float>((p0 + 51 * 256) / kRate));
    send(CommandType::HOT_CUE_UP, 0, 0);
    EXPECT_EQ(state(), DeckState::PLAYING);
    EXPECT_FALSE(deck().slipActive);
    EXPECT_EQ(position(), p0 + 52 * 256);
}

TEST_F(DeckSlip, LeavingASlipLoopReturnsToTheShadow) {
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    send(CommandType::BEAT_LOOP, 0, 1); // loop from 256, shadow from 256
    blocks(200);
    EXPECT_LT(position(), 256.0 + kBeat);
    send(CommandType::RELOOP_EXIT);
    EXPECT_FALSE(deck().looping);
    EXPECT_EQ(position(), 203 * 256.0);
}

TEST_F(DeckSlip, PauseKeepsTheShadowRunningAndPlayReturnsToIt) {
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    blocks(9);
    const double p = position();
    send(CommandType::PAUSE);
    blocks(20);
    EXPECT_EQ(position(), p);
    EXPECT_TRUE(deck().slipActive);
    send(CommandType::PLAY);
    EXPECT_EQ(position(), p + 22 * 256);
    EXPECT_FALSE(deck().slipActive);
}

TEST_F(DeckSlip, ARepeatedSlipOnKeepsTheShadowAndSlipOffDropsItWithoutReturning) {
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    send(CommandType::JOG_TOUCH, 0, 1); // held: the shadow runs on
    blocks(10);
    const double held = position();
    const float shadow = deck().slipSeconds;
    send(CommandType::SET_SLIP, 0, 1);
    EXPECT_GT(deck().slipSeconds, shadow) << "still the running shadow, not a new one";
    send(CommandType::SET_SLIP, 0, 0);
    EXPECT_FALSE(deck().slipActive);
    EXPECT_EQ(deck().slipSeconds, -1.0f);
    send(CommandType::JOG_TOUCH, 0, 0);
    EXPECT_EQ(position(), held + 256);
}

TEST_F(DeckSlip, CueWhilePlayingCancelsTheShadow) {
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    send(CommandType::SET_REVERSE, 0, 1);
    EXPECT_TRUE(deck().slipActive);
    send(CommandType::CUE_DOWN); // jumps to the cue point and pauses, without a preview
    EXPECT_FALSE(deck().slipActive);
    EXPECT_EQ(state(), DeckState::PAUSED);
    EXPECT_EQ(position(), 0.0);
    EXPECT_FALSE(deck().preview);
}

class DeckReverse : public DeckSlip {};

TEST_F(DeckReverse, PlaysBackwardsAndRestsAtTheStart) {
    send(CommandType::SET_PLAYHEAD, 0, 2560);
    send(CommandType::PLAY);
    send(CommandType::SET_REVERSE, 0, 1);
    EXPECT_EQ(position(), 2560.0);
    blocks(5);
    EXPECT_EQ(position(), 2560.0 - 5 * 256);
    blocks(10);
    EXPECT_EQ(position(), 0.0);
    EXPECT_EQ(state(), DeckState::PLAYING);
    EXPECT_TRUE(deck().reverse);
}

TEST_F(DeckReverse, WithSlipTheTrackReturnsWhenReverseEnds) {
    send(CommandType::SET_PLAYHEAD, 0, 10 * kBeat);
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    send(CommandType::SET_REVERSE, 0, 1);
    blocks(10);
    EXPECT_EQ(position(), 10 * kBeat + 256 - 11 * 256);
    send(CommandType::SET_REVERSE, 0, 0);
    EXPECT_EQ(position(), 10 * kBeat + 13 * 256);
}

TEST_F(DeckReverse, SlipReverseWithoutSlipModeReturnsAtOnceAndEndsTheLoop) {
    send(CommandType::SET_PLAYHEAD, 0, 10 * kBeat);
    send(CommandType::PLAY);
    send(CommandType::SET_SLIP_REVERSE, 0, 1);
    EXPECT_TRUE(deck().slipActive);
    EXPECT_TRUE(deck().slipReverse);
    blocks(10);
    EXPECT_EQ(position(), 10 * kBeat + 256 - 11 * 256);
    send(CommandType::BEAT_LOOP, 0, 8);
    EXPECT_TRUE(deck().looping);
    send(CommandType::SET_SLIP_REVERSE, 0, 0);
    EXPECT_FALSE(deck().looping);
    EXPECT_FALSE(deck().slipActive);
    EXPECT_EQ(position(), 10 * kBeat + 14 * 256);
}

class DeckJog : public DeckSlip {};

TEST_F(DeckJog, TouchingAPlayingDeckHoldsItUntilTheTopMovesAndTheRingBendsItsSpeed) {
    send(CommandType::PLAY);
    send(CommandType::JOG_TOUCH, 0, 1);
    const double held = position();
    blocks(5);
    EXPECT_EQ(position(), held);
    EXPECT_EQ(test::peakLevel(master.data(), 512), 0.0f);
    EXPECT_TRUE(deck().jogging);
    // A touched top movement lasts 0.12 s (5760 frames): 23 blocks at half speed.
    send(CommandType::JOG, 0, 0.5);
    EXPECT_EQ(position(), held + 128);
    EXPECT_GT(test::peakLevel(master.data(), 256), 0.0f);
    blocks(30);
    EXPECT_EQ(position(), held + 23 * 128);
    EXPECT_EQ(state(), DeckState::PLAYING);
    send(CommandType::JOG_TOUCH, 0, 0);
    EXPECT_EQ(position(), held + 23 * 128 + 256);
    EXPECT_FALSE(deck().jogging);
    // The ring bends the playing speed for as long as a top movement, but not while touched.
    const double p = position();
    send(CommandType::JOG_RING, 0, 0.5);
    blocks(40);
    EXPECT_EQ(position(), p + 41 * 256 + 23 * 128);
    send(CommandType::JOG_TOUCH, 0, 1);
    const double touched = position();
    send(CommandType::JOG_RING, 0, 0.5);
    EXPECT_EQ(position(), touched);
}

TEST_F(DeckJog, AnUntouchedTopScrubsAPausedDeckBrieflyWithoutStartingIt) {
    send(CommandType::JOG, 0, -1.0);
    EXPECT_EQ(position(), 0.0); // backwards from the start: nothing to play
    send(CommandType::JOG, 0, 0.0);
    send(CommandType::SET_PLAYHEAD, 0, 10000);
    send(CommandType::JOG, 0, 2.0); // 0.04 s: 1920 frames, 8 blocks
    blocks(20);
    EXPECT_EQ(position(), 10000.0 + 8 * 512);
    EXPECT_EQ(state(), DeckState::READY);
    send(CommandType::JOG, 0, 9.0); // clamped to 4
    EXPECT_EQ(position(), 10000.0 + 8 * 512 + 1024);
    send(CommandType::JOG, 0, 0.0); // stops at once
    EXPECT_EQ(position(), 10000.0 + 8 * 512 + 1024);
}

} // namespace
} // namespace vyn
