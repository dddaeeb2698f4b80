// The command ring between the UI and audio threads; the stress case runs under TSan in CI.
#include "audio/SpscRing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

namespace mt {
namespace {

struct Item {
    std::uint64_t sequence;
    std::uint64_t check; // derived from sequence, so a torn copy shows
};

TEST(SpscRing, HoldsCapacityItemsInOrderThenRefuses) {
    SpscRing<int, 8> ring;
    EXPECT_TRUE(ring.empty());
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(ring.push(i));
    }
    EXPECT_FALSE(ring.push(99)) << "full at capacity()";
    int v = -1;
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(ring.pop(v));
        EXPECT_EQ(v, i);
    }
    EXPECT_FALSE(ring.pop(v));
    // Around the end of the storage several times.
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(ring.push(i));
        ASSERT_TRUE(ring.pop(v));
        ASSERT_EQ(v, i);
    }
}

TEST(SpscRingStress, TwoThreadsLoseDuplicateAndTearNothing) {
    constexpr std::uint64_t kCount = 300000;
    SpscRing<Item, 64> ring; // small, so both full and empty are hit constantly
    std::thread producer([&] {
        for (std::uint64_t i = 0; i < kCount;) {
            if (ring.push({i, i * 2654435761u ^ 0x5bd1e995u})) {
                ++i;
            } else {
                std::this_thread::yield();
            }
        }
    });
    std::uint64_t expected = 0;
    bool intact = true;
    while (expected < kCount) {
        Item item{};
        if (!ring.pop(item)) {
            std::this_thread::yield();
            continue;
        }
        intact = intact && item.sequence == expected &&
                 item.check == (item.sequence * 2654435761u ^ 0x5bd1e995u);
        ++expected;
    }
    producer.join();
    EXPECT_TRUE(intact);
    EXPECT_TRUE(ring.empty());
}

} // namespace
} // namespace mt
