#include "dsp/SpectralSeparator.h"

#include "dsp/Fft.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace vyn {
namespace {

constexpr int kSize = 2048;
constexpr int kHop = 512;
constexpr int kBins = kSize / 2 + 1;
constexpr float kEpsilon = 1e-9f;
constexpr int kReportEvery = 64;
// Output positions start (4 + h) hops before the track; this keeps ring indices non-negative.
constexpr std::int64_t kRingBias = std::int64_t{kSize} * 64;

// 0 up to a, a raised-cosine rise to 1 at b.
double bandRamp(double x, double a, double b) {
    if (a == b) return x >= b ? 1.0 : 0.0;
    if (x <= a) return 0.0;
    if (x >= b) return 1.0;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * (x - a) / (b - a));
}

std::int16_t toSample(float v) {
    return static_cast<std::int16_t>(std::clamp(std::round(v), -32768.0f, 32767.0f));
}

// Everything one separate() call works with.
struct Work {
    explicit Work(double sampleRate) {
        const SpectralWidths widths = spectralWidths(sampleRate);
        h = widths.halfFrames;
        p = widths.halfBins;
        frameSpan = 2 * h + 1;
        fft.prepare(kSize);
        window.resize(kSize);
        double energy = 0.0;
        for (int n = 0; n < kSize; ++n) {
            window[n] =
                static_cast<float>(0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * n / kSize)));
            energy += static_cast<double>(window[n]) * window[n];
        }
        normaliser = static_cast<float>(energy / kHop);
        bass.resize(kBins);
        vocalBand.resize(kBins);
        for (int k = 0; k < kBins; ++k) {
            const double f = k * sampleRate / kSize;
            bass[k] = static_cast<float>(1.0 - bandRamp(f, 180.0, 280.0));
            vocalBand[k] =
                static_cast<float>(bandRamp(f, 200.0, 380.0) * (1.0 - bandRamp(f, 6000.0, 9500.0)));
        }
        const auto slots = static_cast<std::size_t>(frameSpan);
        spectrumRe.assign(slots * kSize, 0.0f);
        spectrumIm.assign(slots * kSize, 0.0f);
        sumMagnitude.assign(slots * kBins, 0.0f);
        midMagnitude.assign(slots * kBins, 0.0f);
        sideMagnitude.assign(slots * kBins, 0.0f);
        runningSum.assign(kBins, 0.0);
        for (auto& m : masks)
            m.assign(kSize, 0.0f);
        yr.resize(kSize);
        yi.resize(kSize);
        for (auto& a : accumulator)
            a.assign(2 * kSize, 0.0f);
    }

    int h = 1;
    int p = 1;
    int frameSpan = 3; // T = 2h + 1
    Fft fft;
    std::vector<float> window;
    float normaliser = 1.5f; // S = sum of w² / hop
    std::vector<float> bass, vocalBand;
    // Rings of the last T frames: packed spectra, |L| + |R|, |L + R| and |L - R|.
    std::vector<float> spectrumRe, spectrumIm;
    std::vector<float> sumMagnitude, midMagnitude, sideMagnitude;
    std::vector<double> runningSum; // of |L| + |R| over the ring, per bin
    std::vector<float> masks[3];    // drums, bass, vocals, over all 2048 bins
    std::vector<float> yr, yi;
    std::vector<float> accumulator[3]; // per stem: left at [0, 2048), right at [2048, 4096)
};

// Analyses frame m into ring slot m % T and updates the per-bin rings and running sum.
void analyse(Work& w, const std::int16_t* pcm, std::int64_t frames, std::int64_t m) {
    const auto slot = static_cast<std::size_t>(m % w.frameSpan);
    float* zr = &w.spectrumRe[slot * kSize];
    float* zi = &w.spectrumIm[slot * kSize];
    const std::int64_t start = (m - 4 - w.h) * kHop;
    for (int i = 0; i < kSize; ++i) {
        const std::int64_t t = start + i;
        const bool inside = t >= 0 && t < frames;
        const float g = w.window[i] * (1.0f / 32768.0f);
        zr[i] = inside ? static_cast<float>(pcm[2 * t]) * g : 0.0f;
        zi[i] = inside ? static_cast<float>(pcm[2 * t + 1]) * g : 0.0f;
    }
    w.fft.forward(zr, zi);
    float* a = &w.sumMagnitude[slot * kBins];
    float* s = &w.midMagnitude[slot * kBins];
    float* d = &w.sideMagnitude[slot * kBins];
    for (int k = 0; k < kBins; ++k) {
        const int mirror = (kSize - k) & (kSize - 1);
        // L = (Z[k] + conj Z[N-k]) / 2, R = (Z[k] - conj Z[N-k]) / 2i.
        const float lr = 0.5f * (zr[k] + zr[mirror]);
        const float li = 0.5f * (zi[k] - zi[mirror]);
        const float rr = 0.5f * (zi[k] + zi[mirror]);
        const float ri = 0.5f * (zr[mirror] - zr[k]);
        const float both = std::sqrt(lr * lr + li * li) + std::sqrt(rr * rr + ri * ri);
        w.runningSum[k] += static_cast<double>(both) - a[k];
        a[k] = both;
        s[k] = std::sqrt((lr + rr) * (lr + rr) + (li + ri) * (li + ri));
        d[k] = std::sqrt((lr - rr) * (lr - rr) + (li - ri) * (li - ri));
    }
}

