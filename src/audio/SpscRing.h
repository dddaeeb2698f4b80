#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <new>
#include <type_traits>

namespace mt {

// A bounded single-producer single-consumer queue of small trivially copyable values. One
// thread may push and one other thread may pop; neither ever blocks, locks or allocates after
// construction. Capacity is N - 1 items (one slot tells full from empty).
template <typename T, std::size_t N> class SpscRing {
    static_assert(N >= 2 && (N & (N - 1)) == 0, "capacity must be a power of two");
    static_assert(std::is_trivially_copyable_v<T>, "items are copied by value");

public:
    // Producer thread only. Never blocks; false when the ring is full (the item is not queued).
    bool push(const T& item) noexcept {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        const std::size_t next = (head + 1) & kMask;
        if (next == m_tail.load(std::memory_order_acquire)) {
            return false;
        }
        m_items[head] = item;
        m_head.store(next, std::memory_order_release);
        return true;
    }

    // Consumer thread only. Never blocks; false when the ring is empty.
    bool pop(T& item) noexcept {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire)) {
            return false;
        }
        item = m_items[tail];
        m_tail.store((tail + 1) & kMask, std::memory_order_release);
        return true;
    }

    // Either thread. A snapshot: only the consumer can rely on it staying non-empty.
    bool empty() const noexcept {
        return m_tail.load(std::memory_order_acquire) == m_head.load(std::memory_order_acquire);
    }

    static constexpr std::size_t capacity() noexcept { return N - 1; }

private:
    static constexpr std::size_t kMask = N - 1;
    static constexpr std::size_t kLine = 64; // one cache line on the machines we run on

    alignas(kLine) std::atomic<std::size_t> m_head{0}; // written by the producer
    alignas(kLine) std::atomic<std::size_t> m_tail{0}; // written by the consumer
    alignas(kLine) std::array<T, N> m_items{};
};

} // namespace mt
