#pragma once

#include <cstddef>

// A program that links this replaces the global allocation functions (every
// form): they record the largest request and fail on demand. With nothing
// asked of them they allocate as usual.
namespace probe {

extern std::size_t largest;  // the largest request since the last reset
extern long allowance;       // nothrow allocations left to succeed; -1: no limit
extern bool failThrowing;    // every throwing allocation fails

void reset();

}  // namespace probe
