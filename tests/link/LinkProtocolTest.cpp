// The Link protocol's pure parts: surface messages, the state document bytes, the waveform frame,
// pairing codes and the pairing link.

#include "control/link/LinkProtocol.h"
#include "dsp/Waveform.h"
#include "engine/Command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <set>

namespace vyn {
namespace {

// A message as one comparable line: its kind and the fields that kind carries.
std::string describe(const std::string& text) {
    const LinkMessage m = parseLinkMessage(text);
    char line[128];
    switch (m.kind) {
    case LinkMessageKind::Command:
        std::snprintf(line, sizeof line, "cmd %d deck %d value %g%s", m.intent.command,
                      m.intent.deck, m.intent.value, m.intent.hasCommand ? "" : " (no command)");
        return line;
    case LinkMessageKind::Hello:
        return "hello '" + m.pair + "'";
    case LinkMessageKind::Browse:
        std::snprintf(line, sizeof line, "%s row %d track %u deck %d",
                      m.browse.kind == BrowseIntent::LOAD ? "load" : "pick", m.browse.row,
                      m.browse.trackId, m.browse.deck);
        return line;
    case LinkMessageKind::Ignored:
        break;
    }
    return "ignored";
}

TEST(LinkMessages, Parsed) {
    const std::string longCode(256, '1');
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        // Commands: deck -1 and value 0 when absent; ordinal and deck truncated before the range
        // check, so deck 15.7 is deck 16 and -1.9 is "no deck".
        {R"({"t":"cmd","c":3,"d":0})", "cmd 3 deck 0 value 0"},
        {R"({"c":16,"t":"cmd"})", "cmd 16 deck -1 value 0"},
        {R"( { "t" : "cmd" , "v" : -0.5, "c" : 43.9, "d" : 15 } )", "cmd 43 deck 15 value -0.5"},
        {R"({"t":"cmd","c":64.9,"d":15.7})", "cmd 64 deck 15 value 0"},
        {R"({"t":"cmd","c":3,"d":-1.9})", "cmd 3 deck -1 value 0"},
        // Hellos: the code is a string of at most 256 bytes.
        {R"({"t":"hello","pair":"0427"})", "hello '0427'"},
        {R"({"t":"hello","pair":""})", "hello ''"},
        {R"({"t":"hello","pair":")" + longCode + "\"}", "hello '" + longCode + "'"},
        // A scanner that looks for the first "c" would find one inside a string.
        {R"({"t":"hello","pair":"\"t\":\"cmd\",\"c\":3"})", R"(hello '"t":"cmd","c":3')"},
        // Browse intents.
        {R"({"t":"load","id":42,"d":3})", "load row 0 track 42 deck 3"},
        {R"({"t":"load","id":4294967295})", "load row 0 track 4294967295 deck 0"},
        {R"({"t":"pick","i":0,"d":15})", "pick row 0 track 0 deck 15"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe(c.text), c.expected) << c.text.substr(0, 80);
}

TEST(LinkMessages, Ignored) {
    const std::string ignored[] = {
        // Commands out of range, not finite, or without an ordinal (a string is not a number).
        R"({"t":"cmd","c":65,"d":0})", R"({"t":"cmd","c":3,"d":16})", R"({"t":"cmd","c":3,"d":-2})",
        R"({"t":"cmd","c":-1})", R"({"t":"cmd","c":1e300,"d":0})",
        R"({"t":"cmd","c":3,"d":-1e300})", R"({"t":"cmd","c":3,"d":0,"v":1e999})",
        R"({"t":"cmd","c":"3","d":0})", R"({"t":"cmd","d":0})",
        R"({"x":"\"t\":\"cmd\"","c":3,"d":0})",
        // Hellos without a string code of at most 256 bytes.
        R"({"t":"hello","pair":427})", R"({"t":"hello"})",
        R"({"t":"hello","pair":")" + std::string(257, '1') + "\"}",
        // Browse intents out of range.
        R"({"t":"load","id":0})", R"({"t":"load","id":-5})", R"({"t":"load","id":4294967296})",
        R"({"t":"load","id":1e20})", R"({"t":"load","id":3,"d":16})", R"({"t":"pick","i":-1})",
        R"({"t":"pick","i":2147483648})", R"({"t":"pick"})",
        // Malformed text.
        "", "not json", "[1,2]", R"({"t":3})", R"({"t":"cmd","c":3)", R"({"t":"unknown","c":3})",
        R"("cmd")", std::string(10000, '[') + std::string(10000, ']')};
    for (const std::string& text : ignored)
        EXPECT_EQ(describe(text), "ignored") << text.substr(0, 80);
}

