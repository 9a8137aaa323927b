#include "dsp/WsolaStretcher.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace vyn {
namespace {

constexpr double kMinRatio = 0.25;
constexpr double kMaxRatio = 4.0;
constexpr double kNoMatch = -1e30;

int roundUpToEven(int v) {
    return v + (v & 1);
}

void copyFrames(float* dst, const float* src, int frames) {
    if (frames > 0) std::memmove(dst, src, sizeof(float) * 2 * static_cast<std::size_t>(frames));
}

void zeroFrames(float* dst, int frames) {
    if (frames > 0) std::memset(dst, 0, sizeof(float) * 2 * static_cast<std::size_t>(frames));
}

} // namespace

int WsolaStretcher::inputFramesPerBlock(int maxBlock, int hop) {
    return static_cast<int>(std::ceil(kMaxRatio * (maxBlock + hop)));
}

void WsolaStretcher::prepare(double sampleRate, int maxBlockFrames, int variant) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    maxBlock_ = maxBlockFrames < 1 ? 2048 : maxBlockFrames;
    // Windows from 18 ms to 21.9 ms, 2.8 % apart: decks 0 and 8, 1 and 9 ... share a length.
    const int base =
        static_cast<int>(std::trunc((0.9 + 0.028 * (variant & 7)) * 0.02 * sampleRate_));
    if (base < 128) {
        windowFrames_ = 128;
        hop_ = 64;
        searchFrames_ = 16;
    } else {
        windowFrames_ = roundUpToEven(base);
        hop_ = windowFrames_ / 2;
        searchFrames_ = roundUpToEven(std::max(16, windowFrames_ / 8));
    }
    const int n = windowFrames_;
    window_.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        window_[static_cast<std::size_t>(i)] =
            static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (n - 1)));
    // A block is produced in whole hops, so at the largest ratio one block may need up to
    // 4 x (maxBlock + hop) new input frames on top of the window and search range held inside.
    inputCapacity_ = inputFramesPerBlock(maxBlock_, hop_) + 2 * n + 4 * searchFrames_ + 16;
    outputCapacity_ = maxBlock_ + 2 * n + 16;
    input_.assign(2 * static_cast<std::size_t>(inputCapacity_), 0.0f);
    output_.assign(2 * static_cast<std::size_t>(outputCapacity_), 0.0f);
    template_.assign(2 * static_cast<std::size_t>(hop_), 0.0f);
    templateMono_.assign(static_cast<std::size_t>(hop_ / 2), 0.0f);
    reset();
}

void WsolaStretcher::reset() {
    inputFill_ = 0;
    outputReady_ = 0;
    primed_ = false;
    readPos_ = searchFrames_;
    std::fill(output_.begin(), output_.end(), 0.0f);
    std::fill(template_.begin(), template_.end(), 0.0f);
    std::fill(templateMono_.begin(), templateMono_.end(), 0.0f);
}

void WsolaStretcher::setRatio(double ratio) {
    if (std::isnan(ratio)) return;
    ratio_ = std::clamp(ratio, kMinRatio, kMaxRatio);
}

int WsolaStretcher::inputFramesFor(int outputFrames) const {
    if (windowFrames_ == 0) return outputFrames;
    const int k = outputFrames - outputReady_;
    const int steps = k > 0 ? (k + hop_ - 1) / hop_ : 0;
    const double need = std::ceil(hop_ * static_cast<double>(steps) * ratio_ + readPos_) +
                        windowFrames_ + searchFrames_ + 1 - inputFill_;
    return need > 0 ? static_cast<int>(need) : 0;
}

double WsolaStretcher::latencyFrames() const {
    return std::max(0.0, inputFill_ - readPos_ + outputReady_ * ratio_);
}

