#pragma once
// A real MIDI peer through the JACK server of the test services: a virtual output port that sends
// bytes to VYN's inputs, and the waits that go with it.

#include "common/WaitFor.h"
#include "control/midi/MidiRouter.h"

#include <RtMidi.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace vyn::test {

// Client names are unique per process and per sender: a client that just closed may linger on
// the server for a moment, and a new client of the same name would be renamed.
inline std::string uniqueMidiClient() {
    static int count = 0;
    return "midi-e2e-" + std::to_string(getpid()) + "x" + std::to_string(++count);
}

class MidiSender {
public:
    explicit MidiSender(std::string client = uniqueMidiClient())
        : client_(std::move(client)), out_(RtMidi::UNIX_JACK, client_) {
        out_.openVirtualPort("vyn_test_out");
    }
    std::string device() const { return client_ + ":vyn_test_out"; }
    void send(std::vector<unsigned char> bytes) { out_.sendMessage(&bytes); }

private:
    std::string client_;
    RtMidiOut out_;
};

// JACK makes a new connection part of its graph a cycle or two after jack_connect returns: send
// active-sensing bytes until one has come through the router before the bytes under test.
inline bool primeConnection(MidiSender& sender, const MidiRouter& router, int port) {
    const std::uint32_t before = router.received(port);
    return waitFor([&] { return router.received(port) > before; }, std::chrono::milliseconds(5000),
                   [&] { sender.send({0xFE}); });
}

// The router port connected to `name`, or -1.
inline int routerPortOf(const MidiRouter& router, const std::string& name) {
    for (int p = 0; p < MidiRouter::kPorts; ++p)
        if (router.connected(p) && router.name(p) == name) return p;
    return -1;
}

} // namespace vyn::test
