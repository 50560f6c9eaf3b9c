#include "support/AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace clavora::test {

std::atomic<bool> g_countAllocations{false};
std::atomic<int> g_allocations{0};

bool AllocationsAreCounted() {
    g_allocations = 0;
    g_countAllocations = true;
    int* volatile probe = new int(7);
    g_countAllocations = false;
    delete probe;
    return g_allocations.load() == 1;
}

}  // namespace clavora::test

// Plain malloc and free, counted while counting is on. Kept out of line, so that the
// compiler never pairs an inlined free with a new expression.
__attribute__((noinline)) void* operator new(std::size_t size) {
    if (clavora::test::g_countAllocations.load(std::memory_order_relaxed)) ++clavora::test::g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
