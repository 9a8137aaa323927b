// Finding moved files: the relink index's three searches, its scan, and the pass over the
// catalogue that counts, writes relinked paths back and keeps the missing set.

#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "library/MissingTracks.h"
#include "library/RelinkIndex.h"
#include "library/RelinkPass.h"

#include <gtest/gtest.h>

#include <atomic>
#include <tuple>

namespace vyn {
namespace {

using test::touch;

TEST(RelinkIndex, NormalisedFolders) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/b/../c/", "/a/c"}, {"/a//b/./c", "/a/b/c"}, {"/", "/"}, {"", ""}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(RelinkIndex::normalise(in), test::nativePath(out)) << in;
    RelinkIndex index;
    index.addFolder("/music/");
    index.addFolder("/music");
    index.addFolder("//");
    EXPECT_EQ(index.folders(), std::vector<std::string>{test::nativePath("/music")});
}

TEST(RelinkIndex, SuffixSearchLearnsARuleThatFindsTheNextTrackDirectly) {
    const std::string dir = test::scratchDir("relink-rule");
    const std::string backup = dir + "/Backup";
    touch(test::nativePath(backup + "/Music/A/x.mp3"));
    // Deeper than the suffix search looks (eight components): only the rule can find it.
    const std::string deep = "/Music/B/1/2/3/4/5/6/7/y.mp3";
    touch(test::nativePath(backup + deep));
    RelinkIndex index;
    index.addFolder(backup);

    EXPECT_EQ(index.findReplacement("D:/Music/A/x.mp3"),
              test::nativePath(backup + "/Music/A/x.mp3"));
    ASSERT_EQ(index.rules().size(), 1u);
    EXPECT_EQ(index.rules()[0].oldPrefix, "D:");
    EXPECT_EQ(index.rules()[0].newPrefix, test::nativePath(backup));
    EXPECT_EQ(index.findReplacement("D:" + deep), test::nativePath(backup + deep));
    EXPECT_EQ(index.findReplacement("D:\\Music\\A\\x.mp3"),
              test::nativePath(backup + "/Music/A/x.mp3"))
        << "paths from another system split at backslashes too";
    EXPECT_EQ(index.findReplacement("D:extra/Music/A/x.mp3"),
              test::nativePath(backup + "/Music/A/x.mp3"))
        << "found by suffix, not by the rule for D:";
    EXPECT_EQ(index.rules().size(), 2u) << "a second old prefix was learned";
}

TEST(RelinkIndex, NameIndexPicksTheFileOfTheSameParentFolder) {
    const std::string dir = test::scratchDir("relink-names");
    touch(dir + "/lib/A/x.mp3");
    touch(test::nativePath(dir + "/lib/B/x.mp3"));
    touch(test::nativePath(dir + "/lib/deep/Only.MP3"));
    RelinkIndex index;
    index.addFolder(dir + "/lib");
    EXPECT_EQ(index.scan(), 3u);
    EXPECT_EQ(index.findReplacement("/gone/B/x.mp3"), test::nativePath(dir + "/lib/B/x.mp3"));
    EXPECT_EQ(index.findReplacement("/gone/C/x.mp3"), "");
    EXPECT_EQ(index.findReplacement("x.mp3"), "") << "no parent folder to choose by";
    EXPECT_EQ(index.findReplacement("/other/place/only.mp3"),
              test::nativePath(dir + "/lib/deep/Only.MP3"))
        << "one file of that name, in any case";
}

TEST(RelinkIndex, ScanStopsAtItsLimitAndRulesRespectComponents) {
    const std::string dir = test::scratchDir("relink-limit");
    for (int i = 0; i < 8; ++i)
        touch(dir + "/lib/f" + std::to_string(i) + ".wav");
    RelinkIndex index;
    index.addFolder(dir + "/lib");
    EXPECT_EQ(index.scan(5), 5u);
    EXPECT_EQ(index.indexedFiles(), 5u);
    const std::atomic<bool> stop{true};
    EXPECT_EQ(index.scan(RelinkIndex::kScanLimit, &stop), 0u) << "a job asked to stop";

    touch(dir + "/new/er/x.mp3");
    touch(test::nativePath(dir + "/new/A/z.mp3"));
    RelinkIndex rules;
    rules.addFolder(dir + "/new");
    ASSERT_EQ(rules.findReplacement("/old/A/z.mp3"),
              test::nativePath(dir + "/new/A/z.mp3")); // learns /old
    EXPECT_EQ(rules.findReplacement("/older/x.mp3"), "")
        << "the rule for /old says nothing about /older";
}

TEST(RelinkPass, CountsWritesBackAndKeepsTheMissingSet) {
    const std::string dir = test::scratchDir("relink-pass");
    const std::string here = touch(dir + "/here.wav");
    touch(dir + "/lib/Moved/m.wav");
    touch(dir + "/lib/Scanned/deep/s.wav");
    Catalogue c;
    MissingTracks missing;
    c.addTrack(test::trackAt(here));                        // 1 fine
    c.addTrack(test::trackAt("/old/Moved/m.wav"));          // 2 found by suffix
    c.addTrack(test::trackAt("/elsewhere/Scanned/s.wav"));  // 3 found by the scan's name index
    c.addTrack(test::trackAt("/nowhere/gone.wav"));         // 4 missing
    CatalogueTrack remote = test::trackAt("/remote/r.wav"); // 5 never relinked, never counted
    remote.sourceId = "stream";
    c.addTrack(remote);
    c.setRelinkedPath(1, dir + "/stale.wav"); // relinked once, now back at its own place

    RelinkIndex index;
    index.addFolder(dir + "/lib");
    const RelinkResult r = relinkCatalogue(c, missing, index, true);
    EXPECT_EQ(std::tie(r.fine, r.relinked, r.missing, r.folders),
              std::make_tuple(1u, 2u, 1u, index.folders()));
    EXPECT_EQ(relinkReport(r), "Relinked 2 tracks, 1 still missing");
    EXPECT_EQ((std::vector<std::string>{c.trackById(1)->relinkedPath, c.trackById(2)->relinkedPath,
                                        c.trackById(3)->relinkedPath}),
              (std::vector<std::string>{"", test::nativePath(dir + "/lib/Moved/m.wav"),
                                        test::nativePath(dir + "/lib/Scanned/deep/s.wav")}));
    EXPECT_EQ(std::make_tuple(missing.size(), missing.contains(4)), std::make_tuple(1u, true));

    // Without scanning, a second run keeps the relinked tracks and finds nothing new.
    RelinkIndex fresh;
    const RelinkResult again = relinkCatalogue(c, missing, fresh, false);
    EXPECT_EQ(again.relinked, 2u);
    EXPECT_EQ(relinkReport(RelinkResult{3, 0, 0, {}}), "Relinked 3 tracks");
}

} // namespace
} // namespace vyn
