#include "dsp/fx/SweepTone.h"

#include "dsp/fx/BeatTiming.h"

#include <cmath>
#include <numbers>

namespace vyn::fx {

void SweepTone::prepare(double sampleRate) noexcept {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    reset();
}

void SweepTone::reset() noexcept {
    sweep_ = 0.0;
    phase_ = 0.0;
}

void SweepTone::setBeats(double beats) noexcept {
    if (std::isfinite(beats)) beats_ = clampBeats(beats);
}

void SweepTone::process(float* stereo, int frames, double tempo, bool triangle) noexcept {
    constexpr double twoPi = 2.0 * std::numbers::pi;
    constexpr double lowLog = 3.6888794541139363; // ln 40
    constexpr double span = 3.9120230054281461;   // ln 2000 - ln 40
    const double step = tempo / (beats_ * 60.0) / sampleRate_;
    const double toPhase = twoPi / sampleRate_;
    double u = sweep_;
    double phase = phase_;
    for (int f = 0; f < frames; ++f) {
        const double shape = triangle ? (u < 0.5 ? 2.0 * u : 2.0 * (1.0 - u)) : u;
        phase += toPhase * std::exp(lowLog + span * shape);
        if (phase >= twoPi) phase -= twoPi;
        const float y = kLevel * static_cast<float>(std::sin(phase));
        stereo[2 * f] = y;
        stereo[2 * f + 1] = y;
        u += step;
        if (u >= 1.0) u -= std::floor(u);
    }
    sweep_ = u;
    phase_ = phase;
}

} // namespace vyn::fx
