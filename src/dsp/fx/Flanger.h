#pragma once
// Flanger: a short stereo line (0.8 to 8 ms) swept by a sine LFO of 0.05 to 2 Hz, the two channels
// in opposite phase, with feedback. Writes only its wet signal; rate 0 is silent. Audio thread
// only, after prepare.

#include "dsp/fx/StereoDelay.h"

namespace vyn::fx {

class Flanger {
public:
    static constexpr float kMaxFeedback = 0.72f;

    void prepare(double sampleRate);
    void reset() noexcept;
    // Rate in [0, 1]; dropping to 0 from above clears the line and restarts the LFO.
    void setRate(float rate) noexcept;
    void setFeedback(float feedback) noexcept;
    float rate() const noexcept { return rate_; }
    float feedback() const noexcept { return feedback_; }
    void process(float* stereo, int frames) noexcept;

private:
    StereoDelay line_;
    double sampleRate_ = 48000.0;
    double phase_ = 0.0;
    float rate_ = 0.25f;
    float feedback_ = 0.5f;
};

} // namespace vyn::fx
