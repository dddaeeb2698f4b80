#pragma once

// Counts every allocation a guarded thread makes: malloc, calloc and realloc are replaced
// here, where operator new and C libraries alike end. Include it in one file of a program.
// The sanitizers bring their own malloc; under them the guard stands down (kGuarding false).

#include "audio/OfflineOutput.h"

#include <atomic>
#include <cstddef>
#include <vector>

namespace mt::test {
inline thread_local bool t_guarded = false;
inline std::atomic<int> g_allocations{0};
} // namespace mt::test

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kGuarding = false;
#else
constexpr bool kGuarding = true;
// glibc's own allocator entry points, which the guard forwards to.
extern "C" {
void* __libc_malloc(std::size_t size);                    // NOLINT(bugprone-reserved-identifier)
void* __libc_calloc(std::size_t count, std::size_t size); // NOLINT(bugprone-reserved-identifier)
void* __libc_realloc(void* p, std::size_t size);          // NOLINT(bugprone-reserved-identifier)

inline void CountAllocation() {
    if (mt::test::t_guarded) {
        mt::test::g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
}
void* malloc(std::size_t size) {
    CountAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    CountAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    CountAllocation();
    return __libc_realloc(p, size);
}
}
#endif

namespace mt::test {
// Renders `frames` on this thread with the guard up.
inline void GuardedPull(OfflineOutput& output, std::vector<float>& block, std::size_t frames) {
    t_guarded = true;
    output.pull(block.data(), frames);
    t_guarded = false;
}
} // namespace mt::test
