#include "control/midi/MidiMapStore.h"

#include "control/midi/MidiMappingFile.h"

#include "support/FileIo.h"
#include "support/KnownFolders.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#ifndef VYN_INSTALL_DATADIR
#define VYN_INSTALL_DATADIR "/usr/local/share"
#endif

namespace vyn {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kExtension = ".vynmap";
constexpr std::uint64_t kMaxMappingBytes = 4u << 20;

bool plainByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
           c == '-' || c == '_' || c == '.' || c == '(' || c == ')';
}

// The regular .vynmap files of `folder`; none when it cannot be read.
std::vector<fs::path> mappingFiles(const std::string& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(pathFromUtf8(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string file = utf8FromPath(it->path().filename());
        if (file.size() > kExtension.size() &&
            file.compare(file.size() - kExtension.size(), kExtension.size(), kExtension) == 0 &&
            it->is_regular_file(ec))
            files.push_back(it->path());
    }
    return files;
}

} // namespace

MidiMapStore::MidiMapStore(std::string mapsFolder, std::vector<std::string> presetFolders)
    : mapsFolder_(std::move(mapsFolder)), presetFolders_(std::move(presetFolders)) {}

MidiMapStore MidiMapStore::forThisProgram() {
    const std::string config = configFolder();
    std::vector<std::string> presets;
    const std::string beside = executableFolder();
    if (!beside.empty()) presets.push_back(beside + "/mappings");
    presets.push_back(std::string(VYN_INSTALL_DATADIR) + "/vyn/mappings");
    return MidiMapStore(config.empty() ? std::string() : config + "/midimaps", std::move(presets));
}

std::string MidiMapStore::safeFileName(std::string_view device) {
    std::string out;
    for (std::size_t i = 0; i < device.size(); ++i) {
        const auto c = static_cast<unsigned char>(device[i]);
        if (plainByte(c) && !(i == 0 && c == '.')) {
            out += static_cast<char>(c);
            continue;
        }
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        out += escaped;
    }
    if (out.empty()) out = "%00";
    return out;
}

std::string MidiMapStore::pathFor(std::string_view device) const {
    return mapsFolder_ + "/" + safeFileName(device) + std::string(kExtension);
}

std::optional<std::string> MidiMapStore::load(std::string_view device) const {
    if (mapsFolder_.empty()) return std::nullopt;
    FileReadResult r = readWholeFile(pathFor(device), kMaxMappingBytes);
    if (!r.ok) return std::nullopt;
    return std::move(r.data);
}

bool MidiMapStore::save(std::string_view device, std::string_view text) {
    lastError_.clear();
    if (mapsFolder_.empty()) {
        lastError_ = "No folder for MIDI mappings.";
        return false;
    }
    const std::string path = pathFor(device);
    std::error_code ec;
    if (text.empty()) {
        fs::remove(pathFromUtf8(path), ec);
        if (ec) lastError_ = "Could not delete the saved mapping.";
        return !ec;
    }
    fs::create_directories(pathFromUtf8(mapsFolder_), ec);
    std::string error;
    if (!writeFileAtomically(path, text, &error)) {
        lastError_ = error;
        return false;
    }
    return true;
}

std::vector<MidiMapping> MidiMapStore::savedMappings() const {
    std::vector<MidiMapping> mappings;
    if (mapsFolder_.empty()) return mappings;
    for (const fs::path& file : mappingFiles(mapsFolder_)) {
        const FileReadResult text = readWholeFile(utf8FromPath(file), kMaxMappingBytes);
        MidiMapping mapping;
        if (text.ok && readMidiMapping(text.data, mapping).ok && !mapping.device.empty())
            mappings.push_back(std::move(mapping));
    }
    return mappings;
}

std::vector<std::string> MidiMapStore::presetNames() const {
    std::vector<std::string> names;
    for (const std::string& folder : presetFolders_)
        for (const fs::path& file : mappingFiles(folder))
            names.push_back(utf8FromPath(file.stem()));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::optional<std::string> MidiMapStore::presetPath(std::string_view name) const {
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..")
        return std::nullopt;
    for (const std::string& folder : presetFolders_) {
        const std::string path = folder + "/" + std::string(name) + std::string(kExtension);
        if (fileExists(path)) return path;
    }
    return std::nullopt;
}

} // namespace vyn
