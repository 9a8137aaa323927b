#pragma once
// Stages tracks that live on removable or optical drives on the local disk before they are
// decoded, so a slow stick (or one sharing its USB bus with the audio interface) cannot stall a
// load during a performance. A file with an identity (path, size, write time) goes to a
// persistent cache folder, where it stays for later loads; one without (size 0 or unreadable)
// gets a one-shot copy that the loader deletes after decoding. Files on fixed drives are used in
// place.
//
// Threading: stage, setCacheFolder, cacheFolder and setBusHook may be called from any thread; one
// mutex serialises folder set-up, hits and pruning. Copies run outside the mutex, so loads of
// different tracks copy side by side (two loads of the same track each copy to a temporary name
// and rename, the later one replacing the earlier with identical content).

#include "library/DriveClassifier.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vyn {

struct StageResult {
    bool ok = false;
    std::string path;     // the file to decode: the source itself, a cache entry or a copy
    bool oneShot = false; // the copy is the caller's to delete after use
    bool copied = false;  // this call copied the file (a miss or a one-shot copy)
};

class UsbTrackCache {
public:
    static constexpr std::size_t kMaxEntries = 128;
    static constexpr std::uint64_t kMaxBytes = 2147483648ull;
    // Copy pacing for drives that may share the audio interface's bus.
    static constexpr std::size_t kPacedChunk = 16384;
    static constexpr int kPacedPauseMs = 4;
    static constexpr std::size_t kFastChunk = 262144;

    explicit UsbTrackCache(std::unique_ptr<IDriveClassifier> classifier);
    UsbTrackCache(const UsbTrackCache&) = delete;
    UsbTrackCache& operator=(const UsbTrackCache&) = delete;

    // Uses `folder` (created here) for the persistent cache; false, and no folder, when it cannot
    // be created. Without a folder the first miss falls back to "vyn-usb-cache" in the system
    // temporary folder.
    bool setCacheFolder(const std::string& folder);
    std::string cacheFolder() const;

    // Predicate: true when the drive of a path shares its USB bus with the audio output. Without
    // one every removable drive counts as sharing, so all its copies are paced.
    void setBusHook(std::function<bool(const std::string& path)> hook);

    // True when `path` lives on a removable or optical drive.
    bool needsStaging(const std::string& path) const;

    StageResult stage(const std::string& source);

    // 64-bit identity of a file from its path, size and write time; false when the size is 0 or
    // cannot be read.
    static bool fileKey(const std::string& path, std::uint64_t& key);
    // "vyn-" + 16 lower-case hex digits + the source's extension (from its last ".").
    static std::string entryName(std::uint64_t key, const std::string& source);

private:
    std::string readyFolder(); // mutex held
    void prune(const std::string& folder, const std::string& keep);
    StageResult stageOneShot(const std::string& source, bool paced);

    std::unique_ptr<IDriveClassifier> classifier_;
    mutable std::mutex mutex_;
    std::string folder_;
    std::function<bool(const std::string&)> busHook_;
};

} // namespace vyn
