// A set recorded live through the real window and replayed offline must sound the same: the
// window under Xvfb driven through the UI map, a controller on a JACK virtual MIDI port through a
// mapping, the null sink as the output and the mix recorder on. `vyn-tool render` of the saved
// set is then compared with the mix recording of the same performance.

#include "app/DeckPanel.h"
#include "app/ToolbarIds.h"
#include "common/MidiPeer.h"
#include "common/SinkRecorder.h"
#include "common/TestPaths.h"
#include "common/ToneMeasure.h"
#include "common/WavFiles.h"
#include "common/WindowDriver.h"
#include "engine/Command.h"
#include "engine/SetReplay.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

namespace vyn {
namespace {

using namespace std::chrono_literals;
using test::UiMapFile;
using test::WindowProcess;
namespace id = toolbar_id;
namespace fs = std::filesystem;

// A track that sounds different at every moment, so that a replay a block off or a command at
// another frame shows in the correlation: partials gliding against a slow tremolo.
std::string writeTrack(const std::string& path, double base, double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * 48000);
    std::vector<std::int16_t> pcm(2 * frames);
    double phase[3] = {};
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 48000.0;
        const double glide = 1.0 + 0.2 * std::sin(2.0 * M_PI * 0.13 * t);
        double v = 0.0;
        for (int k = 0; k < 3; ++k) {
            phase[k] += 2.0 * M_PI * base * (k + 1) * glide / 48000.0;
            v += std::sin(phase[k]) / (k + 1);
        }
        const double tremolo = 0.6 + 0.4 * std::sin(2.0 * M_PI * 1.7 * t);
        pcm[2 * i] = static_cast<std::int16_t>(6000.0 * v * tremolo);
        pcm[2 * i + 1] = static_cast<std::int16_t>(6000.0 * v * (1.6 - tremolo));
    }
    EXPECT_EQ(test::writeStereoWav(path, pcm), path);
    return path;
}

