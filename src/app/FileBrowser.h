#pragma once
// The in-app file browser's logic: a folder's subfolders and the files the filter shows (audio
// files for the Load button; XML collections or every file for the library's file dialog; none
// for its folder picker), moving between folders, and the path field (a typed path to a file
// picks it; to a folder opens it, or picks it in the folder picker).
//
// Threading: user-interface thread only.

#include <string>
#include <string_view>
#include <vector>

namespace vyn {

enum class FileFilter { Audio, Xml, All, Folders };

struct BrowserEntry {
    std::string name;
    bool folder = false;
};

class FileBrowser {
public:
    // The audio patterns of the Load button (case-insensitive).
    static constexpr const char* kPatterns = "*.wav;*.aif;*.aiff;*.mp3;*.flac;*.m4a;*.aac";
    static bool isAudioFile(std::string_view name);
    static bool isXmlFile(std::string_view name);

    // Takes effect at the next open().
    void setFilter(FileFilter filter) { filter_ = filter; }
    FileFilter filter() const { return filter_; }

    // Lists `folder` (falling back to the home folder, then "/", when it cannot be read).
    void open(const std::string& folder);
    const std::string& folder() const { return folder_; }
    // Folders first, then files, each sorted by name; hidden entries are left out.
    const std::vector<BrowserEntry>& entries() const { return entries_; }

    // An entry of the list: a folder opens (".." goes up); a file is picked and returned.
    std::string choose(const BrowserEntry& entry);
    void up();

    // The path field: a file the filter shows (absolute, or relative to the folder shown) is
    // picked and returned; a folder opens (in the folder picker it is picked); anything else sets
    // error() and returns empty.
    std::string submit(const std::string& typed);
    const std::string& error() const { return error_; }

private:
    bool shows(std::string_view name) const;

    FileFilter filter_ = FileFilter::Audio;
    std::string folder_;
    std::vector<BrowserEntry> entries_;
    std::string error_;
};

} // namespace vyn
