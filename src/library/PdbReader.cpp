#include "library/PdbReader.h"

#include "library/PdbString.h"
#include "support/ByteOrder.h"
#include "support/FileIo.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace vyn {
namespace {

using detail::readU16le;
using detail::readU32le;

constexpr std::size_t kPageHeader = 40;
constexpr std::size_t kRowGroupBytes = 36;
constexpr unsigned char kIndexPageFlag = 0x40;

struct Entry {
    std::uint32_t index = 0;
    std::uint32_t trackId = 0;
    std::uint32_t playlistId = 0;
};

// One page of the file with its bounds; rows and strings are read relative to its start.
struct Page {
    const unsigned char* data;
    std::size_t size;

    std::uint32_t u32(std::size_t at) const { return readU32le(data + at); }
    std::uint16_t u16(std::size_t at) const { return readU16le(data + at); }
    std::string string(std::size_t at) const { return readPdbString(data, size, at); }
};

// Decodes rows of every table this reader keeps. `row` is the row's offset inside the page and
// `room` the bytes from there to the page end.
class RowDecoder {
public:
    explicit RowDecoder(PdbDatabase& db) : db_(db) {}

    std::vector<Entry> entries;

    void decode(PdbTable table, const Page& page, std::size_t row) {
        const std::size_t room = page.size - row;
        switch (table) {
        case PdbTable::Tracks:
            if (room >= 136) track(page, row);
            break;
        case PdbTable::Genres:
            if (room >= 5) db_.genres[page.u32(row)] = page.string(row + 4);
            break;
        case PdbTable::Artists:
            if (room >= 10) artist(page, row, room);
            break;
        case PdbTable::Albums:
            if (room >= 22) {
                const std::size_t name = page.data[row + 21];
                if (name != 0) db_.albums[page.u32(row + 12)] = page.string(row + name);
            }
            break;
        case PdbTable::Labels:
            if (room >= 5) db_.labels[page.u32(row)] = page.string(row + 4);
            break;
        case PdbTable::Keys:
            if (room >= 9) db_.keys[page.u32(row)] = page.string(row + 8);
            break;
        case PdbTable::Colours:
            // The colour id is the u16 at 5 (the four bytes before it are always zero).
            if (room >= 9) db_.colours[page.u16(row + 5)] = page.string(row + 8);
            break;
        case PdbTable::PlaylistTree:
            if (room >= 21) {
                PdbPlaylist p;
                p.parentId = page.u32(row);
                p.sortOrder = page.u32(row + 8);
                p.id = page.u32(row + 12);
                p.folder = page.u32(row + 16) != 0;
                p.name = page.string(row + 20);
                db_.playlists.push_back(std::move(p));
            }
            break;
        case PdbTable::PlaylistEntries:
            if (room >= 12)
                entries.push_back({page.u32(row), page.u32(row + 4), page.u32(row + 8)});
            break;
        }
    }

private:
    void artist(const Page& page, std::size_t row, std::size_t room) {
        std::size_t name = 0;
        if (page.u16(row) == 0x64) {
            if (room >= 12) name = page.u16(row + 10);
        } else {
            name = page.data[row + 9];
        }
        if (name != 0) db_.artists[page.u32(row + 4)] = page.string(row + name);
    }

    void track(const Page& page, std::size_t row) {
        PdbTrackRow t;
        t.id = page.u32(row + 72);
        if (t.id == 0) return;
        t.sampleRate = page.u32(row + 8);
        t.composerId = page.u32(row + 12);
        t.fileSize = page.u32(row + 16);
        t.keyId = page.u32(row + 32);
        t.originalArtistId = page.u32(row + 36);
        t.labelId = page.u32(row + 40);
        t.remixerId = page.u32(row + 44);
        t.bitRate = page.u32(row + 48);
        t.trackNumber = page.u32(row + 52);
        t.tempo = page.u32(row + 56);
        t.genreId = page.u32(row + 60);
        t.albumId = page.u32(row + 64);
        t.artistId = page.u32(row + 68);
        t.discNumber = page.u16(row + 76);
        t.playCount = page.u16(row + 78);
        t.year = page.u16(row + 80);
        t.duration = page.u16(row + 84);
        t.colourId = page.data[row + 88];
        t.rating = page.data[row + 89];
        auto text = [&](std::size_t field) { return page.string(row + page.u16(row + field)); };
        t.dateAdded = text(114);
        t.releaseDate = text(116);
        t.mixName = text(118);
        t.analysisPath = text(122);
        t.comment = text(126);
        t.title = text(128);
        t.fileName = text(132);
        t.filePath = text(134);
        db_.tracks.push_back(std::move(t));
    }

