#include "dsp/StemModels.h"

#include "support/FileIo.h"
#include "support/Sha256.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <vector>

namespace vyn {
namespace {

namespace fs = std::filesystem;

struct ModelEntry {
    std::string name;
    std::uint64_t bytes = 0;
    std::string sha256;
};

struct Registry {
    std::mutex mutex;
    std::string folder;
    std::vector<ModelEntry> models; // registration order; names are unique
};

Registry& registry() {
    static Registry r;
    return r;
}

std::string joinModelPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name + ".vynmodel";
    const char last = folder.back();
    return folder + (last == '/' || last == '\\' ? "" : "/") + name + ".vynmodel";
}

// Looks the name up; false when unknown.
bool lookUp(const std::string& name, ModelEntry& entry, std::string& path) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const ModelEntry& m : r.models) {
        if (m.name != name) continue;
        entry = m;
        path = joinModelPath(r.folder, name);
        return true;
    }
    return false;
}

std::string digestOfFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    Sha256 sha;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        sha.update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return {};
    return Sha256::hex(sha.finish());
}

} // namespace

void setStemModelsFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    registry().folder = folder;
}

std::string stemModelsFolder() {
    std::lock_guard<std::mutex> lock(registry().mutex);
    return registry().folder;
}

void registerStemModel(const std::string& name, std::uint64_t bytes, const std::string& sha256) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (ModelEntry& m : r.models) {
        if (m.name == name) {
            m.bytes = bytes;
            m.sha256 = sha256;
            return;
        }
    }
    r.models.push_back({name, bytes, sha256});
}

void clearStemModels() {
    std::lock_guard<std::mutex> lock(registry().mutex);
    registry().models.clear();
}

std::string stemModelPath(const std::string& name) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    return joinModelPath(registry().folder, name);
}

StemModelStatus checkStemModel(const std::string& name, bool verifyDigest) {
    ModelEntry entry;
    std::string path;
    if (!lookUp(name, entry, path)) return StemModelStatus::Unknown;
    const fs::path file = pathFromUtf8(path);
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (ec || !fs::exists(status)) return StemModelStatus::Missing;
    if (!fs::is_regular_file(status)) return StemModelStatus::NotAFile;
    const std::uint64_t size = fs::file_size(file, ec);
    if (ec || size != entry.bytes) return StemModelStatus::WrongSize;
    if (!verifyDigest) return StemModelStatus::Present;
    const std::string digest = digestOfFile(file);
    return !digest.empty() && !entry.sha256.empty() && digest == entry.sha256
               ? StemModelStatus::Present
               : StemModelStatus::WrongDigest;
}

std::string findStemModel() {
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> lock(registry().mutex);
        for (const ModelEntry& m : registry().models)
            names.push_back(m.name);
    }
    for (const std::string& name : names)
        if (checkStemModel(name, false) == StemModelStatus::Present) return name;
    return {};
}

std::string stemModelIdentity(const std::string& name) {
    if (checkStemModel(name, false) != StemModelStatus::Present) return {};
    ModelEntry entry;
    std::string path;
    if (!lookUp(name, entry, path)) return {};
    return path + " sha256:" + entry.sha256;
}

} // namespace vyn
