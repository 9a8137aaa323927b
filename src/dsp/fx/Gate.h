#pragma once
// Gate: opens for `duty` of each period of `beats` beats, with smooth (3 - 2t)t^2 edges, and is
// closed for the rest. Writes the gated input (a crossfade effect). Audio thread only.

namespace vyn::fx {

class Gate {
public:
    static constexpr float kMinDuty = 0.05f;
    static constexpr float kMaxDuty = 0.95f;

    void prepare(double sampleRate) noexcept;
    void reset() noexcept { phase_ = 0.0; }
    void setBeats(double beats) noexcept;
    void setDuty(float duty) noexcept;
    double beats() const noexcept { return beats_; }
    float duty() const noexcept { return duty_; }
    void process(float* stereo, int frames, double tempo) noexcept;

    // Gain at phase `p` in [0, 1) of the period, for a duty and an edge width (both in periods).
    static float gain(double p, double duty, double edge) noexcept;

private:
    double sampleRate_ = 48000.0;
    double beats_ = 1.0;
    double phase_ = 0.0;
    float duty_ = 0.5f;
};

} // namespace vyn::fx
