#pragma once
// Writes export.pdb files for tests and benchmarks: the file header, an index page and chained
// data pages per table, rows packed with their row index groups, and the three string kinds.
// Rows are raw bytes, so tests can also write damaged ones.

#include "library/PdbReader.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vyn::test {

// Database strings: short ASCII, long ASCII (0x40) and long UTF-16LE (0x90) from code units.
std::string pdbShortAscii(std::string_view text);
std::string pdbLongAscii(std::string_view text);
std::string pdbUtf16(const std::vector<std::uint16_t>& units);
// Short ASCII when it fits, else UTF-16LE of the UTF-8 text (Latin-1 and BMP only).
std::string pdbString(std::string_view utf8);

struct PdbTrackSpec {
    std::uint32_t id = 1;
    std::string title, fileName, filePath, analysisPath; // encoded with pdbString
    std::uint32_t artistId = 0, albumId = 0, genreId = 0, labelId = 0, keyId = 0;
    std::uint32_t tempo = 0, sampleRate = 44100, bitRate = 320;
    std::uint16_t duration = 0, year = 0, playCount = 0;
    std::uint8_t rating = 0;
};

std::string pdbTrackRow(const PdbTrackSpec& t);
std::string pdbArtistRow(std::uint32_t id, std::string_view name, bool longForm = false);
std::string pdbAlbumRow(std::uint32_t id, std::string_view name);
// Genres, labels (id at 0, name at 4) and keys, colours (name at 8).
std::string pdbNamedRow(PdbTable table, std::uint32_t id, std::string_view name);
std::string pdbPlaylistRow(std::uint32_t id, std::uint32_t parent, std::uint32_t sortOrder,
                           bool folder, std::string_view name);
std::string pdbEntryRow(std::uint32_t index, std::uint32_t trackId, std::uint32_t playlistId);

class PdbWriter {
public:
    explicit PdbWriter(std::uint32_t pageSize = 4096) : pageSize_(pageSize) {}

    // Appends a row to its table; `present` false writes it as a deleted row.
    void addRow(PdbTable table, std::string row, bool present = true);
    // Caps the rows per page (to spread a table over several pages).
    void setRowsPerPage(std::size_t n) { rowsPerPage_ = n; }

    // The file; `pages` receives each table's data pages in chain order.
    std::string build(std::map<PdbTable, std::vector<std::uint32_t>>* pages = nullptr) const;

private:
    struct Row {
        std::string bytes;
        bool present;
    };
    std::uint32_t pageSize_;
    std::size_t rowsPerPage_ = 1u << 20;
    std::map<PdbTable, std::vector<Row>> tables_;
};

// Little-endian pokes for damaging built files.
void putU16(std::string& bytes, std::size_t at, std::uint16_t v);
void putU32(std::string& bytes, std::size_t at, std::uint32_t v);

} // namespace vyn::test
