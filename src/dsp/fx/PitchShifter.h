#pragma once
// Pitch shifter: two taps sweep through a 40 ms window of a short stereo line at (1 - ratio)
// frames per frame, half a window apart, and are crossfaded with raised-cosine weights that are
// zero exactly where a tap jumps back across the window, so the output never clicks. Pitch is
// in octaves, [-1, 1]. Writes the shifted signal (a crossfade effect). Audio thread only.

#include "dsp/fx/StereoDelay.h"

namespace vyn::fx {

class PitchShifter {
public:
    static constexpr float kDeadZone = 0.02f;

    void prepare(double sampleRate);
    void reset() noexcept;
    // Moving the pitch out of the dead zone starts from an empty line.
    void setPitch(float octaves) noexcept;
    float pitch() const noexcept { return pitch_; }
    static bool inDeadZone(float octaves) noexcept {
        return octaves > -kDeadZone && octaves < kDeadZone;
    }
    void process(float* stereo, int frames) noexcept;

private:
    StereoDelay line_;
    double window_ = 1920.0;
    double sweep_ = 0.0;
    float pitch_ = 0.0f;
};

} // namespace vyn::fx
