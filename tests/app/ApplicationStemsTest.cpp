// Stems in the application: switching stems on from the panel asks the loader for the split, the
// panel shows its progress, the split lands on the playing deck and the stem controls ride it;
// the stem settings reach the stem cache and the loader. A real engine host on an offline device,
// pulled block by block between refreshes as a device would.

#include "app/Application.h"
#include "audio/OfflineAudioDevice.h"
#include "common/RealtimeGuard.h"
#include "common/StemTracks.h"
#include "common/TestPaths.h"
#include "dsp/StemCache.h"
#include "engine/EngineHost.h"
#include "support/KnownFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <tuple>

namespace vyn {
namespace {

using namespace deck_control;
using namespace std::chrono_literals;

class ApplicationStems : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("application-stems");
        // Long enough that the split runs across many refreshes, so the panel is seen showing it.
        ASSERT_TRUE(test::writeKickAndTones(dir + "/music.wav", 60.0, 44100.0));
        // The cache under the scratch folder: XDG_CACHE_HOME on Linux, the profile on Windows.
        folders.emplace(std::initializer_list<std::pair<const char*, std::string>>{
            {"XDG_CACHE_HOME", dir + "/cache"}, {"VYN_USER_ROOT", dir + "/profile"}});
    }
    void TearDown() override {
        app.reset();
        folders.reset();
        setStemCacheSettings({});
    }
    void start(const std::string& settingsText) {
        std::ofstream(dir + "/settings.ini") << settingsText;
        ApplicationOptions options;
        options.settings = openSettingsFile(dir + "/settings.ini");
        options.midi = false;
        auto device = std::make_unique<OfflineAudioDevice>(2, 48000.0);
        offline = device.get();
        options.device = std::move(device);
        app = std::make_unique<Application>(std::move(options));
        app->start();
        ASSERT_TRUE(app->audioRunning());
    }
    // Renders and refreshes until `done` holds (at most 60 s); `each` sees every refresh.
    bool runUntil(const std::function<bool()>& done, const std::function<void()>& each = {}) {
        std::vector<float> out(2 * 256);
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < end) {
            test::resetRealtimeViolations();
            offline->renderInto(out.data(), 256);
            EXPECT_TRUE(test::noRealtimeViolations());
            app->refresh(Application::Clock::now());
            if (each) each();
            if (done()) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }
    const DeckSnapshot& deck() { return app->snapshot().decks[0]; }
    void loadAndPlay() {
        ASSERT_TRUE(app->loadFile(0, dir + "/music.wav"));
        ASSERT_TRUE(runUntil([&] { return deck().state != 0; })) << app->panel(0).message();
        app->pressDeckControl(0, PLAY);
        ASSERT_TRUE(runUntil([&] { return deck().state == 2; }));
    }

    std::optional<test::ScopedEnvironment> folders;
    std::string dir;
    OfflineAudioDevice* offline = nullptr;
    std::unique_ptr<Application> app;
};

TEST_F(ApplicationStems, StemsSwitchedOnSplitThePlayingDeckAndTheStemControlsRideIt) {
    start("stemCacheBytes=0\n");
    EXPECT_EQ(stemCacheSettings().folder, "") << "a byte budget of 0 turns caching off";
    loadAndPlay();
    EXPECT_EQ(DeckPanel::stemsLabel(deck(), app->stemJob(0)), "STEMS");

    app->pressDeckControl(0, STEMS);
    std::string progress;
    ASSERT_TRUE(runUntil([&] { return deck().stemsAvailable; },
                         [&] {
                             if (app->stemJob(0).running)
                                 progress = DeckPanel::stemsLabel(deck(), app->stemJob(0));
                         }))
        << "the split never landed: " << app->panel(0).message();
    // The label's texts are DeckPanelTest's; here the panel shows the job while it runs.
    EXPECT_EQ(progress.rfind("STEMS ", 0), 0u) << progress;
    ASSERT_TRUE(runUntil([&] { return !app->stemJob(0).running; }));
    EXPECT_EQ(DeckPanel::stemsLabel(deck(), app->stemJob(0)), "STEMS*");

    // A click kills the drums and a second brings back the gain they had (the gain range is
    // DeckStems').
    app->setStemGain(0, 0, 2.5);
    ASSERT_TRUE(runUntil([&] { return deck().stemGains[0] == 2.5f; }));
    app->pressDeckControl(0, STEM_DRUMS);
    ASSERT_TRUE(runUntil([&] { return deck().stemGains[0] == 0.0f; }));
    app->pressDeckControl(0, STEM_DRUMS);
    ASSERT_TRUE(runUntil([&] { return deck().stemGains[0] == 2.5f; }));
    app->pressDeckControl(0, STEMS);
    ASSERT_TRUE(runUntil([&] { return !deck().stemsOn; }));
    EXPECT_TRUE(deck().stemsAvailable) << "switching off keeps the split for the next time";
}

TEST_F(ApplicationStems, StemSettingsChooseTheCacheAndSplitEveryLoad) {
    start("stemsOnLoad=1\nstemCacheBytes=1000000000\nstemCacheFiles=3\n");
    const StemCacheSettings cache = stemCacheSettings();
    EXPECT_EQ(std::tie(cache.folder, cache.byteBudget, cache.fileBudget),
              std::make_tuple(cacheFolder() + "/stems", 1000000000u, 3u));
    EXPECT_EQ(cache.folder.rfind(dir, 0), 0u) << cache.folder;
    ASSERT_TRUE(app->loadFile(0, dir + "/music.wav"));
    ASSERT_TRUE(runUntil([&] { return deck().state != 0; })) << app->panel(0).message();
    EXPECT_TRUE(deck().stemsAvailable) << "the load was split before it reached the deck";
    EXPECT_FALSE(deck().stemsOn) << "stems play only once switched on";
}

} // namespace
} // namespace vyn
