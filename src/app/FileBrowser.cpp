#include "app/FileBrowser.h"

#include "support/FileIo.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace vyn {
namespace fs = std::filesystem;

namespace {

// Paths are UTF-8 strings everywhere else; path::string() and the std::string constructor would
// use the ANSI code page on Windows and mangle (or throw on) names outside it.
bool readableFolder(const fs::path& p) {
    std::error_code ec;
    fs::directory_iterator it(p, ec);
    return !ec;
}

std::string lowerExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string ext(name.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

bool FileBrowser::isAudioFile(std::string_view name) {
    const std::string ext = lowerExtension(name);
    for (const char* e : {"wav", "aif", "aiff", "mp3", "flac", "m4a", "aac"})
        if (ext == e) return true;
    return false;
}

bool FileBrowser::isXmlFile(std::string_view name) {
    return lowerExtension(name) == "xml";
}

bool FileBrowser::shows(std::string_view name) const {
    switch (filter_) {
    case FileFilter::Audio:
        return isAudioFile(name);
    case FileFilter::Xml:
        return isXmlFile(name);
    case FileFilter::All:
        return true;
    default:
        return false;
    }
}

void FileBrowser::open(const std::string& folder) {
    fs::path p = folder.empty() ? fs::path() : pathFromUtf8(folder);
    if (p.empty() || !readableFolder(p)) {
        const char* home = std::getenv("HOME");
        p = home && readableFolder(pathFromUtf8(home)) ? pathFromUtf8(home) : fs::path("/");
    }
    std::error_code ec;
    p = fs::weakly_canonical(p, ec);
    folder_ = utf8FromPath(p);
    entries_.clear();
    error_.clear();
    if (p.has_relative_path()) entries_.push_back({"..", true});
    std::vector<BrowserEntry> folders;
    std::vector<BrowserEntry> files;
    for (fs::directory_iterator it(p, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = utf8FromPath(it->path().filename());
        if (name.empty() || name[0] == '.') continue;
        std::error_code typeError;
        if (it->is_directory(typeError))
            folders.push_back({name, true});
        else if (shows(name))
            files.push_back({name, false});
    }
    auto byName = [](const BrowserEntry& a, const BrowserEntry& b) { return a.name < b.name; };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    entries_.insert(entries_.end(), folders.begin(), folders.end());
    entries_.insert(entries_.end(), files.begin(), files.end());
}

void FileBrowser::up() {
    open(utf8FromPath(pathFromUtf8(folder_).parent_path()));
}

std::string FileBrowser::choose(const BrowserEntry& entry) {
    if (entry.name == "..") {
        up();
        return {};
    }
    const std::string full = utf8FromPath(pathFromUtf8(folder_) / pathFromUtf8(entry.name));
    if (entry.folder) {
        open(full);
        return {};
    }
    return full;
}

std::string FileBrowser::submit(const std::string& typed) {
    if (typed.empty()) return {};
    fs::path p = pathFromUtf8(typed);
    if (p.is_relative()) p = pathFromUtf8(folder_) / p;
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
        if (filter_ == FileFilter::Folders) {
            error_.clear();
            return utf8FromPath(fs::weakly_canonical(p, ec));
        }
        open(utf8FromPath(p));
        return {};
    }
    if (!fs::is_regular_file(p, ec)) {
        error_ = filter_ == FileFilter::Folders ? "No such folder." : "No such file.";
        return {};
    }
    if (!shows(utf8FromPath(p.filename()))) {
        error_ = filter_ == FileFilter::Xml       ? "Not an XML file."
                 : filter_ == FileFilter::Folders ? "Not a folder."
                                                  : "Not an audio file VYN can load.";
        return {};
    }
    error_.clear();
    return utf8FromPath(p);
}

} // namespace vyn
