#pragma once
// The three-band EQ as first specified: two one-pole low-passes at 200 Hz and 4 kHz split the
// signal, low = LP200, mid = LP4k - LP200, high = x - LP4k. Gentle (6 dB per octave, so a killed
// band is only 12 dB down an octave past its crossover) and reconstructs the input exactly at
// unit gains. Kept as the `eqType` 1 choice for anyone who prefers its curve.
//
// Audio thread only; one per channel strip; same interface as IsolatorEq.

namespace vyn {

class OnePoleSplit {
public:
    static constexpr double kLowCrossoverHz = 200.0;
    static constexpr double kHighCrossoverHz = 4000.0;

    // Coefficients clamp(1 - exp(-2 pi f / rate), 0, 1); both 1 when the rate is not above 0.
    void prepare(double sampleRate) noexcept;
    void reset() noexcept;

    // In place on `frames` interleaved stereo frames, with per-frame band gains.
    void process(float* stereo, int frames, const float* low, const float* mid,
                 const float* high) noexcept;
    // Keeps the low-passes following the input, leaving the audio alone.
    void track(const float* stereo, int frames) noexcept;

private:
    float lowCoefficient_ = 1.0f;
    float midCoefficient_ = 1.0f;
    float lowState_[2] = {0.0f, 0.0f};
    float midState_[2] = {0.0f, 0.0f};
};

} // namespace vyn
