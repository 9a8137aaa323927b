#pragma once
// Bindings for the MIDI tests, built from the fields a case cares about.

#include "control/midi/MidiBinding.h"

namespace vyn::test {

inline MidiBinding binding(std::uint8_t kind, int number, MidiAction action, int slot = 0,
                           MidiMode mode = MidiMode::trigger, double param = 0.0) {
    MidiBinding b;
    b.kind = kind;
    b.number = static_cast<std::uint8_t>(number);
    b.action = static_cast<std::uint16_t>(action);
    b.slot = slot;
    b.mode = static_cast<std::uint8_t>(mode);
    b.param = param;
    return b;
}

// The same with its value range (and step).
inline MidiBinding ranged(MidiBinding b, double min, double max, double step = 0.01) {
    b.min = min;
    b.max = max;
    b.step = step;
    return b;
}

// The same on one channel, and on one port (-1: any).
inline MidiBinding onChannel(MidiBinding b, int channel, int port = -1) {
    b.channel = static_cast<std::uint8_t>(channel);
    b.port = static_cast<std::int8_t>(port);
    return b;
}

// The same while the modifiers of the bit mask `mod` are held.
inline MidiBinding shifted(MidiBinding b, int mod) {
    b.mod = static_cast<std::uint8_t>(mod);
    return b;
}

} // namespace vyn::test
