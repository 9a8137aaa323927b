#include "audio/OutputRouter.h"
#include "audio/OfflineAudioDevice.h"
#include "common/RecordingTarget.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

std::vector<float> route(int channels, long frames, test::RecordingTarget& target) {
    OutputRouter router;
    std::vector<float> out(static_cast<std::size_t>(channels * frames), 9.0f);
    router.fill(target, out.data(), channels, frames);
    return out;
}

TEST(OutputRouter, StereoDeviceGetsTheMaster) {
    test::RecordingTarget t;
    const auto out = route(2, 100, t);
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_EQ(out[199], -0.25f);
    EXPECT_EQ(t.lastMultiChannels, 0);
}

TEST(OutputRouter, FourChannelDeviceGetsMasterAndHeadphoneCue) {
    test::RecordingTarget t;
    const auto out = route(4, 10, t);
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_EQ(out[1], -0.25f);
    EXPECT_EQ(out[2], 0.5f);
    EXPECT_EQ(out[3], -0.5f);
}

TEST(OutputRouter, SixChannelDeviceHearsOnlyMasterAndCue) {
    test::RecordingTarget t;
    const auto out = route(6, 10, t);
    for (int f = 0; f < 10; ++f) {
        EXPECT_EQ(out[f * 6 + 0], 0.25f);
        EXPECT_EQ(out[f * 6 + 4], 0.0f);
        EXPECT_EQ(out[f * 6 + 5], 0.0f);
    }
}

TEST(OutputRouter, EightChannelDeviceGetsDeckPairsAndNoMaster) {
    test::RecordingTarget t;
    const auto out = route(8, 10, t);
    EXPECT_EQ(t.lastMultiChannels, 8);
    for (int ch = 0; ch < 8; ++ch)
        EXPECT_EQ(out[8 * 3 + ch], static_cast<float>(ch / 2 + 1) / 100.0f);
}

TEST(OutputRouter, WideDevicesAreFedAtMost32Channels) {
    test::RecordingTarget t;
    const auto out = route(40, 4, t);
    EXPECT_EQ(t.lastMultiChannels, 32);
    EXPECT_EQ(out[31], 16 / 100.0f);
    EXPECT_EQ(out[32], 0.0f);
    EXPECT_EQ(out[39], 0.0f);
}

TEST(OutputRouter, LargeBuffersRenderInChunksOf2048) {
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
