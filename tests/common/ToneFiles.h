#pragma once
// Audio files written for tests: a steady tone as a 16-bit stereo WAV at 48 kHz.

#include "audio/WavFileWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vyn::test {

inline std::string writeToneWav(const std::string& path, double hz, double seconds,
                                double amplitude = 8000.0) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WavFileWriter w;
    EXPECT_TRUE(w.open(path, WavFileWriter::Format::Pcm16, 2, 48000)) << path;
    const auto frames = static_cast<std::size_t>(seconds * 48000);
    std::vector<std::int16_t> pcm(2 * frames);
    for (std::size_t i = 0; i < frames; ++i)
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(
            amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / 48000.0));
    EXPECT_TRUE(w.writeInt16(pcm.data(), frames));
    EXPECT_TRUE(w.finish());
    return path;
}

} // namespace vyn::test
