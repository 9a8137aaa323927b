#include "dsp/StemCache.h"

#include "support/FileIo.h"
#include "support/Sha256.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <vector>

namespace vyn {
namespace {

namespace fs = std::filesystem;

constexpr char kMagic[8] = {'V', 'Y', 'N', 'S', 'T', 'E', 'M', '1'};
constexpr std::uint32_t kByteOrderMark = 0x01020304u;
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 48;
constexpr std::uint32_t kMaxLabel = 4096;
constexpr int kStoredStems = 3;

std::mutex& settingsMutex() {
    static std::mutex m;
    return m;
}

StemCacheSettings& settingsStorage() {
    static StemCacheSettings s;
    return s;
}

template <class T> void put(std::uint8_t* at, T value) {
    std::uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + sizeof(T));
    std::memcpy(at, bytes, sizeof(T));
}

template <class T> T get(const std::uint8_t* at) {
    std::uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, at, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + sizeof(T));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// Samples travel little-endian; on a big-endian host they are swapped in place.
void swapSamplesIfBigEndian(std::vector<std::int16_t>& samples) {
    if constexpr (std::endian::native == std::endian::big)
        for (std::int16_t& s : samples)
            s = static_cast<std::int16_t>(static_cast<std::uint16_t>(s) >> 8 |
                                          static_cast<std::uint16_t>(s) << 8);
}

bool writeCacheFile(const fs::path& path, const StemSet& stems) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    std::uint8_t header[kHeaderBytes] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    put<std::uint32_t>(header + 8, kByteOrderMark);
    put<std::uint32_t>(header + 12, kVersion);
    put<std::uint32_t>(header + 16, stems.neural ? 1u : 0u);
    put<std::uint32_t>(header + 20, 2u);
    put<std::int64_t>(header + 24, stems.frames);
    put<double>(header + 32, stems.sampleRate);
    put<std::uint32_t>(header + 40, static_cast<std::uint32_t>(stems.label.size()));
    out.write(reinterpret_cast<const char*>(header), kHeaderBytes);
    out.write(stems.label.data(), static_cast<std::streamsize>(stems.label.size()));
    for (int s = 0; s < kStoredStems; ++s) {
        if constexpr (std::endian::native == std::endian::big) {
            std::vector<std::int16_t> copy = stems.stems[s];
            swapSamplesIfBigEndian(copy);
            out.write(reinterpret_cast<const char*>(copy.data()),
                      static_cast<std::streamsize>(copy.size() * sizeof(std::int16_t)));
        } else {
            out.write(reinterpret_cast<const char*>(stems.stems[s].data()),
                      static_cast<std::streamsize>(stems.stems[s].size() * sizeof(std::int16_t)));
        }
    }
    out.flush();
    return static_cast<bool>(out);
}

} // namespace

void setStemCacheSettings(const StemCacheSettings& settings) {
    std::lock_guard<std::mutex> lock(settingsMutex());
    settingsStorage() = settings;
}

StemCacheSettings stemCacheSettings() {
    std::lock_guard<std::mutex> lock(settingsMutex());
    return settingsStorage();
}

std::string stemCacheKey(const std::string& trackPath, std::int64_t frames, double sampleRate,
                         bool neural, const std::string& modelIdentity) {
    char rate[64];
    std::snprintf(rate, sizeof rate, "%f", sampleRate);
    return trackPath + "\n" + std::to_string(frames) + "\n" + rate + "\n" +
           (neural ? "neural" : "spectral") + "\n" + modelIdentity;
}

