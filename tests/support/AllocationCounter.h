// Counts heap allocations made through operator new in a test program that links
// AllocationCounter.cpp, to show that per-frame work allocates nothing.
#pragma once

// The thread sanitizer's runtime defines operator new itself: under it nothing is counted.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define P3D_NO_ALLOCATION_COUNT 1
#endif
#endif

namespace p3dtest {

long AllocationCount();
// False where allocations cannot be counted; AllocationCount() then stays 0.
bool CountsAllocations();

} // namespace p3dtest
