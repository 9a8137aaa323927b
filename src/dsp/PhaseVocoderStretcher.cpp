#include "dsp/PhaseVocoderStretcher.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace vyn {
namespace {

constexpr double kMinRatio = 0.25;
constexpr double kMaxRatio = 4.0;
constexpr double kWindowSeconds = 0.16; // the window is the next power of two above this
constexpr int kMinWindow = 256;
constexpr int kMaxWindow = 16384;
constexpr float kOverlapGain = 1.5f;      // sum of squared periodic Hann windows at a quarter hop
constexpr float kPeakFloor = 1e-10f;      // peaks below -100 dB of the loudest are not partials
constexpr float kNewPartial = 1e-8f;      // previous power below this share: the partial is new
constexpr double kRunDriftSeconds = 0.02; // how far a run of copies may stray from the tempo

int windowFor(double sampleRate) {
    int n = kMinWindow;
    while (n < kWindowSeconds * sampleRate && n < kMaxWindow)
        n *= 2;
    return n;
}

void copyFrames(float* dst, const float* src, std::int64_t frames) {
    if (frames > 0) std::memmove(dst, src, sizeof(float) * 2 * static_cast<std::size_t>(frames));
}

void zeroFrames(float* dst, std::int64_t frames) {
    if (frames > 0) std::memset(dst, 0, sizeof(float) * 2 * static_cast<std::size_t>(frames));
}

std::size_t at(std::int64_t i) {
    return static_cast<std::size_t>(i);
}

} // namespace

int PhaseVocoderStretcher::inputFramesPerBlock(double sampleRate, int maxBlock) {
    const int n = windowFor(sampleRate > 0 ? sampleRate : 48000.0);
    const int hop = n / 4;
    // Whole hops at ratio 4 (a block, the lead and one hop of rounding), plus what the first
    // block after a reset holds back: a window, the slack the analysis may run ahead and the
    // onset detector's look-ahead.
    return static_cast<int>(std::ceil(kMaxRatio * (maxBlock + 2 * hop))) + n + 2 * hop +
           std::max(16, n / 32) + 2;
}

void PhaseVocoderStretcher::prepare(double sampleRate, int maxBlockFrames, int variant) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    maxBlock_ = maxBlockFrames < 1 ? 2048 : maxBlockFrames;
    n_ = windowFor(sampleRate_);
    hop_ = n_ / 4;
    lead_ = (variant & 7) * hop_ / 8;
    slack_ = 2 * hop_;
    runDrift_ = kRunDriftSeconds * sampleRate_;
    onsets_.prepare(std::max(16, n_ / 32));
    lookAhead_ = onsets_.blockFrames();
    fft_.prepare(static_cast<std::size_t>(n_));

    const std::size_t n = at(n_);
    window_.resize(n);
    literalGain_.resize(n);
    firstGain_.assign(n, 0.0f);
    turn_.resize(n);
    for (int i = 0; i < n_; ++i) {
        const double phase = 2.0 * std::numbers::pi * i / n_;
        const double w = 0.5 - 0.5 * std::cos(phase);
        window_[at(i)] = static_cast<float>(w);
        literalGain_[at(i)] = static_cast<float>(w * w / kOverlapGain);
        turn_[at(i)] = std::complex<float>(static_cast<float>(std::cos(phase)),
                                           static_cast<float>(std::sin(phase)));
    }
    // The first frame stands in for the frames that would have come before it, so the overlap is
    // complete from its first sample: its gain is the sum of its own and theirs.
    for (int i = 0; i < n_; ++i)
        for (int j = i; j < n_; j += hop_)
            firstGain_[at(i)] += literalGain_[at(j)];
    // The inverse transform is unscaled: 1/N, and the overlap of four windows.
    synthesisGain_.resize(n);
    for (int i = 0; i < n_; ++i)
        synthesisGain_[at(i)] = window_[at(i)] / (kOverlapGain * static_cast<float>(n_));

    spectrum_.assign(n, {});
    previous_.assign(n, {});
    work_.assign(n, {});
    rotation_.assign(n / 2 + 1, 1.0f);
    previousRotation_.assign(n / 2 + 1, 1.0f);
    power_.assign(n / 2 + 1, 0.0f);
    peaks_.assign(n / 2 + 1, 0);
    peakRotation_.assign(n / 2 + 1, 1.0f);

    // Held input runs from the last window's start to the look-ahead beyond the next ones; it is
    // trimmed only once a window's worth can go, so add that.
    inputCapacity_ = inputFramesPerBlock(sampleRate_, maxBlock_) + 2 * slack_ + n_ + 64;
    outputCapacity_ = maxBlock_ + lead_ + n_ + 16;
    input_.assign(2 * at(inputCapacity_), 0.0f);
    output_.assign(2 * at(outputCapacity_), 0.0f);
    reset();
}

