// Reading a stick export of 20,000 tracks and 500 playlists: the parse of export.pdb in memory,
// the same from its file, and the whole USB import into an empty catalogue (which also looks up
// every track's file). Goal for the parse: under 100 ms.

#include "library/Catalogue.h"
#include "library/PdbReader.h"
#include "library/PdbWriter.h"
#include "library/UsbImport.h"
#include "support/FileIo.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

namespace {

constexpr std::uint32_t kTracks = 20000;
constexpr std::uint32_t kPlaylists = 500;

std::string buildDatabase() {
    using vyn::PdbTable;
    vyn::test::PdbWriter w;
    for (std::uint32_t i = 1; i <= kTracks; ++i) {
        vyn::test::PdbTrackSpec t;
        t.id = i;
        t.title = "Track number " + std::to_string(i) + " (Extended Mix)";
        t.fileName = "track" + std::to_string(i) + ".mp3";
        t.filePath = "/Contents/Artist " + std::to_string(i % 2000) + "/Album/" + t.fileName;
        t.analysisPath = "/PIONEER/USBANLZ/P" + std::to_string(i % 100) + "/0000" +
                         std::to_string(i) + "/ANLZ0000.DAT";
        t.artistId = 1 + i % 2000, t.albumId = 1 + i % 1000, t.genreId = 1 + i % 100;
        t.labelId = 1 + i % 200, t.keyId = 1 + i % 24, t.tempo = 12000 + i % 800;
        t.duration = static_cast<std::uint16_t>(180 + i % 240);
        w.addRow(PdbTable::Tracks, vyn::test::pdbTrackRow(t));
    }
    for (std::uint32_t i = 1; i <= 2000; ++i)
        w.addRow(PdbTable::Artists, vyn::test::pdbArtistRow(i, "Artist " + std::to_string(i)));
    for (std::uint32_t i = 1; i <= 1000; ++i)
        w.addRow(PdbTable::Albums, vyn::test::pdbAlbumRow(i, "Album " + std::to_string(i)));
    for (std::uint32_t i = 1; i <= 200; ++i) {
        w.addRow(PdbTable::Labels, vyn::test::pdbNamedRow(PdbTable::Labels, i, "Label"));
        if (i <= 100) w.addRow(PdbTable::Genres, vyn::test::pdbNamedRow(PdbTable::Genres, i, "G"));
        if (i <= 24) w.addRow(PdbTable::Keys, vyn::test::pdbNamedRow(PdbTable::Keys, i, "8A"));
    }
    // 25 folders of 20 playlists with 40 entries each.
    std::uint32_t id = 1;
    for (std::uint32_t folder = 0; folder < 25; ++folder) {
        const std::uint32_t folderId = 100000 + folder;
        w.addRow(PdbTable::PlaylistTree,
                 vyn::test::pdbPlaylistRow(folderId, 0, folder, true, "Folder"));
        for (std::uint32_t p = 0; p < kPlaylists / 25; ++p, ++id) {
            w.addRow(PdbTable::PlaylistTree,
                     vyn::test::pdbPlaylistRow(id, folderId, p, false, "Playlist"));
            for (std::uint32_t e = 0; e < 40; ++e)
                w.addRow(PdbTable::PlaylistEntries,
                         vyn::test::pdbEntryRow(e, 1 + (id * 40 + e) % kTracks, id));
        }
    }
    return w.build();
}

const std::string& database() {
    static const std::string bytes = buildDatabase();
    return bytes;
}

const std::string& stickRoot() {
    static const std::string root = [] {
        const auto dir = std::filesystem::temp_directory_path() / "vyn-bench-stick";
        std::filesystem::create_directories(dir / "PIONEER" / "rekordbox");
        const std::string file = (dir / "PIONEER" / "rekordbox" / "export.pdb").string();
        return vyn::writeFileAtomically(file, database(), nullptr) ? dir.string() : std::string();
    }();
    return root;
}

void PdbParse(benchmark::State& state) {
    const std::string& bytes = database();
    for (auto _ : state) {
        const vyn::PdbDatabase db =
            vyn::parseExportPdb(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        if (db.tracks.size() != kTracks || db.playlists.size() != kPlaylists + 25)
            state.SkipWithError("parse lost rows");
        benchmark::DoNotOptimize(db.tracks.data());
    }
    state.counters["fileMiB"] = static_cast<double>(bytes.size()) / (1 << 20);
}
BENCHMARK(PdbParse)->Unit(benchmark::kMillisecond)->UseRealTime();

void PdbReadFile(benchmark::State& state) {
    const std::string& root = stickRoot();
    for (auto _ : state) {
        const vyn::PdbDatabase db = vyn::readExportPdb(root + "/PIONEER/rekordbox/export.pdb");
        if (db.tracks.size() != kTracks) state.SkipWithError("read failed");
    }
}
BENCHMARK(PdbReadFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void UsbImportIntoEmptyCatalogue(benchmark::State& state) {
    const std::string& root = stickRoot();
    for (auto _ : state) {
        auto catalogue = std::make_unique<vyn::Catalogue>();
        const vyn::ImportResult r = vyn::importUsbStick(*catalogue, root);
        if (!r.ok || r.counts.tracks != kTracks) state.SkipWithError("import failed");
        state.PauseTiming();
        catalogue.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(UsbImportIntoEmptyCatalogue)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
