// How clean the varispeed reader plays, measured on what `vyn-tool render` writes: sine tones in
// 16-bit files at 44.1 and 48 kHz, each on its own deck of a 16-channel render (deck n on channels
// 2n+1/2n+2) on the 48 kHz engine, with --interpolation 0 (linear) and 1 (band-limited).

#include "audio/WavFileWriter.h"
#include "common/FloatWav.h"
#include "common/SpectralPurity.h"
#include "common/TestPaths.h"
#include "engine/Command.h"
#include "engine/SetReplay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace vyn {
namespace {

constexpr double kEngineRate = 48000.0;
constexpr double kToneSeconds = 3.0;
constexpr double kTones[] = {1000.0, 3000.0, 6000.0, 12000.0, 16000.0};

// The steady second measured: from 0.4 s, well after PLAY at 0.1 s.
constexpr std::size_t kMeasureFrom = 19200;
constexpr std::size_t kMeasureFrames = 48000;

std::string toneFile(const std::string& dir, double hz, double rate) {
    char name[64];
    std::snprintf(name, sizeof name, "/tone-%.0f-%.0f.wav", hz, rate);
    const std::string path = dir + name;
    if (std::ifstream(path)) return path;
    WavFileWriter wav;
    wav.open(path, WavFileWriter::Format::Pcm16, 2, static_cast<std::uint32_t>(rate));
    const auto frames = static_cast<std::size_t>(kToneSeconds * rate);
    std::vector<std::int16_t> pcm(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double v = 0.5 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(std::lround(v * 32767.0));
    }
    EXPECT_TRUE(wav.writeInt16(pcm.data(), frames) && wav.finish()) << wav.error();
    return path;
}

struct DeckPlay {
    double hz;
    double sourceRate;
    double rate;
    bool reverse = false;
};

class InterpolationRender : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dir_ = test::scratchDir("interpolation-render"); }

    // Plays each entry on its own deck from PLAY at 0.1 s (reversed ones from the end of the tone)
    // and renders 1.5 s with --interpolation `interpolation` (none when negative); returns the
    // 16-channel result.
    static test::FloatWav render(const std::vector<DeckPlay>& decks, int interpolation) {
        SetReplay replay;
        replay.sampleRate = kEngineRate;
        auto add = [&replay](std::int64_t frame, CommandType type, int deck, double value = 0.0) {
            ReplayEvent e;
            e.frame = frame;
            e.command = static_cast<int>(type);
            e.deck = deck;
            e.value = value;
            replay.events.push_back(e);
            return &replay.events.back();
        };
        for (int d = 0; d < static_cast<int>(decks.size()); ++d) {
            const DeckPlay& p = decks[static_cast<std::size_t>(d)];
            add(0, CommandType::LOAD_TRACK, d)->path = toneFile(dir_, p.hz, p.sourceRate);
            add(0, CommandType::SET_RATE, d, p.rate);
            if (p.reverse) {
                add(0, CommandType::SET_PLAYHEAD, d, (kToneSeconds - 0.2) * p.sourceRate);
                add(0, CommandType::SET_REVERSE, d, 1);
            }
        }
        for (int d = 0; d < static_cast<int>(decks.size()); ++d)
            add(4800, CommandType::PLAY, d);
        const std::string set = dir_ + "/set.vynset";
        std::ofstream(set) << writeSetReplay(replay);
        const std::string out = dir_ + "/out.wav";
        const std::string option =
            interpolation < 0 ? "" : " --interpolation " + std::to_string(interpolation);
        const auto p = test::runProcess(test::builtExecutable("vyn-tool") +
                                        " render --channels 16 --seconds 1.5" + option + " " + set +
                                        " " + out);
        EXPECT_EQ(p.exitCode, 0) << p.err;
        test::FloatWav wav = test::readFloatWav(out);
        EXPECT_EQ(wav.channels, 16);
        EXPECT_GE(wav.frames(), kMeasureFrom + kMeasureFrames);
        return wav;
    }
    static const float* steady(const test::FloatWav& wav, int deck) {
        return wav.samples.data() + kMeasureFrom * 16 + 2 * deck;
    }
    // Energy away from the tone deck `deck` should sound (its pitch follows the rate).
    static double away(const test::FloatWav& wav, int deck, double hz) {
        if (wav.frames() < kMeasureFrom + kMeasureFrames) return 0.0;
        return test::energyAwayFromToneDb(steady(wav, deck), kMeasureFrames, 16, 0, kEngineRate,
                                          hz);
    }

    static std::string dir_;
};

std::string InterpolationRender::dir_;

TEST_F(InterpolationRender, BandLimitedKeepsEveryToneCleanAcrossThePitchRange) {
    for (double rate : {0.92, 1.0, 1.04, 1.08}) {
        std::vector<DeckPlay> decks;
        for (double hz : kTones)
            decks.push_back({hz, 44100.0, rate});
        const test::FloatWav wav = render(decks, 1);
        std::printf("rate %.2f:", rate);
        for (int d = 0; d < 5; ++d) {
            const double db = away(wav, d, kTones[d] * rate);
            std::printf("  %.0f Hz %.1f dB", kTones[d], db);
            EXPECT_LE(db, kTones[d] <= 12000.0 ? -80.0 : -60.0) << kTones[d] << " Hz at " << rate;
        }
        std::printf("\n");
    }
}

TEST_F(InterpolationRender, LinearIsStillTheDefaultAndKeepsItsImages) {
    // The figures linear interpolation has always given at rate 1.04; a render without the option
    // must give them too.
    const double expected[] = {-62.0, -43.0, -31.0, -16.0, -9.0};
    std::vector<DeckPlay> decks;
    for (double hz : kTones)
        decks.push_back({hz, 44100.0, 1.04});
    const test::FloatWav wav = render(decks, -1);
    for (int d = 0; d < 5; ++d)
        EXPECT_NEAR(away(wav, d, kTones[d] * 1.04), expected[d], 2.0) << kTones[d];
}

TEST_F(InterpolationRender, DecimationLeavesNoAliasBelowTwentyKilohertz) {
    // A 15 kHz tone at rate 1.5 sounds at 22.5 kHz; anything below 20 kHz has folded back.
    const std::vector<DeckPlay> decks = {{15000.0, 44100.0, 1.5, false},
                                         {15000.0, 44100.0, 1.5, true},
                                         {15000.0, 48000.0, 1.5, false},
                                         {15000.0, 48000.0, 1.5, true}};
    auto aliased = [](const test::FloatWav& wav, int deck) {
        return test::bandEnergyDb(steady(wav, deck), 4096, 16, 0, kEngineRate, 20.0, 20000.0);
    };
    const test::FloatWav bandLimited = render(decks, 1);
    for (int d = 0; d < 4; ++d)
        EXPECT_LE(aliased(bandLimited, d), -60.0) << d;
    const test::FloatWav linear = render(decks, 0);
    for (int d = 0; d < 4; ++d)
        EXPECT_GT(aliased(linear, d), -40.0) << d;
}

TEST_F(InterpolationRender, RejectsAnUnknownInterpolation) {
    const auto p = test::runProcess(test::builtExecutable("vyn-tool") +
                                    " render --interpolation 2 set.vynset out.wav");
    EXPECT_EQ(p.exitCode, 2);
    EXPECT_NE(p.err.find("--interpolation needs a whole number from 0 to 1"), std::string::npos)
        << p.err;
}

} // namespace
} // namespace vyn
