#pragma once
// A counter that one thread sleeps on and other threads bump to wake it, where bumping neither
// locks nor allocates (so a MIDI driver's callback may do it). On Linux the standard atomic wait
// is a futex; on Windows libstdc++'s atomic wait takes a mutex, so WaitOnAddress and
// WakeByAddressSingle do the work there. One implementation per platform (WakeWordPosix.cpp,
// WakeWordWindows.cpp).
//
// Threading: any number of threads bump; one thread waits.

#include <atomic>
#include <cstdint>

namespace vyn {

class WakeWord {
public:
    std::uint32_t load() const noexcept { return value_.load(std::memory_order_acquire); }
    // Adds one and wakes the waiter. Lock- and allocation-free.
    void bump() noexcept;
    // Returns once the value differs from `seen` (possibly also spuriously: callers re-check).
    void wait(std::uint32_t seen) noexcept;

private:
    std::atomic<std::uint32_t> value_{0};
};

} // namespace vyn
