// The dispatcher: which binding answers a message and exactly which commands and browse events
// it produces, for every action family.

#include "control/midi/MidiDispatcher.h"

#include "MidiBindings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace vyn {
namespace {

struct Expected {
    CommandType type;
    int deck;
    double value;
};

using test::binding;

MidiMessage noteOn(int note, int velocity = 127, int channel = 0) {
    return MidiMessage::fromBytes(static_cast<std::uint8_t>(0x90 | channel),
                                  static_cast<std::uint8_t>(note),
                                  static_cast<std::uint8_t>(velocity));
}
MidiMessage noteOff(int note, int channel = 0) {
    return MidiMessage::fromBytes(static_cast<std::uint8_t>(0x80 | channel),
                                  static_cast<std::uint8_t>(note), 0);
}
MidiMessage cc(int number, int value, int channel = 0) {
    return MidiMessage::fromBytes(static_cast<std::uint8_t>(0xB0 | channel),
                                  static_cast<std::uint8_t>(number),
                                  static_cast<std::uint8_t>(value));
}

class Dispatcher : public ::testing::Test {
protected:
    std::vector<Command> send(const MidiMessage& m, int port = 0, std::uint32_t time = 0) {
        Command out[4];
        const int n = dispatchMidi(controller, port, m, state, out, 4, browse, time);
        return std::vector<Command>(out, out + n);
    }
    void add(const MidiBinding& b) { controller.mapping.bindings.push_back(b); }
    static void expectCommands(const std::vector<Command>& got, const std::vector<Expected>& want,
                               const std::string& what = {}) {
        ASSERT_EQ(got.size(), want.size()) << what;
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i].commandType(), want[i].type)
                << what << " #" << i << " got " << commandTypeName(got[i].type);
            EXPECT_EQ(got[i].deck, want[i].deck) << what << " #" << i;
            EXPECT_NEAR(got[i].value, want[i].value, 1e-9) << what << " #" << i;
            EXPECT_EQ(got[i].trackId, -1);
        }
    }
    void expectBrowse(int kind, int deck, int amount) {
        EXPECT_EQ(browse.kind, kind);
        EXPECT_EQ(browse.deck, deck);
        EXPECT_EQ(browse.amount, amount);
    }

    MidiSurfaceState surface;
    MidiController controller{surface};
    EngineSnapshot state;
    MidiBrowseEvent browse;
};

// One message through one binding on a fresh controller: the exact commands expected.
struct Case {
    const char* name;
    MidiBinding binding;
    MidiMessage message;
    std::vector<Expected> expected;
    std::function<void(EngineSnapshot&)> setup = nullptr;
};

using test::onChannel;
using test::ranged;
using test::shifted;

MidiBinding offsetEncoded(MidiBinding b) {
    b.relative = static_cast<std::uint8_t>(MidiRelative::offset);
    return b;
}

using CT = CommandType;
using MA = MidiAction;
using MM = MidiMode;
using S = EngineSnapshot;
constexpr std::uint8_t kNote = midi_class::note;
constexpr std::uint8_t kCc = midi_class::cc;

