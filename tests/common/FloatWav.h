#pragma once
// Reads what `vyn-tool render` writes: a 32-bit float WAV file, as interleaved samples.

#include "support/FileIo.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vyn::test {

struct FloatWav {
    int channels = 0;
    std::uint32_t rate = 0;
    std::vector<float> samples; // interleaved; empty when the file could not be read

    std::size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
    std::vector<float> channel(int c) const {
        std::vector<float> out(frames());
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = samples[i * channels + c];
        return out;
    }
};

inline FloatWav readFloatWav(const std::string& path) {
    FloatWav wav;
    const FileReadResult f = readWholeFile(path);
    if (!f.ok) return wav;
    std::size_t pos = 12;
    while (pos + 8 <= f.data.size()) {
        std::uint32_t size;
        std::memcpy(&size, f.data.data() + pos + 4, 4);
        const std::string id = f.data.substr(pos, 4);
        if (id == "fmt " && pos + 16 <= f.data.size()) {
            std::uint16_t c;
            std::memcpy(&c, f.data.data() + pos + 10, 2);
            std::memcpy(&wav.rate, f.data.data() + pos + 12, 4);
            wav.channels = c;
        } else if (id == "data" && wav.channels > 0) {
            const std::size_t available = std::min<std::size_t>(size, f.data.size() - pos - 8);
            wav.samples.resize(available / 4);
            std::memcpy(wav.samples.data(), f.data.data() + pos + 8, wav.samples.size() * 4);
            return wav;
        }
        pos += 8 + size + (size & 1);
    }
    return wav;
}

} // namespace vyn::test
