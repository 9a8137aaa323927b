// A generated collection of 20,000 tracks imports completely, matches what the generator wrote,
// and imports identically a second time.

#include "common/TestPaths.h"
#include "library/Catalogue.h"
#include "library/XmlCollectionGenerator.h"
#include "library/XmlImport.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vyn {
namespace {

constexpr std::size_t kTracks = 20000;

// Compares an imported playlist tree with the generator's, entries mapped through `ids`.
void expectSameTree(const test::ExpectedNode& expected, const PlaylistNode& actual,
                    const std::vector<std::uint32_t>& ids) {
    std::vector<std::pair<const test::ExpectedNode*, const PlaylistNode*>> work{
        {&expected, &actual}};
    while (!work.empty()) {
        const auto [e, a] = work.back();
        work.pop_back();
        ASSERT_EQ(a->name, e->name);
        ASSERT_EQ(a->folder, e->folder) << e->name;
        ASSERT_EQ(a->trackIds.size(), e->tracks.size()) << e->name;
        for (std::size_t i = 0; i < e->tracks.size(); ++i)
            ASSERT_EQ(a->trackIds[i], ids[e->tracks[i]]) << e->name << " entry " << i;
        ASSERT_EQ(a->children.size(), e->children.size()) << e->name;
        for (std::size_t i = 0; i < e->children.size(); ++i)
            work.emplace_back(&e->children[i], &a->children[i]);
    }
}

void expectSameTrack(const test::ExpectedTrack& e, const CatalogueTrack& t) {
    ASSERT_EQ(t.title, e.title);
    ASSERT_EQ(t.artist, e.artist);
    ASSERT_EQ(t.album, e.album);
    ASSERT_EQ(t.genre, e.genre);
    ASSERT_EQ(t.key, e.key);
    ASSERT_EQ(t.path, e.path);
    ASSERT_EQ(t.bpm, e.bpm);
    ASSERT_EQ(t.duration, e.duration);
    ASSERT_EQ(t.grid.beats.size(), e.beats.size()) << e.title;
    for (std::size_t i = 0; i < e.beats.size(); ++i) {
        ASSERT_NEAR(t.grid.beats[i].time, e.beats[i].time, 1e-9) << e.title << " beat " << i;
        ASSERT_EQ(t.grid.beats[i].bpm, e.beats[i].bpm);
        ASSERT_EQ(t.grid.beats[i].beatInBar, e.beats[i].beatInBar) << e.title << " beat " << i;
    }
    ASSERT_EQ(t.cues.size(), e.cues.size());
    for (std::size_t i = 0; i < e.cues.size(); ++i) {
        ASSERT_EQ(static_cast<int>(t.cues[i].kind), e.cues[i].kind);
        ASSERT_EQ(t.cues[i].number, e.cues[i].number);
        ASSERT_EQ(t.cues[i].start, e.cues[i].start);
        ASSERT_EQ(t.cues[i].end, e.cues[i].end);
        ASSERT_EQ(t.cues[i].name, e.cues[i].name);
    }
}

bool sameTrack(const CatalogueTrack& a, const CatalogueTrack& b) {
    if (a.id != b.id || a.title != b.title || a.artist != b.artist || a.path != b.path ||
        a.bpm != b.bpm || a.grid.beats.size() != b.grid.beats.size() ||
        a.cues.size() != b.cues.size() || a.grid.bpm != b.grid.bpm)
        return false;
    for (std::size_t i = 0; i < a.grid.beats.size(); ++i)
        if (a.grid.beats[i].time != b.grid.beats[i].time) return false;
    return true;
}

bool sameTree(const PlaylistNode& a, const PlaylistNode& b) {
    std::vector<std::pair<const PlaylistNode*, const PlaylistNode*>> work{{&a, &b}};
    while (!work.empty()) {
        const auto [x, y] = work.back();
        work.pop_back();
        if (x->name != y->name || x->folder != y->folder || x->trackIds != y->trackIds ||
            x->children.size() != y->children.size())
            return false;
        for (std::size_t i = 0; i < x->children.size(); ++i)
            work.emplace_back(&x->children[i], &y->children[i]);
    }
    return true;
}

TEST(GeneratedCollection, TwentyThousandTracksImportCompletelyAndIdenticallyTwice) {
    const std::string dir = test::scratchDir("generated-20k");
    const std::string music = dir + "/Musik \xC3\xBC & 100%";
    const test::ExpectedCollection expected = test::generateXmlCollection(kTracks, 7, music);
    ASSERT_EQ(expected.tracks.size(), kTracks);
    ASSERT_GT(expected.locationKeyedPlaylists, 0u);
    ASSERT_GE(expected.maxDepth, 4u);

    // Every 500th file exists, under its non-ASCII, percent-escaped name.
    std::size_t present = 0;
    for (std::size_t i = 0; i < kTracks; i += 500) {
        const std::filesystem::path p(
            std::u8string(expected.tracks[i].path.begin(), expected.tracks[i].path.end()));
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << "audio";
        ++present;
    }
    const std::string file = dir + "/collection.xml";
    ASSERT_TRUE(writeFileAtomically(file, expected.xml, nullptr));

    Catalogue catalogue;
    const ImportResult first = importXmlFile(catalogue, file);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.counts.tracks, kTracks);
    EXPECT_EQ(first.counts.withGrids, kTracks);
    EXPECT_EQ(first.counts.playlists, expected.playlists);
    EXPECT_EQ(first.counts.missingFiles, kTracks - present);

    std::vector<std::uint32_t> ids(kTracks);
    std::vector<CatalogueTrack> snapshot;
    PlaylistNode tree;
    {
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        ASSERT_EQ(catalogue.size(), kTracks);
        for (std::size_t i = 0; i < kTracks; ++i) {
            ids[i] = static_cast<std::uint32_t>(i + 1);
            expectSameTrack(expected.tracks[i], *catalogue.trackById(ids[i]));
        }
        expectSameTree(expected.root, catalogue.root(), ids);
        snapshot = catalogue.tracks();
        tree = catalogue.root();
    }

    const ImportResult second = importXmlFile(catalogue, file);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(second.counts.tracks, first.counts.tracks);
    EXPECT_EQ(second.counts.missingFiles, first.counts.missingFiles);
    std::lock_guard<std::mutex> lock(catalogue.mutex());
    ASSERT_EQ(catalogue.size(), kTracks);
    for (std::size_t i = 0; i < kTracks; ++i)
        ASSERT_TRUE(sameTrack(snapshot[i], catalogue.tracks()[i])) << i;
    EXPECT_TRUE(sameTree(tree, catalogue.root()));
    // Searching the imported collection finds the generator's words.
    EXPECT_EQ(catalogue.search("caf\xC3\xA9", 200).size(), 200u);
}

TEST(GeneratedCollection, IsDeterministic) {
    const auto a = test::generateXmlCollection(50, 3, "/m");
    const auto b = test::generateXmlCollection(50, 3, "/m");
    const auto c = test::generateXmlCollection(50, 4, "/m");
    EXPECT_EQ(a.xml, b.xml);
    EXPECT_NE(a.xml, c.xml);
}

} // namespace
} // namespace vyn
