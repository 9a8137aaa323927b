// The XML collections that rekordbox itself exported (read from the shared fixtures, never
// copied): counts, tags, grids, cues and playlists as the files state them.

#include "common/TestPaths.h"
#include "library/Catalogue.h"
#include "library/XmlImport.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

std::string fixture(const char* name) {
    const std::string root = test::rekordboxFixtures();
    return root.empty() ? std::string() : root + "/xml/" + name;
}

const CatalogueTrack* byTitle(const Catalogue& c, const std::string& title) {
    for (const CatalogueTrack& t : c.tracks())
        if (t.title == title) return &t;
    return nullptr;
}

// Demo Track 1: one marker at 0.025 s, 128 BPM, 172 s long.
void checkDemoTrack1(const CatalogueTrack& t) {
    EXPECT_EQ(std::tie(t.artist, t.label, t.path, t.bpm, t.duration, t.bitRate, t.sampleRate),
              std::make_tuple("Loopmasters", "Loopmasters",
                              "C:/Music/PioneerDJ/Demo Tracks/Demo Track 1.mp3", 128.0, 172.0, 320,
                              44100));
    // Beats every 60/128 s from 0.025 s while they lie before 172 s minus half a beat.
    ASSERT_EQ(t.grid.beats.size(), 367u);
    EXPECT_DOUBLE_EQ(t.grid.beats[1].time, 0.025 + 60.0 / 128.0);
    EXPECT_NEAR(t.grid.beats.back().time, 0.025 + 366 * 60.0 / 128.0, 1e-9);
    EXPECT_EQ(t.grid.beats[4].beatInBar, 1);
    EXPECT_EQ(t.grid.beats[366].beatInBar, 366 % 4 + 1);
    EXPECT_TRUE(t.grid.constantTempo);
    EXPECT_EQ(t.grid.bpm, 128.0);
}

// Demo Track 2: a 120 BPM grid re-anchored by nine markers from 48.026 s, 128 s long.
void checkDemoTrack2(const CatalogueTrack& t) {
    EXPECT_EQ(t.path, "C:/Music/PioneerDJ/Demo Tracks/Demo Track 2.mp3");
    EXPECT_EQ(t.bpm, 120.0);
    // 96 beats up to 48.026 s, one beat for each of the eight half-second markers, and 152
    // beats from 52.026 s to 127.75 s.
    ASSERT_EQ(t.grid.beats.size(), 96u + 8u + 152u);
    EXPECT_DOUBLE_EQ(t.grid.beats[95].time, 0.025 + 95 * 0.5);
    EXPECT_EQ(t.grid.beats[95].beatInBar, 4);
    EXPECT_DOUBLE_EQ(t.grid.beats[96].time, 48.026);
    EXPECT_EQ(t.grid.beats[96].beatInBar, 1);
    EXPECT_DOUBLE_EQ(t.grid.beats[97].time, 48.525);
    EXPECT_EQ(t.grid.beats[97].beatInBar, 2);
    EXPECT_DOUBLE_EQ(t.grid.beats[104].time, 52.026);
    EXPECT_NEAR(t.grid.beats.back().time, 52.026 + 151 * 0.5, 1e-9);
    for (std::size_t i = 1; i < t.grid.beats.size(); ++i)
        ASSERT_GT(t.grid.beats[i].time, t.grid.beats[i - 1].time) << i;
}

void checkSamplerTracks(const Catalogue& c) {
    for (const char* name : {"NOISE", "SINEWAVE", "SIREN", "HORN"}) {
        const CatalogueTrack* t = byTitle(c, name);
        ASSERT_NE(t, nullptr) << name;
        EXPECT_EQ(std::tie(t->path, t->bpm, t->bitRate),
                  std::make_tuple("C:/Music/PioneerDJ/Sampler/OSC_SAMPLER/PRESET ONESHOT/" +
                                      std::string(name) + ".wav",
                                  0.0, 2116));
        EXPECT_TRUE(t->grid.empty() && t->cues.empty());
    }
}

TEST(RealCollections, Rekordbox5Exports) {
    for (const char* name : {"collection-a.xml", "collection-rb5.xml"}) {
        SCOPED_TRACE(name);
        const std::string path = fixture(name);
        if (path.empty()) GTEST_SKIP() << "the shared rekordbox fixtures are not present";
        Catalogue c;
        const ImportResult r = importXmlFile(c, path);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(importReport(r.counts), // Windows paths: every file is missing here
                  "Imported 6 tracks, 2 with grids, 2 playlists. 6 files were missing.");
        std::lock_guard<std::mutex> lock(c.mutex());
        ASSERT_EQ(c.size(), 6u);
        EXPECT_EQ(c.trackById(1)->title, "NOISE");
        checkSamplerTracks(c);
        const CatalogueTrack* one = c.trackById(5);
        const CatalogueTrack* two = c.trackById(6);
        ASSERT_TRUE(one && two);
        EXPECT_EQ(one->title, "Demo Track 1");
        checkDemoTrack1(*one);
        checkDemoTrack2(*two);
        // Four memory cues each.
        ASSERT_EQ(one->cues.size(), 4u);
        EXPECT_EQ(one->cues[3], (CueMark{CueKind::Memory, -1, 45.025, -1.0, ""}));
        ASSERT_EQ(two->cues.size(), 4u);
        EXPECT_DOUBLE_EQ(two->cues[3].start, 48.026);
        EXPECT_DOUBLE_EQ(Catalogue::startPosition(*one), 0.025);

        const PlaylistNode& root = c.root();
        ASSERT_EQ(root.children.size(), 2u);
        EXPECT_TRUE(root.children[0] ==
                    (PlaylistNode{"Folder", true, {}, {{"Sub Playlist", false, {5, 6}, {}}}}));
        EXPECT_EQ(std::tie(root.name, root.children[1].name), std::make_tuple("ROOT", "Playlist1"));
        EXPECT_EQ(c.playlistTracks(root.children[1]).size(), 2u);
    }
}

TEST(RealCollections, Rekordbox6Export) {
    const std::string path = fixture("collection-rb6.xml");
    if (path.empty()) GTEST_SKIP() << "the shared rekordbox fixtures are not present";
    Catalogue c;
    const ImportResult r = importXmlFile(c, path);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(importReport(r.counts),
              "Imported 6 tracks, 2 with grids, 1 playlists. 6 files were missing.");
    std::lock_guard<std::mutex> lock(c.mutex());
    ASSERT_EQ(c.size(), 6u);
    // Ids follow the file's order, not its large TrackIDs.
    EXPECT_EQ(c.trackById(1)->title, "Demo Track 1");
    EXPECT_EQ(c.trackById(3)->title, "HORN");
    checkDemoTrack1(*c.trackById(1));
    checkDemoTrack2(*c.trackById(2));
    checkSamplerTracks(c);
    EXPECT_EQ(c.trackById(1)->key, "Fm");
    EXPECT_TRUE(c.trackById(1)->cues.empty());
    const std::vector<PlaylistNode> only{{"Trial playlist - Cloud Library Sync", false, {}, {}}};
    EXPECT_EQ(c.root().children, only);
}

} // namespace
} // namespace vyn
