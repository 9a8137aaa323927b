#pragma once
// The one-knob filter: a state-variable filter that is a low-pass left of centre (18 kHz at the
// centre down to 30 Hz at -1) and a high-pass right of centre (30 Hz up to 18 kHz at +1), with a
// dead zone of +-0.02 around the centre where it leaves the audio untouched. Resonance raises
// the quality factor from 0.707 towards 4.0 as the knob moves away from the centre.
//
// Engine use (audio thread only): one per deck, plus one inside the FX unit for its filter type.
// prepare() on engine prepare (keeps knob and resonance); setKnob/setResonance when SET_FILTER /
// SET_FILTER_RESONANCE are applied; process() on the deck buffer once per block, right after the
// channel strip (render step 10.2). Coefficients follow the knob at block rate, unsmoothed.

namespace vyn {

class ChannelFilter {
public:
    static constexpr float kDeadZone = 0.02f;

    void prepare(double sampleRate) noexcept;
    // Clamped to [-1, 1] and [0, 1]; a non-finite value is ignored.
    void setKnob(float knob) noexcept;
    void setResonance(float resonance) noexcept;
    void reset() noexcept;

    // In place on `frames` interleaved stereo frames.
    void process(float* stereo, int frames) noexcept;

    float knob() const noexcept { return knob_; }
    float resonance() const noexcept { return resonance_; }
    static bool inDeadZone(float knob) noexcept { return knob > -kDeadZone && knob < kDeadZone; }
    // Cutoff in Hz for a knob outside the dead zone (before the Nyquist guard).
    static float cutoffHz(float knob) noexcept;

private:
    double sampleRate_ = 48000.0;
    float knob_ = 0.0f;
    float resonance_ = 0.0f;
    float ic1_[2] = {0.0f, 0.0f};
    float ic2_[2] = {0.0f, 0.0f};
};

} // namespace vyn
