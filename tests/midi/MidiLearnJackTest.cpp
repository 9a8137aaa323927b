// MIDI learn and presets end to end: a virtual controller on the test JACK server sends through
// RtMidi into the router and hub, the MIDI window's model learns, removes and loads presets, and
// the per-device mapping file is what a restart brings back.

#include "common/MidiPeer.h"
#include "common/TestPaths.h"
#include "control/midi/MidiHub.h"
#include "control/midi/MidiInputPorts.h"
#include "control/midi/MidiMappingFile.h"
#include "control/midi/MidiWindowModel.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

namespace vyn {
namespace {

using namespace std::chrono_literals;

int actionIndex(MidiAction action) {
    const auto& all = kMidiWindowActions;
    return static_cast<int>(std::find(all.begin(), all.end(), action) - all.begin());
}

// One run of the program's MIDI side: router, hub, JACK inputs and the window model.
struct MidiSide {
    MidiRouter router;
    MidiHub hub{router};
    MidiInputPorts ports{createMidiBackend({MidiApi::Jack, "VYN"})};
    MidiWindowModel model;
    int port = -1;

    MidiSide(const std::string& maps, const std::string& presets, test::MidiSender& sender)
        : model(hub, router, MidiMapStore(maps, {presets})) {
        hub.listen(router);
        ports.attach(router);
        EXPECT_TRUE(
            test::waitFor([&] { return (port = test::routerPortOf(router, sender.device())) >= 0; },
                          5000ms, [&] { ports.rescan(); }));
        EXPECT_TRUE(test::primeConnection(sender, router, port));
    }
    ~MidiSide() { ports.closeAll(); }

    // Sends one message and runs the periodic work once it went through the hub.
    void send(test::MidiSender& sender, std::vector<unsigned char> bytes) {
        const std::uint32_t before = router.received(port);
        sender.send(std::move(bytes));
        EXPECT_TRUE(test::waitFor([&] { return router.received(port) > before; }));
        model.periodic(true);
    }
    void learn(test::MidiSender& sender, MidiAction action, int shift,
               std::vector<unsigned char> bytes) {
        model.selectAction(actionIndex(action));
        model.selectShift(shift);
        model.learn();
        ASSERT_TRUE(model.learning()) << model.message();
        send(sender, std::move(bytes));
        EXPECT_FALSE(model.learning());
    }
    std::vector<std::string> actions() const {
        std::vector<std::string> out;
        for (const MidiBindingRow& r : model.bindings())
            out.push_back(r.address + " " + r.action + (r.binding.mod ? " shift" : ""));
        return out;
    }
};

class MidiLearnJackTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::servicesAvailable()) GTEST_SKIP() << "test services are not running";
        dir = test::scratchDir("midi-learn");
        maps = dir + "/midimaps";
        presets = dir + "/mappings";
        std::filesystem::create_directories(presets);
    }
    std::string dir, maps, presets;
};

TEST_F(MidiLearnJackTest, LearnRemovePresetsAndRestart) {
    test::MidiSender sender;
    const std::string savedFile =
        maps + "/" + MidiMapStore::safeFileName(sender.device()) + ".vynmap";
    {
        MidiSide side(maps, presets, sender);
        side.model.learn();
        EXPECT_EQ(side.model.message(),
                  "No controller yet \xE2\x80\x94 press something on it first.");
        side.send(sender, {0x9F, 127, 1}); // any control identifies the controller

        // The fader on channel 2, CC 7, as "channel fader" with the mode left at trigger.
        side.learn(sender, MidiAction::fader, 0, {0xB1, 7, 90});
        EXPECT_EQ(side.model.message(), "bound p* ch2 cc 7");
        const std::string saved = readWholeFile(savedFile).data;
        EXPECT_NE(saved.find("\nbind -1 cc 1 7 fader 0 trigger twos 0 1 0.01 0 fader\n"),
                  std::string::npos)
            << saved;

        // A note off while learning is ignored; the note on that follows is learned.
        side.model.selectAction(actionIndex(MidiAction::hotCue));
        side.model.learn();
        side.send(sender, {0x80, 36, 0});
        side.send(sender, {0x90, 36, 0}); // note on with velocity 0 is a release too
        EXPECT_TRUE(side.model.learning());
        side.send(sender, {0x90, 36, 100});
        EXPECT_FALSE(side.model.learning());
        // The same pad again replaces; with shift 1 it adds a second layer.
        side.learn(sender, MidiAction::playPause, 0, {0x90, 36, 100});
        side.learn(sender, MidiAction::sync, 1, {0x90, 36, 100});
        EXPECT_EQ(side.actions(),
                  (std::vector<std::string>{"p* ch2 cc 7 fader", "p* ch1 note 36 playPause",
                                            "p* ch1 note 36 sync shift"}));

        // Remove takes exactly the selected row, not the first binding with its address.
        side.model.remove(2);
        EXPECT_EQ(side.actions(),
                  (std::vector<std::string>{"p* ch2 cc 7 fader", "p* ch1 note 36 playPause"}));
        side.model.remove(0);
        EXPECT_TRUE(fileExists(savedFile));
        side.model.remove(0);
        EXPECT_FALSE(fileExists(savedFile)) << "the last binding's removal keeps the file";

        // A preset replaces whatever was learned.
        side.learn(sender, MidiAction::keylock, 0, {0xB0, 1, 10});
        std::ofstream(presets + "/Test Deck.vynmap")
            << "vyn-mapping 1\ndevice Test Deck\nchannels 2\n"
               "bind -1 note 0 11 playPause 0 trigger twos 0 1 0.01 0 play\n"
               "bind -1 cc 0 1 rate 0 absolute twos -0.08 0.08 0.01 0 tempo\n";
        side.model.refreshPresets();
        EXPECT_EQ(side.model.presets(), std::vector<std::string>{"Test Deck"});
        side.model.loadPreset("Test Deck");
        EXPECT_EQ(side.model.message(), "loaded Test Deck");
        EXPECT_EQ(side.actions(),
                  (std::vector<std::string>{"p* ch1 note 11 playPause", "p* ch1 cc 1 rate"}));
        side.model.loadPreset("Missing");
        EXPECT_EQ(side.model.message(), "Could not find that preset.");

        // A learned binding on a control the preset leaves free.
        side.learn(sender, MidiAction::eqLow, 0, {0xB0, 2, 10});
    }

    // The preset gains a binding while the program is not running, and the learned control
    // clashes with one of its new bindings: the learned one stays.
    std::ofstream(presets + "/Test Deck.vynmap", std::ios::app)
        << "bind -1 note 0 12 cuePoint 0 momentary twos 0 1 0.01 0 cue\n"
           "bind -1 cc 0 2 eqHigh 0 absolute twos 0 1 0.01 0 clash\n";
    MidiSide restarted(maps, presets, sender);
    EXPECT_TRUE(restarted.model.bindings().empty());
    restarted.send(sender, {0x9F, 127, 1});
    EXPECT_EQ(restarted.actions(),
              (std::vector<std::string>{"p* ch1 note 11 playPause", "p* ch1 cc 1 rate",
                                        "p* ch1 cc 2 eqLow", "p* ch1 note 12 cuePoint"}));
    EXPECT_NE(readWholeFile(savedFile).data.find("cuePoint"), std::string::npos)
        << "the merged mapping is saved";
}

} // namespace
} // namespace vyn
