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
    for (std::size_t i = 0; i < v.size(); ++i)
        for (double f : hz)
            v[i] +=
                static_cast<float>(0.25 * std::sin(2.0 * M_PI * f * static_cast<double>(i) / rate));
    return v;
}

// Mono samples: a 3 kHz click decaying over 3 ms at each of `at` (seconds), over `background`
// (mono samples of the same length, or empty for silence).
inline std::vector<float> clickSignal(const std::vector<double>& at, double seconds, double rate,
                                      std::vector<float> background = {}) {
    background.resize(static_cast<std::size_t>(seconds * rate));
    for (double a : at)
        for (std::size_t i = static_cast<std::size_t>(a * rate);
             i < std::min(background.size(), static_cast<std::size_t>((a + 0.03) * rate)); ++i) {
            const double t = static_cast<double>(i) / rate - a;
            background[i] +=
                static_cast<float>(0.8 * std::sin(2 * M_PI * 3000 * t) * std::exp(-t / 0.003));
        }
    return background;
}

// A click every half second (120 BPM) from 0.25 s on.
inline std::vector<float> clickTrackSignal(double seconds, double rate) {
    std::vector<double> at;
    for (double t = 0.25; t < seconds; t += 0.5)
        at.push_back(t);
    return clickSignal(at, seconds, rate);
}

// Drives a stretcher as a deck does: asks how much input each block needs and feeds that from
// `input` (interleaved stereo). Returns `frames` output frames.
template <class Stretcher>
std::vector<float> stretchThrough(Stretcher& s, const std::vector<float>& input, int block,
                                  std::size_t frames, std::size_t* used = nullptr) {
    std::vector<float> out(2 * frames);
    std::size_t taken = 0;
    for (std::size_t done = 0; done < frames; done += static_cast<std::size_t>(block)) {
        const int n = static_cast<int>(std::min<std::size_t>(block, frames - done));
        const int m = static_cast<int>(std::min<std::size_t>(
            static_cast<std::size_t>(s.inputFramesFor(n)), input.size() / 2 - taken));
        s.process(input.data() + 2 * taken, m, out.data() + 2 * done, n);
        taken += static_cast<std::size_t>(m);
    }
    if (used) *used = taken;
    return out;
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

// Energy between `loHz` and `hiHz` over all the energy, in dB.
inline double bandDb(const StretchSpectrum& s, double loHz, double hiHz) {
    double band = 0.0;
    double total = 0.0;
    for (std::size_t k = 0; k < s.power.size(); ++k) {
        const double hz = static_cast<double>(k) * s.binHz;
        total += s.power[k];
        if (hz >= loHz && hz <= hiHz) band += s.power[k];
    }
    return total > 0 ? 10.0 * std::log10(std::max(band, 1e-30) / total) : 0.0;
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
// side) passes 30 % of the loudest, at least `gapSeconds` apart.
inline std::vector<ClickReading> measureClicks(const float* x, std::size_t frames, int channels,
                                               int channel, double rate, double gapSeconds = 0.1) {
    const auto reach = static_cast<std::size_t>(std::ceil(0.00025 * rate));
    std::vector<float> env(frames);
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t j = i > reach ? i - reach : 0; j <= std::min(frames - 1, i + reach); ++j)
            env[i] = std::max(env[i], std::fabs(x[j * channels + channel]));
    const float loudest = frames ? *std::max_element(env.begin(), env.end()) : 0.0f;
    const auto gap = static_cast<std::size_t>(gapSeconds * rate);
    std::vector<ClickReading> clicks;
    for (std::size_t i = 0, earliest = 0; i < frames; ++i) {
        if (env[i] < 0.3f * loudest) continue;
        const auto peak = static_cast<std::size_t>(
            std::max_element(env.begin() + static_cast<std::ptrdiff_t>(i),
                             env.begin() +
                                 static_cast<std::ptrdiff_t>(std::min(frames, i + gap / 2))) -
            env.begin());
        std::size_t start = peak;
        while (start > earliest && env[start - 1] >= 0.1f * env[peak])
            --start;
        std::size_t rise = start;
        while (env[rise] < 0.9f * env[peak])
            ++rise;
        clicks.push_back(
            {static_cast<double>(start) / rate, static_cast<double>(rise - start) / rate});
        earliest = i + gap;
        i = earliest - 1;
    }
    return clicks;
}

} // namespace vyn::test
