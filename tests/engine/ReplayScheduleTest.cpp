// The one reading of a set replay, as the live player and the offline renderer share it: what is
// replayed, loads decoded ahead and handed over at their frame, the speed, pause and resume; and
// the set replay file it reads.

#include "engine/ReplaySchedule.h"
#include "common/RenderedSets.h"
#include "engine/ReplayPlayer.h"
#include "engine/SetReplay.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vyn {
namespace {

constexpr double kRate = 1000.0; // frames per second of the sets below: seconds read easily

// What the schedule sent, in order, as short words ("post 3 d0 1", "preload d1 a.wav",
// "handover d1", "swap 0 2", "discard").
class Recorded final : public ReplayOutput {
public:
    bool post(const Command& c) override { return say("post %d d%d %g", c.type, c.deck, c.value); }
    bool preload(int deck, std::int32_t trackId, const std::string& path) override {
        return trackId > 0 ? say("preload d%d #%d", deck, trackId)
                           : say("preload d%d %s", deck, path.c_str());
    }
    HandOver handOver(int deck) override {
        say("handover d%d", deck);
        return decoding ? HandOver::Waiting : HandOver::Done;
    }
    void swap(int a, int b) override { say("swap %d %d", a, b); }
    void discardPreloads() override { log.push_back("discard"); }

    template <class... Args> bool say(const char* format, Args... args) {
        char text[256];
        std::snprintf(text, sizeof text, format, args...);
        log.push_back(text);
        return true;
    }
    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(log);
        return out;
    }

    std::vector<std::string> log;
    bool decoding = false;
};

ReplayEvent command(std::int64_t frame, CommandType type, int deck, double value = 0.0) {
    return test::setCommand(frame, type, deck, value);
}

ReplayEvent load(std::int64_t frame, int deck, std::string path, int trackId = 0) {
    ReplayEvent e = test::setCommand(frame, CommandType::LOAD_TRACK, deck, 0.0, std::move(path));
    e.trackId = trackId;
    return e;
}

SetReplay setOf(std::vector<ReplayEvent> events) {
    SetReplay s;
    s.sampleRate = kRate;
    s.events = std::move(events);
    return s;
}

constexpr std::size_t kReset = 2 * kDeckCount; // UNLOAD and SET_RATE per deck

TEST(ReplaySchedule, ReplaysCommandsButNotMidiStemsOrUnknownOrdinals) {
    ReplayEvent midi;
    midi.isMidi = true;
    midi.frame = 1;
    midi.status = 0xB0;
    ReplayEvent bad = command(1, CommandType::NONE, 0);
    bad.command = -3;
    Recorded out;
    ReplaySchedule s(setOf(
        {command(1, CommandType::NONE, 0), bad, midi, command(1, CommandType::PLAY, 2),
         command(1, CommandType::SET_FX_MIX, -1, 0.5), command(1, CommandType::SWAP_DECKS, 0, 2.0),
         command(1, CommandType::SWAP_DECKS, 0, 16.0), command(1, CommandType::SET_STEMS, 1, 1.0),
         command(1, CommandType::REPLACE_TRACK, 1)}));
    EXPECT_TRUE(s.advanceTo(1, out));
    EXPECT_EQ(out.log, (std::vector<std::string>{"post 3 d2 0", "post 28 d-1 0.5", "swap 0 2"}))
        << "a swap goes to the loader; a swap with a deck beyond 16 and stems are skipped";
    EXPECT_EQ(s.nextFrame(), -1);
}

TEST(ReplaySchedule, LoadsAreDecodedFourSecondsAheadOnceAndHandedOverAtTheirFrame) {
    Recorded out;
    ReplaySchedule s(setOf({load(10000, 0, "/a.wav"), command(10000, CommandType::PLAY, 0),
                            load(10500, 1, "", 42), load(30000, 0, "/b.wav")}));
    s.advanceTo(5999, out);
    EXPECT_TRUE(out.take().empty()) << "more than four seconds ahead";
    s.advanceTo(6000, out);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"preload d0 /a.wav"}));
    s.advanceTo(6600, out);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"preload d1 #42"})) << "by catalogue id";
    s.advanceTo(9999, out);
    EXPECT_TRUE(out.take().empty()) << "nothing issued twice";
    s.advanceTo(10000, out);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"handover d0", "post 3 d0 0"}))
        << "the load reaches its deck before the command recorded after it";
    s.advanceTo(27000, out);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"preload d0 /b.wav", "handover d1"}))
        << "deck 0's next load starts once its held track went over";
}