void PhaseVocoderStretcher::reset() {
    inputFill_ = 0;
    inputBase_ = 0;
    outputReady_ = 0;
    delivered_ = 0;
    primed_ = false;
    lastStart_ = lastOutput_ = 0;
    lastSlope_ = 1.0;
    idealCentre_ = 0.0;
    literalRun_ = false;
    literalUntil_ = 0;
    std::fill(output_.begin(), output_.end(), 0.0f);
    std::fill(previousRotation_.begin(), previousRotation_.end(), 1.0f);
    onsets_.reset();
}

void PhaseVocoderStretcher::setRatio(double ratio) {
    if (std::isnan(ratio)) return;
    ratio_ = std::clamp(ratio, kMinRatio, kMaxRatio);
}

int PhaseVocoderStretcher::inputFramesFor(int outputFrames) const {
    if (n_ == 0) return outputFrames;
    const int k = outputFrames + lead_ - outputReady_;
    if (k <= 0) return 0;
    const int steps = (k + hop_ - 1) / hop_;
    // The last of those windows starts at most the slack beyond its place on the tempo line.
    double lastStart;
    if (!primed_)
        lastStart =
            steps == 1
                ? 0.0
                : std::max(0.0, (n_ / 2.0 + (steps - 1) * hop_) * ratio_ - n_ / 2.0) + slack_;
    else
        lastStart = idealCentre_ - n_ / 2.0 + (steps - 1) * hop_ * ratio_ + slack_;
    const double need =
        std::ceil(lastStart) + n_ + lookAhead_ + 1 - static_cast<double>(inputBase_ + inputFill_);
    return need > 0 ? static_cast<int>(need) : 0;
}

double PhaseVocoderStretcher::latencyFrames() const {
    if (!primed_) return inputFill_;
    // The next frame handed out, mapped through the last window: centre to centre, at the
    // slope that window was made with.
    const double next = lastStart_ + n_ / 2.0 +
                        (static_cast<double>(delivered_ - lastOutput_) - n_ / 2.0) * lastSlope_;
    return std::max(0.0, static_cast<double>(inputBase_ + inputFill_) - next);
}

bool PhaseVocoderStretcher::frameAvailable() const {
    const std::int64_t end = inputBase_ + inputFill_;
    const std::int64_t start = primed_ ? std::llround(idealCentre_ - n_ / 2.0) + slack_ : 0;
    return start + n_ + lookAhead_ <= end;
}

void PhaseVocoderStretcher::process(const float* input, int inputFrames, float* output,
                                    int outputFrames) {
    if (!output || outputFrames < 1) return;
    if (n_ == 0) {
        zeroFrames(output, outputFrames);
        return;
    }

    // Input beyond the capacity is dropped rather than overwriting what the windows still need.
    if (input && inputFrames > 0) {
        const int room = inputCapacity_ - inputFill_;
        const int append = std::clamp(inputFrames, 0, std::max(room, 0));
        copyFrames(input_.data() + 2 * at(inputFill_), input, append);
        inputFill_ += append;
    }
    onsets_.scan(input_.data(), inputBase_, inputBase_ + inputFill_);

    while (outputReady_ < outputFrames + lead_ && outputReady_ + n_ <= outputCapacity_ &&
           frameAvailable())
        synthesise(planFrame());

    const int take = std::min(outputReady_, outputFrames);
    copyFrames(output, output_.data(), take);
    zeroFrames(output + 2 * at(take), outputFrames - take);
    // Keep the unread output and the overlap tail the next frames add onto; clear behind it.
    const int keep = outputReady_ - take + (n_ - hop_);
    copyFrames(output_.data(), output_.data() + 2 * at(take), keep);
    zeroFrames(output_.data() + 2 * at(keep), take);
    outputReady_ -= take;
    delivered_ += take;

    // Windows only move forward, so nothing before the last one's second frame is read again.
    // Trim a window's worth at a time: moving the held input every block would cost more.
    const std::int64_t drop = primed_ ? lastStart_ + 1 - inputBase_ : 0;
    if (drop >= n_) {
        copyFrames(input_.data(), input_.data() + 2 * at(drop), inputFill_ - drop);
        inputFill_ -= static_cast<int>(drop);
        inputBase_ += drop;
    }
}

