#include "control/link/PairingGuard.h"

namespace vyn {

PairingGuard::Clock::time_point PairingGuard::readyAt(std::uint32_t peer,
                                                      Clock::time_point now) const {
    const auto it = records_.find(peer);
    if (it == records_.end() || now - it->second.lastFailure >= kForgetAfter) return now;
    return it->second.readyAt;
}

void PairingGuard::wrongCode(std::uint32_t peer, Clock::time_point now) {
    auto it = records_.find(peer);
    if (it != records_.end() && now - it->second.lastFailure >= kForgetAfter) {
        records_.erase(it);
        it = records_.end();
    }
    if (it == records_.end()) {
        if (records_.size() >= kMaxPeers) prune(now);
        it = records_.emplace(peer, Record{}).first;
    }
    Record& r = it->second;
    ++r.failures;
    Clock::duration wait = firstWait_;
    for (int i = 1; i < r.failures && wait < longestWait_; ++i)
        wait *= 2;
    if (wait > longestWait_) wait = longestWait_;
    r.lastFailure = now;
    r.readyAt = now + wait;
}

void PairingGuard::prune(Clock::time_point now) {
    for (auto it = records_.begin(); it != records_.end();) {
        if (now - it->second.lastFailure >= kForgetAfter || it->second.readyAt <= now)
            it = records_.erase(it);
        else
            ++it;
    }
    if (records_.size() < kMaxPeers) return;
    // Still full of addresses that are all waiting: drop the one that waits the shortest.
    auto soonest = records_.begin();
    for (auto it = records_.begin(); it != records_.end(); ++it)
        if (it->second.readyAt < soonest->second.readyAt) soonest = it;
    records_.erase(soonest);
}

} // namespace vyn
