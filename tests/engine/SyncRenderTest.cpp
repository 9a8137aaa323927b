// The engine's own render, block by block: sync and quantise, and the mixer path (channel strip,
// filter, master gain and limiter, the FX unit) measured on the master.

#include "DeckFixture.h"
#include "common/ToneMeasure.h"

#include <cmath>

namespace vyn {
namespace {

using test::kBeat;
using test::kRate;

// A silent track with a constant-tempo grid from `firstBeat` seconds: sync reads only the grid.
LoadedTrack* gridded(double bpm, double seconds, double firstBeat = 0.0) {
    const int beats = static_cast<int>((seconds - firstBeat) * bpm / 60.0) + 1;
    return test::makeTrack(std::vector<float>(static_cast<std::size_t>(seconds * kRate), 0.0f),
                           kRate, test::constantGrid(bpm, firstBeat, beats));
}

double wrappedBeatDifference(double a, double b) {
    double d = a - b;
    d -= std::round(d);
    return d;
}

using SyncRender = test::DeckFixture;

TEST_F(SyncRender, FollowerStaysPhaseLockedForAMinuteAndHoldsItsTempoWhenSyncEnds) {
    load(0, gridded(120.0, 90.0));
    load(1, gridded(126.0, 90.0, 0.2));
    push(CommandType::SET_SYNC, 1, 1);
    push(CommandType::PLAY, 0);
    block();
    push(CommandType::SET_PLAYHEAD, 1, 0.37 * kRate); // start it out of phase
    push(CommandType::PLAY, 1);
    block();
    double worst = 0.0;
    for (int b = 0; b < static_cast<int>(60.0 * kRate / 256); ++b) {
        block(256);
        const EngineSnapshot snap = snapshot();
        ASSERT_EQ(snap.masterDeck, 0);
        if (b > 2)
            worst = std::max(
                worst, std::fabs(wrappedBeatDifference(snap.decks[0].beat, snap.decks[1].beat)));
    }
    EXPECT_LT(worst, 0.01);
    const EngineSnapshot snap = snapshot();
    EXPECT_NEAR(snap.decks[1].rate, 120.0 / 126.0, 0.0021);
    EXPECT_NEAR(snap.masterBpm, 120.0f, 1e-3);
    EXPECT_TRUE(snap.decks[0].isMaster);
    EXPECT_TRUE(snap.decks[1].sync);

    // Sync off keeps the synced tempo; a fader far from it is ignored.
    push(CommandType::SET_SYNC, 1, 0);
    push(CommandType::SET_RATE, 1, 1.0);
    block();
    EXPECT_NEAR(deck(1).rate, snap.decks[1].rate, 1e-9);
    // A chosen master keeps the role while paused, until the choice is withdrawn.
    push(CommandType::PAUSE, 1);
    push(CommandType::SET_SYNC_MASTER, 1);
    block();
    EXPECT_EQ(snapshot().masterDeck, 1);
    push(CommandType::SET_SYNC_MASTER, -1);
    block();
    EXPECT_EQ(snapshot().masterDeck, 0);
}

TEST_F(SyncRender, APausedMasterHoldsNoQuantisedCommand) {
    for (int d = 0; d < 3; ++d)
        load(d, gridded(120.0, 30.0));
    push(CommandType::PLAY, 0);
    blocks(10);
    push(CommandType::PAUSE, 0);
    push(CommandType::SET_QUANTISE, -1, 1);
    block();
    ASSERT_EQ(snapshot().masterDeck, 0);
    push(CommandType::PLAY, 1); // the paused master's beat never advances: start at once
    block();
    EXPECT_EQ(state(1), DeckState::PLAYING);

    block(); // deck 1 now plays and leads
    ASSERT_EQ(snapshot().masterDeck, 1);
    push(CommandType::PLAY, 2);
    block();
    EXPECT_NE(state(2), DeckState::PLAYING) << "parked for the playing master's next beat";
    push(CommandType::PAUSE, 1); // the master stops before that beat: the start goes ahead
    block();
    EXPECT_EQ(state(2), DeckState::PLAYING);
}

TEST_F(SyncRender, ParkedJumpRealignsASyncedFollower) {
    load(0, gridded(120.0, 30.0));
    load(1, gridded(120.0, 30.0));
    push(CommandType::SET_PLAYHEAD, 1, 0.3 * kBeat); // hot cue 0 sits 0.3 beat off the grid
    push(CommandType::SET_HOT_CUE, 1, 0);
    push(CommandType::SET_PLAYHEAD, 1, 0.0);
    push(CommandType::SET_SYNC, 1, 1);
    push(CommandType::PLAY, 0);
    push(CommandType::PLAY, 1);
    block();
    push(CommandType::SET_QUANTISE, -1, 1);
    push(CommandType::JUMP_HOT_CUE, 1, 0);
    blocks(100); // past the master's next beat (94 blocks away)
    const EngineSnapshot snap = snapshot();
    EXPECT_LT(std::fabs(wrappedBeatDifference(snap.decks[0].beat, snap.decks[1].beat)), 0.01);
    EXPECT_LT(snap.decks[1].position, 12000.0) << "the jump fired and was lined up";
}

class Deferral : public test::DeckFixture {
protected:
    void SetUp() override {
        DeckFixture::SetUp();
        load(1, gridTrack());
        push(CommandType::SET_QUANTISE, -1, 1);
        block();
        applied();
    }
    static constexpr DeckState kPlaying = DeckState::PLAYING;
};

TEST_F(Deferral, PlayWaitsForTheMastersNextWholeBeat) {
    engine->overrideMaster(0, 3.2, 120.0);
    push(CommandType::PLAY, 1);
    block();
    EXPECT_NE(state(1), kPlaying);
    EXPECT_TRUE(applied().empty());
    engine->overrideMaster(0, 3.99, 120.0);
    block();
    EXPECT_NE(state(1), kPlaying);
    engine->overrideMaster(0, 4.0, 120.0);
    block();
    EXPECT_EQ(state(1), kPlaying);
    const auto a = applied();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].commandType(), CommandType::PLAY);
    EXPECT_EQ(position(1), 256.0); // started at 0, then played one block
}

