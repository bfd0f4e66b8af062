#include "core/random.h"

#include "core/random_lanes.h"

namespace vx {

namespace {

thread_local uint32_t gState = 1;

int32_t DrawOf(uint32_t state) {
    return int32_t(state >> 16 & 0x7FFF);
}

}  // namespace

void SeedRandom(uint32_t seed) {
    gState = seed;
}

int32_t NextRandom() {
    gState = gState * kRandomMultiplier + kRandomIncrement;
    return DrawOf(gState);
}

void NextRandoms(int32_t* out, size_t count) {
    if (count == 0) return;
    RandomLanes lanes(gState);
    for (size_t i = 0;; i += 8) {
        __m128i low, high;
        lanes.Draws(low, high);
        if (count - i >= 8) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), low);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), high);
        } else {
            int32_t last[8];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(last), low);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(last + 4), high);
            for (size_t k = 0; k < count - i; ++k)
                out[i + k] = last[k];
        }
        if (count - i <= 8) {
            gState = lanes.StateAfter(int(count - i - 1));
            return;
        }
        lanes.Advance();
    }
}

uint32_t RandomState() {
    return gState;
}

}  // namespace vx
