#include "library/SavedDrives.h"

#include "support/SettingsStore.h"

#include <algorithm>

namespace vyn {
namespace {

std::vector<std::string> readList(const SettingsStore& store, const char* key) {
    std::vector<std::string> out;
    for (const std::string& path : store.list(key))
        appendUnique(out, path);
    return out;
}

} // namespace

bool appendUnique(std::vector<std::string>& list, const std::string& path) {
    if (path.empty() || std::find(list.begin(), list.end(), path) != list.end()) return false;
    list.push_back(path);
    return true;
}

SavedDrives SavedDrives::read(const SettingsStore& store) {
    return {readList(store, setting_names::kLibraryRoots),
            readList(store, setting_names::kLibraryXml)};
}

bool SavedDrives::write(SettingsStore& store) const {
    const bool rootsWritten = store.setList(setting_names::kLibraryRoots, roots);
    const bool xmlWritten = store.setList(setting_names::kLibraryXml, xml);
    return rootsWritten && xmlWritten;
}

} // namespace vyn
