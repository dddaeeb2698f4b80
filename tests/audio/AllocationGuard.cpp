// The allocator replaced for AllocationGuard.h: one definition per program.
#include "AllocationGuard.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// glibc's own allocator entry points, which the guard forwards to.
extern "C" {
void* __libc_malloc(std::size_t size);                    // NOLINT(bugprone-reserved-identifier)
void* __libc_calloc(std::size_t count, std::size_t size); // NOLINT(bugprone-reserved-identifier)
void* __libc_realloc(void* p, std::size_t size);          // NOLINT(bugprone-reserved-identifier)

static void CountAllocation(std::size_t size) {
    if (mt::test::t_guarded) {
        mt::test::g_allocations.fetch_add(1, std::memory_order_relaxed);
        if (size > mt::test::g_largestAllocation.load(std::memory_order_relaxed)) {
            mt::test::g_largestAllocation.store(size, std::memory_order_relaxed);
        }
    }
}
void* malloc(std::size_t size) {
    CountAllocation(size);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    CountAllocation(count * size);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    CountAllocation(size);
    return __libc_realloc(p, size);
}
}
#endif
