#pragma once
// Timing shared by the beat-based effects: the seven-step beat table behind the quantised
// parameter, the effective tempo of a module and the delay time of a number of beats.

#include <algorithm>
#include <cmath>

namespace vyn::fx {

inline constexpr double kBeatTable[7] = {1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 2, 1.0, 2.0, 4.0};
inline constexpr double kMinBeats = 1.0 / 16;
inline constexpr double kMaxBeats = 16.0;

// The step 0..6 a parameter value in [0, 1] selects (values outside are clamped first).
inline int beatStep(double value) {
    const double v = std::clamp(value, 0.0, 1.0);
    return std::min(6, std::max(0, static_cast<int>(std::trunc(v * 6.0 + 0.5))));
}

inline double clampBeats(double beats) {
    return std::clamp(beats, kMinBeats, kMaxBeats);
}

// A module that has never been told a tempo above 1 BPM runs at 120.
inline double effectiveTempo(double bpm) {
    return bpm > 1.0 ? bpm : 120.0;
}

// Seconds spanned by `beats` at `tempo` (an effective tempo), limited to what a line can hold.
inline double delaySeconds(double beats, double tempo) {
    return std::clamp(beats * 60.0 / tempo, 0.001, 6.0);
}

} // namespace vyn::fx
