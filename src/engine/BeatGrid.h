#pragma once
// A track's beat grid and cue marks: the same records serve the catalogue and the loaded track.
// Grid queries work in seconds and fractional beat numbers (beat 0 = the first grid beat); the
// tempo used outside the listed beats is clamped to 20..400 BPM. Like an empty grid, a query with
// a NaN time or beat answers 0.

#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

struct GridBeat {
    double time = 0.0;           // seconds from the start of the audio
    double bpm = 0.0;            // tempo from this beat on
    std::uint16_t beatInBar = 1; // 1 = downbeat

    bool operator==(const GridBeat&) const = default;
};

struct BeatGrid {
    std::vector<GridBeat> beats; // increasing time
    double bpm = 0.0;            // mean of the beats' bpm (0 when empty)
    bool constantTempo = true;   // every beat within 0.01 BPM of the first
    std::int32_t beatsPerBar = 4;

    bool empty() const { return beats.empty(); }
    bool operator==(const BeatGrid&) const = default;

    // Recomputes bpm and constantTempo from the beats.
    void updateSummary();

    // Index of the last beat at or before t; -1 before the first beat (or when empty).
    int indexAt(double t) const;
    // Fractional beat number at t seconds.
    double beatAt(double t) const;
    // Seconds at fractional beat b.
    double timeAt(double b) const;
    // Tempo at t (the first beat's before the grid, the last beat's beyond it).
    double bpmAt(double t) const;
    // Position inside the bar in beats, 0 <= result < beatsPerBar.
    double barPhase(double t) const;
};

// Seconds per beat for a tempo, with the tempo clamped to 20..400 BPM.
double beatPeriod(double bpm);

enum class CueKind : std::uint8_t {
    Memory = 0, // cue point without a hot-cue slot
    HotCue = 1, // cue point with a slot number of 0 or more
    Loop = 2,
    FadeIn = 3,
    FadeOut = 4,
    LoadPoint = 5, // where playback starts when the track is loaded
};

struct CueMark {
    CueKind kind = CueKind::Memory;
    std::int32_t number = -1; // hot-cue slot from the source, 0-based; -1 for none
    double start = 0.0;       // seconds
    double end = -1.0;        // seconds; -1 = no end (an end after the start makes it a loop)
    std::string name;

    bool operator==(const CueMark&) const = default;
};

// Where a track starts when loaded: the first load point, else the first memory cue, else 0.
double loadCueTime(const std::vector<CueMark>& cues);

} // namespace vyn
