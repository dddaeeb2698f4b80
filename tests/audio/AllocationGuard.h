#pragma once

// Counts every allocation a guarded thread makes, and the largest: malloc, calloc and realloc
// are replaced (AllocationGuard.cpp, a source of each program that uses it), where operator
// new and C libraries alike end.
// The sanitizers bring their own malloc; under them the guard stands down (kGuarding false).

#include "audio/OfflineOutput.h"

#include <atomic>
#include <cstddef>
#include <vector>

namespace mt::test {
inline thread_local bool t_guarded = false;
inline std::atomic<int> g_allocations{0};
inline std::atomic<std::size_t> g_largestAllocation{0};
} // namespace mt::test

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kGuarding = false;
#else
constexpr bool kGuarding = true;
#endif

namespace mt::test {
// Renders `frames` on this thread with the guard up.
inline void GuardedPull(OfflineOutput& output, std::vector<float>& block, std::size_t frames) {
    t_guarded = true;
    output.pull(block.data(), frames);
    t_guarded = false;
}
} // namespace mt::test
