#pragma once
// The refresh thread: once per display refresh it posts one refresh message to the
// user-interface thread, unless the previous one is still pending, so that however slow a
// refresh pass is, two refreshes never queue up. Where the display offers no vertical-blank wait
// (the swap does it, or nothing does, as under Xvfb), the thread paces itself at the display's
// rate, so the frame loop is never uncapped.
//
// Threading: start/stop from the user-interface thread; the poster runs on the ticker's thread;
// acknowledge() from the user-interface thread once the refresh pass ran.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vyn {

class RefreshTicker {
public:
    RefreshTicker() = default;
    ~RefreshTicker() { stop(); }
    RefreshTicker(const RefreshTicker&) = delete;
    RefreshTicker& operator=(const RefreshTicker&) = delete;

    // `hz` outside 1..1000 (an unknown rate) counts as 60.
    void start(double hz, std::function<void()> post);
    void stop();

    void acknowledge() { pending_.store(false, std::memory_order_release); }
    bool pending() const { return pending_.load(std::memory_order_acquire); }

private:
    void run(std::chrono::nanoseconds period);

    std::function<void()> post_;
    std::atomic<bool> pending_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false; // guarded by mutex_
    std::thread thread_;
};

} // namespace vyn
