#pragma once
// One parsed MIDI message, its one-line text form, and the short device labels the deck panels
// show. Plain values: safe to copy between threads.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vyn {

enum class MidiKind : std::uint8_t {
    None = 0,
    NoteOff = 1,
    NoteOn = 2, // velocity 0 stays NoteOn; the binding layer reads it as a release
    PolyAftertouch = 3,
    ControlChange = 4,
    ProgramChange = 5,
    ChannelPressure = 6,
    PitchBend = 7,
    SystemRealtime = 8,
    SystemCommon = 9,
};

struct MidiMessage {
    std::uint8_t kind = 0;    // MidiKind
    std::uint8_t status = 0;  // as received; includes the channel for channel messages
    std::uint8_t channel = 0; // 0-15; 0 for system messages
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0; // 0 where the message has fewer than two data bytes

    MidiKind midiKind() const { return static_cast<MidiKind>(kind); }
    // Builds the message a complete status/data sequence stands for.
    static MidiMessage fromBytes(std::uint8_t status, std::uint8_t data1 = 0,
                                 std::uint8_t data2 = 0);
};

static_assert(sizeof(MidiMessage) == 5);

// Number of data bytes that complete a message with this status byte (0 for data bytes and
// real-time bytes).
int midiDataLength(std::uint8_t status);
// The kind a status byte announces (None below 0x80).
MidiKind midiKindOfStatus(std::uint8_t status);
// Short name of a status ("note on", "cc", "clock", "?").
const char* midiStatusName(std::uint8_t status);

// Writes the message as one line of text; always NUL-terminates within `size` (when size > 0).
// Returns the length written (excluding the NUL).
std::size_t formatMidiMessage(const MidiMessage& message, char* buffer, std::size_t size);
std::string formatMidiMessage(const MidiMessage& message);

// The label a deck panel shows for a device: trimmed, without a leading vendor prefix, "MIDI"
// when nothing is left, at most 14 bytes (never splitting a UTF-8 sequence).
std::string midiDeviceLabel(std::string_view name);

} // namespace vyn
