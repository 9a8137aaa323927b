#pragma once
// Turns the byte stream of one MIDI input into messages: running status, SysEx (swallowed),
// real-time bytes inside other messages, system common messages.
//
// Threading: one instance per input port, used by one thread at a time (the port's input
// thread); it never allocates.

#include "control/midi/MidiMessage.h"

#include <cstddef>
#include <cstdint>

namespace vyn {

class MidiStreamParser {
public:
    // Parses `length` bytes and writes the complete messages to `out` (at most `capacity`);
    // messages that do not fit are counted in overflow(). Returns the number written.
    std::size_t parse(const std::uint8_t* bytes, std::size_t length, MidiMessage* out,
                      std::size_t capacity) noexcept;

    void reset() noexcept;
    std::uint64_t overflow() const noexcept { return overflow_; }

private:
    void emit(const MidiMessage& m, MidiMessage* out, std::size_t capacity,
              std::size_t& written) noexcept;

    std::uint8_t runningStatus_ = 0;
    std::uint8_t data_[2] = {0, 0};
    std::uint8_t count_ = 0;
    std::uint8_t expected_ = 0;
    std::uint8_t status_ = 0;
    bool inSysex_ = false;
    std::uint64_t overflow_ = 0;
};

} // namespace vyn
