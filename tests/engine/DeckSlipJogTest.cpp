// Slip, reverse and the jog wheel.

#include "DeckFixture.h"

#include "common/ToneMeasure.h"

namespace vyn {
namespace {

using test::kBeat;
using test::kRate;

class DeckSlip : public test::DeckFixture {
protected:
    void SetUp() override {
        DeckFixture::SetUp();
        loadTrack(0, gridTrack());
    }
};

TEST_F(DeckSlip, ReleasingAHeldHotCueReturnsWhereTheTrackWouldHaveBeen) {
    send(CommandType::SET_HOT_CUE, 0, 0); // at 0
    send(CommandType::SET_PLAYHEAD, 0, 10 * kBeat);
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    const double p0 = position();
    send(CommandType::JUMP_HOT_CUE, 0, 0);
    EXPECT_TRUE(deck().slipActive);
    EXPECT_EQ(position(), 256.0);
    blocks(50);
    EXPECT_FLOAT_EQ(deck().slipSeconds, static_cast<float>((p0 + 51 * 256) / kRate));
    send(CommandType::HOT_CUE_UP, 0, 0);
    EXPECT_EQ(state(), DeckState::PLAYING);
    EXPECT_FALSE(deck().slipActive);
    EXPECT_EQ(position(), p0 + 52 * 256);
}

TEST_F(DeckSlip, ReleasingAnotherHotCueDoesNotReturn) {
    send(CommandType::SET_HOT_CUE, 0, 0);
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    send(CommandType::JUMP_HOT_CUE, 0, 0);
    send(CommandType::HOT_CUE_UP, 0, 1);
    EXPECT_TRUE(deck().slipActive);
    EXPECT_EQ(position(), 512.0);
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

TEST_F(DeckSlip, TurningSlipOffDropsTheShadowWithoutReturning) {
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    send(CommandType::JOG_TOUCH, 0, 1); // held: the shadow runs on
    blocks(10);
    const double held = position();
    send(CommandType::SET_SLIP, 0, 0);
    EXPECT_FALSE(deck().slipActive);
    EXPECT_EQ(deck().slipSeconds, -1.0f);
    send(CommandType::JOG_TOUCH, 0, 0);
    EXPECT_EQ(position(), held + 256);
}

TEST_F(DeckSlip, ARepeatedSlipOnKeepsTheRunningShadow) {
    send(CommandType::SET_SLIP, 0, 1);
    send(CommandType::PLAY);
    send(CommandType::JOG_TOUCH, 0, 1);
    blocks(10);
    const float shadow = deck().slipSeconds;
    send(CommandType::SET_SLIP, 0, 1);
    EXPECT_GT(deck().slipSeconds, shadow);
    send(CommandType::JOG_TOUCH, 0, 0);
    EXPECT_EQ(position(), 14 * 256.0);
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

// ---------------------------------------------------------------------------------------------

class DeckJog : public DeckSlip {};

TEST_F(DeckJog, TouchingAPlayingDeckHoldsItUntilTheTopMoves) {
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

TEST_F(DeckJog, TheRingBendsThePlayingSpeedButNotWhileTouched) {
    send(CommandType::PLAY);
    const double p = position();
    send(CommandType::JOG_RING, 0, 0.5);
    blocks(40);
    EXPECT_EQ(position(), p + 41 * 256 + 23 * 128);
    send(CommandType::JOG_TOUCH, 0, 1);
    const double held = position();
    send(CommandType::JOG_RING, 0, 0.5);
    EXPECT_EQ(position(), held);
}

} // namespace
} // namespace vyn