// clang-format off
const std::vector<Case>& statelessCases() {
    static const std::vector<Case> cases = {
        // Transport and cues
        {"playPause plays", binding(kNote, 1, MA::playPause, 1), noteOn(1), {{CT::PLAY, 1, 0}}},
        {"playPause pauses a playing deck", binding(kNote, 1, MA::playPause, 1), noteOn(1),
         {{CT::PAUSE, 1, 0}}, [](S& s) { s.decks[1].state = 2; }},
        {"play ignores release", binding(kNote, 1, MA::play), noteOff(1), {}},
        {"syncMaster takes master", binding(kNote, 1, MA::syncMaster), noteOn(1), {{CT::SET_SYNC_MASTER, 0, 0}}},
        {"syncMaster on the master releases it", binding(kNote, 1, MA::syncMaster), noteOn(1),
         {{CT::SET_SYNC_MASTER, -1, 0}}, [](S& s) { s.decks[0].isMaster = true; }},
        {"cuePoint release by velocity 0", binding(kNote, 1, MA::cuePoint), noteOn(1, 0), {{CT::CUE_UP, 0, 0}}},
        {"hotCue press", binding(kNote, 1, MA::hotCue, 0, MM::trigger, 3), noteOn(1), {{CT::JUMP_HOT_CUE, 0, 3}}},
        {"hotCue release", binding(kNote, 1, MA::hotCue, 0, MM::trigger, 3), noteOff(1), {{CT::HOT_CUE_UP, 0, 3}}},
        {"hotCue above 31", binding(kNote, 1, MA::hotCue, 0, MM::trigger, 32), noteOn(1), {}},
        {"hotCue huge param", binding(kNote, 1, MA::hotCue, 0, MM::trigger, 1e300), noteOn(1), {}},
        {"hotCue negative param", binding(kNote, 1, MA::hotCue, 0, MM::trigger, -4), noteOn(1), {}},
        {"hotCueSet 31", binding(kNote, 1, MA::hotCueSet, 0, MM::trigger, 31), noteOn(1), {{CT::SET_HOT_CUE, 0, 31}}},
        // Loops and key
        {"beatLoop default 4", binding(kNote, 1, MA::beatLoop), noteOn(1), {{CT::BEAT_LOOP, 0, 4}}},
        {"beatLoop 4 in a loop halves", binding(kNote, 1, MA::beatLoop, 0, MM::trigger, 4), noteOn(1),
         {{CT::LOOP_HALVE, 0, 0}}, [](S& s) { s.decks[0].looping = true; }},
        {"beatLoop 8 in a loop doubles", binding(kNote, 1, MA::beatLoop, 0, MM::trigger, 8), noteOn(1),
         {{CT::LOOP_DOUBLE, 0, 0}}, [](S& s) { s.decks[0].looping = true; }},
        {"beatLoop 16 in a loop", binding(kNote, 1, MA::beatLoop, 0, MM::trigger, 16), noteOn(1),
         {{CT::BEAT_LOOP, 0, 16}}, [](S& s) { s.decks[0].looping = true; }},
        {"beatJump default", binding(kNote, 1, MA::beatJump), noteOn(1), {{CT::BEAT_JUMP, 0, 1}}},
        {"beatJump back 4", binding(kNote, 1, MA::beatJump, 0, MM::trigger, -4), noteOn(1), {{CT::BEAT_JUMP, 0, -4}}},
        {"loopAdjust default", binding(kNote, 1, MA::loopAdjust), noteOn(1), {{CT::LOOP_ADJUST, 0, 0.5}}},
        {"keyShift up", binding(kNote, 1, MA::keyShift, 0, MM::trigger, 1), noteOn(1),
         {{CT::SET_KEY_SHIFT, 0, 3}}, [](S& s) { s.decks[0].keyShift = 2; }},
        {"keyShift down stops at -6", binding(kNote, 1, MA::keyShift, 0, MM::trigger, -1), noteOn(1),
         {{CT::SET_KEY_SHIFT, 0, -6}}, [](S& s) { s.decks[0].keyShift = -6; }},
        {"keyShift reset", binding(kNote, 1, MA::keyShift), noteOn(1),
         {{CT::SET_KEY_SHIFT, 0, 0}}, [](S& s) { s.decks[0].keyShift = 5; }},
        // Value laws of the generic deck actions
        {"absolute", binding(kCc, 7, MA::fader, 1, MM::absolute), cc(7, 127), {{CT::SET_FADER, 1, 1.0}}},
        {"trigger sends max", ranged(binding(kNote, 1, MA::eqLow), 0, 0.7), noteOn(1), {{CT::SET_EQ_LOW, 0, 0.7}}},
        {"momentary release sends min", ranged(binding(kNote, 1, MA::eqMid, 0, MM::momentary), 0.25, 1), noteOff(1),
         {{CT::SET_EQ_MID, 0, 0.25}}},
        {"relative starts from min", ranged(binding(kCc, 3, MA::eqHigh, 0, MM::relative), 0, 1, 0.1), cc(3, 2),
         {{CT::SET_EQ_HIGH, 0, 0.2}}},
        {"relative zero does nothing", binding(kCc, 3, MA::eqHigh, 0, MM::relative), cc(3, 0), {}},
        {"rate offsets: bottom", ranged(binding(kCc, 1, MA::rate, 0, MM::absolute), -0.08, 0.08), cc(1, 0),
         {{CT::SET_RATE, 0, 0.92}}},
        {"rate offsets: top", ranged(binding(kCc, 1, MA::rate, 0, MM::absolute), -0.08, 0.08), cc(1, 127),
         {{CT::SET_RATE, 0, 1.08}}},
        {"rate relative from userRate, clamped", ranged(binding(kCc, 1, MA::rate, 0, MM::relative), -0.08, 0.08, 0.05),
         cc(1, 126), {{CT::SET_RATE, 0, 0.92}}, [](S& s) { s.decks[0].userRate = 0.95; }},
        {"reversed bounds clamp safely", ranged(binding(kCc, 1, MA::trim, 0, MM::relative), 1, 0, 1), cc(1, 5),
         {{CT::SET_TRIM, 0, 1.0}}},
        {"playhead absolute scales length", binding(kCc, 2, MA::playhead, 0, MM::absolute), cc(2, 127),
         {{CT::SET_PLAYHEAD, 0, 480000}}, [](S& s) { s.decks[0].length = 480000; }},
        {"playhead absolute needs a track", binding(kCc, 2, MA::playhead, 0, MM::absolute), cc(2, 127), {}},
        {"playhead relative from position", ranged(binding(kCc, 2, MA::playhead, 0, MM::relative), 0, 1e9, 100),
         cc(2, 3), {{CT::SET_PLAYHEAD, 0, 1300}}, [](S& s) { s.decks[0].position = 1000; }},
        {"filter", ranged(binding(kCc, 5, MA::filter, 0, MM::absolute), -1, 1), cc(5, 0), {{CT::SET_FILTER, 0, -1.0}}},
        {"pitch bend value", binding(midi_class::pitch, 0, MA::fader, 0, MM::absolute),
         MidiMessage::fromBytes(0xE0, 127, 127), {{CT::SET_FADER, 0, 1.0}}},
        // Toggles read the published flags
        {"cueBus toggle on", binding(kNote, 1, MA::cueBus, 0, MM::toggle), noteOn(1), {{CT::SET_CUE, 0, 1.0}}},
        {"cueBus toggle off", binding(kNote, 1, MA::cueBus, 0, MM::toggle), noteOn(1),
         {{CT::SET_CUE, 0, 0.0}}, [](S& s) { s.decks[0].cue = true; }},
        {"sync toggle", binding(kNote, 1, MA::sync, 0, MM::toggle), noteOn(1),
         {{CT::SET_SYNC, 0, 0.0}}, [](S& s) { s.decks[0].sync = true; }},
        {"toggle ignores release", binding(kNote, 1, MA::keylock, 0, MM::toggle), noteOff(1), {}},
        {"toggle without a flag sends max", binding(kNote, 1, MA::fader, 0, MM::toggle), noteOn(1), {{CT::SET_FADER, 0, 1.0}}},
        {"slip momentary release", binding(kNote, 1, MA::slip, 0, MM::momentary), noteOff(1), {{CT::SET_SLIP, 0, 0.0}}},
        {"reverse toggle", binding(kNote, 1, MA::reverse, 0, MM::toggle), noteOn(1),
         {{CT::SET_REVERSE, 0, 0.0}}, [](S& s) { s.decks[0].reverse = true; }},
        {"stem kill by gain", binding(kNote, 1, MA::stemVocals, 0, MM::toggle), noteOn(1), {{CT::SET_STEM_VOCALS, 0, 0.0}}},
        {"stem revive by gain", binding(kNote, 1, MA::stemBass, 0, MM::toggle), noteOn(1),
         {{CT::SET_STEM_BASS, 0, 1.0}}, [](S& s) { s.decks[0].stemGains[1] = 0.2f; }},
        {"stems toggle", binding(kNote, 1, MA::stems, 0, MM::toggle), noteOn(1),
         {{CT::SET_STEMS, 0, 0.0}}, [](S& s) { s.decks[0].stemsOn = true; }},
        // Global and FX
        {"quantise trigger", binding(kNote, 1, MA::quantise), noteOn(1),
         {{CT::SET_QUANTISE, -1, 1.0}}, [](S& s) { s.quantise = true; }},
        {"quantise toggle", binding(kNote, 1, MA::quantise, 0, MM::toggle), noteOn(1),
         {{CT::SET_QUANTISE, -1, 0.0}}, [](S& s) { s.quantise = true; }},
        {"masterGain", ranged(binding(kCc, 1, MA::masterGain, 0, MM::absolute), 0, 2), cc(1, 127),
         {{CT::SET_MASTER_GAIN, -1, 2.0}}},
        {"masterGain only absolute", binding(kCc, 1, MA::masterGain), cc(1, 127), {}},
        {"fxTarget param", binding(kNote, 1, MA::fxTarget, 0, MM::trigger, 3), noteOn(1), {{CT::SET_FX_TARGET, -1, 3}}},
        {"fxTarget own deck", binding(kNote, 1, MA::fxTarget, 1, MM::trigger, -1), noteOn(1), {{CT::SET_FX_TARGET, -1, 1}}},
        {"fxTarget toggle off", binding(kNote, 1, MA::fxTarget, 1, MM::toggle, -1), noteOn(1),
         {{CT::SET_FX_TARGET, -1, -2}}, [](S& s) { s.fxTarget = 1; }},
        {"fxTarget of no deck", binding(kNote, 1, MA::fxTarget, 30, MM::trigger, -1), noteOn(1), {}},
        {"fxEffect select", binding(kNote, 1, MA::fxEffect, 0, MM::trigger, 7), noteOn(1), {{CT::SET_FX_TYPE, -1, 7}}},
        {"fxEffect above 15", binding(kNote, 1, MA::fxEffect, 0, MM::trigger, 16), noteOn(1), {}},
        {"fxEffect next wraps", binding(kNote, 1, MA::fxEffect, 0, MM::trigger, -1), noteOn(1),
         {{CT::SET_FX_TYPE, -1, 1}}, [](S& s) { s.fxType = 15; }},
        {"fxEffect previous wraps", binding(kNote, 1, MA::fxEffect, 0, MM::trigger, -2), noteOn(1),
         {{CT::SET_FX_TYPE, -1, 15}}, [](S& s) { s.fxType = 1; }},
        {"fxEffect next from none", binding(kNote, 1, MA::fxEffect, 0, MM::trigger, -1), noteOn(1), {{CT::SET_FX_TYPE, -1, 1}}},
        {"fxEffect previous from none", binding(kNote, 1, MA::fxEffect, 0, MM::trigger, -5), noteOn(1), {{CT::SET_FX_TYPE, -1, 15}}},
        {"fxMode toggles send off", binding(kNote, 1, MA::fxMode, 0, MM::toggle), noteOn(1),
         {{CT::SET_FX_MODE, -1, 0}}, [](S& s) { s.fxSendMode = true; }},
        {"fxMode momentary always on", binding(kNote, 1, MA::fxMode, 0, MM::momentary), noteOn(1),
         {{CT::SET_FX_MODE, -1, 1}}, [](S& s) { s.fxSendMode = true; }},
        {"fxMix absolute", binding(kCc, 1, MA::fxMix, 0, MM::absolute), cc(1, 127), {{CT::SET_FX_MIX, -1, 1}}},
        {"fxParam steps from the snapshot", binding(kNote, 1, MA::fxParam, 0, MM::trigger, 0.25), noteOn(1),
         {{CT::SET_FX_PARAM, -1, 1.0}}, [](S& s) { s.fxParam = 0.875f; }},
        {"fxResonance trigger ignores release", binding(kNote, 1, MA::fxResonance), noteOff(1), {}},
        {"jogTouch press", binding(kNote, 1, MA::jogTouch, 1), noteOn(1), {{CT::JOG_TOUCH, 1, 1.0}}},
        {"jogTouch release", binding(kNote, 1, MA::jogTouch, 1), noteOff(1), {{CT::JOG_TOUCH, 1, 0.0}}},
        // The jog wheel's speed curve, offset-64 encoders told apart from twos complement by the
        // size of the step, and absolute wheels centred on 64
        {"jog curve slowest", ranged(binding(kCc, 3, MA::jogRing, 0, MM::relative), 0.5, 3), cc(3, 1), {{CT::JOG_RING, 0, 0.5}}},
        {"jog curve middle", ranged(binding(kCc, 3, MA::jogRing, 0, MM::relative), 0.5, 3), cc(3, 4),
         {{CT::JOG_RING, 0, 0.5 + 2.5 * 3 / 7}}},
        {"jog curve fastest", ranged(binding(kCc, 3, MA::jogRing, 0, MM::relative), 0.5, 3), cc(3, 8), {{CT::JOG_RING, 0, 3.0}}},
        {"jog curve backwards", ranged(binding(kCc, 3, MA::jogRing, 0, MM::relative), 0.5, 3), cc(3, 0x7E),
         {{CT::JOG_RING, 0, -(0.5 + 2.5 / 7)}}},
        {"offset jog: 0x7F is -1 as twos", offsetEncoded(ranged(binding(kCc, 3, MA::jogRing, 0, MM::relative), 0, 4)),
         cc(3, 0x7F), {{CT::JOG_RING, 0, -0.35}}},
        {"offset jog: 0x42 is +2", offsetEncoded(ranged(binding(kCc, 3, MA::jogRing, 0, MM::relative), 0, 4)),
         cc(3, 0x42), {{CT::JOG_RING, 0, 0.35 + (4 - 0.35) / 7}}},
        {"offset jog: 0x40 is nothing", offsetEncoded(ranged(binding(kCc, 3, MA::jogRing, 0, MM::relative), 0, 4)),
         cc(3, 0x40), {}},
        {"centred jog 64", ranged(binding(kCc, 3, MA::jogRing, 0, MM::absolute), 0, 2), cc(3, 64), {{CT::JOG_RING, 0, 0.0}}},
        {"centred jog 65", ranged(binding(kCc, 3, MA::jogRing, 0, MM::absolute), 0, 2), cc(3, 65), {{CT::JOG_RING, 0, 0.0}}},
        {"centred jog 127", ranged(binding(kCc, 3, MA::jogRing, 0, MM::absolute), 0, 2), cc(3, 127), {{CT::JOG_RING, 0, 2.0}}},
        {"centred jog 0", ranged(binding(kCc, 3, MA::jogRing, 0, MM::absolute), 0, 2), cc(3, 0), {{CT::JOG_RING, 0, -2.0}}},
        {"centred jog 33", ranged(binding(kCc, 3, MA::jogRing, 0, MM::absolute), 0, 2), cc(3, 33),
         {{CT::JOG_RING, 0, -30.0 / 62 * 2}}},
        // Deck resolution
        {"slot beyond the decks", binding(kNote, 1, MA::play, 16), noteOn(1), {}},
        {"negative slot", binding(kNote, 1, MA::play, -5), noteOn(1), {}},
        {"slot -1 is the focused deck", binding(kNote, 1, MA::play, -1), noteOn(1), {{CT::PLAY, 0, 0}}},
    };
    return cases;
}
// clang-format on

