#include "audio/NullAudioDevice.h"
#include "common/RecordingTarget.h"
#include "common/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vyn {
namespace {

using Clock = std::chrono::steady_clock;

::testing::AssertionResult firstBlockRendered(const test::RecordingTarget& t) {
    if (test::waitFor([&] { return t.framesRendered > 0; }, std::chrono::seconds(10)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the render thread never rendered";
}

TEST(NullDevice, StartsOnlyWhenOpenAndDeliversRealTimeFrameRate) {
    test::RecordingTarget t;
    NullAudioDevice d(2, 48000.0, 256);
    EXPECT_FALSE(d.start());
    EXPECT_EQ(d.lastError(), "start() called before open()");
    ASSERT_TRUE(d.open(t));
    ASSERT_TRUE(d.start());
    // Measured from the first block on, so the render thread's start-up (tens of milliseconds
    // under wine) does not count as lost frames.
    ASSERT_TRUE(firstBlockRendered(t));
    const long firstFrames = t.framesRendered;
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const long frames = t.framesRendered - firstFrames;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    d.stop();
    EXPECT_NEAR(frames / elapsed, 48000.0, 480.0);
}

TEST(NullDevice, RoutesAnyChannelCountLikeARealDeviceAndStopWakesAWaitingRenderThread) {
    test::RecordingTarget t;
    NullAudioDevice d(16, 8000.0, 8192); // about one second between blocks
    ASSERT_TRUE(d.open(t));
    EXPECT_EQ(d.format().channels, 16u);
    ASSERT_TRUE(d.start());
    ASSERT_TRUE(firstBlockRendered(t));
    const auto start = Clock::now();
    d.stop();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 0.2);
    EXPECT_FALSE(d.isRunning());
    EXPECT_EQ(t.lastMultiChannels, 16);
}

} // namespace
} // namespace vyn
