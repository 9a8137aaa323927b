#include "dsp/fx/Phaser.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace vyn::fx {

void Phaser::prepare(double sampleRate) noexcept {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    reset();
}

void Phaser::reset() noexcept {
    for (auto& channel : state_)
        std::fill(std::begin(channel), std::end(channel), 0.0f);
    last_[0] = last_[1] = 0.0f;
    phase_ = 0.0;
}

void Phaser::setRate(float rate) noexcept {
    if (!std::isfinite(rate)) return;
    const float next = std::clamp(rate, 0.0f, 1.0f);
    if (rate_ > 0.0f && next <= 0.0f) reset();
    rate_ = next;
}

void Phaser::setFeedback(float feedback) noexcept {
    if (std::isfinite(feedback)) feedback_ = std::clamp(feedback, 0.0f, kMaxFeedback);
}

void Phaser::process(float* stereo, int frames) noexcept {
    constexpr double twoPi = 2.0 * std::numbers::pi;
    const double step = twoPi * (rate_ * 1.95 + 0.05) / sampleRate_;
    const float fb = feedback_;
    double phase = phase_;
    for (int f = 0; f < frames; ++f) {
        const float a = static_cast<float>((0.5 + 0.5 * std::sin(phase)) * 0.75 + 0.15);
        for (int ch = 0; ch < 2; ++ch) {
            float u = stereo[2 * f + ch] + fb * last_[ch];
            float* s = state_[ch];
            for (int k = 0; k < kStages; ++k) {
                const float y = s[k] - a * u;
                s[k] = a * y + u;
                u = y;
            }
            last_[ch] = u;
            stereo[2 * f + ch] = u;
        }
        phase += step;
        if (phase >= twoPi) phase -= twoPi;
    }
    phase_ = phase;
}

} // namespace vyn::fx