TEST(ReplaySchedule, AHeldTrackStillDecodingHoldsTheScheduleAtItsFrame) {
    Recorded out;
    out.decoding = true;
    ReplaySchedule s(setOf({load(100, 0, "/a.wav"), command(100, CommandType::PLAY, 0),
                            command(200, CommandType::PAUSE, 0)}));
    EXPECT_FALSE(s.advanceTo(300, out));
    EXPECT_EQ(s.position(), 100);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"preload d0 /a.wav", "handover d0"}));
    out.decoding = false;
    EXPECT_TRUE(s.advanceTo(300, out));
    EXPECT_EQ(out.take(), (std::vector<std::string>{"handover d0", "post 3 d0 0", "post 4 d0 0"}));
    EXPECT_EQ(s.position(), 300);
}

TEST(ReplaySchedule, RewindDropsHeldLoadsAndIssuesThemAgain) {
    Recorded out;
    ReplaySchedule s(setOf({load(5000, 0, "/a.wav")}));
    s.advanceTo(1000, out);
    s.rewind(out);
    s.advanceTo(1000, out);
    EXPECT_EQ(out.log,
              (std::vector<std::string>{"preload d0 /a.wav", "discard", "preload d0 /a.wav"}));
    EXPECT_EQ(s.position(), 1000);
}

TEST(ReplayPlayer, TicksTurnWallTimeIntoFramesAndEndTheReplay) {
    Recorded out;
    ReplayPlayer p;
    // A set with events only at frame zero is done at once.
    p.start(setOf({command(0, CommandType::SET_QUANTISE, -1, 1.0)}), out);
    const std::vector<std::string> started = out.take();
    ASSERT_EQ(started.size(), kReset + 1);
    EXPECT_EQ(started.back(), "post 18 d-1 1");
    EXPECT_TRUE(p.loaded());
    EXPECT_FALSE(p.playing());
    EXPECT_FALSE(p.ownsMix()) << "the live controls keep the mix";
    EXPECT_EQ(p.timeText(), "0:00 / 0:00");
    p.start(setOf({command(0, CommandType::PLAY, 0), command(100, CommandType::PAUSE, 0),
                   command(2000, CommandType::PLAY, 0)}),
            out);
    EXPECT_EQ(out.log.front(), "post 2 d0 0") << "each deck emptied first";
    EXPECT_EQ(out.log[1], "post 6 d0 1") << "and its rate put back";
    out.take();
    EXPECT_TRUE(p.ownsMix());
    p.tick(0.0004, out); // under one frame: kept for the next tick
    EXPECT_EQ(p.timeText(), "0:00 / 0:02");
    p.tick(0.1, out);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"post 4 d0 0"}));
    p.tick(-5.0, out);
    p.tick(1.0, out);
    EXPECT_EQ(p.timeText(), "0:01 / 0:02");
    EXPECT_TRUE(p.playing());
    p.tick(5.0, out);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"post 3 d0 0"}));
    EXPECT_FALSE(p.playing()) << "stops at the last event";
    EXPECT_FALSE(p.ownsMix());
    EXPECT_EQ(p.timeText(), "0:02 / 0:02");
}

TEST(ReplayPlayer, FourTimesSpeedScalesRecordedRatesAndNormalSpeedRestoresThem) {
    Recorded out;
    ReplayPlayer p;
    p.start(setOf({command(0, CommandType::SET_RATE, 3, 1.02), command(1000, CommandType::PLAY, 3),
                   command(10000, CommandType::PAUSE, 3)}),
            out);
    out.take();
    p.toggleSpeed(out);
    EXPECT_EQ(p.speed(), 4.0);
    std::vector<std::string> rates = out.take();
    ASSERT_EQ(rates.size(), static_cast<std::size_t>(kDeckCount));
    EXPECT_EQ(rates[0], "post 6 d0 4");
    EXPECT_EQ(rates[3], "post 6 d3 4.08");
    p.tick(0.25, out); // a quarter second is a whole second of the set
    EXPECT_EQ(out.take(), (std::vector<std::string>{"post 3 d3 0"}));
    p.toggleSpeed(out);
    rates = out.take();
    EXPECT_EQ(rates[3], "post 6 d3 1.02");
    EXPECT_EQ(rates[15], "post 6 d15 1");
}

