#include "control/midi/MidiRouter.h"

#include "support/Utf8.h"

#include <cstring>

namespace vyn {

bool MidiRouter::portConnected(int port, std::string_view name) {
    if (!valid(port)) return false;
    Port& p = ports_[port];
    p.parser.reset();
    // Entries of the previous device stay readable; the counters start again for the new one.
    p.received.store(0, std::memory_order_relaxed);
    p.dropped.store(0, std::memory_order_relaxed);
    const std::string_view cut = utf8::truncate(name, kNameBytes);
    std::memcpy(p.name, cut.data(), cut.size());
    p.name[cut.size()] = '\0';
    p.nameLength = cut.size();
    p.connected.store(true, std::memory_order_release);
    return true;
}

void MidiRouter::portDisconnected(int port) {
    if (valid(port)) ports_[port].connected.store(false, std::memory_order_release);
}

void MidiRouter::disconnectAll() {
    for (Port& p : ports_)
        p.connected.store(false, std::memory_order_release);
}

void MidiRouter::feed(int port, const std::uint8_t* bytes, std::size_t length,
                      std::uint32_t time) noexcept {
    if (!valid(port) || !bytes || length == 0) return;
    Port& p = ports_[port];
    if (!p.connected.load(std::memory_order_acquire)) return;
    constexpr std::size_t kChunk = 64;
    MidiMessage parsed[kChunk];
    for (std::size_t offset = 0; offset < length; offset += kChunk) {
        const std::size_t n = length - offset < kChunk ? length - offset : kChunk;
        const std::size_t count = p.parser.parse(bytes + offset, n, parsed, kChunk);
        for (std::size_t i = 0; i < count; ++i) {
            if (observer_) observer_(port, parsed[i], time);
            MidiRouterEntry e;
            e.message = parsed[i];
            e.port = port;
            e.time = time;
            if (p.ring.push(e))
                p.received.fetch_add(1, std::memory_order_relaxed);
            else
                p.dropped.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

std::size_t MidiRouter::drain(MidiRouterEntry* out, std::size_t capacity) noexcept {
    if (!out) return 0;
    std::size_t copied = 0;
    while (copied < capacity) {
        bool any = false;
        for (int port = 0; port < kPorts && copied < capacity; ++port) {
            if (ports_[port].ring.pop(out[copied])) {
                ++copied;
                any = true;
            }
        }
        if (!any) break;
    }
    return copied;
}

std::uint32_t MidiRouter::received(int port) const noexcept {
    return valid(port) ? ports_[port].received.load(std::memory_order_relaxed) : 0;
}

std::uint32_t MidiRouter::dropped(int port) const noexcept {
    return valid(port) ? ports_[port].dropped.load(std::memory_order_relaxed) : 0;
}

bool MidiRouter::connected(int port) const noexcept {
    return valid(port) && ports_[port].connected.load(std::memory_order_acquire);
}

std::string_view MidiRouter::name(int port) const noexcept {
    if (!valid(port)) return {};
    return std::string_view(ports_[port].name, ports_[port].nameLength);
}

} // namespace vyn
