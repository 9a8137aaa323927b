// Mapping files: round trips, every rejection rule and the number grammar.

#include "control/midi/MidiMappingFile.h"
#include "common/TestPaths.h"

#include "MidiBindings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace vyn {
namespace {

const char* kHead = "vyn-mapping 1\n";

MidiMappingReadResult read(const std::string& text, MidiMapping& out) {
    return readMidiMapping(text, out);
}

// Every field of each binding, for whole-record comparisons.
auto fields(const std::vector<MidiBinding>& bindings) {
    std::vector<std::tuple<int, int, int, int, int, int, int, int, double, double, double, double,
                           int, std::string>>
        out;
    for (const MidiBinding& b : bindings)
        out.emplace_back(b.port, b.kind, b.channel, b.number, b.action, b.slot, b.mode, b.relative,
                         b.min, b.max, b.step, b.param, b.mod, b.label);
    return out;
}

// Each binding as "port number action mod label", for the tests of what a line sets.
std::vector<std::string> summary(const MidiMapping& m) {
    std::vector<std::string> out;
    for (const MidiBinding& b : m.bindings)
        out.push_back(std::to_string(b.port) + " " + std::to_string(b.number) + " " +
                      midiActionName(b.action) + " " + std::to_string(b.mod) + " " + b.label);
    return out;
}

TEST(MidiMappingFile, WritesTheLearnedFaderLineExactly) {
    MidiMapping m;
    m.bindings = {test::binding(midi_class::cc, 7, MidiAction::fader)};
    m.bindings[0].channel = 1;
    m.bindings[0].label = "fader";
    const std::string text = writeMidiMapping(m);
    EXPECT_EQ(text.rfind("vyn-mapping 1\n#", 0), 0u);
    EXPECT_NE(text.find("\nchannels 2\nbind -1 cc 1 7 fader 0 trigger twos 0 1 0.01 0 fader\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("\ndevice"), std::string::npos) << "no device line for an empty name";
    EXPECT_NE(text.find("bit mask"), std::string::npos) << "the comment on mod=N";
}

TEST(MidiMappingFile, RoundTripKeepsEveryFieldWithLfOrCrlf) {
    MidiMapping m;
    m.device = "Pioneer DJ  XYZ  ü";
    m.channels = 4;
    const std::uint8_t kinds[] = {midi_class::note,
                                  midi_class::cc,
                                  midi_class::pitch,
                                  midi_class::touch,
                                  midi_class::poly,
                                  midi_class::program,
                                  0x42};
    int i = 0;
    for (std::uint8_t kind : kinds) {
        MidiBinding b;
        b.port = static_cast<std::int8_t>(i == 0 ? -1 : 100 + i);
        b.kind = kind;
        b.channel = static_cast<std::uint8_t>(15 - i);
        b.number = static_cast<std::uint8_t>(120 + i);
        b.action = static_cast<std::uint16_t>(i * 9);
        b.slot = i - 1;
        b.mode = static_cast<std::uint8_t>(i % 5);
        b.relative = static_cast<std::uint8_t>(i % 3);
        b.min = -0.125 - i; // values the ten digits of the file hold exactly
        b.max = (i + 1) / 1024.0;
        b.step = 123456.7891;
        b.param = -1.5e20;
        b.mod = static_cast<std::uint8_t>(i * 40);
        b.label = i % 2 ? "label with  inner   blanks" : "";
        m.bindings.push_back(b);
        ++i;
    }
    // The text with CRLF line ends reads the same.
    const std::string lf = writeMidiMapping(m);
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& text : {lf, crlf}) {
        MidiMapping back;
        const MidiMappingReadResult r = read(text, back);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(r.read, m.bindings.size());
        EXPECT_EQ(r.dropped, 0u);
        EXPECT_EQ(back.device, m.device);
        EXPECT_EQ(back.channels, 4);
        EXPECT_EQ(fields(back.bindings), fields(m.bindings));
    }
}

TEST(MidiMappingFile, WriterNormalisesWhatItCannotStore) {
    MidiMapping m;
    m.device = "two\nlines";
    MidiBinding b;
    b.kind = midi_class::note;
    b.action = 500; // no name
    b.mode = 9;
    b.relative = 7;
    b.label = "a\r\nb";
    m.bindings.push_back(b);
    const std::string text = writeMidiMapping(m);
    EXPECT_NE(text.find("device two lines\n"), std::string::npos);
    EXPECT_NE(text.find("bind -1 note 0 0 none 0 trigger twos 0 1 0.01 0 a  b\n"),
              std::string::npos)
        << text;
}

TEST(MidiMappingFile, MissingHeaderFailsAndLeavesTheMappingAlone) {
    MidiMapping m;
    m.device = "kept";
    for (const char* text :
         {"", "device X\nvyn-mapping 1\n", "# c\n\nbind -1 cc 0 1 fader 0", "vyn-mappings 1\n"}) {
        const MidiMappingReadResult r = read(text, m);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_EQ(r.message, "not a VYN mapping file");
        EXPECT_EQ(m.device, "kept");
    }
    const MidiMappingReadResult r = read("# comment\n\n\r\nvyn-mapping 7\ndevice D\n", m);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(m.device, "D");
    EXPECT_EQ(m.channels, 2);
}

TEST(MidiMappingFile, DeviceAndChannelsLines) {
    MidiMapping m;
    auto r = read(std::string(kHead) +
                      "device  first name \ndevice\ndevice second  name\nvyn-mapping 1\n"
                      "channels 0\nchannels 17\nchannels x\nchannels\nchannels +3\n",
                  m);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(m.device, "second  name");
    EXPECT_EQ(m.channels, 3);
    EXPECT_EQ(r.dropped, 4u);
    r = read(std::string(kHead) + "channels 0\nchannels 17\n", m);
    EXPECT_EQ(m.channels, 2);
    EXPECT_EQ(r.dropped, 2u);
}

TEST(MidiMappingFile, EveryBindRejectionRule) {
    // A valid line with one field replaced; field 13 is the optional modifier after the param.
    const std::vector<std::string> ok = {"bind",     "-1",   "cc", "0", "7",    "fader", "0",
                                         "absolute", "twos", "0",  "1", "0.01", "0",     ""};
    const std::pair<int, const char*> badFields[] = {
        {1, "-2"},        {1, "128"},      {1, "x"},        {2, "ccc"},   {2, "256"},
        {3, "16"},        {3, "-1"},       {4, "128"},      {5, "fadr"},  {6, "1.5"},
        {6, "100000001"}, {7, "Absolute"}, {8, "twoes"},    {9, "0,5"},   {10, "1e309"},
        {10, "9e308"},    {11, "inf"},     {11, "nan"},     {12, "1e"},   {12, "."},
        {12, "0x10"},     {13, "mod=0"},   {13, "mod=256"}, {13, "mod="}, {13, "mod=1x"}};
    auto line = [](const std::vector<std::string>& fields) {
        std::string out = fields[0];
        for (std::size_t i = 1; i < fields.size(); ++i)
            out += " " + fields[i];
        return out + "\n";
    };
    // Twelve fields, and an unknown keyword.
    std::string text = std::string(kHead) + line(ok) +
                       "bind -1 cc 0 7 fader 0 absolute twos 0 1 0.01\n" + "unknown keyword\n";
    for (const auto& [field, value] : badFields) {
        std::vector<std::string> fields = ok;
        fields[static_cast<std::size_t>(field)] = value;
        text += line(fields);
    }
    MidiMapping m;
    const MidiMappingReadResult r = read(text, m);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.read, 1u);
    EXPECT_EQ(r.dropped, std::size(badFields) + 2);
    ASSERT_EQ(m.bindings.size(), 1u);
    EXPECT_EQ(m.bindings[0].midiAction(), MidiAction::fader);
    // The word `none` is a valid action, and a numeric kind is accepted.
    ASSERT_TRUE(read(std::string(kHead) + "bind 127 255 15 127 none -7 relative offset +1 -1 "
                                          "2.5E+3 -0.0\n",
                     m)
                    .ok);
    ASSERT_EQ(m.bindings.size(), 1u);
    EXPECT_EQ(std::tuple(m.bindings[0].kind, m.bindings[0].slot, m.bindings[0].step),
              std::tuple(255, -7, 2500.0));
}

TEST(MidiMappingFile, SameKeyReplacesAndCountsBoth) {
    MidiMapping m;
    const MidiMappingReadResult r =
        read(std::string(kHead) + "bind 3 note 0 60 play 0 trigger twos 0 1 0.01 0 first\n"
                                  "bind -1 note 0 60 pause 1 trigger twos 0 1 0.01 0 second\n"
                                  "bind 4 note 0 60 pause 1 trigger twos 0 1 0.01 0 mod=1 shifted\n"
                                  "bind 4 touch 0 1 fader 0 absolute twos 0 1 0.01 0 any number\n"
                                  "bind 4 touch 0 2 trim 0 absolute twos 0 1 0.01 0 replaces\n",
             m);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.read, 5u);
    EXPECT_EQ(summary(m), (std::vector<std::string>{"-1 60 pause 0 second", "4 60 pause 1 shifted",
                                                    "4 2 trim 0 replaces"}));
}

