#pragma once
// Long work over the catalogue in short turns: a job that walks every track holds the catalogue
// lock for about a millisecond at a time and lets go in between, so the window waiting to browse
// is never held up for long. Between turns the job pauses briefly: the lock is not fair, and a
// thread that takes it again at once would keep a woken waiter out turn after turn.
//
// Threading: the caller must not hold `mutex`.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <thread>

namespace vyn {

inline constexpr auto kCatalogueLockTurn = std::chrono::microseconds(1000);
inline constexpr auto kCatalogueLockGap = std::chrono::microseconds(100);

// Calls step(i) for i = 0 .. count-1, each with `mutex` held; the lock is released and taken
// again (after kCatalogueLockGap) whenever a turn has lasted kCatalogueLockTurn.
template <class Step> void forEachInLockTurns(std::mutex& mutex, std::size_t count, Step&& step) {
    using Clock = std::chrono::steady_clock;
    std::size_t i = 0;
    while (i < count) {
        if (i > 0) std::this_thread::sleep_for(kCatalogueLockGap);
        std::lock_guard<std::mutex> lock(mutex);
        const Clock::time_point end = Clock::now() + kCatalogueLockTurn;
        do {
            step(i);
            ++i;
        } while (i < count && ((i & 31) != 0 || Clock::now() < end));
    }
}

} // namespace vyn
