#pragma once
// WAV files for tests: 16-bit stereo samples or a tone written to disk, and the 32-bit float files
// the renderer writes read back.

#include <cstdint>
#include <string>
#include <vector>

namespace vyn::test {

// A 16-bit stereo WAV of interleaved `samples` (its folder made when missing); returns `path`, or
// "" when it cannot be written.
std::string writeStereoWav(const std::string& path, const std::vector<std::int16_t>& samples,
                           std::uint32_t rate = 48000);

// A 16-bit stereo WAV of a sine at `hz` (both sides alike); returns `path`. `seconds` 0 writes a
// file without frames.
std::string writeToneWav(const std::string& path, double hz, double seconds,
                         std::uint32_t rate = 48000, double amplitude = 0.5);

struct WavContents {
    int format = 0; // 1 PCM, 3 float (an extensible header's sub-format)
    int channels = 0;
    std::uint32_t rate = 0;
    int bits = 0;
    std::uint32_t dataBytes = 0;
    std::vector<float> samples; // interleaved; filled for 32-bit float files only

    std::size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
    // One channel of the samples.
    std::vector<float> channel(int c) const;
};

// The header fields of the WAV file at `path` and, for 32-bit float, its samples. Fields stay 0
// when the file cannot be read.
WavContents readWav(const std::string& path);

} // namespace vyn::test
