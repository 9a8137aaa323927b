#include "support/SpscRing.h"

#include <gtest/gtest.h>

#include <thread>

namespace vyn {
namespace {

TEST(SpscRing, KeepsOneSlotEmpty) {
    SpscRing<int, 8> ring;
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(ring.push(i));
    EXPECT_FALSE(ring.push(99));
    EXPECT_EQ(ring.size(), 7u);
    int v = -1;
    EXPECT_TRUE(ring.pop(v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(ring.push(7));
}

TEST(SpscRing, DeliversInOrderAcrossWrap) {
    SpscRing<int, 4> ring;
    int next = 0;
    int expected = 0;
    for (int round = 0; round < 100; ++round) {
        while (ring.push(next))
            ++next;
        int v;
        while (ring.pop(v))
            EXPECT_EQ(v, expected++);
    }
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
