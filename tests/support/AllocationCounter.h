// Counts heap allocations while a test asks for it: the test program's operator new
// is a counting one, so "nothing is allocated" can be checked.
#pragma once

#include <atomic>

namespace clavora::test {

extern std::atomic<bool> g_countAllocations;
extern std::atomic<int> g_allocations;

// True when allocations are counted: one made while counting is on is seen.
bool AllocationsAreCounted();

}  // namespace clavora::test
