// Decks through a real output device, recorded from the PulseAudio null sinks: deck pairs on an
// eight-channel device, the master on a stereo one, and `vyn --file` end to end.

#include "audio/AudioDeviceFactory.h"
#include "audio/WavFileWriter.h"
#include "common/SinkRecorder.h"
#include "common/TestPaths.h"
#include "common/TestTracks.h"
#include "common/ToneMeasure.h"
#include "engine/EngineHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

// The last `seconds` of the span where channel `channel` sounds (above 0.01), less a margin at
// the end for the stream being torn down; empty when nothing sounded for that long.
std::vector<float> lastSounding(const std::vector<float>& x, int channels, int channel,
                                double seconds) {
    const std::size_t frames = x.size() / channels;
    std::size_t end = frames;
    while (end > 0 && std::fabs(x[(end - 1) * channels + channel]) < 0.01f)
        --end;
    const std::size_t margin = static_cast<std::size_t>(0.1 * kRate);
    const std::size_t want = static_cast<std::size_t>(seconds * kRate);
    if (end < want + margin) return {};
    end -= margin;
    return std::vector<float>(x.begin() + (end - want) * channels, x.begin() + end * channels);
}

class DeckRouting : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::servicesAvailable()) GTEST_SKIP() << "test services are not running";
        dir = test::scratchDir("deck-routing");
    }
    void TearDown() override {
        unsetenv("PULSE_SINK");
        unsetenv("VYN_AUDIO");
    }
    // Plays a 440 Hz tone on deck 1 and a 1000 Hz tone on deck 2 through `sink` for a few
    // seconds and returns the recording of its monitor.
    std::vector<float> playTwoDecks(const std::string& sink, int channels) {
        setenv("PULSE_SINK", sink.c_str(), 1);
        setenv("VYN_AUDIO", "alsa", 1);
        test::SinkRecorder recorder(sink, channels, dir + "/" + sink + ".raw");
        EXPECT_TRUE(recorder.running());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        AudioDeviceChoice choice = createAudioDeviceFromEnvironment();
        EXPECT_TRUE(choice.device) << choice.error;
        if (!choice.device) return {};
        auto engine = EngineHost::create(std::move(choice.device));
        EXPECT_TRUE(engine->open()) << engine->device()->lastError();
        for (int d = 0; d < 2; ++d) {
            Command load(CommandType::LOAD_TRACK, d);
            load.track = test::makeTrack(
                test::sineWave(d == 0 ? 440.0 : 1000.0, kRate, 20 * 48000, 0.25f), kRate);
            EXPECT_TRUE(engine->pushOwn(load));
            EXPECT_TRUE(engine->pushOwn(Command(CommandType::PLAY, d)));
        }
        // A new stream on an idle null sink may get no callbacks for about two seconds.
        std::this_thread::sleep_for(std::chrono::milliseconds(4500));
        engine->stop();
        std::vector<LoadedTrack*> retired;
        engine->drainRetired(retired);
        for (LoadedTrack* t : retired)
            EngineHost::destroyTrack(t);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return recorder.stop();
    }
    std::string dir;
};

TEST_F(DeckRouting, EightChannelsCarryDeckPairsAndNoMaster) {
    const std::vector<float> rec = playTwoDecks("vyn_8ch", 8);
    const std::vector<float> span = lastSounding(rec, 8, 0, 1.5);
    ASSERT_FALSE(span.empty()) << "nothing was recorded from deck 1's pair";
    const std::size_t frames = span.size() / 8;
    for (int ch : {0, 1}) {
        EXPECT_NEAR(test::toneLevel(span.data(), frames, 8, ch, kRate, 440.0), 0.25, 0.03) << ch;
        EXPECT_LT(test::toneLevel(span.data(), frames, 8, ch, kRate, 1000.0), 0.005) << ch;
    }
    for (int ch : {2, 3}) {
        EXPECT_NEAR(test::toneLevel(span.data(), frames, 8, ch, kRate, 1000.0), 0.25, 0.03) << ch;
        EXPECT_LT(test::toneLevel(span.data(), frames, 8, ch, kRate, 440.0), 0.005) << ch;
    }
    for (int ch = 4; ch < 8; ++ch) { // decks 3 and 4 are empty and the master goes nowhere
        float peak = 0.0f;
        for (std::size_t f = 0; f < frames; ++f)
            peak = std::fmax(peak, std::fabs(span[f * 8 + ch]));
        EXPECT_LT(peak, 1e-4f) << ch;
    }
}

