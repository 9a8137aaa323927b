#include "support/SpscRing.h"

#include <gtest/gtest.h>

#include <thread>

namespace vyn {
namespace {

TEST(SpscRing, HoldsOneLessThanItsSizeInOrderAcrossWrap) {
    SpscRing<int, 4> ring;
    int next = 0;
    int expected = 0;
    for (int round = 0; round < 100; ++round) {
        while (ring.push(next))
            ++next;
        EXPECT_EQ(ring.size(), 3u);
        int v;
        while (ring.pop(v))
            EXPECT_EQ(v, expected++);
    }
    EXPECT_EQ(next, 300);
    EXPECT_EQ(expected, next);
}

TEST(SpscRing, TransfersEveryItemBetweenThreads) {
    SpscRing<long, 1024> ring;
    constexpr long kItems = 200000;
    std::thread producer([&] {
        for (long i = 0; i < kItems;)
            if (ring.push(i)) ++i;
    });
    long expected = 0;
    long v;
    while (expected < kItems) {
        if (ring.pop(v)) {
            ASSERT_EQ(v, expected++);
        }
    }
    producer.join();
    EXPECT_TRUE(ring.empty());
}

} // namespace
} // namespace vyn
