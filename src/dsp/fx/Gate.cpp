#include "dsp/fx/Gate.h"

#include "dsp/fx/BeatTiming.h"

#include <algorithm>
#include <cmath>

namespace vyn::fx {
namespace {

double smoothStep(double t) {
    return (3.0 - 2.0 * t) * t * t;
}

} // namespace

void Gate::prepare(double sampleRate) noexcept {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    phase_ = 0.0;
}

void Gate::setBeats(double beats) noexcept {
    if (std::isfinite(beats)) beats_ = clampBeats(beats);
}

void Gate::setDuty(float duty) noexcept {
    if (std::isfinite(duty)) duty_ = std::clamp(duty, kMinDuty, kMaxDuty);
}

float Gate::gain(double p, double duty, double edge) noexcept {
    if (p >= duty) return 0.0f;
    double g = 1.0;
    if (p < edge) g = smoothStep(p / edge);
    // When the open part is shorter than two edges the ramps overlap; the lower one wins so the
    // gain closes smoothly instead of dropping to 0 from the middle of the rising edge.
    if (p > duty - edge) g = std::min(g, smoothStep((duty - p) / edge));
    return static_cast<float>(g);
}

void Gate::process(float* stereo, int frames, double tempo) noexcept {
    const double cyclesPerSecond = tempo / (beats_ * 60.0);
    const double step = cyclesPerSecond / sampleRate_;
    const double edge = std::clamp(sampleRate_ * 0.004 * cyclesPerSecond, 0.02, 0.2);
    const double duty = duty_;
    double p = phase_;
    for (int f = 0; f < frames; ++f) {
        const float g = gain(p, duty, edge);
        stereo[2 * f] *= g;
        stereo[2 * f + 1] *= g;
        p += step;
        if (p >= 1.0) p -= std::floor(p);
    }
    phase_ = p;
}

} // namespace vyn::fx
