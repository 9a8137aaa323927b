#include "library/Catalogue.h"
#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "library/XmlImport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

namespace vyn {
namespace {

std::vector<std::string> titles(const std::vector<const CatalogueTrack*>& tracks) {
    std::vector<std::string> out;
    for (const CatalogueTrack* t : tracks)
        out.push_back(t->title);
    return out;
}

TEST(CatalogueIdentity, IdsAreDenseAndFollowPathSourceAndKey) {
    const std::tuple<const char*, const char*, const char*, std::uint32_t> adds[] = {
        {"/m/a.mp3", "", "", 1},
        {"/m/b.mp3", "", "", 2},
        {"", "", "", 3},
        {"", "", "", 4}, // tracks without a path are never merged
        {"/m/a.mp3", "device-1", "", 5},
        {"/m/a.mp3", "device-1", "k2", 6},
        {"/m/a.mp3", "device-1", "", 5},
        {"/m/A.mp3", "", "", 7}, // paths differing only in case are different files
    };
    Catalogue c;
    EXPECT_EQ(c.nextId(), 1u);
    for (const auto& [path, sourceId, sourceKey, id] : adds) {
        CatalogueTrack t = test::trackAt(path, std::to_string(id));
        t.sourceId = sourceId;
        t.sourceKey = sourceKey;
        EXPECT_EQ(c.addTrack(t), id) << path << " " << sourceId << " " << sourceKey;
    }
    EXPECT_EQ(std::make_tuple(c.size(), c.nextId()), std::make_tuple(7u, 8u));
    EXPECT_EQ(c.trackById(0), nullptr);
    EXPECT_EQ(c.trackById(8), nullptr);
    ASSERT_NE(c.trackById(6), nullptr);
    EXPECT_EQ(std::tie(c.trackById(6)->id, c.trackById(6)->sourceKey), std::make_tuple(6u, "k2"));
}

TEST(CatalogueIdentity, SamePathReplacesTheTrackInPlace) {
    Catalogue c;
    c.addTrack(test::trackAt("/m/a.mp3", "first"));
    c.addTrack(test::trackAt("/m/b.mp3", "other"));
    ASSERT_TRUE(c.setRelinkedPath(1, "/elsewhere/a.mp3"));
    EXPECT_EQ(c.trackById(1)->effectivePath(), "/elsewhere/a.mp3");

    CatalogueTrack update = test::trackAt("/m/a.mp3", "second", "Artist");
    update.id = 77; // ignored: identity decides
    update.cues.push_back(CueMark{CueKind::HotCue, 0, 1.0, -1.0, ""});
    EXPECT_EQ(c.addTrack(update), 1u);
    ASSERT_EQ(c.size(), 2u);
    // The update whole under the old id: the re-import dropped the earlier relink.
    update.id = 1;
    EXPECT_EQ(*c.trackById(1), update);
    EXPECT_EQ(c.trackById(1)->effectivePath(), "/m/a.mp3");
    EXPECT_EQ(c.tracks()[1].title, "other");
    // The search index follows the replacement and keeps catalogue order.
    EXPECT_TRUE(c.search("first", 10).empty());
    c.addTrack(test::trackAt("/c", "second too"));
    EXPECT_EQ(titles(c.search("second", 10)), (std::vector<std::string>{"second", "second too"}));
}

TEST(CatalogueNames, StartPositionPrefersTheLoadPointThenTheFirstMemoryCue) {
    CatalogueTrack t;
    t.cues = {{CueKind::HotCue, 0, 10.0, -1.0, ""},
              {CueKind::Memory, -1, 20.0, -1.0, ""},
              {CueKind::LoadPoint, -1, 30.0, -1.0, ""}};
    for (const double start : {30.0, 20.0, 0.0}) {
        EXPECT_EQ(Catalogue::startPosition(t), start);
        t.cues.pop_back();
    }
}

TEST(CataloguePlaylists, SkipUnknownIdsAndKeepOrderAndDuplicates) {
    Catalogue c;
    c.addTrack(test::trackAt("/a", "a"));
    c.addTrack(test::trackAt("/b", "b"));
    PlaylistNode p;
    p.folder = false;
    p.trackIds = {2, 9, 1, 0, 2};
    EXPECT_EQ(titles(c.playlistTracks(p)), (std::vector<std::string>{"b", "a", "b"}));
}

TEST(CatalogueSearch, MatchesTheFourFieldsFoldingOnlyAsciiLetters) {
    CatalogueTrack genre = test::trackAt("/1", "Title", "Artist");
    genre.genre = "xabcx";
    CatalogueTrack album = test::trackAt("/3", "zzz");
    album.album = "The aBc Album";
    CatalogueTrack label = test::trackAt("/4", "none");
    label.label = "ABC Records"; // the label is not searched
    const std::string nul("a\0b", 3);
    Catalogue c;
    for (const CatalogueTrack& t :
         {genre, test::trackAt("/2", "ABC in title"), album, label,
          test::trackAt("/5", "Caf\xC3\xA9"), test::trackAt("/6", "CAF\xC3\x89"),
          test::trackAt("/7", "\xC3\x89T\xC3\x89"), test::trackAt("/8", "abc", "def"),
          test::trackAt("/9", nul)})
        c.addTrack(t);
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"ABC", {"Title", "ABC in title", "zzz", "abc"}},
        {"caf\xC3\xA9", {"Caf\xC3\xA9"}}, // é and É are different letters
        {"CAF", {"Caf\xC3\xA9", "CAF\xC3\x89"}},
        {"\xC3\x89t", {"\xC3\x89T\xC3\x89"}},
        {"cdef", {}}, // never across fields
        {std::string("c\0d", 3), {}},
        {std::string("a\0B", 3), {nul}},
        {"", {}},
    };
    for (const auto& [query, found] : cases)
        EXPECT_EQ(titles(c.search(query, 200)), found) << query;
    EXPECT_TRUE(c.search("abc", 0).empty());
}

