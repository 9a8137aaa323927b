#pragma once
// The MIDI side of set recording: while a recording runs, every incoming MIDI message is written
// with the recording's frame clock into a ring that the user-interface thread drains beside the
// engine's command capture. Messages are captured even while a replay owns the mix.
//
// Threading: capture() on the MIDI input thread (one writer); pop/dropped on the user-interface
// thread (one reader).

#include "engine/CommandCapture.h"
#include "support/SpscRing.h"

#include <atomic>
#include <cstdint>

namespace vyn {

struct CapturedMidi {
    std::int64_t frame = 0; // relative to the recording's start
    std::uint32_t recordingId = 0;
    std::uint16_t port = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};

class MidiCapture {
public:
    // `clock` tells whether a recording runs and supplies its frame clock.
    explicit MidiCapture(const CommandCapture& clock) : clock_(clock) {}

    // Writes one message when a recording runs; a full ring counts it as dropped.
    void capture(int port, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) noexcept;

    bool pop(CapturedMidi& out) noexcept { return ring_.pop(out); }
    std::uint64_t dropped() const noexcept { return dropped_.load(std::memory_order_relaxed); }

private:
    const CommandCapture& clock_;
    std::atomic<std::uint64_t> dropped_{0};
    SpscRing<CapturedMidi, 8192> ring_;
};

} // namespace vyn
