#include "dsp/fx/Reverb.h"

#include <algorithm>
#include <cmath>

namespace vyn::fx {
namespace {

constexpr int kCombLengths[Reverb::kCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllPassLengths[Reverb::kAllPasses] = {556, 441, 341, 225};
constexpr int kCombSpread = 23;
constexpr int kAllPassSpread = 11;
constexpr float kInputGain = 0.12f;
constexpr float kAllPassFeedback = 0.5f;

// Line lengths are tuned at 44.1 kHz and scaled to the engine rate.
int scaled(int frames, double sampleRate) {
    return std::max(2, static_cast<int>(std::trunc(frames * sampleRate / 44100.0)));
}

} // namespace

void Reverb::prepare(double sampleRate) {
    const double sr = sampleRate > 0 ? sampleRate : 48000.0;
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < kCombs; ++i) {
            combs_[ch][i].data.assign(scaled(kCombLengths[i] + ch * kCombSpread, sr), 0.0f);
            combs_[ch][i].index = 0;
            combs_[ch][i].store = 0.0f;
        }
        for (int i = 0; i < kAllPasses; ++i) {
            allPasses_[ch][i].data.assign(scaled(kAllPassLengths[i] + ch * kAllPassSpread, sr),
                                          0.0f);
            allPasses_[ch][i].index = 0;
        }
    }
    dirty_ = false;
}

void Reverb::reset() noexcept {
    if (!dirty_) return;
    for (int ch = 0; ch < 2; ++ch) {
        for (Comb& c : combs_[ch]) {
            std::fill(c.data.begin(), c.data.end(), 0.0f);
            c.index = 0;
            c.store = 0.0f;
        }
        for (Line& a : allPasses_[ch]) {
            std::fill(a.data.begin(), a.data.end(), 0.0f);
            a.index = 0;
        }
    }
    dirty_ = false;
}

void Reverb::setRoom(float room) noexcept {
    if (std::isfinite(room)) room_ = std::clamp(room, 0.0f, 1.0f);
}

void Reverb::setDamping(float damping) noexcept {
    if (std::isfinite(damping)) damping_ = std::clamp(damping, 0.0f, 1.0f);
}

void Reverb::process(float* stereo, int frames) noexcept {
    if (frames <= 0) return;
    dirty_ = true;
    const float feedback = room_ * 0.42f + 0.5f;
    const float damp = damping_ * 0.75f + 0.2f;
    const float undamp = 1.0f - damp;
    for (int ch = 0; ch < 2; ++ch) {
        // Each channel runs over the whole block in turn (its lines stay in cache); the input is
        // the mono sum of the original block, so the left pass may not overwrite it before the
        // right pass has read it: the right channel's slot holds the sum until its own pass.
        for (int f = 0; f < frames; ++f) {
            const float input =
                ch == 0 ? (stereo[2 * f] + stereo[2 * f + 1]) * kInputGain : stereo[2 * f + 1];
            if (ch == 0) stereo[2 * f + 1] = input;
            float sum = 0.0f;
            for (Comb& c : combs_[ch]) {
                float* buf = c.data.data();
                const float out = buf[c.index];
                c.store = damp * c.store + undamp * out;
                buf[c.index] = input + c.store * feedback;
                if (++c.index == static_cast<int>(c.data.size())) c.index = 0;
                sum += out;
            }
            for (Line& a : allPasses_[ch]) {
                float* buf = a.data.data();
                const float delayed = buf[a.index];
                buf[a.index] = sum + delayed * kAllPassFeedback;
                if (++a.index == static_cast<int>(a.data.size())) a.index = 0;
                sum = delayed - sum;
            }
            stereo[2 * f + ch] = sum;
        }
    }
}

} // namespace vyn::fx
