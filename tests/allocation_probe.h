#pragma once

// Replaces the global allocation functions of one test program so tests can
// see the largest block a reader asked for and make non-throwing allocations
// fail on demand. Include it in exactly one source file of a test program.

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
    if (nothrow && nothrowAllowance == 0) {
        return nullptr;
    }
    if (nothrow && nothrowAllowance > 0) {
        --nothrowAllowance;
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
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocation_probe::allocate(size, true);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocation_probe::allocate(size, true);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
// clang-format on
