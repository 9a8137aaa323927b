// Known folders on Linux: the XDG base directories and xdg-user-dirs.

#include "support/FileIo.h"
#include "support/KnownFolders.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace vyn {
namespace {

std::string home() {
    const char* h = std::getenv("HOME");
    return h && h[0] == '/' ? std::string(h) : std::string();
}

// $VARIABLE when it holds an absolute path (the XDG rule: relative values are ignored), else
// $HOME/fallback, else empty.
std::string baseFolder(const char* variable, const char* fallback) {
    const char* v = std::getenv(variable);
    if (v && v[0] == '/') return v;
    const std::string h = home();
    return h.empty() ? std::string() : h + "/" + fallback;
}

std::string withSub(const std::string& base, const char* sub) {
    return base.empty() ? std::string() : base + "/" + sub;
}

} // namespace

std::string documentsDirFromUserDirs(const std::string& text, const std::string& homeDir) {
    std::string_view rest = text;
    std::string found;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
        if (line.substr(0, kKey.size()) != kKey) continue;
        line.remove_prefix(kKey.size());
        const std::size_t quote = line.find('"');
        if (quote == std::string_view::npos) continue;
        std::string_view value = line.substr(0, quote);
        std::string path;
        if (value.substr(0, 5) == "$HOME") {
            if (homeDir.empty()) continue;
            path = homeDir + std::string(value.substr(5));
        } else if (!value.empty() && value.front() == '/') {
            path = std::string(value);
        } else {
            continue; // the format allows only $HOME/... or an absolute path
        }
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        found = path; // the last valid line wins, as in the shell script the file is
    }
    return found;
}

std::string configFolder() {
    return withSub(baseFolder("XDG_CONFIG_HOME", ".config"), "vyn");
}

std::string cacheFolder() {
    return withSub(baseFolder("XDG_CACHE_HOME", ".cache"), "vyn");
}

std::string dataFolder() {
    return withSub(baseFolder("XDG_DATA_HOME", ".local/share"), "vyn");
}

std::string documentsFolder() {
    const std::string h = home();
    if (const char* v = std::getenv("XDG_DOCUMENTS_DIR"); v && v[0] == '/')
        return withSub(v, "VYN");
    const std::string config = baseFolder("XDG_CONFIG_HOME", ".config");
    std::string documents;
    if (!config.empty()) {
        const FileReadResult file = readWholeFile(config + "/user-dirs.dirs", 65536);
        if (file.ok) documents = documentsDirFromUserDirs(file.data, h);
    }
    if (documents.empty() && !h.empty()) documents = h + "/Documents";
    return withSub(documents, "VYN");
}

std::string executableFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

} // namespace vyn
