#pragma once

// Replaces the global allocation functions of one test program so tests can
// see the largest block a reader asked for and make non-throwing allocations
// fail on demand. Include it in exactly one source file of a test program.

#include <cstddef>
#include <cstdlib>
#include <new>

namespace allocation_probe {

// Largest size requested since the last reset.
inline std::size_t largestRequest = 0;
// Non-throwing allocations still allowed to succeed; negative means no limit.
inline long nothrowAllowance = -1;

inline void reset() {
    largestRequest = 0;
    nothrowAllowance = -1;
}

inline void* allocate(std::size_t size) {
    if (size > largestRequest) {
        largestRequest = size;
    }
    return std::malloc(size ? size : 1);
}

inline void* allocateNothrow(std::size_t size) {
    if (nothrowAllowance == 0) {
        if (size > largestRequest) {
            largestRequest = size;
        }
        return nullptr;
    }
    if (nothrowAllowance > 0) {
        --nothrowAllowance;
    }
    return allocate(size);
}

inline void* allocateOrThrow(std::size_t size) {
    void* block = allocate(size);
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace allocation_probe

void* operator new(std::size_t size) { return allocation_probe::allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocation_probe::allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocation_probe::allocateNothrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocation_probe::allocateNothrow(size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
