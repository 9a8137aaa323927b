#include "dsp/fx/PitchShifter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vyn::fx {

void PitchShifter::prepare(double sampleRate) {
    const double sr = sampleRate > 0 ? sampleRate : 48000.0;
    line_.allocate(static_cast<int>(std::ceil(0.12 * sr)) + 2);
    window_ = 0.04 * sr;
    sweep_ = 0.0;
}

void PitchShifter::reset() noexcept {
    line_.clear();
    sweep_ = 0.0;
}

void PitchShifter::setPitch(float octaves) noexcept {
    if (!std::isfinite(octaves)) return;
    const float next = std::clamp(octaves, -1.0f, 1.0f);
    if (inDeadZone(pitch_) && !inDeadZone(next)) reset();
    pitch_ = next;
}

void PitchShifter::process(float* stereo, int frames) noexcept {
    const double w = window_;
    const double step = 1.0 - std::exp2(static_cast<double>(pitch_));
    const double top = static_cast<double>(line_.size() - 2);
    const double toAngle = 2.0 * std::numbers::pi / w;
    double q = sweep_;
    for (int f = 0; f < frames; ++f) {
        float* p = stereo + 2 * f;
        line_.write(p[0], p[1]);
        // Tap A's delay runs over [1, w + 1) with the sweep and jumps where the sweep wraps
        // (q = 0); tap B, half a window on, jumps at q = w/2. Each tap's weight is zero at its
        // own jump.
        double qb = q + 0.5 * w;
        if (qb >= w) qb -= w;
        const double da = std::clamp(q + 1.0, 1.0, top);
        const double db = std::clamp(qb + 1.0, 1.0, top);
        const float wa = static_cast<float>(0.5 - 0.5 * std::cos(toAngle * q));
        const float wb = 1.0f - wa;
        const float l = line_.read(da, 0) * wa + line_.read(db, 0) * wb;
        const float r = line_.read(da, 1) * wa + line_.read(db, 1) * wb;
        line_.advance();
        p[0] = l;
        p[1] = r;
        q += step;
        if (q < 0.0)
            q += w;
        else if (q >= w)
            q -= w;
    }
    sweep_ = q;
}

} // namespace vyn::fx
