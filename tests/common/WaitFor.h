#pragma once
// Polling for something another thread, process or device brings about, with a bound so that a
// test fails instead of hanging when it never happens.

#include <chrono>
#include <functional>
#include <thread>

namespace vyn::test {

// Polls `condition` every 20 ms (running `each` first) until it holds or `limit` has passed.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(5000),
                    const std::function<void()>& each = nullptr) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (each) each();
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

} // namespace vyn::test