TEST(SetWindow, ALiveSetReplayedOfflineSoundsLikeTheMixRecording) {
    VYN_REQUIRE_TEST_SERVICES();
    const std::string dir = test::scratchDir("set-window");
    const std::string first = writeTrack(dir + "/first.wav", 220.0, 40.0);
    const std::string second = writeTrack(dir + "/second.wav", 330.0, 40.0);

    // The controller: channel faders of decks 1 and 2, the echo on the master and its mix.
    test::MidiSender controller;
    fs::create_directories(dir + "/config/vyn/midimaps");
    std::ofstream(dir + "/config/vyn/midimaps/controller.vynmap")
        << "vyn-mapping 1\ndevice " << controller.device() << "\nchannels 2\n"
        << "bind -1 cc 0 7 fader 0 absolute twos 0 1 0.01 0 fader 1\n"
        << "bind -1 cc 0 8 fader 1 absolute twos 0 1 0.01 0 fader 2\n"
        << "bind -1 note 0 60 fxEffect 0 trigger twos 0 1 0.01 2 echo\n"
        << "bind -1 note 0 61 fxTargetMaster 0 trigger twos 0 1 0.01 0 fx to master\n"
        << "bind -1 cc 0 9 fxMix 0 absolute twos 0 1 0.01 0 fx mix\n";
    const test::ScopedEnvironment environment{{"VYN_MIDI", "jack"},
                                              {"XDG_DATA_HOME", dir + "/data"}};

    test::SinkRecorder sink("vyn_stereo", 2, dir + "/sink.raw");
    WindowProcess w(dir);
    ASSERT_TRUE(w.opened(id::RECORD, 60s));

    // The mix recording runs first; the set's start splits it so the set's file starts with it.
    ASSERT_TRUE(w.click(id::MIX_RECORD));
    ASSERT_TRUE(w.showsStart(id::STATUS, "recording the mix to "));
    ASSERT_TRUE(w.click(id::RECORD));
    ASSERT_TRUE(w.showsStart(id::STATUS, "recording commands and MIDI"));
    EXPECT_TRUE(w.lists(id::RECORD, "end & save"));

    ASSERT_TRUE(w.loadThroughTheBrowser(0, first, "first.wav"));
    ASSERT_TRUE(w.click(deckControlId(0, deck_control::PLAY)));
    ASSERT_TRUE(w.shows(deckControlId(0, deck_control::STATUS_TEXT), "PLAYING"));
    // The controller's fader takes deck 1 down to silence: proof its port is connected.
    const bool faded = test::waitFor(
        [&] { return w.map().text(deckControlId(0, deck_control::LEVEL_TEXT)) == "0%"; }, 20000ms,
        [&] {
            controller.send({0xB0, 7, 0});
            std::this_thread::sleep_for(80ms);
        });
    ASSERT_TRUE(faded) << "the controller's fader never reached the deck";
    for (int v = 0; v <= 127; v += 8) {
        controller.send({0xB0, 7, static_cast<unsigned char>(v)});
        std::this_thread::sleep_for(40ms);
    }
    controller.send({0xB0, 7, 127});

    // The second track comes in with its fader down and is crossfaded over.
    controller.send({0xB0, 8, 0});
    ASSERT_TRUE(w.loadThroughTheBrowser(1, second, "second.wav"));
    ASSERT_TRUE(w.click(deckControlId(1, deck_control::PLAY)));
    for (int v = 0; v <= 127; v += 4) {
        controller.send({0xB0, 8, static_cast<unsigned char>(v)});
        controller.send({0xB0, 7, static_cast<unsigned char>(127 - v)});
        std::this_thread::sleep_for(50ms);
    }
    controller.send({0xB0, 8, 127});
    controller.send({0xB0, 7, 0});

    // A four-beat loop on deck 2, left again; then the echo on the master.
    ASSERT_TRUE(w.click(deckControlId(1, deck_control::LOOP_4)));
    std::this_thread::sleep_for(2500ms);
    ASSERT_TRUE(w.click(deckControlId(1, deck_control::RELOOP)));
    controller.send({0x90, 61, 127});
    controller.send({0x90, 60, 127});
    controller.send({0xB0, 9, 80});
    std::this_thread::sleep_for(2000ms);
    controller.send({0xB0, 9, 0});
    std::this_thread::sleep_for(1000ms);
    // Deck 1 paused from the window: once the panel shows it, the engine has applied all the
    // controller sent before (a loaded machine's audio may lag the wall clock).
    ASSERT_TRUE(w.click(deckControlId(0, deck_control::PLAY)));
    ASSERT_TRUE(w.shows(deckControlId(0, deck_control::STATUS_TEXT), "PAUSED"));

    ASSERT_TRUE(w.click(id::RECORD));
    ASSERT_TRUE(w.showsStart(id::STATUS, "saved ", 20s));
    ASSERT_TRUE(w.click(id::MIX_RECORD));
    ASSERT_TRUE(w.showsStart(id::STATUS, "mix saved "));
    EXPECT_EQ(w.map().text(id::STATUS).find("lost"), std::string::npos) << w.map().text(id::STATUS);

    // The saved set is offered for replay: the replay owns the mix and shows its time.
    ASSERT_TRUE(w.click(id::REPLAY));
    EXPECT_TRUE(w.shows(id::STATUS, "replay controls own the mix"));
    const UiMapFile m =
        w.waitFor([](const UiMapFile& f) { return f.text(id::REPLAY_TIME).size() > 6; });
    EXPECT_NE(m.text(id::REPLAY_TIME).find(" / 0:"), std::string::npos) << m.text(id::REPLAY_TIME);
    ASSERT_TRUE(w.click(id::REPLAY_SPEED));
    EXPECT_TRUE(w.lists(id::REPLAY_SPEED, "1"));
    ASSERT_TRUE(w.click(id::TAKE_OVER));
    EXPECT_TRUE(w.shows(id::STATUS, "replay released \xE2\x80\x94 live controls have taken over"));

    EXPECT_TRUE(w.keepScreenshot("window-set-replay.png"));
    EXPECT_TRUE(w.stopsCleanly(SIGTERM));
    const std::vector<float> heard = sink.stop();
    EXPECT_GT(test::peakLevel(heard.data(), heard.size()), 0.1f) << "the null sink heard the set";

    // One set; the mix in two files, the second named like the set.
    const std::string folder = dir + "/documents/VYN/sets";
    const auto sets = test::filesIn(folder, ".vynset");
    ASSERT_EQ(sets.size(), 1u);
    ASSERT_EQ(test::filesIn(folder, ".wav").size(), 2u);
    const std::string setFile = folder + "/" + sets[0];
    const std::string stem = fs::path(setFile).stem().string();
    EXPECT_TRUE(fs::exists(folder + "/" + stem + ".wav")) << stem;
    const SetReplayReadResult read = readSetReplay(readWholeFile(setFile).data);
    ASSERT_TRUE(read.ok) << read.error;
    const SetReplay& set = read.replay;
    // The controller's moves are in the set as commands and as MIDI messages (what the
    // commands do is the render's comparison below).
    int faders = 0, midi = 0;
    for (const ReplayEvent& e : set.events) {
        faders += !e.isMidi && e.command == static_cast<int>(CommandType::SET_FADER);
        midi += e.isMidi && e.status == 0xB0;
    }
    EXPECT_GE(faders, 40);
    EXPECT_GE(midi, 40);

    const std::string rendered = dir + "/rendered.wav";
    const auto render = test::runTool("render --rate " + std::to_string(set.sampleRate) + " '" +
                                      setFile + "' '" + rendered + "'");
    ASSERT_EQ(render.exitCode, 0) << render.err;
    const test::WavContents offline = test::readWav(rendered);
    const test::WavContents live = test::readWav(folder + "/" + stem + ".wav");
    ASSERT_EQ(offline.channels, 2);
    ASSERT_EQ(live.channels, 2);
    const auto setFrames = static_cast<std::size_t>(set.events.back().frame);
    ASSERT_GE(live.frames(), setFrames) << "the mix recording covers the set";
    ASSERT_GE(offline.frames(), setFrames);

    // Align the starts (the mix file starts at the set's frame 0, so the lag should be none),
    // then compare the whole set.
    const long bestLag =
        test::bestLag(live.samples, offline.samples, 2, -1, 2048, setFrames / 2, 24000);
    EXPECT_GT(test::peakLevel(live.samples.data(), live.samples.size()), 0.1f);
    const double whole =
        test::correlation(live.samples, offline.samples, 2, -1, bestLag, 0, setFrames);
    std::printf("live against offline: correlation %.5f over %.1f s at a lag of %ld frames\n",
                whole, static_cast<double>(setFrames) / set.sampleRate, bestLag);
    EXPECT_GE(whole, 0.99) << "lag " << bestLag;
    EXPECT_LE(std::labs(bestLag), 256) << "the mix file starts where the set does";
}

} // namespace
} // namespace vyn
