#include "engine/SetRecorder.h"

#include "support/TimeFormat.h"

#include <algorithm>
#include <cmath>

namespace vyn {

SetRecorder::SetRecorder(std::uint32_t recordingId, std::int64_t createdAtMillis, double sampleRate,
                         std::uint64_t droppedAtStart)
    : id_(recordingId), createdAtMillis_(createdAtMillis),
      sampleRate_(std::isfinite(sampleRate) ? std::max(sampleRate, 1.0) : 48000.0),
      droppedAtStart_(droppedAtStart) {}

int SetRecorder::drain(CommandCapture& commands, MidiCapture& midi) {
    int read = 0;
    CapturedCommand c;
    for (int i = 0; i < kDrainLimit && commands.pop(c); ++i, ++read) {
        if (c.recordingId != id_) continue;
        ReplayEvent e;
        e.frame = c.frame;
        e.command = c.command;
        e.deck = c.deck;
        e.value = c.value;
        // A switch the engine read as "on" from a NaN stays on in the file, which has no NaN.
        if (!std::isfinite(e.value) && commandValueIsBoolean(static_cast<CommandType>(c.command)))
            e.value = 1.0;
        e.trackId = c.trackId;
        e.path = c.path;
        events_.push_back(std::move(e));
    }
    CapturedMidi m;
    for (int i = 0; i < kDrainLimit && midi.pop(m); ++i, ++read) {
        if (m.recordingId != id_) continue;
        ReplayEvent e;
        e.isMidi = true;
        e.frame = m.frame;
        e.port = m.port == 0xFFFF ? -1 : m.port;
        e.status = m.status;
        e.data1 = m.data1;
        e.data2 = m.data2;
        events_.push_back(e);
    }
    return read;
}

SetReplay SetRecorder::build(std::uint64_t droppedNow) const {
    SetReplay r;
    r.name = "Set " + formatLocalTime(createdAtMillis_, "%Y-%m-%d %H:%M");
    r.createdAtMillis = createdAtMillis_;
    r.sampleRate = sampleRate_;
    r.events = events_;
    sortEventsStably(r.events);
    r.droppedEvents =
        droppedNow > droppedAtStart_ ? static_cast<std::int64_t>(droppedNow - droppedAtStart_) : 0;
    return r;
}

} // namespace vyn
