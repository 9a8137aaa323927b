#pragma once
// How clean a rendered tone is: the energy left once the tone itself is taken out, and the energy
// inside a frequency band. Both are in dB relative to the whole signal's energy, for one channel of
// interleaved audio.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace vyn::test {

// Energy away from a tone of exactly `hz`: the least-squares fit of a sine and a cosine at `hz` is
// subtracted and what remains (images, aliases, noise, distortion) is compared with the whole.
inline double energyAwayFromToneDb(const float* x, std::size_t frames, int channels, int channel,
                                   double rate, double hz) {
    const double w = 2.0 * M_PI * hz / rate;
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0, xx = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double s = std::sin(w * static_cast<double>(i));
        const double c = std::cos(w * static_cast<double>(i));
        const double v = x[i * channels + channel];
        ss += s * s;
        cc += c * c;
        sc += s * c;
        xs += v * s;
        xc += v * c;
        xx += v * v;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det;
    const double b = (xc * ss - xs * sc) / det;
    double residual = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = w * static_cast<double>(i);
        const double r = x[i * channels + channel] - a * std::sin(t) - b * std::cos(t);
        residual += r * r;
    }
    return 10.0 * std::log10(std::max(residual, 1e-30) / std::max(xx, 1e-30));
}

// Energy between `loHz` and `hiHz` under a 4-term Blackman-Harris window (sidelobes 92 dB down),
// one DFT bin at a time.
inline double bandEnergyDb(const float* x, std::size_t frames, int channels, int channel,
                           double rate, double loHz, double hiHz) {
    std::vector<double> v(frames);
    double total = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double p = 2.0 * M_PI * static_cast<double>(i) / static_cast<double>(frames);
        const double window =
            0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
        v[i] = window * x[i * channels + channel];
        total += v[i] * v[i];
    }
    const double binHz = rate / static_cast<double>(frames);
    const auto first = static_cast<std::size_t>(std::ceil(loHz / binHz));
    const auto last = std::min(static_cast<std::size_t>(std::floor(hiHz / binHz)), frames / 2);
    double band = 0.0;
    for (std::size_t k = first; k <= last; ++k) {
        // Goertzel for bin k; Parseval: a bin's power over the frame count is its energy share.
        const double coeff = 2.0 * std::cos(2.0 * M_PI * static_cast<double>(k) / frames);
        double s1 = 0.0, s2 = 0.0;
        for (double sample : v) {
            const double s0 = sample + coeff * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
        band += (k == 0 || 2 * k == frames ? 1.0 : 2.0) * power / static_cast<double>(frames);
    }
    return 10.0 * std::log10(std::max(band, 1e-30) / std::max(total, 1e-30));
}

} // namespace vyn::test
