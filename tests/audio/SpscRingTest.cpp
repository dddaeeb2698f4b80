// The command ring between the UI and audio threads; the stress case runs under TSan in CI.
#include "audio/SpscRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

// A lost item fails the test after a bounded wait instead of hanging it.
TEST(SpscRingStress, TwoThreadsLoseDuplicateAndTearNothing) {
    constexpr std::uint64_t kCount = 300000;
    SpscRing<Item, 64> ring; // small, so both full and empty are hit constantly
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::atomic<bool> gaveUp{false};
    std::thread producer([&] {
        for (std::uint64_t i = 0; i < kCount && !gaveUp.load();) {
            if (ring.push({i, i * 2654435761u ^ 0x5bd1e995u})) {
                ++i;
            } else {
                std::this_thread::yield();
            }
        }
    });
    std::uint64_t expected = 0;
    bool intact = true;
    while (expected < kCount && std::chrono::steady_clock::now() < deadline) {
        Item item{};
        if (!ring.pop(item)) {
            std::this_thread::yield();
            continue;
        }
        intact = intact && item.sequence == expected &&
                 item.check == (item.sequence * 2654435761u ^ 0x5bd1e995u);
        ++expected;
    }
    gaveUp = true;
    producer.join();
    EXPECT_EQ(expected, kCount) << "items lost: none came for the rest within 60 s";
    EXPECT_TRUE(intact) << "an item came out of order, twice or torn";
    EXPECT_TRUE(ring.empty());
}

} // namespace
} // namespace mt
