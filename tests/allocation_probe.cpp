#include "tests/allocation_probe.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace probe {

std::size_t largest = 0;
long allowance = -1;
bool failThrowing = false;

void reset() {
    largest = 0;
    allowance = -1;
    failThrowing = false;
}

namespace {

void* take(std::size_t size, bool nothrow) {
    largest = std::max(largest, size);
    if (!nothrow && failThrowing) {
        throw std::bad_alloc();
    }
    if (nothrow && allowance >= 0 && allowance-- == 0) {
        allowance = 0;  // and every later one fails too
        return nullptr;
    }
    void* block = std::malloc(size + 1);
    if (!block && !nothrow) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace
}  // namespace probe

// Every form is replaced: the sanitizers match each delete with its new.
// clang-format off
void* operator new(std::size_t n) { return probe::take(n, false); }
void* operator new[](std::size_t n) { return probe::take(n, false); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return probe::take(n, true); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return probe::take(n, true); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
// clang-format on
