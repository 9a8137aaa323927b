#pragma once
// The in-memory music library: one flat list of tracks in insertion order and one playlist tree.
// Importers add or update tracks (never remove them); ids start at 1, are dense, and never change,
// so a track's id is also its position in the list plus one.
//
// Threading: one exclusive mutex, the catalogue lock (mutex()), guards the catalogue and the data
// that lives beside it (the relink index). Every member function except mutex() and the static
// helpers requires the caller to hold it for the whole access. Readers copy what they need while
// holding it and do slow work (file access, decoding, drawing) after releasing it.

#include "engine/BeatGrid.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vyn {

struct CatalogueTrack {
    std::uint32_t id = 0; // assigned by Catalogue::addTrack; ignored on input
    std::string title;
    std::string artist;
    std::string album;
    std::string genre;
    std::string label;
    std::string key; // as the source writes it, not parsed
    std::string path;
    std::string relinkedPath; // replacement found by relinking; empty while the own path is used
    // Name a non-local source of the file; such tracks are never checked for existence or
    // relinked. Empty for tracks from local collections.
    std::string sourceId;
    std::string sourceKey;
    std::string analysisPath;
    double bpm = 0.0;      // average tempo; 0 when unknown
    double duration = 0.0; // seconds; 0 when unknown
    std::int32_t sampleRate = 0;
    std::int32_t bitRate = 0; // kbit/s
    std::int32_t year = 0;
    std::int32_t rating = 0;
    std::int32_t playCount = 0;
    BeatGrid grid;
    std::vector<CueMark> cues;

    // The relinked path when there is one, else the path.
    const std::string& effectivePath() const { return relinkedPath.empty() ? path : relinkedPath; }
    bool operator==(const CatalogueTrack&) const = default;
};

struct PlaylistNode {
    std::string name;
    bool folder = true;
    std::vector<std::uint32_t> trackIds; // playlist order; duplicates allowed
    std::vector<PlaylistNode> children;  // source order

    bool operator==(const PlaylistNode&) const = default;
};

class Catalogue {
public:
    Catalogue() = default;
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    std::mutex& mutex() const { return mutex_; }

    // Adds `record` or, when a track with the same non-empty path, source id and source key
    // exists, replaces that track's whole contents in place (relinked path included) and keeps
    // its id. Returns the track's id. Records with an empty path are always appended.
    std::uint32_t addTrack(CatalogueTrack record);
    // Room for adding many tracks at once: larger indexes, made by makeRoom() without the lock
    // (fresh memory is slow to come by), then moved into with the lock held by reserve(), which
    // moves what the catalogue holds into them without allocating and hands the old buffers back
    // in the room, to be freed after the lock. Adding the tracks then never grows an index while
    // readers wait.
    struct Room {
        std::string searchText;
        std::vector<std::size_t> searchStart;
        std::unordered_multimap<std::uint64_t, std::uint32_t> identity;
    };
    // For `tracks` tracks in all, whose searchable fields take `searchBytes` (searchBytes()).
    static Room makeRoom(std::size_t tracks, std::size_t searchBytes);
    void reserve(Room& room);
    // The bytes a track adds to the search text.
    static std::size_t searchBytes(const CatalogueTrack& track);
    std::size_t searchTextSize() const { return searchText_.size(); }

    // The track with this id, or null (0 and unknown ids).
    const CatalogueTrack* trackById(std::uint32_t id) const;
    // Sets the relinked path of a track; false when the id is unknown.
    bool setRelinkedPath(std::uint32_t id, std::string path);

    const std::deque<CatalogueTrack>& tracks() const { return tracks_; }
    std::size_t size() const { return tracks_.size(); }
    std::uint32_t nextId() const { return static_cast<std::uint32_t>(tracks_.size() + 1); }

    const PlaylistNode& root() const { return root_; }
    // Installs a new playlist tree and hands back the old one, so the caller can free it after
    // releasing the lock.
    PlaylistNode replaceRoot(PlaylistNode root) {
        std::swap(root_, root);
        return root;
    }

    // The node's tracks in order; ids without a track are skipped.
    std::vector<const CatalogueTrack*> playlistTracks(const PlaylistNode& node) const;

    // Tracks whose title, artist, album or genre contains `query` (ASCII case-insensitive;
    // bytes of multi-byte characters compare exactly), in catalogue order, at most `limit`.
    std::vector<const CatalogueTrack*> search(std::string_view query, std::size_t limit) const;

    // "Artist - Title", the title alone, else the file name from the path, else "(untitled)".
    static std::string displayName(const CatalogueTrack& track);
    // Seconds where the track starts: the first load point, else the first memory cue, else 0.
    static double startPosition(const CatalogueTrack& track);
    // True when the UTF-8 path names an existing file-system entry. Needs no lock.
    static bool fileExists(const std::string& path);

private:
    static std::uint64_t identityHash(const CatalogueTrack& t);
    void appendSearchText(const CatalogueTrack& t);
    void rebuildSearchText() const;

    mutable std::mutex mutex_;
    // A deque: growing never moves the tracks already held, so adding one under the lock takes
    // the same short time at 100,000 tracks as at 10 (a vector would move them all at each
    // doubling, holding every reader off meanwhile).
    std::deque<CatalogueTrack> tracks_;
    PlaylistNode root_;
    // Identity index: hash of (source id, source key, path) -> positions with that hash.
    std::unordered_multimap<std::uint64_t, std::uint32_t> identity_;

    // Lower-cased searchable fields of every track, each track's four fields followed by a NUL;
    // searchStart_[i] is where track i begins. Rebuilt lazily after an in-place update.
    mutable std::string searchText_;
    mutable std::vector<std::size_t> searchStart_;
    mutable std::array<std::uint32_t, 256> byteCounts_{}; // of searchText_, to pick an anchor
    mutable bool searchStale_ = false;
};

} // namespace vyn
