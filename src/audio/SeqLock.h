#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>
#include <type_traits>

namespace mt {

// A small value one thread writes and others read, without a lock either could wait on: the
// writer never waits; a reader that meets a write under way tries again. The value is kept in
// atomic words, so no reader ever sees a torn copy it keeps.
template <typename T> class SeqLock {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    SeqLock() noexcept { write(T{}); }

    // The one writer. Never blocks.
    void write(const T& value) noexcept {
        std::array<std::uint64_t, kWords> words{};
        std::memcpy(words.data(), &value, sizeof(T));
        const std::uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
        m_sequence.store(sequence + 1, std::memory_order_relaxed);
        // Release: a reader that sees any of these words sees the odd sequence after them.
        for (std::size_t i = 0; i < kWords; ++i) {
            m_words[i].store(words[i], std::memory_order_release);
        }
        m_sequence.store(sequence + 2, std::memory_order_release);
    }
    // Any reader. Never blocks. False, `value` untouched, when a write was under way.
    bool tryRead(T& value) const noexcept {
        const std::uint32_t before = m_sequence.load(std::memory_order_acquire);
        if ((before & 1U) != 0) {
            return false;
        }
        std::array<std::uint64_t, kWords> words{};
        for (std::size_t i = 0; i < kWords; ++i) {
            words[i] = m_words[i].load(std::memory_order_acquire);
        }
        if (m_sequence.load(std::memory_order_relaxed) != before) {
            return false;
        }
        std::memcpy(static_cast<void*>(&value), words.data(), sizeof(T));
        return true;
    }
    // Any thread but the writer's. Tries until no write was under way: a write takes a few
    // stores, so a moment at most unless the writer is preempted inside one.
    T read() const noexcept {
        T value{};
        while (!tryRead(value)) {
            std::this_thread::yield();
        }
        return value;
    }

private:
    static constexpr std::size_t kWords = (sizeof(T) + 7) / 8;

    std::atomic<std::uint32_t> m_sequence{0};
    std::array<std::atomic<std::uint64_t>, kWords> m_words{};
};

} // namespace mt
