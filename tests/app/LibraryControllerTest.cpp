// The library in the application, without a display: jobs started as the library window starts
// them and finished through the refresh pass, the saved drives across two starts, loads with Set
// Plan followers onto the silent output's decks, controller browse events, and the Set Plan
// editor's operations.

#include "app/LibraryController.h"
#include "app/Application.h"
#include "audio/NullAudioDevice.h"
#include "common/LibraryFixtures.h"
#include "common/RealtimeGuard.h"
#include "common/TestPaths.h"
#include "common/WavFiles.h"
#include "control/midi/MidiDispatcher.h"
#include "library/Catalogue.h"
#include "support/SettingsStore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace vyn {
namespace {

using Clock = Application::Clock;

class LibraryInTheApp : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("library-app");
        for (int i = 0; i < 3; ++i)
            tracks.push_back(
                {"Track " + std::to_string(i + 1), "DJ",
                 test::writeToneWav(dir + "/m/" + std::to_string(i) + ".wav", 220.0 * (i + 1), 4.0),
                 120.0, 4.0});
        xml = test::writeXmlCollection(dir + "/collection.xml", tracks, "Set");
    }
    void makeApp(bool audio) {
        app.reset();
        ApplicationOptions options;
        options.settings = openSettingsFile(dir + "/settings.ini");
        options.midi = false;
        options.setPlanFile = dir + "/documents/setplan.txt";
        if (audio) options.device = std::make_unique<NullAudioDevice>(2, 48000.0, 256);
        app = std::make_unique<Application>(std::move(options));
        app->start();
        waitFor([&] { return !library().busy(); }); // the reopen job
    }
    LibraryController& library() { return app->library(); }
    // Runs refresh passes (which finish library jobs) until `done` or 20 s.
    bool waitFor(const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i) {
            app->refresh(Clock::now() + std::chrono::seconds(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }
    void runJob(LibraryJobKind kind, const std::string& path) {
        library().startJob(kind, path);
        ASSERT_TRUE(waitFor([&] { return !library().busy(); }));
    }
    std::size_t catalogueSize() {
        std::lock_guard<std::mutex> lock(app->catalogue().mutex());
        return app->catalogue().size();
    }
    void openPlaylist(BrowseModel& model) {
        model.openEntry(1);
        ASSERT_TRUE(model.showsPlaylist());
    }

    std::string dir, xml;
    std::vector<test::XmlTrackSpec> tracks;
    std::unique_ptr<Application> app;
};

TEST_F(LibraryInTheApp, ForgetKeepsTheCatalogueAndTheNextStartIsEmpty) {
    makeApp(false);
    EXPECT_EQ(library().status(), "") << "nothing saved, nothing to say";
    runJob(LibraryJobKind::ImportXml, xml);
    EXPECT_EQ(library().status(), "Imported 3 tracks, 0 with grids, 1 playlists.");
    EXPECT_EQ(app->statusLine(), library().status());
    EXPECT_EQ(readWholeFile(dir + "/settings.ini").data, "libraryXml=" + xml + "\n");

    makeApp(false);
    EXPECT_EQ(library().status(), "reopened 3 tracks");
    EXPECT_EQ(library().browser().rows().size(), 2u) << "All tracks and the playlist";
    runJob(LibraryJobKind::Forget, "");
    EXPECT_EQ(library().status(), library_text::kForgotten);
    EXPECT_EQ(catalogueSize(), 3u);
    EXPECT_EQ(readWholeFile(dir + "/settings.ini").data, "");

    makeApp(false);
    EXPECT_EQ(catalogueSize(), 0u);
    EXPECT_EQ(library().status(), "");
}

TEST_F(LibraryInTheApp, AJobThatEndsAsTheApplicationClosesStillSavesItsDrive) {
    makeApp(false);
    library().startJob(LibraryJobKind::ImportXml, xml);
    app.reset(); // no refresh pass collects the job
    EXPECT_EQ(readWholeFile(dir + "/settings.ini").data, "libraryXml=" + xml + "\n");
}

TEST_F(LibraryInTheApp, AGroupLeaderBringsItsFollowersOntoDecksThatAreNotPlaying) {
    makeApp(true);
    runJob(LibraryJobKind::ImportXml, xml);
    // Deck 3 plays track 1.
    ASSERT_TRUE(library().loadTrack(2, 1, -1));
    ASSERT_TRUE(waitFor([&] { return app->snapshot().decks[2].state != 0; }));
    app->pressDeckControl(2, deck_control::PLAY);
    ASSERT_TRUE(waitFor([&] {
        return app->snapshot().decks[2].state == static_cast<std::uint8_t>(DeckState::PLAYING);
    }));

    SetPlanEditor& editor = library().setPlan();
    openPlaylist(editor.browser());
    editor.rowsChanged();
    editor.click(1, false, false);
    editor.click(3, false, true);
    editor.group();
    EXPECT_EQ(editor.status(), "Grouped 3 tracks.");
    EXPECT_EQ(editor.marks()[1].run, 1);

    // The first of the group onto deck 2 of four: the rest go to decks 4 and 1.
    test::resetRealtimeViolations();
    openPlaylist(library().browser());
    library().selectDeck(1);
    library().activate(1);
    ASSERT_TRUE(waitFor([&] {
        return app->deckView(1).trackName == "DJ - Track 1" &&
               app->deckView(3).trackName == "DJ - Track 2" &&
               app->deckView(0).trackName == "DJ - Track 3";
    })) << app->deckView(3).trackName
        << " / " << app->deckView(0).trackName;
    EXPECT_TRUE(test::noRealtimeViolations());

    // A controller: track search on deck 1 steps down a row, releasing loads it there.
    library().applyMidiBrowse({{midi_browse::search, 0, 1}, {midi_browse::load, 0, 0}});
    ASSERT_TRUE(waitFor([&] { return app->deckView(0).trackName == "DJ - Track 2"; }));
}

TEST_F(LibraryInTheApp, SetPlanEditsAreKeptAtOnceAndUndone) {
    makeApp(false);
    runJob(LibraryJobKind::ImportXml, xml);
    SetPlanEditor& editor = library().setPlan();
    editor.group();
    EXPECT_EQ(editor.status(), set_plan_text::kNoPlaylist);
    openPlaylist(editor.browser());
    editor.rowsChanged();
    editor.click(2, false, false);
    editor.moveSelection(+1, true);
    editor.group();
    EXPECT_EQ(editor.status(), "Grouped 2 tracks.");
    const std::string grouped = readWholeFile(dir + "/documents/setplan.txt").data;
    EXPECT_NE(grouped.find("playlist Set\ngroup 2\n"), std::string::npos) << grouped;
    EXPECT_FALSE(editor.canSave()) << "no stick group: nothing for Save to do";
    editor.undo();
    EXPECT_EQ(editor.status(), set_plan_text::kUndid);
    EXPECT_EQ(readWholeFile(dir + "/documents/setplan.txt").data, "VYNSETPLAN 1\n");
    EXPECT_EQ(editor.marks()[2].run, 0);
    editor.redo();
    EXPECT_EQ(editor.status(), set_plan_text::kRedid);
    EXPECT_EQ(editor.marks()[2].run, 1);
}

} // namespace
} // namespace vyn
