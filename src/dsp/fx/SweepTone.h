#pragma once
// Sweep tone: a sine whose frequency sweeps exponentially from 40 Hz to 2 kHz once per `beats`
// beats, either rising like a saw or up and down like a triangle. It ignores its input and
// writes the tone (an additive effect). Audio thread only.

namespace vyn::fx {

class SweepTone {
public:
    static constexpr float kLevel = 0.22f;

    void prepare(double sampleRate) noexcept;
    void reset() noexcept;
    void setBeats(double beats) noexcept;
    double beats() const noexcept { return beats_; }
    void process(float* stereo, int frames, double tempo, bool triangle) noexcept;

private:
    double sampleRate_ = 48000.0;
    double beats_ = 1.0;
    double sweep_ = 0.0;
    double phase_ = 0.0;
};

} // namespace vyn::fx
