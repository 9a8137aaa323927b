#pragma once
// Material and measurements for time-stretched audio, shared by tests and benchmarks: a chord
// or a bass of steady partials and a click track; how much of the energy lies away from the
// partials (warble, phasiness and splice noise all land there), where each partial sits, and how
// sharp and how punctual the clicks are.

#include "dsp/Fft.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

namespace vyn::test {

inline const std::vector<double> kChordHz = {261.63, 329.63, 392.0}; // C major
inline const std::vector<double> kBassHz = {55.0, 110.0};

// Mono samples: partials of amplitude 0.25 each.
inline std::vector<float> partialsSignal(const std::vector<double>& hz, double seconds,
                                         double rate) {
    std::vector<float> v(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < v.size(); ++i) {
        double s = 0.0;
        for (double f : hz)
            s += 0.25 * std::sin(2.0 * M_PI * f * static_cast<double>(i) / rate);
        v[i] = static_cast<float>(s);
    }
    return v;
}

// Mono samples: a 3 kHz click decaying over 3 ms every half second (120 BPM) from 0.25 s on.
inline std::vector<float> clickTrackSignal(double seconds, double rate) {
    std::vector<float> v(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate - 0.25;
        const double since = t - 0.5 * std::floor(t / 0.5);
        if (t >= 0 && since < 0.03)
            v[i] = static_cast<float>(0.8 * std::sin(2 * M_PI * 3000 * since) *
                                      std::exp(-since / 0.003));
    }
    return v;
}

// The power spectrum of one channel over the largest power-of-two span (at most 2^18 frames)
// that fits in `frames` from `first`, through a 4-term Blackman-Harris window (side lobes below
// -92 dB, so the window's own leakage never counts as an artefact).
struct StretchSpectrum {
    double binHz = 0.0;
    std::vector<double> power; // bins 0 .. N/2
};

inline StretchSpectrum stretchSpectrum(const float* x, std::size_t frames, int channels,
                                       int channel, double rate, std::size_t first = 0) {
    StretchSpectrum s;
    std::size_t n = 1;
    while (2 * n <= frames - std::min(first, frames) && 2 * n <= (1u << 18))
        n *= 2;
    if (n < 1024) return s;
    std::vector<std::complex<float>> z(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n);
        const double w =
            0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        z[i] = {static_cast<float>(w * x[(first + i) * channels + channel]), 0.0f};
    }
    Fft fft;
    fft.prepare(n);
    fft.forward(z.data());
    s.binHz = rate / static_cast<double>(n);
    s.power.resize(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k)
        s.power[k] = std::norm(std::complex<double>(z[k]));
    return s;
}

// Energy more than `widthHz` away from every partial over the energy within it, in dB.
inline double offPartialDb(const StretchSpectrum& s, const std::vector<double>& partials,
                           double widthHz = 15.0) {
    double near = 0.0;
    double away = 0.0;
    for (std::size_t k = 0; k < s.power.size(); ++k) {
        const double hz = static_cast<double>(k) * s.binHz;
        bool close = false;
        for (double p : partials)
            close = close || std::fabs(hz - p) <= widthHz;
        (close ? near : away) += s.power[k];
    }
    return near > 0 ? 10.0 * std::log10(std::max(away, 1e-30) / near) : 0.0;
}

// The frequency of the strongest line within `widthHz` of `hz`, interpolated between bins
// (a parabola through the log power of the peak and its neighbours).
inline double partialFrequency(const StretchSpectrum& s, double hz, double widthHz = 15.0) {
    if (s.power.size() < 3) return 0.0;
    const auto lo = static_cast<std::size_t>(std::max(1.0, (hz - widthHz) / s.binHz));
    const auto hi =
        std::min(s.power.size() - 2, static_cast<std::size_t>((hz + widthHz) / s.binHz));
    std::size_t best = lo;
    for (std::size_t k = lo; k <= hi; ++k)
        if (s.power[k] > s.power[best]) best = k;
    const double a = std::log(s.power[best - 1] + 1e-300);
    const double b = std::log(s.power[best] + 1e-300);
    const double c = std::log(s.power[best + 1] + 1e-300);
    const double d = a - 2 * b + c;
    const double shift = d < 0 ? 0.5 * (a - c) / d : 0.0;
    return (static_cast<double>(best) + shift) * s.binHz;
}

// One click of a click track: when its attack starts (its envelope passing 10 % of the click's
// peak, in seconds) and how long the envelope takes from 10 % to 90 %.
struct ClickReading {
    double onsetSeconds = 0.0;
    double riseSeconds = 0.0;
};

// The clicks in one channel: bursts whose envelope (the largest magnitude within 0.25 ms either
// side) passes `threshold` of the loudest, at least `gapSeconds` apart.
inline std::vector<ClickReading> measureClicks(const float* x, std::size_t frames, int channels,
                                               int channel, double rate, double gapSeconds = 0.1,
                                               double threshold = 0.3) {
    const auto reach = static_cast<std::ptrdiff_t>(std::ceil(0.00025 * rate));
    std::vector<float> env(frames);
    float loudest = 0.0f;
    for (std::size_t i = 0; i < frames; ++i)
        loudest = std::max(loudest, std::fabs(x[i * channels + channel]));
    const auto n = static_cast<std::ptrdiff_t>(frames);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        float m = 0.0f;
        for (std::ptrdiff_t j = std::max<std::ptrdiff_t>(0, i - reach);
             j <= std::min(n - 1, i + reach); ++j)
            m = std::max(m, std::fabs(x[j * channels + channel]));
        env[static_cast<std::size_t>(i)] = m;
    }
    std::vector<ClickReading> clicks;
    const auto gap = static_cast<std::ptrdiff_t>(gapSeconds * rate);
    std::ptrdiff_t previousEnd = 0;
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        if (env[static_cast<std::size_t>(i)] < threshold * loudest) continue;
        std::ptrdiff_t peak = i;
        for (std::ptrdiff_t j = i; j < std::min(n, i + gap / 2); ++j)
            if (env[static_cast<std::size_t>(j)] > env[static_cast<std::size_t>(peak)]) peak = j;
        const float top = env[static_cast<std::size_t>(peak)];
        std::ptrdiff_t start = peak;
        while (start > previousEnd && env[static_cast<std::size_t>(start - 1)] >= 0.1f * top)
            --start;
        std::ptrdiff_t rise = start;
        while (rise < peak && env[static_cast<std::size_t>(rise)] < 0.9f * top)
            ++rise;
        clicks.push_back(
            {static_cast<double>(start) / rate, static_cast<double>(rise - start) / rate});
        previousEnd = i + gap;
        i = previousEnd - 1;
    }
    return clicks;
}

} // namespace vyn::test
