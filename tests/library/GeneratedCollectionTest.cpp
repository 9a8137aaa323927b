// A generated collection imports completely, matches what the generator wrote (its grids follow
// the rules XmlImportGrid tests), and imports identically a second time. (The import benchmark
// reads 20,000 tracks; 2,000 find the same faults here.)

#include "common/TestPaths.h"
#include "library/Catalogue.h"
#include "library/XmlCollectionGenerator.h"
#include "library/XmlImport.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace vyn {
namespace {

constexpr std::size_t kTracks = 2000;

TEST(GeneratedCollection, ImportsCompletelyAndIdenticallyTwice) {
    const std::string dir = test::scratchDir("generated");
    const std::string music = dir + "/Musik \xC3\xBC & 100%";
    const test::ExpectedCollection expected = test::generateXmlCollection(kTracks, 7, music);
    ASSERT_GT(expected.locationKeyedPlaylists, 0u);
    ASSERT_GE(expected.maxDepth, 4u);
    // Every 50th file exists, under its non-ASCII, percent-escaped name.
    std::size_t present = 0;
    for (std::size_t i = 0; i < kTracks; i += 50, ++present) {
        const std::filesystem::path p(
            std::u8string(expected.tracks[i].path.begin(), expected.tracks[i].path.end()));
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << "audio";
    }
    const std::string file = dir + "/collection.xml";
    ASSERT_TRUE(writeFileAtomically(file, expected.xml, nullptr));

    Catalogue catalogue;
    const ImportResult first = importXmlFile(catalogue, file);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(importReport(first.counts),
              importReport({kTracks, kTracks, expected.playlists, kTracks - present}));
    std::vector<CatalogueTrack> tracks;
    PlaylistNode tree;
    {
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        ASSERT_EQ(catalogue.size(), kTracks);
        for (std::size_t i = 0; i < kTracks; ++i) {
            const test::ExpectedTrack& e = expected.tracks[i];
            const CatalogueTrack& t = *catalogue.trackById(static_cast<std::uint32_t>(i + 1));
            ASSERT_EQ(std::tie(t.title, t.artist, t.album, t.genre, t.key, t.path, t.bpm,
                               t.duration, t.cues),
                      std::tie(e.title, e.artist, e.album, e.genre, e.key, e.path, e.bpm,
                               e.duration, e.cues));
        }
        EXPECT_TRUE(catalogue.root() == expected.root);
        tracks.assign(catalogue.tracks().begin(), catalogue.tracks().end());
        tree = catalogue.root();
    }

    const ImportResult second = importXmlFile(catalogue, file);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(second.counts.missingFiles, first.counts.missingFiles);
    std::lock_guard<std::mutex> lock(catalogue.mutex());
    EXPECT_TRUE(std::equal(tracks.begin(), tracks.end(), catalogue.tracks().begin(),
                           catalogue.tracks().end()));
    EXPECT_TRUE(catalogue.root() == tree);
}

} // namespace
} // namespace vyn
