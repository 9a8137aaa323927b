#include "library/UsbImport.h"
#include "SampleStick.h"
#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "library/XmlImport.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

TEST(UsbImport, TracksAndTreeReachTheCatalogue) {
    const std::string root = test::writeSampleStick(test::scratchDir("usb-import"));
    Catalogue c;
    const ImportResult r = importUsbStick(c, root + "//");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(importReport(r.counts),
              "Imported 2 tracks, 1 with grids, 2 playlists. 1 files were missing.");

    std::lock_guard<std::mutex> lock(c.mutex());
    ASSERT_EQ(c.size(), 2u);
    const CatalogueTrack& a = c.tracks()[0];
    // The album's id is unknown; the grid is left to the loader.
    EXPECT_EQ(
        std::tie(a.title, a.artist, a.key, a.album, a.bpm, a.duration, a.path, a.analysisPath),
        std::make_tuple("Alpha", "Artist", "Am", "", 124.0, 200.0, root + "/Contents/alpha.wav",
                        root + "/PIONEER/USBANLZ/P001/ANLZ0000.DAT"));
    EXPECT_TRUE(a.grid.empty());
    const CatalogueTrack& b = c.tracks()[1];
    EXPECT_EQ(std::tie(b.title, b.path), std::make_tuple("beta.mp3", root + "/Contents/beta.mp3"));

    // Sort order 0 before 1; the entry naming no track is dropped.
    const PlaylistNode want{
        "USB",
        true,
        {},
        {{"Top", false, {}, {}}, {"Folder", true, {}, {{"Inside", false, {b.id, a.id}, {}}}}}};
    EXPECT_TRUE(c.root() == want);
}

TEST(UsbImport, ReimportKeepsIdsAndFillsGridsWhenAskedAndAFailedReadChangesNothing) {
    const std::string root = test::writeSampleStick(test::scratchDir("usb-reimport"));
    Catalogue c;
    ASSERT_TRUE(importUsbStick(c, root).ok);
    UsbImportOptions options;
    options.readAnalysis = true;
    ASSERT_TRUE(importUsbStick(c, root, options).ok);
    const std::string empty = test::scratchDir("usb-failed-empty");
    const ImportResult failed = importUsbStick(c, empty);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, "could not open " + empty + "/PIONEER/rekordbox/export.pdb");

    std::lock_guard<std::mutex> lock(c.mutex());
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c.root().children.size(), 2u);
    const CatalogueTrack& a = c.tracks()[0];
    EXPECT_EQ(a.grid.beats, (std::vector<GridBeat>{{0.1, 124, 1}, {0.584, 124, 2}}));
    EXPECT_EQ(a.cues, (std::vector<CueMark>{{CueKind::Memory, -1, 0.5, -1.0, ""},
                                            {CueKind::HotCue, 0, 1.0, -1.0, ""}}));
}

TEST(UsbImport, ARowWhosePathLeavesTheStickIsSkippedOnEveryImport) {
    // The escaping file exists (inside the scratch folder, two levels above the stick's Contents).
    const std::string root = test::writeStick(test::scratchDir("usb-escape") + "/stick",
                                              {"in.mp3", "../../etc/out.mp3"});
    Catalogue c;
    for (int import = 0; import < 2; ++import) {
        const ImportResult r = importUsbStick(c, root);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.counts.tracks, 1u);
    }
    std::lock_guard<std::mutex> lock(c.mutex());
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c.tracks()[0].title, "in.mp3");
    EXPECT_EQ(c.root().children.at(0).trackIds, std::vector<std::uint32_t>{c.tracks()[0].id});
}

TEST(UsbPaths, ResolveAgainstTheRootAndRefuseEscapes) {
    EXPECT_EQ(trimStickRoot("E:\\"), "E:");
    const std::pair<std::string, std::string> cases[] = {
        {"/Contents/a.mp3", "/s/Contents/a.mp3"},
        {"Contents/a.mp3", "/s/Contents/a.mp3"},
        {"/Contents/..mix/a..b.mp3", "/s/Contents/..mix/a..b.mp3"},
        {"", ""},
        {"/Contents/../../etc/passwd", ""},
        {"..\\x.mp3", ""},
        {std::string("/a\0b", 4), ""},
    };
    for (const auto& [path, resolved] : cases)
        EXPECT_EQ(resolveStickPath("/s", path), resolved) << path;
}

std::size_t countNodes(const PlaylistNode& n, std::size_t depth, std::size_t& maxDepth) {
    maxDepth = std::max(maxDepth, depth);
    std::size_t total = 1;
    for (const PlaylistNode& child : n.children)
        total += countNodes(child, depth + 1, maxDepth);
    return total;
}

TEST(UsbTree, HostileTreesStayFinite) {
    const std::unordered_map<std::uint32_t, std::uint32_t> ids{{1, 101}};
    std::uint64_t playlists = 0;
    std::size_t depth = 0;

    // Every level lists its child id twice: built once per id, not 2^40 times.
    std::vector<PdbPlaylist> doubled;
    for (std::uint32_t level = 1; level <= 40; ++level)
        for (int copy = 0; copy < 2; ++copy)
            doubled.push_back({level, level - 1, 0, level < 40, "n", {1}});
    PlaylistNode tree = buildUsbPlaylistTree(doubled, ids, playlists);
    EXPECT_EQ(countNodes(tree, 0, depth), 41u);
    EXPECT_EQ(playlists, 1u);

    // A cycle hanging off the root, and one that nothing reaches.
    std::vector<PdbPlaylist> cyclic{{1, 0, 0, true, "a", {}},  {2, 1, 0, true, "b", {}},
                                    {1, 2, 0, true, "a'", {}}, {7, 8, 0, false, "x", {}},
                                    {8, 7, 0, false, "y", {}}, {0, 1, 0, true, "root?", {}}};
    tree = buildUsbPlaylistTree(cyclic, ids, playlists);
    EXPECT_EQ(countNodes(tree, 0, depth), 3u);
    EXPECT_EQ(tree.children[0].name, "a");

    // A chain deeper than any real tree is cut where the other importers stop too.
    std::vector<PdbPlaylist> chain;
    for (std::uint32_t level = 1; level <= 5000; ++level)
        chain.push_back({level, level - 1, 0, true, "deep", {1, 2}});
    depth = 0;
    tree = buildUsbPlaylistTree(chain, ids, playlists);
    countNodes(tree, 0, depth);
    EXPECT_EQ(depth + 1, kMaxPlaylistDepth);
    EXPECT_EQ(tree.children[0].trackIds, (std::vector<std::uint32_t>{101}));
}

} // namespace
} // namespace vyn
