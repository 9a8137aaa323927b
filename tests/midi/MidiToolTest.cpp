// vyn-tool midi check: the JSON it prints (an interface, so compared whole) and its exit codes.
// What the mapping reader accepts is tested in MidiMappingFileTest.

#include "common/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vyn {
namespace {

// Its output without the line end (which differs on Windows).
test::ProcessResult midiTool(const std::string& args) {
    test::ProcessResult r = test::runTool("midi " + args);
    r.out.erase(r.out.find_last_not_of("\r\n") + 1);
    return r;
}

test::ProcessResult check(const std::string& text) {
    const std::string path = test::scratchDir("midi-check") + "/a.vynmap";
    std::ofstream(path, std::ios::binary) << text;
    return midiTool("check '" + path + "'");
}

TEST(MidiCheckTool, PrintsTheMappingAsJson) {
    const test::ProcessResult r =
        check("vyn-mapping 1\ndevice  My Controller\nchannels 4\n"
              "bind 2 note 0 60 hotCue 1 trigger signed -0.5 2.5e3 1e-05 3 mod=2 cue \"one\"\n"
              "bind broken\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              R"({"ok":true,"message":"","read":1,"dropped":1,"device":"My Controller",)"
              R"("channels":4,"bindings":[{"port":2,"kind":144,"channel":0,"number":60,)"
              R"("action":"hotCue","slot":1,"mode":"trigger","relative":"signed","min":-0.5,)"
              R"("max":2500,"step":1e-05,"param":3,"mod":2,"label":"cue \"one\""}]})");
}

TEST(MidiCheckTool, ExitCodes) {
    const std::string empty = R"(,"read":0,"dropped":0,"device":"","channels":2,"bindings":[]})";
    test::ProcessResult r = check("device X\nvyn-mapping 1\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, R"({"ok":false,"message":"not a VYN mapping file")" + empty);
    r = midiTool("check /nonexistent/file.vynmap");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, R"({"ok":false,"message":"could not open the file")" + empty);
    EXPECT_EQ(midiTool("check").exitCode, 2);
    EXPECT_EQ(midiTool("frobnicate").exitCode, 2);
}

} // namespace
} // namespace vyn