TEST(MidiMappingFile, ModifierFieldAndLabels) {
    MidiMapping m;
    ASSERT_TRUE(read(std::string(kHead) +
                         "bind -1 note 0 1 play 0 trigger twos 0 1 0.01 0 mod=5 a  b\n"
                         "bind -1 note 0 2 play 0 trigger twos 0 1 0.01 0  \t label \n"
                         "bind -1 note 0 3 play 0 trigger twos 0 1 0.01 0 mod=7\n"
                         "bind -1 note 0 4 play 0 trigger twos 0 1 0.01 0 \n",
                     m)
                    .ok);
    EXPECT_EQ(summary(m), (std::vector<std::string>{"-1 1 play 5 a  b", "-1 2 play 0 label ",
                                                    "-1 3 play 7 ", "-1 4 play 0 "}));
    // A label that begins with "mod=" reads back as a modifier field: the format cannot tell.
    MidiMapping labelled;
    MidiBinding b;
    b.kind = midi_class::note;
    b.label = "mod=3 is my label";
    labelled.bindings.push_back(b);
    ASSERT_TRUE(read(writeMidiMapping(labelled), m).ok);
    EXPECT_EQ(summary(m), std::vector<std::string>{"-1 0 none 3 is my label"});
}

TEST(MidiMappingNumbers, Grammar) {
    const std::pair<const char*, double> good[] = {
        {"1e-05", 0.00001},
        {"0.00001", 0.00001},
        {"+.5", 0.5},
        {"5.", 5.0},
        {"-2E+2", -200.0},
        {"1e308", 1e308},
        {"1e-308", 1e-308},
        {"0.000001e-308", 1e-314},            // subnormal
        {"-0.0000000000000000001e-308", 0.0}, // too small even for a subnormal
        {"0e308", 0.0},
    };
    double v = 0;
    for (const auto& [text, value] : good) {
        EXPECT_TRUE(midi_mapping::parseNumber(text, v)) << text;
        EXPECT_EQ(v, value) << text;
    }
    for (const char* bad :
         {"",     "+",   "-",        ".",     "e5",     "1e",    "1e+",           "1.2.3",
          "1..2", " 1",  "1 ",       "1e309", "1e-309", "2e308", "999999999e300", "0x1p3",
          "1,5",  "--1", "infinity", "NaN"})
        EXPECT_FALSE(midi_mapping::parseNumber(bad, v)) << bad;
    std::int64_t i = 0;
    EXPECT_TRUE(midi_mapping::parseInteger("+100000000", i));
    EXPECT_EQ(i, 100000000);
    EXPECT_TRUE(midi_mapping::parseInteger("-0042", i));
    EXPECT_EQ(i, -42);
    for (const char* bad : {"", "+", "100000001", "99999999999999999999", "1.0", "1e3", " 1"})
        EXPECT_FALSE(midi_mapping::parseInteger(bad, i)) << bad;
}

