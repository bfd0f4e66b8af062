#include "core/random.h"

namespace vx {

namespace {
thread_local uint32_t gState = 1;
}

void SeedRandom(uint32_t seed) { gState = seed; }

int32_t NextRandom() {
    gState = gState * 214013u + 2531011u;
    return int32_t(gState >> 16 & 0x7FFF);
}

}  // namespace vx
