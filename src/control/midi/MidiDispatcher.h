#pragma once
// Turns one MIDI message into engine commands and at most one browse event, through the
// controller's bindings: binding selection (modifiers first), the pressed rule, value laws per
// mode, and the stateful actions (jog, track search, controller modes).
//
// Threading: a plain function over the controller it is given; the caller serialises access to
// the controller (the hub's MIDI mutex).

#include "control/midi/MidiController.h"
#include "control/midi/MidiMessage.h"
#include "engine/Command.h"
#include "engine/EngineSnapshot.h"

#include <cstdint>

namespace vyn {

// For the library browser: 1 scroll by amount rows, 2 back / show, 3 load the selected row into
// deck, 4 step by amount while track search is held.
struct MidiBrowseEvent {
    std::uint8_t kind = 0; // 0 = none
    std::int32_t deck = 0;
    std::int32_t amount = 0;
};

namespace midi_browse {
inline constexpr std::uint8_t scroll = 1;
inline constexpr std::uint8_t view = 2;
inline constexpr std::uint8_t load = 3;
inline constexpr std::uint8_t search = 4;
} // namespace midi_browse

// The binding that answers `message` on `port`, or null: bindings with a modifier mask compete
// first while modifiers are held (the one with most mask bits wins, then the earliest), else the
// first matching binding without one.
const MidiBinding* selectMidiBinding(const MidiController& controller, int port,
                                     const MidiMessage& message);

// Pressed rule: note on above velocity 0 and control change from 64 up press, note off, note on
// with velocity 0 and lower control changes release, every other kind presses.
bool midiPressed(const MidiBinding& binding, const MidiMessage& message);

// Relative delta of `byte` under the encoding (twos, signed, offset).
int midiRelativeDelta(std::uint8_t encoding, std::uint8_t byte);

// Dispatches `message` (from `port`) through `controller`. Writes at most `capacity` commands to
// `out` (never more than two) and sets `browse` (kind 0 when none). `timeMs` is the message's
// time stamp in milliseconds, 0 when unknown. Returns the number of commands written.
int dispatchMidi(MidiController& controller, int port, const MidiMessage& message,
                 const EngineSnapshot& state, Command* out, int capacity, MidiBrowseEvent& browse,
                 std::uint32_t timeMs);

} // namespace vyn
