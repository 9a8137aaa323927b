#pragma once
// Test signals: sines and deterministic noise, mono or interleaved stereo, and a block loop to
// run a processor over them.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

namespace vyn::test {

inline std::vector<float> sineWave(double hz, double rate, std::size_t frames, float amp = 0.5f) {
    std::vector<float> v(frames);
    for (std::size_t i = 0; i < frames; ++i)
        v[i] = amp * static_cast<float>(
                         std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
    return v;
}

// Both sides alike; `startFrame` continues the phase of an earlier stretch.
inline std::vector<float> stereoSine(double hz, double rate, int frames, float amplitude,
                                     int startFrame = 0) {
    std::vector<float> out(2 * static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f)
        out[2 * f] = out[2 * f + 1] =
            amplitude *
            static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * (f + startFrame) / rate));
    return out;
}

// Deterministic white noise in [-0.4, 0.4], so that every frame differs from its neighbours.
inline std::vector<float> noise(std::size_t frames, std::uint32_t seed = 1) {
    std::vector<float> v(frames);
    std::uint32_t x = seed;
    for (float& s : v) {
        x = x * 1664525u + 1013904223u;
        s = (static_cast<float>(x >> 8) / 16777216.0f - 0.5f) * 0.8f;
    }
    return v;
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

// Runs `process(pointer, frames)` over `stereo` in blocks of `block` frames, in place.
inline void inBlocks(std::vector<float>& stereo, int block,
                     const std::function<void(float*, int)>& process) {
    const int frames = static_cast<int>(stereo.size() / 2);
    for (int f = 0; f < frames; f += block)
        process(stereo.data() + 2 * static_cast<std::size_t>(f), std::min(block, frames - f));
}

} // namespace vyn::test