TEST(CatalogueSearch, StopsAtTheLimitInCatalogueOrder) {
    Catalogue c;
    for (int i = 0; i < 1000; ++i)
        c.addTrack(test::trackAt("/m/" + std::to_string(i), "Track " + std::to_string(i)));
    const auto hits = c.search("track", 200);
    ASSERT_EQ(hits.size(), 200u);
    for (std::size_t i = 0; i < hits.size(); ++i)
        EXPECT_EQ(hits[i]->id, i + 1);
    EXPECT_EQ(c.search("track 99", 200).size(), 11u); // 99 and 990-999
}

TEST(CatalogueFiles, FileExistsForAnyEntry) {
    const std::string dir = test::scratchDir("catalogue-files");
    const std::string file = dir + "/Caf\xC3\xA9 #1 100%.mp3";
    // The name is UTF-8: a narrow path would be read in the Windows code page.
    std::ofstream(std::filesystem::path(std::u8string(file.begin(), file.end()))) << "x";
    EXPECT_TRUE(Catalogue::fileExists(file));
    EXPECT_TRUE(Catalogue::fileExists(dir));
    EXPECT_FALSE(Catalogue::fileExists(dir + "/missing.mp3"));
    EXPECT_FALSE(Catalogue::fileExists(""));
    EXPECT_FALSE(Catalogue::fileExists(file + "/below-a-file"));
}

TEST(CatalogueThreads, ReadersUnderTheLockSeeWholeTracksAndAConsistentTree) {
    // One thread re-imports a collection while another searches and walks playlists under the
    // catalogue lock. The import adds tracks in short lock turns, so a reader may see part of the
    // first import; but never a track half added (the search index agrees with the track list),
    // never tracks taken away, and never a playlist naming a track that is not there yet.
    std::vector<test::XmlTrackSpec> songs;
    for (int i = 0; i < 300; ++i)
        songs.push_back({"Song " + std::to_string(i), "", "/m/" + std::to_string(i) + ".mp3"});
    const std::string xml =
        test::writeXmlCollection(test::scratchDir("catalogue-threads") + "/c.xml", songs);

    Catalogue c;
    std::atomic<bool> done{false};
    std::atomic<int> inconsistent{0};
    std::thread reader([&] {
        std::size_t seen = 0;
        while (!done.load()) {
            std::lock_guard<std::mutex> lock(c.mutex());
            const std::size_t n = c.size();
            const std::size_t hits = c.search("song", 1000).size();
            bool unknownId = false;
            for (const PlaylistNode& p : c.root().children)
                for (std::uint32_t id : p.trackIds)
                    unknownId = unknownId || id == 0 || id > n;
            if (n < seen || hits != n || unknownId) ++inconsistent;
            seen = n;
        }
    });
    for (int round = 0; round < 20; ++round)
        ASSERT_TRUE(importXmlFile(c, xml).ok);
    done = true;
    reader.join();
    EXPECT_EQ(inconsistent.load(), 0);
    std::lock_guard<std::mutex> lock(c.mutex());
    EXPECT_EQ(c.size(), 300u);
    EXPECT_EQ(c.playlistTracks(c.root().children.at(0)).size(), 300u);
}

} // namespace
} // namespace vyn
