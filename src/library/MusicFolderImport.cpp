#include "library/MusicFolderImport.h"

#include "audio/AudioTags.h"
#include "library/CatalogueMerge.h"
#include "support/FileIo.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

namespace vyn {
namespace fs = std::filesystem;
namespace {

// Deeper trees than this are not music libraries; the bound keeps the walk's stack small.
constexpr std::size_t kMaxDepth = 64;

class Walk {
public:
    Walk(std::size_t limit, const std::atomic<bool>* cancel) : limit_(limit), cancel_(cancel) {}

    void folder(const fs::path& dir, const std::string& playlist, std::size_t depth) {
        if (stopped() || depth > kMaxDepth) return;
        std::error_code ec;
        const fs::path real = fs::canonical(dir, ec);
        if (ec || !walked_.insert(utf8FromPath(real)).second) return;
        std::vector<std::pair<std::string, fs::path>> files, folders;
        for (fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const std::string name = utf8FromPath(it->path().filename());
            if (name.empty() || name[0] == '.') continue;
            std::error_code typeError; // is_directory/is_regular_file follow links
            if (it->is_directory(typeError))
                folders.emplace_back(name, it->path());
            else if (it->is_regular_file(typeError) && isMusicFileName(name))
                files.emplace_back(name, it->path());
        }
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        for (const auto& [name, path] : files) {
            if (stopped()) return;
            std::error_code linkError;
            const fs::path target = fs::canonical(path, linkError);
            if (linkError || !listed_.insert(utf8FromPath(target)).second) continue;
            out.push_back({utf8FromPath(path), playlist});
        }
        for (const auto& [name, path] : folders)
            folder(path, playlist + "/" + name, depth + 1);
    }

    std::vector<MusicFile> out;

private:
    bool stopped() const {
        return out.size() >= limit_ || (cancel_ && cancel_->load(std::memory_order_relaxed));
    }

    std::size_t limit_;
    const std::atomic<bool>* cancel_;
    std::set<std::string> walked_; // canonical folders
    std::set<std::string> listed_; // canonical files
};

std::string rootName(const std::string& root) {
    const fs::path p = pathFromUtf8(root).lexically_normal();
    std::string name = utf8FromPath(p.filename());
    if (name.empty()) name = utf8FromPath(p.parent_path().filename());
    return name.empty() ? root : name;
}

std::string stemOf(const std::string& path) {
    return utf8FromPath(pathFromUtf8(path).stem());
}

} // namespace

bool isMusicFileName(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    std::string ext(name.substr(dot + 1));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const char* e :
         {"wav", "wave", "aif", "aiff", "aifc", "mp3", "flac", "m4a", "aac", "ogg", "oga"})
        if (ext == e) return true;
    return false;
}

std::vector<MusicFile> listMusicFiles(const std::string& root, std::size_t limit,
                                      const std::atomic<bool>* cancel) {
    Walk walk(limit, cancel);
    walk.folder(pathFromUtf8(root), rootName(root), 0);
    return std::move(walk.out);
}

CatalogueTrack musicTrack(const std::string& path, const AudioTags& tags) {
    CatalogueTrack t;
    t.title = tags.title.empty() ? stemOf(path) : tags.title;
    t.artist = tags.artist;
    t.album = tags.album;
    t.genre = tags.genre;
    t.key = tags.key;
    t.path = path;
    t.bpm = tags.bpm;
    t.duration = tags.duration;
    t.sampleRate = tags.sampleRate;
    t.bitRate = tags.bitRate;
    t.year = tags.year;
    return t;
}

MusicFolderImport importMusicFolder(Catalogue& catalogue, const std::string& root,
                                    const MusicFolderProgress& progress,
                                    const std::atomic<bool>* cancel) {
    MusicFolderImport out;
    std::error_code ec;
    if (!fs::is_directory(pathFromUtf8(root), ec)) {
        out.result.error = "could not open " + root;
        return out;
    }
    const std::vector<MusicFile> files = listMusicFiles(root, kMusicFolderFileLimit, cancel);
    std::vector<CatalogueTrack> records;
    std::vector<const MusicFile*> sources;
    records.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (cancel && cancel->load(std::memory_order_relaxed)) break;
        const AudioTags tags = readAudioTags(files[i].path);
        if (tags.ok) {
            records.push_back(musicTrack(files[i].path, tags));
            sources.push_back(&files[i]);
        }
        if (progress) progress(i + 1, files.size());
    }
    const std::vector<std::uint32_t> ids = addTracksInTurns(catalogue, records);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::string& name = sources[i]->playlist;
        if (out.playlists.empty() || out.playlists.back().name != name) {
            PlaylistNode playlist;
            playlist.name = name;
            playlist.folder = false;
            out.playlists.push_back(std::move(playlist));
        }
        out.playlists.back().trackIds.push_back(ids[i]);
    }
    ImportCounts& counts = out.result.counts;
    counts.tracks = ids.size();
    counts.playlists = out.playlists.size();
    out.result.ok = true;
    return out;
}

void graftMusicFolders(PlaylistNode& root, std::vector<PlaylistNode> playlists, bool replaceLast) {
    if (replaceLast && !root.children.empty()) root.children.pop_back();
    if (playlists.empty()) return;
    PlaylistNode node;
    node.name = kMusicFoldersNode;
    node.folder = true;
    node.children = std::move(playlists);
    root.children.push_back(std::move(node));
}

} // namespace vyn