TEST_F(Dispatcher, StatelessActions) {
    for (const Case& c : statelessCases()) {
        MidiSurfaceState freshSurface;
        MidiController fresh{freshSurface};
        fresh.mapping.bindings.push_back(c.binding);
        EngineSnapshot s;
        if (c.setup) c.setup(s);
        Command out[4];
        MidiBrowseEvent b;
        const int n = dispatchMidi(fresh, 0, c.message, s, out, 4, b, 0);
        expectCommands(std::vector<Command>(out, out + n), c.expected, c.name);
        EXPECT_EQ(b.kind, 0) << c.name;
    }
}

TEST_F(Dispatcher, NothingWithoutRoomOrWhileLearning) {
    add(binding(kNote, 1, MA::play));
    Command out[1];
    EXPECT_EQ(dispatchMidi(controller, 0, noteOn(1), state, out, 0, browse, 0), 0);
    controller.learning = true;
    controller.learnTemplate = binding(kNote, 0, MA::pause);
    EXPECT_TRUE(send(noteOn(1)).empty()) << "learn takes the message";
    EXPECT_FALSE(controller.learning);
    expectCommands(send(noteOn(1)), {{CT::PAUSE, 0, 0}});
}

TEST_F(Dispatcher, MatchingByPortChannelNumberAndClass) {
    add(onChannel(binding(kNote, 5, MA::play), 3, 2));
    add(binding(midi_class::touch, 99, MA::fader, 1, MM::absolute));
    EXPECT_TRUE(send(noteOn(5, 127, 3), 1).empty()) << "other port";
    EXPECT_TRUE(send(noteOn(5, 127, 2), 2).empty()) << "other channel";
    EXPECT_TRUE(send(noteOn(6, 127, 3), 2).empty()) << "other note";
    EXPECT_TRUE(send(cc(5, 127, 3), 2).empty()) << "other class";
    expectCommands(send(noteOn(5, 127, 3), 2), {{CT::PLAY, 0, 0}});
    // Pressure ignores the number; port -1 answers every port.
    for (int port : {0, 5, 7})
        expectCommands(send(MidiMessage::fromBytes(0xD0, 127), port), {{CT::SET_FADER, 1, 1.0}});
    // System messages never match, even a binding of kind 0.
    add(binding(0, 0, MA::play));
    EXPECT_TRUE(send(MidiMessage::fromBytes(0xF2, 0, 0)).empty());
}

