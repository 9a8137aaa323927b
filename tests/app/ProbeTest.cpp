// Runs the vyn executable as a user would.

#include "app/CommandLine.h"
#include "common/TestPaths.h"

#include <gtest/gtest.h>

#include <regex>
#include <utility>

namespace vyn {
namespace {

std::string vyn() {
    return test::builtExecutable("vyn");
}

// Which arguments are usage errors is CommandLineParse's business; here, what a user sees.
TEST(VynExecutable, UsageGoesToStandardErrorWithTheExitCode) {
    const std::string usage = usageText(vyn().c_str());
    const std::pair<const char*, int> cases[] = {{"--file x --deck 17", 2}, {"--help", 0}};
    for (const auto& [args, code] : cases) {
        const auto r = test::runProcess(vyn() + " " + args);
        EXPECT_EQ(r.exitCode, code) << args;
        EXPECT_EQ(r.err, usage) << args;
        EXPECT_EQ(r.out, "") << args;
    }
}

TEST(VynExecutable, ProbePrintsTheNullDeviceLine) {
    const auto r = test::runProcess("VYN_AUDIO=null:6 " + vyn() + " --probe");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "null: 48000 Hz, 6 output channels, 256 frames, latency 256 frames\n");
}

TEST(VynExecutable, BadAudioChoiceIsReported) {
    const auto r = test::runProcess("VYN_AUDIO=oss " + vyn() + " --probe");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("unknown VYN_AUDIO value: oss"), std::string::npos);
}

class VynProbeOnServices : public ::testing::Test {
protected:
    void SetUp() override { VYN_REQUIRE_TEST_SERVICES(); }
};

TEST_F(VynProbeOnServices, AlsaThroughTheStereoAndEightChannelSinks) {
    for (const auto& [sink, channels] : {std::pair{"vyn_stereo", "2"}, std::pair{"vyn_8ch", "8"}}) {
        const std::regex line(std::string(R"(ALSA \(default via )") + sink + R"(\): 48000 Hz, )" +
                              channels + R"( output channels, \d+ frames, latency \d+ frames\n)");
        const auto r = test::runProcess(std::string("PULSE_SINK=") + sink + " VYN_AUDIO=alsa " +
                                        vyn() + " --probe");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(std::regex_match(r.err, line)) << r.err;
    }
}

TEST_F(VynProbeOnServices, JackIsTheDefaultWhenItsServerRuns) {
    const std::regex line(
        R"(JACK \(system\): 48000 Hz, 2 output channels, 256 frames, latency \d+ frames\n)");
    const auto r = test::runProcess("unset VYN_AUDIO; " + vyn() + " --probe");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::regex_match(r.err, line)) << r.err;
}

} // namespace
} // namespace vyn
