// The library window and the Set Plan editor as a person uses them, in the real window under
// Xvfb: an XML collection imported through "XML…" and the file dialog, a search, a track
// double-clicked onto deck 2 and heard from the null sink, then two tracks grouped in the Set
// Plan workspace and the grouping undone with Ctrl+Z. Screenshots of both are kept in
// test-artifacts.

#include "common/LibraryFixtures.h"
#include "common/SinkRecorder.h"
#include "common/TestPaths.h"
#include "common/ToneMeasure.h"
#include "common/WavFiles.h"
#include "common/WindowDriver.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

using namespace std::chrono_literals;

TEST(LibraryWindow, ImportSearchLoadByDoubleClickAndHearIt) {
    VYN_REQUIRE_TEST_SERVICES();
    const std::string dir = test::scratchDir("library-window");
    const std::string xml = test::writeXmlCollection(
        dir + "/rekordbox.xml",
        {{"Low Tone", "DJ", test::writeToneWav(dir + "/music/low.wav", 440.0, 30.0), 120, 30},
         {"High Tone", "DJ", test::writeToneWav(dir + "/music/high.wav", 1000.0, 30.0), 124, 30},
         {"Gone", "DJ", dir + "/music/gone.wav", 0, 0}},
        "Warm up");

    test::WindowProcess w(dir);
    ASSERT_TRUE(w.opened(1007));
    // The recorder starts well ahead: a new recording stream may get nothing for about 2 s.
    test::SinkRecorder recorder("vyn_stereo", 2, dir + "/sink.raw");

    ASSERT_TRUE(w.click(1007)); // "Library"
    ASSERT_TRUE(w.lists(1301, "XML\xE2\x80\xA6"));
    ASSERT_TRUE(w.click(1301));
    ASSERT_TRUE(w.lists(1200));
    w.type(xml);
    // The window draws one frame per key press: a long path takes a while on a loaded machine.
    const std::string imported =
        "Imported 3 tracks, 0 with grids, 1 playlists. 1 files were missing.";
    ASSERT_TRUE(w.shows(1311, imported, 90s));
    EXPECT_EQ(w.map().labelled("Warm up", 1320, 1349), 1321) << "the playlist in the jump list";

    ASSERT_TRUE(w.click(1305)); // "Search collection"
    w.type("high", false);
    test::UiMapFile m = w.waitFor(
        [](const test::UiMapFile& f) {
            return f.text(1310) == "Search results" && f.labelled("High Tone", 1350, 1379) != 0;
        },
        60s);
    // What a search finds and how a row reads is BrowseModelTest's.
    const int row = m.labelled("High Tone", 1350, 1379);
    ASSERT_NE(row, 0) << m.text(1310);

    ASSERT_TRUE(w.click(1306)); // the deck selector
    ASSERT_TRUE(w.lists(1381));
    ASSERT_TRUE(w.click(1381));
    ASSERT_TRUE(w.lists(1306, "Deck 2"));
    ASSERT_TRUE(w.doubleClick(row));
    ASSERT_TRUE(w.shows(deckControlId(1, 31), "DJ - High Tone")) << w.map().text(1311);
    ASSERT_TRUE(w.shows(deckControlId(1, 32), "READY"));

    ASSERT_TRUE(w.keepScreenshot("library-window.png"));

    ASSERT_TRUE(w.click(1007)); // the library window closes, uncovering the deck
    ASSERT_EQ(w.waitFor([](const test::UiMapFile& f) {
                   return !f.controls.count(1301);
               }).controls.count(1301),
              0u);
    ASSERT_TRUE(w.click(deckControlId(1, 0))); // Play
    ASSERT_TRUE(w.shows(deckControlId(1, 32), "PLAYING"));
    // A new stream on an idle null sink may get nothing for seconds: wait for the sound.
    EXPECT_TRUE(recorder.waitForSound(0, 0.5)) << "the sink played nothing";
    const std::vector<float> heard = test::fromFirstSound(recorder.stop());
    ASSERT_GE(heard.size(), 2u * 4800) << "less than 0.1 s of sound";
    EXPECT_NEAR(test::dominantFrequency(heard), 1000.0, 2.0);

    // The Set Plan workspace: two rows of the playlist grouped, then undone.
    ASSERT_TRUE(w.click(1031));
    ASSERT_TRUE(w.waitFor([](const test::UiMapFile& f) {
                     return f.labelled("Warm up", 1720, 1739) != 0;
                 }).labelled("Warm up", 1720, 1739));
    ASSERT_TRUE(w.click(w.map().labelled("Warm up", 1720, 1739)));
    m = w.waitFor([](const test::UiMapFile& f) { return f.labelled("High Tone", 1740, 1769); });
    const int low = m.labelled("Low Tone", 1740, 1769), high = m.labelled("High Tone", 1740, 1769);
    ASSERT_TRUE(low != 0 && high != 0) << m.text(1712);
    ASSERT_TRUE(w.click(low));
    ASSERT_TRUE(w.click(high, "shift"));
    ASSERT_TRUE(w.click(1700)); // "Group"
    ASSERT_TRUE(w.shows(1711, "Grouped 2 tracks."));
    EXPECT_EQ(w.map().text(low + 30), "1 \xC2\xB7 1/2") << "the group mark beside the first row";
    ASSERT_TRUE(w.keepScreenshot("set-plan.png"));
    w.key("ctrl+z");
    EXPECT_TRUE(w.shows(1711, "Undid."));
    EXPECT_EQ(w.map().text(low + 30), "");
    EXPECT_EQ(readWholeFile(dir + "/documents/VYN/setplan.txt").data, "VYNSETPLAN 1\n");

    EXPECT_TRUE(w.stopsCleanly(SIGTERM));
    EXPECT_NE(w.settings().find("libraryXml=" + xml + "\n"), std::string::npos) << w.settings();
}

} // namespace
} // namespace vyn
