// The application object without a display: an engine host without a device, driven block by
// block here, so what the window's calls post is what the engine applies.

#include "app/Application.h"
#include "app/RefreshTicker.h"
#include "app/ToolbarIds.h"
#include "common/RealtimeGuard.h"
#include "common/TestPaths.h"
#include "engine/EngineHost.h"
#include "support/FileIo.h"
#include "support/SettingsStore.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <tuple>

namespace vyn {
namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("application");
        settingsPath = dir + "/settings.ini";
        makeApp();
    }
    void makeApp() {
        app.reset();
        ApplicationOptions options;
        options.settings = openSettingsFile(settingsPath);
        options.midi = false;
        app = std::make_unique<Application>(std::move(options));
        app->engine().prepare(48000.0, 256);
    }
    // Renders one block with the real-time guard armed and returns what the engine applied.
    std::vector<std::tuple<CommandType, int, double>> applied() {
        test::resetRealtimeViolations();
        std::vector<float> out(512);
        app->engine().render(out.data(), 256);
        EXPECT_TRUE(test::noRealtimeViolations());
        std::vector<std::tuple<CommandType, int, double>> commands;
        Command c;
        while (app->engine().popApplied(c))
            commands.emplace_back(c.commandType(), c.deck, c.value);
        return commands;
    }
    std::string stored() { return readWholeFile(settingsPath).data; }

    std::string dir;
    std::string settingsPath;
    std::unique_ptr<Application> app;
};

TEST_F(ApplicationTest, WithoutADeviceTheStatusLineSaysAudioIsUnavailable) {
    app->start();
    EXPECT_FALSE(app->audioRunning());
    EXPECT_EQ(app->statusLine(), "Audio output is unavailable");
    EXPECT_TRUE(app->hasOutputPair(15)) << "without a multichannel device every deck plays";
}

TEST_F(ApplicationTest, ToolbarChoicesAreSavedWhenTheyChange) {
    app->changeDeckCount(+1);
    app->setLayout(PanelLayout::Columns);
    app->setTimeH(false);
    app->setChromeAtStart(true);
    SoundOptions sound;
    sound.keylockQuality = 1;
    sound.interpolation = 7;
    app->setSoundOptions(sound);
    EXPECT_EQ(stored(), "visibleDecks=5\nlayout=2\ntimeH=0\nchromeAtStart=1\nkeylockQuality=1\n"
                        "interpolation=1\n");
    EXPECT_EQ(app->engine().soundOptions().interpolation, 1) << "clamped before the engine";
    for (int i = 0; i < 10; ++i)
        app->changeDeckCount(+1);
    EXPECT_EQ(app->settings().visibleDecks, 8);
    for (int i = 0; i < 10; ++i)
        app->changeDeckCount(-1);
    EXPECT_EQ(app->settings().visibleDecks, 1);
    makeApp();
    EXPECT_EQ(app->settings().visibleDecks, 1);
    EXPECT_EQ(app->settings().layout, PanelLayout::Columns);
    EXPECT_EQ(app->engine().soundOptions(), SoundOptions{}) << "applied at start";
    app->start();
    EXPECT_EQ(app->engine().soundOptions().keylockQuality, 1);
}

TEST_F(ApplicationTest, ClampedSettingsAreNotWrittenBackWhileNothingChanges) {
    std::ofstream(settingsPath, std::ios::binary) << "visibleDecks=12\nlayout=2\n";
    makeApp();
    app->start();
    app->shutdown();
    EXPECT_EQ(stored(), "visibleDecks=12\nlayout=2\n");
}

TEST_F(ApplicationTest, SwapMarksExchangesAndCancels) {
    app->pressSwap(1);
    EXPECT_EQ(app->swapMark(), 1);
    app->pressSwap(1);
    EXPECT_EQ(app->swapMark(), -1) << "the marked panel again cancels";
    app->pressSwap(0);
    app->pressSwap(3);
    EXPECT_EQ(app->swapMark(), -1);
    EXPECT_EQ(app->panelAt(0), 3);
    EXPECT_EQ(app->panelAt(3), 0);
    // A mark on a panel that fewer decks hide is cancelled; one still shown stays.
    app->pressSwap(2);
    app->changeDeckCount(-1);
    EXPECT_EQ(app->swapMark(), 2);
    app->changeDeckCount(-1);
    EXPECT_EQ(app->swapMark(), -1);
    EXPECT_TRUE(applied().empty()) << "a swap of panels is not an engine command";
}

TEST_F(ApplicationTest, ShutdownReleasesAHeldSlipReverse) {
    const auto t0 = Application::Clock::now();
    app->revDown(2, t0);
    app->refresh(t0 + std::chrono::milliseconds(250));
    app->revDown(5, t0); // pressed but not yet held: nothing to release
    using Applied = decltype(applied());
    EXPECT_EQ(applied(), (Applied{{CommandType::SET_SLIP_REVERSE, 2, 1.0}}));
    app->shutdown();
    EXPECT_EQ(applied(), (Applied{{CommandType::SET_SLIP_REVERSE, 2, 0.0}}));
}

TEST_F(ApplicationTest, QuantiseAndPanelButtonsReachTheEngine) {
    app->toggleQuantise();
    app->moveTempoSlider(1, 0);
    app->pressDeckControl(0, deck_control::PLAY); // empty deck: nothing
    using Applied = decltype(applied());
    EXPECT_EQ(applied(), (Applied{{CommandType::SET_QUANTISE, -1, 1.0},
                                  {CommandType::SET_RATE, 1, DeckPanel::rateForSlider(0)}}));
    EXPECT_EQ(app->panel(0).message(), "Load a track before starting this deck.");
}

TEST_F(ApplicationTest, ToolWindowsAndWorkspaces) {
    app->toggleTool(toolbar_id::LIBRARY);
    app->toggleTool(toolbar_id::LINK);
    app->setSetPlanWorkspace(true);
    EXPECT_FALSE(app->toolOpen(toolbar_id::LIBRARY)) << "the Set Plan workspace closes the library";
    EXPECT_TRUE(app->toolOpen(toolbar_id::LINK));
    app->toggleTool(toolbar_id::LINK);
    EXPECT_FALSE(app->toolOpen(toolbar_id::LINK));
    app->startLink();
    EXPECT_EQ(app->linkModel().message(), "Audio is not running.");
}

TEST_F(ApplicationTest, CatalogueLoadOfAnUnknownTrackIsRefused) {
    EXPECT_EQ(app->loadCatalogueTrack(0, 42), CatalogueLoad::UnknownTrack);
    EXPECT_EQ(app->loadCatalogueTrack(16, 1), CatalogueLoad::Refused);
    EXPECT_FALSE(app->loadFile(0, dir + "/x.wav")) << "the loader does not run without audio";
    EXPECT_EQ(app->panel(0).message(), "The track could not be queued.");
}

TEST(RefreshTicker, NeverQueuesASecondRefresh) {
    RefreshTicker ticker;
    std::atomic<int> posts{0};
    ticker.start(500.0, [&] { ++posts; });
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(posts.load(), 1) << "about thirty periods passed without an acknowledgement";
    ticker.acknowledge();
    for (int i = 0; i < 200 && posts.load() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(posts.load(), 2);
    ticker.stop();
    ticker.acknowledge();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(posts.load(), 2) << "nothing after stop";
}

} // namespace
} // namespace vyn
