#pragma once
// Where saved sets live and how they are named: "%Y%m%d-%H%M%S" of the local creation time, with
// "-2", "-3", ... when that name is taken, in $XDG_DOCUMENTS_DIR/VYN/sets; $XDG_DATA_HOME/vyn/sets
// takes them when the sets folder cannot be written. The newest valid set is the one offered for
// replay at start.
//
// Threading: user-interface thread (plain file operations).

#include "engine/SetReplay.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vyn::set_files {

std::string setsFolder();
std::string fallbackSetsFolder();

// The creation time as a file stem: "20240102-134501".
std::string stemFor(std::int64_t createdAtMillis);

// A file name (stem + extension) that must be free in a folder.
struct Place {
    std::string folder;
    std::string extension; // ".vynset", ".wav"
};
// The first of `stem`, `stem`-2, `stem`-3, ... that names no existing file in any of `places`.
std::string freeStem(const std::string& stem, const std::vector<Place>& places);

struct SaveResult {
    bool ok = false;
    std::string path;  // the file written
    std::string error; // why not, when !ok
};
// Creates `folder` when needed and writes the set as a free name from `stem` (temporary file,
// then rename).
SaveResult save(const SetReplay& set, const std::string& folder, const std::string& stem);

// The newest (by last write time) file of `folders` that reads as a set replay; invalid files are
// passed over.
std::optional<SetReplay> newestSet(const std::vector<std::string>& folders);

// "saved NAME (m:ss)" for a set written to `path`: the set's length is its last event's frame.
std::string savedMessage(const SetReplay& set, const std::string& path);

} // namespace vyn::set_files
