// Learn texts, the preset merge, device file names, and the MIDI window model: its periodic work,
// and learning, removing and loading presets with the per-device file a restart brings back.
// A real router and hub are fed bytes directly (real ports are MidiJackTest's).

#include "control/midi/MidiLearn.h"
#include "common/TestPaths.h"
#include "control/midi/MidiHub.h"
#include "control/midi/MidiMappingFile.h"
#include "control/midi/MidiRouter.h"
#include "control/midi/MidiWindowModel.h"
#include "support/FileIo.h"

#include "MidiBindings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

namespace vyn {
namespace {

using test::binding;
using test::onChannel;
using test::shifted;
using MA = MidiAction;
constexpr std::uint8_t kNote = midi_class::note;

TEST(MidiLearnText, AddressDetailAndTemplate) {
    const struct {
        MidiBinding b;
        const char* address;
        const char* detail;
    } cases[] = {
        {onChannel(binding(midi_class::cc, 7, MA::fader), 1), "p* ch2 cc 7",
         "trigger  \xC2\xB7  slot 1"},
        {shifted(onChannel(binding(kNote, 36, MA::hotCue, -1), 15, 3), 2), "p3 ch16 note 36",
         "trigger  \xC2\xB7  focus  \xC2\xB7  shift 2"},
        {binding(midi_class::poly, 5, MA::jog, 7), "p* ch1 poly 5", "trigger  \xC2\xB7  slot 8"},
        {binding(midi_class::program, 9, MA::jog), "p* ch1 program 9", nullptr},
        {binding(midi_class::touch, 9, MA::jog), "p* ch1 pressure", nullptr},
        {onChannel(binding(midi_class::pitch, 0, MA::rate), 2), "p* ch3 bend", nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(midiBindingAddress(c.b), c.address);
        if (c.detail) {
            EXPECT_EQ(midiBindingDetail(c.b), c.detail);
        }
    }
    // The learn template falls back on unknown names: no action, trigger mode; the shift is the
    // number itself (8), not a bit.
    const MidiBinding b = midiLearnTemplate("noSuchAction", "sideways", -1, 8);
    EXPECT_EQ(std::tuple(b.action, b.mode, b.slot, b.mod),
              std::tuple(0, static_cast<int>(MidiMode::trigger), -1, 8));
}

TEST(MidiLearnMerge, PresetBindingsJoinWithoutOverridingLearnedOnes) {
    MidiMapping saved;
    saved.bindings = {binding(kNote, 1, MA::play),
                      binding(kNote, 2, MA::modifier, 0, MidiMode::trigger, 1),
                      binding(kNote, 3, MA::mcModeSwitch),
                      binding(kNote, 4, MA::mcModeSwitch, 0, MidiMode::trigger, 2)};
    MidiMapping preset;
    preset.bindings = {binding(kNote, 1, MA::cuePoint),                              // stays
                       binding(kNote, 2, MA::mcShift),                               // upgrades
                       binding(kNote, 3, MA::mcModeSwitch, 0, MidiMode::trigger, 1), // upgrades
                       binding(kNote, 4, MA::mcModeSwitch, 0, MidiMode::trigger, 3), // stays
                       shifted(binding(kNote, 1, MA::sync), 1),                      // new layer
                       onChannel(binding(kNote, 5, MA::pause), 0, 2)};               // new
    EXPECT_EQ(mergeMidiPreset(saved, preset), 4);
    std::vector<std::string> merged;
    for (const MidiBinding& b : saved.bindings)
        merged.push_back(midiActionName(b.action) + std::string(" ") + std::to_string(b.param));
    EXPECT_EQ(merged, (std::vector<std::string>{"play 0.000000", "mcShift 0.000000",
                                                "mcModeSwitch 1.000000", "mcModeSwitch 2.000000",
                                                "sync 0.000000", "pause 0.000000"}));
    EXPECT_EQ(mergeMidiPreset(saved, preset), 0) << "merging twice changes nothing";
}

TEST(MidiMapStore, DeviceNamesMakeDistinctSafeFileNames) {
    const char* names[] = {
        "a:b", "a_b",  "a%3Ab",           "../etc",           "..", ".hidden", "",
        "x/y", "x\\y", "Pioneer DDJ (1)", "\xC3\xA9t\xC3\xA9"};
    std::set<std::string> files;
    for (const char* n : names) {
        const std::string f = MidiMapStore::safeFileName(n);
        EXPECT_FALSE(f.empty());
        EXPECT_EQ(f.find('/'), std::string::npos) << n;
        EXPECT_NE(f[0], '.') << n;
        files.insert(f);
    }
    EXPECT_EQ(files.size(), std::size(names));
    EXPECT_EQ(MidiMapStore::safeFileName("Pioneer DDJ (1)"), "Pioneer DDJ (1)");
}

TEST(MidiMapStore, PresetsFromEveryFolderFirstFolderWins) {
    const std::string dir = test::scratchDir("midi-presets");
    const std::string a = dir + "/a", b = dir + "/b";
    MidiMapStore store(dir + "/maps", {a, b});
    std::filesystem::create_directories(a);
    std::filesystem::create_directories(b);
    for (const std::string& f : {a + "/Zed.vynmap", a + "/same.vynmap", b + "/same.vynmap",
                                 b + "/Alpha.vynmap", b + "/notes.txt"})
        std::ofstream(f) << "vyn-mapping 1\n";
    EXPECT_EQ(store.presetNames(), (std::vector<std::string>{"Alpha", "Zed", "same"}));
    EXPECT_EQ(store.presetPath("same"), a + "/same.vynmap");
    EXPECT_FALSE(store.presetPath("../a/Zed"));
}

int actionIndex(MidiAction action) {
    const auto& all = kMidiWindowActions;
    return static_cast<int>(std::find(all.begin(), all.end(), action) - all.begin());
}

// One run of the program's MIDI side (router, hub and the window model) with controllers on
// ports 0, 1, ... ("Deck" alone unless named), fed bytes as their input threads would.
struct MidiSide {
    MidiRouter router;
    MidiHub hub{router};
    MidiWindowModel model;
    std::uint32_t time = 0;

    MidiSide(const std::string& maps, std::vector<std::string> presetFolders,
             const std::vector<std::string>& ports = {"Deck"})
        : model(hub, router, MidiMapStore(maps, std::move(presetFolders))) {
        hub.listen(router);
        for (std::size_t p = 0; p < ports.size(); ++p)
            router.portConnected(static_cast<int>(p), ports[p]);
    }
    void feed(int port, std::vector<std::uint8_t> bytes) {
        router.feed(port, bytes.data(), bytes.size(), ++time);
    }
    // Port 0, then a refresh with the window shown.
    void send(std::vector<std::uint8_t> bytes) {
        feed(0, std::move(bytes));
        model.periodic(true);
    }
    void learn(MidiAction action, int shift, std::vector<std::uint8_t> bytes) {
        model.selectAction(actionIndex(action));
        model.selectShift(shift);
        model.learn();
        ASSERT_TRUE(model.learning()) << model.message();
        send(std::move(bytes));
        EXPECT_FALSE(model.learning());
    }
    std::vector<std::string> actions() const {
        std::vector<std::string> out;
        for (const MidiBindingRow& r : model.bindings())
            out.push_back(r.address + " " + r.action + (r.binding.mod ? " shift" : ""));
        return out;
    }
};

// Two controllers, "Left" and "Right", and no presets.
class MidiWindowModelTest : public ::testing::Test, protected MidiSide {
protected:
    MidiWindowModelTest() : MidiSide(test::scratchDir("midi-model"), {}, {"Left", "Right"}) {}
};

TEST_F(MidiWindowModelTest, SwitchingControllersKeepsAHeldShift) {
    MidiMapping mapping;
    mapping.bindings = {binding(kNote, 1, MA::modifier, 0, MidiMode::trigger, 1)};
    const std::string text = writeMidiMapping(mapping);
    model.store().save("Left", text);
    model.store().save("Right", text);
    feed(0, {0x90, 9, 1});
    model.periodic(false);   // Left restored
    feed(0, {0x90, 1, 127}); // shift held on Left
    feed(1, {0x90, 9, 1});
    model.periodic(false); // Right restored
    feed(0, {0x90, 9, 1});
    model.periodic(false); // back to Left: its mapping is already there
    std::lock_guard<std::mutex> lock(hub.mutex());
    EXPECT_EQ(hub.findController("Left")->heldModifiers, 1);
    EXPECT_EQ(hub.findController("Left")->mapping.bindings.size(), 1u);
}

TEST_F(MidiWindowModelTest, MonitorAndStatusLine) {
    model.periodic(true);
    EXPECT_EQ(model.status(),
              "Press a control on a CDJ or mixer to identify it, then load a preset.  \xC2\xB7  "
              "Left 0  \xC2\xB7  Right 0");
    for (int i = 0; i < 100; ++i)
        feed(0, {0xB1, 7, static_cast<std::uint8_t>(i)});
    feed(1, {0xF8});
    model.periodic(true);
    EXPECT_EQ(model.monitor().size(), 63u) << "64 messages per refresh, the clock byte left out";
    model.periodic(true);
    ASSERT_EQ(model.monitor().size(), 100u);
    EXPECT_EQ(model.monitor().front().port, "p0 ch2");
    EXPECT_EQ(model.monitor().front().bytes, "B1 07 63");
    model.showClock = true;
    for (int i = 0; i < 300; ++i)
        feed(1, {0xF8});
    for (int i = 0; i < 6; ++i)
        model.periodic(true);
    EXPECT_EQ(model.monitor().size(), 200u);
    EXPECT_EQ(model.monitor().front().bytes, "F8 00 00");
    EXPECT_EQ(model.status(), "Left  \xC2\xB7  0 bindings  \xC2\xB7  Left 100  \xC2\xB7  "
                              "Right 256 dropped 45");
}

class MidiLearnFlow : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("midi-learn");
        maps = dir + "/midimaps";
        presets = dir + "/mappings";
        std::filesystem::create_directories(presets);
    }
    std::string dir, maps, presets;
};

TEST_F(MidiLearnFlow, LearnRemovePresetsAndRestart) {
    const std::string savedFile = maps + "/Deck.vynmap";
    {
        MidiSide side(maps, {presets});
        side.model.learn();
        EXPECT_EQ(side.model.message(),
                  "No controller yet \xE2\x80\x94 press something on it first.");
        side.send({0x9F, 127, 1}); // any control identifies the controller

        // The fader on channel 2, CC 7, as "channel fader" with the mode left at trigger.
        side.learn(MidiAction::fader, 0, {0xB1, 7, 90});
        EXPECT_EQ(side.model.message(), "bound p* ch2 cc 7");
        const std::string saved = readWholeFile(savedFile).data;
        EXPECT_NE(saved.find("\nbind -1 cc 1 7 fader 0 trigger twos 0 1 0.01 0 fader\n"),
                  std::string::npos)
            << saved;

        // A note off while learning is ignored; the note on that follows is learned.
        side.model.selectAction(actionIndex(MidiAction::hotCue));
        side.model.learn();
        side.send({0x80, 36, 0});
        side.send({0x90, 36, 0}); // note on with velocity 0 is a release too
        EXPECT_TRUE(side.model.learning());
        side.send({0x90, 36, 100});
        EXPECT_FALSE(side.model.learning());
        // The same pad again replaces; with shift 1 it adds a second layer.
        side.learn(MidiAction::playPause, 0, {0x90, 36, 100});
        side.learn(MidiAction::sync, 1, {0x90, 36, 100});
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
        side.learn(MidiAction::keylock, 0, {0xB0, 1, 10});
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
        side.learn(MidiAction::eqLow, 0, {0xB0, 2, 10});
    }

    // The preset gains a binding while the program is not running, and the learned control
    // clashes with one of its new bindings: the learned one stays.
    std::ofstream(presets + "/Test Deck.vynmap", std::ios::app)
        << "bind -1 note 0 12 cuePoint 0 momentary twos 0 1 0.01 0 cue\n"
           "bind -1 cc 0 2 eqHigh 0 absolute twos 0 1 0.01 0 clash\n";
    MidiSide restarted(maps, {presets});
    EXPECT_TRUE(restarted.model.bindings().empty());
    restarted.send({0x9F, 127, 1});
    EXPECT_EQ(restarted.actions(),
              (std::vector<std::string>{"p* ch1 note 11 playPause", "p* ch1 cc 1 rate",
                                        "p* ch1 cc 2 eqLow", "p* ch1 note 12 cuePoint"}));
    EXPECT_NE(readWholeFile(savedFile).data.find("cuePoint"), std::string::npos)
        << "the merged mapping is saved";
}

} // namespace
} // namespace vyn
