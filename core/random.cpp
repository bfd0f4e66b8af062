#include "core/random.h"

namespace vx {

namespace {

thread_local uint32_t gState = 1;

constexpr uint32_t kMultiplier = 214013u;
constexpr uint32_t kIncrement = 2531011u;

// Four steps at once: state(k + 4) = state(k) * a4 + c4.  Four independent
// lanes keep the multiplier busy instead of waiting on one chain.
constexpr uint32_t kMultiplier4 = kMultiplier * kMultiplier * kMultiplier * kMultiplier;
constexpr uint32_t kIncrement4 = kIncrement * (kMultiplier * kMultiplier * kMultiplier +
                                               kMultiplier * kMultiplier + kMultiplier + 1u);

int32_t DrawOf(uint32_t state) {
    return int32_t(state >> 16 & 0x7FFF);
}

}  // namespace

void SeedRandom(uint32_t seed) {
    gState = seed;
}

int32_t NextRandom() {
    gState = gState * kMultiplier + kIncrement;
    return DrawOf(gState);
}

void NextRandoms(int32_t* out, size_t count) {
    if (count == 0) return;
    uint32_t lane[4];  // the states after draws i + 1 .. i + 4
    uint32_t s = gState;
    for (uint32_t& l : lane)
        l = s = s * kMultiplier + kIncrement;
    for (size_t i = 0;; i += 4) {
        const size_t n = count - i < 4 ? count - i : 4;
        for (size_t k = 0; k < n; ++k)
            out[i + k] = DrawOf(lane[k]);
        if (i + n == count) {
            gState = lane[n - 1];
            return;
        }
        for (uint32_t& l : lane)
            l = l * kMultiplier4 + kIncrement4;
    }
}

}  // namespace vx
