#pragma once
// A set replay: a DJ set recorded as the commands the engine applied and the MIDI messages that
// arrived, each stamped with its frame relative to the start of the recording. Stored as one line
// of JSON (".vynset"); the reader skips what it does not know so newer writers stay readable.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

struct ReplayEvent {
    bool isMidi = false;
    std::int64_t frame = 0;
    // command events
    std::int32_t command = 0;
    std::int32_t deck = -1;
    double value = 0.0;
    std::int32_t trackId = 0;
    std::string path;
    // MIDI events
    std::int32_t port = -1;
    std::int32_t status = 0;
    std::int32_t data1 = 0;
    std::int32_t data2 = 0;
};

struct SetReplay {
    std::string name;
    std::int64_t createdAtMillis = 0;
    double sampleRate = 48000.0;
    std::vector<ReplayEvent> events; // stably sorted by frame
    std::int64_t droppedEvents = 0;
};

// One line of JSON with the keys in their fixed order.
std::string writeSetReplay(const SetReplay& replay);

struct SetReplayReadResult {
    bool ok = false;
    SetReplay replay;
    std::string error;
};

// Accepts only format "vyn-set-replay" version 1; skips unknown keys and malformed events.
SetReplayReadResult readSetReplay(std::string_view text);

// Sorts events by frame, keeping capture order among equal frames.
void sortEventsStably(std::vector<ReplayEvent>& events);

} // namespace vyn