TEST_F(Deferral, LateFiringJumpsTheDeckByTheLateness) {
    engine->overrideMaster(0, 7.5, 120.0);
    push(CommandType::PLAY, 1);
    block();
    engine->overrideMaster(0, 8.25, 120.0); // fired a quarter beat late
    block();
    EXPECT_EQ(state(1), kPlaying);
    EXPECT_NEAR(position(1), kBeat / 4 + 256.0, 1e-6); // jump, then one block
}

TEST_F(Deferral, FiresAtOnceWhenThereIsNothingToWaitFor) {
    struct Case {
        const char* why;
        int master;
        double quantise;
    };
    for (const Case& c :
         {Case{"no master", -1, 1}, Case{"the master itself", 1, 1}, Case{"quantise off", 0, 0}}) {
        engine->overrideMaster(c.master, 2.5, 120.0);
        push(CommandType::SET_QUANTISE, -1, c.quantise);
        push(CommandType::PLAY, 1);
        block();
        EXPECT_EQ(state(1), kPlaying) << c.why;
        push(CommandType::PAUSE, 1);
    }
    push(CommandType::SET_QUANTISE, -1, 1);
    push(CommandType::PLAY, 1);
    block();
    EXPECT_NE(state(1), kPlaying);
    engine->overrideMaster(-1, 0.0, 0.0);
    block();
    EXPECT_EQ(state(1), kPlaying) << "the master went away";
}

TEST_F(Deferral, SeventeenthParkedCommandAppliesAtOnce) {
    engine->overrideMaster(0, 0.5, 120.0);
    for (int i = 0; i < 16; ++i)
        push(CommandType::BEAT_JUMP, 1, 1);
    push(CommandType::PLAY, 1);
    block();
    const auto a = applied();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].commandType(), CommandType::PLAY);
    EXPECT_EQ(state(1), kPlaying);
    engine->overrideMaster(0, 1.0, 120.0);
    block();
    EXPECT_EQ(applied().size(), 16u);
}

TEST_F(Deferral, SwapCarriesParkedCommandsWithTheirDeck) {
    engine->overrideMaster(0, 0.5, 120.0);
    push(CommandType::PLAY, 1);
    block();
    push(CommandType::SWAP_DECKS, 1, 2);
    block();
    engine->overrideMaster(0, 1.0, 120.0);
    block();
    EXPECT_EQ(std::pair(state(1), state(2)), std::pair(DeckState::EMPTY, kPlaying));
}

