// The MIDI window in the real window under Xvfb: open it from the toolbar, pick an action from
// the drop-down, Learn, move a control of a virtual controller on the test JACK server, and see
// the binding's row appear and its file written.

#include "common/MidiPeer.h"
#include "common/TestPaths.h"
#include "common/WindowDriver.h"
#include "control/midi/MidiMapStore.h"

#include <gtest/gtest.h>

#include <thread>

namespace vyn {
namespace {

using namespace std::chrono_literals;

constexpr int kMidiButton = 1008;
constexpr int kAction = 1400, kLearn = 1404, kStatus = 1410, kMessage = 1411;
constexpr int kFirstRow = 1420, kFirstItem = 1450;
constexpr int kSyncItem = kFirstItem + 7; // "sync" in the action list

TEST(MidiWindow, LearnABindingByMovingAControl) {
    VYN_REQUIRE_TEST_SERVICES();
    const std::string dir = test::scratchDir("midi-window");
    test::MidiSender controller;
    test::WindowProcess w(dir, {"VYN_MIDI=jack"});
    ASSERT_TRUE(w.opened(kMidiButton));
    ASSERT_TRUE(w.click(kMidiButton));
    ASSERT_TRUE(w.lists(kAction, "play / pause")) << "the MIDI window opens on its first action";

    // Any control identifies the controller (the window opens its input within a rescan).
    const std::string device = controller.device();
    bool identified =
        test::waitFor([&] { return w.map().text(kStatus).rfind(device, 0) == 0; }, 15s,
                      [&] {
                          controller.send({0x9F, 127, 1});
                      });
    ASSERT_TRUE(identified) << w.map().text(kStatus);
    // Notes still on their way raise the port's count in the status line, whose wrapping may
    // move the controls below it: let it settle before aiming at them.
    std::this_thread::sleep_for(500ms);

    ASSERT_TRUE(w.click(kAction));
    ASSERT_TRUE(w.lists(kSyncItem, "sync")) << "the drop-down did not open";
    ASSERT_TRUE(w.click(kSyncItem));
    EXPECT_TRUE(w.lists(kAction, "sync"));

    // The learn texts and the row's wording are MidiLearnTest's; here they reach the window.
    ASSERT_TRUE(w.click(kLearn));
    EXPECT_TRUE(w.lists(kLearn, "Listening\xE2\x80\xA6"));
    // Moving a fader sends a run of values; the first one binds.
    for (unsigned char value = 0; value < 128; value += 16) {
        controller.send({0xB0, 21, value});
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(w.lists(kFirstRow))
        << w.map().text(kMessage) << " / " << w.map().text(kStatus) << " / " << w.map().text(1412);
    EXPECT_EQ(w.map().controls.at(kFirstRow).label,
              "p* ch1 cc 21 | sync | toggle  \xC2\xB7  slot 1");

    EXPECT_TRUE(w.keepScreenshot("midi-window.png"));
    EXPECT_TRUE(w.stopsCleanly(SIGTERM));
    const std::string saved =
        dir + "/config/vyn/midimaps/" + MidiMapStore::safeFileName(device) + ".vynmap";
    EXPECT_NE(readWholeFile(saved).data.find("bind -1 cc 0 21 sync 0 toggle"), std::string::npos);
}

} // namespace
} // namespace vyn