std::string stemCachePath(const std::string& trackPath, std::int64_t frames, double sampleRate,
                          bool neural, const std::string& modelIdentity) {
    const std::string folder = stemCacheSettings().folder;
    if (folder.empty() || trackPath.empty() || frames < 1) return {};
    const std::string key = stemCacheKey(trackPath, frames, sampleRate, neural, modelIdentity);
    const std::string name = Sha256::hex(Sha256::of(key)) + ".vynstem";
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

bool loadStemCache(const std::string& path, const std::int16_t* original, std::int64_t frames,
                   double sampleRate, StemSet& out) {
    if (path.empty() || !original || frames < 1) return false;
    const fs::path file = pathFromUtf8(path);
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::uint8_t header[kHeaderBytes];
    if (!in.read(reinterpret_cast<char*>(header), kHeaderBytes)) return false;
    const auto neural = get<std::uint32_t>(header + 16);
    const auto storedFrames = get<std::int64_t>(header + 24);
    const auto storedRate = get<double>(header + 32);
    const auto labelBytes = get<std::uint32_t>(header + 40);
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0 ||
        get<std::uint32_t>(header + 8) != kByteOrderMark ||
        get<std::uint32_t>(header + 12) != kVersion || get<std::uint32_t>(header + 20) != 2u ||
        neural >= 2 || storedFrames < 1)
        return false;
    // Exact equality: a NaN on either side never matches.
    if (storedFrames != frames || !(storedRate == sampleRate) || labelBytes > kMaxLabel)
        return false;
    StemSet s;
    s.label.resize(labelBytes);
    if (labelBytes > 0 && !in.read(s.label.data(), labelBytes)) return false;
    const auto samples = 2 * static_cast<std::size_t>(frames);
    for (int k = 0; k < kStoredStems; ++k) {
        s.stems[k].resize(samples);
        if (!in.read(reinterpret_cast<char*>(s.stems[k].data()),
                     static_cast<std::streamsize>(samples * sizeof(std::int16_t))))
            return false;
        swapSamplesIfBigEndian(s.stems[k]);
    }
    s.stems[kStemOther].resize(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        const int rest = original[i] - s.stems[0][i] - s.stems[1][i] - s.stems[2][i];
        s.stems[kStemOther][i] = static_cast<std::int16_t>(std::clamp(rest, -32768, 32767));
    }
    s.frames = frames;
    s.sampleRate = sampleRate;
    s.neural = neural == 1;
    in.close();
    out = std::move(s);
    // The pruning order follows use.
    std::error_code ec;
    fs::last_write_time(file, fs::file_time_type::clock::now(), ec);
    return true;
}

bool storeStemCache(const std::string& path, const StemSet& stems) {
    if (path.empty() || stems.frames < 1 || !(stems.sampleRate > 0.0) ||
        !std::isfinite(stems.sampleRate) || stems.label.size() > kMaxLabel)
        return false;
    const auto samples = 2 * static_cast<std::size_t>(stems.frames);
    for (const auto& s : stems.stems)
        if (s.size() != samples) return false;
    const fs::path file = pathFromUtf8(path);
    std::error_code ec;
    const fs::path folder = file.parent_path();
    if (!folder.empty()) fs::create_directories(folder, ec);
    fs::path part = file;
    part += ".part";
    bool ok = writeCacheFile(part, stems);
    if (ok) {
        fs::rename(part, file, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(part, ec);
        return false;
    }
    pruneStemCache();
    return true;
}

void pruneStemCache() {
    const StemCacheSettings settings = stemCacheSettings();
    if (settings.folder.empty()) return;
    struct Entry {
        fs::path path;
        std::uint64_t bytes;
        fs::file_time_type written;
    };
    std::vector<Entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(pathFromUtf8(settings.folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code e;
        if (!it->is_regular_file(e) || e || it->path().extension() != ".vynstem") continue;
        const std::uint64_t bytes = it->file_size(e);
        if (e) continue;
        const fs::file_time_type written = it->last_write_time(e);
        if (e) continue;
        entries.push_back({it->path(), bytes, written});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.written > b.written; });
    std::uint64_t keptFiles = 0;
    std::uint64_t keptBytes = 0;
    for (const Entry& e : entries) {
        const bool overCount = settings.fileBudget >= 1 && keptFiles >= settings.fileBudget;
        const bool overBytes =
            settings.byteBudget != 0 && keptBytes + e.bytes > settings.byteBudget;
        if (overCount || overBytes) {
            std::error_code removeError;
            fs::remove(e.path, removeError);
            continue;
        }
        ++keptFiles;
        keptBytes += e.bytes;
    }
}

} // namespace vyn
