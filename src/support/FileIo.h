#pragma once
// Whole-file reads and crash-safe writes (temporary name, then rename over the final name).

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

struct FileReadResult {
    bool ok = false;
    std::string data;
    std::string error;
};

// Paths are UTF-8 text. A filesystem path made from one must say so: on Windows a plain narrow
// string would be read in the system's code page.
inline std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

// fopen for a UTF-8 path, with the C runtime's mode letters ("rb", "wbx").
std::FILE* openFile(const std::string& path, const char* mode);

// Removes the file if it is there; true when it was removed.
bool removeFile(const std::string& path);

// Reads at most `maxBytes`; a larger file fails with "file is too large".
FileReadResult readWholeFile(const std::string& path, std::uint64_t maxBytes = 1ull << 32);

// Writes `data` to `path` + ".tmp" and renames it over `path`. Returns false (and removes the
// temporary file) on any failure; `error` then holds a fixed message.
bool writeFileAtomically(const std::string& path, std::string_view data, std::string* error);

bool fileExists(const std::string& path);

} // namespace vyn
