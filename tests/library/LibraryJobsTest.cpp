// Library jobs: what each kind does to the catalogue and the saved lists and the message it
// leaves, one job at a time on its own thread. How long browsing waits for the catalogue lock
// during a large import is measured by the library import window benchmark.

#include "library/LibraryJobs.h"
#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "common/WavFiles.h"
#include "library/MissingTracks.h"
#include "library/MusicFolderImport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <tuple>

namespace vyn {
namespace {

using test::touch;
using Kind = LibraryJobKind;

class LibraryJobRun : public ::testing::Test {
protected:
    void SetUp() override { dir = test::scratchDir("library-jobs"); }
    LibraryJobOutcome run(Kind kind, const std::string& path = {}, const SavedDrives& saved = {}) {
        return runner.run(kind, path, saved);
    }
    std::string xml(const std::string& name, bool withMissingFile) {
        std::vector<test::XmlTrackSpec> tracks{{"One", "A", touch(dir + "/m/one.wav")}};
        if (withMissingFile) tracks.push_back({"Two", "B", dir + "/m/gone.wav"});
        return test::writeXmlCollection(dir + "/" + name, tracks);
    }

    std::string dir;
    Catalogue catalogue;
    MissingTracks missing;
    LibraryJobRunner runner{catalogue, missing};
};

// The importers' own messages are theirs to test; one failure shows that they pass through.
TEST_F(LibraryJobRun, ImportsReportTheirCountsOrTheirErrorAndRememberTheirDrives) {
    const std::string stick = test::writeStick(dir + "/stick", {"a.mp3", "b.mp3"});
    const std::string collection = xml("c.xml", true);
    const std::tuple<Kind, std::string, std::string> cases[] = {
        {Kind::ImportUsb, stick, "Imported 2 tracks, 0 with grids, 1 playlists."},
        {Kind::ImportXml, collection,
         "Imported 2 tracks, 0 with grids, 1 playlists. 1 files were missing."},
        {Kind::ImportXml, dir + "/none.xml", "could not open " + dir + "/none.xml"},
        {Kind::AddMusicFolder, dir + "/m", library_text::kMusicFolderAdded},
        {Kind::Relink, "", "Relinked 0 tracks, 1 still missing"},
    };
    for (const auto& [kind, path, message] : cases)
        EXPECT_EQ(run(kind, path).message, message) << path;

    // The drives of imports are remembered, each once.
    SavedDrives saved;
    saved = run(Kind::ImportUsb, stick, saved).saved;
    saved = run(Kind::ImportUsb, dir + "/not-a-stick", saved).saved; // failed: kept all the same
    saved = run(Kind::ImportXml, dir + "/none.xml", saved).saved;    // failed: not kept
    const LibraryJobOutcome ok = run(Kind::ImportXml, collection, saved);
    EXPECT_TRUE(ok.savedChanged);
    saved = ok.saved;
    const LibraryJobOutcome again = run(Kind::ImportUsb, stick, saved);
    EXPECT_FALSE(again.savedChanged) << "listed once";
    EXPECT_TRUE(saved == (SavedDrives{{stick, dir + "/not-a-stick"}, {dir + "/c.xml"}}));

    const std::size_t tracks = catalogue.size();
    const LibraryJobOutcome forget = run(Kind::Forget, "", saved);
    EXPECT_EQ(std::tie(forget.message, forget.savedChanged),
              std::make_tuple(library_text::kForgotten, true));
    EXPECT_TRUE(forget.saved.empty());
    EXPECT_EQ(catalogue.size(), tracks) << "the catalogue stays until the program ends";
}

TEST_F(LibraryJobRun, ReopeningReportsWhatCameBack) {
    const std::string a = test::writeStick(dir + "/a", {"1.mp3", "2.mp3"});
    const std::string unplugged = dir + "/unplugged";
    const std::string damaged = dir + "/damaged";
    touch(damaged + "/PIONEER/rekordbox/export.pdb", "not a database");
    const std::pair<SavedDrives, std::string> cases[] = {
        {{}, ""},
        {{{unplugged}, {}}, library_text::kNotConnected},
        {{{a, unplugged}, {}}, "reopened 2 tracks"},
        {{{a, damaged}, {}}, std::string("reopened 2 tracks") + library_text::kSomeMissing},
        {{{unplugged}, {xml("c.xml", false)}}, "reopened 1 tracks"},
    };
    for (const auto& [saved, message] : cases) {
        const LibraryJobOutcome o = run(Kind::Reopen, "", saved);
        EXPECT_EQ(o.message, message);
        EXPECT_FALSE(o.savedChanged) << "reopening never changes the lists";
    }
}

TEST_F(LibraryJobRun, MusicFoldersStayInTheTreeThatLaterImportsInstall) {
    const std::string music = dir + "/Music";
    const std::string collection = xml("c.xml", false);
    const SavedDrives saved{{music, dir + "/gone"}, {collection}};
    test::writeToneWav(music + "/x.wav", 440.0, 0.1);
    touch(music + "/y.wav"); // one byte is no audio: left out
    EXPECT_EQ(run(Kind::Reopen, "", saved).message, "reopened 2 tracks");
    // The XML collection's tree, with the music folders beside it.
    std::lock_guard<std::mutex> lock(catalogue.mutex());
    EXPECT_EQ(catalogue.root(),
              (PlaylistNode{"ROOT",
                            true,
                            {},
                            {{"Set", false, {2}, {}},
                             {kMusicFoldersNode, true, {}, {{"Music", false, {1}, {}}}}}}));
}

// --- the job thread ---

TEST(LibraryJobThread, OneJobAtATimeReportingWhenDone) {
    Catalogue catalogue;
    MissingTracks missing;
    LibraryJobs jobs(catalogue, missing);
    std::mutex m;
    std::condition_variable cv;
    int done = 0;
    auto notify = [&] {
        std::lock_guard<std::mutex> lock(m);
        ++done;
        cv.notify_all();
    };
    LibraryJobOutcome outcome;
    EXPECT_FALSE(jobs.collect(outcome)) << "nothing to collect";
    {
        // The relink job waits for the catalogue lock held here, so it is surely still running.
        std::unique_lock<std::mutex> held(catalogue.mutex());
        ASSERT_EQ(jobs.start(Kind::Relink, "", {}, notify), LibraryJobs::Start::Started);
        EXPECT_TRUE(jobs.busy());
        EXPECT_EQ(jobs.progressText(), library_text::kWorking);
        EXPECT_EQ(jobs.start(Kind::Forget, "", {}, notify), LibraryJobs::Start::Busy);
        EXPECT_FALSE(jobs.collect(outcome)) << "still running";
    }
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return done == 1; }));
    }
    ASSERT_TRUE(jobs.collect(outcome));
    EXPECT_EQ(outcome.kind, Kind::Relink);
    EXPECT_FALSE(jobs.busy());
    EXPECT_EQ(jobs.progressText(), "");

    ASSERT_EQ(jobs.start(Kind::Reopen, "", {}, notify), LibraryJobs::Start::Started);
    jobs.shutdown();
    EXPECT_TRUE(jobs.collect(outcome)) << "a job that ended at shutdown is still collected";
    EXPECT_EQ(jobs.start(Kind::Relink, "", {}, notify), LibraryJobs::Start::ShuttingDown);
}

} // namespace
} // namespace vyn
