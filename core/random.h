// The pseudo-random generator the effects share.
//
// It keeps the contract of the C runtime's srand/rand on Windows: a 32-bit
// state advanced as state * 214013 + 2531011, each draw answering bits 16..30
// of the new state (0 ... 32767), seed 1 until SeedRandom is called.  Both
// builds use this one implementation, so random shapes and noise give the
// same pictures on Windows and Linux.  Like the multithreaded runtime's
// generator, each thread has its own state (seed 1 on a new thread): a host
// that renders on one thread sees one shared sequence, and a host that renders
// frames on several threads at once cannot corrupt it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vx {

inline constexpr int32_t kRandomMax = 32767;

void SeedRandom(uint32_t seed);
int32_t NextRandom();
// The next count draws into out[0 .. count), leaving the generator where
// count calls of NextRandom would: the same numbers, drawn faster.
void NextRandoms(int32_t* out, size_t count);
// The state the next draw steps from: SeedRandom(RandomState()) changes
// nothing.  Lets a caller run the recurrence itself (core/random_lanes.h) and
// leave the generator where its draws end.
uint32_t RandomState();

}  // namespace vx
