#include "library/PdbReader.h"
#include "PdbWriter.h"
#include "library/PdbString.h"
#include "support/Utf8.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vyn {
namespace {

using test::PdbWriter;

PdbDatabase parse(const std::string& file) {
    return parseExportPdb(reinterpret_cast<const unsigned char*>(file.data()), file.size());
}

std::string str(const std::string& encoded, std::size_t pageSize = 0) {
    return readPdbString(reinterpret_cast<const unsigned char*>(encoded.data()),
                         pageSize ? pageSize : encoded.size(), 0);
}

std::string trackRow(std::uint32_t id, const std::string& title = {}, std::uint32_t artist = 0) {
    test::PdbTrackSpec t;
    t.id = id;
    t.title = title;
    t.artistId = artist;
    return test::pdbTrackRow(t);
}

std::string oneTrack(std::uint32_t pageSize = 4096) {
    PdbWriter w(pageSize);
    w.addRow(PdbTable::Tracks, trackRow(1, "Only"));
    return w.build();
}

TEST(PdbHeader, FatalChecksNameTheirFault) {
    const std::string good = oneTrack();
    auto with = [&](std::size_t at, std::uint32_t value, std::size_t length = std::string::npos) {
        std::string f = good.substr(0, length);
        test::putU32(f, at, value);
        return f;
    };
    const std::string pageSize = "implausible page size \xE2\x80\x94 not a rekordbox export.pdb";
    PdbWriter colourOnly;
    colourOnly.addRow(PdbTable::Colours, test::pdbNamedRow(PdbTable::Colours, 1, "Pink"));
    const std::pair<std::string, std::string> cases[] = {
        {good.substr(0, 27), "file too short to be export.pdb"},
        {with(4, 3000), pageSize},
        {with(4, 256), pageSize},
        {with(4, 131072), pageSize},
        {with(4, 0), pageSize},
        {with(8, 0), "implausible table count"},
        {with(8, 65), "implausible table count"},
        {with(8, 3, 60), "table pointers run past the file"}, // 28 + 48 bytes in 60
        {good.substr(0, 4096 + 4095), "file holds no pages"},
        {colourOnly.build(),
         "no tracks or playlists found \xE2\x80\x94 is this really an export.pdb?"},
    };
    for (const auto& [file, error] : cases)
        EXPECT_EQ(parse(file).error, error);
    for (std::uint32_t size : {512u, 4096u, 65536u})
        EXPECT_TRUE(parse(oneTrack(size)).ok) << size;
}

TEST(PdbStrings, DecodeToValidUtf8OrReadEmpty) {
    std::string odd = test::pdbUtf16({0x41}) + 'x';
    test::putU16(odd, 1, 7); // an odd length: the last byte is no unit
    const std::string longer = test::pdbLongAscii("twelve bytes");
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"\013abcdXYZ", 0, "abcd"}, // short ASCII of total length 5: four bytes of text
        {"\001abc", 0, ""},
        {test::pdbLongAscii("long text"), 0, "long text"},
        {test::pdbShortAscii("caf\xE9"), 0, "caf\xC3\xA9"}, // a Latin-1 byte
        {test::pdbUtf16({0x63, 0xE9}), 0, "c\xC3\xA9"},
        {test::pdbUtf16({0xD83D, 0xDE00}), 0, "\xF0\x9F\x98\x80"},
        {odd, 0, "A"},
        {"\002abc", 0, ""},                          // unknown kind
        {std::string("\x40\x02\x00\x00", 4), 0, ""}, // long length below 4
        {longer, longer.size() - 1, ""},             // past the page
        {"\101abc", 0, ""},                          // short: 32 bytes claimed in a 4-byte page
    };
    for (const auto& [encoded, pageSize, text] : cases)
        EXPECT_EQ(str(encoded, pageSize), text) << encoded;
    EXPECT_EQ(readPdbString(nullptr, 10, 0), "");
    // Lone surrogates, high or low, become U+FFFD; the text stays well-formed.
    for (const std::vector<std::uint16_t>& units :
         {std::vector<std::uint16_t>{0x41, 0xD83D, 0x42}, {0xDE00, 0x41}, {0x41, 0xD83D}}) {
        const std::string s = str(test::pdbUtf16(units));
        EXPECT_TRUE(utf8::isValid(s));
        EXPECT_NE(s.find("\xEF\xBF\xBD"), std::string::npos);
    }
}