TEST_F(Dispatcher, ModifiersChooseBetweenBindingsOfOnePad) {
    add(binding(kNote, 10, MA::hotCue, 0, MM::trigger, 0));
    add(shifted(binding(kNote, 10, MA::focusDeck, 0, MM::trigger, 3), 1));
    add(binding(kNote, 20, MA::modifier, 0, MM::trigger, 1));

    expectCommands(send(noteOn(10)), {{CT::JUMP_HOT_CUE, 0, 0}});
    send(noteOn(20)); // hold modifier 1
    EXPECT_TRUE(send(noteOn(10)).empty());
    EXPECT_EQ(surface.focusedDeck, 3);
    send(noteOff(20));
    expectCommands(send(noteOn(10)), {{CT::JUMP_HOT_CUE, 0, 0}});
}

TEST_F(Dispatcher, MostModifierBitsWinThenEarliest) {
    add(shifted(binding(kNote, 10, MA::play, 0), 1));
    add(shifted(binding(kNote, 10, MA::pause, 0), 3));
    add(shifted(binding(kNote, 10, MA::loopIn, 0), 3));
    add(binding(kNote, 21, MA::modifier, 0, MM::trigger, 1));
    add(binding(kNote, 22, MA::modifier, 0, MM::trigger, 2));
    send(noteOn(21));
    expectCommands(send(noteOn(10)), {{CT::PLAY, 0, 0}});
    send(noteOn(22));
    expectCommands(send(noteOn(10)), {{CT::PAUSE, 0, 0}});
    // A held modifier without a matching modifier binding falls back to plain bindings.
    send(noteOff(21));
    send(noteOff(22));
    add(binding(kNote, 11, MA::loopOut, 0));
    send(noteOn(22));
    expectCommands(send(noteOn(11)), {{CT::LOOP_OUT, 0, 0}});
}

