#include "support/FileIo.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace vyn {

// The C runtime's narrow calls read a path in the system's code page on Windows: open and
// remove through the wide path made from the UTF-8 text instead.
std::FILE* openFile(const std::string& path, const char* mode) {
#ifdef _WIN32
    std::wstring wideMode;
    for (const char* m = mode; *m; ++m)
        wideMode += static_cast<wchar_t>(*m);
    return _wfopen(pathFromUtf8(path).c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

bool removeFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::remove(pathFromUtf8(path), ec);
}

FileReadResult readWholeFile(const std::string& path, std::uint64_t maxBytes) {
    FileReadResult r;
    std::FILE* f = openFile(path, "rb");
    if (!f) {
        r.error = "could not open the file";
        return r;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(pathFromUtf8(path), ec);
    if (!ec && size > maxBytes) {
        std::fclose(f);
        r.error = "file is too large";
        return r;
    }
    if (!ec) r.data.reserve(static_cast<std::size_t>(size));
    char buf[1 << 16];
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        if (n > 0) r.data.append(buf, n);
        if (r.data.size() > maxBytes) {
            std::fclose(f);
            r.data.clear();
            r.error = "file is too large";
            return r;
        }
        if (n < sizeof buf) break;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        r.data.clear();
        r.error = "could not read the file";
        return r;
    }
    r.ok = true;
    return r;
}

bool writeFileAtomically(const std::string& path, std::string_view data, std::string* error) {
    const std::string tmp = path + ".tmp";
    std::FILE* f = openFile(tmp, "wb");
    if (!f) {
        if (error) *error = "could not create the file";
        return false;
    }
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        removeFile(tmp);
        if (error) *error = "could not write the file";
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(pathFromUtf8(tmp), pathFromUtf8(path), ec);
    if (ec) {
        removeFile(tmp);
        if (error) *error = "could not replace the file";
        return false;
    }
    return true;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(pathFromUtf8(path), ec);
}

} // namespace vyn
