// The stem cache loader on any file: a damaged file is a miss, never a crash, and a file it takes
// gives four stems of the asked length whose "other" makes them add up to the original (within
// 16-bit clamping). The frame count and rate asked for are the ones the file's header claims (kept
// small), so the fuzzer reaches past the header checks.

#include "FuzzTarget.h"
#include "dsp/StemCache.h"
#include "support/FileIo.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A file name for one input, in memory where the system has a memory file system; removed when
// the input is done (libFuzzer ends without running destructors, so nothing may outlive an input).
struct ScratchFile {
    std::string path;
    ScratchFile() {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "vyn-fuzz-stems-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) return;
        ::close(fd);
        path = pattern;
    }
    ~ScratchFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

template <typename T> T headerField(const std::uint8_t* data, std::size_t size, std::size_t at) {
    T v{};
    if (size >= at + sizeof(T)) std::memcpy(&v, data + at, sizeof(T));
    return v;
}

} // namespace

VYN_FUZZ_TARGET(stemcache) {
    const ScratchFile file;
    if (file.path.empty()) return;
    if (!vyn::writeFileAtomically(file.path, std::string(reinterpret_cast<const char*>(data), size),
                                  nullptr))
        return;
    // Frames at byte 24 (i64) and the rate at byte 32 (f64), as the header lays them out.
    const std::int64_t frames =
        std::clamp<std::int64_t>(headerField<std::int64_t>(data, size, 24), 1, 4096);
    const double rate = headerField<double>(data, size, 32);
    std::vector<std::int16_t> original(2 * static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<std::int16_t>((i * 7919u) % 65536u - 32768);
    vyn::StemSet stems;
    if (!vyn::loadStemCache(file.path, original.data(), frames, rate, stems)) return;
    vyn::fuzz::require(stems.frames == frames, "a loaded file has the frames asked for");
    for (const auto& s : stems.stems)
        vyn::fuzz::require(s.size() == original.size(), "every stem has 2 x frames samples");
    for (std::size_t i = 0; i < original.size(); ++i) {
        const int three = stems.stems[0][i] + stems.stems[1][i] + stems.stems[2][i];
        const int expected = std::clamp(original[i] - three, -32768, 32767);
        vyn::fuzz::require(stems.stems[3][i] == expected, "other is the exact remainder");
    }
}