    PdbDatabase& db_;
};

bool isKnownTable(std::uint32_t type) {
    return type <= static_cast<std::uint32_t>(PdbTable::PlaylistEntries);
}

// Reads every present row of one data page. The row index grows down from the page end in groups
// of up to 16 slots; a slot count too large for the page stops before the index would reach the
// page header instead of wrapping around.
void readRows(PdbTable table, const Page& page, RowDecoder& decoder) {
    const std::uint32_t slots = page.u16(24) & 0x1FFFu;
    const std::uint32_t groups = (slots + 15) / 16;
    const auto pageSize = static_cast<std::int64_t>(page.size);
    for (std::uint32_t g = 0; g < groups; ++g) {
        const std::int64_t end = pageSize - static_cast<std::int64_t>(kRowGroupBytes) * g;
        if (end - static_cast<std::int64_t>(kRowGroupBytes) <
            static_cast<std::int64_t>(kPageHeader))
            break;
        const auto groupEnd = static_cast<std::size_t>(end);
        const std::uint16_t present = page.u16(groupEnd - 4);
        const std::uint32_t count = std::min<std::uint32_t>(16, slots - 16 * g);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!(present & (1u << i))) continue;
            const std::size_t rowOffset = page.u16(groupEnd - 6 - 2 * i);
            const std::size_t row = kPageHeader + rowOffset;
            if (row >= page.size) continue;
            decoder.decode(table, page, row);
        }
    }
}

void attachEntries(std::vector<Entry>& entries, std::vector<PdbPlaylist>& playlists) {
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const auto pa = static_cast<std::int32_t>(a.playlistId);
        const auto pb = static_cast<std::int32_t>(b.playlistId);
        if (pa != pb) return pa < pb;
        return static_cast<std::int32_t>(a.index) < static_cast<std::int32_t>(b.index);
    });
    // Entries go to the first tree row with their playlist id.
    std::unordered_map<std::uint32_t, std::size_t> byId;
    byId.reserve(playlists.size());
    for (std::size_t i = 0; i < playlists.size(); ++i)
        byId.emplace(playlists[i].id, i);
    for (const Entry& e : entries)
        if (auto it = byId.find(e.playlistId); it != byId.end())
            playlists[it->second].trackIds.push_back(e.trackId);
}

PdbDatabase fail(std::string message) {
    PdbDatabase db;
    db.error = std::move(message);
    return db;
}

} // namespace

PdbDatabase parseExportPdb(const unsigned char* data, std::size_t length) {
    if (!data || length < 28) return fail("file too short to be export.pdb");
    const std::uint32_t pageSize = readU32le(data + 4);
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0)
        return fail("implausible page size \xE2\x80\x94 not a rekordbox export.pdb");
    const std::uint32_t tableCount = readU32le(data + 8);
    if (tableCount < 1 || tableCount > 64) return fail("implausible table count");
    if (28 + 16 * static_cast<std::uint64_t>(tableCount) > length)
        return fail("table pointers run past the file");
    const std::uint64_t pageCount = static_cast<std::uint64_t>(length) / pageSize;
    if (pageCount < 2) return fail("file holds no pages");

    PdbDatabase db;
    RowDecoder decoder(db);
    // Each table's walk visits a page at most once, so a cyclic chain ends; the guard is the
    // table's own, so a damaged chain that strays into another table's page (and stops there,
    // the type being wrong) leaves that page to the table it belongs to. Rows are read from a
    // page at most once, whichever chains reach it.
    std::vector<bool> walked(static_cast<std::size_t>(pageCount));
    std::vector<bool> read(static_cast<std::size_t>(pageCount), false);
    for (std::uint32_t t = 0; t < tableCount; ++t) {
        const unsigned char* pointer = data + 28 + 16 * static_cast<std::size_t>(t);
        const std::uint32_t type = readU32le(pointer);
        if (!isKnownTable(type)) continue;
        std::fill(walked.begin(), walked.end(), false);
        walked[0] = true; // the file header, never a data page
        const std::uint32_t last = readU32le(pointer + 12);
        std::uint64_t index = readU32le(pointer + 8);
        while (index < pageCount && !walked[static_cast<std::size_t>(index)]) {
            walked[static_cast<std::size_t>(index)] = true;
            const Page page{data + index * pageSize, pageSize};
            if (page.u32(8) != type) break;
            if (!read[static_cast<std::size_t>(index)] && !(page.data[27] & kIndexPageFlag))
                readRows(static_cast<PdbTable>(type), page, decoder);
            read[static_cast<std::size_t>(index)] = true;
            if (index == last) break;
            const std::uint32_t next = page.u32(12);
            if (next == index || next == 0) break;
            index = next;
        }
    }

    if (db.tracks.empty() && db.playlists.empty())
        return fail("no tracks or playlists found \xE2\x80\x94 is this really an export.pdb?");
    attachEntries(decoder.entries, db.playlists);
    std::stable_sort(
        db.playlists.begin(), db.playlists.end(), [](const PdbPlaylist& a, const PdbPlaylist& b) {
            const auto pa = static_cast<std::int32_t>(a.parentId);
            const auto pb = static_cast<std::int32_t>(b.parentId);
            if (pa != pb) return pa < pb;
            return static_cast<std::int32_t>(a.sortOrder) < static_cast<std::int32_t>(b.sortOrder);
        });
    db.ok = true;
    return db;
}

PdbDatabase readExportPdb(const std::string& path) {
    FileReadResult file = readWholeFile(path, kMaxPdbBytes);
    if (!file.ok) {
        if (file.error == "could not open the file") return fail("could not open " + path);
        if (file.error == "file is too large") return fail("export.pdb is implausibly large");
        return fail("could not read " + path);
    }
    if (file.data.empty()) return fail("empty file");
    return parseExportPdb(reinterpret_cast<const unsigned char*>(file.data.data()),
                          file.data.size());
}

} // namespace vyn
