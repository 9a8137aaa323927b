#include "dsp/fx/Flanger.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace vyn::fx {

void Flanger::prepare(double sampleRate) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    line_.allocate(static_cast<int>(std::ceil(0.008 * sampleRate_)) + 2);
    phase_ = 0.0;
}

void Flanger::reset() noexcept {
    line_.clear();
    phase_ = 0.0;
}

void Flanger::setRate(float rate) noexcept {
    if (!std::isfinite(rate)) return;
    const float next = std::clamp(rate, 0.0f, 1.0f);
    if (rate_ > 0.0f && next <= 0.0f) reset();
    rate_ = next;
}

void Flanger::setFeedback(float feedback) noexcept {
    if (std::isfinite(feedback)) feedback_ = std::clamp(feedback, 0.0f, kMaxFeedback);
}

void Flanger::process(float* stereo, int frames) noexcept {
    if (rate_ <= 0.0f) {
        std::memset(stereo, 0, 2 * static_cast<std::size_t>(frames) * sizeof(float));
        return;
    }
    constexpr double twoPi = 2.0 * std::numbers::pi;
    const double step = twoPi * (rate_ * 1.95 + 0.05) / sampleRate_;
    const double sweep = 0.0072 * sampleRate_;
    const double base = 0.0008 * sampleRate_;
    const double top = static_cast<double>(line_.size() - 1);
    const float fb = feedback_;
    double phase = phase_;
    for (int f = 0; f < frames; ++f) {
        float* p = stereo + 2 * f;
        const double s = std::sin(phase);
        const double dl = std::clamp((0.5 + 0.5 * s) * sweep + base, 1.0, top);
        const double dr = std::clamp((0.5 - 0.5 * s) * sweep + base, 1.0, top);
        const float yl = line_.read(dl, 0);
        const float yr = line_.read(dr, 1);
        line_.write(yl * fb + p[0], yr * fb + p[1]);
        line_.advance();
        p[0] = yl;
        p[1] = yr;
        phase += step;
        if (phase >= twoPi) phase -= twoPi;
    }
    phase_ = phase;
}

} // namespace vyn::fx
