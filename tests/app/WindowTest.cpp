// The real window under Xvfb, used as a person uses it: xdotool clicks and types at the places the
// UI map lists, the sound is recorded from the PulseAudio null sink, and the real-time guard linked
// into vyn_guarded reports the audio thread's violations at exit.

#include "common/SinkRecorder.h"
#include "common/TestPaths.h"
#include "common/ToneMeasure.h"
#include "common/WavFiles.h"
#include "common/WindowDriver.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <utility>

namespace vyn {
namespace {

using test::MapControl;
using test::UiMapFile;
using test::WindowProcess;

using namespace std::chrono_literals;

int id(int panel, int control) {
    return deckControlId(panel, control);
}
constexpr int kStatus = deck_control::STATUS_TEXT;

TEST(Window, LoadPlayAndHearATrackThenChangeTheLayoutAndCloseWithSigterm) {
    VYN_REQUIRE_TEST_SERVICES();
    const std::string dir = test::scratchDir("window");
    // At 8000 of 32768: a level of 0.24.
    const std::string low = test::writeToneWav(dir + "/low tone.wav", 440.0, 60.0, 48000, 0.244);
    const std::string high = test::writeToneWav(dir + "/high.wav", 1000.0, 60.0, 48000, 0.244);
    WindowProcess w(dir);
    ASSERT_TRUE(w.opened(id(0, deck_control::LOAD)));
    // The status line's and the panels' texts are StatusLine's and DeckPanel's; here the window
    // opens at its size with four panels.
    UiMapFile m = w.map();
    EXPECT_EQ(std::make_pair(m.width, m.height), std::make_pair(1360, 860));
    EXPECT_EQ(m.text(1033), "4");
    EXPECT_EQ(m.controls.count(id(4, 0)), 0u) << "four panels at first";

    // Play on an empty deck says why instead.
    ASSERT_TRUE(w.click(id(0, 0)));
    EXPECT_TRUE(w.shows(id(0, 35), "Load a track before starting this deck."));

    test::SinkRecorder recorder("vyn_stereo", 2, dir + "/sink.raw");
    ASSERT_TRUE(w.loadThroughTheBrowser(0, low, "low tone.wav"));
    ASSERT_TRUE(w.click(id(0, 0)));
    ASSERT_TRUE(w.shows(id(0, kStatus), "PLAYING"));
    EXPECT_EQ(w.map().controls[id(0, 0)].label, "Pause");
    // A new stream on an idle null sink may get nothing for seconds: wait for the sound.
    EXPECT_TRUE(recorder.waitForSound(0, 0.5)) << "the sink played nothing";
    const std::vector<float> heard = test::fromFirstSound(recorder.stop());
    ASSERT_GE(heard.size(), 2u * 4800) << "less than 0.1 s of sound";
    EXPECT_NEAR(test::dominantFrequency(heard), 440.0, 2.0);
    EXPECT_GT(test::peakLevel(heard.data(), heard.size()), 0.2f) << "the tone's level is 0.24";

    // A second deck through the browser, playing: the screenshot artefact.
    ASSERT_TRUE(w.loadThroughTheBrowser(1, high, "high.wav"));
    ASSERT_TRUE(w.click(id(1, 0)));
    ASSERT_TRUE(w.shows(id(1, kStatus), "PLAYING"));
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(w.keepScreenshot("window-two-decks.png"));

    // One more deck, then rows: the map follows.
    ASSERT_TRUE(w.click(1002));
    m = w.waitForText(1033, "5");
    EXPECT_EQ(m.controls.count(id(4, 0)), 1u);
    const MapControl gridFirst = m.controls[id(0, 21)], gridSecond = m.controls[id(1, 21)];
    EXPECT_EQ(gridFirst.y, gridSecond.y) << "side by side in the grid";
    ASSERT_TRUE(w.click(1004));
    m = w.waitFor([&](const UiMapFile& f) {
        auto it = f.controls.find(id(1, 21));
        return it != f.controls.end() && it->second.y > gridFirst.y + 20;
    });
    EXPECT_GT(m.controls[id(1, 21)].y, m.controls[id(0, 21)].y) << "stacked in rows";
    EXPECT_GT(m.controls[id(0, 21)].w, gridFirst.w) << "a row spans the window";

    EXPECT_TRUE(w.stopsCleanly(SIGTERM));
    const std::string settings = w.settings();
    EXPECT_NE(settings.find("visibleDecks=5\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("layout=1\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("lastFolder=" + dir + "\n"), std::string::npos) << settings;
}

} // namespace
} // namespace vyn
