// vyn-tool midi check: the JSON layout it prints (an interface) and its exit codes. What the
// mapping reader accepts is tested in MidiMappingFileTest.

#include "common/TestPaths.h"
#include "support/Json.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vyn {
namespace {

test::ProcessResult check(const std::string& text) {
    std::string args;
    if (!text.empty()) {
        const std::string path = test::scratchDir("midi-check") + "/a.vynmap";
        std::ofstream(path, std::ios::binary) << text;
        args = " '" + path + "'";
    }
    return test::runProcess("'" + test::builtExecutable("vyn-tool") + "' midi check" + args);
}

std::vector<std::string> keys(const JsonValue& object) {
    std::vector<std::string> out;
    for (const auto& [k, v] : object.members())
        out.push_back(k);
    return out;
}

TEST(MidiCheckTool, PrintsTheMappingAsJson) {
    const test::ProcessResult r =
        check("vyn-mapping 1\ndevice  My Controller\nchannels 4\n"
              "bind 2 note 0 60 hotCue 1 trigger signed -0.5 2.5e3 1e-05 3 mod=2 cue \"one\"\n"
              "bind broken\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const JsonParseResult json = parseJson(r.out);
    ASSERT_TRUE(json.ok) << r.out;
    const JsonValue& v = json.value;
    EXPECT_EQ(keys(v), (std::vector<std::string>{"ok", "message", "read", "dropped", "device",
                                                 "channels", "bindings"}));
    EXPECT_TRUE(v.find("ok")->asBool());
    EXPECT_EQ(v.find("read")->asInteger(), 1);
    EXPECT_EQ(v.find("dropped")->asInteger(), 1);
    EXPECT_EQ(v.find("device")->asString(), "My Controller");
    const JsonValue& b = v.find("bindings")->items().at(0);
    EXPECT_EQ(keys(b), (std::vector<std::string>{"port", "kind", "channel", "number", "action",
                                                 "slot", "mode", "relative", "min", "max", "step",
                                                 "param", "mod", "label"}));
    EXPECT_EQ(b.find("kind")->asInteger(), 144);
    EXPECT_EQ(b.find("action")->asString(), "hotCue");
    EXPECT_EQ(b.find("relative")->asString(), "signed");
    EXPECT_EQ(b.find("max")->asNumber(), 2500.0);
    EXPECT_EQ(b.find("label")->asString(), "cue \"one\"");
}

TEST(MidiCheckTool, ExitCodes) {
    test::ProcessResult r = check("device X\nvyn-mapping 1\n");
    EXPECT_EQ(r.exitCode, 1);
    const JsonParseResult json = parseJson(r.out);
    ASSERT_TRUE(json.ok) << r.out;
    EXPECT_FALSE(json.value.find("ok")->asBool());
    EXPECT_EQ(json.value.find("message")->asString(), "not a VYN mapping file");
    EXPECT_TRUE(json.value.find("bindings")->items().empty());

    r = test::runProcess("'" + test::builtExecutable("vyn-tool") +
                         "' midi check /nonexistent/file.vynmap");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(parseJson(r.out).ok) << r.out;
    EXPECT_EQ(check("").exitCode, 2);
    EXPECT_EQ(
        test::runProcess("'" + test::builtExecutable("vyn-tool") + "' midi frobnicate").exitCode,
        2);
}

} // namespace
} // namespace vyn
