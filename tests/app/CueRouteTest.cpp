// The headphone cue on a four-channel device, rendered offline through vyn-tool: the cued deck
// alone on channels 3/4, the master on 1/2.

#include "common/RenderedSets.h"
#include "common/ToneMeasure.h"
#include "common/WavFiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vyn {
namespace {

using test::setCommand;
using Type = CommandType;

std::string writeTone(const std::string& path, double hz) {
    return test::writeToneWav(path, hz, 3.0, 48000, 6000.0 / 32767.0);
}

// Frequency from rising zero crossings of one channel over frames [from, to).
double frequency(const std::vector<float>& x, int channels, int channel, std::size_t from,
                 std::size_t to) {
    return test::toneFrequency(x.data() + from * static_cast<std::size_t>(channels), to - from,
                               channels, channel, 48000.0);
}

// Renders `set` for `seconds` on a device of `channels`.
std::vector<float> render(const std::string& dir, const SetReplay& set, int channels, int seconds) {
    const auto p = test::runTool("render --channels " + std::to_string(channels) + " --seconds " +
                                 std::to_string(seconds) + " " + test::writeSet(dir, set) + " " +
                                 dir + "/out.wav");
    EXPECT_EQ(p.exitCode, 0) << p.err;
    return test::readWav(dir + "/out.wav").samples;
}

TEST(HeadphoneCue, FourChannelRenderHasTheCuedDeckOnThreeAndFour) {
    const std::string dir = test::scratchDir("cue-route");
    SetReplay set;
    set.events = {setCommand(0, Type::LOAD_TRACK, 0, 0, writeTone(dir + "/a.wav", 440.0)),
                  setCommand(0, Type::LOAD_TRACK, 1, 0, writeTone(dir + "/b.wav", 1000.0)),
                  setCommand(0, Type::SET_CUE, 0, 1), setCommand(0, Type::PLAY, 0),
                  setCommand(0, Type::PLAY, 1)};
    const std::vector<float> x = render(dir, set, 4, 2);
    ASSERT_EQ(x.size(), 4u * 96000u);
    // Channels 3/4: deck 1 alone. Channels 1/2 minus 3/4: deck 2 alone.
    EXPECT_NEAR(frequency(x, 4, 2, 4800, 96000), 440.0, 2.0);
    EXPECT_NEAR(frequency(x, 4, 3, 4800, 96000), 440.0, 2.0);
    std::vector<float> rest(x.size() / 4 * 1);
    for (std::size_t f = 0; f < rest.size(); ++f)
        rest[f] = x[4 * f] - x[4 * f + 2];
    EXPECT_NEAR(frequency(rest, 1, 0, 4800, rest.size()), 1000.0, 4.0);
    EXPECT_GT(test::peakLevel(x.data() + 4 * 4800, 4 * (96000 - 4800)), 0.25f);
}

TEST(HeadphoneCue, StereoAndEightChannelRendersCarryNoCue) {
    const std::string dir = test::scratchDir("cue-none");
    SetReplay set;
    set.events = {setCommand(0, Type::LOAD_TRACK, 0, 0, writeTone(dir + "/a.wav", 440.0)),
                  setCommand(0, Type::SET_CUE, 0, 1), setCommand(0, Type::PLAY, 0)};
    const std::vector<float> x = render(dir, set, 8, 1);
    ASSERT_EQ(x.size(), 8u * 48000u);
    float pairTwo = 0.0f;
    for (std::size_t f = 0; f < 48000; ++f)
        pairTwo = std::max(pairTwo, std::fabs(x[8 * f + 2]));
    EXPECT_EQ(pairTwo, 0.0f) << "deck 2 is empty: its pair stays silent, no cue lands there";
    EXPECT_NEAR(frequency(x, 8, 0, 4800, 48000), 440.0, 2.0);
}

} // namespace
} // namespace vyn
