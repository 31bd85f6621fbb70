#pragma once
// Counts every heap allocation of the program that includes this header.
// It replaces the global operator new, so exactly one source file of a test
// or benchmark program may include it.
#include <atomic>
#include <cstdlib>
#include <new>

namespace tessatest {
inline std::atomic<long> gHeapAllocations{0};
}

void* operator new(std::size_t size)
{
    ++tessatest::gHeapAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
