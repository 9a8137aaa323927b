#include "dsp/ChannelFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <type_traits>

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
    // Both channels per frame: two independent recurrences the processor can overlap.
    float c1l = ic1_[0], c2l = ic2_[0], c1r = ic1_[1], c2r = ic2_[1];
    auto run = [&](auto highPass) {
        for (int f = 0; f < frames; ++f) {
            float* p = stereo + 2 * f;
            const float xl = p[0];
            const float xr = p[1];
            const float t1l = a1 * c1l + a2 * (xl - c2l);
            const float t1r = a1 * c1r + a2 * (xr - c2r);
            const float t2l = c2l + g * t1l;
            const float t2r = c2r + g * t1r;
            c1l = 2.0f * t1l - c1l;
            c1r = 2.0f * t1r - c1r;
            c2l = 2.0f * t2l - c2l;
            c2r = 2.0f * t2r - c2r;
            if constexpr (decltype(highPass)::value) {
                p[0] = xl - k * t1l - t2l;
                p[1] = xr - k * t1r - t2r;
            } else {
                p[0] = t2l;
                p[1] = t2r;
            }
        }
    };
    if (v < 0.0f)
        run(std::false_type{});
    else
        run(std::true_type{});
    ic1_[0] = c1l;
    ic2_[0] = c2l;
    ic1_[1] = c1r;
    ic2_[1] = c2r;
}

} // namespace vyn
