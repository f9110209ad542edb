// The replaced global allocation functions live apart from the code they count, so the
// compiler never pairs an inlined allocation with a mismatched release.
#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

static std::atomic<long> sAllocations{0};

#ifndef P3D_NO_ALLOCATION_COUNT

void* operator new(size_t size)
{
    ++sAllocations;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    ++sAllocations;
    return std::malloc(size ? size : 1);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, size_t) noexcept
{
    std::free(memory);
}

#endif

namespace p3dtest {

long AllocationCount()
{
    return sAllocations.load();
}

bool CountsAllocations()
{
#ifdef P3D_NO_ALLOCATION_COUNT
    return false;
#else
    return true;
#endif
}

} // namespace p3dtest
