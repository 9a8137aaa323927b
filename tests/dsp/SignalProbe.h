#pragma once
// Test signals and measurements on interleaved stereo float audio, for the mixer DSP tests.

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

namespace vyn::test {

inline std::vector<float> stereoSine(double hz, double sampleRate, int frames, float amplitude,
                                     int startFrame = 0) {
    std::vector<float> out(2 * static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        const float v = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz *
                                                                (f + startFrame) / sampleRate));
        out[2 * f] = out[2 * f + 1] = v;
    }
    return out;
}

// Deterministic white noise in [-amplitude, amplitude], independent per channel.
inline std::vector<float> stereoNoise(int frames, float amplitude, std::uint32_t seed = 1) {
    std::vector<float> out(2 * static_cast<std::size_t>(frames));
    std::uint32_t s = seed;
    for (float& v : out) {
        s = s * 1664525u + 1013904223u;
        v = amplitude * (static_cast<float>(s >> 8) / 8388608.0f - 1.0f);
    }
    return out;
}

// Amplitude of the `hz` component of one channel over [first, first + frames), Hann-windowed so a
// non-integer number of cycles leaks little into the estimate.
inline double toneAmplitude(const std::vector<float>& stereo, int channel, double hz,
                            double sampleRate, int first, int frames) {
    double re = 0.0, im = 0.0, windowSum = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (frames - 1));
        const double x = stereo[2 * static_cast<std::size_t>(first + i) + channel];
        const double a = 2.0 * std::numbers::pi * hz * (first + i) / sampleRate;
        re += w * x * std::cos(a);
        im -= w * x * std::sin(a);
        windowSum += w;
    }
    return 2.0 * std::hypot(re, im) / windowSum;
}

// Frequency estimated from rising zero crossings of one channel over [first, first + frames).
inline double zeroCrossingHz(const std::vector<float>& stereo, int channel, double sampleRate,
                             int first, int frames) {
    double firstCross = -1.0, lastCross = -1.0;
    int crossings = 0;
    for (int i = first + 1; i < first + frames; ++i) {
        const float a = stereo[2 * static_cast<std::size_t>(i - 1) + channel];
        const float b = stereo[2 * static_cast<std::size_t>(i) + channel];
        if (a < 0.0f && b >= 0.0f) {
            const double t = (i - 1) + a / (a - b);
            if (firstCross < 0) firstCross = t;
            lastCross = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * sampleRate / (lastCross - firstCross);
}

inline float peakOf(const std::vector<float>& stereo, int first, int frames) {
    float peak = 0.0f;
    for (int i = 2 * first; i < 2 * (first + frames); ++i)
        peak = std::max(peak, std::fabs(stereo[static_cast<std::size_t>(i)]));
    return peak;
}

// Runs `process(pointer, frames)` over `stereo` in blocks of `block` frames, in place.
inline void inBlocks(std::vector<float>& stereo, int block,
                     const std::function<void(float*, int)>& process) {
    const int frames = static_cast<int>(stereo.size() / 2);
    for (int f = 0; f < frames; f += block) {
        const int n = std::min(block, frames - f);
        process(stereo.data() + 2 * static_cast<std::size_t>(f), n);
    }
}

} // namespace vyn::test
