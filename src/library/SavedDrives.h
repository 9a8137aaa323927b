#pragma once
// The drives the library remembers, so that the next start rebuilds the catalogue by itself:
// `libraryRoots` (stick roots and music folders, in the order they were first added) and
// `libraryXml` (XML collections imported successfully). Each is a settings list with one path per
// entry, order kept, no duplicates (exact bytes); writing an empty list removes the value.
//
// Threading: a plain value; read and written on the user-interface thread, which owns the
// settings store.

#include <string>
#include <vector>

namespace vyn {

class SettingsStore;

namespace setting_names {
inline constexpr const char* kLibraryRoots = "libraryRoots";
inline constexpr const char* kLibraryXml = "libraryXml";
} // namespace setting_names

struct SavedDrives {
    std::vector<std::string> roots;
    std::vector<std::string> xml;

    bool empty() const { return roots.empty() && xml.empty(); }
    bool operator==(const SavedDrives&) const = default;

    // Both lists; empty entries and repeats of an earlier entry are dropped.
    static SavedDrives read(const SettingsStore& store);
    // Writes both lists (an empty one removes its value). False when the store could not write.
    bool write(SettingsStore& store) const;
};

// Appends `path` unless it is empty or already listed; true when it was appended.
bool appendUnique(std::vector<std::string>& list, const std::string& path);

} // namespace vyn
