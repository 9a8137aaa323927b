// End to end through a real JACK server: a virtual MIDI output of this test sends messages that
// arrive through the RtMidi input with their times; ports that vanish are closed and reopened
// when they come back; the monitor tool prints what arrives. What the hub makes of the messages
// is MidiHubTest's.

#include "common/MidiPeer.h"
#include "common/TestPaths.h"
#include "control/midi/MidiInputPorts.h"
#include "control/midi/MidiRouter.h"
#include "control/midi/RtMidiBackend.h"

#include <RtMidi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vyn {
namespace {

using namespace std::chrono_literals;

using test::MidiSender;
using test::primeConnection;
using test::routerPortOf;
using test::waitFor;

class MidiJackTest : public ::testing::Test {
protected:
    void SetUp() override { VYN_REQUIRE_TEST_SERVICES(); }
};

TEST_F(MidiJackTest, VanishedPortsCloseAndReturningOnesReopen) {
    MidiRouter router;
    std::atomic<int> notes{0};
    std::atomic<bool> untimed{false};
    router.setObserver([&](int, const MidiMessage& m, std::uint32_t time) {
        untimed = untimed || time == 0;
        if (m.midiKind() == MidiKind::NoteOn) ++notes;
    });
    MidiInputPorts ports(createMidiBackend({MidiApi::Jack, "VYN"}));
    EXPECT_STREQ(ports.backend().apiName(), "JACK");
    ports.attach(router);
    auto rescan = [&] { ports.rescan(); };

    const std::string client = test::uniqueMidiClient();
    const std::string device = client + ":vyn_test_out";
    auto sender = std::make_unique<MidiSender>(client);
    ASSERT_TRUE(waitFor([&] { return routerPortOf(router, device) >= 0; }, 5000ms, rescan));
    ASSERT_TRUE(primeConnection(*sender, router, routerPortOf(router, device)));
    sender->send({0x90, 1, 1});
    ASSERT_TRUE(waitFor([&] { return notes.load() == 1; }));

    sender.reset();
    ASSERT_TRUE(waitFor([&] { return routerPortOf(router, device) < 0; }, 5000ms, rescan))
        << "the vanished port stays open";

    // The same device comes back under the same name.
    sender = std::make_unique<MidiSender>(client);
    ASSERT_TRUE(waitFor([&] { return routerPortOf(router, device) >= 0; }, 5000ms, rescan))
        << "the returning port is not reopened";
    // JACK itself may lose an event on a connection made just after a client of the same name
    // went away (seen with RtMidi alone): repeat the note until one comes through.
    EXPECT_TRUE(waitFor([&] { return notes.load() >= 2; }, 5000ms,
                        [&] {
                            sender->send({0x90, 2, 1});
                        }));
    EXPECT_FALSE(untimed) << "every message carries its arrival time";
    ports.closeAll();
}

TEST_F(MidiJackTest, OutputListShowsOtherClientsOnly) {
    const std::string receiver = "midi-e2e-in-" + std::to_string(getpid());
    RtMidiIn virtualIn(RtMidi::UNIX_JACK, receiver);
    virtualIn.openVirtualPort("vyn_test_in");
    auto backend = createMidiBackend({MidiApi::Jack, "VYN"});
    // An open input of ours must not show up as an output device.
    MidiRouter router;
    MidiSender sender;
    const std::string device = sender.device();
    std::vector<MidiDeviceInfo> inputs = backend->listInputs();
    auto it = std::find_if(inputs.begin(), inputs.end(),
                           [&](const MidiDeviceInfo& d) { return d.name == device; });
    ASSERT_NE(it, inputs.end());
    router.portConnected(0, device);
    auto input = backend->openInput(*it, router, 0);
    ASSERT_NE(input, nullptr) << backend->lastError();
    bool found = false;
    for (const MidiOutputInfo& o : backend->listOutputs()) {
        EXPECT_FALSE(RtMidiBackend::ownJackPort(o.name, "VYN")) << o.name;
        if (o.name == receiver + ":vyn_test_in") found = true;
    }
    EXPECT_TRUE(found);
    input.reset();
}

TEST_F(MidiJackTest, MonitorToolPrintsWhatArrives) {
    MidiSender sender;
    const std::string device = sender.device();
    const std::string command = "'" + test::builtExecutable("vyn-tool") +
                                "' midi monitor --api jack --count 2 --seconds 20";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char buffer[512];
    std::string prefix; // "p<N>  " once the sender's port is open (other clients may hold p0)
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        lines.emplace_back(buffer);
        const std::string& l = lines.back();
        const std::string suffix = " " + device + "\n";
        if (prefix.empty() && l.rfind("+ p", 0) == 0 && l.size() > suffix.size() &&
            l.compare(l.size() - suffix.size(), suffix.size(), suffix) == 0) {
            prefix = l.substr(2, l.size() - suffix.size() - 2) + "  ";
            // The monitor has connected; give JACK a few cycles to route the new connection.
            std::this_thread::sleep_for(300ms);
            sender.send({0x90, 60, 100});
            sender.send({0xF0, 0x7E, 0x01, 0x02, 0xF7}); // SysEx prints nothing
            sender.send({0xB1, 7, 127});
        }
    }
    const int status = pclose(pipe);
    EXPECT_EQ(status, 0);
    ASSERT_FALSE(prefix.empty()) << (lines.empty() ? "no output" : lines.front());
    std::vector<std::string> messages;
    for (const std::string& l : lines)
        if (l.rfind(prefix, 0) == 0) messages.push_back(l.substr(prefix.size()));
    std::string all;
    for (const std::string& l : lines)
        all += l;
    ASSERT_EQ(messages.size(), 2u) << all;
    EXPECT_EQ(messages[0], "ch1   note on    note  60  vel 100  90 3C 64\n");
    EXPECT_EQ(messages[1], "ch2   cc         num    7  val 127  B1 07 7F\n");
}

} // namespace
} // namespace vyn
