#pragma once
// Writes synthetic XML collection exports of any size, shaped like the real ones: every track
// attribute, constant and variable tempo grids, hot cues, memory cues, loops and load points,
// nested playlist folders (some playlists keyed by location), non-ASCII text with entity and
// character references, and percent-escaped file URLs. Alongside the XML it returns what the file
// says about tags, paths, cues and playlists, so an import can be checked against it (the beats a
// grid's markers stand for are the import's own rule, tested on their own).
//
// Deterministic: the same count and seed always give the same bytes.

#include "library/Catalogue.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn::test {

struct ExpectedTrack {
    std::int32_t xmlId = 0;
    std::string title, artist, album, genre, key;
    std::string path; // the decoded file-system path
    double bpm = 0.0;
    double duration = 0.0;
    std::vector<CueMark> cues;
};

struct ExpectedCollection {
    std::string xml;
    std::vector<ExpectedTrack> tracks;
    // The tree as the import into an empty catalogue builds it: ids are positions in `tracks` + 1.
    PlaylistNode root;
    std::size_t playlists = 0;
    std::size_t locationKeyedPlaylists = 0;
    std::size_t maxDepth = 0;
};

// `musicRoot` is the folder the track paths point into (it need not exist).
ExpectedCollection generateXmlCollection(std::size_t trackCount, std::uint64_t seed,
                                         const std::string& musicRoot);

} // namespace vyn::test
