#include "dsp/ChannelStrip.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vyn {
namespace {

float onePoleCoefficient(double sampleRate, double hz) {
    if (!(sampleRate > 0)) return 1.0f;
    return static_cast<float>(
        std::clamp(1.0 - std::exp(-2.0 * std::numbers::pi * hz / sampleRate), 0.0, 1.0));
}

} // namespace

void ChannelStrip::prepare(double sampleRate) noexcept {
    // A rate that is not above 0 leaves both coefficients at 1: the low-passes follow the input
    // exactly and the strip still reconstructs it.
    lowCoefficient_ = onePoleCoefficient(sampleRate, 200.0);
    midCoefficient_ = onePoleCoefficient(sampleRate, 4000.0);
    gain_.setTime(sampleRate, SmoothedParameter::kGainSeconds);
    eqLow_.setTime(sampleRate, SmoothedParameter::kEqSeconds);
    eqMid_.setTime(sampleRate, SmoothedParameter::kEqSeconds);
    eqHigh_.setTime(sampleRate, SmoothedParameter::kEqSeconds);
    gain_.snap(1.0f);
    eqLow_.snap(1.0f);
    eqMid_.snap(1.0f);
    eqHigh_.snap(1.0f);
    trim_ = fader_ = 1.0f;
    resetBands();
    clearPeaks();
}

void ChannelStrip::resetBands() noexcept {
    lowState_[0] = lowState_[1] = 0.0f;
    midState_[0] = midState_[1] = 0.0f;
}

void ChannelStrip::setTrim(float trim) noexcept {
    if (!std::isfinite(trim)) return;
    trim_ = trim;
    gain_.setTarget(trim_ * fader_);
}

void ChannelStrip::setFader(float fader) noexcept {
    if (!std::isfinite(fader)) return;
    fader_ = fader;
    gain_.setTarget(trim_ * fader_);
}

void ChannelStrip::setEqLow(float gain) noexcept {
    if (std::isfinite(gain)) eqLow_.setTarget(gain);
}

void ChannelStrip::setEqMid(float gain) noexcept {
    if (std::isfinite(gain)) eqMid_.setTarget(gain);
}

void ChannelStrip::setEqHigh(float gain) noexcept {
    if (std::isfinite(gain)) eqHigh_.setTarget(gain);
}

bool ChannelStrip::flat() const noexcept {
    return gain_.settled() && eqLow_.settled() && eqMid_.settled() && eqHigh_.settled() &&
           gain_.target == 1.0f && eqLow_.target == 1.0f && eqMid_.target == 1.0f &&
           eqHigh_.target == 1.0f;
}

void ChannelStrip::process(float* stereo, int frames) noexcept {
    // The states live in locals for the loop: written through `stereo`, members would have to be
    // reloaded every sample.
    float lowL = lowState_[0], lowR = lowState_[1];
    float midL = midState_[0], midR = midState_[1];
    float peakL = 0.0f, peakR = 0.0f;
    const float lc = lowCoefficient_;
    const float mc = midCoefficient_;
    if (flat()) {
        // The band split sums back to the input only up to rounding; a flat strip must be
        // transparent, so the audio is left alone while the band states keep tracking it (a later
        // EQ move then starts from the right state instead of a click).
        for (int f = 0; f < frames; ++f) {
            const float xl = stereo[2 * f];
            const float xr = stereo[2 * f + 1];
            lowL += (xl - lowL) * lc;
            lowR += (xr - lowR) * lc;
            midL += (xl - midL) * mc;
            midR += (xr - midR) * mc;
            peakL = std::max(peakL, std::fabs(xl));
            peakR = std::max(peakR, std::fabs(xr));
        }
    } else {
        for (int f = 0; f < frames; ++f) {
            const float el = eqLow_.next();
            const float em = eqMid_.next();
            const float eh = eqHigh_.next();
            const float g = gain_.next();
            const float xl = stereo[2 * f];
            const float xr = stereo[2 * f + 1];
            lowL += (xl - lowL) * lc;
            lowR += (xr - lowR) * lc;
            midL += (xl - midL) * mc;
            midR += (xr - midR) * mc;
            const float yl = ((midL - lowL) * em + lowL * el + (xl - midL) * eh) * g;
            const float yr = ((midR - lowR) * em + lowR * el + (xr - midR) * eh) * g;
            stereo[2 * f] = yl;
            stereo[2 * f + 1] = yr;
            peakL = std::max(peakL, std::fabs(yl));
            peakR = std::max(peakR, std::fabs(yr));
        }
    }
    lowState_[0] = lowL;
    lowState_[1] = lowR;
    midState_[0] = midL;
    midState_[1] = midR;
    peakLeft_ = peakL;
    peakRight_ = peakR;
}

} // namespace vyn