void PhaseVocoderStretcher::takeOnsetsWithin(std::int64_t start) {
    // An onset inside a copied window is copied with it, at the source's own distance from the
    // one the run was placed for: the run goes on until it has passed too, so that no later
    // window smears it (a flam stays a flam).
    for (std::int64_t c = onsets_.next(); c >= 0 && c < start + n_; c = onsets_.next()) {
        literalUntil_ = std::max(literalUntil_, c);
        onsets_.pop();
    }
}

PhaseVocoderStretcher::FramePlan PhaseVocoderStretcher::planFrame() {
    if (!primed_) return {inputBase_, true};
    const double step = hop_ * ratio_;
    const std::int64_t ideal = static_cast<std::int64_t>(std::llround(idealCentre_ - n_ / 2.0));
    const std::int64_t lo = std::max(lastStart_ + 1, ideal - slack_);
    const std::int64_t hi = std::max(lo, ideal + slack_);

    if (literalRun_) {
        // A run keeps the source's pace; onsets one after another must not carry it far from
        // the tempo: 20 ms, or what one onset's run needs at this ratio.
        const std::int64_t start = lastStart_ + hop_;
        const double reach = std::max(runDrift_, n_ * std::fabs(1.0 - ratio_));
        if (start <= literalUntil_ && std::fabs(static_cast<double>(start - ideal)) <= reach &&
            start >= lo && start <= hi) {
            takeOnsetsWithin(start);
            return {start, true};
        }
        literalRun_ = false;
    }

    // Back towards the tempo line, at most half a hop faster or slower than the tempo.
    const std::int64_t slowest = lastStart_ + std::max<std::int64_t>(1, std::llround(0.5 * step));
    const std::int64_t fastest = lastStart_ + std::max<std::int64_t>(1, std::llround(1.5 * step));
    std::int64_t start =
        std::clamp<std::int64_t>(std::clamp<std::int64_t>(ideal, slowest, fastest), lo, hi);

    for (std::int64_t c = onsets_.next(); c >= 0; c = onsets_.next()) {
        // Where the onset belongs in this frame's output at the exact tempo.
        double when = n_ / 2.0 + (static_cast<double>(c) - idealCentre_) / ratio_;
        if (when >= n_) {
            // Not due yet: keep it out of this window, so that none of it sounds early.
            if (c - n_ >= lo) return {std::min(start, c - n_), false};
            when = n_ - 1;
        }
        const std::int64_t literal =
            std::clamp<std::int64_t>(c - std::llround(std::max(when, 0.0)), lo, hi);
        onsets_.pop();
        if (c >= literal && c < literal + n_) {
            literalRun_ = true;
            literalUntil_ = c;
            takeOnsetsWithin(literal);
            return {literal, true};
        }
        // Out of reach within the slack, or gone by: it passes as ordinary audio.
    }
    return {start, false};
}

void PhaseVocoderStretcher::synthesise(const FramePlan& plan) {
    const float* src = input_.data() + 2 * at(plan.start - inputBase_);
    float* dst = output_.data() + 2 * at(outputReady_);
    analyse(src);
    if (plan.literal) {
        const std::vector<float>& gain = primed_ ? literalGain_ : firstGain_;
        for (int i = 0; i < n_; ++i) {
            dst[2 * i] += gain[at(i)] * src[2 * i];
            dst[2 * i + 1] += gain[at(i)] * src[2 * i + 1];
        }
        std::fill(rotation_.begin(), rotation_.end(), 1.0f);
    } else {
        lockPhases(static_cast<int>(plan.start - lastStart_));
        resynthesise(dst);
    }
    std::swap(previous_, spectrum_);
    std::swap(previousRotation_, rotation_);

    if (!primed_) idealCentre_ = n_ / 2.0 * ratio_;
    idealCentre_ += hop_ * ratio_;
    lastOutput_ = delivered_ + outputReady_;
    lastStart_ = plan.start;
    lastSlope_ = plan.literal ? 1.0 : ratio_;
    primed_ = true;
    outputReady_ += hop_;
}

void PhaseVocoderStretcher::analyse(const float* src) {
    for (int i = 0; i < n_; ++i)
        spectrum_[at(i)] = {window_[at(i)] * src[2 * i], window_[at(i)] * src[2 * i + 1]};
    fft_.forward(spectrum_.data());
}

