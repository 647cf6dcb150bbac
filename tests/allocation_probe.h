#pragma once

// Replaces one test program's global allocation functions (include it in one source
// file): records the largest request and fails nothrow allocations on demand.

#include <cstddef>
#include <cstdlib>
#include <new>

namespace allocation_probe {

inline std::size_t largestRequest = 0;  // since the last reset
inline long nothrowAllowance = -1;      // nothrow allocations left to succeed; -1: no limit

inline void reset() {
    largestRequest = 0;
    nothrowAllowance = -1;
}

inline void* allocate(std::size_t size, bool nothrow) {
    largestRequest = size > largestRequest ? size : largestRequest;
    if (nothrow && nothrowAllowance >= 0 && nothrowAllowance-- == 0) {
        nothrowAllowance = 0;
        return nullptr;
    }
    void* block = std::malloc(size ? size : 1);
    if (!block && !nothrow) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace allocation_probe

// clang-format off
void* operator new(std::size_t size) { return allocation_probe::allocate(size, false); }
void* operator new[](std::size_t size) { return allocation_probe::allocate(size, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocation_probe::allocate(size, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocation_probe::allocate(size, true); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
// clang-format on
