#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace mt {

// The latest value of a small trivially copyable T, which one thread writes and any thread
// reads without ever holding the writer up: the writer never waits, a reader tries again while
// a write is under way. The value is kept in atomic words, so no access races.
template <typename T> class Seqlock {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    Seqlock() noexcept { store(T{}); }

    // The writer's thread (one at a time). Never blocks.
    void store(const T& value) noexcept {
        Words words{};
        std::memcpy(words.data(), &value, sizeof(T));
        const std::uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
        m_sequence.store(sequence + 1, std::memory_order_relaxed);
        // Each word released, so a reader that sees it sees the odd count before it (no fence:
        // ThreadSanitizer follows none).
        for (std::size_t i = 0; i < kWords; ++i) {
            m_words[i].store(words[i], std::memory_order_release);
        }
        m_sequence.store(sequence + 2, std::memory_order_release);
    }

    // Any thread. Spins only while a store is half done (a few dozen instructions).
    T load() const noexcept {
        Words words{};
        for (;;) {
            const std::uint32_t before = m_sequence.load(std::memory_order_acquire);
            for (std::size_t i = 0; i < kWords; ++i) {
                words[i] = m_words[i].load(std::memory_order_acquire);
            }
            if (before % 2 == 0 && m_sequence.load(std::memory_order_relaxed) == before) {
                break;
            }
        }
        T value;
        std::memcpy(static_cast<void*>(&value), words.data(), sizeof(T));
        return value;
    }

private:
    static constexpr std::size_t kWords = (sizeof(T) + 7) / 8;
    using Words = std::array<std::uint64_t, kWords>;

    std::atomic<std::uint32_t> m_sequence{0};
    std::array<std::atomic<std::uint64_t>, kWords> m_words{};
};

} // namespace mt
