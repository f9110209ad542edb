// Counts heap allocations made through operator new in a test program that links
// AllocationCounter.cpp, to show that per-frame work allocates nothing.
#pragma once

namespace p3dtest {

long AllocationCount();

} // namespace p3dtest
