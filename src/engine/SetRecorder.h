#pragma once
// A set recording in memory: the events drained so far from the engine's command capture and the
// MIDI capture, and how they become a SetReplay document.
//
// Threading: user-interface thread only.

#include "engine/CommandCapture.h"
#include "engine/MidiCapture.h"
#include "engine/SetReplay.h"

#include <cstdint>
#include <vector>

namespace vyn {

class SetRecorder {
public:
    // Records read from each ring per drain (one drain per refresh pass).
    static constexpr int kDrainLimit = 2048;

    SetRecorder(std::uint32_t recordingId, std::int64_t createdAtMillis, double sampleRate,
                std::uint64_t droppedAtStart);

    std::uint32_t recordingId() const { return id_; }
    std::int64_t createdAtMillis() const { return createdAtMillis_; }
    const std::vector<ReplayEvent>& events() const { return events_; }

    // Reads up to kDrainLimit records from each ring, keeping those of this recording. Returns the
    // number of records read (kept or not).
    int drain(CommandCapture& commands, MidiCapture& midi);
    // The document: named "Set " + the local creation time, events sorted by frame (capture order
    // among equal frames), the events dropped since the recording began.
    SetReplay build(std::uint64_t droppedNow) const;

private:
    std::uint32_t id_;
    std::int64_t createdAtMillis_;
    double sampleRate_;
    std::uint64_t droppedAtStart_;
    std::vector<ReplayEvent> events_;
};

} // namespace vyn