TEST_F(Dispatcher, ModifierParamEdgesAndShiftBitBindings) {
    add(binding(kNote, 1, MA::modifier, 0, MM::trigger, 0));     // below 1 -> bit 0
    add(binding(kNote, 2, MA::modifier, 0, MM::trigger, 8));     // bit 7
    add(binding(kNote, 3, MA::modifier, 0, MM::trigger, 9));     // nothing
    add(binding(kNote, 4, MA::modifier, 0, MM::trigger, 1e300)); // nothing, no overflow
    for (int note : {1, 2, 3, 4})
        send(noteOn(note));
    EXPECT_EQ(controller.heldModifiers, 0x81);
    send(noteOff(1));
    // With bit 7 held, a modifier binding that needs it latches shift and leaves the mask alone,
    // and a trigger binding that needs it fires on the release as well.
    add(shifted(binding(kNote, 5, MA::modifier, 0, MM::trigger, 1), 0x80));
    add(shifted(binding(kNote, 6, MA::play, 1), 0x80));
    EXPECT_TRUE(send(noteOff(5)).empty());
    EXPECT_TRUE(controller.shiftLatch);
    EXPECT_EQ(controller.heldModifiers, 0x80);
    expectCommands(send(noteOff(6)), {{CT::PLAY, 1, 0}});
}

TEST_F(Dispatcher, BanksMoveSlotsAndStayInRange) {
    controller.mapping.channels = 2;
    add(binding(kNote, 1, MA::play, 0));
    add(binding(kNote, 2, MA::bankUp));
    add(binding(kNote, 3, MA::bankDown));
    add(binding(kNote, 4, MA::bankSet, 0, MM::trigger, 5));
    add(binding(kNote, 5, MA::bankSet, 0, MM::trigger, -3));
    add(binding(kNote, 6, MA::bankSet, 0, MM::trigger, 1e12));
    add(binding(kNote, 7, MA::play, 1));
    send(noteOn(3)); // bank 0 stays: one up is bank 1
    send(noteOn(2));
    expectCommands(send(noteOn(1)), {{CT::PLAY, 2, 0}});
    for (int i = 0; i < 10; ++i)
        send(noteOn(2));
    expectCommands(send(noteOn(7)), {{CT::PLAY, 15, 0}});
    send(noteOn(4));
    EXPECT_EQ(controller.bank, 5);
    send(noteOn(5));
    EXPECT_EQ(controller.bank, 0);
    send(noteOn(6));
    EXPECT_EQ(controller.bank, 7);
    // A slot past the bank's reach resolves to no deck.
    add(binding(kNote, 8, MA::play, 2));
    EXPECT_TRUE(send(noteOn(8)).empty());
}

