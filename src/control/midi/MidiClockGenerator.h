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

} // namespace vyn