TEST(LinkMessages, EveryCommandButTheTrackLoadsIsAccepted) {
    std::set<int> refused;
    for (int c = 0; c <= 64; ++c)
        if (parseLinkMessage(R"({"t":"cmd","d":0,"c":)" + std::to_string(c) + "}").kind !=
            LinkMessageKind::Command)
            refused.insert(c);
    const std::set<int> loads = {static_cast<int>(CommandType::LOAD_TRACK),
                                 static_cast<int>(CommandType::REPLACE_TRACK)};
    EXPECT_EQ(refused, loads);
}

// A snapshot whose every state-document field is known.
EngineSnapshot knownSnapshot() {
    EngineSnapshot s;
    s.masterBpm = 124.5f;
    s.masterDeck = 0;
    s.quantise = true;
    s.beatJumpBeats = 16;
    DeckSnapshot& a = s.decks[0];
    a.state = 2;
    a.position = 96000.5;
    a.length = 480000;
    a.rate = 1.02;
    a.userRate = 1.0;
    a.bpm = 124.5f;
    a.beat = 33.25;
    a.bar = 1.25f;
    a.hotCueMask = 5;
    a.hotCueSeconds[0] = 1.5f;
    a.hotCueSeconds[1] = 7.0f; // its bit is clear: sent as -1
    a.hotCueSeconds[2] = 30.25f;
    a.mainCue = 24000;
    a.hasGrid = a.sync = a.isMaster = a.looping = true;
    a.stemsAvailable = a.stemsOn = true;
    a.stemGains[1] = 0.5f;
    a.stemGains[2] = 0.0f;
    a.stemGains[3] = 0.25f;
    a.stemVariant = 1;
    a.keyShift = -2;
    a.loopInSeconds = 10.5f;
    a.loopOutSeconds = 12.5f;
    DeckSnapshot& b = s.decks[1];
    b.position = std::numeric_limits<double>::quiet_NaN();
    b.rate = std::numeric_limits<double>::infinity();
    b.slipSeconds = std::numeric_limits<float>::quiet_NaN();
    return s;
}

TEST(LinkStateDocument, KnownSnapshotGivesExactBytes) {
    const EngineSnapshot snap = knownSnapshot();
    LinkDeckRecord records[16];
    records[0].name = "Tab\there \"q\" back\\ nl\n \x01 bad\xff";
    records[0].trackId = 7;
    records[0].sampleRate = 48000.0;
    records[0].waveColumns = 1500;
    records[0].zoomSeconds = 6.0;
    LinkStateInput in;
    in.deckCount = 2;
    in.decks = records;
    in.snapshot = &snap;
    in.outputSampleRate = 48000.0;
    in.focusedDeck = 1;
    in.controllerDecks = 3;
    const std::string expected =
        R"({"t":"state","session":"VYN","fd":1,"oc":3,"bpm":124.5,"master":0,"sr":48000,)"
        R"("quantise":true,"bj":16,"decks":[)"
        R"({"i":0,"name":"Tab\there \"q\" back\\ nl\n \u0001 bad)"
        "\xEF\xBF\xBD"
        R"(","track":7,"wv":1500,"za":6,"sr":48000,"state":2,"pos":96000.5,"len":480000,)"
        R"("rate":1.02,"ur":1,"bpm":124.5,"beat":33.25,"bar":1.25,"cues":5,)"
        R"("ct":[1.5,-1,30.25,-1,-1,-1,-1,-1],"mc":0.5,"f":196700,"sg":[1,0.5,0,0.25],"sq":1,)"
        R"("ks":-2,"loop":true,"li":10.5,"lo":12.5,"ss":-1},)"
        R"({"i":1,"name":"","track":0,"wv":0,"za":0,"sr":48000,"state":0,"pos":0,"len":0,)"
        R"("rate":0,"ur":1,"bpm":0,"beat":0,"bar":0,"cues":0,"ct":[-1,-1,-1,-1,-1,-1,-1,-1],)"
        R"("mc":0,"f":0,"ks":0,"loop":false,"li":-1,"lo":-1,"ss":-1}]})";
    EXPECT_EQ(buildStateDocument(in), expected);
}

