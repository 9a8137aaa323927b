// Byte streams into messages, the router's rings and fairness, message text and device labels.

#include "control/midi/MidiMessage.h"
#include "control/midi/MidiRouter.h"
#include "control/midi/MidiStreamParser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace vyn {
namespace {

std::vector<MidiMessage> parse(MidiStreamParser& p, std::vector<std::uint8_t> bytes,
                               std::size_t capacity = 64) {
    std::vector<MidiMessage> out(capacity);
    out.resize(p.parse(bytes.data(), bytes.size(), out.data(), capacity));
    return out;
}

struct Expected {
    MidiKind kind;
    int status, data1, data2;
    bool operator==(const Expected&) const = default;
};

void PrintTo(const Expected& e, std::ostream* os) {
    *os << static_cast<int>(e.kind) << " " << e.status << " " << e.data1 << " " << e.data2;
}

// Each case feeds its packets, in order, to one parser and expects these messages in all.
TEST(MidiStreamParser, Streams) {
    using K = MidiKind;
    struct Case {
        const char* name;
        std::vector<std::vector<std::uint8_t>> packets;
        std::vector<Expected> messages;
    };
    const Case cases[] = {
        {"running status, also across packets",
         {{0xB2, 7, 100, 8, 101, 9, 102}, {10, 103}},
         {{K::ControlChange, 0xB2, 7, 100},
          {K::ControlChange, 0xB2, 8, 101},
          {K::ControlChange, 0xB2, 9, 102},
          {K::ControlChange, 0xB2, 10, 103}}},
        {"real time inside messages comes first and leaves their state alone",
         {{0xB0, 0x10, 0xF8, 0x7F, 0x90, 60, 0xFE, 0xFA, 100}},
         {{K::SystemRealtime, 0xF8, 0, 0},
          {K::ControlChange, 0xB0, 0x10, 0x7F},
          {K::SystemRealtime, 0xFE, 0, 0},
          {K::SystemRealtime, 0xFA, 0, 0},
          {K::NoteOn, 0x90, 60, 100}}},
        {"sysex is swallowed while clock bytes keep flowing",
         {{0xF0, 0x7E, 0x01, 0xF8, 0x02, 0x03, 0xF7, 0x80, 64, 0}},
         {{K::SystemRealtime, 0xF8, 0, 0}, {K::NoteOff, 0x80, 64, 0}}},
        {"a status inside sysex ends it",
         {{0xF0, 0x01, 0x02, 0x90, 36, 127}},
         {{K::NoteOn, 0x90, 36, 127}}},
        {"sysex clears running status",
         {{0x90, 36, 127, 0xF0, 0x01, 0xF7, 37, 100}},
         {{K::NoteOn, 0x90, 36, 127}}},
        {"a truncated message is dropped when a new status arrives",
         {{0x90, 60, 0xB0, 1, 2}},
         {{K::ControlChange, 0xB0, 1, 2}}},
        {"stray data before any status is dropped", {{1, 2, 3}}, {}},
        {"a message split across packets completes",
         {{0xE3, 0}, {64}},
         {{K::PitchBend, 0xE3, 0, 64}}},
        {"one-byte and system common messages; system common cancels running status",
         {{0xC5, 12, 13, 0xD1, 99, 0xF2, 0x10, 0x20, 0xF3, 5, 0xF6, 7}},
         {{K::ProgramChange, 0xC5, 12, 0},
          {K::ProgramChange, 0xC5, 13, 0},
          {K::ChannelPressure, 0xD1, 99, 0},
          {K::SystemCommon, 0xF2, 0x10, 0x20},
          {K::SystemCommon, 0xF3, 5, 0},
          {K::SystemCommon, 0xF6, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MidiStreamParser p;
        std::vector<MidiMessage> got;
        for (const auto& packet : c.packets) {
            const auto m = parse(p, packet);
            got.insert(got.end(), m.begin(), m.end());
        }
        std::vector<Expected> seen;
        for (const MidiMessage& m : got) {
            seen.push_back({static_cast<MidiKind>(m.kind), m.status, m.data1, m.data2});
            if (m.status < 0xF0) {
                EXPECT_EQ(m.channel, m.status & 0x0F);
            }
        }
        EXPECT_EQ(seen, c.messages);
    }
}

TEST(MidiStreamParser, MessagesBeyondCapacityAreCounted) {
    MidiStreamParser p;
    auto m = parse(p, {0xF8, 0xF8, 0xF8, 0x90, 1, 2}, 2);
    EXPECT_EQ(m.size(), 2u);
    EXPECT_EQ(p.overflow(), 2u);
    p.reset();
    EXPECT_EQ(p.overflow(), 0u);
}

TEST(MidiMessageText, FormatsEveryKind) {
    const std::pair<MidiMessage, const char*> cases[] = {
        {MidiMessage::fromBytes(0x90, 60, 100), "ch1   note on    note  60  vel 100"},
        {MidiMessage::fromBytes(0x9F, 60, 0), "ch16  note off   note  60  vel   0"},
        {MidiMessage::fromBytes(0xA1, 3, 4), "ch2   aftertouch note   3  val   4"},
        {MidiMessage::fromBytes(0xB0, 7, 127), "ch1   cc         num    7  val 127"},
        {MidiMessage::fromBytes(0xC0, 5), "ch1   program    val    5"},
        {MidiMessage::fromBytes(0xD0, 5), "ch1   pressure   val    5"},
        {MidiMessage::fromBytes(0xE0, 0, 64), "ch1   pitch bend     +0"},
        {MidiMessage::fromBytes(0xE0, 0, 0), "ch1   pitch bend  -8192"},
        {MidiMessage::fromBytes(0xE0, 127, 127), "ch1   pitch bend  +8191"},
        {MidiMessage::fromBytes(0xF8), "--    clock     "},
        {MidiMessage::fromBytes(0xFD), "--    ?         "},
        {MidiMessage::fromBytes(0xF2, 1, 2), "--    song pos     1    2"},
        {MidiMessage{}, "(none)"},
    };
    for (const auto& [message, text] : cases)
        EXPECT_EQ(formatMidiMessage(message), text);
}

TEST(MidiMessageText, AlwaysTerminatesInSmallBuffers) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    const std::size_t n = formatMidiMessage(MidiMessage::fromBytes(0x90, 60, 100), buffer, 8);
    EXPECT_EQ(n, 7u);
    EXPECT_STREQ(buffer, "ch1   n");
    char one[1] = {'x'};
    EXPECT_EQ(formatMidiMessage(MidiMessage::fromBytes(0x90, 60, 100), one, 1), 0u);
    EXPECT_EQ(one[0], '\0');
}

TEST(MidiDeviceLabel, StripsVendorPrefixesAndCuts) {
    EXPECT_EQ(midiDeviceLabel("Pioneer DJ XYZ-1"), "XYZ-1");
    EXPECT_EQ(midiDeviceLabel("  AlphaTheta XYZ-2 \t"), "XYZ-2");
    EXPECT_EQ(midiDeviceLabel("pioneer  ABC"), "ABC");
    EXPECT_EQ(midiDeviceLabel("Pioneer DJ"), "DJ") << "the prefix needs its trailing blank";
    EXPECT_EQ(midiDeviceLabel("   "), "MIDI");
    EXPECT_EQ(midiDeviceLabel("Pioneer "), "Pioneer") << "trimmed before the prefixes are tried";
    EXPECT_EQ(midiDeviceLabel("AlphaTheta  "), "AlphaTheta");
    EXPECT_EQ(midiDeviceLabel("A Very Long Controller Name"), "A Very Long Co");
    // Fourteen bytes would split the eighth two-byte character: the cut keeps whole ones.
    EXPECT_EQ(midiDeviceLabel("ééééééééé"), "ééééééé");
}

class MidiRouterTest : public ::testing::Test {
protected:
    void feed(int port, std::vector<std::uint8_t> bytes, std::uint32_t time = 1) {
        router.feed(port, bytes.data(), bytes.size(), time);
    }
    MidiRouter router;
};

TEST_F(MidiRouterTest, IgnoresPortsThatAreNotConnected) {
    int seen = 0;
    router.setObserver([&](int, const MidiMessage&, std::uint32_t) { ++seen; });
    feed(0, {0x90, 1, 2});
    feed(9, {0x90, 1, 2});
    EXPECT_EQ(seen, 0);
    EXPECT_FALSE(router.portConnected(8, "x"));
    EXPECT_FALSE(router.portConnected(-1, "x"));
    ASSERT_TRUE(router.portConnected(0, "Deck"));
    feed(0, {0x90, 1, 2});
    router.feed(0, nullptr, 3, 1);
    EXPECT_EQ(seen, 1);
    router.portDisconnected(0);
    feed(0, {0x90, 1, 2});
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(router.received(0), 1u);
    EXPECT_EQ(router.received(12), 0u);
    EXPECT_EQ(router.name(12), "");
}

TEST_F(MidiRouterTest, RingHoldsAtMost255AndTheObserverSeesEverything) {
    std::vector<int> observed;
    router.setObserver([&](int port, const MidiMessage& m, std::uint32_t time) {
        observed.push_back(m.data1);
        EXPECT_EQ(port, 3);
        EXPECT_EQ(time, 42u);
    });
    router.portConnected(3, "p");
    // One long chunk, parsed whole: 256 control changes in running status.
    std::vector<std::uint8_t> bytes = {0xB0};
    for (int i = 0; i < 256; ++i)
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(i & 0x7F), 1});
    feed(3, bytes, 42);
    EXPECT_EQ(router.received(3), 255u);
    EXPECT_EQ(router.dropped(3), 1u);
    EXPECT_EQ(observed.size(), 256u);
    MidiRouterEntry out[300];
    EXPECT_EQ(router.drain(out, 300), 255u);
    EXPECT_EQ(out[0].port, 3);
    EXPECT_EQ(out[0].time, 42u);
    EXPECT_EQ(out[254].message.data1, 254 & 0x7F);
    // Reconnecting starts the counts again.
    router.portConnected(3, "p");
    EXPECT_EQ(router.received(3), 0u);
    EXPECT_EQ(router.dropped(3), 0u);
}

TEST_F(MidiRouterTest, DrainTakesOneEntryPerPortPerPass) {
    for (int p : {0, 2, 7})
        router.portConnected(p, "dev");
    for (int i = 0; i < 5; ++i)
        feed(0, {0x90, static_cast<std::uint8_t>(i), 1});
    feed(2, {0x90, 20, 1});
    feed(7, {0x90, 70, 1});
    feed(7, {0x90, 71, 1});
    // (port, note) of what one drain of at most `room` entries returns.
    auto drain = [&](std::size_t room) {
        MidiRouterEntry out[16];
        std::vector<std::pair<int, int>> got;
        for (std::size_t i = 0, n = router.drain(out, room); i < n; ++i)
            got.emplace_back(out[i].port, out[i].message.data1);
        return got;
    };
    using Got = std::vector<std::pair<int, int>>;
    EXPECT_EQ(drain(4), (Got{{0, 0}, {2, 20}, {7, 70}, {0, 1}}));
    EXPECT_EQ(drain(16), (Got{{0, 2}, {7, 71}, {0, 3}, {0, 4}}));
    EXPECT_TRUE(drain(16).empty());
}

TEST_F(MidiRouterTest, NamesAreCutOnCodePointBoundaries) {
    std::string name;
    for (int i = 0; i < 40; ++i)
        name += "\xC3\xA9"; // 80 bytes of é
    router.portConnected(0, name);
    EXPECT_EQ(router.name(0).size(), 62u);
    EXPECT_EQ(router.name(0), name.substr(0, 62));
}

} // namespace
} // namespace vyn
