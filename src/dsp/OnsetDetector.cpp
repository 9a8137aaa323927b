#include "dsp/OnsetDetector.h"

#include <algorithm>

namespace vyn {
namespace {

constexpr double kRise = 10.0;          // block energy over the recent mean: 10 dB
constexpr double kFloorPerFrame = 1e-7; // mean squared difference near silence (about -70 dB)
constexpr float kAttackShare = 0.2f; // the onset frame: the first to reach this share of the peak
constexpr int kRefractoryBlocks = 4; // one attack is one onset

} // namespace

void OnsetDetector::prepare(int blockFrames) {
    block_ = std::max(16, blockFrames);
    reset();
}

void OnsetDetector::reset() {
    scanned_ = 0;
    lastLeft_ = lastRight_ = 0.0f;
    fresh_ = true;
    history_.fill(0.0);
    historyFill_ = historyPos_ = 0;
    quietBlocks_ = kRefractoryBlocks;
    head_ = count_ = 0;
}

void OnsetDetector::pop() {
    if (count_ == 0) return;
    head_ = (head_ + 1) % kPending;
    --count_;
}

void OnsetDetector::push(std::int64_t onset) {
    if (count_ == kPending) return; // a stretcher takes them long before this many pile up
    pending_[static_cast<std::size_t>((head_ + count_) % kPending)] = onset;
    ++count_;
}

void OnsetDetector::scan(const float* frames, std::int64_t base, std::int64_t end) {
    if (scanned_ < base) scanned_ = base; // frames dropped unscanned: carry on from what is here
    while (scanned_ + block_ <= end) {
        const float* x = frames + 2 * (scanned_ - base);
        if (fresh_) {
            // The stream starts where it starts: no step from silence into its first frame.
            lastLeft_ = x[0];
            lastRight_ = x[1];
            fresh_ = false;
        }
        double energy = 0.0;
        float peak = 0.0f;
        float left = lastLeft_;
        float right = lastRight_;
        for (int i = 0; i < block_; ++i) {
            const float dl = x[2 * i] - left;
            const float dr = x[2 * i + 1] - right;
            left = x[2 * i];
            right = x[2 * i + 1];
            const float d = dl * dl + dr * dr;
            energy += d;
            peak = std::max(peak, d);
        }

        double mean = 0.0;
        for (int i = 0; i < historyFill_; ++i)
            mean += history_[static_cast<std::size_t>(i)];
        if (historyFill_ > 0) mean /= historyFill_;
        const bool learning = historyFill_ < kHistory;
        if (!learning && quietBlocks_ >= kRefractoryBlocks && energy > kRise * mean &&
            energy > kFloorPerFrame * block_) {
            // The first frame of the attack: where the difference first comes near its peak.
            float l = lastLeft_;
            float r = lastRight_;
            int at = 0;
            for (int i = 0; i < block_; ++i) {
                const float dl = x[2 * i] - l;
                const float dr = x[2 * i + 1] - r;
                l = x[2 * i];
                r = x[2 * i + 1];
                if (dl * dl + dr * dr >= kAttackShare * peak) {
                    at = i;
                    break;
                }
            }
            push(scanned_ + at);
            quietBlocks_ = 0;
        } else {
            ++quietBlocks_;
        }

        history_[static_cast<std::size_t>(historyPos_)] = energy;
        historyPos_ = (historyPos_ + 1) % kHistory;
        historyFill_ = std::min(historyFill_ + 1, kHistory);
        lastLeft_ = left;
        lastRight_ = right;
        scanned_ += block_;
    }
}

} // namespace vyn
