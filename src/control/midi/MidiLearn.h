#pragma once
// Binding by touch, and the texts the MIDI window shows for bindings: the learn template built
// from the window's selectors, the capture of the next message into a binding, the address and
// detail texts of a binding, the action's usual mode, and the merge of a preset's bindings into a
// saved mapping.
//
// Threading: plain functions over the values they are given; whoever owns the controller
// serialises access to it (the hub's MIDI mutex).

#include "control/midi/MidiBinding.h"
#include "control/midi/MidiController.h"
#include "control/midi/MidiMessage.h"

#include <string>
#include <string_view>

namespace vyn {

// The binding learn starts from: any port, the action (none for an unknown name) labelled with
// its name, the mode (trigger for an unknown name), slot -1 (focus) or 0-7, relative twos, range
// 0-1, step 0.01, param 0 and the modifier number itself as mod (0 = none).
MidiBinding midiLearnTemplate(std::string_view actionName, std::string_view modeName, int slot,
                              int shift);

// While `controller` is learning: takes note on above velocity 0, poly and channel pressure,
// control and program change and pitch bend as the control to bind (any port), replaces the
// binding with the same modifier, class, channel and number or appends it, remembers it in
// lastLearned and ends learning. Returns true when it bound; every other message is ignored and
// learning goes on.
bool midiLearnCapture(MidiController& controller, const MidiMessage& message);

// "p* ch2 cc 7", "p0 ch1 note 36", "p* ch16 bend".
std::string midiBindingAddress(const MidiBinding& binding);
// "absolute  ·  slot 1", "trigger  ·  focus  ·  shift 2".
std::string midiBindingDetail(const MidiBinding& binding);

// The mode the window switches to when `action` is chosen, or -1 to leave the selector alone.
int midiUsualMode(MidiAction action);

// Merges a preset's bindings into `into`, in preset order: a binding of a new key is appended; an
// existing one stays, except that a preset mcShift replaces a modifier, and a preset mcModeSwitch
// with a param replaces one whose param is exactly 0. Returns how many were appended or replaced.
int mergeMidiPreset(MidiMapping& into, const MidiMapping& preset);

// True when two mappings would write the same text.
bool sameMidiMapping(const MidiMapping& a, const MidiMapping& b);

} // namespace vyn
