// The headphone cue on a four-channel device, rendered offline through vyn-tool: the cued deck
// alone on channels 3/4, the master on 1/2.

#include "audio/WavFileWriter.h"
#include "common/TestPaths.h"
#include "engine/SetReplay.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

namespace vyn {
namespace {

std::string writeTone(const std::string& path, double hz) {
    WavFileWriter w;
    EXPECT_TRUE(w.open(path, WavFileWriter::Format::Pcm16, 2, 48000));
    std::vector<std::int16_t> pcm(2 * 48000 * 3);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i)
        pcm[2 * i] = pcm[2 * i + 1] =
            static_cast<std::int16_t>(6000 * std::sin(2 * 3.141592653589793 * hz * i / 48000.0));
    EXPECT_TRUE(w.writeInt16(pcm.data(), pcm.size() / 2));
    EXPECT_TRUE(w.finish());
    return path;
}

// Interleaved float samples of a float WAV written by vyn-tool render.
std::vector<float> readFloatWav(const std::string& path) {
    const auto f = readWholeFile(path);
    std::vector<float> out;
    std::size_t pos = 12;
    while (f.ok && pos + 8 <= f.data.size()) {
        std::uint32_t size;
        std::memcpy(&size, f.data.data() + pos + 4, 4);
        if (f.data.compare(pos, 4, "data") == 0) {
            out.resize(size / 4);
            std::memcpy(out.data(), f.data.data() + pos + 8, out.size() * 4);
            break;
        }
        pos += 8 + size + (size & 1);
    }
    return out;
}

// Frequency from rising zero crossings of one channel over frames [from, to).
double frequency(const std::vector<float>& x, int channels, int channel, std::size_t from,
                 std::size_t to) {
    int crossings = 0;
    std::size_t first = 0, last = 0;
    for (std::size_t f = from + 1; f < to; ++f) {
        const float a = x[(f - 1) * channels + channel], b = x[f * channels + channel];
        if (a < 0 && b >= 0) {
            if (crossings == 0) first = f;
            last = f;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * 48000.0 / static_cast<double>(last - first) : 0.0;
}

ReplayEvent command(std::int64_t frame, int type, int deck, double value = 0.0,
                    std::string path = {}) {
    ReplayEvent e;
    e.frame = frame;
    e.command = type;
    e.deck = deck;
    e.value = value;
    e.path = std::move(path);
    return e;
}

TEST(HeadphoneCue, FourChannelRenderHasTheCuedDeckOnThreeAndFour) {
    const std::string dir = test::scratchDir("cue-route");
    SetReplay set;
    set.events = {command(0, 1, 0, 0, writeTone(dir + "/a.wav", 440.0)),
                  command(0, 1, 1, 0, writeTone(dir + "/b.wav", 1000.0)),
                  command(0, 13, 0, 1), // deck 1 to the headphone cue
                  command(0, 3, 0), command(0, 3, 1)};
    std::ofstream(dir + "/set.vynset") << writeSetReplay(set);
    const auto p =
        test::runProcess(test::builtExecutable("vyn-tool") + " render --channels 4 --seconds 2 " +
                         dir + "/set.vynset " + dir + "/out.wav");
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const std::vector<float> x = readFloatWav(dir + "/out.wav");
    ASSERT_EQ(x.size(), 4u * 96000u);
    // Channels 3/4: deck 1 alone. Channels 1/2 minus 3/4: deck 2 alone.
    EXPECT_NEAR(frequency(x, 4, 2, 4800, 96000), 440.0, 2.0);
    EXPECT_NEAR(frequency(x, 4, 3, 4800, 96000), 440.0, 2.0);
    std::vector<float> rest(x.size() / 4 * 1);
    for (std::size_t f = 0; f < rest.size(); ++f)
        rest[f] = x[4 * f] - x[4 * f + 2];
    EXPECT_NEAR(frequency(rest, 1, 0, 4800, rest.size()), 1000.0, 4.0);
    float masterPeak = 0.0f;
    for (std::size_t f = 4800; f < 96000; ++f)
        masterPeak = std::max(masterPeak, std::fabs(x[4 * f]));
    EXPECT_GT(masterPeak, 0.25f);
}

TEST(HeadphoneCue, StereoAndEightChannelRendersCarryNoCue) {
    const std::string dir = test::scratchDir("cue-none");
    SetReplay set;
    set.events = {command(0, 1, 0, 0, writeTone(dir + "/a.wav", 440.0)), command(0, 13, 0, 1),
                  command(0, 3, 0)};
    std::ofstream(dir + "/set.vynset") << writeSetReplay(set);
    const auto p =
        test::runProcess(test::builtExecutable("vyn-tool") + " render --channels 8 --seconds 1 " +
                         dir + "/set.vynset " + dir + "/out.wav");
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const std::vector<float> x = readFloatWav(dir + "/out.wav");
    ASSERT_EQ(x.size(), 8u * 48000u);
    float pairTwo = 0.0f;
    for (std::size_t f = 0; f < 48000; ++f)
        pairTwo = std::max(pairTwo, std::fabs(x[8 * f + 2]));
    EXPECT_EQ(pairTwo, 0.0f) << "deck 2 is empty: its pair stays silent, no cue lands there";
    EXPECT_NEAR(frequency(x, 8, 0, 4800, 48000), 440.0, 2.0);
}

} // namespace
} // namespace vyn