TEST_F(DeckRouting, StereoCarriesTheMaster) {
    const std::vector<float> rec = playTwoDecks("vyn_stereo", 2);
    const std::vector<float> span = lastSounding(rec, 2, 0, 1.5);
    ASSERT_FALSE(span.empty()) << "nothing was recorded from the master";
    const std::size_t frames = span.size() / 2;
    for (int ch : {0, 1}) {
        EXPECT_NEAR(test::toneLevel(span.data(), frames, 2, ch, kRate, 440.0), 0.25, 0.03) << ch;
        EXPECT_NEAR(test::toneLevel(span.data(), frames, 2, ch, kRate, 1000.0), 0.25, 0.03) << ch;
    }
}

// Normalised correlation of `n` frames of two mono sequences.
double correlation(const float* a, const float* b, std::size_t n) {
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        ab += static_cast<double>(a[i]) * b[i];
        aa += static_cast<double>(a[i]) * a[i];
        bb += static_cast<double>(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

TEST_F(DeckRouting, CommandLineHostPlaysTheFileOnDeckThree) {
    // Six seconds of noise: every stretch of it is unique, so the recording can be located in it.
    const std::size_t fileFrames = 6 * 48000;
    std::vector<std::int16_t> pcm(2 * fileFrames);
    std::uint32_t x = 11;
    for (std::size_t i = 0; i < fileFrames; ++i) {
        x = x * 1664525u + 1013904223u;
        pcm[2 * i] = pcm[2 * i + 1] =
            static_cast<std::int16_t>(static_cast<int>(x >> 16) / 3 - 10922);
    }
    const std::string track = dir + "/noise.wav";
    {
        WavFileWriter w;
        ASSERT_TRUE(w.open(track, WavFileWriter::Format::Pcm16, 2, 48000));
        ASSERT_TRUE(w.writeInt16(pcm.data(), fileFrames));
        ASSERT_TRUE(w.finish());
    }
    test::SinkRecorder recorder("vyn_stereo", 2, dir + "/host.raw");
    ASSERT_TRUE(recorder.running());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string err = dir + "/host.err";
    const auto r =
        test::runProcess("PULSE_SINK=vyn_stereo VYN_AUDIO=alsa " + test::builtExecutable("vyn") +
                         " --file " + track + " --deck 3 2>'" + err + "' & pid=$!; " +
                         "for i in $(seq 100); do grep -q Playing '" + err +
                         "' && break; sleep 0.1; done; " + "sleep 4; kill -INT $pid; wait $pid");
    const std::vector<float> rec = recorder.stop();
    std::ifstream errIn(err);
    const std::string errText((std::istreambuf_iterator<char>(errIn)), {});
    EXPECT_EQ(r.exitCode, 0) << errText;
    EXPECT_NE(errText.find("Playing " + track + " on deck 3\n"), std::string::npos) << errText;

    std::vector<float> mono(fileFrames);
    for (std::size_t i = 0; i < fileFrames; ++i)
        mono[i] = pcm[2 * i] / 32768.0f;
    const std::vector<float> span = lastSounding(rec, 2, 0, 1.0);
    ASSERT_FALSE(span.empty()) << "nothing was recorded";
    std::vector<float> heard(span.size() / 2);
    for (std::size_t i = 0; i < heard.size(); ++i)
        heard[i] = span[2 * i];
    // Find where a short probe of the recording lies in the file, then compare a whole second.
    const std::size_t probe = 512;
    double best = 0.0;
    std::size_t lag = 0;
    for (std::size_t l = 0; l + heard.size() <= fileFrames; ++l) {
        const double c = correlation(heard.data(), mono.data() + l, probe);
        if (c > best) {
            best = c;
            lag = l;
        }
    }
    EXPECT_GT(correlation(heard.data(), mono.data() + lag, heard.size()), 0.99) << "lag " << lag;
}

} // namespace
} // namespace vyn
