// The WASAPI device under wine, which plays into the test services' PulseAudio server (the
// stereo null sink is the default), and the channel rule of the exclusive attempt.

#include "audio/WasapiAudioDevice.h"
#include "common/RealtimeGuard.h"
#include "common/RecordingTarget.h"
#include "common/TestPaths.h"
#include "support/RealtimeScope.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vyn {
namespace {

using Clock = std::chrono::steady_clock;

// Renders like the engine host: inside the audio-thread mark, so the guard sees the device's
// render path (router and render loop) as well as the target.
class GuardedTarget final : public IRenderTarget {
public:
    void prepare(double rate, int block) override { inner.prepare(rate, block); }
    void render(float* master, float* multi, int channels, int frames) override {
        realtime::AudioThreadScope scope;
        inner.render(master, multi, channels, frames);
    }
    test::RecordingTarget inner;
};

bool waitForFrames(const test::RecordingTarget& t, long frames) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (t.framesRendered < frames && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return t.framesRendered >= frames;
}

TEST(WasapiExclusiveChannels, OnlyFourOrMoreChannelsTryExclusiveAndAtMostThirtyTwo) {
    struct Case {
        std::uint32_t native, mix, expected;
    };
    for (const Case c : {Case{2, 2, 0}, Case{0, 2, 0}, Case{3, 2, 0}, Case{4, 2, 4}, Case{2, 6, 6},
                         Case{8, 2, 8}, Case{40, 8, 32}})
        EXPECT_EQ(WasapiAudioDevice::exclusiveChannels(c.native, c.mix), c.expected)
            << c.native << "/" << c.mix;
}

class WasapiDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::servicesAvailable()) << "run under scripts/run-tests (make windows-test)";
    }
};

TEST_F(WasapiDeviceTest, StereoSinkOpensSharedAndRendersWithoutAllocatingOrLocking) {
    WasapiAudioDevice device;
    GuardedTarget target;
    ASSERT_TRUE(device.open(target)) << device.lastError();
    const DeviceFormat f = device.format();
    EXPECT_EQ(f.backendName, "WASAPI shared");
    EXPECT_FALSE(f.endpointName.empty());
    EXPECT_EQ(f.sampleRate, 48000.0);
    EXPECT_EQ(f.channels, 2u);
    EXPECT_GE(f.deviceChannels, f.channels);
    EXPECT_EQ(f.periodFrames, f.bufferFrames);
    EXPECT_EQ(f.lowLatency, f.bufferFrames <= 512);
    EXPECT_GT(device.latencyFrames(), static_cast<std::int64_t>(f.bufferFrames));
    EXPECT_EQ(target.inner.preparedRate, 48000.0);
    EXPECT_EQ(target.inner.preparedBlock, 2048);

    EXPECT_TRUE(device.open(target)) << "a second open of an open device succeeds";
    EXPECT_EQ(target.inner.prepareCalls, 1);

    test::resetRealtimeViolations();
    ASSERT_TRUE(device.start()) << device.lastError();
    EXPECT_TRUE(device.isRunning());
    EXPECT_TRUE(device.start()) << "starting a running device succeeds";
    ASSERT_TRUE(waitForFrames(target.inner, 48000)) << "the device never asked for a second";
    device.stop();
    EXPECT_FALSE(device.isRunning());
    const test::RealtimeViolations v = test::realtimeViolations();
    EXPECT_EQ(v.total(), 0) << v.allocations << " allocations, " << v.frees << " frees, " << v.locks
                            << " locks";
    EXPECT_LE(target.inner.maxFrames, 2048);
    device.close();
}

TEST_F(WasapiDeviceTest, StopWakesTheWaitingRenderThreadAndTheDeviceRestarts) {
    WasapiAudioDevice device;
    test::RecordingTarget target;
    ASSERT_TRUE(device.open(target)) << device.lastError();
    ASSERT_TRUE(device.start());
    ASSERT_TRUE(waitForFrames(target, 4800));
    // The render thread spends nearly all its time waiting for the buffer event (2 s timeout):
    // stop signals the event instead of waiting for the timeout.
    const auto before = Clock::now();
    EXPECT_TRUE(device.stop());
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(1500));

    const long stoppedAt = target.framesRendered;
    ASSERT_TRUE(device.start()) << device.lastError();
    EXPECT_TRUE(waitForFrames(target, stoppedAt + 4800)) << "no audio after a restart";
    device.close();
    EXPECT_FALSE(device.isRunning());
    EXPECT_FALSE(device.start());
    EXPECT_EQ(device.lastError(), "start() called before open()");
}

TEST_F(WasapiDeviceTest, StartBeforeOpenFails) {
    WasapiAudioDevice device;
    EXPECT_FALSE(device.start());
    EXPECT_EQ(device.lastError(), "start() called before open()");
    EXPECT_TRUE(device.stop()) << "stopping a device that never ran is harmless";
}

} // namespace
} // namespace vyn
