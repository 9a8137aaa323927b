// Writes seeds for the fuzz targets from the test generators: OUT/xml and OUT/xml_import get
// synthetic collections, OUT/pdb a database with every table, OUT/anlz analysis files with grids,
// cues and waveforms, OUT/vynset a set replay. (scripts/fuzz makes the audio seeds with sox.)

#include "engine/SetReplay.h"
#include "library/AnlzWriter.h"
#include "library/PdbWriter.h"
#include "library/XmlCollectionGenerator.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace vyn;

void put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string database(std::uint32_t pageSize) {
    test::PdbWriter w(pageSize);
    w.setRowsPerPage(3); // chained pages
    for (std::uint32_t id = 1; id <= 5; ++id) {
        test::PdbTrackSpec t;
        t.id = id;
        t.title = id == 2 ? "Caf\xC3\xA9 \xE2\x82\xAC" : "Track " + std::to_string(id);
        t.filePath = "/Contents/t" + std::to_string(id) + ".mp3";
        t.analysisPath = "/PIONEER/USBANLZ/P001/0000000" + std::to_string(id) + "/ANLZ0000.DAT";
        t.artistId = 1 + id % 2;
        t.albumId = 1;
        t.keyId = 1;
        t.tempo = 12000 + 100 * id;
        t.duration = static_cast<std::uint16_t>(180 + id);
        w.addRow(PdbTable::Tracks, test::pdbTrackRow(t), id != 4);
    }
    w.addRow(PdbTable::Artists, test::pdbArtistRow(1, "Artist"));
    w.addRow(PdbTable::Artists, test::pdbArtistRow(2, std::string(300, 'L'), true));
    w.addRow(PdbTable::Albums, test::pdbAlbumRow(1, "Album"));
    w.addRow(PdbTable::Keys, test::pdbNamedRow(PdbTable::Keys, 1, "8A"));
    w.addRow(PdbTable::Genres, test::pdbNamedRow(PdbTable::Genres, 1, "House"));
    w.addRow(PdbTable::Colours, test::pdbNamedRow(PdbTable::Colours, 1, "Pink"));
    w.addRow(PdbTable::PlaylistTree, test::pdbPlaylistRow(1, 0, 0, true, "Folder"));
    w.addRow(PdbTable::PlaylistTree, test::pdbPlaylistRow(2, 1, 0, false, "List"));
    for (std::uint32_t i = 0; i < 4; ++i)
        w.addRow(PdbTable::PlaylistEntries, test::pdbEntryRow(i, i + 1, 2));
    return w.build();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: fuzz_seeds OUT_DIR\n", stderr);
        return 2;
    }
    const fs::path out = argv[1];
    for (std::size_t tracks : {1, 3, 12}) {
        const std::string xml = test::generateXmlCollection(tracks, tracks, "/Music").xml;
        put(out / "xml" / ("collection-" + std::to_string(tracks) + ".xml"), xml);
        put(out / "xml_import" / ("collection-" + std::to_string(tracks) + ".xml"), xml);
    }
    put(out / "pdb" / "export.pdb", database(4096));
    put(out / "pdb" / "small-pages.pdb", database(512));

    const std::vector<test::AnlzCueSpec> cues{{1, 1, 1000}, {2, 2, 2000, 4000}, {0, 1, 500}};
    std::vector<std::uint16_t> columns(120);
    for (std::size_t i = 0; i < columns.size(); ++i)
        columns[i] = static_cast<std::uint16_t>(i * 517);
    put(out / "anlz" / "ANLZ0000.DAT",
        test::AnlzWriter()
            .beatGrid({{1, 12800, 0}, {2, 12800, 469}, {3, 12800, 938}, {4, 12800, 1406}})
            .cueList(cues)
            .cueList(cues, false)
            .waveform(false, columns)
            .build());
    put(out / "anlz" / "ANLZ0000.EXT", test::AnlzWriter()
                                           .extendedCueList(cues)
                                           .extendedCueList(cues, false)
                                           .waveform(true, columns)
                                           .build());

    SetReplay replay;
    replay.name = "Warm-up \xE2\x80\x94 set";
    replay.createdAtMillis = 1700000000000;
    for (int i = 0; i < 6; ++i) {
        ReplayEvent e;
        e.frame = 4800 * i;
        e.isMidi = i % 3 == 2;
        e.command = 3 + i;
        e.deck = i % 4;
        e.value = 0.25 * i;
        e.trackId = i == 0 ? 7 : 0;
        e.path = i == 0 ? "/music/a.wav" : "";
        e.port = 0;
        e.status = 0x90;
        e.data1 = 60;
        e.data2 = 100;
        replay.events.push_back(e);
    }
    put(out / "vynset" / "set.vynset", writeSetReplay(replay));
    return 0;
}
