#include "dsp/fx/EchoLines.h"

#include "dsp/fx/BeatTiming.h"

#include <algorithm>
#include <cmath>

namespace vyn::fx {
namespace {

int lineFrames(double sampleRate) {
    return static_cast<int>(std::trunc(6.0 * sampleRate)) + 1;
}

float clampFeedback(float feedback, float current) {
    return std::isfinite(feedback) ? std::clamp(feedback, 0.0f, EchoLine::kMaxFeedback) : current;
}

} // namespace

// ---- EchoLine

void EchoLine::prepare(double sampleRate) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    line_.allocate(lineFrames(sampleRate_));
}

void EchoLine::setBeats(double beats) noexcept {
    if (std::isfinite(beats)) beats_ = clampBeats(beats);
}

void EchoLine::setFeedback(float feedback) noexcept {
    feedback_ = clampFeedback(feedback, feedback_);
}

void EchoLine::process(float* stereo, int frames, double tempo, bool noFeedback) noexcept {
    const double delay = std::clamp(delaySeconds(beats_, tempo) * sampleRate_, 1.0,
                                    static_cast<double>(line_.size() - 1));
    const int d = static_cast<int>(delay);
    const float frac = static_cast<float>(delay - d);
    const float fb = noFeedback ? 0.0f : feedback_;
    for (int f = 0; f < frames; ++f) {
        float* p = stereo + 2 * f;
        const float yl = line_.read(d, frac, 0);
        const float yr = line_.read(d, frac, 1);
        line_.write(yl * fb + p[0], yr * fb + p[1]);
        line_.advance();
        p[0] = yl;
        p[1] = yr;
    }
}

// ---- PingPongLine

void PingPongLine::prepare(double sampleRate) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    line_.allocate(lineFrames(sampleRate_));
}

void PingPongLine::setBeats(double beats) noexcept {
    if (std::isfinite(beats)) beats_ = clampBeats(beats);
}

void PingPongLine::setFeedback(float feedback) noexcept {
    feedback_ = clampFeedback(feedback, feedback_);
}

void PingPongLine::process(float* stereo, int frames, double tempo) noexcept {
    const double full = delaySeconds(beats_, tempo) * sampleRate_;
    const double top = static_cast<double>(line_.size() - 1);
    const double dl = std::clamp(full, 1.0, top);
    const double dr = std::clamp(full * 0.5, 1.0, top);
    const int il = static_cast<int>(dl);
    const int ir = static_cast<int>(dr);
    const float fl = static_cast<float>(dl - il);
    const float fr = static_cast<float>(dr - ir);
    const float fb = feedback_;
    for (int f = 0; f < frames; ++f) {
        float* p = stereo + 2 * f;
        const float left = line_.read(il, fl, 1);
        const float right = line_.read(ir, fr, 0);
        line_.write(right * fb + p[0], left * fb + p[1]);
        line_.advance();
        p[0] = left;
        p[1] = right;
    }
}

// ---- ShrinkingLine

void ShrinkingLine::prepare(double sampleRate) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    line_.allocate(lineFrames(sampleRate_));
    factor_ = 1.0;
}

void ShrinkingLine::reset() noexcept {
    line_.clear();
    factor_ = 1.0;
}

void ShrinkingLine::setBeats(double beats) noexcept {
    if (std::isfinite(beats)) beats_ = clampBeats(beats);
}

void ShrinkingLine::setFeedback(float feedback) noexcept {
    feedback_ = clampFeedback(feedback, feedback_);
}

void ShrinkingLine::process(float* stereo, int frames, double tempo) noexcept {
    const double base = delaySeconds(beats_, tempo) * sampleRate_;
    const double top = static_cast<double>(line_.size() - 1);
    // Halves every two beats of the module's tempo.
    const double shrink = std::exp2(-0.5 / (tempo / 60.0 * sampleRate_));
    const float fb = feedback_;
    double factor = factor_;
    for (int f = 0; f < frames; ++f) {
        float* p = stereo + 2 * f;
        const double delay = std::clamp(factor * base, 1.0, top);
        const float yl = line_.read(delay, 0);
        const float yr = line_.read(delay, 1);
        line_.write(yl * fb + p[0], yr * fb + p[1]);
        line_.advance();
        p[0] = yl;
        p[1] = yr;
        factor = std::max(factor * shrink, 1.0 / 16.0);
    }
    factor_ = factor;
}

} // namespace vyn::fx
