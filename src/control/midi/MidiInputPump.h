#pragma once
// The bridge between a MIDI backend's input callbacks and the router. A callback copies its
// bytes into its source's lock-free ring and wakes the pump; the pump's one thread (the MIDI
// input thread) feeds the router from the rings, so only that thread parses and runs the router's
// observer. Shared by the backends (RtMidi on Linux, WinMM on Windows).
//
// Threading: push() and notify() are lock-free and may run on any backend thread, one producer
// per source. add()/remove() come from the thread that opens and closes inputs; after remove()
// returns the pump never touches that source again. The thread starts with the pump and ends
// when it is destroyed.

#include "support/SpscRing.h"
#include "support/WakeWord.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vyn {

class MidiRouter;
class MidiInputPump;

// Bytes of one input message, cut into fixed pieces; the stream parser joins them again.
struct RawMidiChunk {
    std::uint8_t bytes[12] = {};
    std::uint8_t length = 0;
    std::uint32_t time = 0;
};

// One open input's ring and destination.
struct PumpSource {
    SpscRing<RawMidiChunk, 1024> ring;
    MidiRouter* router = nullptr;
    int port = 0;
    MidiInputPump* pump = nullptr;
    std::chrono::steady_clock::time_point epoch;
    std::atomic<std::uint64_t> lost{0}; // chunks that found the ring full

    // Queues `length` bytes stamped now and wakes the pump. Lock- and allocation-free.
    void push(const std::uint8_t* bytes, std::size_t length) noexcept;
};

// Milliseconds since `epoch`, starting at 1 and skipping 0 when it wraps (0 means "no time").
std::uint32_t midiStampSince(std::chrono::steady_clock::time_point epoch) noexcept;

class MidiInputPump {
public:
    MidiInputPump();
    ~MidiInputPump();
    MidiInputPump(const MidiInputPump&) = delete;
    MidiInputPump& operator=(const MidiInputPump&) = delete;

    void add(PumpSource* source);
    // Returns once no feed for `source` is running.
    void remove(PumpSource* source);
    void notify() noexcept;

private:
    void run();

    std::mutex feedMutex_;
    std::vector<PumpSource*> sources_; // guarded by feedMutex_
    WakeWord pending_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace vyn
