#pragma once
// Import of a collection exported as XML: tracks with their tags, beat grids (tempo markers) and
// cue points, and the playlist tree. The file is read and parsed into an intermediate result and
// turned into catalogue records without the catalogue lock; the lock is taken only to merge, and
// only when the parse succeeded, so a failed import changes nothing.
//
// Threading: parseXmlCollection and buildXmlGrid are pure. importXmlFile may run on any thread; it
// takes the catalogue lock itself for the merge, so the caller must not hold it.

#include "engine/BeatGrid.h"
#include "library/ImportCounts.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

class Catalogue;

struct TempoMarker {
    double start = 0.0; // Inizio, seconds
    double bpm = 0.0;
    std::int32_t beat = 1;        // Battito: beat-in-bar of the beat at start
    std::int32_t beatsPerBar = 4; // from Metro
};

struct XmlMark {
    std::string name;
    std::int32_t type = 0;
    double start = 0.0;
    double end = -1.0; // -1 when absent
    std::int32_t number = -1;
};

struct XmlTrack {
    std::int32_t trackId = 0; // the key playlists refer to
    std::string title, artist, album, genre, label, key;
    std::string composer, remixer, comments; // read, not carried into the catalogue
    std::string path;                        // decoded Location
    double bpm = 0.0;
    double duration = 0.0;
    std::int64_t size = 0;
    std::int32_t sampleRate = 0, bitRate = 0, year = 0, rating = 0, playCount = 0;
    std::vector<TempoMarker> tempoMarkers; // document order
    std::vector<XmlMark> marks;            // document order
    BeatGrid grid;                         // built when the track element ends
};

struct XmlNode {
    std::string name;
    bool folder = true;
    // KeyType 0: TrackID keys. KeyType 1: the entries name their tracks by file location; the
    // decoded paths are kept instead.
    bool keyedByLocation = false;
    std::vector<std::int32_t> trackKeys;
    std::vector<std::string> trackLocations;
    std::vector<XmlNode> children;
};

struct XmlProduct {
    std::string name, version, company;
};

struct XmlImportResult {
    bool ok = false;
    std::string error;
    std::size_t errorOffset = 0; // byte offset of a reader error
    XmlProduct product;
    std::vector<XmlTrack> tracks;
    XmlNode root;
};

// Playlist folders may nest this deep; deeper folders are skipped with their contents (the rest
// of the file is kept) rather than risking the stack of every tree walk that follows.
constexpr std::size_t kMaxPlaylistDepth = 256;
// A grid stops growing at this many beats.
constexpr std::size_t kMaxGridBeats = 200000;

XmlImportResult parseXmlCollection(const char* data, std::size_t length);

// The beat grid a track's tempo markers describe, up to `duration` seconds.
BeatGrid buildXmlGrid(const std::vector<TempoMarker>& markers, double duration);

// Reads, parses and merges one XML collection file. On failure the catalogue is untouched.
ImportResult importXmlFile(Catalogue& catalogue, const std::string& path);
// The same for bytes already in memory.
ImportResult importXmlCollection(Catalogue& catalogue, const char* data, std::size_t length);

} // namespace vyn