void WsolaStretcher::process(const float* input, int inputFrames, float* output, int outputFrames) {
    if (!output || outputFrames < 1) return;
    if (windowFrames_ == 0) {
        zeroFrames(output, outputFrames);
        return;
    }
    const int n = windowFrames_;

    // Input beyond the capacity is dropped rather than overwriting what the window still needs.
    if (input && inputFrames > 0) {
        const int room = (inputCapacity_ - n) - inputFill_;
        const int append = inputFrames <= room ? inputFrames : std::max(room, 0);
        copyFrames(input_.data() + 2 * static_cast<std::size_t>(inputFill_), input, append);
        inputFill_ += append;
    }

    while (outputReady_ < outputFrames) {
        if (static_cast<int>(std::floor(readPos_)) + searchFrames_ + n > inputFill_) break;
        if (outputReady_ + hop_ > outputCapacity_ - n) break;
        synthesise();
    }

    const int take = std::min(outputReady_, outputFrames);
    copyFrames(output, output_.data(), take);
    zeroFrames(output + 2 * static_cast<std::size_t>(take), outputFrames - take);

    // Keep the unread output and the overlap tail that the next segment adds onto.
    copyFrames(output_.data(), output_.data() + 2 * static_cast<std::size_t>(take),
               outputReady_ + hop_ - take);
    outputReady_ = std::max(0, outputReady_ - take);

    const int drop = static_cast<int>(std::floor(readPos_)) - searchFrames_ - 1;
    if (drop >= 1) {
        const int d = std::min(inputFill_, drop);
        copyFrames(input_.data(), input_.data() + 2 * static_cast<std::size_t>(d), inputFill_ - d);
        inputFill_ -= d;
        readPos_ = std::max(0.0, readPos_ - d);
    }
}

void WsolaStretcher::synthesise() {
    const int n = windowFrames_;
    const int p = static_cast<int>(std::floor(readPos_));
    const int delta = similarityOffset(p);
    int start = std::max(0, p + delta);
    if (start + n > inputFill_) start = std::max(0, inputFill_ - n);

    float* dst = output_.data() + 2 * static_cast<std::size_t>(outputReady_);
    const float* src = input_.data() + 2 * static_cast<std::size_t>(start);
    zeroFrames(dst + 2 * static_cast<std::size_t>(hop_), n - hop_);
    if (!primed_) {
        // The first segment after a reset starts at full level: there is nothing to fade from.
        copyFrames(dst, src, hop_);
        for (int i = hop_; i < n; ++i) {
            dst[2 * i] = window_[static_cast<std::size_t>(i)] * src[2 * i];
            dst[2 * i + 1] = window_[static_cast<std::size_t>(i)] * src[2 * i + 1];
        }
        primed_ = true;
    } else {
        for (int i = 0; i < n; ++i) {
            dst[2 * i] += window_[static_cast<std::size_t>(i)] * src[2 * i];
            dst[2 * i + 1] += window_[static_cast<std::size_t>(i)] * src[2 * i + 1];
        }
    }
    if (start + 2 * hop_ <= inputFill_) {
        copyFrames(template_.data(), src + 2 * static_cast<std::size_t>(hop_), hop_);
        for (std::size_t k = 0; k < templateMono_.size(); ++k)
            templateMono_[k] = template_[2 * k] + template_[2 * k + 1];
    }
    outputReady_ += hop_;
    readPos_ += hop_ * ratio_;
}

int WsolaStretcher::similarityOffset(int p) const {
    if (!primed_) return 0;
    const int len = hop_ / 2;
    const float* in = input_.data();
    const float* tmpl = templateMono_.data();
    auto score = [&](int o) -> double {
        const int first = p + o;
        if (first < 0 || first + len > inputFill_) return kNoMatch;
        const float* x = in + 2 * static_cast<std::size_t>(first);
        float sum = 0.0f;
        for (int k = 0; k < len; ++k)
            sum += (x[2 * k] + x[2 * k + 1]) * tmpl[k];
        return sum;
    };
    const int s = searchFrames_;
    int best = 0;
    double bestScore = kNoMatch;
    for (int o = -s; o <= s; o += 4) {
        const double v = score(o);
        if (v > bestScore) {
            bestScore = v;
            best = o;
        }
    }
    const int coarse = best;
    for (int o = coarse - 3; o <= coarse + 3; ++o) {
        if (o < -s || o > s) continue;
        const double v = score(o);
        if (v > bestScore) {
            bestScore = v;
            best = o;
        }
    }
    return best;
}

} // namespace vyn
