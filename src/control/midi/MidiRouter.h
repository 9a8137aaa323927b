#pragma once
// The meeting point of the MIDI inputs: eight ports, each with its own stream parser, a
// 256-entry ring of parsed messages for the monitor, counters and the device name. Every parsed
// message is also handed at once to the observer (the application's MIDI handler).
//
// Threading:
// - feed(port, ...): the input thread of that port only (one writer per port ring).
// - drain(): one consumer thread (the user-interface thread).
// - portConnected/portDisconnected/disconnectAll/setObserver: the thread that opens and closes
//   devices, and only while no input feeds the port concerned (a port is connected before its
//   input starts and its input is closed before it is disconnected). The observer is installed
//   once before the first device opens.
// - received/dropped/connected: any thread. name(): the device thread, or an input thread for its
//   own port while that port is connected.

#include "control/midi/MidiMessage.h"
#include "control/midi/MidiStreamParser.h"
#include "support/SpscRing.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace vyn {

struct MidiRouterEntry {
    MidiMessage message;
    std::int32_t port = 0;
    std::uint32_t time = 0; // milliseconds on the input's clock; 0 = unknown
};

class MidiRouter {
public:
    static constexpr int kPorts = 8;
    static constexpr std::size_t kNameBytes = 63;
    using Observer = std::function<void(int port, const MidiMessage& message, std::uint32_t time)>;

    MidiRouter() = default;
    MidiRouter(const MidiRouter&) = delete;
    MidiRouter& operator=(const MidiRouter&) = delete;

    void setObserver(Observer observer) { observer_ = std::move(observer); }

    // Resets the port's parser and counters, stores the name (cut to 63 bytes on a code point
    // boundary) and marks the port connected. False for ports outside 0-7.
    bool portConnected(int port, std::string_view name);
    void portDisconnected(int port);
    void disconnectAll();

    // Parses the bytes of one port; every message goes to the observer and, while there is room,
    // into the port's ring. Ignored for bad ports, empty input or a port that is not connected.
    // Never allocates.
    void feed(int port, const std::uint8_t* bytes, std::size_t length, std::uint32_t time) noexcept;

    // Copies waiting entries, taking at most one per port per pass over ports 0-7, until
    // `capacity` entries are copied or every ring is empty. Returns the number copied.
    std::size_t drain(MidiRouterEntry* out, std::size_t capacity) noexcept;

    std::uint32_t received(int port) const noexcept;
    std::uint32_t dropped(int port) const noexcept;
    bool connected(int port) const noexcept;
    std::string_view name(int port) const noexcept;

private:
    static bool valid(int port) { return port >= 0 && port < kPorts; }

    struct Port {
        MidiStreamParser parser;
        SpscRing<MidiRouterEntry, 256> ring; // at most 255 entries wait
        std::atomic<std::uint32_t> received{0};
        std::atomic<std::uint32_t> dropped{0};
        std::atomic<bool> connected{false};
        char name[kNameBytes + 1] = {};
        std::size_t nameLength = 0;
    };

    Port ports_[kPorts];
    Observer observer_;
};

} // namespace vyn
