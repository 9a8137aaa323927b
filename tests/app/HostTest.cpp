// The command-line host end to end, run as a user runs it: `vyn --file` on the silent null
// device, `--probe` on the null device and on the test services' devices, and the usage text.

#include "app/CommandLine.h"
#include "app/CommandLineHost.h"
#include "common/PrefixDriveClassifier.h"
#include "common/TestPaths.h"
#include "common/WavFiles.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vyn {
namespace {

std::string vyn() {
    return test::builtExecutable("vyn");
}

// Runs `vyn ARGS` on the null output and sends it `signal` once its standard error shows
// `marker` (not after a fixed time, which a loaded machine or a sanitizer build overruns).
test::ProcessResult runHostUntil(const std::string& dir, const std::string& args,
                                 const std::string& marker, const std::string& signal) {
    const std::string err = dir + "/err.txt";
    return test::runProcess("VYN_AUDIO=null " + vyn() + " " + args + " 2>'" + err +
                            "' & pid=$!; for i in $(seq 1200); do grep -q '" + marker + "' '" +
                            err + "' && break; sleep 0.05; done; kill -" + signal +
                            " $pid; wait $pid; rc=$?; cat '" + err + "' >&2; exit $rc");
}

// Which arguments are usage errors is CommandLineParse's business, and which files fail with
// which cause DecodeEntryPoints'; here, what a user sees.
TEST(VynExecutable, UsageProbeAndFailuresGoToStandardErrorWithTheExitCode) {
    const std::string usage = usageText(vyn().c_str());
    const std::string empty =
        test::writeToneWav(test::scratchDir("host-bad") + "/empty.wav", 0.0, 0.0);
    const struct {
        std::string command;
        int exitCode;
        std::string err;
    } cases[] = {
        {vyn() + " --file x --deck 17", 2, usage},
        {vyn() + " --help", 0, usage},
        {"VYN_AUDIO=null:6 " + vyn() + " --probe", 0,
         "null: 48000 Hz, 6 output channels, 256 frames, latency 256 frames\n"},
        {"VYN_AUDIO=oss " + vyn() + " --probe", 1,
         "VYN unknown VYN_AUDIO value: oss (use jack, alsa, pulse or null[:N])\n"},
        {"VYN_AUDIO=null " + vyn() + " --file " + empty, 1,
         "null: 48000 Hz, 2 output channels, 256 frames, latency 256 frames\nVYN could not load " +
             empty + ": file decoded to zero frames\n"},
    };
    for (const auto& c : cases) {
        const auto r = test::runProcess(c.command);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.command;
        EXPECT_EQ(r.err, c.err) << c.command;
        EXPECT_EQ(r.out, "") << c.command;
    }
}

// The line with an endpoint, from the default choice; what ALSA opens on each sink is
// RtAudioDeviceTest's.
TEST(VynExecutable, ProbeTakesJackWhenItsServerRuns) {
    VYN_REQUIRE_TEST_SERVICES();
    const std::regex line(
        R"(JACK \(system\): 48000 Hz, 2 output channels, 256 frames, latency \d+ frames\n)");
    const auto r = test::runProcess("unset VYN_AUDIO; " + vyn() + " --probe");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::regex_match(r.err, line)) << r.err;
}

TEST(CommandLineHost, PlaysUntilInterruptedAndExitsCleanly) {
    const std::string dir = test::scratchDir("host-play");
    const std::string track = test::writeToneWav(dir + "/quiet.wav", 0.0, 5.0, 44100);
    const auto r = runHostUntil(dir, "--file " + track + " --deck 16", "Playing", "INT");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "null: 48000 Hz, 2 output channels, 256 frames, latency 256 frames\n"
                     "Playing " +
                         track + " on deck 16\n");
}

TEST(CommandLineHost, InterruptBeforeTheLoadFinishesExitsWithOne) {
    // The interrupt comes once the device line is out; /dev/zero never finishes loading.
    const auto r =
        runHostUntil(test::scratchDir("host-interrupt"), "--file /dev/zero", "Hz", "TERM");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err.find("Playing"), std::string::npos);
}

TEST(CommandLineHost, StagesAFileOnAStickBeforeDecodingIt) {
    // In process, so the stick can be a folder: the host runs on a thread with its standard error
    // in a file, and is interrupted once it plays.
    namespace fs = std::filesystem;
    const std::string dir = test::scratchDir("host-stick");
    fs::create_directories(dir + "/stick/Contents");
    const std::string track =
        test::writeToneWav(dir + "/stick/Contents/quiet.wav", 0.0, 1.0, 44100);
    const test::ScopedEnvironment environment{{"VYN_AUDIO", "null"},
                                              {"XDG_CACHE_HOME", dir + "/cache"}};
    std::fflush(stderr);
    const int err = ::dup(2);
    const std::string log = dir + "/stderr.txt";
    std::FILE* logFile = std::fopen(log.c_str(), "w");
    ::dup2(fileno(logFile), 2);

    std::signal(SIGINT, SIG_DFL); // so the host's own handler shows when it is in place
    int rc = -1;
    std::atomic<bool> returned{false};
    std::thread host([&] {
        rc = runCommandLineHost(track, 0, false,
                                std::make_unique<test::PrefixDriveClassifier>(dir + "/stick/"));
        returned = true;
    });
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string text;
    while (text.find("Playing") == std::string::npos &&
           std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        text = readWholeFile(log).data;
    }
    struct sigaction installed {};
    while (!returned && sigaction(SIGINT, nullptr, &installed) == 0 &&
           installed.sa_handler == SIG_DFL)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (installed.sa_handler != SIG_DFL) std::raise(SIGINT);
    host.join();
    std::fflush(stderr);
    ::dup2(err, 2);
    ::close(err);
    std::fclose(logFile);

    EXPECT_EQ(rc, 0) << text;
    EXPECT_NE(text.find("Playing " + track + " on deck 1\n"), std::string::npos) << text;
    const std::string staged = dir + "/cache/vyn/usb-audio";
    ASSERT_EQ(test::filesIn(staged).size(), 1u) << "the file was copied off the stick once";
    EXPECT_EQ(readWholeFile(staged + "/" + test::filesIn(staged)[0]).data,
              readWholeFile(track).data);
}

} // namespace
} // namespace vyn
