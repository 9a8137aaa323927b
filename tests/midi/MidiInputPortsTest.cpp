// Port slots as devices come and go, against a scripted device list. The real device side is
// covered by the JACK end-to-end test.

#include "control/midi/MidiInputPorts.h"
#include "control/midi/MidiRouter.h"
#ifndef _WIN32
#include "control/midi/RtMidiBackend.h"
#endif

#include "ScriptedMidiBackend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vyn {
namespace {

using test::ScriptedBackend;

class MidiInputPortsTest : public ::testing::Test {
protected:
    MidiInputPortsTest() {
        auto b = std::make_unique<ScriptedBackend>();
        backend = b.get();
        ports = std::make_unique<MidiInputPorts>(std::move(b));
    }
    std::vector<std::string> connectedNames() const {
        std::vector<std::string> out;
        for (int p = 0; p < MidiRouter::kPorts; ++p)
            out.push_back(router.connected(p) ? std::string(router.name(p)) : "-");
        return out;
    }

    MidiRouter router;
    ScriptedBackend* backend = nullptr;
    std::unique_ptr<MidiInputPorts> ports;
};

TEST_F(MidiInputPortsTest, DevicesTakeTheLowestFreePortKeepItAndCloseTogether) {
    backend->devices = {"A", "B", "C"};
    ports->attach(router);
    EXPECT_EQ(ports->openCount(), 3);
    EXPECT_EQ(ports->names(), (std::vector<std::string>{"A", "B", "C"}));
    // B unplugged: its port frees, A and C stay where they are.
    backend->devices = {"C", "A"};
    ports->rescan();
    EXPECT_EQ(connectedNames(), (std::vector<std::string>{"A", "-", "C", "-", "-", "-", "-", "-"}));
    // A new device takes the freed lowest port.
    backend->devices = {"D", "C", "A"};
    ports->rescan();
    EXPECT_EQ(connectedNames(), (std::vector<std::string>{"A", "D", "C", "-", "-", "-", "-", "-"}));
    EXPECT_EQ(backend->opened, 4);
    EXPECT_EQ(backend->closed, 1);
    EXPECT_EQ(backend->openedBeforeConnect, 0);
    // Closing all disconnects every port; a later rescan opens them again.
    ports->closeAll();
    EXPECT_EQ(ports->openCount(), 0);
    EXPECT_TRUE(ports->names().empty());
    EXPECT_EQ(connectedNames(), std::vector<std::string>(MidiRouter::kPorts, "-"));
    EXPECT_EQ(backend->closed, 4);
    EXPECT_EQ(backend->disconnectedBeforeClose, 0);
    ports->rescan();
    EXPECT_EQ(ports->openCount(), 3);
}

TEST_F(MidiInputPortsTest, NinthDeviceWaitsForAFreePort) {
    for (int i = 0; i < 9; ++i)
        backend->devices.push_back("dev" + std::to_string(i));
    ports->attach(router);
    EXPECT_EQ(ports->openCount(), 8);
    EXPECT_EQ(backend->opened, 8);
    ports->rescan();
    EXPECT_EQ(backend->opened, 8) << "nothing reopens while nothing changed";
    // The rescan that notices dev3 is gone frees its port; the waiting device opens on the next.
    backend->devices.erase(backend->devices.begin() + 3);
    ports->rescan();
    EXPECT_EQ(ports->openCount(), 7);
    EXPECT_FALSE(router.connected(3));
    ports->rescan();
    EXPECT_EQ(ports->openCount(), 8);
    EXPECT_EQ(router.name(3), "dev8");
}

TEST_F(MidiInputPortsTest, SameNameOpensOnceAndNamesAreMadeValidText) {
    backend->devices = {"Twin", "Twin", "", "", "Bad\xFFName"};
    ports->attach(router);
    EXPECT_EQ(ports->names(), (std::vector<std::string>{"Twin", "MIDI", "Bad\xEF\xBF\xBDName"}));
}

TEST_F(MidiInputPortsTest, LongMultiByteNamesMatchTheirOwnSlot) {
    std::string name;
    for (int i = 0; i < 50; ++i)
        name += "\xE2\x82\xAC"; // 150 bytes of euro signs
    backend->devices = {name, std::string(200, 'x')};
    ports->attach(router);
    for (int i = 0; i < 5; ++i)
        ports->rescan();
    EXPECT_EQ(backend->opened, 2);
    EXPECT_EQ(backend->closed, 0);
    const std::vector<std::string> names = ports->names();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].size(), 63u);
    EXPECT_EQ(names[0], name.substr(0, 63));
    EXPECT_EQ(names[1], std::string(63, 'x'));
    EXPECT_EQ(router.name(0), names[0]);
}

TEST_F(MidiInputPortsTest, FailedOpensLeaveThePortFreeAndRetry) {
    backend->devices = {"Flaky", "Good"};
    backend->failing = {"Flaky"};
    ports->attach(router);
    EXPECT_EQ(connectedNames()[0], "Good");
    EXPECT_EQ(ports->openCount(), 1);
    backend->failing.clear();
    ports->rescan();
    EXPECT_EQ(connectedNames()[1], "Flaky");
}

// RtMidi names ALSA and JACK ports: Linux only.
#ifndef _WIN32
TEST(RtMidiNames, AlsaAddressesAreStrippedAndOwnJackPortsRecognised) {
    EXPECT_EQ(RtMidiBackend::deviceName("XYZ-1:XYZ-1 MIDI 1 20:0", true), "XYZ-1:XYZ-1 MIDI 1");
    EXPECT_EQ(RtMidiBackend::deviceName("Midi Through:Port-0 14:0", true), "Midi Through:Port-0");
    EXPECT_EQ(RtMidiBackend::deviceName("Name 20:0", false), "Name 20:0") << "JACK names stay";
    EXPECT_EQ(RtMidiBackend::deviceName("Name 20:", true), "Name 20:");
    EXPECT_EQ(RtMidiBackend::deviceName("Name20:0", true), "Name20:0");
    EXPECT_EQ(RtMidiBackend::deviceName("20:0", true), "20:0");
    EXPECT_TRUE(RtMidiBackend::ownJackPort("VYN:in", "VYN"));
    EXPECT_TRUE(RtMidiBackend::ownJackPort("VYN-01:in", "VYN"));
    EXPECT_FALSE(RtMidiBackend::ownJackPort("VYN-x:in", "VYN"));
    EXPECT_FALSE(RtMidiBackend::ownJackPort("VYNTH:out", "VYN"));
    EXPECT_FALSE(RtMidiBackend::ownJackPort("system:midi_capture_1", "VYN"));
    EXPECT_FALSE(RtMidiBackend::ownJackPort("VYN", "VYN"));
}
#endif

} // namespace
} // namespace vyn
