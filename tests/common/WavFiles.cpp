#include "common/WavFiles.h"

#include "common/TestPaths.h"
#include "support/FileIo.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>

namespace vyn::test {

std::string writeStereoWav(const std::string& path, const std::vector<std::int16_t>& samples,
                           std::uint32_t rate) {
    const auto frames = static_cast<std::uint32_t>(samples.size() / 2);
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    // The canonical 44-byte header, then the samples (little-endian on the hosts we test on).
    std::string header = "RIFF";
    const auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            header += static_cast<char>(v >> (8 * i));
    };
    put(36 + frames * 4, 4);
    header += "WAVEfmt ";
    put(16, 4);
    put(1, 2); // PCM
    put(2, 2);
    put(rate, 4);
    put(rate * 4, 4);
    put(4, 2);
    put(16, 2);
    header += "data";
    put(frames * 4, 4);
    header.append(reinterpret_cast<const char*>(samples.data()), frames * 2 * sizeof(std::int16_t));
    return writeFileAtomically(path, header, nullptr) ? path : std::string();
}

std::string writeToneWav(const std::string& path, double hz, double seconds, std::uint32_t rate,
                         double amplitude) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> pcm(2 * frames);
    for (std::size_t i = 0; i < frames; ++i)
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(
            std::lround(32767.0 * amplitude *
                        std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate)));
    return writeStereoWav(path, pcm, rate);
}

WavContents readWav(const std::string& path) {
    const std::string d = readText(path);
    WavContents w;
    const auto u16 = [&](std::size_t o) {
        std::uint16_t v;
        std::memcpy(&v, d.data() + o, 2);
        return v;
    };
    const auto u32 = [&](std::size_t o) {
        std::uint32_t v;
        std::memcpy(&v, d.data() + o, 4);
        return v;
    };
    for (std::size_t pos = 12; pos + 8 <= d.size();) {
        const std::string id = d.substr(pos, 4);
        const std::uint32_t size = u32(pos + 4);
        if (id == "fmt " && pos + 24 <= d.size()) {
            w.format = u16(pos + 8);
            w.channels = u16(pos + 10);
            w.rate = u32(pos + 12);
            w.bits = u16(pos + 22);
            if (w.format == 0xFFFE && pos + 34 <= d.size()) w.format = u16(pos + 32);
        } else if (id == "data") {
            w.dataBytes = size;
            if (w.format == 3 && w.bits == 32) {
                const std::size_t bytes = std::min<std::size_t>(size, d.size() - pos - 8);
                w.samples.resize(bytes / 4);
                if (!w.samples.empty())
                    std::memcpy(w.samples.data(), d.data() + pos + 8, w.samples.size() * 4);
            }
        }
        pos += 8 + size + (size & 1);
    }
    return w;
}

std::vector<float> WavContents::channel(int c) const {
    std::vector<float> out(frames());
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
    return out;
}

} // namespace vyn::test
