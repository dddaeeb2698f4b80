#pragma once

#include "media/cd/CdDisc.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace mt {

// One sector of disc audio on its way from the reader to the audio thread.
struct CdChunk {
    enum Flags : std::uint16_t {
        kEnd = 1,       // no audio: playback has reached the lead-out (or gave up reading)
        kReadError = 2, // the sector could not be read; it holds silence
    };

    std::uint32_t generation = 0; // the play or seek request the sector was read for
    std::int32_t sector = 0;
    std::uint16_t flags = 0;
    std::array<std::int16_t, std::size_t{CdDisc::kFramesPerSector} * 2> samples{};
};

// A single-producer single-consumer ring of chunks filled and drained in place, so neither
// side copies a sector more than once. The reader writes, the audio thread reads; neither
// blocks, locks or allocates.
template <std::size_t N> class CdChunkRing {
    static_assert(N >= 2 && (N & (N - 1)) == 0, "capacity must be a power of two");

public:
    // Producer only. The slot to fill next, or null when the ring is full.
    CdChunk* writeSlot() noexcept {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        if (head - m_tail.load(std::memory_order_acquire) == N) {
            return nullptr;
        }
        return &m_items[head & (N - 1)];
    }
    // Producer only: publishes the slot writeSlot() gave.
    void commit() noexcept {
        m_head.store(m_head.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Consumer only. The oldest chunk, or null when the ring is empty.
    const CdChunk* front() const noexcept {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire)) {
            return nullptr;
        }
        return &m_items[tail & (N - 1)];
    }
    // Consumer only: lets go of the chunk front() gave.
    void pop() noexcept {
        m_tail.store(m_tail.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Either thread; a snapshot (the tail first: it never passes the head).
    std::size_t size() const noexcept {
        const std::size_t tail = m_tail.load(std::memory_order_acquire);
        return m_head.load(std::memory_order_acquire) - tail;
    }
    static constexpr std::size_t capacity() noexcept { return N; }

private:
    static constexpr std::size_t kLine = 64;

    alignas(kLine) std::atomic<std::size_t> m_head{0}; // chunks ever written
    alignas(kLine) std::atomic<std::size_t> m_tail{0}; // chunks ever read
    alignas(kLine) std::array<CdChunk, N> m_items{};
};

} // namespace mt
