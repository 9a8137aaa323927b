#include "audio/OutputRouter.h"
#include "audio/OfflineAudioDevice.h"
#include "common/RecordingTarget.h"

#include <gtest/gtest.h>

#include <vector>

namespace vyn {
namespace {

std::vector<float> route(int channels, long frames, test::RecordingTarget& target) {
    OutputRouter router;
    std::vector<float> out(static_cast<std::size_t>(channels * frames), 9.0f);
    router.fill(target, out.data(), channels, frames);
    return out;
}

// The target renders master 0.25/-0.25, cue 0.5/-0.5 and deck pair n at n/100 on its
// multichannel output.
TEST(OutputRouter, TheChannelCountDecidesWhatEachChannelCarries) {
    struct Case {
        int channels;
        int multiChannels; // asked of the target; 0 when it renders none
        std::vector<float> lastFrame;
    };
    std::vector<float> wide;
    for (int ch = 0; ch < 40; ++ch)
        wide.push_back(ch < 32 ? static_cast<float>(ch / 2 + 1) / 100.0f : 0.0f);
    const Case cases[] = {
        {2, 0, {0.25f, -0.25f}},
        {4, 0, {0.25f, -0.25f, 0.5f, -0.5f}},       // master and headphone cue
        {6, 0, {0.25f, -0.25f, 0.5f, -0.5f, 0, 0}}, // only master and cue are heard
        {8, 8, {0.01f, 0.01f, 0.02f, 0.02f, 0.03f, 0.03f, 0.04f, 0.04f}}, // deck pairs, no master
        {40, 32, wide}, // at most 32 channels are fed
    };
    for (const Case& c : cases) {
        test::RecordingTarget t;
        const auto out = route(c.channels, 10, t);
        EXPECT_EQ(std::vector<float>(out.end() - c.channels, out.end()), c.lastFrame) << c.channels;
        EXPECT_EQ(t.lastMultiChannels, c.multiChannels) << c.channels;
    }
    // Large buffers render in chunks of 2048.
    test::RecordingTarget t;
    const auto out = route(2, 5000, t);
    EXPECT_EQ(t.maxFrames, 2048);
    EXPECT_EQ(t.framesRendered, 5000);
    EXPECT_EQ(out[2 * 4999], 0.25f);
}

TEST(OfflineDevice, PreparesOnOpenAndRefusesToStartFirst) {
    test::RecordingTarget t;
    OfflineAudioDevice d(2, 44100.0);
    EXPECT_FALSE(d.start());
    EXPECT_EQ(d.lastError(), "start() called before open()");
    ASSERT_TRUE(d.open(t));
    EXPECT_EQ(t.preparedRate, 44100.0);
    EXPECT_EQ(t.preparedBlock, 2048);
    ASSERT_TRUE(d.start());
    std::vector<float> buf(2 * 64);
    EXPECT_TRUE(d.renderInto(buf.data(), 64));
    EXPECT_EQ(t.framesRendered, 64);
    d.close();
    ASSERT_TRUE(d.open(t));
    EXPECT_EQ(t.prepareCalls, 1) << "same rate: no second prepare";
}

} // namespace
} // namespace vyn
