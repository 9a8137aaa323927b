#pragma once
// Phaser: per channel six first-order all-pass stages sharing one coefficient swept by a sine LFO
// of 0.05 to 2 Hz, with feedback from the chain's output to its input. Writes only its wet
// signal (the all-passed audio; summed with the dry signal it gives the moving notches). Audio
// thread only.

namespace vyn::fx {

class Phaser {
public:
    static constexpr float kMaxFeedback = 0.5f;
    static constexpr int kStages = 6;

    void prepare(double sampleRate) noexcept;
    void reset() noexcept;
    // Rate in [0, 1]; dropping to 0 from above clears the stages and restarts the LFO.
    void setRate(float rate) noexcept;
    void setFeedback(float feedback) noexcept;
    float rate() const noexcept { return rate_; }
    float feedback() const noexcept { return feedback_; }
    void process(float* stereo, int frames) noexcept;

private:
    double sampleRate_ = 48000.0;
    double phase_ = 0.0;
    float state_[2][kStages] = {};
    float last_[2] = {0.0f, 0.0f};
    float rate_ = 0.25f;
    float feedback_ = 0.3f;
};

} // namespace vyn::fx
