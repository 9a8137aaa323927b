#pragma once
// The engine side of set recording: while a recording runs, the audio thread writes one record
// per applied command into a ring that the user-interface thread drains. A recording's origin is
// the first frame of the block after it was requested, so every frame is relative to it.
//
// Threading: requestStart/requestFinish/pop/dropped on the user-interface thread; tick/capture on
// the audio thread; recordingId/framesSinceStart/startFrameOf from any thread (the MIDI input
// thread stamps its own captures with them, the mix recorder lines its file up with them).

#include "engine/Command.h"
#include "support/SpscRing.h"

#include <atomic>
#include <cstdint>

namespace vyn {

struct CapturedCommand {
    std::int64_t frame = 0; // relative to the recording's start
    std::uint32_t recordingId = 0;
    std::uint16_t command = 0;
    std::int16_t deck = -1;
    double value = 0.0;
    std::int32_t trackId = 0;
    char path[384] = {}; // NUL-terminated; only for LOAD_TRACK
};

class CommandCapture {
public:
    // Starts a new recording and returns its id (never 0).
    std::uint32_t requestStart() noexcept;
    // Ends the current recording; records already captured stay in the ring.
    void requestFinish() noexcept;
    std::uint32_t currentId() const noexcept { return id_.load(std::memory_order_acquire); }
    // The id of the recording in progress (started or about to start), 0 when none.
    std::uint32_t recordingId() const noexcept {
        return active_.load(std::memory_order_acquire) ||
                       startPending_.load(std::memory_order_acquire)
                   ? id_.load(std::memory_order_acquire)
                   : 0;
    }
    // Frames from the recording's start to the start of the latest render block; 0 before the
    // audio thread resolved the start.
    std::int64_t framesSinceStart() const noexcept;
    // The engine frame at which recording `id` began, or -1 while it has not begun (or `id` is not
    // the latest recording).
    std::int64_t startFrameOf(std::uint32_t id) const noexcept;
    // The id of the latest recording whose start the audio thread resolved (0: none yet).
    std::uint32_t startedId() const noexcept {
        return sharedStartId_.load(std::memory_order_acquire);
    }

    // Audio thread: resolves a pending start to `engineFrame`.
    void tick(std::uint64_t engineFrame) noexcept;
    // Audio thread: records one applied command (no-op while not recording).
    void capture(const Command& command, std::uint64_t engineFrame) noexcept;

    bool pop(CapturedCommand& out) noexcept { return ring_.pop(out); }
    std::uint64_t dropped() const noexcept { return dropped_.load(std::memory_order_relaxed); }

private:
    std::atomic<std::uint32_t> id_{0};
    std::atomic<bool> startPending_{false};
    std::atomic<bool> active_{false};
    std::uint64_t startFrame_ = 0; // audio thread only
    // Published by the audio thread for the other readers: the start of the latest recording
    // (-1 until resolved) with its id, and the frame of the latest block.
    std::atomic<std::int64_t> sharedStart_{-1};
    std::atomic<std::uint32_t> sharedStartId_{0};
    std::atomic<std::uint64_t> engineFrame_{0};
    std::uint32_t nextId_ = 0; // user-interface thread only
    std::atomic<std::uint64_t> dropped_{0};
    SpscRing<CapturedCommand, 8192> ring_;
};

} // namespace vyn
