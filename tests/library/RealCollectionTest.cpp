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
    EXPECT_EQ(t.artist, "Loopmasters");
    EXPECT_EQ(t.label, "Loopmasters");
    EXPECT_EQ(t.path, "C:/Music/PioneerDJ/Demo Tracks/Demo Track 1.mp3");
    EXPECT_EQ(t.bpm, 128.0);
    EXPECT_EQ(t.duration, 172.0);
    EXPECT_EQ(t.bitRate, 320);
    EXPECT_EQ(t.sampleRate, 44100);
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
        EXPECT_EQ(t->path, std::string("C:/Music/PioneerDJ/Sampler/OSC_SAMPLER/PRESET ONESHOT/") +
                               name + ".wav");
        EXPECT_TRUE(t->grid.empty());
        EXPECT_TRUE(t->cues.empty());
        EXPECT_EQ(t->bpm, 0.0);
        EXPECT_EQ(t->bitRate, 2116);
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
        EXPECT_EQ(r.counts.tracks, 6u);
        EXPECT_EQ(r.counts.withGrids, 2u);
        EXPECT_EQ(r.counts.playlists, 2u);
        EXPECT_EQ(r.counts.missingFiles, 6u); // Windows paths
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
        for (const CueMark& m : one->cues) {
            EXPECT_EQ(m.kind, CueKind::Memory);
            EXPECT_EQ(m.number, -1);
            EXPECT_EQ(m.end, -1.0);
        }
        EXPECT_DOUBLE_EQ(one->cues[3].start, 45.025);
        ASSERT_EQ(two->cues.size(), 4u);
        EXPECT_DOUBLE_EQ(two->cues[3].start, 48.026);
        EXPECT_DOUBLE_EQ(Catalogue::startPosition(*one), 0.025);

        const PlaylistNode& root = c.root();
        EXPECT_EQ(root.name, "ROOT");
        EXPECT_TRUE(root.folder);
        ASSERT_EQ(root.children.size(), 2u);
        EXPECT_EQ(root.children[0].name, "Folder");
        EXPECT_TRUE(root.children[0].folder);
        ASSERT_EQ(root.children[0].children.size(), 1u);
        const PlaylistNode& sub = root.children[0].children[0];
        EXPECT_EQ(sub.name, "Sub Playlist");
        EXPECT_EQ(sub.trackIds, (std::vector<std::uint32_t>{5, 6}));
        EXPECT_EQ(root.children[1].name, "Playlist1");
        EXPECT_FALSE(root.children[1].folder);
        EXPECT_EQ(c.playlistTracks(root.children[1]).size(), 2u);
    }
}

TEST(RealCollections, Rekordbox6Export) {
    const std::string path = fixture("collection-rb6.xml");
    if (path.empty()) GTEST_SKIP() << "the shared rekordbox fixtures are not present";
    Catalogue c;
    const ImportResult r = importXmlFile(c, path);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.counts.tracks, 6u);
    EXPECT_EQ(r.counts.withGrids, 2u);
    EXPECT_EQ(r.counts.playlists, 1u);
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
    ASSERT_EQ(c.root().children.size(), 1u);
    const PlaylistNode& only = c.root().children[0];
    EXPECT_EQ(only.name, "Trial playlist - Cloud Library Sync");
    EXPECT_FALSE(only.folder);
    EXPECT_TRUE(only.trackIds.empty());
}

TEST(RealCollections, ImportingAllThreeMergesByPath) {
    if (test::rekordboxFixtures().empty())
        GTEST_SKIP() << "the shared rekordbox fixtures are not present";
    // The three exports describe the same six files: one catalogue keeps six tracks and the
    // ids the first import gave them.
    Catalogue c;
    for (const char* name : {"collection-a.xml", "collection-rb6.xml", "collection-rb5.xml"})
        ASSERT_TRUE(importXmlFile(c, fixture(name)).ok) << name;
    std::lock_guard<std::mutex> lock(c.mutex());
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c.trackById(5)->title, "Demo Track 1");
    EXPECT_EQ(c.trackById(5)->cues.size(), 4u); // the last import (rekordbox 5) had cues
    EXPECT_EQ(c.root().children.size(), 2u);
}

} // namespace
} // namespace vyn
