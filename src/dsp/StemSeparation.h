#pragma once
// One stem separation, as the loader's worker runs it: choose the separator, serve the stems from
// the cache when a valid file exists, otherwise split (reporting progress, stopping when the job
// is no longer wanted) and store the result in the cache.
//
// The spectral separator is always available. A neural separator is used only when one has been
// handed in through setNeuralSeparatorFactory(), the caller prefers it, and a registered model
// file is present (StemModels.h); this system registers none.
//
// Threading: separateStems() runs on the caller's thread (the loader's worker) and calls the
// request's callbacks there. The factory is process-wide behind its own mutex.

#include "dsp/IStemSeparator.h"
#include "dsp/StemSet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vyn {

using NeuralSeparatorFactory = std::function<std::unique_ptr<IStemSeparator>(
    const std::string& modelPath, const std::string& modelIdentity)>;

// An empty function removes the factory.
void setNeuralSeparatorFactory(NeuralSeparatorFactory factory);

struct SeparationRequest {
    const std::int16_t* pcm = nullptr; // interleaved stereo
    std::int64_t frames = 0;
    double sampleRate = 0.0;
    std::string path; // the track's file: part of the cache key
    bool preferNeural = false;
    // Asked at every progress report; false stops the split with "cancelled".
    std::function<bool()> isCurrent;
    // 0 when the job starts, the fraction done while it splits, -1 when it has ended.
    std::function<void(float)> progress;
};

struct SeparationResult {
    bool ok = false;
    bool fromCache = false;
    // "nothing to separate", "no separator available", "separation failed" or "cancelled".
    std::string error;
    StemSet stems;
};

SeparationResult separateStems(const SeparationRequest& request);

} // namespace vyn
