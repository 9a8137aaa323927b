// vyn-tool midi check: the JSON it prints and its exit codes.

#include "common/TestPaths.h"
#include "support/Json.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vyn {
namespace {

std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = test::scratchDir("midi-check") + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(MidiCheckTool, PrintsTheMappingAsJson) {
    const std::string path =
        writeFile("a.vynmap", "# preset\nvyn-mapping 1\ndevice  My Controller\nchannels 4\n"
                              "bind -1 cc 1 7 fader 0 absolute twos 0 1 0.01 0 fader\n"
                              "bind 2 note 0 60 hotCue 1 trigger signed -0.5 2.5e3 1e-05 3 mod=2 "
                              "cue \"one\"\n"
                              "bind broken\n");
    const test::ProcessResult r =
        test::runProcess("'" + test::builtExecutable("vyn-tool") + "' midi check '" + path + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const JsonParseResult json = parseJson(r.out);
    ASSERT_TRUE(json.ok) << r.out;
    const JsonValue& v = json.value;
    const char* keys[] = {"ok", "message", "read", "dropped", "device", "channels", "bindings"};
    ASSERT_EQ(v.members().size(), 7u);
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(v.members()[i].first, keys[i]);
    EXPECT_TRUE(v.find("ok")->asBool());
    EXPECT_EQ(v.find("message")->asString(), "");
    EXPECT_EQ(v.find("read")->asInteger(), 2);
    EXPECT_EQ(v.find("dropped")->asInteger(), 1);
    EXPECT_EQ(v.find("device")->asString(), "My Controller");
    EXPECT_EQ(v.find("channels")->asInteger(), 4);
    const auto& bindings = v.find("bindings")->items();
    ASSERT_EQ(bindings.size(), 2u);
    const JsonValue& b = bindings[1];
    const char* bindingKeys[] = {"port", "kind",  "channel",  "number", "action",
                                 "slot", "mode",  "relative", "min",    "max",
                                 "step", "param", "mod",      "label"};
    ASSERT_EQ(b.members().size(), 14u);
    for (std::size_t i = 0; i < 14; ++i)
        EXPECT_EQ(b.members()[i].first, bindingKeys[i]);
    EXPECT_EQ(b.find("port")->asInteger(), 2);
    EXPECT_EQ(b.find("kind")->asInteger(), 144);
    EXPECT_EQ(b.find("number")->asInteger(), 60);
    EXPECT_EQ(b.find("action")->asString(), "hotCue");
    EXPECT_EQ(b.find("slot")->asInteger(), 1);
    EXPECT_EQ(b.find("mode")->asString(), "trigger");
    EXPECT_EQ(b.find("relative")->asString(), "signed");
    EXPECT_EQ(b.find("min")->asNumber(), -0.5);
    EXPECT_EQ(b.find("max")->asNumber(), 2500.0);
    EXPECT_EQ(b.find("step")->asNumber(), 1e-05);
    EXPECT_EQ(b.find("param")->asNumber(), 3.0);
    EXPECT_EQ(b.find("mod")->asInteger(), 2);
    EXPECT_EQ(b.find("label")->asString(), "cue \"one\"");
    EXPECT_EQ(bindings[0].find("kind")->asInteger(), 176);
}

TEST(MidiCheckTool, FailsOnFilesThatAreNotMappings) {
    const std::string path = writeFile("b.vynmap", "device X\nvyn-mapping 1\n");
    test::ProcessResult r =
        test::runProcess("'" + test::builtExecutable("vyn-tool") + "' midi check '" + path + "'");
    EXPECT_EQ(r.exitCode, 1);
    JsonParseResult json = parseJson(r.out);
    ASSERT_TRUE(json.ok) << r.out;
    EXPECT_FALSE(json.value.find("ok")->asBool());
    EXPECT_EQ(json.value.find("message")->asString(), "not a VYN mapping file");
    EXPECT_TRUE(json.value.find("bindings")->items().empty());

    r = test::runProcess("'" + test::builtExecutable("vyn-tool") +
                         "' midi check /nonexistent/file.vynmap");
    EXPECT_EQ(r.exitCode, 1);
    json = parseJson(r.out);
    ASSERT_TRUE(json.ok) << r.out;
    EXPECT_FALSE(json.value.find("message")->asString().empty());

    r = test::runProcess("'" + test::builtExecutable("vyn-tool") + "' midi check");
    EXPECT_EQ(r.exitCode, 2);
    r = test::runProcess("'" + test::builtExecutable("vyn-tool") + "' midi frobnicate");
    EXPECT_EQ(r.exitCode, 2);
}

} // namespace
} // namespace vyn
