// The window's logic below the deck panels: settings with their defaults and clamps, the deck
// count rule, the status line, the panel layouts, the UI map and the file browser.

#include "app/FileBrowser.h"
#include "app/PanelGrid.h"
#include "app/StatusLine.h"
#include "app/UiMap.h"
#include "app/WindowSettings.h"
#include "common/TestPaths.h"
#include "support/FileIo.h"
#include "support/SettingsStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

namespace vyn {
namespace {

WindowSettings settingsFrom(const std::string& text) {
    const std::string path = test::scratchDir("window-settings") + "/settings.ini";
    std::ofstream(path) << text;
    return WindowSettings::read(*openSettingsFile(path));
}

TEST(WindowSettings, StoredValuesAreClamped) {
    struct Case {
        const char* text;
        int decks;
        PanelLayout layout;
    } cases[] = {
        {"visibleDecks=0\nlayout=1", 1, PanelLayout::Rows},
        {"visibleDecks=12\nlayout=2", 8, PanelLayout::Columns},
        {"visibleDecks=-3\nlayout=3", 1, PanelLayout::Grid},
        {"visibleDecks=six\nlayout=-1", 4, PanelLayout::Grid},
    };
    for (const Case& c : cases) {
        const WindowSettings s = settingsFrom(c.text);
        EXPECT_EQ(s.visibleDecks, c.decks) << c.text;
        EXPECT_EQ(s.layout, c.layout) << c.text;
    }
    const WindowSettings s = settingsFrom("timeH=0\ntimeV=0\nchromeAtStart=7\nworkspace=1\n"
                                          "updateSeen=v0.2.0\nkeylockQuality=5\neqType=-1\n"
                                          "interpolation=1\n");
    EXPECT_EQ(std::tie(s.timeH, s.timeV, s.chromeAtStart, s.setPlanWorkspace, s.updateSeen),
              std::make_tuple(false, false, true, true, "v0.2.0"));
    EXPECT_EQ(s.sound, (SoundOptions{1, 0, 1}));
}

TEST(WindowSettings, MultichannelDevicesGetAPanelPerOutputPair) {
    const int cases[][3] = {{2, 3, 3},  {4, 6, 6},  {6, 2, 2},  {8, 1, 4},
                            {10, 4, 5}, {16, 2, 8}, {32, 4, 8}, {9, 8, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(decksForDevice(c[0], c[1]), c[2]) << c[0] << " channels";
}

TEST(StatusLine, RunningAndStoppedTexts) {
    StatusLineInputs in;
    in.audioRunning = true;
    in.deviceName = "ALSA (default)";
    in.sampleRate = 48000.0;
    in.channels = 2;
    in.deckPanels = 4;
    in.loadedBytes = (5u << 20) + 12345;
    EXPECT_EQ(statusLineText(in),
              "VYN is routing audio  \xC2\xB7  ALSA (default)  \xC2\xB7  48000 Hz"
              "  \xC2\xB7  2 outputs  \xC2\xB7  stereo master  \xC2\xB7  5 MB loaded");
    in.channels = 16;
    in.deckPanels = 6;
    in.quantise = true;
    in.linkRunning = true;
    in.linkSurfaces = 2;
    in.resolumeSending = true;
    EXPECT_EQ(statusLineText(in),
              "VYN is routing audio  \xC2\xB7  ALSA (default)  \xC2\xB7  48000 Hz"
              "  \xC2\xB7  16 outputs  \xC2\xB7  decks 1\xE2\x80\x93"
              "6  \xC2\xB7  5 MB loaded  \xC2\xB7  QUANTISE  \xC2\xB7  Link (2)"
              "  \xC2\xB7  Resolume");
    in.channels = 8;
    in.deckPanels = 8;
    EXPECT_NE(statusLineText(in).find("decks 1\xE2\x80\x93"
                                      "4"),
              std::string::npos);

    StatusLineInputs off;
    EXPECT_EQ(statusLineText(off), "Audio output is unavailable");
    off.lastError = "device busy";
    EXPECT_EQ(statusLineText(off), "Audio output is unavailable \xE2\x80\x94 device busy");
}

TEST(PanelGrid, LayoutsDivideTheArea) {
    const Rect area{0, 0, 1000, 600};
    auto grid = panelRects(PanelLayout::Grid, 4, area, 0);
    ASSERT_EQ(grid.size(), 4u);
    EXPECT_EQ(grid[3].x, 500);
    EXPECT_EQ(grid[3].y, 300);
    grid = panelRects(PanelLayout::Grid, 8, area, 0);
    EXPECT_EQ(grid[7].w, 250) << "eight panels: four columns in two rows";
    EXPECT_EQ(grid[7].y, 300);
    const auto rows = panelRects(PanelLayout::Rows, 3, area, 10);
    EXPECT_EQ(rows[2].w, 1000);
    EXPECT_FLOAT_EQ(rows[2].y + rows[2].h, 600);
    const auto cols = panelRects(PanelLayout::Columns, 5, area, 0);
    EXPECT_EQ(cols[4].x, 800);
    EXPECT_TRUE(verticalPanel(cols[4]));
    EXPECT_FALSE(verticalPanel(rows[0]));
    EXPECT_EQ(panelRects(PanelLayout::Grid, 12, area, 0).size(), 8u);
    EXPECT_EQ(panelRects(PanelLayout::Grid, 0, area, 0).size(), 1u);
}

TEST(PanelGrid, TheUncoveredPartsAndThePanelsTileTheWindowOnce) {
    const Rect window{0, 0, 1360, 860};
    const Rect area{8, 90, 1344, 730};
    for (PanelLayout layout : {PanelLayout::Grid, PanelLayout::Rows, PanelLayout::Columns})
        for (int count : {1, 3, 8}) {
            const std::vector<Rect> panels = panelRects(layout, count, area, 8.5f);
            const std::vector<Rect> rest = uncoveredRects(window, panels);
            // Every sampled point lies in exactly one rectangle of the two sets.
            for (float y = 0.25f; y < window.h; y += 7.0f)
                for (float x = 0.25f; x < window.w; x += 7.0f) {
                    int hits = 0;
                    for (const auto* set : {&panels, &rest})
                        for (const Rect& r : *set)
                            hits += r.contains(x, y);
                    ASSERT_EQ(hits, 1) << "layout " << static_cast<int>(layout) << ", " << count
                                       << " panels, at " << x << "," << y;
                }
        }
    EXPECT_TRUE(uncoveredRects(window, {window}).empty());
}

TEST(UiMap, WritesChangesAtMostEveryHundredMilliseconds) {
    const std::string path = test::scratchDir("ui-map") + "/map";
    UiMap map(path);
    const UiMap::Clock::time_point t0{};
    auto frame = [&](const char* label, UiMap::Clock::time_point at) {
        map.beginFrame(800, 600);
        map.control(1001, 10.4f, 20.6f, 30, 40, label);
        map.text(1011, "status\nsecond line");
        map.endFrame(at);
    };
    frame("+", t0 + std::chrono::seconds(1));
    EXPECT_EQ(readWholeFile(path).data,
              "window 800 600\ncontrol 1001 10 21 30 40 +\ntext 1011 status second line\n");
    frame("−", t0 + std::chrono::milliseconds(1050));
    EXPECT_EQ(map.writes(), 1) << "a change within 100 ms waits";
    frame("−", t0 + std::chrono::milliseconds(1100));
    EXPECT_EQ(map.writes(), 2);
    EXPECT_NE(readWholeFile(path).data.find("control 1001 10 21 30 40 −\n"), std::string::npos);
    frame("−", t0 + std::chrono::seconds(5));
    EXPECT_EQ(map.writes(), 2) << "an unchanged map is not rewritten";
    EXPECT_FALSE(fileExists(path + ".tmp"));

    UiMap off;
    off.beginFrame(1, 1);
    off.control(1, 0, 0, 1, 1, "x");
    off.endFrame(t0);
    EXPECT_FALSE(off.enabled());
    EXPECT_EQ(off.writes(), 0);
}

TEST(FileBrowser, ListsFoldersThenAudioFilesAndTakesTypedPaths) {
    namespace fs = std::filesystem;
    // The folder as the file system names it (with its drive on Windows): the browser shows
    // folders that way, and paths are compared in the platform's own form.
    const std::string dir = test::canonicalPath(test::scratchDir("file-browser"));
    const auto at = [&](const char* name) { return test::nativePath(dir + name); };
    fs::create_directories(dir + "/sets");
    fs::create_directories(dir + "/.hidden");
    for (const char* f : {"b.MP3", "a.wav", "notes.txt", "c.aiff", ".x.wav", "d.m4a"})
        std::ofstream(dir + "/" + f) << "x";
    FileBrowser b;
    b.open(dir);
    std::vector<std::string> names;
    for (const BrowserEntry& e : b.entries())
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"..", "sets", "a.wav", "b.MP3", "c.aiff", "d.m4a"}));

    EXPECT_EQ(test::nativePath(b.submit(dir + "/a.wav")), at("/a.wav"));
    EXPECT_EQ(b.submit("b.MP3"), at("/b.MP3")) << "relative to the folder shown";
    EXPECT_EQ(b.submit("notes.txt"), "");
    EXPECT_EQ(b.error(), "Not an audio file VYN can load.");
    EXPECT_EQ(b.submit("missing.wav"), "");
    EXPECT_EQ(b.error(), "No such file.");
    EXPECT_EQ(b.submit("sets"), "") << "a folder opens";
    EXPECT_EQ(b.folder(), at("/sets"));
    EXPECT_EQ(b.choose(BrowserEntry{"..", true}), "");
    EXPECT_EQ(b.folder(), at(""));
    EXPECT_EQ(b.choose(BrowserEntry{"c.aiff", false}), at("/c.aiff"));

    b.open(dir + "/does-not-exist");
    EXPECT_FALSE(b.folder().empty()) << "falls back to a folder that exists";
}

} // namespace
} // namespace vyn
