// The browse model over a known catalogue: the rows and details of every view, navigation there
// and back, search, the target deck, controller scrolling and events, and a tree replaced under a
// view that still points into the old one.

#include "library/BrowseModel.h"
#include "common/LibraryFixtures.h"
#include "library/MissingTracks.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vyn {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>; // text, detail

class Browse : public ::testing::Test {
protected:
    void SetUp() override {
        CatalogueTrack x = test::trackAt("/m/x.wav", "X", "Y");
        x.bpm = 127.6;
        x.duration = 185.4;
        catalogue.addTrack(x);                // 1
        catalogue.addTrack(CatalogueTrack{}); // 2: nothing to call it by
        CatalogueTrack solo = test::trackAt("/m/solo.wav", "Solo");
        solo.duration = 59.6;
        catalogue.addTrack(solo);                                    // 3
        catalogue.addTrack(test::trackAt("/gone.wav", "Gone", "Z")); // 4
        catalogue.replaceRoot(
            {"root",
             true,
             {},
             {{"Club", true, {}, {{"Peak", false, {1, 3}, {}}, {"", false, {2}, {}}}},
              {"Warm", false, {1, 4, 99}, {}},
              {"", true, {}, {}}}});
        missing.assign({4});
        model.refreshFromCatalogue();
    }
    Rows rows() const {
        Rows out;
        for (const BrowseRow& r : model.rows())
            out.emplace_back(r.text, r.detail);
        return out;
    }
    // The view's title and its selected row.
    std::string view() const { return model.title() + " @" + std::to_string(model.selected()); }
    void activateText(const std::string& text) {
        const auto& r = model.rows();
        for (std::size_t i = 0; i < r.size(); ++i)
            if (r[i].text == text) {
                model.activate(static_cast<int>(i), 3, 1, true);
                return;
            }
        ADD_FAILURE() << "no row " << text;
    }

    Catalogue catalogue;
    Catalogue catalogueWithoutTracks;
    MissingTracks missing;
    BrowseModel model{catalogue, &missing};
};

const std::string kSep = BrowseModel::kSeparator;

TEST_F(Browse, EveryViewListsItsRowsAndDetails) {
    EXPECT_EQ(model.title(), "Playlists");
    EXPECT_EQ(rows(), (Rows{{"All tracks", "4 tracks"},
                            {"Club", "folder"},
                            {"Peak", "2 tracks"},
                            {"(untitled)", "1 tracks"},
                            {"Warm", "3 tracks"},
                            {"(untitled)", "folder"}}));
    EXPECT_EQ(model.entries()[1].trackCount, 3u) << "a folder counts its playlists' tracks";

    activateText("Club");
    EXPECT_EQ(view(), "Club @1");
    EXPECT_EQ(rows(), (Rows{{"..", ""}, {"Peak", "2 tracks"}, {"(untitled)", "1 tracks"}}));

    activateText("Peak");
    EXPECT_EQ(model.title(), "Peak");
    EXPECT_EQ(rows(),
              (Rows{{"..", ""}, {"X", "Y" + kSep + "128 BPM" + kSep + "3:05"}, {"Solo", "1:00"}}));
    EXPECT_EQ(model.playlistKey(), "Club/Peak");
    model.goBack();
    activateText("(untitled)");
    EXPECT_EQ(model.title(), "Playlist");
    EXPECT_EQ(rows(), (Rows{{"..", ""}, {"(untitled)", ""}}));
    EXPECT_EQ(model.playlistKey(), "Club/(untitled)");

    model.openEntry(4);
    EXPECT_EQ(rows(), (Rows{{"..", ""},
                            {"X", "Y" + kSep + "128 BPM" + kSep + "3:05"},
                            {"Gone", "Z" + kSep + "missing"}}))
        << "an id without a track is skipped; a missing file says so";
    EXPECT_TRUE(model.rows()[2].missing);

    model.openAllTracks();
    EXPECT_EQ(view(), "All tracks @1");
    EXPECT_EQ(model.rows().size(), 5u);
}