TEST_F(Dispatcher, FocusDeckFocusedBindingsAndPlatterRpm) {
    add(binding(kNote, 1, MA::focusDeck, 3, MM::trigger, -1));  // the binding's own deck
    add(binding(kNote, 2, MA::focusDeck, 0, MM::trigger, 40));  // at most 15
    add(binding(kNote, 3, MA::focusDeck, 20, MM::trigger, -1)); // invalid deck -> 0
    add(binding(kNote, 4, MA::play, -1));
    send(noteOn(1));
    expectCommands(send(noteOn(4)), {{CT::PLAY, 3, 0}});
    send(noteOn(2));
    EXPECT_EQ(surface.focusedDeck, 15);
    send(noteOn(3));
    EXPECT_EQ(surface.focusedDeck, 0);
    surface.focusedDeck = -1;
    EXPECT_TRUE(send(noteOn(4)).empty()) << "a negative focus resolves to no deck";
    // Platter speeds go to the shared table, not to the engine.
    add(binding(kNote, 5, MA::platterRpm, 1, MM::trigger, 45));
    add(binding(kNote, 6, MA::platterRpm, 2, MM::trigger, 0));
    EXPECT_TRUE(send(noteOn(5)).empty());
    send(noteOn(6));
    EXPECT_EQ(surface.platterRpm[1], 45);
    EXPECT_EQ(surface.platterRpm[2], 0);
}

TEST_F(Dispatcher, BrowseEvents) {
    surface.focusedDeck = 2;
    add(binding(kCc, 1, MA::browseScroll, 0, MM::relative));
    add(binding(kNote, 2, MA::browseView));
    add(binding(kNote, 3, MA::browseLoad, -1));
    add(binding(kNote, 4, MA::browseLoad, 1));
    add(binding(kNote, 5, MA::browseLoad, 30));
    add(binding(kCc, 6, MA::browseScroll, 0, MM::absolute));
    EXPECT_TRUE(send(cc(1, 0x7D)).empty());
    expectBrowse(midi_browse::scroll, 2, -3);
    send(cc(1, 0));
    expectBrowse(0, 0, 0);
    send(cc(6, 3));
    expectBrowse(0, 0, 0);
    send(noteOn(2));
    expectBrowse(midi_browse::view, 2, 0);
    send(noteOff(2));
    expectBrowse(0, 0, 0);
    send(noteOn(3));
    expectBrowse(midi_browse::load, 2, 0);
    send(noteOn(4));
    expectBrowse(midi_browse::load, 1, 0);
    send(noteOn(5));
    expectBrowse(midi_browse::load, 2, 0);
    // The controller mode's back button returns to the view.
    add(binding(kNote, 7, MA::mcBrowseBack));
    send(noteOn(7));
    expectBrowse(midi_browse::view, 2, 0);
}

TEST(MidiRelativeDelta, Encodings) {
    const auto twos = static_cast<std::uint8_t>(MidiRelative::twos);
    const auto sign = static_cast<std::uint8_t>(MidiRelative::signedMagnitude);
    const auto offset = static_cast<std::uint8_t>(MidiRelative::offset);
    EXPECT_EQ(midiRelativeDelta(twos, 1), 1);
    EXPECT_EQ(midiRelativeDelta(twos, 63), 63);
    EXPECT_EQ(midiRelativeDelta(twos, 64), -64);
    EXPECT_EQ(midiRelativeDelta(twos, 127), -1);
    EXPECT_EQ(midiRelativeDelta(sign, 0x41), 1);
    EXPECT_EQ(midiRelativeDelta(sign, 0x01), -1);
    EXPECT_EQ(midiRelativeDelta(sign, 0x40), 0);
    EXPECT_EQ(midiRelativeDelta(offset, 64), 0);
    EXPECT_EQ(midiRelativeDelta(offset, 65), 1);
    EXPECT_EQ(midiRelativeDelta(offset, 0), -64);
}

// --- Jog ---

TEST_F(Dispatcher, JogNeedsTheTopTouchedButTheRingDoesNot) {
    add(binding(kNote, 1, MA::jogTouch, 0));
    add(binding(kCc, 2, MA::jog, 0, MM::relative));
    add(binding(kCc, 3, MA::jogRing, 0, MM::relative));
    add(binding(kNote, 4, MA::jog, 0, MM::relative)); // control change only
    EXPECT_TRUE(send(cc(2, 1)).empty());
    expectCommands(send(cc(3, 1)), {{CT::JOG_RING, 0, 0.35}});
    send(noteOn(1));
    expectCommands(send(cc(2, 1)), {{CT::JOG, 0, 0.35}});
    expectCommands(send(cc(2, 127)), {{CT::JOG, 0, -0.35}});
    EXPECT_TRUE(send(noteOn(4)).empty());
    send(noteOff(1));
    EXPECT_TRUE(send(cc(2, 1)).empty());
}

// --- Track search ---

