#include "dsp/VarispeedReader.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vyn {

void VarispeedReader::prepare(int rawFrames) {
    rawFrames_ = std::max(rawFrames, 2);
    bandLimitedCapacity_ = rawFrames_ + 2 * SincInterpolator::reach(SincInterpolator::kMaxWidening);
    raw_.assign(2 * static_cast<std::size_t>(bandLimitedCapacity_), 0.0f);
    sinc_.prepare(bandLimitedCapacity_);
    switchScratch_.assign(2 * static_cast<std::size_t>(kSwitchFrames), 0.0f);
    switchRemaining_ = 0;
    readSincePrepare_ = false;
}

void VarispeedReader::setInterpolation(VarispeedInterpolation interpolation) noexcept {
    if (interpolation == interpolation_) return;
    interpolation_ = interpolation;
    // Switching back half way through a blend continues from where the blend had got to.
    switchRemaining_ = readSincePrepare_ ? kSwitchFrames - switchRemaining_ : 0;
}

VarispeedSpan VarispeedReader::plan(double playhead, int frames, double speed) const {
    if (interpolation_ == VarispeedInterpolation::Linear && switchRemaining_ == 0)
        return planVarispeed(playhead, frames, speed, rawFrames_);
    return planBandLimited(playhead, frames, speed, bandLimitedCapacity_);
}

void VarispeedReader::interpolateWith(VarispeedInterpolation interpolation,
                                      const VarispeedSpan& span, double speed, float* out,
                                      int frames) {
    if (interpolation == VarispeedInterpolation::Linear)
        interpolateVarispeed(raw_.data(), span.count, span.x0, speed, out, frames);
    else
        sinc_.interpolate(raw_.data(), span.count, span.x0, speed, out, frames);
}

void VarispeedReader::interpolate(const VarispeedSpan& span, double speed, float* out, int frames) {
    interpolateWith(interpolation_, span, speed, out, frames);
    if (switchRemaining_ == 0 || switchScratch_.empty()) return;
    const int n = std::min(frames, switchRemaining_);
    const VarispeedInterpolation previous = interpolation_ == VarispeedInterpolation::Linear
                                                ? VarispeedInterpolation::BandLimited
                                                : VarispeedInterpolation::Linear;
    float* old = switchScratch_.data();
    interpolateWith(previous, span, speed, old, n);
    const int done = kSwitchFrames - switchRemaining_;
    for (int i = 0; i < n; ++i) {
        // A raised-cosine blend: no corner at either end for the ear to hear.
        const float g = static_cast<float>(
            0.5 -
            0.5 * std::cos(std::numbers::pi * static_cast<double>(done + i + 1) / kSwitchFrames));
        // Written as a step from the old value, so where both agree the result is exact.
        out[2 * i] = old[2 * i] + g * (out[2 * i] - old[2 * i]);
        out[2 * i + 1] = old[2 * i + 1] + g * (out[2 * i + 1] - old[2 * i + 1]);
    }
    switchRemaining_ -= n;
}

VarispeedSpan planVarispeed(double playhead, int frames, double speed, int rawCapacity) {
    VarispeedSpan span;
    const double end = playhead + frames * speed;
    const double f = std::floor(std::min(playhead, end));
    // One frame of history before the lowest position so that backwards reads interpolate too.
    double first = f > 0 ? f - 1.0 : f;
    first = std::max(first, 0.0);
    const double count = std::ceil(std::max(playhead, end) - first) + 2.0;
    span.first = static_cast<std::int64_t>(first);
    span.count = static_cast<int>(std::clamp(count, 2.0, static_cast<double>(rawCapacity)));
    span.x0 = playhead - first;
    return span;
}

VarispeedSpan planBandLimited(double playhead, int frames, double speed, int rawCapacity) {
    if (!std::isfinite(speed)) speed = 0.0;
    const double end = playhead + frames * speed;
    const int reach = SincInterpolator::reach(speed);
    const double first = std::floor(std::min(playhead, end)) - reach;
    const double count = std::floor(std::max(playhead, end)) - first + reach + 1.0;
    VarispeedSpan span;
    span.first = static_cast<std::int64_t>(first);
    span.count = static_cast<int>(std::clamp(count, 2.0, static_cast<double>(rawCapacity)));
    span.x0 = playhead - first;
    return span;
}

void interpolateVarispeed(const float* raw, int count, double x0, double speed, float* out,
                          int frames) {
    const double last = count - 1;
    double x = x0;
    for (int i = 0; i < frames; ++i) {
        const double xc = std::clamp(x, 0.0, last);
        const int i0 = static_cast<int>(xc);
        const int i1 = std::min(i0 + 1, count - 1);
        const float t = static_cast<float>(xc - i0);
        const float l0 = raw[2 * i0];
        const float r0 = raw[2 * i0 + 1];
        out[2 * i] = l0 + (raw[2 * i1] - l0) * t;
        out[2 * i + 1] = r0 + (raw[2 * i1 + 1] - r0) * t;
        x += speed;
    }
}

bool advanceVarispeed(double& playhead, int frames, double speed, double frameCount) {
    playhead += frames * speed;
    if (playhead >= frameCount) {
        playhead = frameCount;
        return false;
    }
    if (playhead <= 0.0) playhead = 0.0;
    return true;
}

} // namespace vyn
