// The mixer path through the engine's render block: channel strip, filter, master gain and
// limiter, headphone cue bus and the FX unit, measured on the rendered master.

#include "common/EngineFixture.h"
#include "common/TestTracks.h"

#include <cmath>

namespace vyn {
namespace {

class MixerRender : public test::EngineFixture {
protected:
    // Peak of the master's left channel over `blocks` blocks of 256 frames.
    float masterPeak(int blocks) {
        float peak = 0.0f;
        for (int b = 0; b < blocks; ++b) {
            block(256);
            for (int f = 0; f < 256; ++f)
                peak = std::max(peak, std::fabs(master[2 * f]));
        }
        return peak;
    }
    void playTone(int deck, double hz, float amp = 0.5f) {
        load(deck, test::makeTrack(test::sineWave(hz, 48000.0, 48000 * 20, amp), 48000.0));
        push(CommandType::PLAY, deck);
    }
};

TEST_F(MixerRender, FaderAndTrimScaleTheDeck) {
    playTone(0, 1000.0);
    EXPECT_NEAR(masterPeak(20), 0.5f, 0.01f);
    push(CommandType::SET_TRIM, 0, 0.5);
    masterPeak(20); // let the 10 ms glide settle
    EXPECT_NEAR(masterPeak(20), 0.25f, 0.01f);
    push(CommandType::SET_FADER, 0, 0.0);
    masterPeak(60); // the glide falls below the snap window after about 150 ms
    EXPECT_EQ(masterPeak(20), 0.0f);
    EXPECT_EQ(snapshot().decks[0].peakLeft, 0.0f);
}

TEST_F(MixerRender, FilterKnobHighPassesTheDeck) {
    playTone(0, 80.0);
    push(CommandType::SET_FILTER, 0, 1.0);
    masterPeak(20);
    EXPECT_LT(masterPeak(40), 0.05f);
    EXPECT_FLOAT_EQ(snapshot().decks[0].filter, 1.0f);
}

TEST_F(MixerRender, LimiterHoldsTheMasterBelowFullScale) {
    playTone(0, 200.0, 0.9f);
    playTone(1, 300.0, 0.9f);
    push(CommandType::SET_MASTER_GAIN, -1, 2.0);
    masterPeak(40);
    EXPECT_LE(masterPeak(100), 1.0f);
    const EngineSnapshot s = snapshot();
    EXPECT_LT(s.limiterGain, 0.6f);
    EXPECT_GT(s.masterPeak, 1.5f);
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
