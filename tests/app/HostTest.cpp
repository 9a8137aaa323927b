// The command-line host end to end: `vyn --file` on the silent null device.

#include "audio/WavFileWriter.h"
#include "common/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace vyn {
namespace {

std::string vyn() {
    return test::builtExecutable("vyn");
}

std::string writeSilence(const std::string& path, std::size_t frames) {
    WavFileWriter w;
    EXPECT_TRUE(w.open(path, WavFileWriter::Format::Pcm16, 2, 44100));
    std::vector<std::int16_t> pcm(2 * frames, 100);
    EXPECT_TRUE(w.writeInt16(pcm.data(), frames));
    EXPECT_TRUE(w.finish());
    return path;
}

TEST(CommandLineHost, PlaysUntilInterruptedAndExitsCleanly) {
    const std::string dir = test::scratchDir("host-play");
    const std::string track = writeSilence(dir + "/quiet.wav", 44100 * 5);
    const auto r = test::runProcess("VYN_AUDIO=null " + vyn() + " --file " + track +
                                    " --deck 16 & pid=$!; sleep 1.5; kill -INT $pid; wait $pid");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "null: 48000 Hz, 2 output channels, 256 frames, latency 256 frames\n"
                     "Playing " +
                         track + " on deck 16\n");
}

TEST(CommandLineHost, ReportsAFileThatDoesNotDecode) {
    const std::string dir = test::scratchDir("host-bad");
    std::ofstream(dir + "/six.wav") << "ABCDEF";
    auto r = test::runProcess("VYN_AUDIO=null " + vyn() + " --file " + dir + "/six.wav");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(
        r.err.find("VYN could not load " + dir +
                   "/six.wav: unrecognised audio format \xE2\x80\x94 header: 41 42 43 44 45 46 "
                   "  \"ABCDEF\"\n"),
        std::string::npos)
        << r.err;
    const std::string empty = writeSilence(dir + "/empty.wav", 0);
    r = test::runProcess("VYN_AUDIO=null " + vyn() + " --file " + empty);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("VYN could not load " + empty + ": file decoded to zero frames\n"),
              std::string::npos)
        << r.err;
}

TEST(CommandLineHost, InterruptBeforeTheLoadFinishesExitsWithOne) {
    const auto r =
        test::runProcess("VYN_AUDIO=null " + vyn() +
                         " --file /dev/zero & pid=$!; sleep 0.5; kill -TERM $pid; wait $pid");
    // /dev/zero never finishes reading within the interval; either way play was never queued.
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err.find("Playing"), std::string::npos);
}

} // namespace
} // namespace vyn
