// vyn-tool stems, run as a process.

#include "audio/AudioDecoder.h"
#include "common/StemTracks.h"
#include "common/TestPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace vyn {
namespace {

TEST(StemsTool, WritesFourStemsThatAddUpToTheTrack) {
    const std::string dir = test::scratchDir("stems-tool");
    ASSERT_TRUE(test::writeKickAndTones(dir + "/in.wav", 3.0, 44100.0));
    const std::string tool = test::builtExecutable("vyn-tool");
    const test::ProcessResult r =
        test::runProcess("'" + tool + "' stems '" + dir + "/in.wav' '" + dir + "/out'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string files = "drums: " + dir + "/out-drums.wav\nbass: " + dir +
                              "/out-bass.wav\nvocals: " + dir + "/out-vocals.wav\nother: " + dir +
                              "/out-other.wav\n";
    EXPECT_EQ(r.out.rfind("frames: 132300\nsampleRate: 44100\n" + files, 0), 0u) << r.out;
    const std::size_t at = r.out.find("separationSeconds: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::size_t times = r.out.find("\ntimesRealTime: ", at);
    ASSERT_NE(times, std::string::npos) << r.out;
    EXPECT_GT(std::atof(r.out.c_str() + times + 16), 0.0);

    const std::vector<std::int16_t> original = test::kickAndTones(132300, 44100.0);
    std::vector<int> sum(original.size(), 0);
    for (const char* name : {"drums", "bass", "vocals", "other"}) {
        const DecodeResult stem = decodeFile(dir + "/out-" + name + ".wav");
        ASSERT_TRUE(stem.ok) << name;
        ASSERT_EQ(stem.frames, 132300u) << name;
        for (std::size_t i = 0; i < sum.size(); ++i)
            sum[i] += stem.samples[i];
    }
    for (std::size_t i = 0; i < sum.size(); ++i)
        ASSERT_EQ(sum[i], original[i]) << i;

    EXPECT_EQ(test::runProcess("'" + tool + "' stems onlyone").exitCode, 2);
    EXPECT_EQ(test::runProcess("'" + tool + "' stems '" + dir + "/missing.wav' x").exitCode, 1);
}

} // namespace
} // namespace vyn
