// A track of a stick export loaded onto a deck through the real engine, loader and USB cache: the
// grid, cues and waveform come from the stick's analysis files.

#include "AnlzWriter.h"
#include "PdbWriter.h"
#include "common/LibraryFixtures.h"
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

class UsbLoad : public ::testing::Test {
protected:
    void SetUp() override {
        base = test::scratchDir("usb-load");
        stick = base + "/stick";
        const std::string anlz = "/PIONEER/USBANLZ/P001/00000001/ANLZ0000";
        fs::create_directories(stick + "/Contents");
        ASSERT_FALSE(test::writeToneWav(stick + "/Contents/tone.wav", 375.0, 2.0).empty());
        const std::vector<test::AnlzCueSpec> hot{{1, 1, 1000}, {3, 2, 500, 1500}};
        const std::vector<test::AnlzCueSpec> memory{{0, 1, 250}};
        test::touch(stick + anlz + ".DAT",
                    test::AnlzWriter()
                        .beatGrid({{1, 12000, 0}, {2, 12000, 500}, {3, 12000, 1000}})
                        .cueList(hot)
                        .cueList(memory, false)
                        .build());
        test::touch(stick + anlz + ".EXT",
                    test::AnlzWriter()
                        .cueList(hot)
                        .extendedCueList(hot)
                        .extendedCueList(memory)
                        .waveform(true, std::vector<std::uint16_t>(300, 0x7C00))
                        .build());
        test::PdbWriter pdb;
        test::PdbTrackSpec t;
        t.title = "Tone";
        t.filePath = "/Contents/tone.wav";
        t.analysisPath = anlz + ".DAT";
        t.tempo = 12000;
        pdb.addRow(PdbTable::Tracks, test::pdbTrackRow(t));
        test::touch(stick + "/PIONEER/rekordbox/export.pdb", pdb.build());

        ASSERT_TRUE(importUsbStick(catalogue, stick).ok);
        cache = std::make_unique<UsbTrackCache>(
            std::make_unique<test::PrefixDriveClassifier>(stick + "/"));
        ASSERT_TRUE(cache->setCacheFolder(base + "/cache"));
        engine->loader().setHooks(makeLibraryLoaderHooks(*cache));
        ASSERT_TRUE(offline.open());
    }

    LoadResult load(int deck) {
        LoadRequest request;
        {
            std::lock_guard<std::mutex> lock(catalogue.mutex());
            request = makeLoadRequest(catalogue.tracks().at(0), deck);
        }
        EXPECT_TRUE(engine->loader().submit(std::move(request)));
        const std::vector<LoadResult> results = offline.collect();
        offline.render();
        return results.empty() ? LoadResult{} : results[0];
    }

    std::string base, stick;
    Catalogue catalogue;
    std::unique_ptr<UsbTrackCache> cache;
    test::OfflineEngine offline{false};
    std::unique_ptr<EngineHost>& engine = offline.engine;
};

TEST_F(UsbLoad, StickTrackReachesTheDeckWithGridCuesAndWaveform) {
    const LoadResult r = load(2);
    ASSERT_TRUE(r.ok) << r.error;
    EngineSnapshot s;
    ASSERT_TRUE(engine->readSnapshot(s));
    const DeckSnapshot& d = s.decks[2];
    EXPECT_EQ(d.state, static_cast<std::uint8_t>(DeckState::READY));
    EXPECT_EQ(d.hotCueMask, 0b101); // slot 0 (cue) and slot 2 (loop)
    EXPECT_FLOAT_EQ(d.hotCueSeconds[0], 1.0f);
    EXPECT_FLOAT_EQ(d.hotCueSeconds[2], 0.5f);
    EXPECT_EQ(d.mainCue, 12000u); // the memory cue at 0.25 s
    EXPECT_FLOAT_EQ(d.bpm, 120.0f);
    const LoadedDeckInfo info = engine->loader().deckInfo(2);
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
