#include "dsp/OnePoleSplit.h"

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

void OnePoleSplit::prepare(double sampleRate) noexcept {
    // A rate that is not above 0 leaves both coefficients at 1: the low-passes follow the input
    // exactly and the split still reconstructs it.
    lowCoefficient_ = onePoleCoefficient(sampleRate, kLowCrossoverHz);
    midCoefficient_ = onePoleCoefficient(sampleRate, kHighCrossoverHz);
    reset();
}

void OnePoleSplit::reset() noexcept {
    lowState_[0] = lowState_[1] = 0.0f;
    midState_[0] = midState_[1] = 0.0f;
}

void OnePoleSplit::process(float* stereo, int frames, const float* low, const float* mid,
                           const float* high) noexcept {
    // The states live in locals for the loop: written through `stereo`, members would have to be
    // reloaded every sample.
    float lowL = lowState_[0], lowR = lowState_[1];
    float midL = midState_[0], midR = midState_[1];
    const float lc = lowCoefficient_;
    const float mc = midCoefficient_;
    for (int f = 0; f < frames; ++f) {
        const float xl = stereo[2 * f];
        const float xr = stereo[2 * f + 1];
        lowL += (xl - lowL) * lc;
        lowR += (xr - lowR) * lc;
        midL += (xl - midL) * mc;
        midR += (xr - midR) * mc;
        stereo[2 * f] = (midL - lowL) * mid[f] + lowL * low[f] + (xl - midL) * high[f];
        stereo[2 * f + 1] = (midR - lowR) * mid[f] + lowR * low[f] + (xr - midR) * high[f];
    }
    lowState_[0] = lowL;
    lowState_[1] = lowR;
    midState_[0] = midL;
    midState_[1] = midR;
}

void OnePoleSplit::track(const float* stereo, int frames) noexcept {
    float lowL = lowState_[0], lowR = lowState_[1];
    float midL = midState_[0], midR = midState_[1];
    const float lc = lowCoefficient_;
    const float mc = midCoefficient_;
    for (int f = 0; f < frames; ++f) {
        lowL += (stereo[2 * f] - lowL) * lc;
        lowR += (stereo[2 * f + 1] - lowR) * lc;
        midL += (stereo[2 * f] - midL) * mc;
        midR += (stereo[2 * f + 1] - midR) * mc;
    }
    lowState_[0] = lowL;
    lowState_[1] = lowR;
    midState_[0] = midL;
    midState_[1] = midR;
}

} // namespace vyn
