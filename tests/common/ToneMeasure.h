#pragma once
// Measurements on rendered audio for tests: the frequency of a steady tone, the level of a
// component, the peak level, and how alike two signals are.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vyn::test {

// Frequency in Hz of the dominant tone in channel `channel` of `channels`-interleaved audio, from
// the rising zero crossings (linearly interpolated) over the whole span; 0 without two crossings.
inline double toneFrequency(const float* x, std::size_t frames, int channels, int channel,
                            double rate) {
    double first = -1.0;
    double last = -1.0;
    long crossings = 0;
    for (std::size_t i = 1; i < frames; ++i) {
        const float a = x[(i - 1) * channels + channel];
        const float b = x[i * channels + channel];
        if (a < 0.0f && b >= 0.0f) {
            const double t = static_cast<double>(i - 1) + a / (a - b);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2 || last <= first) return 0.0;
    return (crossings - 1) * rate / (last - first);
}

inline double toneFrequency(const std::vector<float>& stereo, double rate, int channel = 0) {
    return toneFrequency(stereo.data(), stereo.size() / 2, 2, channel, rate);
}

// The same over stereo frames [first, first + frames).
inline double toneFrequency(const std::vector<float>& stereo, int channel, double rate, int first,
                            int frames) {
    return toneFrequency(stereo.data() + 2 * static_cast<std::size_t>(first),
                         static_cast<std::size_t>(frames), 2, channel, rate);
}

// Amplitude of the component at `hz` in one channel (Goertzel over the whole span): a sine of
// amplitude A at that frequency reads about A.
inline double toneLevel(const float* x, std::size_t frames, int channels, int channel, double rate,
                        double hz) {
    const double w = 2.0 * M_PI * hz / rate;
    const double k = 2.0 * std::cos(w);
    double s1 = 0.0;
    double s2 = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double s0 = x[i * channels + channel] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return frames ? 2.0 * std::sqrt(std::fmax(power, 0.0)) / static_cast<double>(frames) : 0.0;
}

// Amplitude of the `hz` component of one channel of stereo frames [first, first + frames),
// Hann-windowed so a non-integer number of cycles leaks little into the estimate.
inline double toneAmplitude(const std::vector<float>& stereo, int channel, double hz, double rate,
                            int first, int frames) {
    double re = 0.0, im = 0.0, windowSum = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / (frames - 1));
        const double x = stereo[2 * static_cast<std::size_t>(first + i) + channel];
        const double a = 2.0 * M_PI * hz * (first + i) / rate;
        re += w * x * std::cos(a);
        im -= w * x * std::sin(a);
        windowSum += w;
    }
    return 2.0 * std::hypot(re, im) / windowSum;
}

// Normalised cross-correlation of two signals of `channels` interleaved channels, on `channel` (on
// all of them when it is -1), over frames [from, from + frames) of `a` (to its end by default),
// where frame i of `a` meets frame i + lag of `b`.
template <class Sample>
double correlation(const std::vector<Sample>& a, const std::vector<Sample>& b, int channels,
                   int channel, long lag, std::size_t from = 0, std::size_t frames = SIZE_MAX) {
    const auto n = static_cast<std::size_t>(channels);
    const std::size_t end =
        std::min(a.size() / n, frames < a.size() / n ? from + frames : SIZE_MAX);
    const int first = channel < 0 ? 0 : channel, last = channel < 0 ? channels - 1 : channel;
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = from; i < end; ++i) {
        const long j = static_cast<long>(i) + lag;
        if (j < 0 || static_cast<std::size_t>(j) >= b.size() / n) continue;
        for (int c = first; c <= last; ++c) {
            const double x = a[i * n + c], y = b[static_cast<std::size_t>(j) * n + c];
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The shift of `b` against `a`, within `range` frames either way, at which they correlate best.
template <class Sample>
long bestLag(const std::vector<Sample>& a, const std::vector<Sample>& b, int channels, int channel,
             long range, std::size_t from, std::size_t frames) {
    long best = 0;
    double bestScore = -2.0;
    for (long lag = -range; lag <= range; ++lag) {
        const double score = correlation(a, b, channels, channel, lag, from, frames);
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

inline float peakLevel(const float* x, std::size_t samples) {
    float peak = 0.0f;
    for (std::size_t i = 0; i < samples; ++i)
        peak = std::fmax(peak, std::fabs(x[i]));
    return peak;
}

// The largest step from one sample to the next in one channel of stereo frames [first, end) (to the
// last frame when `end` is 0): a click or a jump stands out against what a smooth signal moves.
inline float largestStep(const std::vector<float>& stereo, int channel, std::size_t first = 0,
                         std::size_t end = 0) {
    if (end == 0 || end > stereo.size() / 2) end = stereo.size() / 2;
    float step = 0.0f;
    for (std::size_t f = first + 1; f < end; ++f)
        step = std::max(step, std::fabs(stereo[2 * f + channel] - stereo[2 * (f - 1) + channel]));
    return step;
}

// The peak of stereo frames [first, first + frames).
inline float peakOf(const std::vector<float>& stereo, int first, int frames) {
    return peakLevel(stereo.data() + 2 * static_cast<std::size_t>(first),
                     2 * static_cast<std::size_t>(frames));
}

// From the first sound on: what the sink played after Play.
inline std::vector<float> fromFirstSound(const std::vector<float>& stereo) {
    std::size_t i = 0;
    while (i < stereo.size() && std::fabs(stereo[i]) < 0.05f)
        ++i;
    return std::vector<float>(stereo.begin() + static_cast<long>(i & ~std::size_t{1}),
                              stereo.end());
}

// The frequency between 100 and 2000 Hz with the strongest component (10 Hz steps, then 1 Hz).
// Unlike counting zero crossings it still finds a tone that an overloaded sound server chopped up.
inline double dominantFrequency(const std::vector<float>& stereo) {
    const std::size_t frames = stereo.size() / 2;
    auto level = [&](double hz) { return toneLevel(stereo.data(), frames, 2, 0, 48000.0, hz); };
    double best = 100.0;
    for (double hz = 100.0; hz <= 2000.0; hz += 10.0)
        if (level(hz) > level(best)) best = hz;
    const double coarse = best;
    for (double hz = coarse - 10.0; hz <= coarse + 10.0; hz += 1.0)
        if (level(hz) > level(best)) best = hz;
    return best;
}

} // namespace vyn::test
