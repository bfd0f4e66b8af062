// Counts the bytes the program holds through operator new, so the benchmark
// can report the heap an effect object uses.  Only C++ allocations are seen;
// the effect library allocates nothing else.
#pragma once

#include <cstddef>

namespace vx::bench {

size_t HeapLive();
size_t HeapPeak();
// Starts a new peak from the bytes held now.
void HeapResetPeak();

}  // namespace vx::bench
