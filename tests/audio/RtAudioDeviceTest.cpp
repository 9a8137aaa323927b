// Opens the real RtAudio device against the test services: PulseAudio null sinks through ALSA's
// plugin, and the JACK dummy server.

#include "audio/RtAudioDevice.h"
#include "common/RecordingTarget.h"
#include "common/TestPaths.h"
#include "support/JackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace vyn {
namespace {

class RtAudioDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { VYN_REQUIRE_TEST_SERVICES(); }
    void TearDown() override { ::vyn::test::unsetEnvironment("PULSE_SINK"); }

    // Opens, starts, waits for callbacks, stops; returns the format it got.
    DeviceFormat playBriefly(RtAudioDevice& device) {
        test::RecordingTarget target;
        EXPECT_TRUE(device.open(target)) << device.lastError();
        EXPECT_TRUE(device.start()) << device.lastError();
        // An idle null sink may take seconds to ask a new stream for audio on a loaded machine.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (target.framesRendered < 4800 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_GE(target.framesRendered, 4800) << "the device never asked for audio";
        EXPECT_EQ(target.preparedBlock, 2048);
        const DeviceFormat f = device.format();
        device.close();
        EXPECT_FALSE(device.isRunning());
        return f;
    }
};

TEST_F(RtAudioDeviceTest, OpensTheStereoAndEightChannelSinksThroughAlsa) {
    for (const auto& [sink, channels] : {std::pair{"vyn_stereo", 2u}, std::pair{"vyn_8ch", 8u}}) {
        ::vyn::test::setEnvironment("PULSE_SINK", sink);
        RtAudioDevice d(LinuxAudioApi::Alsa);
        const DeviceFormat f = playBriefly(d);
        EXPECT_EQ(f.backendName, "ALSA");
        EXPECT_EQ(f.channels, channels);
        EXPECT_EQ(f.deviceChannels, channels);
        EXPECT_EQ(f.sampleRate, 48000.0);
        EXPECT_EQ(f.endpointName, std::string("default via ") + sink);
    }
}

TEST_F(RtAudioDeviceTest, OpensTheJackServer) {
    ASSERT_TRUE(jackServerRunning());
    RtAudioDevice d(LinuxAudioApi::Jack);
    const DeviceFormat f = playBriefly(d);
    EXPECT_EQ(f.backendName, "JACK");
    EXPECT_EQ(f.sampleRate, 48000.0);
    EXPECT_EQ(f.bufferFrames, 256u);
}

TEST_F(RtAudioDeviceTest, StartBeforeOpenAndAnUnknownDeviceNameFail) {
    RtAudioDevice d(LinuxAudioApi::Alsa, "no-such-device");
    EXPECT_FALSE(d.start());
    EXPECT_EQ(d.lastError(), "start() called before open()");
    test::RecordingTarget t;
    EXPECT_FALSE(d.open(t));
    EXPECT_EQ(d.lastError(), "ALSA has no output device named no-such-device");
}

} // namespace
} // namespace vyn
