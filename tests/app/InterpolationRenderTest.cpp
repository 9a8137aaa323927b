// How clean the varispeed reader plays, measured on what `vyn-tool render` writes: sine tones in
// 16-bit files at 44.1 kHz (made by sox), each on its own deck of a 16-channel render (deck n on
// channels 2n+1/2n+2) on the 48 kHz engine, linear and band-limited. What the reader removes when
// it decimates is BandLimitedRead's.

#include "common/RenderedSets.h"
#include "common/StretchMeasure.h"
#include "common/WavFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace vyn {
namespace {

constexpr double kTones[] = {1000.0, 3000.0, 6000.0, 12000.0, 16000.0};
// The steady second measured: from 0.4 s, well after PLAY at 0.1 s.
constexpr std::size_t kFrom = 19200;
constexpr std::size_t kFrames = 48000;

// Plays each tone on its own deck at `rate` and renders 1.5 s with `options` added to the command
// line.
test::WavContents render(double rate, const std::string& options) {
    const std::string dir = test::scratchDir("interpolation-render");
    SetReplay replay;
    auto add = [&replay](std::int64_t frame, CommandType type, int deck, double value = 0.0,
                         std::string path = {}) {
        replay.events.push_back(test::setCommand(frame, type, deck, value, std::move(path)));
    };
    for (int d = 0; d < 5; ++d) {
        const std::string file = dir + "/" + std::to_string(d) + ".wav";
        const std::string sox = "sox -D -n -r 44100 -b 16 -c 2 '" + file + "' synth 3 sine " +
                                std::to_string(kTones[d]) + " vol 0.5";
        EXPECT_EQ(test::runProcess(sox).exitCode, 0) << sox;
        add(0, CommandType::LOAD_TRACK, d, 0.0, file);
        add(0, CommandType::SET_RATE, d, rate);
        add(4800, CommandType::PLAY, d);
    }
    const auto p = test::runTool("render --channels 16 --seconds 1.5 " + options + " " +
                                 test::writeSet(dir, replay) + " " + dir + "/out.wav");
    EXPECT_EQ(p.exitCode, 0) << p.err;
    test::WavContents wav = test::readWav(dir + "/out.wav");
    if (wav.channels != 16 || wav.frames() < kFrom + kFrames) {
        ADD_FAILURE() << "no 16-channel render";
        wav.channels = 16;
        wav.samples.assign(16 * (kFrom + kFrames), 0.0f);
    }
    return wav;
}

// The left channel of deck `deck`'s pair over the steady second.
const float* steady(const test::WavContents& wav, int deck) {
    return wav.samples.data() + kFrom * 16 + 2 * deck;
}

// Energy away from the tone deck `deck` plays at `hz`.
double awayFromTone(const test::WavContents& wav, int deck, double hz) {
    return test::offPartialDb(test::stretchSpectrum(steady(wav, deck), kFrames, 16, 0, 48000.0),
                              {hz});
}

// Across the pitch range and at every speed the reader's own tests hold it; here the option reaches
// every deck of a render of real files, and linear stays the default.
TEST(InterpolationRender, TheOptionSwitchesEveryDeckToBandLimited) {
    const double linear[] = {-62.0, -43.0, -31.0, -16.0, -9.0}; // as linear always read at 1.04
    const test::WavContents byDefault = render(1.04, "");
    const test::WavContents bandLimited = render(1.04, "--interpolation 1");
    for (int d = 0; d < 5; ++d) {
        const double hz = kTones[d] * 1.04; // the pitch follows the rate
        EXPECT_NEAR(awayFromTone(byDefault, d, hz), linear[d], 2.0) << kTones[d];
        EXPECT_LE(awayFromTone(bandLimited, d, hz), kTones[d] <= 12000.0 ? -80.0 : -60.0)
            << kTones[d];
    }
}

} // namespace
} // namespace vyn
