#pragma once
// The master and cue buses: every loaded deck is summed into the master (and into the cue bus
// when its cue switch is on); the master then passes the smoothed master gain and a peak limiter
// (1 ms attack, 120 ms release, threshold 0.891, about -1 dBFS) and is clamped to [-1, 1]. The cue
// bus is copied out unlimited.
//
// Engine use (audio thread only, except prepare):
// - prepare() on engine prepare (allocates both buses for `maxBlock` frames; keeps the master
//   gain target);
// - setMasterGain() when SET_MASTER_GAIN is applied;
// - beginBlock() at render step 7 (clears both buses);
// - addDeck() at render step 10.5 for each loaded deck, after its filter and FX;
// - master() is the buffer the FX unit works on at steps 11 to 13;
// - output() at step 14 writes the device's stereo master and the cue-out buffer;
// - masterPeak() / limiterGain() for the snapshot.

#include "dsp/SmoothedParameter.h"

#include <vector>

namespace vyn {

class MasterBus {
public:
    static constexpr float kLimiterThreshold = 0.891f;

    void prepare(double sampleRate, int maxBlock);
    // Takes the value as given (no clamping); a non-finite value is ignored.
    void setMasterGain(float gain) noexcept;

    // Frames are clamped to the prepared block size by every call below.
    void beginBlock(int frames) noexcept;
    void addDeck(const float* deck, int frames, bool toCue) noexcept;
    float* master() noexcept { return master_.data(); }
    float* cue() noexcept { return cue_.data(); }
    // Master gain, limiter and clamp into `masterOut`; the cue bus into `cueOut` (may be null).
    void output(float* masterOut, float* cueOut, int frames) noexcept;

    float masterGain() const noexcept { return gain_.target; }
    // Largest absolute sample of the last block after master gain, before the limiter.
    float masterPeak() const noexcept { return masterPeak_; }
    float limiterGain() const noexcept { return limiterGain_; }
    int maxBlock() const noexcept { return maxBlock_; }

private:
    int clampFrames(int frames) const noexcept;

    std::vector<float> master_;
    std::vector<float> cue_;
    SmoothedParameter gain_{1.0f, 1.0f, 0.0f};
    float limiterGain_ = 1.0f;
    float attack_ = 0.0f;
    float release_ = 0.0f;
    float masterPeak_ = 0.0f;
    int maxBlock_ = 0;
};

} // namespace vyn
