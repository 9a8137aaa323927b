// A track of a stick export loaded onto a deck through the real engine, loader and USB cache: the
// grid, cues and waveform come from the stick's analysis files (a loop on a hot-cue slot reaching
// the deck is the deck's own test).

#include "SampleStick.h"
#include "common/OfflineEngine.h"
#include "common/PrefixDriveClassifier.h"
#include "common/TestPaths.h"
#include "common/WavFiles.h"
#include "dsp/Waveform.h"
#include "engine/EngineHost.h"
#include "library/LibraryLoaderHooks.h"
#include "library/UsbImport.h"
#include "library/UsbTrackCache.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vyn {
namespace {

namespace fs = std::filesystem;

TEST(UsbLoad, StickTrackReachesTheDeckWithGridCuesAndWaveform) {
    const std::string base = test::scratchDir("usb-load");
    const std::string stick = test::writeSampleStick(base + "/stick");
    ASSERT_FALSE(test::writeToneWav(stick + "/Contents/alpha.wav", 375.0, 2.0).empty());
    test::touch(stick + "/PIONEER/USBANLZ/P001/ANLZ0000.EXT",
                test::AnlzWriter().waveform(true, std::vector<std::uint16_t>(300, 0x7C00)).build());
    Catalogue catalogue;
    ASSERT_TRUE(importUsbStick(catalogue, stick).ok);
    UsbTrackCache cache(std::make_unique<test::PrefixDriveClassifier>(stick + "/"));
    ASSERT_TRUE(cache.setCacheFolder(base + "/cache"));
    test::OfflineEngine offline{false};
    offline.engine->loader().setHooks(makeLibraryLoaderHooks(cache));
    ASSERT_TRUE(offline.open());

    LoadRequest request;
    {
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        request = makeLoadRequest(catalogue.tracks().at(0), 2);
    }
    ASSERT_TRUE(offline.engine->loader().submit(std::move(request)));
    const std::vector<LoadResult> results = offline.collect();
    offline.render();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].ok) << results[0].error;
    EngineSnapshot s;
    ASSERT_TRUE(offline.engine->readSnapshot(s));
    const DeckSnapshot& d = s.decks[2];
    EXPECT_EQ(d.state, static_cast<std::uint8_t>(DeckState::READY));
    EXPECT_EQ(d.hotCueMask, 0b1);
    EXPECT_FLOAT_EQ(d.hotCueSeconds[0], 1.0f);
    EXPECT_EQ(d.mainCue, 24000u); // the memory cue at 0.5 s
    EXPECT_FLOAT_EQ(d.bpm, 124.0f);
    const LoadedDeckInfo info = offline.engine->loader().deckInfo(2);
    ASSERT_TRUE(info.waveform);
    EXPECT_EQ(info.waveform->columns.size(), 300u); // from the analysis, not the audio
    EXPECT_EQ(info.waveform->columns[0].low, 3);

    // The audio and both analysis files were staged (reuse of a staged copy is the cache's own
    // test, UsbCache.StickFilesAreCopiedOnceAndReused).
    std::size_t staged = 0;
    for (const auto& e : fs::directory_iterator(base + "/cache"))
        staged += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(staged, 3u);
}

} // namespace
} // namespace vyn
