#include "tools/allocation_counter.h"

#include <cstdlib>
#include <new>

// Sanitizers bring their own malloc; replacing it under them would mix two
// allocators, so only operator new is counted there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GLASSWAKE_COUNT_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define GLASSWAKE_COUNT_MALLOC 0
#endif
#endif
#if !defined(GLASSWAKE_COUNT_MALLOC) && defined(__GLIBC__)
#define GLASSWAKE_COUNT_MALLOC 1
#endif
#ifndef GLASSWAKE_COUNT_MALLOC
#define GLASSWAKE_COUNT_MALLOC 0
#endif

namespace {

// Thread-local so the driver's worker threads neither count nor race; the
// executable's own TLS needs no allocation to reach.
thread_local bool countingNew = false;
thread_local bool countingMalloc = false;
thread_local std::uint64_t allocations = 0;

}  // namespace

#if GLASSWAKE_COUNT_MALLOC
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);

void* malloc(std::size_t size) {
    if (countingMalloc)
        ++allocations;
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    if (countingMalloc)
        ++allocations;
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
    if (countingMalloc)
        ++allocations;
    return __libc_realloc(pointer, size);
}
}

// operator new goes straight to glibc so one allocation counts once.
static void* rawAllocate(std::size_t size) {
    return __libc_malloc(size ? size : 1);
}
#else
static void* rawAllocate(std::size_t size) {
    return std::malloc(size ? size : 1);
}
#endif

namespace allocation_counter {

bool countsMalloc() {
    return GLASSWAKE_COUNT_MALLOC != 0;
}

void begin(bool includeMalloc) {
    allocations = 0;
    countingNew = true;
    countingMalloc = includeMalloc && countsMalloc();
}

std::uint64_t end() {
    countingNew = false;
    countingMalloc = false;
    return allocations;
}

}  // namespace allocation_counter

namespace {

void* countedNew(std::size_t size) {
    if (countingNew)
        ++allocations;
    void* pointer = rawAllocate(size);
    if (!pointer)
        throw std::bad_alloc();
    return pointer;
}

void* countedNewNothrow(std::size_t size) noexcept {
    if (countingNew)
        ++allocations;
    return rawAllocate(size);
}

void* countedAlignedNew(std::size_t size, std::align_val_t alignment) {
    if (countingNew)
        ++allocations;
    const std::size_t align = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = (size + align - 1) / align * align;
    void* pointer = std::aligned_alloc(align, rounded ? rounded : align);
    if (!pointer)
        throw std::bad_alloc();
    return pointer;
}

}  // namespace

void* operator new(std::size_t size) {
    return countedNew(size);
}
void* operator new[](std::size_t size) {
    return countedNew(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return countedNewNothrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return countedNewNothrow(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return countedAlignedNew(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return countedAlignedNew(size, alignment);
}
void operator delete(void* pointer) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept {
    std::free(pointer);
}
