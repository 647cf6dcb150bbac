#pragma once

#include <cstdint>

// Counts heap allocations made by the calling thread between begin() and
// end(). This executable replaces the global operator new (all forms), and,
// outside sanitizer builds, also malloc, calloc and realloc through glibc's
// __libc_* entry points, so C allocations inside the scene or its libraries
// are seen too. Allocations made by other threads (the GL driver's workers)
// are not counted.
namespace allocation_counter {

// Whether malloc/calloc/realloc are counted in this build.
bool countsMalloc();
// Starts counting; includeMalloc also counts C allocations when possible.
void begin(bool includeMalloc);
// Stops counting and returns how many allocations were made since begin().
std::uint64_t end();

}  // namespace allocation_counter
