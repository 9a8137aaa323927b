#pragma once
// Slows down code guessing. Four digits fall to a script in seconds on a local network, so after a
// wrong code the peer's address must wait before its next pairing attempt is looked at, and the
// wait doubles with every further wrong code (up to a cap). A right code clears the address's
// record; a record that has seen no wrong code for ten minutes is forgotten.
//
// Threading: owned and used by the Link server thread only.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace vyn {

class PairingGuard {
public:
    using Clock = std::chrono::steady_clock;

    PairingGuard(Clock::duration firstWait, Clock::duration longestWait)
        : firstWait_(firstWait), longestWait_(longestWait) {}

    // When `peer` may try a code again (a time in the past when it may try now).
    Clock::time_point readyAt(std::uint32_t peer, Clock::time_point now) const;
    bool mayTry(std::uint32_t peer, Clock::time_point now) const {
        return readyAt(peer, now) <= now;
    }

    void wrongCode(std::uint32_t peer, Clock::time_point now);
    void rightCode(std::uint32_t peer) { records_.erase(peer); }

    std::size_t trackedPeers() const { return records_.size(); }

    static constexpr std::size_t kMaxPeers = 1024;
    static constexpr Clock::duration kForgetAfter = std::chrono::minutes(10);

private:
    struct Record {
        int failures = 0;
        Clock::time_point lastFailure;
        Clock::time_point readyAt;
    };
    void prune(Clock::time_point now);

    Clock::duration firstWait_;
    Clock::duration longestWait_;
    std::unordered_map<std::uint32_t, Record> records_;
};

} // namespace vyn
