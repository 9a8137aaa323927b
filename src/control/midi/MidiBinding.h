#pragma once
// A binding says which incoming control (port, message class, channel, number), while which
// modifiers are held, triggers which action on which deck slot, and how the message value becomes
// the command value. A mapping is one controller's ordered list of bindings.

#include "control/midi/MidiAction.h"
#include "control/midi/MidiMessage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

// Message classes a binding listens to (the status high nibble).
namespace midi_class {
inline constexpr std::uint8_t note = 0x90; // note on and note off
inline constexpr std::uint8_t poly = 0xA0;
inline constexpr std::uint8_t cc = 0xB0;
inline constexpr std::uint8_t program = 0xC0;
inline constexpr std::uint8_t touch = 0xD0; // channel pressure
inline constexpr std::uint8_t pitch = 0xE0;
} // namespace midi_class

struct MidiBinding {
    std::int8_t port = -1; // -1 = any input port
    std::uint8_t kind = 0; // message class; 0 never matches
    std::uint8_t channel = 0;
    std::uint8_t number = 0; // ignored for touch and pitch
    std::uint16_t action = 0;
    std::int32_t slot = 0; // -1 = the focused deck, else a position within the bank
    std::uint8_t mode = 0;
    std::uint8_t relative = 0;
    double min = 0.0;
    double max = 1.0;
    double step = 0.01;
    double param = 0.0;
    std::uint8_t mod = 0; // modifier bit mask; 0 = needs none
    std::string label;

    MidiAction midiAction() const { return static_cast<MidiAction>(action); }
    MidiMode midiMode() const { return static_cast<MidiMode>(mode); }
    bool numberMatters() const { return kind != midi_class::touch && kind != midi_class::pitch; }
};

struct MidiMapping {
    std::string device;
    std::int32_t channels = 2; // 1-16 consecutive decks from the bank's first deck
    std::vector<MidiBinding> bindings;
};

// The binding class a message belongs to, or 0 for messages no binding answers.
std::uint8_t midiBindingClass(const MidiMessage& message);

// True when both bindings answer the same control: same mod, class, channel and number (number
// ignored for touch and pitch) and compatible ports (either is -1, or both are equal).
bool sameBindingKey(const MidiBinding& a, const MidiBinding& b);

} // namespace vyn
