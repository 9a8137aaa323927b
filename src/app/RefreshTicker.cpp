#include "app/RefreshTicker.h"

namespace vyn {

void RefreshTicker::start(double hz, std::function<void()> post) {
    stop();
    if (!(hz >= 1.0 && hz <= 1000.0)) hz = 60.0;
    post_ = std::move(post);
    pending_.store(false);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }
    const auto period = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(1.0 / hz));
    thread_ = std::thread([this, period] { run(period); });
}

void RefreshTicker::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void RefreshTicker::run(std::chrono::nanoseconds period) {
    auto next = std::chrono::steady_clock::now() + period;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_until(lock, next, [this] { return stopping_; })) {
        // A late wake (a loaded machine) does not make up for missed refreshes in a burst.
        const auto now = std::chrono::steady_clock::now();
        next += period;
        if (next < now) next = now + period;
        if (!pending_.exchange(true, std::memory_order_acq_rel)) post_();
    }
}

} // namespace vyn
