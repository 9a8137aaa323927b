// A deck playing stems, measured on audio rendered through the engine host: the stem commands,
// gains ramping across every read, stems off bringing killed stems back, and REPLACE_TRACK
// installing a split copy while the deck plays.

#include "DeckFixture.h"

#include "audio/Int16Source.h"
#include "common/StemTracks.h"
#include "common/ToneMeasure.h"
#include "dsp/SpectralSeparator.h"

#include <cmath>

namespace vyn {
namespace {

using test::kRate;

constexpr float kUnit = 1000.0f / 32768.0f; // drums of levelStems(); bass 2, vocals 4, other 8

class DeckStems : public test::DeckFixture {
protected:
    // Milliseconds until the left channel has covered 63 % of the way from `from` to `to`.
    static double timeConstantMs(const std::vector<float>& out, float from, float to) {
        for (std::size_t i = 0; i < out.size() / 2; ++i)
            if ((out[2 * i] - from) / (to - from) >= 0.632f) return 1000.0 * i / kRate;
        return -1.0;
    }
    void playLevels() {
        loadTrack(0, test::makeStemTrack(test::levelStems(10 * 48000, kRate), 7));
        send(CommandType::SET_FADER, 0, 1.0);
        send(CommandType::PLAY);
    }
};

TEST_F(DeckStems, StemCommandsClampToTheGainRangeAndShowInTheSnapshot) {
    loadTrack(0, test::makeTrack(std::vector<float>(48000, 0.1f), kRate));
    EXPECT_EQ(deck().stemsAvailable, false) << "a plain track offers no stems";
    struct Case {
        CommandType type;
        double value;
        int stem;
        float stored;
    };
    for (const Case& c : {Case{CommandType::SET_STEM_VOCALS, 7.0, 2, 4.0f},
                          Case{CommandType::SET_STEM_VOCALS, -1.0, 2, 0.0f},
                          Case{CommandType::SET_STEM_DRUMS, 0.5, 0, 0.5f},
                          Case{CommandType::SET_STEM_OTHER, 2.5, 3, 2.5f}}) {
        send(c.type, 0, c.value);
        EXPECT_EQ(deck().stemGains[c.stem], c.stored) << c.value;
    }
    send(CommandType::SET_STEMS, 0, 1.0);
    EXPECT_TRUE(deck().stemsOn);
    EXPECT_EQ(deckFlags(deck()) & deck_flags::STEMS_ON, deck_flags::STEMS_ON);
    EXPECT_EQ(deckFlags(deck()) & deck_flags::STEMS_AVAIL, 0u);

    loadTrack(1, test::makeStemTrack(test::levelStems(4800, kRate)));
    EXPECT_TRUE(deck(1).stemsAvailable);
    EXPECT_EQ(deckFlags(deck(1)) & deck_flags::STEMS_AVAIL, deck_flags::STEMS_AVAIL);
}

TEST_F(DeckStems, AGainChangeRampsAcrossTheBlockAndSettlesInAbout15Ms) {
    playLevels();
    send(CommandType::SET_STEMS, 0, 1.0);
    render(4800);
    push(CommandType::SET_STEM_DRUMS, 0, 0.0);
    const std::vector<float> out = render(9600, 1024);
    // Within the first block the level falls frame by frame, not in one step.
    EXPECT_NEAR(out[0], 15 * kUnit, 0.01f * kUnit);
    EXPECT_LT(test::largestStep(out, 0), 0.005f * kUnit);
    EXPECT_NEAR(timeConstantMs(out, 15 * kUnit, 14 * kUnit), 15.0, 3.0);
    EXPECT_NEAR(out[out.size() - 2], 14 * kUnit, 1e-6f);
    EXPECT_NEAR(out.back(), -14 * kUnit, 1e-6f);
}

TEST_F(DeckStems, StemsOffBringsAKilledStemBackInAbout15Ms) {
    playLevels();
    send(CommandType::SET_STEM_BASS, 0, 0.0);
    send(CommandType::SET_STEMS, 0, 1.0);
    const std::vector<float> on = render(14400);
    EXPECT_NEAR(on[on.size() - 2], 13 * kUnit, 1e-6f);
    push(CommandType::SET_STEMS, 0, 0.0);
    const std::vector<float> off = render(14400);
    EXPECT_NEAR(timeConstantMs(off, 13 * kUnit, 15 * kUnit), 15.0, 3.0);
    EXPECT_EQ(off[off.size() - 2], 15 * kUnit) << "back to the plain sum";
    EXPECT_EQ(deck().stemGains[1], 0.0f) << "the gain itself is kept for the next stems on";
}

TEST_F(DeckStems, ReplaceTrackNeedsTheSameTrack) {
    loadTrack(0, test::makeTrack(std::vector<float>(48000, 0.1f), kRate, {}, 7));
    send(CommandType::PLAY);
    struct Case {
        const char* what;
        std::int64_t frames;
        double rate;
        int id;
    };
    for (const Case& c :
         {Case{"other length", 47999, kRate, 7}, Case{"other rate", 48000, 44100.0, 7},
          Case{"other track", 48000, kRate, 8}}) {
        Command replace(CommandType::REPLACE_TRACK, 0);
        replace.track = test::makeStemTrack(test::levelStems(c.frames, c.rate), c.id);
        engine->pushOwn(replace);
        block();
        EXPECT_FALSE(deck().stemsAvailable) << c.what;
        EXPECT_EQ(state(), DeckState::PLAYING) << c.what;
        EXPECT_EQ(retired(), std::vector<LoadedTrack*>{replace.track})
            << c.what << ": the refused copy goes back for release";
    }
}

TEST_F(DeckStems, SplitLandingMidPlayContinuesWithoutAStep) {
    constexpr std::int64_t kFrames = 4 * 48000;
    const std::vector<std::int16_t> pcm = test::kickAndTones(kFrames, kRate);
    StemSet stems;
    ASSERT_TRUE(SpectralSeparator().separate(pcm.data(), kFrames, kRate, stems, nullptr));
    // The music's own largest step from one sample to the next.
    float musicStep = 0.0f;
    for (std::size_t i = 2; i < pcm.size(); i += 2)
        musicStep =
            std::max(musicStep, static_cast<float>(std::abs(pcm[i] - pcm[i - 2])) / 32768.0f);

    for (bool killDrums : {false, true}) {
        auto* plain = new LoadedTrack;
        plain->id = 3;
        plain->source = std::make_shared<Int16Source>(DecodeResult{pcm, kRate, kFrames, true, {}});
        loadTrack(0, plain);
        send(CommandType::SET_FADER, 0, 1.0);
        // Stems switched on, and drums killed, while the split still runs.
        send(CommandType::SET_STEMS, 0, 1.0);
        if (killDrums) send(CommandType::SET_STEM_DRUMS, 0, 0.0);
        push(CommandType::PLAY, 0);
        std::vector<float> out = render(kFrames / 2 - 10000);
        const double before = position();
        Command replace(CommandType::REPLACE_TRACK, 0);
        replace.track = test::makeStemTrack(stems, 3);
        engine->pushOwn(replace);
        const std::vector<float> after = render(24000);
        out.insert(out.end(), after.begin(), after.end());
        EXPECT_TRUE(deck().stemsAvailable);
        EXPECT_EQ(retired().back(), plain) << "the unsplit original retires";
        EXPECT_NEAR(position(), before + 24000, 1e-6) << "no jump";
        EXPECT_LE(test::largestStep(out, 0), musicStep)
            << (killDrums ? "drums fading out" : "all stems");
        if (!killDrums) {
            // With every stem at 1 the stems play the original exactly.
            for (std::size_t i = 0; i < out.size(); ++i)
                ASSERT_EQ(out[i], pcm[i] / 32768.0f) << i;
        }
        send(CommandType::SET_STEM_DRUMS, 0, 1.0);
    }
}

} // namespace
} // namespace vyn