TEST_F(Browse, BackReselectsTheRowThatLedIn) {
    EXPECT_FALSE(model.goBack()) << "nothing below the root";
    activateText("Club");
    activateText("Peak");
    ASSERT_TRUE(model.activate(0, 3, 1, true).navigated);
    EXPECT_EQ(view(), "Club @1") << "Peak";
    model.activate(0, 3, 1, true);
    EXPECT_EQ(view(), "Playlists @1") << "Club";
    activateText("All tracks");
    model.goBack();
    EXPECT_EQ(model.selected(), 0) << "All tracks";

    BrowseModel empty{catalogueWithoutTracks, nullptr};
    empty.refreshFromCatalogue();
    empty.activate(0, 3, 1, true);
    EXPECT_EQ(empty.title(), "All tracks");
    EXPECT_EQ(empty.selected(), 0);
}

TEST_F(Browse, SearchListsMatchesWithTheirShortDetail) {
    model.select(2);
    model.setSearch("o");
    EXPECT_EQ(model.title(), "Search results");
    EXPECT_EQ(rows(), (Rows{{"Solo", ""}, {"Gone", "Z" + kSep + "missing"}}));
    model.setSearch("x");
    EXPECT_EQ(rows(), (Rows{{"X", "Y" + kSep + "128 BPM"}}));
    const BrowseResult r = model.activate(0, 3, 2, true);
    EXPECT_EQ(std::tie(r.trackId, r.deck), std::make_tuple(1u, 1));
    model.setSearch("");
    EXPECT_EQ(view(), "Playlists @2") << "the browse selection comes back";
}

TEST_F(Browse, ActivationTargetsAClampedDeck) {
    model.openEntry(2); // Peak
    const std::tuple<int, int, int> cases[] = {
        {3, 9, 3}, {3, 2, 1}, {3, 0, 0}, {-1, 5, 0}, {15, 16, 15}};
    for (const auto& [lastDeck, deckNumber, deck] : cases) {
        const BrowseResult r = model.activate(2, lastDeck, deckNumber, true);
        EXPECT_EQ(std::tie(r.trackId, r.deck, r.navigated), std::make_tuple(3u, deck, false))
            << deckNumber;
    }
    for (int row : {-1, 3})
        EXPECT_EQ(model.activate(row, 3, 1, true).message, BrowseModel::kNoRow);
    BrowseModel none;
    EXPECT_EQ(none.title(), "Playlists");
    EXPECT_EQ(none.activate(0, 3, 1, true).message, BrowseModel::kNoRow);
}

TEST_F(Browse, ControllerScrollingNeverLandsOnTheBackRow) {
    model.openEntry(4); // Warm: back row and two tracks
    const std::tuple<int, std::int64_t, int> playlist[] = {
        {1, -5, 1}, {1, 1, 2}, {2, 100, 2}, {0, 0, 1}, {2, INT64_MIN / 2, 1}};
    for (const auto& [from, by, to] : playlist) {
        model.select(from);
        model.scroll(by);
        EXPECT_EQ(model.selected(), to) << from << " by " << by;
    }
    model.goBack();
    model.select(3);
    model.scroll(-10);
    EXPECT_EQ(model.selected(), 0) << "the root view has no back row";

    // Scrolls summed, then a load for deck 2, then back; deck selection clamps to the decks.
    model.openEntry(2);
    const BrowseResult load = model.applyEvents({{BrowseEvent::Kind::Scroll, 1},
                                                 {BrowseEvent::Kind::Scroll, 1},
                                                 {BrowseEvent::Kind::Activate, 1},
                                                 {BrowseEvent::Kind::Back, 0},
                                                 {BrowseEvent::Kind::SelectDeck, 9}},
                                                4);
    EXPECT_EQ(std::tie(load.trackId, load.deck, load.navigated), std::make_tuple(3u, 1, true));
    EXPECT_EQ(view(), "Playlists @2") << "Peak, the view left";
    EXPECT_EQ(model.targetDeck(), 3);
}

TEST_F(Browse, AReplacedTreeLeavesTheFallbackUntilTheNextRefresh) {
    model.openEntry(2); // Peak
    catalogue.replaceRoot({"USB", true, {}, {{"Other", false, {1}, {}}}});
    model.rebuildRows();
    EXPECT_EQ(model.title(), "Playlist");
    EXPECT_EQ(rows(), (Rows{{"..", ""}}));
    EXPECT_TRUE(model.playlistTracks().empty());
    model.refreshFromCatalogue();
    EXPECT_EQ(rows(), (Rows{{"All tracks", "4 tracks"}, {"Other", "1 tracks"}}));
}

} // namespace
} // namespace vyn
