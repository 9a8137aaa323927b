#pragma once
// What splits a track into stems. The spectral separator is the one this system ships; a neural
// separator may be handed in from outside (StemSeparation.h) and must behave the same way.
//
// Threading: a separator runs on one thread (the loader's worker) for the length of one call.

#include "dsp/StemSet.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vyn {

// Receives the fraction done (0..1); answering false asks the separator to stop.
using StemProgress = std::function<bool(float fraction)>;

class IStemSeparator {
public:
    virtual ~IStemSeparator() = default;
    virtual bool isNeural() const = 0;
    // Identifies the model behind a neural separator (part of the stem cache key); empty for the
    // spectral separator.
    virtual std::string modelIdentity() const = 0;
    // Fills `out` from interleaved stereo 16-bit `pcm` of `frames` frames. False when the input is
    // unusable or `progress` asked to stop; `out` is then incomplete.
    virtual bool separate(const std::int16_t* pcm, std::int64_t frames, double sampleRate,
                          StemSet& out, const StemProgress& progress) = 0;
};

} // namespace vyn
