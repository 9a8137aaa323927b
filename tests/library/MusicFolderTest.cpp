// Music folders: audio files found under a folder (links followed once), their tags read through
// the platform's demuxers, one playlist per folder, and a rescan that keeps the ids of files that
// stayed.

#include "audio/AudioTags.h"
#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "common/WavFiles.h"
#include "library/MusicFolderImport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>

namespace vyn {
namespace {

namespace fs = std::filesystem;

// One second of tone through ffmpeg with the given metadata arguments.
void encode(const std::string& path, const std::string& tags) {
    fs::create_directories(fs::path(path).parent_path());
    const auto r = test::runProcess("ffmpeg -v error -y -f lavfi -i sine=f=440:d=1 -ac 2 " + tags +
                                    " '" + path + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
}

std::string common(const std::string& title) {
    return "-metadata title='" + title +
           "' -metadata artist=Artist -metadata album=Album -metadata genre=House "
           "-metadata date=2019-04-01";
}

class MusicFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("music-folder");
        root = dir + "/Music";
        encode(root + "/House/a.mp3",
               common("Mp3 Title") + " -metadata TBPM=128 -metadata TKEY=Am");
        encode(root + "/House/b.flac",
               common("Flac Title") + " -metadata BPM=124.5 -metadata INITIALKEY=5A");
        encode(root + "/c.ogg", common("Ogg Title") + " -metadata BPM=90 -metadata INITIALKEY=Dm");
        encode(root + "/d.m4a", common("M4a Title") + " -metadata tmpo=100 -metadata initialkey=C "
                                                      "-movflags use_metadata_tags");
        encode(root + "/e.aiff", common("Aiff Title") + " -metadata TBPM=140 -write_id3v2 1");
        encode(root + "/Sub/untagged.wav", "");
        test::touch(root + "/notes.txt");
        test::touch(root + "/.hidden.wav");
#ifndef _WIN32
        // Wine cannot create symbolic links (and Windows only with a privilege): the folder loop
        // is made on POSIX only; the walk treats a junction like any other directory link.
        fs::create_directory_symlink("..", root + "/Sub/loop"); // back to Music: walked once
#endif
    }

    std::map<std::string, CatalogueTrack> byFile() {
        std::map<std::string, CatalogueTrack> out;
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        for (const CatalogueTrack& t : catalogue.tracks())
            out[fs::path(t.path).filename().string()] = t;
        return out;
    }

    std::string dir, root;
    Catalogue catalogue;
};

TEST_F(MusicFolder, EveryFormatImportsWithItsTags) {
    const MusicFolderImport r = importMusicFolder(catalogue, root);
    ASSERT_TRUE(r.result.ok) << r.result.error;
    EXPECT_EQ(std::tie(r.result.counts.tracks, r.result.counts.playlists), std::make_tuple(6u, 3u));
    const std::tuple<const char*, std::string, double, std::string> cases[] = {
        {"a.mp3", "Mp3 Title", 128, "Am"}, {"b.flac", "Flac Title", 124.5, "5A"},
        {"c.ogg", "Ogg Title", 90, "Dm"},  {"d.m4a", "M4a Title", 100, "C"},
        {"e.aiff", "Aiff Title", 140, ""}, {"untagged.wav", "untagged", 0, ""}};
    auto tracks = byFile();
    for (auto [file, title, bpm, key] : cases) {
        SCOPED_TRACE(file);
        ASSERT_EQ(tracks.count(file), 1u);
        const CatalogueTrack& t = tracks[file];
        bool tagged = std::string(file) != "untagged.wav";
#ifdef _WIN32
        // Windows reads tags through the system's property handlers, and wine has none for these
        // formats: there a file comes in untagged, named by its file, and nothing else is made up.
        if (t.artist.empty()) {
            tagged = false;
            title = std::string(file).substr(0, std::string(file).rfind('.'));
            bpm = 0;
            key = "";
        }
#endif
        EXPECT_EQ(std::tie(t.title, t.bpm, t.key, t.artist, t.album, t.genre, t.year),
                  std::make_tuple(title, bpm, key, tagged ? "Artist" : "", tagged ? "Album" : "",
                                  tagged ? "House" : "", tagged ? 2019 : 0));
        EXPECT_NEAR(t.duration, 1.0, 0.06);
    }
    auto id = [&](const char* file) { return tracks.at(file).id; };
    EXPECT_TRUE(r.playlists == (std::vector<PlaylistNode>{
                                   {"Music", false, {id("c.ogg"), id("d.m4a"), id("e.aiff")}, {}},
                                   {"Music/House", false, {id("a.mp3"), id("b.flac")}, {}},
                                   {"Music/Sub", false, {id("untagged.wav")}, {}}}));
}

TEST_F(MusicFolder, RescanKeepsTheIdsOfFilesThatStayedAndAMissingFolderChangesNothing) {
    importMusicFolder(catalogue, root);
    const auto before = byFile();
    fs::remove(root + "/House/b.flac");
    test::writeToneWav(root + "/House/f.wav", 440.0, 0.2);
    std::size_t progressCalls = 0;
    const MusicFolderImport again =
        importMusicFolder(catalogue, root, [&](std::size_t done, std::size_t total) {
            EXPECT_LE(done, total);
            ++progressCalls;
        });
    EXPECT_EQ(progressCalls, 6u);
    const auto after = byFile();
    for (const char* kept : {"a.mp3", "c.ogg", "d.m4a", "e.aiff", "untagged.wav"})
        EXPECT_EQ(after.at(kept).id, before.at(kept).id) << kept;
    EXPECT_EQ(after.at("f.wav").id, 7u);
    EXPECT_EQ(again.playlists[1].name, "Music/House");
    EXPECT_EQ(again.playlists[1].trackIds, (std::vector<std::uint32_t>{before.at("a.mp3").id, 7u}))
        << "the removed file left the folder's playlist";

    const std::size_t tracks = catalogue.size();
    const MusicFolderImport gone = importMusicFolder(catalogue, dir + "/nothing");
    EXPECT_EQ(std::tie(gone.result.ok, gone.result.error),
              std::make_tuple(false, "could not open " + dir + "/nothing"));
    EXPECT_EQ(catalogue.size(), tracks) << "a folder that is not there changes nothing";
}

TEST(AudioTagText, TempoAndYear) {
    const std::tuple<const char*, double, int> cases[] = {
        {"128", 128, 0},   {"127.5 BPM", 127.5, 0}, {" 90", 90, 0},  {"0", 0, 0},
        {"1000", 0, 1000}, {"nan", 0, 0},           {"inf", 0, 0},   {"", 0, 0},
        {"2019", 0, 2019}, {"2019-04-01", 0, 2019}, {"20190", 0, 0}, {"0000", 0, 0},
        {"19", 19, 0}};
    for (const auto& [text, bpm, year] : cases) {
        EXPECT_DOUBLE_EQ(parseTagBpm(text), bpm) << text;
        EXPECT_EQ(parseTagYear(text), year) << text;
    }
    EXPECT_FALSE(readAudioTags("http://example.com/a.mp3").ok) << "local files only";
}

} // namespace
} // namespace vyn
