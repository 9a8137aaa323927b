#pragma once
// The eight command rings that carry commands from producer threads to the audio thread.
// Each producer thread acquires one slot for the life of the engine and pushes only through it;
// the audio thread is the only consumer. Nothing here locks, allocates or waits.

#include "engine/Command.h"
#include "support/SpscRing.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vyn {

class CommandQueue {
public:
    static constexpr int kRings = 8;
    static constexpr std::size_t kSlotsPerRing = 1024; // at most 1023 waiting per ring

    // A slot 0-7, or -1 once eight are taken. Slots are never released.
    int acquireProducer() noexcept;
    // False when `slot` is not 0-7 or its ring is full; nothing is written then.
    bool push(int slot, const Command& command) noexcept;

    // Consumer side (audio thread): hands the waiting commands to `apply`, ring by ring in ring
    // order and in FIFO order within a ring. Only what each ring held when the drain began is
    // taken: a producer that keeps pushing waits for the next drain instead of stretching this
    // one without end.
    template <typename Apply> void drain(Apply&& apply) noexcept {
        const int rings = ringsInUse();
        std::size_t waiting[kRings];
        for (int ring = 0; ring < rings; ++ring)
            waiting[ring] = rings_[ring].size();
        Command c;
        for (int ring = 0; ring < rings; ++ring)
            for (std::size_t i = 0; i < waiting[ring] && rings_[ring].pop(c); ++i)
                apply(c);
    }
    int ringsInUse() const noexcept;
    // One ring's next command, outside a drain.
    bool pop(int ring, Command& out) noexcept { return rings_[ring].pop(out); }

private:
    std::atomic<std::uint32_t> producers_{0};
    SpscRing<Command, kSlotsPerRing> rings_[kRings];
};

} // namespace vyn
