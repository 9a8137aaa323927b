#pragma once
// Measurements on rendered audio for tests: the frequency of a steady tone and the peak level.

#include <cmath>
#include <cstddef>
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

inline float peakLevel(const float* x, std::size_t samples) {
    float peak = 0.0f;
    for (std::size_t i = 0; i < samples; ++i)
        peak = std::fmax(peak, std::fabs(x[i]));
    return peak;
}

} // namespace vyn::test
