// The XML collections that rekordbox itself exported (read from the shared fixtures, never
// copied): counts, tags, grids, cues and playlists as the files state them.

#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "library/Catalogue.h"
#include "library/XmlImport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace vyn {
namespace {

std::string fixture(const char* name) {
    return test::rekordboxFixtures() + "/xml/" + name;
}

const CatalogueTrack* byTitle(const Catalogue& c, const std::string& title) {
    for (const CatalogueTrack& t : c.tracks())
        if (t.title == title) return &t;
    return nullptr;
}

// Beat `i` of a grid as (microseconds, beat in bar).
std::pair<long, int> beat(const BeatGrid& g, std::size_t i) {
    return {std::lround(g.beats.at(i).time * 1e6), g.beats.at(i).beatInBar};
}
using Beats = std::vector<std::pair<long, int>>;

// Demo Track 1: one marker at 0.025 s, 128 BPM, 172 s long: beats every 60/128 s while they lie
// before 172 s minus half a beat.
void checkDemoTrack1(const CatalogueTrack& t) {
    EXPECT_EQ(std::tie(t.artist, t.label, t.path, t.bpm, t.duration, t.bitRate, t.sampleRate),
              std::make_tuple("Loopmasters", "Loopmasters",
                              "C:/Music/PioneerDJ/Demo Tracks/Demo Track 1.mp3", 128.0, 172.0, 320,
                              44100));
    ASSERT_EQ(t.grid.beats.size(), 367u);
    EXPECT_EQ((Beats{beat(t.grid, 1), beat(t.grid, 4), beat(t.grid, 366)}),
              (Beats{{493750, 2}, {1900000, 1}, {171587500, 3}}));
    EXPECT_EQ(std::tie(t.grid.constantTempo, t.grid.bpm), std::make_tuple(true, 128.0));
}

// Demo Track 2: a 120 BPM grid re-anchored by nine markers from 48.026 s, 128 s long: 96 beats up
// to 48.026 s, one beat for each of the eight half-second markers, and 152 beats from 52.026 s
// to 127.75 s.
void checkDemoTrack2(const CatalogueTrack& t) {
    EXPECT_EQ(std::tie(t.path, t.bpm),
              std::make_tuple("C:/Music/PioneerDJ/Demo Tracks/Demo Track 2.mp3", 120.0));
    ASSERT_EQ(t.grid.beats.size(), 96u + 8u + 152u);
    EXPECT_EQ((Beats{beat(t.grid, 95), beat(t.grid, 96), beat(t.grid, 97), beat(t.grid, 104),
                     beat(t.grid, 255)}),
              (Beats{{47525000, 4}, {48026000, 1}, {48525000, 2}, {52026000, 1}, {127526000, 4}}));
    for (std::size_t i = 1; i < t.grid.beats.size(); ++i)
        ASSERT_GT(t.grid.beats[i].time, t.grid.beats[i - 1].time) << i;
}

TEST(RealCollections, TwoExportsOfTheSameSixTracks) {
    if (test::rekordboxFixtures().empty())
        GTEST_SKIP() << "the shared rekordbox fixtures are absent";
    // Per file: the report (Windows paths: every file is missing here), the titles in id order
    // (the file's order, not its TrackIDs) and the tree.
    const std::tuple<const char*, const char*, std::vector<std::string>, PlaylistNode> files[] = {
        {"collection-rb5.xml",
         "Imported 6 tracks, 2 with grids, 2 playlists. 6 files were missing.",
         {"NOISE", "SINEWAVE", "SIREN", "HORN", "Demo Track 1", "Demo Track 2"},
         {"ROOT",
          true,
          {},
          {{"Folder", true, {}, {{"Sub Playlist", false, {5, 6}, {}}}},
           {"Playlist1", false, {5, 6}, {}}}}},
        {"collection-rb6.xml",
         "Imported 6 tracks, 2 with grids, 1 playlists. 6 files were missing.",
         {"Demo Track 1", "Demo Track 2", "HORN", "NOISE", "SINEWAVE", "SIREN"},
         {"ROOT", true, {}, {{"Trial playlist - Cloud Library Sync", false, {}, {}}}}},
    };
    for (const auto& [file, report, order, tree] : files) {
        SCOPED_TRACE(file);
        Catalogue c;
        const ImportResult r = importXmlFile(c, fixture(file));
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(importReport(r.counts), report);
        std::lock_guard<std::mutex> lock(c.mutex());
        std::vector<std::string> titles;
        for (const CatalogueTrack& t : c.tracks())
            titles.push_back(t.title);
        ASSERT_EQ(titles, order);
        EXPECT_TRUE(c.root() == tree);
        for (const char* name : {"NOISE", "SINEWAVE", "SIREN", "HORN"}) {
            const CatalogueTrack* t = byTitle(c, name);
            EXPECT_EQ(std::tie(t->path, t->bpm, t->bitRate),
                      std::make_tuple("C:/Music/PioneerDJ/Sampler/OSC_SAMPLER/PRESET ONESHOT/" +
                                          std::string(name) + ".wav",
                                      0.0, 2116));
            EXPECT_TRUE(t->grid.empty() && t->cues.empty());
        }
        const CatalogueTrack* one = byTitle(c, "Demo Track 1");
        const CatalogueTrack* two = byTitle(c, "Demo Track 2");
        checkDemoTrack1(*one);
        checkDemoTrack2(*two);
        if (tree.children.size() == 1) { // the rekordbox 6 export: a key, no cues
            EXPECT_EQ(one->key, "Fm");
            EXPECT_TRUE(one->cues.empty());
            continue;
        }
        // Four memory cues each; the first starts the track.
        ASSERT_EQ(one->cues.size(), 4u);
        EXPECT_EQ(one->cues[3], (CueMark{CueKind::Memory, -1, 45.025, -1.0, ""}));
        ASSERT_EQ(two->cues.size(), 4u);
        EXPECT_DOUBLE_EQ(two->cues[3].start, 48.026);
        EXPECT_DOUBLE_EQ(Catalogue::startPosition(*one), 0.025);
    }
}

} // namespace
} // namespace vyn
