// vyn-tool render, run as a process: command log in, WAV out.

#include "audio/AudioDecoder.h"
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
    ASSERT_EQ(test::runProcess("sox -n -r 48000 -c 2 -b 32 -e floating-point " + dir +
                               "/tone.wav synth 2 sine 50 vol 0.5")
                  .exitCode,
              0);
    SetReplay r;
    r.events = {setCommand(0, CommandType::LOAD_TRACK, 0, 0.0, dir + "/tone.wav"),
                setCommand(0, CommandType::SET_EQ_LOW, 0, 0.0),
                setCommand(0, CommandType::PLAY, 0)};
    const std::string log = writeSet(dir, r);
    for (const char* flag : {"", "--eq-type 0", "--eq-type 1"}) {
        const auto p =
            runTool(std::string("render --seconds 2 ") + flag + " " + log + " " + dir + "/out.wav");
        ASSERT_EQ(p.exitCode, 0) << flag << p.err;
        const DecodeResult out = decodeFile(dir + "/out.wav");
        ASSERT_TRUE(out.ok) << out.error;
        std::vector<float> second(out.samples.begin() + 2 * 48000, out.samples.end());
        for (float& v : second)
            v /= 32768.0f;
        const double level = test::toneLevel(second.data(), 48000, 2, 0, 48000.0, 50.0) / 0.5;
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
    const std::string log = writeSet(dir, r);
    std::string rendered[2];
    for (int q = 0; q < 2; ++q) {
        const std::string out = dir + "/q" + std::to_string(q) + ".wav";
        const auto p = runTool("render --seconds 1 --keylock-quality " + std::to_string(q) + " " +
                               log + " " + out);
        ASSERT_EQ(p.exitCode, 0) << p.err;
        rendered[q] = readWholeFile(out).data;
    }
    ASSERT_EQ(rendered[0].size(), rendered[1].size());
    EXPECT_NE(rendered[0], rendered[1]);
}

} // namespace
} // namespace vyn
