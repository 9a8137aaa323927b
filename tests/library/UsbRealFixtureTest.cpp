// The stick exports that rekordbox itself wrote (read from the shared fixtures, never copied),
// checked against what an independent reader decoded from them (expected.json there).

#include "common/TestPaths.h"
#include "library/AnlzReader.h"
#include "library/ImportCounts.h"
#include "library/PdbReader.h"
#include "library/TrackAnalysis.h"
#include "library/UsbImport.h"
#include "support/FileIo.h"
#include "support/Json.h"

#include <gtest/gtest.h>

#include <map>

namespace vyn {
namespace {

class RealStick : public ::testing::Test {
protected:
    void SetUp() override {
        root = test::rekordboxFixtures();
        if (root.empty()) GTEST_SKIP() << "no shared rekordbox fixtures";
        const FileReadResult file = readWholeFile(root + "/expected.json");
        ASSERT_TRUE(file.ok);
        JsonParseResult parsed = parseJson(file.data);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        expected = std::move(parsed.value);
    }
    std::string text(const JsonValue& v, const char* key) {
        const JsonValue* f = v.find(key);
        return f && f->isString() ? f->asString() : std::string(); // null: no name
    }
    std::int64_t number(const JsonValue& v, const char* key) {
        const JsonValue* f = v.find(key);
        return f ? f->asInteger() : -1;
    }
    std::string root;
    JsonValue expected;
};

TEST_F(RealStick, DatabasesAgreeWithExpected) {
    int databases = 0;
    for (const auto& [name, want] : expected.members()) {
        if (name.size() < 10 || name.substr(name.size() - 10) != "export.pdb") continue;
        ++databases;
        SCOPED_TRACE(name);
        const PdbDatabase db = readExportPdb(root + "/" + name);
        const std::int64_t tracks = number(want, "num_tracks");
        const std::size_t trees = want.find("playlist_tree")->items().size();
        if (tracks == 0 && trees == 0) {
            EXPECT_EQ(db.error,
                      "no tracks or playlists found \xE2\x80\x94 is this really an export.pdb?");
            continue;
        }
        ASSERT_TRUE(db.ok) << db.error;
        ASSERT_EQ(static_cast<std::int64_t>(db.tracks.size()), tracks);
        std::map<std::uint32_t, const PdbTrackRow*> byId;
        for (const PdbTrackRow& r : db.tracks)
            byId[r.id] = &r;
        auto lookup = [](const std::unordered_map<std::uint32_t, std::string>& m,
                         std::uint32_t id) {
            const auto it = m.find(id);
            return it == m.end() ? std::string() : it->second;
        };
        for (const JsonValue& t : want.find("tracks")->items()) {
            const PdbTrackRow* r = byId[static_cast<std::uint32_t>(number(t, "id"))];
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(
                (std::vector<std::string>{
                    r->title, lookup(db.artists, r->artistId), lookup(db.albums, r->albumId),
                    lookup(db.genres, r->genreId), lookup(db.labels, r->labelId),
                    lookup(db.keys, r->keyId), r->filePath, r->analysisPath}),
                (std::vector<std::string>{text(t, "title"), text(t, "artist"), text(t, "album"),
                                          text(t, "genre"), text(t, "label"), text(t, "key"),
                                          text(t, "file_path"), text(t, "analyze_path")}));
            EXPECT_DOUBLE_EQ(r->tempo / 100.0, t.find("bpm")->asNumber());
            EXPECT_EQ(r->duration, number(t, "duration_s"));
        }
        std::map<std::uint32_t, const PdbPlaylist*> playlists;
        for (const PdbPlaylist& p : db.playlists)
            playlists[p.id] = &p;
        ASSERT_EQ(playlists.size(), trees);
        for (const JsonValue& p : want.find("playlist_tree")->items()) {
            const PdbPlaylist* got = playlists[static_cast<std::uint32_t>(number(p, "id"))];
            ASSERT_NE(got, nullptr);
            std::vector<std::uint32_t> ids;
            for (const JsonValue& id : p.find("track_ids")->items())
                ids.push_back(static_cast<std::uint32_t>(id.asInteger()));
            EXPECT_EQ(std::make_tuple(got->name, std::int64_t{got->parentId},
                                      std::int64_t{got->sortOrder}, got->folder, got->trackIds),
                      std::make_tuple(text(p, "name"), number(p, "parent_id"),
                                      number(p, "sort_order"), p.find("is_folder")->asBool(), ids));
        }
    }
    EXPECT_EQ(databases, 3);
}

TEST_F(RealStick, AnalysisFilesAgreeWithExpected) {
    int files = 0;
    for (const auto& [name, want] : expected.members()) {
        const JsonValue* sections = want.find("sections");
        if (!sections) continue;
        ++files;
        SCOPED_TRACE(name);
        const AnlzResult r = readAnlzFile(root + "/" + name, true);
        const AnlzResult l = readAnlzFile(root + "/" + name, false);
        ASSERT_TRUE(r.ok && l.ok) << r.error << l.error;
        ASSERT_EQ(r.sections.size(), sections->items().size());
        ASSERT_EQ(l.sections.size(), r.sections.size());
        std::size_t cues = 0;
        bool colour = false, mono = false;
        for (std::size_t i = 0; i < r.sections.size(); ++i) {
            const JsonValue& s = sections->items()[i];
            const std::string tag = text(s, "fourcc");
            EXPECT_EQ(r.sections[i].tag, tag);
            EXPECT_EQ(l.sections[i].tag, tag);
            EXPECT_EQ(r.sections[i].headerLength, number(s, "len_header"));
            EXPECT_EQ(r.sections[i].totalLength, number(s, "len_tag"));
            if (const JsonValue* c = s.find("cues")) cues += c->items().size();
            colour = colour || tag == "PWV5";
            mono = mono || tag == "PWV3";
            if (tag != "PQTZ") continue;
            ASSERT_EQ(static_cast<std::int64_t>(r.grid.beats.size()), number(s, "num_beats"));
            EXPECT_EQ(l.grid.beats.size(), r.grid.beats.size());
            if (r.grid.beats.empty()) continue; // no first or last beat to compare
            std::vector<JsonValue> beats = s.find("first_beats_number_bpmx100_ms")->items();
            beats.push_back(*s.find("last_beat"));
            for (std::size_t b = 0; b < beats.size(); ++b) {
                const GridBeat& g = b + 1 < beats.size() ? r.grid.beats[b] : r.grid.beats.back();
                const auto& v = beats[b].items();
                EXPECT_EQ(g.beatInBar, v[0].asInteger());
                EXPECT_DOUBLE_EQ(g.bpm, v[1].asInteger() / 100.0);
                EXPECT_DOUBLE_EQ(g.time, v[2].asInteger() / 1000.0);
            }
        }
        EXPECT_EQ(r.cues.size(), cues);
        EXPECT_EQ(r.colourWaveform, colour);
        EXPECT_EQ(r.waveform.columns.empty(), !colour && !mono);
    }
    EXPECT_EQ(files, 24);
}

TEST_F(RealStick, SticksImport) {
    Catalogue c;
    const ImportResult r = importUsbStick(c, root + "/stick-six/");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(importReport(r.counts), // the fixture carries no audio
              "Imported 6 tracks, 6 with grids, 2 playlists. 6 files were missing.");
    std::lock_guard<std::mutex> lock(c.mutex());
    const PlaylistNode& usb = c.root();
    ASSERT_EQ(usb.children.size(), 2u);
    ASSERT_EQ(usb.children[1].children.size(), 1u);
    const PlaylistNode& sub = usb.children[1].children[0];
    EXPECT_EQ(std::tie(usb.children[0].name, usb.children[1].name, sub.name),
              std::make_tuple("Playlist 1", "Folder", "Sub Playlist"));
    ASSERT_EQ(sub.trackIds.size(), 2u);
    EXPECT_EQ(c.trackById(sub.trackIds[0])->title, "Demo Track 1");
    EXPECT_EQ(c.trackById(sub.trackIds[1])->title, "Demo Track 2");
    const CatalogueTrack* demo = c.trackById(sub.trackIds[0]);
    EXPECT_EQ(demo->path, root + "/stick-six/Contents/Loopmasters/UnknownAlbum/Demo Track 1.mp3");
    const TrackAnalysis a = readTrackAnalysis(demo->analysisPath, "", -1, -1, true);
    EXPECT_EQ(std::make_tuple(a.filesRead, a.grid.beats.size(), a.colourWaveform),
              std::make_tuple(2, 368u, true));

    // The two-track stick has no playlists: an empty "USB" root replaces the tree.
    Catalogue demoOnly;
    ASSERT_TRUE(importUsbStick(demoOnly, root + "/stick-demo").ok);
    std::lock_guard<std::mutex> demoLock(demoOnly.mutex());
    EXPECT_EQ(
        std::make_tuple(demoOnly.root().name, demoOnly.root().children.size(), demoOnly.size()),
        std::make_tuple("USB", 0u, 2u));
}

} // namespace
} // namespace vyn