TEST_F(Dispatcher, TrackSearchBackReturnsToStartThenBrowses) {
    add(binding(kNote, 1, MA::trackSearch, 0, MM::momentary, -1));
    state.decks[0].state = 3;
    state.decks[0].position = 480000; // 10 s in
    expectCommands(send(noteOn(1)), {{CT::SET_PLAYHEAD, 0, 0}});
    EXPECT_EQ(browse.kind, 0);
    send(noteOff(1));
    EXPECT_EQ(browse.kind, 0) << "nothing to load after a return to the start";
    state.decks[0].position = 0.25;
    EXPECT_TRUE(send(noteOn(1)).empty());
    expectBrowse(midi_browse::search, 0, -1);
    send(noteOff(1));
    expectBrowse(midi_browse::load, 0, 0);
}

TEST_F(Dispatcher, TrackSearchWithJogScrollsAndReleaseLoads) {
    add(binding(kNote, 1, MA::trackSearch, 1, MM::momentary, 1));
    add(binding(kNote, 2, MA::trackSearch, 1, MM::momentary, -1));
    add(binding(kNote, 3, MA::jogTouch, 1));
    add(binding(kCc, 4, MA::jogRing, 1, MM::absolute));
    send(noteOn(1));
    expectBrowse(midi_browse::search, 1, 1);
    // While searching, the jog touch sends no JOG_TOUCH and the wheel scrolls the browser.
    EXPECT_TRUE(send(noteOn(3)).empty());
    EXPECT_TRUE(send(cc(4, 127)).empty()); // +1.0: two rows
    expectBrowse(midi_browse::search, 1, 2);
    EXPECT_TRUE(send(cc(4, 64 + 32)).empty()); // +31/62 = 0.5: one row
    expectBrowse(midi_browse::search, 1, 1);
    EXPECT_TRUE(send(cc(4, 64 + 16)).empty()); // +15/62 ~ 0.24: not yet a row
    EXPECT_EQ(browse.kind, 0);
    EXPECT_TRUE(send(cc(4, 0)).empty()); // -1.0 after a sign change: the rest is forgotten
    expectBrowse(midi_browse::search, 1, -2);
    // Releasing one direction while the other is held loads nothing yet.
    send(noteOn(2));
    send(noteOff(1));
    EXPECT_EQ(controller.trackSearchHeld, 2);
    send(noteOff(2));
    expectBrowse(midi_browse::load, 1, 0);
    EXPECT_FALSE(controller.browsePending);
    // Search over: the wheel drives the deck again.
    expectCommands(send(cc(4, 127)), {{CT::JOG_RING, 1, 1.0}});
}

TEST_F(Dispatcher, HugeWheelRangesStayRepresentable) {
    add(binding(kNote, 1, MA::trackSearch, 0, MM::momentary, 1));
    add(ranged(binding(kCc, 4, MA::jogRing, 0, MM::absolute), 0, 1e300));
    send(noteOn(1));
    EXPECT_TRUE(send(cc(4, 127)).empty());
    expectBrowse(midi_browse::search, 0, 1000000);
}

// --- Controller modes ---

class ControllerModes : public Dispatcher {
protected:
    void SetUp() override {
        for (int p = 0; p < 3; ++p)
            add(binding(kNote, 10 + p, MA::mcModeSwitch, 0, MM::momentary, p));
        add(binding(kCc, 20, MA::mcRotary));
        surface.focusedDeck = 1;
    }
};

TEST_F(ControllerModes, JogModeWrapsAndStopsOnRelease) {
    send(noteOn(11));
    EXPECT_TRUE(send(cc(20, 126)).empty()) << "the first position only sets the reference";
    expectCommands(send(cc(20, 2)), {{CT::JOG, 1, 4.0}});
    expectCommands(send(cc(20, 120)), {{CT::JOG, 1, -4.0}});
    expectCommands(send(noteOff(11)), {{CT::JOG, 1, 0.0}});
    EXPECT_EQ(controller.mode, 0);
    EXPECT_TRUE(send(cc(20, 10)).empty());
}

TEST_F(ControllerModes, BrowseModeScrollsByDelta) {
    send(noteOn(10));
    send(cc(20, 5));
    EXPECT_EQ(browse.kind, 0);
    send(cc(20, 8));
    expectBrowse(midi_browse::scroll, 1, 3);
    send(cc(20, 125)); // 8 -> 125 wraps backwards: -11
    expectBrowse(midi_browse::scroll, 1, -11);
    // Releasing a mode that is not the current one does nothing.
    send(noteOff(12));
    EXPECT_EQ(controller.mode, 1);
    send(noteOff(10));
    EXPECT_EQ(controller.mode, 0);
}

TEST_F(ControllerModes, TempoNudgeClampsAndLeavesSync) {
    state.decks[1].userRate = 1.0;
    send(noteOn(12));
    send(cc(20, 0));
    expectCommands(send(cc(20, 1)), {{CT::SET_RATE, 1, 1.002}});
    expectCommands(send(cc(20, 11)), {{CT::SET_RATE, 1, 1.008}}, "at most four ticks");
    state.decks[1].userRate = 1.079;
    expectCommands(send(cc(20, 15)), {{CT::SET_RATE, 1, 1.08}});
    state.decks[1].userRate = 0.0;
    expectCommands(send(cc(20, 14)), {{CT::SET_RATE, 1, 0.998}}, "a rate of 0 counts as 1");
    // A synced follower leaves sync first and nudges from its synced rate.
    state.decks[1].sync = true;
    state.decks[1].rate = 1.05;
    state.decks[1].userRate = 1.0;
    state.masterDeck = 0;
    expectCommands(send(cc(20, 16)), {{CT::SET_SYNC, 1, 0.0}, {CT::SET_RATE, 1, 1.054}});
    // The master itself nudges from its own user rate.
    state.decks[1].isMaster = true;
    expectCommands(send(cc(20, 17)), {{CT::SET_RATE, 1, 1.002}});
}

