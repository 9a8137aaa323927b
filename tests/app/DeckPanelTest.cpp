// A deck panel's logic without a display: what its controls post, its labels, badges and texts,
// the REV hold, the tempo slider, the zoom and the time and level labels.

#include "app/DeckPanel.h"
#include "dsp/Waveform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace vyn {
namespace {

using namespace deck_control;
using Clock = DeckPanel::Clock;

struct Collector final : CommandSink {
    std::vector<Command> commands;
    bool accept = true;
    bool post(const Command& c) override {
        if (accept) commands.push_back(c);
        return accept;
    }
};

// What a sink received, for whole-record comparisons.
using Posted = std::vector<std::tuple<CommandType, int, double>>;
Posted posted(const Collector& sink) {
    Posted out;
    for (const Command& c : sink.commands)
        out.emplace_back(c.commandType(), c.deck, c.value);
    return out;
}
using CT = CommandType;

DeckSnapshot deckIn(DeckState state) {
    DeckSnapshot s;
    s.state = static_cast<std::uint8_t>(state);
    return s;
}

TEST(DeckPanel, PlayOnAnEmptyDeckOrWithoutAnOutputPairPostsNothingAndSaysWhy) {
    DeckPanel panel(2);
    Collector sink;
    panel.press(PLAY, deckIn(DeckState::EMPTY), true, 16, sink);
    EXPECT_TRUE(sink.commands.empty());
    EXPECT_EQ(panel.message(), "Load a track before starting this deck.");
    panel.press(PLAY, deckIn(DeckState::READY), false, 16, sink);
    EXPECT_TRUE(sink.commands.empty());
    EXPECT_EQ(panel.message(), "This deck has no physical output pair.");
    panel.press(PLAY, deckIn(DeckState::PLAYING), true, 16, sink);
    panel.press(PLAY, deckIn(DeckState::PAUSED), true, 16, sink);
    EXPECT_EQ(posted(sink), (Posted{{CT::PAUSE, 2, 0.0}, {CT::PLAY, 2, 0.0}}));
}

TEST(DeckPanel, ButtonsPostTheirCommandsWithValuesFromTheDeckState) {
    DeckSnapshot on = deckIn(DeckState::PLAYING);
    on.slip = on.sync = on.isMaster = true;
    on.keyShift = 6;
    on.stemsOn = true;
    DeckSnapshot off = deckIn(DeckState::PLAYING);
    off.keyShift = -6;
    off.loopOutAdjust = true;
    struct Case {
        int control;
        const DeckSnapshot* state;
        CommandType type;
        int deck;
        double value;
    } cases[] = {
        {LOOP_IN, &off, CT::LOOP_IN, 1, 0.0},
        {LOOP_OUT, &off, CT::LOOP_OUT, 1, 0.0},
        {RELOOP, &off, CT::RELOOP_EXIT, 1, 0.0},
        {LOOP_4, &off, CT::BEAT_LOOP, 1, 4.0},
        {LOOP_8, &off, CT::BEAT_LOOP, 1, 8.0},
        {JUMP_BACK_1, &off, CT::BEAT_JUMP, 1, -1.0},
        {JUMP_FORWARD_1, &off, CT::BEAT_JUMP, 1, 1.0},
        {JUMP_BACK_N, &off, CT::BEAT_JUMP, 1, -32.0},
        {JUMP_FORWARD_N, &off, CT::BEAT_JUMP, 1, 32.0},
        {SLIP, &on, CT::SET_SLIP, 1, 0.0},
        {SLIP, &off, CT::SET_SLIP, 1, 1.0},
        {KEY_UP, &on, CT::SET_KEY_SHIFT, 1, 6.0},
        {KEY_DOWN, &off, CT::SET_KEY_SHIFT, 1, -6.0},
        {KEY_DOWN, &on, CT::SET_KEY_SHIFT, 1, 5.0},
        {KEY_RESET, &on, CT::SET_KEY_SHIFT, 1, 0.0},
        {KEY_SYNC, &on, CT::KEY_SYNC, 1, 0.0},
        {ADJUST_DOWN, &off, CT::LOOP_ADJUST, 1, -0.5},
        {ADJUST_UP, &off, CT::LOOP_ADJUST, 1, 0.5},
        {SYNC, &on, CT::SET_SYNC, 1, 0.0},
        {SYNC, &off, CT::SET_SYNC, 1, 1.0},
        {MASTER, &on, CT::SET_SYNC_MASTER, -1, 0.0},
        {MASTER, &off, CT::SET_SYNC_MASTER, 1, 0.0},
        {STEMS, &on, CT::SET_STEMS, 1, 0.0},
        {STEMS, &off, CT::SET_STEMS, 1, 1.0},
        {STEM_OTHER, &off, CT::SET_STEM_OTHER, 1, 0.0},
    };
    for (const Case& c : cases) {
        DeckPanel panel(1);
        Collector sink;
        panel.press(c.control, *c.state, true, 32, sink);
        EXPECT_EQ(posted(sink), (Posted{{c.type, c.deck, c.value}})) << c.control;
    }
    // The adjust buttons do nothing while no loop edge is being adjusted.
    DeckPanel panel(1);
    Collector sink;
    panel.press(ADJUST_UP, on, true, 16, sink);
    EXPECT_TRUE(sink.commands.empty());
}

TEST(DeckPanel, StemLabelsShowTheSplitAndTheGains) {
    DeckSnapshot s = deckIn(DeckState::PLAYING);
    StemJobStatus job;
    EXPECT_EQ(DeckPanel::stemsLabel(s, job), "STEMS");
    s.stemsOn = true;
    EXPECT_EQ(DeckPanel::stemsLabel(s, job), "STEMS*");
    job.running = true;
    EXPECT_EQ(DeckPanel::stemsLabel(s, job), "STEMS 0 %") << "queued";
    job.progress = 0.437f;
    EXPECT_EQ(DeckPanel::stemsLabel(s, job), "STEMS 43 %");
    EXPECT_EQ(DeckPanel::stemLabel(0, 1.0f), "DRUM");
    EXPECT_EQ(DeckPanel::stemLabel(2, 0.0f), "VOX");
    EXPECT_EQ(DeckPanel::stemLabel(3, 2.5f), "OTHER 2.5");
    DeckPanel panel(0);
    Collector sink;
    panel.setStemGain(1, std::nan(""), sink);
    panel.setStemGain(4, 1.0, sink);
    EXPECT_TRUE(sink.commands.empty()) << "no gain from a NaN or for a fifth stem";
}

TEST(DeckPanel, ShortRevClickTogglesReverseAndAHoldRunsSlipReverseWhileHeld) {
    const Clock::time_point t0{};
    DeckSnapshot reversed = deckIn(DeckState::PLAYING);
    reversed.reverse = true;
    {
        DeckPanel panel(0);
        Collector sink;
        panel.revDown(t0);
        panel.revPoll(t0 + std::chrono::milliseconds(199), sink);
        panel.revUp(reversed, sink);
        EXPECT_EQ(posted(sink), (Posted{{CT::SET_REVERSE, 0, 0.0}}));
    }
    {
        DeckPanel panel(0);
        Collector sink;
        panel.revDown(t0);
        panel.revPoll(t0 + std::chrono::milliseconds(200), sink);
        panel.revPoll(t0 + std::chrono::milliseconds(400), sink);
        EXPECT_TRUE(panel.slipReverseHeld());
        EXPECT_STREQ(DeckPanel::label(REV, reversed, false, panel.slipReverseHeld()), "S / R");
        panel.revUp(reversed, sink);
        EXPECT_EQ(posted(sink),
                  (Posted{{CT::SET_SLIP_REVERSE, 0, 1.0}, {CT::SET_SLIP_REVERSE, 0, 0.0}}))
            << "no toggle after a hold, and one start only";
    }
    {
        // Focus lost: a held slip reverse ends; a click still waiting is dropped.
        DeckPanel panel(0);
        Collector sink;
        panel.revDown(t0);
        panel.revCancel(sink);
        panel.revUp(reversed, sink);
        EXPECT_TRUE(sink.commands.empty());
        panel.revDown(t0);
        panel.revPoll(t0 + std::chrono::seconds(1), sink);
        panel.revCancel(sink);
        EXPECT_EQ(posted(sink),
                  (Posted{{CT::SET_SLIP_REVERSE, 0, 1.0}, {CT::SET_SLIP_REVERSE, 0, 0.0}}));
        EXPECT_FALSE(panel.slipReverseHeld());
    }
    {
        // A refused start is tried again at the next poll rather than recorded as held.
        DeckPanel panel(0);
        Collector sink;
        sink.accept = false;
        panel.revDown(t0);
        panel.revPoll(t0 + std::chrono::milliseconds(250), sink);
        EXPECT_FALSE(panel.slipReverseHeld());
    }
}

TEST(DeckPanel, TempoSliderSpansSixteenPercentEachWay) {
    EXPECT_EQ(DeckPanel::rateForSlider(0), 0.84);
    EXPECT_EQ(DeckPanel::rateForSlider(320), 1.16);
    EXPECT_DOUBLE_EQ(DeckPanel::rateForSlider(160), 1.0);
    EXPECT_EQ(DeckPanel::rateForSlider(-5), 0.84);
    EXPECT_EQ(DeckPanel::rateForSlider(999), 1.16);
    for (int p : {0, 1, 77, 160, 319, 320})
        EXPECT_EQ(DeckPanel::sliderForRate(DeckPanel::rateForSlider(p)), p);
    EXPECT_EQ(DeckPanel::sliderForRate(2.0), 320);
    EXPECT_EQ(DeckPanel::sliderForRate(std::nan("")), 160);
    DeckPanel panel(3);
    Collector sink;
    panel.moveTempoSlider(320, sink);
    EXPECT_EQ(posted(sink), (Posted{{CT::SET_RATE, 3, 1.16}}));
}

TEST(DeckPanel, ZoomStaysBetweenOneSecondAndTheTrackLength) {
    struct Case {
        bool in;
        double span, track, expected;
    } cases[] = {
        {true, 1.5, 90, 1},      {false, 64, 90, 90}, {false, 8, 90, 16},   {true, 8, 90, 4},
        {false, 512, 5000, 960}, {false, 4, 0.5, 8},  {false, 800, 0, 960}, {true, 1, 90, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.in ? DeckPanel::zoomedIn(c.span, c.track)
                       : DeckPanel::zoomedOut(c.span, c.track),
                  c.expected)
            << c.span << (c.in ? " in" : " out") << " on " << c.track;

    DeckSnapshot s;
    s.length = 441000;
    EXPECT_EQ(DeckPanel::trackSeconds(s, 44100.0, nullptr), 10.0);
    Waveform w;
    w.columns.resize(1500);
    EXPECT_EQ(DeckPanel::trackSeconds(s, 0.0, &w), 10.0) << "from the waveform without a rate";
    EXPECT_EQ(DeckPanel::trackSeconds(DeckSnapshot{}, 44100.0, nullptr), 0.0);
}

TEST(DeckPanel, TimeLabels) {
    struct Case {
        double t;
        const char* label;
    } cases[] = {{12, "12s"}, {59.6, "60s"}, {60, "1m"},      {61, "1:01"},
                 {0, "0s"},   {119.6, "2m"}, {3599, "59:59"}, {600, "10m"}};
    for (const Case& c : cases)
        EXPECT_EQ(DeckPanel::timeLabel(c.t), c.label) << c.t;
}

TEST(DeckPanel, LevelLabelAndItsColour) {
    struct Case {
        float left, right;
        const char* text;
        LevelColour colour;
    } cases[] = {
        {0.5f, 0.73f, "73%", LevelColour::Grey},        {0.90f, 0.1f, "90%", LevelColour::Orange},
        {0.0f, 0.99f, "99%", LevelColour::Red},         {2.0f, 0.0f, "100%", LevelColour::Red},
        {std::nanf(""), 0.0f, "0%", LevelColour::Grey}, {-1.0f, -1.0f, "0%", LevelColour::Grey},
    };
    for (const Case& c : cases) {
        DeckSnapshot s;
        s.peakLeft = c.left;
        s.peakRight = c.right;
        const LevelLabel l = DeckPanel::levelLabel(s);
        EXPECT_EQ(std::tie(l.text, l.colour), std::make_tuple(c.text, c.colour)) << c.left;
    }
}

TEST(DeckPanel, TextsAndBadgesFromTheSnapshot) {
    DeckSnapshot s = deckIn(DeckState::PLAYING);
    s.bpm = 123.456f;
    EXPECT_EQ(DeckPanel::texts(4, s, "Artist - Tune", true),
              (PanelTexts{"DECK 5", "Artist - Tune", "PLAYING", "123.5 BPM", {}}));

    s.isMaster = s.sync = s.looping = s.slip = s.reverse = s.keySync = true;
    s.keyShift = 2;
    EXPECT_EQ(DeckPanel::texts(0, s, "x", false).badges,
              (std::vector<std::string>{"MASTER", "SYNC", "LOOP", "SLIP", "REV", "KEY +2",
                                        "KEY SYNC", "NO OUTPUT"}));
    s.loopOutAdjust = true;
    s.slipReverse = true;
    s.keyShift = -3;
    s.isMaster = s.sync = s.slip = s.keySync = false;
    EXPECT_EQ(DeckPanel::texts(0, s, "x", true).badges,
              (std::vector<std::string>{"OUT ADJ", "S / R", "KEY -3"}));
    s.loopInAdjust = true;
    EXPECT_EQ(DeckPanel::texts(0, s, "x", true).badges[0], "IN ADJ");

    EXPECT_EQ(DeckPanel::texts(7, deckIn(DeckState::EMPTY), "stale name", true),
              (PanelTexts{"DECK 8", "EMPTY", "EMPTY", "\xE2\x80\x94 BPM", {}}));
    EXPECT_EQ(DeckPanel::texts(0, deckIn(DeckState::PAUSED), "", true).status, "PAUSED");
    EXPECT_EQ(DeckPanel::texts(0, deckIn(DeckState::READY), "", true).track, "EMPTY");
}

TEST(DeckPanel, StarredLabelsShowState) {
    DeckSnapshot on = deckIn(DeckState::PLAYING);
    on.loopInAdjust = on.loopOutAdjust = on.sync = on.isMaster = true;
    const DeckSnapshot off = deckIn(DeckState::PAUSED);
    struct Case {
        int control;
        const DeckSnapshot* state;
        bool swapped;
        const char* label;
    } cases[] = {
        {PLAY, &on, false, "Pause"},  {LOOP_IN, &on, false, "IN*"}, {LOOP_OUT, &on, false, "OUT*"},
        {SYNC, &on, false, "SYNC*"},  {MASTER, &on, false, "MST*"}, {SWAP, &on, true, "SWAP*"},
        {PLAY, &off, false, "Play"},  {LOOP_IN, &off, false, "IN"}, {SYNC, &off, false, "SYNC"},
        {MASTER, &off, false, "MST"}, {SWAP, &off, false, "SWAP"},  {REV, &off, false, "REV"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(DeckPanel::label(c.control, *c.state, c.swapped, false), c.label);
}

} // namespace
} // namespace vyn