TEST(LinkStateDocument, OptionalKeysDeckCountClampAndTheTracksRate) {
    const EngineSnapshot snap = knownSnapshot();
    LinkStateInput in;
    in.snapshot = &snap;
    in.deckCount = 40;
    in.focusedDeck = 16;
    in.controllerDecks = -1;
    std::string doc = buildStateDocument(in);
    EXPECT_EQ(doc.find("\"fd\""), std::string::npos);
    EXPECT_EQ(doc.find("\"oc\""), std::string::npos);
    EXPECT_NE(doc.find("{\"i\":15,"), std::string::npos);
    EXPECT_EQ(doc.find("{\"i\":16,"), std::string::npos);
    in.deckCount = -3;
    EXPECT_NE(buildStateDocument(in).find("\"decks\":[]}"), std::string::npos);
    // A track's own sample rate makes its main cue seconds: 44100 frames at 44.1 kHz.
    EngineSnapshot cued;
    cued.decks[0].mainCue = 44100;
    LinkDeckRecord records[16];
    records[0].sampleRate = 44100.0;
    in = LinkStateInput{};
    in.deckCount = 1;
    in.decks = records;
    in.snapshot = &cued;
    in.outputSampleRate = 96000.0;
    doc = buildStateDocument(in);
    EXPECT_NE(doc.find("\"sr\":44100,"), std::string::npos);
    EXPECT_NE(doc.find("\"mc\":1,"), std::string::npos);
    EXPECT_NE(doc.find("\"sr\":96000,\"quantise\""), std::string::npos);
}

TEST(LinkWaveformFrame, HeaderIsLittleEndianAndColumnsFollow) {
    const WaveColumn cols[2] = {{31, 7, 0, 3}, {5, 1, 2, 4}};
    const std::string p = buildWaveformPayload(3, 7, kWaveOverview, 12.5f, cols, 2);
    ASSERT_EQ(p.size(), 28u);
    const std::string header("\x03\0\0\0\x07\0\0\0\x02\0\0\0\x01\0\0\0\0\0\x48\x41", 20);
    EXPECT_EQ(p.substr(0, 20), header); // 12.5f = 0x41480000
    EXPECT_EQ(p.substr(20), std::string("\x1f\x07\x00\x03\x05\x01\x02\x04", 8));
    EXPECT_TRUE(buildWaveformPayload(0, 1, kWaveDetail, 150.0f, cols, 0).empty());
    const std::string negative = buildWaveformPayload(0, -2, kWaveDetail, 150.0f, cols, 1);
    EXPECT_EQ(negative.substr(4, 4), std::string("\xfe\xff\xff\xff", 4));
}

TEST(PairingCode, FourDigitsFromTheRandomDevice) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string code = drawPairingCode();
        EXPECT_TRUE(isPairingCode(code)) << code;
        seen.insert(code);
    }
    EXPECT_GT(seen.size(), 1u);
    for (const char* bad : {"", "123", "12345", "12a4", " 123", "-123"})
        EXPECT_FALSE(isPairingCode(bad)) << bad;
    EXPECT_TRUE(isPairingCode("0000"));
}

TEST(PairingLink, UsableAddresses) {
    for (const char* good :
         {"10.0.0.5", "192.168.1.20", "1.2.3.4", "255.255.255.255", "169.253.1.1"})
        EXPECT_TRUE(isUsableAddress(good)) << good;
    for (const char* bad :
         {"0.1.2.3", "127.0.0.1", "169.254.3.4", "256.1.1.1", "1.2.3", "1.2.3.4.5", "1.2.3.4 ",
          "a.b.c.d", "1..2.3", "1.2.3.0004", "", "fe80::1"})
        EXPECT_FALSE(isUsableAddress(bad)) << bad;
}

TEST(PairingLink, AddressesPortAndCode) {
    EXPECT_EQ(pairingLink({"10.0.0.5", "192.168.1.20"}, 17999, "0427"),
              "vynlink://10.0.0.5,192.168.1.20:17999/0427");
    EXPECT_EQ(pairingLink({"169.254.1.1", "10.0.0.5", "127.0.0.1"}, 17999, "0427"),
              "vynlink://10.0.0.5:17999/0427");
    EXPECT_EQ(pairingLink({"169.254.1.1"}, 17999, "0427"), "");
    EXPECT_EQ(pairingLink({}, 17999, "0427"), "");
    EXPECT_EQ(pairingLink({"10.0.0.5"}, 0, "0427"), "");
    EXPECT_EQ(pairingLink({"10.0.0.5"}, 65536, "0427"), "");
    EXPECT_EQ(pairingLink({"10.0.0.5"}, 17999, "427"), "");
    EXPECT_EQ(pairingLink({"10.0.0.5"}, 65535, "9999"), "vynlink://10.0.0.5:65535/9999");
}

} // namespace
} // namespace vyn