TEST(MidiMappingNumbers, WriterFormatsLikePercentTenGInEveryLocale) {
    const std::pair<double, const char*> cases[] = {
        {0.01, "0.01"},
        {1e-05, "1e-05"},
        {0.0001, "0.0001"},
        {1234567890.0, "1234567890"},
        {12345678901.0, "1.23456789e+10"},
        {-0.08, "-0.08"},
        {1.0 / 3.0, "0.3333333333"},
        {2.0, "2"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(midi_mapping::formatNumber(value), text);
    // A decimal-comma locale changes nothing. The machine need not have one installed: one is
    // compiled for this test, and glibc reads it from LOCPATH. Windows names its locales its own
    // way and always has them.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    bool german = false;
    for (const char* name : {"de_DE.UTF-8", "de-DE", "German_Germany.1252"})
        german = german || std::setlocale(LC_NUMERIC, name) != nullptr;
    if (!german) {
        const std::string dir = test::scratchDir("locale");
        const auto made = test::runProcess("localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8'");
        ::vyn::test::setEnvironment("LOCPATH", dir.c_str());
        ASSERT_TRUE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) << made.err;
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5");
    EXPECT_EQ(midi_mapping::formatNumber(0.5), "0.5");
    double v = 0;
    EXPECT_TRUE(midi_mapping::parseNumber("0.5", v));
    EXPECT_EQ(v, 0.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
    ::vyn::test::unsetEnvironment("LOCPATH");
}

} // namespace
} // namespace vyn
