#pragma once
// Whole-semitone transposition of a deck and the key sync choice: the smallest shift within two
// semitones that puts a deck's key in harmonic agreement with the master's sounding key.

#include "dsp/KeyNotation.h"

#include <optional>

namespace vyn {

inline constexpr int kMaxKeyShift = 6;

// A command value as semitones: rounded half away from zero, then clamped to -6..6.
// `value` must be finite.
int keyShiftFromValue(double value);

// 2^(semitones / 12); exactly 1.0 for 0.
double pitchFactor(int semitones);

// The absolute key shift (-2..2) for a deck in key `deck` so that it agrees with a master in key
// `master` transposed by `masterShift` semitones: the master's key or one of its neighbours on the
// circle of fifths, through the relative key when the modes differ. The smallest shift wins and,
// between equal sizes, the upward one. Empty when either key is unknown or nothing fits.
std::optional<int> chooseKeySyncShift(KeyCode deck, KeyCode master, int masterShift);

} // namespace vyn