namespace {

// Left and right at bin k of a spectrum that carries left + i*right, combined into the
// reference whose phase follows the partial: their sum, or their difference when that is louder
// (a partial that is out of phase between the channels).
struct Reference {
    std::complex<float> mid;
    std::complex<float> side;
};

Reference reference(const std::complex<float>* z, int n, int k) {
    const std::complex<float> a = z[k];
    const std::complex<float> b = std::conj(z[n - k]);
    const std::complex<float> left = 0.5f * (a + b);
    const std::complex<float> right = std::complex<float>(0.0f, -0.5f) * (a - b);
    return {left + right, left - right};
}

} // namespace

void PhaseVocoderStretcher::lockPhases(int analysisHop) {
    const int half = n_ / 2;
    const std::complex<float>* z = spectrum_.data();
    float loudest = 0.0f;
    power_[0] = std::norm(z[0]);
    for (int k = 1; k <= half; ++k) {
        power_[at(k)] = std::norm(z[k]) + std::norm(z[n_ - k]);
        loudest = std::max(loudest, power_[at(k)]);
    }
    const float floor = std::max(loudest * kPeakFloor, 1e-30f);
    int count = 0;
    const float* p = power_.data();
    for (int k = 2; k <= half - 2; ++k)
        if (p[k] > floor && p[k] > p[k - 1] && p[k] >= p[k + 1] && p[k] > p[k - 2] &&
            p[k] >= p[k + 2])
            peaks_[at(count++)] = k;
    if (count == 0) {
        std::fill(rotation_.begin(), rotation_.end(), 1.0f);
        return;
    }

    // Each peak turns on by its own frequency over the synthesis hop, from where it was turned
    // in the previous frame: R = R' * e^(i 2 pi k (hop - Ha) / N) * e^(i dev (hop / Ha - 1)),
    // dev being the peak's phase advance beyond its bin's over the analysis hop Ha.
    const double hopRatio = static_cast<double>(hop_) / analysisHop - 1.0;
    const std::int64_t mask = n_ - 1;
    for (int i = 0; i < count; ++i) {
        const int k = peaks_[at(i)];
        const Reference now = reference(z, n_, k);
        const Reference before = reference(previous_.data(), n_, k);
        const bool mid = std::norm(now.mid) >= std::norm(now.side);
        const std::complex<float> cur = mid ? now.mid : now.side;
        const std::complex<float> old = mid ? before.mid : before.side;
        if (std::norm(old) <= kNewPartial * std::norm(cur)) {
            peakRotation_[at(i)] = 1.0f; // a new partial starts with its own phase
            continue;
        }
        const std::complex<float> advance =
            cur * std::conj(old) * std::conj(turn_[at((k * std::int64_t{analysisHop}) & mask)]);
        const double dev = std::atan2(advance.imag(), advance.real());
        const float extra = static_cast<float>(dev * hopRatio);
        std::complex<float> r = previousRotation_[at(k)] *
                                turn_[at((k * std::int64_t{hop_ - analysisHop}) & mask)] *
                                std::complex<float>(std::cos(extra), std::sin(extra));
        const float size = std::abs(r);
        peakRotation_[at(i)] = size > 0.0f ? r / size : std::complex<float>(1.0f);
    }

    // Each peak rules the bins down to the quietest bin between it and the next peak.
    int from = 0;
    for (int i = 0; i < count; ++i) {
        int to = half;
        if (i + 1 < count) {
            to = peaks_[at(i)];
            for (int k = peaks_[at(i)] + 1; k < peaks_[at(i + 1)]; ++k)
                if (p[k] < p[to]) to = k;
        }
        std::fill(rotation_.begin() + from, rotation_.begin() + to + 1, peakRotation_[at(i)]);
        from = to + 1;
    }
    // DC and Nyquist carry a real value per channel: a rotation there would mix the channels.
    rotation_[0] = rotation_[at(half)] = 1.0f;
}

void PhaseVocoderStretcher::resynthesise(float* dst) {
    const int half = n_ / 2;
    const std::complex<float>* z = spectrum_.data();
    std::complex<float>* y = work_.data();
    // Both channels take the same rotation: bin k of left + i*right turns by R, its mirror by
    // the conjugate, which keeps each channel's spectrum that of a real signal.
    y[0] = z[0];
    y[half] = z[half];
    for (int k = 1; k < half; ++k) {
        const std::complex<float> r = rotation_[at(k)];
        y[k] = r * z[k];
        y[n_ - k] = std::conj(r) * z[n_ - k];
    }
    fft_.inverse(y);
    for (int i = 0; i < n_; ++i) {
        dst[2 * i] += synthesisGain_[at(i)] * y[i].real();
        dst[2 * i + 1] += synthesisGain_[at(i)] * y[i].imag();
    }
}

} // namespace vyn
