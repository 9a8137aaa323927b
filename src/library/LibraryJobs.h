#pragma once
// Library jobs: the slow library work, one job at a time on a thread of its own, so the decks
// keep playing and the window keeps browsing meanwhile. The kinds: reopen the saved drives (at
// start), import a stick, import an XML collection, add a music folder, relink, forget the saved
// drives. A job reads and parses files without the catalogue lock and takes it only to merge, in
// short turns.
//
// The saved lists belong to the settings, which the user-interface thread owns: a job receives a
// copy when it starts and hands the updated lists back with its outcome, for that thread to
// write.
//
// Threading: start(), collect(), shutdown() and the destructor on the user-interface thread; the
// job runs on its own thread and reports through the `done` callback (from that thread), then
// waits to be collected. busy(), finished() and progressText() may be called from any thread.
// LibraryJobRunner is what the thread runs, usable directly by one thread at a time.

#include "library/ImportCounts.h"
#include "library/RelinkIndex.h"
#include "library/RelinkPass.h"
#include "library/SavedDrives.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vyn {

class Catalogue;
class MissingTracks;
struct PlaylistNode;

enum class LibraryJobKind : std::uint8_t {
    Reopen = 0,
    ImportUsb = 1,
    ImportXml = 2,
    AddMusicFolder = 3,
    Relink = 4,
    Forget = 5
};

namespace library_text {
inline constexpr const char* kBusy = "A library job is already running.";
inline constexpr const char* kReopening = "reopening saved drives\xE2\x80\xA6";
inline constexpr const char* kWorking = "working\xE2\x80\xA6";
inline constexpr const char* kImportFailed = "Import failed.";
inline constexpr const char* kMusicFolderAdded = "Music folder added and collection relinked.";
inline constexpr const char* kNotConnected = "the saved drive is not connected";
inline constexpr const char* kSomeMissing = " \xE2\x80\x94 some drives were missing";
inline constexpr const char* kNoThread = "The library job could not start.";
inline constexpr const char* kForgotten =
    "saved drives forgotten \xE2\x80\x94 import again to restore the catalogue";
} // namespace library_text

struct LibraryJobOutcome {
    LibraryJobKind kind = LibraryJobKind::Reopen;
    std::string message; // for the status line; empty: nothing to say
    SavedDrives saved;   // the lists after the job
    bool savedChanged = false;
    std::uint64_t tracks = 0; // tracks imported in all
    RelinkResult relink;      // when the job relinked
};

// Files whose tags were read, of all, while a music folder is imported.
struct LibraryJobProgress {
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
};

class LibraryJobRunner {
public:
    LibraryJobRunner(Catalogue& catalogue, MissingTracks& missing);
    ~LibraryJobRunner();

    // Runs one job to its end. `saved` are the lists as they stand.
    LibraryJobOutcome run(LibraryJobKind kind, const std::string& path, const SavedDrives& saved,
                          LibraryJobProgress* progress = nullptr,
                          const std::atomic<bool>* cancel = nullptr);

    const RelinkIndex& relinkIndex() const { return relink_; }

private:
    // Imports one root; `attempted` false when it was skipped (no database where one is needed,
    // or an unplugged drive). True when the import succeeded.
    bool importRoot(LibraryJobKind kind, const std::string& root, ImportResult& last,
                    LibraryJobProgress* progress, const std::atomic<bool>* cancel, bool& attempted);
    void forgetMusicFolder(const std::string& root);
    // Re-attaches the "Music folders" node after an import replaced the tree, or after a music
    // folder changed.
    void graft(bool treeReplaced);

    Catalogue& catalogue_;
    MissingTracks& missing_;
    RelinkIndex relink_;
    std::vector<std::pair<std::string, std::vector<PlaylistNode>>> music_; // per root, in order
    bool grafted_ = false; // the catalogue's tree ends with our node
};

class LibraryJobs {
public:
    enum class Start { Started, Busy, ShuttingDown, NoThread };

    LibraryJobs(Catalogue& catalogue, MissingTracks& missing);
    ~LibraryJobs();
    LibraryJobs(const LibraryJobs&) = delete;
    LibraryJobs& operator=(const LibraryJobs&) = delete;

    // Starts a job unless one is running (Busy) or shutdown() was called (NoThread when the
    // system refused a thread). `done` is called on the
    // job's thread when it has finished, unless shutting down.
    Start start(LibraryJobKind kind, std::string path, SavedDrives saved,
                std::function<void()> done);
    bool busy() const { return busy_.load(std::memory_order_acquire); }
    // The running job has ended and waits for collect().
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Joins a finished job, clears the busy flag and returns its outcome; false while a job runs
    // or when there is nothing to collect.
    bool collect(LibraryJobOutcome& out);
    // Refuses new jobs, asks a running one to stop early and joins it. Its outcome stays
    // collectable.
    void shutdown();

    // "reopening saved drives…" or "working…" while a job runs, or the tag reading progress
    // ("Reading tags: 120 of 2000 files…"); empty when idle.
    std::string progressText() const;

private:
    LibraryJobRunner runner_;
    std::thread thread_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> shuttingDown_{false};
    std::atomic<std::uint8_t> kind_{0};
    LibraryJobProgress progress_;
    LibraryJobOutcome outcome_; // written by the job before finished_ is set
};

} // namespace vyn
