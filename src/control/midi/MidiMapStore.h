#pragma once
// Where mappings live on disk: one .vynmap per device in the user's maps folder
// ($XDG_CONFIG_HOME/vyn/midimaps), named after the device made safe as a file name, and the
// read-only presets, looked up folder by folder (mappings/ beside the executable, then the
// installed share/vyn/mappings).
//
// Device names become file names by percent-escaping every byte that is not a letter, digit,
// space, '-', '_', '.', '(' or ')' (and a leading '.'), so two names never share a file and no
// name climbs out of the folder.
//
// Threading: none of its own; the user-interface thread uses it.

#include "control/midi/MidiBinding.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

class MidiMapStore {
public:
    MidiMapStore(std::string mapsFolder, std::vector<std::string> presetFolders);

    // The folders a running program uses: the configuration folder's midimaps, and the presets
    // beside the executable and under the install prefix.
    static MidiMapStore forThisProgram();

    // The saved mapping text of `device`; nothing when there is none (or it cannot be read).
    std::optional<std::string> load(std::string_view device) const;
    // Writes the text atomically (creating the folder); an empty text deletes the device's file.
    bool save(std::string_view device, std::string_view text);

    // Every readable saved mapping that names its device, whatever its file is called: the
    // mappings installed at start, before the inputs open.
    std::vector<MidiMapping> savedMappings() const;

    // Preset names (file names without ".vynmap") of every folder, sorted by bytes, each once.
    std::vector<std::string> presetNames() const;
    // The path of the first folder's preset called `name`; nothing when no folder has it or the
    // name could leave the folder.
    std::optional<std::string> presetPath(std::string_view name) const;

    const std::string& lastError() const { return lastError_; }
    std::string pathFor(std::string_view device) const;
    static std::string safeFileName(std::string_view device);

private:
    std::string mapsFolder_;
    std::vector<std::string> presetFolders_;
    std::string lastError_;
};

} // namespace vyn
