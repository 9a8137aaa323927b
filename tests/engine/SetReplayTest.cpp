#include "engine/SetReplay.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

ReplayEvent command(std::int64_t frame, int type, int deck, double value, std::string path = {}) {
    ReplayEvent e;
    e.frame = frame;
    e.command = type;
    e.deck = deck;
    e.value = value;
    e.path = std::move(path);
    return e;
}

TEST(SetReplayFile, WritesKeysInTheirFixedOrder) {
    SetReplay r;
    r.name = "Set \"A\"";
    r.createdAtMillis = 1700000000123;
    r.sampleRate = 44100.0;
    r.droppedEvents = 2;
    r.events.push_back(command(0, 1, 0, 0.0, "/m/a\\b.wav"));
    ReplayEvent midi;
    midi.isMidi = true;
    midi.frame = 12;
    midi.port = 1;
    midi.status = 0x90;
    midi.data1 = 60;
    midi.data2 = 127;
    r.events.push_back(midi);
    EXPECT_EQ(writeSetReplay(r),
              R"({"format":"vyn-set-replay","version":1,"name":"Set \"A\"",)"
              R"("createdAtMillis":1700000000123,"sampleRate":44100,"droppedEvents":2,"events":[)"
              R"({"frame":0,"kind":"command","command":1,"deck":0,"value":0,"trackId":0,)"
              R"("path":"/m/a\\b.wav"},)"
              R"({"frame":12,"kind":"midi","port":1,"status":144,"data1":60,"data2":127}]})");
}

TEST(SetReplayFile, RoundTripsWithoutLosingPositions) {
    SetReplay r;
    r.name = "round \xE2\x82\xAC trip\n";
    r.createdAtMillis = 5;
    r.events.push_back(command(10, 5, 3, 12345678.25));
    r.events.push_back(command(20, 6, 3, 1.0123456789));
    const auto back = readSetReplay(writeSetReplay(r));
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.replay.name, r.name);
    ASSERT_EQ(back.replay.events.size(), 2u);
    EXPECT_EQ(back.replay.events[0].value, 12345678.25);
    EXPECT_EQ(back.replay.events[1].value, 1.0123456789);
    EXPECT_EQ(back.replay.events[0].deck, 3);
    EXPECT_EQ(writeSetReplay(back.replay), writeSetReplay(r));
}

TEST(SetReplayFile, SkipsUnknownKeysAndMalformedEvents) {
    const char* text = R"(  {"extra":{"nested":[1,{"x":"y"}],"n":null},"format":"vyn-set-replay",
        "version":1,"name":"n","createdAtMillis":0,"sampleRate":0.5,"droppedEvents":-4,
        "events":[{"kind":"command","command":3},
                  {"frame":-1,"kind":"command","command":3},
                  {"frame":5,"kind":"other"},
                  {"frame":"7","kind":"command"},
                  {"frame":9,"kind":"command","command":4,"deck":1,"future":[1,2]},
                  {"frame":2,"kind":"midi","status":248}]})";
    const auto r = readSetReplay(text);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.replay.events.size(), 2u);
    EXPECT_EQ(r.replay.events[0].frame, 2);
    EXPECT_TRUE(r.replay.events[0].isMidi);
    EXPECT_EQ(r.replay.events[0].port, -1);
    EXPECT_EQ(r.replay.events[1].command, 4);
    EXPECT_EQ(r.replay.sampleRate, 1.0);
    EXPECT_EQ(r.replay.droppedEvents, 0);
}

TEST(SetReplayFile, DecodesEscapesInStrings) {
    const auto r = readSetReplay(
        R"({"format":"vyn-set-replay","version":1,"name":"a\/b\tc\u00e9\u20ac","events":[]})");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.replay.name, "a/b\tc\xC3\xA9\xE2\x82\xAC");
    EXPECT_FALSE(readSetReplay(R"({"format":"vyn-set-replay","version":1,"name":"\q"})").ok);
}

TEST(SetReplayFile, RejectsOtherFormatsAndVersions) {
    EXPECT_FALSE(readSetReplay(R"({"format":"vyn-set-replay","version":2,"events":[]})").ok);
    EXPECT_FALSE(readSetReplay(R"({"format":"vyn-mapping","version":1,"events":[]})").ok);
    EXPECT_FALSE(readSetReplay(R"({"version":1,"events":[]})").ok);
    EXPECT_FALSE(readSetReplay(R"([])").ok);
    EXPECT_FALSE(readSetReplay("").ok);
}

TEST(SetReplayFile, EmptyNameGetsTheSavedSetName) {
    const auto r = readSetReplay(R"({"format":"vyn-set-replay","version":1,"createdAtMillis":0})");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.replay.name.rfind("Saved set ", 0), 0u);
    EXPECT_EQ(r.replay.name.size(), std::string("Saved set 1970-01-01 00:00").size());
}

TEST(SetReplayFile, SortsEventsStablyByFrame) {
    const auto r = readSetReplay(
        R"({"format":"vyn-set-replay","version":1,"events":[)"
        R"({"frame":5,"kind":"command","command":1},{"frame":1,"kind":"command","command":2},)"
        R"({"frame":5,"kind":"command","command":3},{"frame":0,"kind":"command","command":4}]})");
    ASSERT_TRUE(r.ok);
    std::vector<int> order;
    for (const auto& e : r.replay.events)
        order.push_back(e.command);
    EXPECT_EQ(order, (std::vector<int>{4, 2, 1, 3}));
}

} // namespace
} // namespace vyn
