#include "library/LibraryJobs.h"

#include "library/Catalogue.h"
#include "library/MissingTracks.h"
#include "library/MusicFolderImport.h"
#include "library/UsbImport.h"
#include "library/XmlImport.h"
#include "support/FileIo.h"

#include <filesystem>
#include <system_error>

namespace vyn {
namespace {

bool isRegularFile(const std::string& utf8) {
    std::error_code ec;
    return std::filesystem::is_regular_file(pathFromUtf8(utf8), ec);
}

bool isFolder(const std::string& utf8) {
    std::error_code ec;
    return std::filesystem::is_directory(pathFromUtf8(utf8), ec);
}

bool savesDrives(LibraryJobKind kind) {
    return kind == LibraryJobKind::ImportUsb || kind == LibraryJobKind::ImportXml ||
           kind == LibraryJobKind::AddMusicFolder;
}

std::string failureText(const ImportResult& r) {
    return r.error.empty() ? std::string(library_text::kImportFailed) : r.error;
}

} // namespace

LibraryJobRunner::LibraryJobRunner(Catalogue& catalogue, MissingTracks& missing)
    : catalogue_(catalogue), missing_(missing) {}

LibraryJobRunner::~LibraryJobRunner() = default;

LibraryJobOutcome LibraryJobRunner::run(LibraryJobKind kind, const std::string& path,
                                        const SavedDrives& saved, LibraryJobProgress* progress,
                                        const std::atomic<bool>* cancel) {
    LibraryJobOutcome out;
    out.kind = kind;
    out.saved = saved;
    if (kind == LibraryJobKind::Relink) {
        out.relink = relinkCatalogue(catalogue_, missing_, relink_, true, cancel);
        out.message = relinkReport(out.relink);
        return out;
    }
    if (kind == LibraryJobKind::Forget) {
        out.saved = SavedDrives{};
        out.savedChanged = true; // written empty even when already empty: the values go
        out.message = library_text::kForgotten;
        return out;
    }

    std::vector<std::string> roots, xmls;
    if (kind == LibraryJobKind::Reopen) {
        roots = saved.roots;
        xmls = saved.xml;
    } else if (kind == LibraryJobKind::ImportXml) {
        xmls.push_back(path);
    } else {
        roots.push_back(path);
    }

    ImportResult last;
    bool drivesMissing = false;
    bool musicFailed = false;
    for (const std::string& root : roots) {
        relink_.addFolder(root);
        bool attempted = false;
        const bool ok = importRoot(kind, root, last, progress, cancel, attempted);
        if (attempted && ok) out.tracks += last.counts.tracks;
        if (attempted && !ok) {
            drivesMissing = true;
            if (kind == LibraryJobKind::AddMusicFolder) musicFailed = true;
        }
        if (savesDrives(kind)) appendUnique(out.saved.roots, root);
    }
    for (const std::string& xml : xmls) {
        last = importXmlFile(catalogue_, xml);
        if (!last.ok) continue;
        out.tracks += last.counts.tracks;
        graft(true);
        if (savesDrives(kind)) appendUnique(out.saved.xml, xml);
    }
    if (kind == LibraryJobKind::Reopen || kind == LibraryJobKind::AddMusicFolder)
        out.relink = relinkCatalogue(catalogue_, missing_, relink_, true, cancel);
    out.savedChanged = !(out.saved == saved);

    switch (kind) {
    case LibraryJobKind::ImportUsb:
    case LibraryJobKind::ImportXml:
        out.message = last.ok ? importReport(last.counts) : failureText(last);
        break;
    case LibraryJobKind::AddMusicFolder:
        // A folder that could not be read is not reported as added.
        out.message = musicFailed ? failureText(last) : library_text::kMusicFolderAdded;
        break;
    default:
        if (saved.empty())
            out.message.clear();
        else if (out.tracks == 0)
            out.message = library_text::kNotConnected;
        else
            out.message = "reopened " + std::to_string(out.tracks) + " tracks" +
                          (drivesMissing ? library_text::kSomeMissing : "");
        break;
    }
    return out;
}

// A root with a stick database (or any root of a stick import) is imported as a stick; another
// folder that exists, when reopening or adding a music folder, as a music folder. A root that is
// not there is skipped: an unplugged drive is not an import that failed.
bool LibraryJobRunner::importRoot(LibraryJobKind kind, const std::string& root, ImportResult& last,
                                  LibraryJobProgress* progress, const std::atomic<bool>* cancel,
                                  bool& attempted) {
    attempted = false;
    const std::string database = trimStickRoot(root) + "/PIONEER/rekordbox/export.pdb";
    if (isRegularFile(database) || kind == LibraryJobKind::ImportUsb) {
        attempted = true;
        last = importUsbStick(catalogue_, root);
        if (last.ok) graft(true);
        return last.ok;
    }
    if (kind != LibraryJobKind::Reopen && kind != LibraryJobKind::AddMusicFolder) return false;
    if (!isFolder(root) && kind == LibraryJobKind::Reopen) {
        forgetMusicFolder(root);
        return false;
    }
    attempted = true;
    if (progress) {
        progress->done.store(0);
        progress->total.store(0);
    }
    MusicFolderImport music = importMusicFolder(
        catalogue_, root,
        [progress](std::size_t done, std::size_t total) {
            if (!progress) return;
            progress->total.store(total, std::memory_order_relaxed);
            progress->done.store(done, std::memory_order_relaxed);
        },
        cancel);
    last = music.result;
    if (!last.ok) return false;
    forgetMusicFolder(root);
    music_.emplace_back(root, std::move(music.playlists));
    graft(false);
    return true;
}

void LibraryJobRunner::forgetMusicFolder(const std::string& root) {
    for (auto it = music_.begin(); it != music_.end(); ++it)
        if (it->first == root) {
            music_.erase(it);
            graft(false);
            return;
        }
}

void LibraryJobRunner::graft(bool treeReplaced) {
    if (treeReplaced) grafted_ = false;
    std::vector<PlaylistNode> playlists;
    for (const auto& [root, lists] : music_)
        playlists.insert(playlists.end(), lists.begin(), lists.end());
    if (playlists.empty() && !grafted_) return;
    const bool replace = grafted_;
    grafted_ = !playlists.empty();
    PlaylistNode previous;
    std::lock_guard<std::mutex> lock(catalogue_.mutex());
    PlaylistNode tree = catalogue_.replaceRoot(PlaylistNode{});
    graftMusicFolders(tree, std::move(playlists), replace);
    previous = catalogue_.replaceRoot(std::move(tree));
}

// --- the job thread ---

LibraryJobs::LibraryJobs(Catalogue& catalogue, MissingTracks& missing)
    : runner_(catalogue, missing) {}

LibraryJobs::~LibraryJobs() {
    shutdown();
}

LibraryJobs::Start LibraryJobs::start(LibraryJobKind kind, std::string path, SavedDrives saved,
                                      std::function<void()> done) {
    if (shuttingDown_.load()) return Start::ShuttingDown;
    if (busy_.exchange(true, std::memory_order_acq_rel)) return Start::Busy;
    if (thread_.joinable()) thread_.join(); // collected already; joined here if not
    finished_.store(false);
    kind_.store(static_cast<std::uint8_t>(kind));
    progress_.done.store(0);
    progress_.total.store(0);
    try {
        thread_ = std::thread(
            [this, kind, path = std::move(path), saved = std::move(saved), done = std::move(done)] {
                outcome_ = runner_.run(kind, path, saved, &progress_, &shuttingDown_);
                finished_.store(true, std::memory_order_release);
                if (!shuttingDown_.load() && done) done();
            });
    } catch (const std::system_error&) {
        busy_.store(false);
        return Start::NoThread;
    }
    return Start::Started;
}

bool LibraryJobs::collect(LibraryJobOutcome& out) {
    if (!finished_.load(std::memory_order_acquire)) return false;
    if (thread_.joinable()) thread_.join();
    out = std::move(outcome_);
    outcome_ = LibraryJobOutcome{};
    finished_.store(false);
    busy_.store(false, std::memory_order_release);
    return true;
}

void LibraryJobs::shutdown() {
    shuttingDown_.store(true);
    if (thread_.joinable()) thread_.join();
}

std::string LibraryJobs::progressText() const {
    if (!busy() || finished()) return {};
    const std::uint64_t total = progress_.total.load(std::memory_order_relaxed);
    const std::uint64_t done = progress_.done.load(std::memory_order_relaxed);
    if (total > 0 && done < total)
        return "Reading tags: " + std::to_string(done) + " of " + std::to_string(total) +
               " files\xE2\x80\xA6";
    return kind_.load() == static_cast<std::uint8_t>(LibraryJobKind::Reopen)
               ? library_text::kReopening
               : library_text::kWorking;
}

} // namespace vyn
