// The wrong-code back-off: waits double per wrong code up to the cap, per address, and a right
// code or ten quiet minutes forget the address.

#include "control/link/PairingGuard.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

class PairingGuardTest : public ::testing::Test {
protected:
    PairingGuard g{seconds(1), seconds(30)};
    const PairingGuard::Clock::time_point t0 = PairingGuard::Clock::time_point{} + minutes(1);
};

TEST_F(PairingGuardTest, WaitDoublesUpToTheCap) {
    EXPECT_TRUE(g.mayTry(7, t0));
    const long expected[] = {1, 2, 4, 8, 16, 30, 30};
    auto now = t0;
    for (long wait : expected) {
        g.wrongCode(7, now);
        EXPECT_EQ(g.readyAt(7, now) - now, seconds(wait));
        EXPECT_FALSE(g.mayTry(7, now + seconds(wait) - milliseconds(1)));
        EXPECT_TRUE(g.mayTry(7, now + seconds(wait)));
        EXPECT_TRUE(g.mayTry(8, now)) << "another address does not wait";
        now += seconds(wait);
    }
}

TEST_F(PairingGuardTest, RightCodeAndQuietTimeForget) {
    for (int i = 0; i < 4; ++i)
        g.wrongCode(1, t0 + seconds(20 * i));
    g.rightCode(1);
    EXPECT_TRUE(g.mayTry(1, t0 + seconds(60)));
    g.wrongCode(1, t0 + seconds(60));
    EXPECT_EQ(g.readyAt(1, t0 + seconds(60)), t0 + seconds(61)); // back to the first wait

    for (int i = 0; i < 5; ++i)
        g.wrongCode(2, t0 + seconds(40 * i));
    const auto last = t0 + seconds(160);
    g.wrongCode(2, last + PairingGuard::kForgetAfter);
    EXPECT_EQ(g.readyAt(2, last + PairingGuard::kForgetAfter),
              last + PairingGuard::kForgetAfter + seconds(1));
}

TEST_F(PairingGuardTest, TableStaysBounded) {
    for (std::uint32_t peer = 0; peer < 3 * PairingGuard::kMaxPeers; ++peer)
        g.wrongCode(peer, t0);
    EXPECT_LE(g.trackedPeers(), PairingGuard::kMaxPeers);
    EXPECT_FALSE(g.mayTry(3 * PairingGuard::kMaxPeers - 1, t0)); // the newest is still held back
}

} // namespace
} // namespace vyn
