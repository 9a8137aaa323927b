// The Resolume window's actions and what they keep in the settings.

#include "app/ResolumeControl.h"
#include "common/TestPaths.h"
#include "support/SettingsStore.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vyn {
namespace {

namespace names = resolume_settings;

class ResolumeControlTest : public ::testing::Test {
protected:
    std::string path = test::scratchDir("resolume") + "/settings.ini";
    std::unique_ptr<SettingsStore> store = openSettingsFile(path);
};

TEST_F(ResolumeControlTest, SavedValuesAndTheirDefaults) {
    store->setText(names::kHost, "");
    store->setInteger(names::kPort, 0);
    store->setInteger(names::kCueMap, 1);
    store->setInteger(names::kPause, 1);
    store->setText(names::kMidiOut, "Drum machine");
    ResolumeControl r(*store);
    EXPECT_EQ(std::make_tuple(r.host, r.port, r.cueMap, r.pauseWhenStopped, r.resyncEveryBar,
                              r.midiOutput, r.statusLine(), std::string(r.buttonLabel())),
              std::make_tuple("127.0.0.1", "7000", 1, true, false, "Drum machine",
                              "resolume  \xC2\xB7  not sending", "Start"));
}

TEST_F(ResolumeControlTest, StartStopAndTheLaunchAfterwards) {
    ResolumeControl r(*store);
    r.start(false);
    EXPECT_EQ(r.message(), "Audio is not running.");
    EXPECT_FALSE(r.oscOn());

    struct Case {
        const char* host;
        const char* port;
        const char* message;
    } failures[] = {{"booth-pc", "7000", "Host must be an IPv4 address."},
                    {"127.0.0.1", "seven", "Port is out of range."},
                    {"127.0.0.1", "70000", "Port is out of range."}};
    for (const Case& c : failures) {
        r.host = c.host;
        r.port = c.port;
        r.start(true);
        EXPECT_EQ(r.message(), c.message) << c.host << ":" << c.port;
        EXPECT_FALSE(r.oscOn());
        EXPECT_EQ(store->integer(names::kOn, -1), 0);
    }

    r.host = "";
    r.port = "0";
    r.resyncEveryBar = true;
    r.sendMidiClock = true; // no MIDI here
    r.start(true);
    EXPECT_TRUE(r.oscOn());
    EXPECT_EQ(
        std::make_tuple(r.message(), r.host, r.port, r.statusLine(), std::string(r.buttonLabel())),
        std::make_tuple("OSC is sending; MIDI clock did not start.", "127.0.0.1", "7000",
                        "resolume  \xC2\xB7  OSC", "Stop"));
    EXPECT_EQ(std::make_tuple(store->integer(names::kOn, 0), store->integer(names::kResyncBar, 0),
                              store->integer(names::kMidiOn, 0)),
              std::make_tuple(1, 1, 1));

    r.close(); // the program closes while sending: the next launch starts again
    EXPECT_FALSE(r.oscOn());
    auto nextStore = openSettingsFile(path);
    ResolumeControl next(*nextStore);
    next.startAtLaunch(false);
    EXPECT_FALSE(next.oscOn()) << "not without audio";
    next.startAtLaunch(true);
    EXPECT_TRUE(next.oscOn());
    next.stop();
    EXPECT_EQ(openSettingsFile(path)->integer(names::kOn, -1), 0);
    auto stoppedStore = openSettingsFile(path);
    ResolumeControl stopped(*stoppedStore);
    stopped.startAtLaunch(true);
    EXPECT_FALSE(stopped.oscOn());
}

} // namespace
} // namespace vyn
