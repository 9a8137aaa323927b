#pragma once
// MIDI beat clock as a pure state machine: 24 pulses (0xF8) per quarter note at the mix tempo,
// a start (0xFA) before the first pulse of a run and one stop (0xFC) when the run ends. A poll
// that finds pulses overdue sends at most eight of them at once and drops the rest, carrying on
// one interval after the poll.
//
// Threading: a plain value; its owner serialises access.

#include <cstdint>

namespace vyn {

namespace midi_clock {
inline constexpr std::uint8_t kPulse = 0xF8;
inline constexpr std::uint8_t kStart = 0xFA;
inline constexpr std::uint8_t kStop = 0xFC;
inline constexpr int kMaxBytesPerStep = 8;
} // namespace midi_clock

struct MidiClockGenerator {
    double tempo = 0.0;    // BPM, never negative
    bool running = false;  // some deck is playing
    bool started = false;  // a start was sent and no stop since
    bool primed = false;   // nextTick is valid
    double nextTick = 0.0; // seconds

    void reset() { *this = MidiClockGenerator{}; }
    // Sets the tempo (negative and non-finite values read as 0) and the running state.
    void set(double bpm, bool isRunning);
    // Seconds between pulses at the current tempo (0 when stopped).
    double interval() const;
};

// One poll at `now` seconds: writes at most min(capacity, 8) bytes to `out`, returns how many.
int midiClockStep(MidiClockGenerator& generator, double now, std::uint8_t* out, int capacity);

// One audio cycle of `frames` frames starting at frame `start` (of a clock at `rate` frames per
// second): steps the generator at each pulse's own time inside the cycle and hands its bytes to
// `write` with the frame offset they belong at (the first frame at or after the pulse's time;
// a start or stop at offset 0). A pulse due on the next cycle's first frame waits for it.
template <typename Write>
void midiClockCycle(MidiClockGenerator& g, std::uint64_t start, std::uint32_t frames, double rate,
                    Write&& write);

// Frame offset of `when` seconds in the cycle starting at `start`, or -1 when it lies beyond the
// cycle (a thousandth of a frame of tolerance absorbs the rounding of pulse times accumulated
// over hours).
std::int64_t midiClockOffset(double when, std::uint64_t start, std::uint32_t frames, double rate);

template <typename Write>
void midiClockCycle(MidiClockGenerator& g, std::uint64_t start, std::uint32_t frames, double rate,
                    Write&& write) {
    const double t0 = static_cast<double>(start) / rate;
    for (int guard = 0; guard < 64; ++guard) {
        const bool pulsing = g.primed && g.running && g.tempo > 0.0;
        const double when = pulsing && g.nextTick > t0 ? g.nextTick : t0;
        const std::int64_t offset = midiClockOffset(when, start, frames, rate);
        if (offset < 0) break;
        std::uint8_t bytes[midi_clock::kMaxBytesPerStep];
        const int n = midiClockStep(g, when, bytes, midi_clock::kMaxBytesPerStep);
        if (n == 0) break;
        write(static_cast<std::uint32_t>(offset), bytes, n);
        if (!pulsing && !(g.running && g.tempo > 0.0)) break;
    }
}

} // namespace vyn