TEST_F(ControllerModes, SwitchingModesStopsTheJogAndSuppressesTheRotary) {
    send(noteOn(11), 0, 1000);
    EXPECT_EQ(controller.suppressUntil, 1400u);
    expectCommands(send(noteOn(10), 0, 1100), {{CT::JOG, 1, 0.0}}, "leaving mode 2");
    EXPECT_EQ(controller.suppressUntil, 1500u);
    send(cc(20, 10), 0, 1200);
    send(cc(20, 12), 0, 1300);
    EXPECT_EQ(browse.kind, 0) << "suppressed";
    send(cc(20, 14), 0, 1500);
    expectBrowse(midi_browse::scroll, 1, 2);
    // Without a time the window does not apply.
    send(noteOn(12), 0, 0);
    EXPECT_EQ(controller.suppressUntil, 0u);
}

TEST_F(ControllerModes, BeatJumpOnlyWhileAModeIsHeld) {
    add(binding(kNote, 30, MA::mcBeatJump, 0, MM::trigger, -1));
    add(binding(kNote, 31, MA::mcBeatJumpCycle));
    EXPECT_TRUE(send(noteOn(30)).empty());
    EXPECT_TRUE(send(noteOn(31)).empty());
    send(noteOn(10));
    expectCommands(send(noteOn(30)), {{CT::BEAT_JUMP, 1, -16}});
    // The cycle steps from the published size: 16, 32, 64, then back to 8.
    for (std::uint32_t next : {32u, 64u, 8u}) {
        expectCommands(send(noteOn(31)), {{CT::SET_BEAT_JUMP_BEATS, -1, double(next)}});
        state.beatJumpBeats = next;
    }
    expectCommands(send(noteOn(30)), {{CT::BEAT_JUMP, 1, -8}});
    state.beatJumpBeats = 12;
    expectCommands(send(noteOn(31)), {{CT::SET_BEAT_JUMP_BEATS, -1, 32}});
}

TEST_F(Dispatcher, ShiftThenCueFocusesInsteadOfFiring) {
    surface.focusedDeck = 0;
    add(binding(kNote, 1, MA::mcShift));
    add(binding(kNote, 2, MA::mcCue, 1, MM::trigger, 5));
    expectCommands(send(noteOn(2)), {{CT::JUMP_HOT_CUE, 0, 5}});
    expectCommands(send(noteOff(2)), {{CT::HOT_CUE_UP, 0, 5}});
    send(noteOn(1));
    EXPECT_TRUE(send(noteOn(2)).empty());
    EXPECT_EQ(surface.focusedDeck, 1);
    EXPECT_FALSE(controller.shiftLatch);
    expectCommands(send(noteOff(2)), {{CT::HOT_CUE_UP, 1, 5}});
}

TEST_F(Dispatcher, SyncHoldCountsOnlyPressesAsTaps) {
    add(binding(kNote, 1, MA::mcSyncHold, 0));
    expectCommands(send(noteOn(1), 0, 1000), {{CT::SET_SYNC, 0, 1.0}});
    EXPECT_TRUE(send(noteOff(1), 0, 1100).empty()) << "a release is no tap";
    state.decks[0].sync = true;
    expectCommands(send(noteOn(1), 0, 1400), {{CT::SET_SYNC_MASTER, 0, 0}});
    // A slow second press is a new single tap.
    expectCommands(send(noteOn(1), 0, 3000), {{CT::SET_SYNC, 0, 0.0}});
    expectCommands(send(noteOn(1), 0, 3501), {{CT::SET_SYNC, 0, 0.0}}, "501 ms later");
    // Double tap on the master: nothing to take.
    state.decks[0].isMaster = true;
    EXPECT_TRUE(send(noteOn(1), 0, 3600).empty());
    // Control changes are not taps at all.
    add(binding(kCc, 2, MA::mcSyncHold, 0));
    EXPECT_TRUE(send(cc(2, 127), 0, 4000).empty());
}

TEST_F(Dispatcher, InstallingAMappingKeepsHandsButResetsModes) {
    // Bank, held modifiers, touched jogs and focus stay; search, modes, shift and taps reset.
    auto kept = [&] {
        return std::tuple(controller.bank, controller.heldModifiers, controller.jogTouchMask,
                          surface.focusedDeck, controller.trackSearchHeld, controller.browsePending,
                          controller.mode, controller.rotaryLast, controller.shiftLatch,
                          controller.syncTapPending);
    };
    std::tie(controller.bank, controller.heldModifiers, controller.jogTouchMask,
             surface.focusedDeck, controller.trackSearchHeld, controller.browsePending,
             controller.mode, controller.rotaryLast, controller.shiftLatch,
             controller.syncTapPending) = std::tuple(3, 2, 1u, 5, 1, true, 2, 40, true, true);
    controller.installMapping(MidiMapping{});
    EXPECT_EQ(kept(), std::tuple(3, 2, 1u, 5, 0, false, 0, -1, false, false));
}

} // namespace
} // namespace vyn