TEST(PdbRows, TrackFieldsAndLookupTablesAreRead) {
    PdbWriter w;
    test::PdbTrackSpec t;
    t.id = 42;
    t.title = "T\xC3\xADtulo";
    t.fileName = "a.mp3";
    t.filePath = "/Contents/a.mp3";
    t.analysisPath = "/PIONEER/USBANLZ/P001/ANLZ0000.DAT";
    t.artistId = 1, t.albumId = 2, t.genreId = 3, t.labelId = 4, t.keyId = 5;
    t.tempo = 12850, t.sampleRate = 48000, t.bitRate = 1411;
    t.duration = 245, t.year = 2021, t.playCount = 7, t.rating = 3;
    w.addRow(PdbTable::Tracks, test::pdbTrackRow(t));
    w.addRow(PdbTable::Artists, test::pdbArtistRow(1, "Short Form"));
    w.addRow(PdbTable::Artists, test::pdbArtistRow(9, "Long Form", true));
    w.addRow(PdbTable::Albums, test::pdbAlbumRow(2, "Album"));
    w.addRow(PdbTable::Genres, test::pdbNamedRow(PdbTable::Genres, 3, "Genre"));
    w.addRow(PdbTable::Labels, test::pdbNamedRow(PdbTable::Labels, 4, "Label"));
    w.addRow(PdbTable::Keys, test::pdbNamedRow(PdbTable::Keys, 5, "Fm"));
    w.addRow(PdbTable::Keys, test::pdbNamedRow(PdbTable::Keys, 5, "8A")); // later row wins
    w.addRow(PdbTable::Colours, test::pdbNamedRow(PdbTable::Colours, 2, "Red"));
    const PdbDatabase db = parse(w.build());
    ASSERT_TRUE(db.ok) << db.error;
    ASSERT_EQ(db.tracks.size(), 1u);
    const PdbTrackRow& r = db.tracks[0];
    EXPECT_EQ(std::tie(r.title, r.fileName, r.filePath, r.analysisPath, r.dateAdded),
              std::make_tuple("T\xC3\xADtulo", "a.mp3", "/Contents/a.mp3",
                              "/PIONEER/USBANLZ/P001/ANLZ0000.DAT", "2024-01-01"));
    EXPECT_EQ(std::make_tuple(r.id, r.artistId, r.albumId, r.genreId, r.labelId, r.keyId, r.tempo,
                              r.sampleRate, r.bitRate),
              std::make_tuple(42u, 1u, 2u, 3u, 4u, 5u, 12850u, 48000u, 1411u));
    EXPECT_EQ(std::make_tuple(r.duration, r.year, r.playCount, r.rating),
              std::make_tuple(245, 2021, 7, 3));
    EXPECT_EQ((std::vector<std::string>{db.artists.at(1), db.artists.at(9), db.albums.at(2),
                                        db.genres.at(3), db.labels.at(4), db.keys.at(5),
                                        db.colours.at(2)}),
              (std::vector<std::string>{"Short Form", "Long Form", "Album", "Genre", "Label", "8A",
                                        "Red"}));
}

TEST(PdbRows, DamagedDeletedAndOverlongRowsAreSkipped) {
    PdbWriter w;
    w.addRow(PdbTable::Tracks, trackRow(0));        // rows with id 0 are dropped
    w.addRow(PdbTable::Tracks, trackRow(2), false); // deleted
    w.addRow(PdbTable::Tracks, trackRow(3, "kept"));
    std::string noName = test::pdbAlbumRow(8, "x");
    noName[21] = 0;
    w.addRow(PdbTable::Albums, noName);
    const PdbDatabase db = parse(w.build());
    ASSERT_TRUE(db.ok);
    ASSERT_EQ(db.tracks.size(), 1u);
    EXPECT_EQ(db.tracks[0].title, "kept");
    EXPECT_EQ(db.albums.count(8), 0u);

    PdbWriter small(512);
    small.addRow(PdbTable::Tracks, trackRow(1, "ok"));
    std::map<PdbTable, std::vector<std::uint32_t>> pages;
    std::string f = small.build(&pages);
    const std::size_t base = static_cast<std::size_t>(pages[PdbTable::Tracks][0]) * 512;
    test::putU16(f, base + 512 - 6, 512 - 40 - 100); // the row would need 136 bytes
    EXPECT_TRUE(parse(f).tracks.empty());
    test::putU16(f, base + 512 - 6, 512 - 40); // the row would start past the page
    EXPECT_TRUE(parse(f).tracks.empty());

    // 8191 slots claimed in 512 bytes: group 0 is still read; what the other groups hold is
    // whatever bytes lie there.
    f = small.build();
    test::putU16(f, base + 24, 0x1FFF);
    const PdbDatabase slots = parse(f);
    ASSERT_TRUE(slots.ok);
    ASSERT_GE(slots.tracks.size(), 1u);
    EXPECT_EQ(slots.tracks[0].title, "ok");
}

