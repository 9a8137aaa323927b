#include "dsp/MasterBus.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vyn {

void MasterBus::prepare(double sampleRate, int maxBlock) {
    const double sr = sampleRate > 0 ? sampleRate : 48000.0;
    maxBlock_ = std::clamp(maxBlock, 1, 2048);
    master_.assign(2 * static_cast<std::size_t>(maxBlock_), 0.0f);
    cue_.assign(2 * static_cast<std::size_t>(maxBlock_), 0.0f);
    gain_.setTime(sr, SmoothedParameter::kGainSeconds);
    // A device reopened at another rate keeps the user's master level instead of jumping to 1.
    gain_.snap(gain_.target);
    attack_ = static_cast<float>(std::exp(-1.0 / (sr * 0.001)));
    release_ = static_cast<float>(std::exp(-1.0 / (sr * 0.12)));
    limiterGain_ = 1.0f;
    masterPeak_ = 0.0f;
}

void MasterBus::setMasterGain(float gain) noexcept {
    if (std::isfinite(gain)) gain_.setTarget(gain);
}

int MasterBus::clampFrames(int frames) const noexcept {
    return std::clamp(frames, 0, maxBlock_);
}

void MasterBus::beginBlock(int frames) noexcept {
    const std::size_t n = 2 * static_cast<std::size_t>(clampFrames(frames));
    if (n == 0) return;
    std::memset(master_.data(), 0, n * sizeof(float));
    std::memset(cue_.data(), 0, n * sizeof(float));
}

void MasterBus::addDeck(const float* deck, int frames, bool toCue) noexcept {
    const int n = 2 * clampFrames(frames);
    float* m = master_.data();
    for (int i = 0; i < n; ++i)
        m[i] += deck[i];
    if (!toCue) return;
    float* c = cue_.data();
    for (int i = 0; i < n; ++i)
        c[i] += deck[i];
}

void MasterBus::output(float* masterOut, float* cueOut, int frames) noexcept {
    const int n = clampFrames(frames);
    const float* m = master_.data();
    float blockPeak = 0.0f;
    float lg = limiterGain_;
    for (int f = 0; f < n; ++f) {
        const float g = gain_.next();
        float l = g * m[2 * f];
        float r = g * m[2 * f + 1];
        float peak = std::max(std::fabs(l), std::fabs(r));
        if (!(peak <= 3.0e38f)) {
            // A NaN or infinity from upstream would otherwise reach the device and stick in the
            // limiter's state for good; the frame is dropped instead.
            l = r = peak = 0.0f;
        }
        blockPeak = std::max(blockPeak, peak);
        const float wanted = peak > kLimiterThreshold ? kLimiterThreshold / peak : 1.0f;
        lg = (lg - wanted) * (lg > wanted ? attack_ : release_) + wanted;
        masterOut[2 * f] = std::clamp(lg * l, -1.0f, 1.0f);
        masterOut[2 * f + 1] = std::clamp(lg * r, -1.0f, 1.0f);
    }
    limiterGain_ = lg;
    masterPeak_ = blockPeak;
    if (cueOut && n > 0)
        std::memcpy(cueOut, cue_.data(), 2 * static_cast<std::size_t>(n) * sizeof(float));
}

} // namespace vyn
