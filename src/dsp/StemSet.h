#pragma once
// A track split into four stems: what a separator produces and a stem cache file holds, and what a
// StemSource plays from. Every stem is interleaved stereo 16-bit at the track's own rate; the four
// add up to the original track (within 16-bit clamping), because "other" is the remainder.

#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

// Stem order everywhere.
enum StemIndex : int { kStemDrums = 0, kStemBass = 1, kStemVocals = 2, kStemOther = 3 };
inline constexpr int kStemCount = 4;

struct StemSet {
    std::vector<std::int16_t> stems[kStemCount]; // 2·frames samples each
    std::int64_t frames = 0;
    double sampleRate = 0.0;
    bool neural = false; // made by a neural separator
    std::string label;   // the separator's model identity; empty for the spectral separator

    // Bytes held by the four buffers.
    std::uint64_t bytes() const {
        std::uint64_t total = 0;
        for (const auto& s : stems)
            total += s.size() * sizeof(std::int16_t);
        return total;
    }
};

} // namespace vyn