TEST(ReplayPlayer, PauseStopsOnlyThePlayingDecksAndResumeRestartsOnlyThose) {
    Recorded out;
    ReplayPlayer p;
    p.start(setOf({command(0, CommandType::PLAY, 1), command(5000, CommandType::PAUSE, 1)}), out);
    out.take();
    EngineSnapshot state;
    state.decks[1].state = static_cast<std::uint8_t>(DeckState::PLAYING);
    state.decks[4].state = static_cast<std::uint8_t>(DeckState::PLAYING);
    state.decks[2].state = static_cast<std::uint8_t>(DeckState::PAUSED);
    p.pause(state, out);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"post 4 d1 0", "post 4 d4 0"}));
    EXPECT_TRUE(p.paused());
    EXPECT_TRUE(p.ownsMix()) << "a paused replay keeps the mix";
    p.tick(10.0, out);
    EXPECT_TRUE(out.take().empty()) << "time stands still while paused";
    p.resume(out);
    EXPECT_EQ(out.take(), (std::vector<std::string>{"post 3 d1 0", "post 3 d4 0"}));
    p.resume(out);
    EXPECT_TRUE(out.take().empty());
    p.takeOver(out);
    EXPECT_FALSE(p.loaded());
    EXPECT_FALSE(p.ownsMix());
    EXPECT_TRUE(out.take().empty()) << "the decks keep what they have";
}

TEST(SetReplayFile, WritesKeysInTheirFixedOrder) {
    SetReplay r;
    r.name = "Set \"A\"";
    r.createdAtMillis = 1700000000123;
    r.sampleRate = 44100.0;
    r.droppedEvents = 2;
    r.events.push_back(load(0, 0, "/m/a\\b.wav"));
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
    r.events.push_back(command(10, CommandType::SET_PLAYHEAD, 3, 12345678.25));
    r.events.push_back(command(20, CommandType::SET_RATE, 3, 1.0123456789));
    const auto back = readSetReplay(writeSetReplay(r));
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.replay.name, r.name);
    ASSERT_EQ(back.replay.events.size(), 2u);
    EXPECT_EQ(back.replay.events[0].value, 12345678.25);
    EXPECT_EQ(back.replay.events[1].value, 1.0123456789);
    EXPECT_EQ(back.replay.events[0].deck, 3);
    EXPECT_EQ(writeSetReplay(back.replay), writeSetReplay(r));
}

TEST(SetReplayFile, SkipsUnknownKeysAndMalformedEventsButRefusesOtherFormats) {
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
    // Other formats and versions are refused whole.
    EXPECT_FALSE(readSetReplay(R"({"format":"vyn-set-replay","version":2,"events":[]})").ok);
    EXPECT_FALSE(readSetReplay(R"({"format":"vyn-mapping","version":1,"events":[]})").ok);
    EXPECT_FALSE(readSetReplay(R"({"version":1,"events":[]})").ok);
    EXPECT_FALSE(readSetReplay(R"([])").ok);
    EXPECT_FALSE(readSetReplay("").ok);
}

TEST(SetReplayFile, SortsEventsStablyByFrameAndNamesAnUnnamedSet) {
    const auto r = readSetReplay(
        R"({"format":"vyn-set-replay","version":1,"createdAtMillis":0,"events":[)"
        R"({"frame":5,"kind":"command","command":1},{"frame":1,"kind":"command","command":2},)"
        R"({"frame":5,"kind":"command","command":3},{"frame":0,"kind":"command","command":4}]})");
    ASSERT_TRUE(r.ok);
    std::vector<int> order;
    for (const auto& e : r.replay.events)
        order.push_back(e.command);
    EXPECT_EQ(order, (std::vector<int>{4, 2, 1, 3}));
    EXPECT_EQ(r.replay.name.rfind("Saved set ", 0), 0u);
    EXPECT_EQ(r.replay.name.size(), std::string("Saved set 1970-01-01 00:00").size());
}

} // namespace
} // namespace vyn