TEST(PdbPages, TablesSpanPagesAndGroups) {
    PdbWriter w;
    std::vector<std::uint32_t> live;
    for (std::uint32_t i = 1; i <= 300; ++i) {
        w.addRow(PdbTable::Tracks, trackRow(i, "track " + std::to_string(i)), i % 50 != 0);
        if (i % 50 != 0) live.push_back(i);
    }
    std::map<PdbTable, std::vector<std::uint32_t>> pages;
    const PdbDatabase db = parse(w.build(&pages));
    ASSERT_GT(pages[PdbTable::Tracks].size(), 3u);
    std::vector<std::uint32_t> ids;
    for (const PdbTrackRow& r : db.tracks)
        ids.push_back(r.id);
    EXPECT_EQ(ids, live);
}

TEST(PdbPages, BrokenChainsStopWithoutRepeatingRows) {
    PdbWriter w;
    w.setRowsPerPage(2);
    for (std::uint32_t i = 1; i <= 6; ++i)
        w.addRow(PdbTable::Tracks, trackRow(i));
    std::map<PdbTable, std::vector<std::uint32_t>> pages;
    const std::string good = w.build(&pages);
    const std::vector<std::uint32_t> chain = pages[PdbTable::Tracks];
    ASSERT_EQ(chain.size(), 3u);
    auto at = [&](std::uint32_t page) { return static_cast<std::size_t>(page) * 4096; };

    std::string cycle = good; // third page points back to the first data page, last = none
    test::putU32(cycle, at(chain[2]) + 12, chain[0]);
    test::putU32(cycle, 28 + 12, 9999);
    EXPECT_EQ(parse(cycle).tracks.size(), 6u);

    std::string wrongType = good; // a page of another table ends the chain
    test::putU32(wrongType, at(chain[1]) + 8, 3);
    EXPECT_EQ(parse(wrongType).tracks.size(), 2u);

    std::string beyond = good;
    test::putU32(beyond, 28 + 8, 5000);          // first page past the end: the table adds nothing
    test::putU32(beyond, 28 + 16 + 8, chain[0]); // ... while another pointer still reads it
    test::putU32(beyond, 28 + 16, 0);
    test::putU32(beyond, 8, 2);
    EXPECT_EQ(parse(beyond).tracks.size(), 6u);

    std::string selfLoop = good;
    test::putU32(selfLoop, at(chain[0]) + 12, chain[0]);
    EXPECT_EQ(parse(selfLoop).tracks.size(), 2u);
}

TEST(PdbPlaylists, EntriesAndTreeRowsAreOrdered) {
    PdbWriter w;
    w.addRow(PdbTable::PlaylistTree, test::pdbPlaylistRow(10, 0, 2, false, "second"));
    w.addRow(PdbTable::PlaylistTree, test::pdbPlaylistRow(11, 0, 1, false, "first"));
    w.addRow(PdbTable::PlaylistTree, test::pdbPlaylistRow(12, 0, 0xFFFFFFFF, true, "minus one"));
    w.addRow(PdbTable::PlaylistEntries, test::pdbEntryRow(3, 300, 10));
    w.addRow(PdbTable::PlaylistEntries, test::pdbEntryRow(1, 100, 10));
    w.addRow(PdbTable::PlaylistEntries, test::pdbEntryRow(2, 200, 10));
    w.addRow(PdbTable::PlaylistEntries, test::pdbEntryRow(1, 999, 77)); // no such playlist
    const PdbDatabase db = parse(w.build());
    ASSERT_TRUE(db.ok); // playlists alone are enough
    std::vector<std::tuple<std::string, bool, std::vector<std::uint32_t>>> got;
    for (const PdbPlaylist& p : db.playlists)
        got.emplace_back(p.name, p.folder, p.trackIds);
    EXPECT_EQ(got, (decltype(got){{"minus one", true, {}},
                                  {"first", false, {}},
                                  {"second", false, {100, 200, 300}}}));
}

TEST(PdbPages, AChainStrayingIntoAnotherTableLeavesThatTablesPagesToIt) {
    PdbWriter w;
    w.addRow(PdbTable::Tracks, trackRow(1, "", 7));
    w.addRow(PdbTable::Artists, test::pdbArtistRow(7, "Someone"));
    std::map<PdbTable, std::vector<std::uint32_t>> pages;
    std::string file = w.build(&pages);
    // The track table's chain runs on past its last page into the artist table's data page.
    const std::uint32_t trackPage = pages[PdbTable::Tracks].back();
    test::putU32(file, 28 + 12, 9999);
    test::putU32(file, static_cast<std::size_t>(trackPage) * 4096 + 12,
                 pages[PdbTable::Artists].back());
    const PdbDatabase db = parse(file);
    ASSERT_EQ(db.tracks.size(), 1u);
    EXPECT_EQ(db.artists, (std::unordered_map<std::uint32_t, std::string>{{7, "Someone"}}));

    std::string twice = file; // the track table listed twice: its rows still count once
    twice.replace(28 + 32, 16, file.substr(28, 16));
    test::putU32(twice, 8, 3);
    EXPECT_EQ(parse(twice).tracks.size(), 1u);
}

} // namespace
} // namespace vyn
