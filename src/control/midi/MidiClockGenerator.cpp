#include "control/midi/MidiClockGenerator.h"

#include <algorithm>
#include <cmath>

namespace vyn {

void MidiClockGenerator::set(double bpm, bool isRunning) {
    tempo = std::isfinite(bpm) ? std::max(bpm, 0.0) : 0.0;
    running = isRunning;
}

double MidiClockGenerator::interval() const {
    return tempo > 0.0 ? 60.0 / (tempo * 24.0) : 0.0;
}

int midiClockStep(MidiClockGenerator& g, double now, std::uint8_t* out, int capacity) {
    const int room = std::min(capacity, midi_clock::kMaxBytesPerStep);
    int n = 0;
    if (g.running && g.tempo > 0.0) {
        if (!g.started) {
            if (n < room) out[n++] = midi_clock::kStart;
            g.nextTick = now;
            g.started = g.primed = true;
        } else if (!g.primed) {
            g.nextTick = now;
            g.primed = true;
        }
        const double interval = g.interval();
        while (n < room && now + 1e-9 >= g.nextTick) {
            out[n++] = midi_clock::kPulse;
            g.nextTick += interval;
        }
        // Pulses beyond this poll's eight are dropped, not carried over.
        if (now - interval > g.nextTick) g.nextTick = now + interval;
        return n;
    }
    if (g.started && n < room) {
        out[n++] = midi_clock::kStop;
        g.started = false;
    }
    g.primed = false;
    return n;
}

std::int64_t midiClockOffset(double when, std::uint64_t start, std::uint32_t frames, double rate) {
    const double first = std::ceil(when * rate - 1e-3) - static_cast<double>(start);
    if (first >= static_cast<double>(frames)) return -1;
    return first < 0.0 ? 0 : static_cast<std::int64_t>(first);
}

} // namespace vyn
