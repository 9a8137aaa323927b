// `vyn.exe` under wine on WASAPI: wine plays into the test services' PulseAudio null sinks, and
// what the host played is recorded from the sink's monitor with parec.

#include "common/TestPaths.h"
#include "common/ToneMeasure.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

namespace vyn {
namespace {

std::string vyn() {
    return test::builtExecutable("vyn");
}

class WasapiHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::servicesAvailable()) << "run under scripts/run-tests (make windows-test)";
    }
};

TEST_F(WasapiHostTest, ProbePrintsTheSharedStreamOfEachSink) {
    struct Case {
        const char* sink;
        const char* channels;
    };
    for (const Case c : {Case{"vyn_stereo", "2"}, Case{"vyn_8ch", "8"}}) {
        const auto r =
            test::runProcess(std::string("PULSE_SINK=") + c.sink + " " + vyn() + " --probe");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::regex line(std::string("WASAPI shared \\(.+\\): 48000 Hz, ") + c.channels +
                              " output channels, [1-9][0-9]* frames, latency [1-9][0-9]* frames\n");
        EXPECT_TRUE(std::regex_match(r.err, line)) << c.sink << ": " << r.err;
    }
}

TEST_F(WasapiHostTest, UnknownOutputChoiceNamesWasapi) {
    const auto r = test::runProcess("VYN_AUDIO=alsa " + vyn() + " --probe");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "VYN unknown VYN_AUDIO value: alsa (use wasapi or null[:N])\n");
}

TEST_F(WasapiHostTest, FilePlaysItsToneIntoTheSinkUntilInterrupted) {
    const std::string dir = test::scratchDir("wasapi-tone");
    const std::string tone = dir + "/tone.wav", recording = dir + "/sink.f32";
    ASSERT_EQ(test::runProcess("sox -n -r 48000 -c 2 -b 16 " + tone + " synth 30 sine 1000 vol 0.5")
                  .exitCode,
              0);
    // A new stream on an idle null sink may stay silent for about two seconds: record for eight
    // and measure the last three.
    const auto r = test::runProcess(
        "parec -d vyn_stereo.monitor --raw --format=float32le --channels=2 --rate=48000 > " +
        recording + " & rec=$!; PULSE_SINK=vyn_stereo " + vyn() + " --file " + tone +
        " --deck 2 & host=$!; sleep 8; kill -INT $host; wait $host; code=$?; kill $rec; "
        "wait $rec; exit $code");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Playing " + tone + " on deck 2\n"), std::string::npos) << r.err;

    const FileReadResult bytes = readWholeFile(recording, 64u << 20);
    ASSERT_TRUE(bytes.ok) << bytes.error;
    const std::size_t frames = bytes.data.size() / 8;
    ASSERT_GT(frames, 6u * 48000u) << "the recording is too short";
    std::vector<float> sink(frames * 2);
    std::memcpy(sink.data(), bytes.data.data(), frames * 8);
    const std::size_t from = frames - 4 * 48000, span = 3 * 48000;
    for (int channel = 0; channel < 2; ++channel) {
        const float* x = sink.data() + from * 2;
        EXPECT_NEAR(test::toneFrequency(x, span, 2, channel, 48000.0), 1000.0, 5.0) << channel;
        EXPECT_GT(test::toneLevel(x, span, 2, channel, 48000.0, 1000.0), 0.2) << channel;
    }
}

} // namespace
} // namespace vyn