// Builds the three masks of centre frame c (held in ring slot c % T).
void buildMasks(Work& w, std::int64_t c) {
    const auto slot = static_cast<std::size_t>(c % w.frameSpan);
    const float* a = &w.sumMagnitude[slot * kBins];
    const float* s = &w.midMagnitude[slot * kBins];
    const float* d = &w.sideMagnitude[slot * kBins];
    const double span = w.frameSpan;
    // P: a sliding sum over bins k - p .. k + p, clipped to the spectrum.
    double window = 0.0;
    for (int k = 0; k <= std::min(w.p, kBins - 1); ++k)
        window += a[k];
    for (int k = 0; k < kBins; ++k) {
        const int lo = std::max(0, k - w.p);
        const int hi = std::min(kBins - 1, k + w.p);
        const auto harmonic = static_cast<float>(w.runningSum[k] / span);
        const auto percussive = static_cast<float>(window / (hi - lo + 1));
        const float h2 = harmonic * harmonic;
        const float mh = h2 / (h2 + percussive * percussive + kEpsilon);
        const float centre =
            std::clamp((s[k] / (s[k] + d[k] + kEpsilon) - 0.55f) / 0.35f, 0.0f, 1.0f);
        w.masks[0][k] = 1.0f - mh;
        w.masks[1][k] = mh * w.bass[k];
        w.masks[2][k] = (1.0f - w.bass[k]) * mh * w.vocalBand[k] * centre;
        // Slide: bin k + p + 1 enters, bin k - p leaves.
        if (k + w.p + 1 < kBins) window += a[k + w.p + 1];
        if (k - w.p >= 0) window -= a[k - w.p];
    }
    // Bins 1..1023 have a negative-frequency twin; 0 and 1024 are their own.
    for (auto& m : w.masks)
        for (int k = 1; k < kSize / 2; ++k)
            m[kSize - k] = m[k];
}

// Resynthesises centre frame c into the three accumulators at the frame's own position.
void synthesise(Work& w, std::int64_t c) {
    const auto slot = static_cast<std::size_t>(c % w.frameSpan);
    const float* zr = &w.spectrumRe[slot * kSize];
    const float* zi = &w.spectrumIm[slot * kSize];
    const auto ring = static_cast<int>(((c - 4 - w.h) * kHop + kRingBias) % kSize);
    for (int stem = 0; stem < 3; ++stem) {
        const float* mask = w.masks[stem].data();
        for (int k = 0; k < kSize; ++k) {
            w.yr[k] = zr[k] * mask[k];
            w.yi[k] = zi[k] * mask[k];
        }
        w.fft.inverse(w.yr.data(), w.yi.data());
        float* left = w.accumulator[stem].data();
        float* right = left + kSize;
        for (int i = 0; i < kSize; ++i) {
            const int r = (ring + i) & (kSize - 1);
            const float g = w.window[i] * (1.0f / kSize);
            left[r] += w.yr[i] * g;
            right[r] += w.yi[i] * g;
        }
    }
}

// Writes the hop of output frames that starts at `start` (no later frame adds to it any more)
// and clears its accumulator cells.
void emit(Work& w, const std::int16_t* pcm, std::int64_t frames, std::int64_t start, StemSet& out) {
    const float scale = 32768.0f / w.normaliser;
    for (std::int64_t t = start; t < start + kHop; ++t) {
        const auto r = static_cast<std::size_t>((t + kRingBias) % kSize);
        const bool inside = t >= 0 && t < frames;
        for (int ch = 0; ch < 2; ++ch) {
            int sum = 0;
            for (int stem = 0; stem < 3; ++stem) {
                float& cell = w.accumulator[stem][ch * kSize + r];
                const std::int16_t v = toSample(cell * scale);
                cell = 0.0f;
                if (!inside) continue;
                out.stems[stem][2 * t + ch] = v;
                sum += v;
            }
            if (inside)
                out.stems[kStemOther][2 * t + ch] =
                    static_cast<std::int16_t>(std::clamp(pcm[2 * t + ch] - sum, -32768, 32767));
        }
    }
}

} // namespace

SpectralWidths spectralWidths(double sampleRate) {
    SpectralWidths w;
    w.halfFrames =
        static_cast<int>(std::clamp(std::trunc(0.09 * sampleRate / kHop + 0.5), 1.0, 32.0));
    w.halfBins = static_cast<int>(std::clamp(std::trunc(512000.0 / sampleRate + 0.5), 1.0, 1024.0));
    return w;
}

bool SpectralSeparator::separate(const std::int16_t* pcm, std::int64_t frames, double sampleRate,
                                 StemSet& out, const StemProgress& progress) {
    if (!pcm || frames < 1 || !(sampleRate > 0.0) || !std::isfinite(sampleRate)) return false;
    for (auto& s : out.stems)
        s.assign(2 * static_cast<std::size_t>(frames), 0);
    out.frames = frames;
    out.sampleRate = sampleRate;
    out.neural = false;
    out.label.clear();

    Work w(sampleRate);
    const std::int64_t count = (frames + 4096 + 1024 * w.h) / kHop + 1;
    std::int64_t lastReport = 0;
    std::int64_t lastStart = 0;
    for (std::int64_t m = 0; m < count; ++m) {
        analyse(w, pcm, frames, m);
        if (m >= w.h) {
            // The masks need h frames on either side: work on the frame h hops back.
            const std::int64_t c = m - w.h;
            buildMasks(w, c);
            synthesise(w, c);
            lastStart = (c - 4 - w.h) * kHop;
            emit(w, pcm, frames, lastStart, out);
        }
        if (m - lastReport >= kReportEvery) {
            lastReport = m;
            const float fraction = std::clamp(static_cast<float>(m) / count, 0.0f, 1.0f);
            if (progress && !progress(fraction)) return false;
        }
    }
    for (int hop = 1; hop < kSize / kHop; ++hop)
        emit(w, pcm, frames, lastStart + hop * kHop, out);
    if (progress) progress(1.0f);
    return true;
}

} // namespace vyn
