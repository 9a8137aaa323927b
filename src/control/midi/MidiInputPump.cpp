#include "control/midi/MidiInputPump.h"

#include "control/midi/MidiRouter.h"

#include <algorithm>
#include <cstring>

namespace vyn {

std::uint32_t midiStampSince(std::chrono::steady_clock::time_point epoch) noexcept {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - epoch)
                        .count();
    const auto t = static_cast<std::uint32_t>(ms + 1);
    return t == 0 ? 1 : t;
}

void PumpSource::push(const std::uint8_t* bytes, std::size_t length) noexcept {
    const std::uint32_t time = midiStampSince(epoch);
    for (std::size_t offset = 0; offset < length; offset += sizeof(RawMidiChunk::bytes)) {
        RawMidiChunk c;
        c.length = static_cast<std::uint8_t>(std::min(length - offset, sizeof c.bytes));
        std::memcpy(c.bytes, bytes + offset, c.length);
        c.time = time;
        if (!ring.push(c)) lost.fetch_add(1, std::memory_order_relaxed);
    }
    if (pump) pump->notify();
}

MidiInputPump::MidiInputPump() : thread_([this] { run(); }) {}

MidiInputPump::~MidiInputPump() {
    stop_.store(true, std::memory_order_release);
    pending_.bump();
    thread_.join();
}

void MidiInputPump::add(PumpSource* source) {
    std::lock_guard<std::mutex> lock(feedMutex_);
    sources_.push_back(source);
}

void MidiInputPump::remove(PumpSource* source) {
    std::lock_guard<std::mutex> lock(feedMutex_);
    sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void MidiInputPump::notify() noexcept {
    pending_.bump();
}

void MidiInputPump::run() {
    for (;;) {
        const std::uint32_t seen = pending_.load();
        if (stop_.load(std::memory_order_acquire)) return;
        {
            std::lock_guard<std::mutex> lock(feedMutex_);
            for (PumpSource* s : sources_) {
                RawMidiChunk c;
                while (s->ring.pop(c))
                    s->router->feed(s->port, c.bytes, c.length, c.time);
            }
        }
        pending_.wait(seen);
    }
}

} // namespace vyn
