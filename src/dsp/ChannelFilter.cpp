#include "dsp/ChannelFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vyn {

void ChannelFilter::prepare(double sampleRate) noexcept {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    reset();
}

void ChannelFilter::setKnob(float knob) noexcept {
    if (std::isfinite(knob)) knob_ = std::clamp(knob, -1.0f, 1.0f);
}

void ChannelFilter::setResonance(float resonance) noexcept {
    if (std::isfinite(resonance)) resonance_ = std::clamp(resonance, 0.0f, 1.0f);
}

void ChannelFilter::reset() noexcept {
    ic1_[0] = ic1_[1] = ic2_[0] = ic2_[1] = 0.0f;
}

float ChannelFilter::cutoffHz(float knob) noexcept {
    const float v = std::clamp(knob, -1.0f, 1.0f);
    // Exponential in the knob so equal knob travel is equal musical distance.
    if (v <= 0.0f) return 18000.0f * std::pow(0.0016666667f, -v);
    return 30.0f * std::pow(600.0f, v);
}

void ChannelFilter::process(float* stereo, int frames) noexcept {
    if (inDeadZone(knob_)) {
        // Leaving the dead zone later starts from rest rather than from stale energy.
        reset();
        return;
    }
    const float v = knob_;
    const float k = 1.0f / (resonance_ * 3.293f * std::fabs(v) + 0.707f);
    const double fc = std::clamp(static_cast<double>(cutoffHz(v)), 1.0, 0.45 * sampleRate_);
    const float g = static_cast<float>(std::tan(std::numbers::pi * fc / sampleRate_));
    const float a1 = 1.0f / (1.0f + g * (g + k));
    const float a2 = g * a1;
    const bool lowPass = v < 0.0f;
    for (int ch = 0; ch < 2; ++ch) {
        float ic1 = ic1_[ch];
        float ic2 = ic2_[ch];
        float* p = stereo + ch;
        for (int f = 0; f < frames; ++f, p += 2) {
            const float x = *p;
            const float t1 = a1 * ic1 + a2 * (x - ic2);
            const float t2 = ic2 + g * t1;
            ic1 = 2.0f * t1 - ic1;
            ic2 = 2.0f * t2 - ic2;
            *p = lowPass ? t2 : x - k * t1 - t2;
        }
        ic1_[ch] = ic1;
        ic2_[ch] = ic2;
    }
}

} // namespace vyn
