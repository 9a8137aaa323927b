#include "dsp/ChannelStrip.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vyn {

void ChannelStrip::prepare(double sampleRate) noexcept {
    const double rate = sampleRate > 0 ? sampleRate : 48000.0;
    isolator_.prepare(sampleRate);
    onePole_.prepare(sampleRate);
    gain_.setTime(sampleRate, SmoothedParameter::kGainSeconds);
    eqLow_.setTime(sampleRate, SmoothedParameter::kEqSeconds);
    eqMid_.setTime(sampleRate, SmoothedParameter::kEqSeconds);
    eqHigh_.setTime(sampleRate, SmoothedParameter::kEqSeconds);
    wet_.setTime(sampleRate, kBypassFadeSeconds);
    // A device reopened at another rate keeps the user's trim, fader and EQ (as the master bus
    // keeps its gain), settled at once rather than gliding in from where they were.
    gain_.snap(gain_.target);
    eqLow_.snap(eqLow_.target);
    eqMid_.snap(eqMid_.target);
    eqHigh_.snap(eqHigh_.target);
    wet_.snap(bandsAtUnity() ? 0.0f : 1.0f);
    changeWarmFrames_ = static_cast<int>(std::lround(rate * kTypeWarmSeconds));
    changeFadeFrames_ = std::max(1, static_cast<int>(std::lround(rate * kTypeFadeSeconds)));
    resetBands();
    clearPeaks();
}

void ChannelStrip::resetBands() noexcept {
    isolator_.reset();
    onePole_.reset();
    // Both EQs start cold now, so a type change under way has nothing left to protect.
    changeLeft_ = 0;
    heard_ = false;
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

void ChannelStrip::setEqType(EqType type) noexcept {
    if (type == type_) return;
    if (!heard_) {
        type_ = type;
        changeLeft_ = 0;
        return;
    }
    const int total = changeWarmFrames_ + changeFadeFrames_;
    if (changeLeft_ > 0 && type == previousType_) {
        // Back to the EQ that is still running warm: the fade reverses from where it stands (the
        // frames it has faded are the frames left), and a change still warming up is dropped.
        const int faded = std::max(0, total - changeLeft_ - changeWarmFrames_);
        std::swap(type_, previousType_);
        changeLeft_ = faded;
        return;
    }
    previousType_ = type_;
    type_ = type;
    if (type == EqType::Isolator)
        isolator_.reset();
    else
        onePole_.reset();
    changeLeft_ = total;
}

bool ChannelStrip::bandsAtUnity() const noexcept {
    return eqLow_.settled() && eqMid_.settled() && eqHigh_.settled() && eqLow_.current == 1.0f &&
           eqMid_.current == 1.0f && eqHigh_.current == 1.0f;
}

void ChannelStrip::trackEq(EqType type, const float* stereo, int frames) noexcept {
    if (type == EqType::Isolator)
        isolator_.track(stereo, frames);
    else
        onePole_.track(stereo, frames);
}

void ChannelStrip::runEq(EqType type, float* stereo, int frames, const float* low, const float* mid,
                         const float* high) noexcept {
    if (type == EqType::Isolator)
        isolator_.process(stereo, frames, low, mid, high);
    else
        onePole_.process(stereo, frames, low, mid, high);
}

void ChannelStrip::process(float* stereo, int frames) noexcept {
    float peakL = 0.0f, peakR = 0.0f;
    for (int done = 0; done < frames; done += kChunk) {
        const int n = std::min(kChunk, frames - done);
        float* x = stereo + 2 * done;
        processChunk(x, n);
        for (int f = 0; f < n; ++f) {
            peakL = std::max(peakL, std::fabs(x[2 * f]));
            peakR = std::max(peakR, std::fabs(x[2 * f + 1]));
        }
    }
    if (frames > 0) heard_ = true;
    peakLeft_ = peakL;
    peakRight_ = peakR;
}

void ChannelStrip::processChunk(float* x, int n) noexcept {
    wet_.setTarget(bandsAtUnity() ? 0.0f : 1.0f);
    const bool changing = changeLeft_ > 0;
    const int changeElapsed = changeWarmFrames_ + changeFadeFrames_ - changeLeft_;
    if (changing) changeLeft_ = std::max(0, changeLeft_ - n);

    if (wet_.settled() && wet_.current == 0.0f) {
        // The EQ rests at unity: the input passes untouched while the EQ keeps following it.
        trackEq(type_, x, n);
        if (changing) trackEq(previousType_, x, n);
    } else {
        float low[kChunk], mid[kChunk], high[kChunk], wet[kChunk];
        const bool fullyWet = wet_.settled() && wet_.current == 1.0f;
        for (int f = 0; f < n; ++f) {
            low[f] = eqLow_.next();
            mid[f] = eqMid_.next();
            high[f] = eqHigh_.next();
            wet[f] = wet_.next();
        }
        float dry[2 * kChunk];
        std::memcpy(dry, x, sizeof(float) * 2 * static_cast<std::size_t>(n));
        runEq(type_, x, n, low, mid, high);
        if (changing) {
            float before[2 * kChunk];
            std::memcpy(before, dry, sizeof(float) * 2 * static_cast<std::size_t>(n));
            runEq(previousType_, before, n, low, mid, high);
            for (int f = 0; f < n; ++f) {
                const float t = std::clamp(
                    static_cast<float>(changeElapsed + f - changeWarmFrames_) / changeFadeFrames_,
                    0.0f, 1.0f);
                x[2 * f] = before[2 * f] + (x[2 * f] - before[2 * f]) * t;
                x[2 * f + 1] = before[2 * f + 1] + (x[2 * f + 1] - before[2 * f + 1]) * t;
            }
        }
        if (!fullyWet) {
            for (int f = 0; f < n; ++f) {
                x[2 * f] = dry[2 * f] + (x[2 * f] - dry[2 * f]) * wet[f];
                x[2 * f + 1] = dry[2 * f + 1] + (x[2 * f + 1] - dry[2 * f + 1]) * wet[f];
            }
        }
    }

    if (gain_.settled() && gain_.current == 1.0f) return;
    for (int f = 0; f < n; ++f) {
        const float g = gain_.next();
        x[2 * f] *= g;
        x[2 * f + 1] *= g;
    }
}

} // namespace vyn