TEST_F(Deferral, ReleaseBeforeTheParkedJumpFiresFollowsIt) {
    // Slip on, playing from 10 s; a quick tap of hot cue 0 (set at 1 s) while the jump waits.
    push(CommandType::SET_PLAYHEAD, 1, 48000.0);
    push(CommandType::SET_HOT_CUE, 1, 0);
    push(CommandType::SET_PLAYHEAD, 1, 480000.0);
    push(CommandType::SET_SLIP, 1, 1);
    push(CommandType::PLAY, 1);
    block();
    engine->overrideMaster(0, 0.5, 120.0);
    push(CommandType::JUMP_HOT_CUE, 1, 0);
    block();
    push(CommandType::HOT_CUE_UP, 1, 0);
    block();
    engine->overrideMaster(0, 1.0, 120.0);
    block();
    const DeckSnapshot d = deck(1);
    EXPECT_EQ(state(1), kPlaying);
    EXPECT_FALSE(d.slipActive) << "the release must end the slip jump";
    EXPECT_NEAR(d.position, 480000.0 + 4 * 256.0, 1.0) << "back where the track would be";
    const auto a = applied();
    ASSERT_GE(a.size(), 2u);
    EXPECT_EQ(a[a.size() - 2].commandType(), CommandType::JUMP_HOT_CUE);
    EXPECT_EQ(a.back().commandType(), CommandType::HOT_CUE_UP);
}

// The mixer path through the engine's render block: channel strip, filter, master gain and
// limiter, headphone cue bus and the FX unit, measured on the rendered master.

class MixerRender : public test::EngineFixture {
protected:
    // Peak of the master over `blocks` blocks of 256 frames.
    float masterPeak(int blocks) {
        return test::peakOf(render(256 * static_cast<std::size_t>(blocks)), 0, 256 * blocks);
    }
    void playTone(int deck, double hz, float amp = 0.5f) {
        load(deck, test::makeTrack(test::sineWave(hz, 48000.0, 48000 * 20, amp), 48000.0));
        push(CommandType::PLAY, deck);
    }
};

// Trim, fader and master gain reaching the mix: ReprepareAtANewRateKeepsTheMixSettings.
TEST_F(MixerRender, TheFilterAndTheLimiterShapeTheMaster) {
    playTone(0, 80.0);
    EXPECT_NEAR(masterPeak(20), 0.5f, 0.01f);
    push(CommandType::SET_FILTER, 0, 1.0);
    masterPeak(20);
    EXPECT_LT(masterPeak(40), 0.05f);
    EXPECT_FLOAT_EQ(snapshot().decks[0].filter, 1.0f);
    // A master driven past full scale is held below it.
    push(CommandType::SET_FILTER, 0, 0.0);
    playTone(1, 300.0, 0.9f);
    push(CommandType::SET_MASTER_GAIN, -1, 2.0);
    masterPeak(40);
    EXPECT_LE(masterPeak(100), 1.0f);
    EXPECT_LT(snapshot().limiterGain, 0.6f);
    EXPECT_GT(snapshot().masterPeak, 1.5f);
}

TEST_F(MixerRender, EchoOnTheMasterRingsOnAfterTheDeckStops) {
    playTone(0, 440.0);
    push(CommandType::SET_FX_TYPE, -1, 2); // echo
    push(CommandType::SET_FX_MIX, -1, 1.0);
    push(CommandType::SET_FX_PARAM, -1, 0.5);
    push(CommandType::SET_FX_RESONANCE, -1, 0.5);
    push(CommandType::SET_FX_TARGET, -1, -1);
    masterPeak(200);
    push(CommandType::PAUSE, 0);
    block(256);
    EXPECT_GT(masterPeak(100), 0.05f) << "the echo tail keeps sounding";
    push(CommandType::CLEAR_FX_TARGET, -1);
    masterPeak(2);
    EXPECT_EQ(masterPeak(10), 0.0f) << "clearing the target cuts the tail";
    const EngineSnapshot s = snapshot();
    EXPECT_EQ(s.fxTarget, -2);
    EXPECT_EQ(s.fxType, 2u);
}

TEST_F(MixerRender, ReprepareAtANewRateKeepsTheMixSettings) {
    playTone(0, 1000.0);
    playTone(1, 1000.0);
    push(CommandType::SET_TRIM, 0, 0.5);
    push(CommandType::SET_FADER, 1, 0.0);
    push(CommandType::SET_MASTER_GAIN, -1, 0.5);
    masterPeak(60);
    engine->prepare(44100.0, 2048); // the device reopened at another rate
    block(256);
    const EngineSnapshot s = snapshot();
    EXPECT_NEAR(s.decks[0].peakLeft, 0.25f, 0.01f) << "trim kept, without a glide from 1";
    EXPECT_EQ(s.decks[1].peakLeft, 0.0f) << "a closed fader stays closed";
    EXPECT_NEAR(s.masterPeak, 0.125f, 0.01f);
}

} // namespace
} // namespace vyn
