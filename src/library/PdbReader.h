#pragma once
// Reader of the paged database a stick export carries (PIONEER/rekordbox/export.pdb): tracks,
// artists, albums, genres, labels, keys, colours, the playlist tree and its entries. Defensive:
// every offset is checked against its page and the file, damaged pages and rows are skipped, and
// only the header checks are fatal.
//
// Threading: pure functions; any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace vyn {

struct PdbTrackRow {
    std::uint32_t id = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t composerId = 0;
    std::uint32_t fileSize = 0;
    std::uint32_t keyId = 0;
    std::uint32_t originalArtistId = 0;
    std::uint32_t labelId = 0;
    std::uint32_t remixerId = 0;
    std::uint32_t bitRate = 0;
    std::uint32_t trackNumber = 0;
    std::uint32_t tempo = 0; // bpm x 100
    std::uint32_t genreId = 0;
    std::uint32_t albumId = 0;
    std::uint32_t artistId = 0;
    std::uint16_t discNumber = 0;
    std::uint16_t playCount = 0;
    std::uint16_t year = 0;
    std::uint16_t duration = 0; // seconds
    std::uint8_t colourId = 0;
    std::uint8_t rating = 0;
    std::string dateAdded;
    std::string releaseDate;
    std::string mixName;
    std::string analysisPath;
    std::string comment;
    std::string title;
    std::string fileName;
    std::string filePath;
};

struct PdbPlaylist {
    std::uint32_t id = 0;
    std::uint32_t parentId = 0;
    std::uint32_t sortOrder = 0;
    bool folder = false;
    std::string name;
    std::vector<std::uint32_t> trackIds; // entry order
};

struct PdbDatabase {
    bool ok = false;
    std::string error;
    std::vector<PdbTrackRow> tracks; // file order
    // Id -> name; a later row with the same id replaces the name.
    std::unordered_map<std::uint32_t, std::string> artists, albums, genres, labels, keys, colours;
    // Sorted by (parent id, sort order) as signed numbers.
    std::vector<PdbPlaylist> playlists;
};

// Table types of the file's table pointers.
enum class PdbTable : std::uint32_t {
    Tracks = 0,
    Genres = 1,
    Artists = 2,
    Albums = 3,
    Labels = 4,
    Keys = 5,
    Colours = 6,
    PlaylistTree = 7,
    PlaylistEntries = 8,
};

// A database file larger than this is refused rather than read whole.
constexpr std::uint64_t kMaxPdbBytes = 1ull << 30;

PdbDatabase parseExportPdb(const unsigned char* data, std::size_t length);
// Reads the whole file and parses it: "could not open " + path, "empty file",
// "could not read " + path.
PdbDatabase readExportPdb(const std::string& path);

} // namespace vyn
