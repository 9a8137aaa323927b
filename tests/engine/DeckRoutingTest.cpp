// Decks through a real output device, recorded from the PulseAudio null sinks: deck pairs on an
// eight-channel device, and `vyn --file` end to end on a stereo one. Which channel carries what
// for every width is OutputRouter's, the host's messages CommandLineHost's; here the sound
// through the backend.

#include "audio/AudioDeviceFactory.h"
#include "common/ChildProcess.h"
#include "common/SinkRecorder.h"
#include "common/TestPaths.h"
#include "common/TestTracks.h"
#include "common/ToneMeasure.h"
#include "common/WavFiles.h"
#include "engine/EngineHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <vector>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

class DeckRouting : public ::testing::Test {
protected:
    void SetUp() override {
        VYN_REQUIRE_TEST_SERVICES();
        dir = test::scratchDir("deck-routing");
    }
    void TearDown() override {
        ::vyn::test::unsetEnvironment("PULSE_SINK");
        ::vyn::test::unsetEnvironment("VYN_AUDIO");
    }
    // Plays a 440 Hz tone on deck 1 and a 1000 Hz tone on deck 2 through `sink` for a few
    // seconds and returns the recording of its monitor.
    std::vector<float> playTwoDecks(const std::string& sink, int channels) {
        ::vyn::test::setEnvironment("PULSE_SINK", sink.c_str());
        ::vyn::test::setEnvironment("VYN_AUDIO", "alsa");
        test::SinkRecorder recorder(sink, channels, dir + "/" + sink + ".raw");
        EXPECT_TRUE(recorder.running());
        AudioDeviceChoice choice = createAudioDeviceFromEnvironment();
        EXPECT_TRUE(choice.device) << choice.error;
        if (!choice.device) return {};
        auto engine = EngineHost::create(std::move(choice.device));
        EXPECT_TRUE(engine->open()) << engine->device()->lastError();
        for (int d = 0; d < 2; ++d) {
            Command load(CommandType::LOAD_TRACK, d);
            load.track = test::makeTrack(
                test::sineWave(d == 0 ? 440.0 : 1000.0, kRate, 60 * 48000, 0.25f), kRate);
            EXPECT_TRUE(engine->pushOwn(load));
            EXPECT_TRUE(engine->pushOwn(Command(CommandType::PLAY, d)));
        }
        EXPECT_TRUE(recorder.waitForSound(0, 1.5)) << "the sink never played the decks";
        engine->stop();
        std::vector<LoadedTrack*> retired;
        engine->drainRetired(retired);
        for (LoadedTrack* t : retired)
            EngineHost::destroyTrack(t);
        return recorder.stop();
    }
    std::string dir;
};

// The median level of the tone at `hz` in `channel` over 0.1-s windows of the stretches (whole
// cycles of both tones). A block the loaded machine dropped inside a stretch breaks the phase and
// spreads the tone over its window; the median is the level the routing gives.
double medianLevel(const std::vector<std::vector<float>>& stretches, std::size_t channels,
                   int channel, double hz) {
    constexpr std::size_t kWindow = 4800;
    std::vector<double> levels;
    for (const std::vector<float>& s : stretches)
        for (std::size_t f = 0; f + kWindow <= s.size() / channels; f += kWindow)
            levels.push_back(
                test::toneLevel(s.data() + f * channels, kWindow, channels, channel, kRate, hz));
    if (levels.empty()) return 0.0;
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    return levels[levels.size() / 2];
}

TEST_F(DeckRouting, EightChannelsCarryDeckPairsAndNoMaster) {
    // Each stretch of at least 0.1 s in which deck 1 sounds: a machine too loaded to feed the
    // stream leaves gaps between them.
    const auto stretches = test::soundingStretches(playTwoDecks("vyn_8ch", 8), 8, 0, 0.1);
    ASSERT_GE(test::soundingSeconds(stretches, 8), 1.0) << "less than a second of sound";
    for (int ch = 0; ch < 4; ++ch) {
        const double own = ch < 2 ? 440.0 : 1000.0, other = ch < 2 ? 1000.0 : 440.0;
        EXPECT_NEAR(medianLevel(stretches, 8, ch, own), 0.25, 0.03) << ch;
        EXPECT_LT(medianLevel(stretches, 8, ch, other), 0.005) << ch;
    }
    // Decks 3 and 4 are empty and the master goes nowhere.
    for (const std::vector<float>& stretch : stretches)
        for (std::size_t f = 0; f < stretch.size() / 8; ++f)
            for (int ch = 4; ch < 8; ++ch)
                ASSERT_LT(std::fabs(stretch[f * 8 + ch]), 1e-4f) << ch;
}

TEST_F(DeckRouting, CommandLineHostPlaysTheFileOnDeckThree) {
    const std::string track = test::writeToneWav(dir + "/tone.wav", 440.0, 6.0);
    ASSERT_FALSE(track.empty());
    test::SinkRecorder recorder("vyn_stereo", 2, dir + "/host.raw");
    ASSERT_TRUE(recorder.running());
    test::ChildProcess host("env PULSE_SINK=vyn_stereo VYN_AUDIO=alsa " +
                            test::builtExecutable("vyn") + " --file " + track + " --deck 3");
    ASSERT_TRUE(host.started());
    EXPECT_TRUE(recorder.waitForSound(0, 1.0)) << "the host never played the file";
    host.signal(SIGINT);
    EXPECT_EQ(host.wait(), 0) << "the device closed cleanly";
    const std::vector<float> rec = recorder.stop();
    // The file's tone on both sides of the master, at its own pitch and level.
    const auto stretches = test::soundingStretches(rec, 2, 0, 0.1);
    ASSERT_FALSE(stretches.empty()) << "nothing was recorded";
    for (const std::vector<float>& w : stretches)
        for (int ch : {0, 1})
            EXPECT_NEAR(test::toneLevel(w.data(), w.size() / 2, 2, ch, kRate, 440.0), 0.5, 0.03)
                << ch;
}

} // namespace
} // namespace vyn
