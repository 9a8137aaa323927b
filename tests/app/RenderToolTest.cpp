// vyn-tool render, run as a process: command log in, WAV out; its options, and the headphone cue
// on a four-channel device (the cued deck alone on channels 3/4, the master on 1/2).

#include "common/RenderedSets.h"
#include "common/ToneMeasure.h"
#include "common/WavFiles.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace vyn {
namespace {

using test::runTool;
using test::setCommand;
using test::writeSet;

// Renders `set` with `options` and returns the samples of the float WAV written.
std::vector<float> render(const std::string& dir, const SetReplay& set,
                          const std::string& options) {
    const auto p = runTool("render " + options + " " + writeSet(dir, set) + " " + dir + "/out.wav");
    EXPECT_EQ(p.exitCode, 0) << options << ": " << p.err;
    return test::readWav(dir + "/out.wav").samples;
}

TEST(RenderTool, RendersTheRequestedLengthAsFloatWav) {
    const std::string dir = test::scratchDir("render-length");
    SetReplay r;
    r.events = {setCommand(100, CommandType::SET_MASTER_GAIN, -1, 0.5)};
    const auto p = runTool("render --rate 44100 --channels 8 --seconds 1.5 " + writeSet(dir, r) +
                           " " + dir + "/out.wav");
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_NE(p.err.find("rendered 1.500 s (66150 frames, 1 commands)"), std::string::npos)
        << p.err;
    const test::WavContents w = test::readWav(dir + "/out.wav");
    EXPECT_EQ(std::tie(w.format, w.channels, w.rate, w.bits, w.dataBytes),
              std::make_tuple(3, 8, 44100u, 32, 66150u * 8u * 4u))
        << "32-bit float";
    EXPECT_FALSE(fileExists(dir + "/out.wav.tmp"));
}

TEST(RenderTool, DefaultLengthIsOneSecondPastTheLastEvent) {
    const std::string dir = test::scratchDir("render-default");
    SetReplay r;
    r.sampleRate = 24000.0;
    // Half a second at the log's rate.
    r.events = {setCommand(12000, CommandType::SET_QUANTISE, -1, 1)};
    const auto p = runTool("render " + writeSet(dir, r) + " " + dir + "/o.wav");
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(test::readWav(dir + "/o.wav").dataBytes, 72000u * 2u * 4u);
}

TEST(RenderTool, ReportsBadInputAndWritesNothing) {
    const std::string dir = test::scratchDir("render-bad");
    std::ofstream(dir + "/v2.vynset") << R"({"format":"vyn-set-replay","version":2})";
    SetReplay r;
    r.events = {setCommand(0, CommandType::LOAD_TRACK, 0, 0.0, dir + "/nothing.wav")};
    const std::string failedLoad = writeSet(dir, r); // a failed load ends the render
    const struct {
        std::string args;
        int exitCode;
        std::string error;
    } cases[] = {
        {dir + "/missing.vynset", 1, "could not open the file"},
        {dir + "/v2.vynset", 1, "unsupported set replay version"},
        {failedLoad, 1, "could not load " + dir + "/nothing.wav: could not open file"},
        {"--channels 33 " + failedLoad, 2, "--channels needs a whole number from 1 to 32"},
        {"--keylock-quality 2 " + failedLoad, 2,
         "--keylock-quality needs a whole number from 0 to 1"},
        {"--interpolation 2 " + failedLoad, 2, "--interpolation needs a whole number from 0 to 1"},
        {"", 2, ""}, // the output's name alone
    };
    for (const auto& c : cases) {
        const auto p = runTool("render " + c.args + " " + dir + "/o.wav");
        EXPECT_EQ(p.exitCode, c.exitCode) << c.args;
        EXPECT_NE(p.err.find(c.error), std::string::npos) << p.err;
        EXPECT_FALSE(fileExists(dir + "/o.wav")) << c.args;
    }
}

TEST(RenderTool, EqTypePicksTheIsolatorOrTheOnePoleSplit) {
    // A 50 Hz tone with the low band killed: gone under the isolator (the default), about 12 dB
    // down under the one-pole split.
    const std::string dir = test::scratchDir("render-eq-type");
    SetReplay r;
    r.events = {setCommand(0, CommandType::LOAD_TRACK, 0, 0.0,
                           test::writeToneWav(dir + "/tone.wav", 50.0, 2.0)),
                setCommand(0, CommandType::SET_EQ_LOW, 0, 0.0),
                setCommand(0, CommandType::PLAY, 0)};
    for (const char* flag : {"", "--eq-type 0", "--eq-type 1"}) {
        const std::vector<float> out = render(dir, r, std::string("--seconds 2 ") + flag);
        ASSERT_EQ(out.size(), 2u * 96000u) << flag;
        const double level =
            test::toneLevel(out.data() + 2 * 48000, 48000, 2, 0, 48000.0, 50.0) / 0.5;
        if (std::string(flag) == "--eq-type 1")
            EXPECT_NEAR(20.0 * std::log10(level), -12.4, 0.5) << flag;
        else
            EXPECT_LT(20.0 * std::log10(level), -40.0) << flag;
    }
}

TEST(RenderTool, KeylockQualityChoosesTheStretcher) {
    // A key-locked chord rendered once with each stretcher: they must not sound the same.
    const std::string dir = test::scratchDir("render-keylock");
    ASSERT_EQ(test::runProcess("sox -n -r 48000 -c 2 " + dir +
                               "/chord.wav synth 2 sine 261.63 sine 329.63")
                  .exitCode,
              0);
    SetReplay r;
    r.events = {setCommand(0, CommandType::LOAD_TRACK, 0, 1.0, dir + "/chord.wav"),
                setCommand(0, CommandType::SET_KEYLOCK, 0, 1.0),
                setCommand(0, CommandType::SET_RATE, 0, 1.06),
                setCommand(0, CommandType::PLAY, 0, 1.0)};
    const std::vector<float> wsola = render(dir, r, "--seconds 1 --keylock-quality 0");
    const std::vector<float> high = render(dir, r, "--seconds 1 --keylock-quality 1");
    ASSERT_EQ(wsola.size(), high.size());
    EXPECT_NE(wsola, high);
}

std::string writeTone(const std::string& path, double hz) {
    return test::writeToneWav(path, hz, 3.0, 48000, 6000.0 / 32767.0);
}

// Frequency from rising zero crossings of one channel over frames [from, to).
double frequency(const std::vector<float>& x, int channels, int channel, std::size_t from,
                 std::size_t to) {
    return test::toneFrequency(x.data() + from * static_cast<std::size_t>(channels), to - from,
                               channels, channel, 48000.0);
}

TEST(HeadphoneCue, FourChannelRenderHasTheCuedDeckOnThreeAndFour) {
    const std::string dir = test::scratchDir("cue-route");
    SetReplay set;
    set.events = {setCommand(0, CommandType::LOAD_TRACK, 0, 0, writeTone(dir + "/a.wav", 440.0)),
                  setCommand(0, CommandType::LOAD_TRACK, 1, 0, writeTone(dir + "/b.wav", 1000.0)),
                  setCommand(0, CommandType::SET_CUE, 0, 1), setCommand(0, CommandType::PLAY, 0),
                  setCommand(0, CommandType::PLAY, 1)};
    const std::vector<float> x = render(dir, set, "--channels 4 --seconds 2");
    ASSERT_EQ(x.size(), 4u * 96000u);
    // Channels 3/4: deck 1 alone. Channels 1/2 minus 3/4: deck 2 alone.
    EXPECT_NEAR(frequency(x, 4, 2, 4800, 96000), 440.0, 2.0);
    EXPECT_NEAR(frequency(x, 4, 3, 4800, 96000), 440.0, 2.0);
    std::vector<float> rest(x.size() / 4);
    for (std::size_t f = 0; f < rest.size(); ++f)
        rest[f] = x[4 * f] - x[4 * f + 2];
    EXPECT_NEAR(frequency(rest, 1, 0, 4800, rest.size()), 1000.0, 4.0);
    EXPECT_GT(test::peakLevel(x.data() + 4 * 4800, 4 * (96000 - 4800)), 0.25f);
}

TEST(HeadphoneCue, StereoAndEightChannelRendersCarryNoCue) {
    const std::string dir = test::scratchDir("cue-none");
    SetReplay set;
    set.events = {setCommand(0, CommandType::LOAD_TRACK, 0, 0, writeTone(dir + "/a.wav", 440.0)),
                  setCommand(0, CommandType::SET_CUE, 0, 1), setCommand(0, CommandType::PLAY, 0)};
    const std::vector<float> x = render(dir, set, "--channels 8 --seconds 1");
    ASSERT_EQ(x.size(), 8u * 48000u);
    float pairTwo = 0.0f;
    for (std::size_t f = 0; f < 48000; ++f)
        pairTwo = std::max(pairTwo, std::fabs(x[8 * f + 2]));
    EXPECT_EQ(pairTwo, 0.0f) << "deck 2 is empty: its pair stays silent, no cue lands there";
    EXPECT_NEAR(frequency(x, 8, 0, 4800, 48000), 440.0, 2.0);
}

} // namespace
} // namespace vyn
