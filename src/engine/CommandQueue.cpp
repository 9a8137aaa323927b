#include "engine/CommandQueue.h"

#include <algorithm>

namespace vyn {

int CommandQueue::acquireProducer() noexcept {
    const std::uint32_t slot = producers_.fetch_add(1, std::memory_order_acq_rel);
    return slot < kRings ? static_cast<int>(slot) : -1;
}

bool CommandQueue::push(int slot, const Command& command) noexcept {
    if (slot < 0 || slot >= kRings) return false;
    return rings_[slot].push(command);
}

int CommandQueue::ringsInUse() const noexcept {
    return static_cast<int>(
        std::min<std::uint32_t>(producers_.load(std::memory_order_acquire), kRings));
}

} // namespace vyn
