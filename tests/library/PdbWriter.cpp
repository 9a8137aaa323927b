#include "PdbWriter.h"

#include <stdexcept>

namespace vyn::test {
namespace {

std::string u16(std::uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string u32(std::uint32_t v) {
    return u16(static_cast<std::uint16_t>(v)) + u16(static_cast<std::uint16_t>(v >> 16));
}

// UTF-8 of the Basic Multilingual Plane to UTF-16 code units (no validation: test text only).
std::vector<std::uint16_t> toUnits(std::string_view s) {
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        std::uint32_t cp = n == 3 ? c & 0x0F : n == 2 ? c & 0x1F : c;
        for (std::size_t k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        units.push_back(static_cast<std::uint16_t>(cp));
        i += n;
    }
    return units;
}

} // namespace

void putU16(std::string& b, std::size_t at, std::uint16_t v) {
    b.replace(at, 2, u16(v));
}
void putU32(std::string& b, std::size_t at, std::uint32_t v) {
    b.replace(at, 4, u32(v));
}

std::string pdbShortAscii(std::string_view text) {
    if (text.size() > 126) throw std::invalid_argument("short ASCII holds at most 126 bytes");
    return static_cast<char>(((text.size() + 1) << 1) | 1) + std::string(text);
}

std::string pdbLongAscii(std::string_view text) {
    return "\x40" + u16(static_cast<std::uint16_t>(text.size() + 4)) + '\0' + std::string(text);
}

std::string pdbUtf16(const std::vector<std::uint16_t>& units) {
    std::string s = "\x90" + u16(static_cast<std::uint16_t>(units.size() * 2 + 4)) + '\0';
    for (std::uint16_t u : units)
        s += u16(u);
    return s;
}

std::string pdbString(std::string_view utf8) {
    bool ascii = utf8.size() <= 126;
    for (char c : utf8)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    return ascii ? pdbShortAscii(utf8) : pdbUtf16(toUnits(utf8));
}

std::string pdbTrackRow(const PdbTrackSpec& t) {
    std::string row(136, '\0');
    putU16(row, 0, 0x24);
    putU32(row, 8, t.sampleRate);
    putU32(row, 48, t.bitRate);
    putU32(row, 56, t.tempo);
    putU32(row, 60, t.genreId);
    putU32(row, 64, t.albumId);
    putU32(row, 68, t.artistId);
    putU32(row, 72, t.id);
    putU32(row, 32, t.keyId);
    putU32(row, 40, t.labelId);
    putU16(row, 78, t.playCount);
    putU16(row, 80, t.year);
    putU16(row, 84, t.duration);
    row[89] = static_cast<char>(t.rating);
    // Every one of the 21 string offsets first points at one shared empty string.
    const auto empty = static_cast<std::uint16_t>(row.size());
    row += pdbShortAscii("");
    for (std::size_t k = 0; k < 21; ++k)
        putU16(row, 94 + 2 * k, empty);
    auto text = [&](std::size_t field, const std::string& encoded) {
        putU16(row, field, static_cast<std::uint16_t>(row.size()));
        row += encoded;
    };
    text(114, pdbString("2024-01-01"));
    text(122, pdbString(t.analysisPath));
    text(128, pdbString(t.title));
    text(132, pdbString(t.fileName));
    text(134, pdbString(t.filePath));
    return row;
}

std::string pdbArtistRow(std::uint32_t id, std::string_view name, bool longForm) {
    std::string row = u16(longForm ? 0x64 : 0x60) + u16(0) + u32(id) + '\x03';
    if (longForm) return row + '\0' + u16(12) + pdbString(name);
    return row + '\x0a' + pdbString(name);
}

std::string pdbAlbumRow(std::uint32_t id, std::string_view name) {
    std::string row(22, '\0');
    putU16(row, 0, 0x80);
    putU32(row, 12, id);
    row[20] = 3;
    row[21] = 22;
    return row + pdbString(name);
}

std::string pdbNamedRow(PdbTable table, std::uint32_t id, std::string_view name) {
    switch (table) {
    case PdbTable::Keys:
        return u32(id) + u32(id) + pdbString(name);
    case PdbTable::Colours:
        return std::string(5, '\0') + u16(static_cast<std::uint16_t>(id)) + '\0' + pdbString(name);
    default:
        return u32(id) + pdbString(name);
    }
}

std::string pdbPlaylistRow(std::uint32_t id, std::uint32_t parent, std::uint32_t sortOrder,
                           bool folder, std::string_view name) {
    return u32(parent) + u32(0) + u32(sortOrder) + u32(id) + u32(folder ? 1 : 0) + pdbString(name);
}

std::string pdbEntryRow(std::uint32_t index, std::uint32_t trackId, std::uint32_t playlistId) {
    return u32(index) + u32(trackId) + u32(playlistId);
}

void PdbWriter::addRow(PdbTable table, std::string row, bool present) {
    tables_[table].push_back({std::move(row), present});
}

std::string PdbWriter::build(std::map<PdbTable, std::vector<std::uint32_t>>* pagesOut) const {
    struct Page {
        PdbTable table;
        bool index;
        std::vector<const Row*> rows;
    };
    // Page 0 is the file header; each table has an index page, then its data pages.
    std::vector<Page> pages(1);
    std::map<PdbTable, std::vector<std::uint32_t>> chains;
    for (const auto& [table, rows] : tables_) {
        chains[table].push_back(static_cast<std::uint32_t>(pages.size()));
        pages.push_back({table, true, {}});
        std::size_t heap = 0;
        bool open = false;
        for (const Row& r : rows) {
            const std::size_t slots = open ? pages.back().rows.size() + 1 : 1;
            const std::size_t index = 36 * ((slots + 15) / 16);
            if (!open || pages.back().rows.size() >= rowsPerPage_ ||
                40 + heap + r.bytes.size() + index > pageSize_) {
                chains[table].push_back(static_cast<std::uint32_t>(pages.size()));
                pages.push_back({table, false, {}});
                heap = 0;
                open = true;
            }
            pages.back().rows.push_back(&r);
            heap += r.bytes.size();
        }
    }

    std::string file(pages.size() * static_cast<std::size_t>(pageSize_), '\0');
    putU32(file, 4, pageSize_);
    putU32(file, 8, static_cast<std::uint32_t>(chains.size()));
    putU32(file, 12, static_cast<std::uint32_t>(pages.size()));
    std::size_t pointer = 28;
    for (const auto& [table, chain] : chains) {
        putU32(file, pointer, static_cast<std::uint32_t>(table));
        putU32(file, pointer + 4, static_cast<std::uint32_t>(pages.size()));
        putU32(file, pointer + 8, chain.front());
        putU32(file, pointer + 12, chain.back());
        pointer += 16;
        for (std::size_t k = 0; k < chain.size(); ++k) {
            const std::size_t base = static_cast<std::size_t>(chain[k]) * pageSize_;
            const Page& page = pages[chain[k]];
            putU32(file, base + 4, chain[k]);
            putU32(file, base + 8, static_cast<std::uint32_t>(table));
            // The last page names a next page past the file, as real files do.
            putU32(file, base + 12,
                   k + 1 < chain.size() ? chain[k + 1]
                                        : static_cast<std::uint32_t>(pages.size() + 3));
            const auto slots = static_cast<std::uint32_t>(page.rows.size());
            std::uint32_t present = 0;
            std::size_t heap = 0;
            for (std::size_t i = 0; i < page.rows.size(); ++i) {
                const Row& r = *page.rows[i];
                file.replace(base + 40 + heap, r.bytes.size(), r.bytes);
                const std::size_t end = base + pageSize_ - 36 * (i / 16);
                putU16(file, end - 6 - 2 * (i % 16), static_cast<std::uint16_t>(heap));
                if (r.present) { // the group's presence bits, little-endian
                    file[end - 4 + (i % 16) / 8] |= static_cast<char>(1u << (i % 8));
                    ++present;
                }
                heap += r.bytes.size();
            }
            // Slot count in the low 13 bits, the live row count above it (24 bits in all), then
            // the page flags.
            putU32(file, base + 24, slots | present << 13 | (page.index ? 0x64u : 0x24u) << 24);
        }
    }
    if (pagesOut) {
        pagesOut->clear();
        for (const auto& [table, chain] : chains)
            (*pagesOut)[table].assign(chain.begin() + 1, chain.end());
    }
    return file;
}

} // namespace vyn::test
