// The shared generator's recurrence in eight SSE2 lanes, for callers that take
// long runs of draws.  A single chain waits on one multiply per draw; here lane
// k holds the state after draw i + k + 1 of the run, and every lane steps eight
// draws at once (state(n + 8) = state(n) * a8 + c8, the constants being the
// recurrence applied eight times), so four draws cost a few vector operations.
// The caller takes the generator's state with RandomState and gives back the
// state after its last draw with SeedRandom.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "core/random.h"

namespace vx {

// a(n) and c(n) of the recurrence applied n times, state(i + n) = state(i) *
// a(n) + c(n), all mod 2^32.
constexpr uint32_t kRandomMultiplier = 214013u, kRandomIncrement = 2531011u;

constexpr uint32_t RandomStepMultiplier(int n) {
    uint32_t a = 1;
    for (int i = 0; i < n; ++i)
        a *= kRandomMultiplier;
    return a;
}

constexpr uint32_t RandomStepIncrement(int n) {
    uint32_t c = 0;
    for (int i = 0; i < n; ++i)
        c = c * kRandomMultiplier + kRandomIncrement;
    return c;
}

// The state `draws` draws after `state`, by squaring the step: a few
// multiplies instead of one per draw.
inline uint32_t RandomStateAfter(uint32_t state, uint64_t draws) {
    uint32_t a = kRandomMultiplier, c = kRandomIncrement;  // the step applied 2^k times
    for (; draws != 0; draws >>= 1) {
        if (draws & 1) state = state * a + c;
        c = c * a + c;
        a *= a;
    }
    return state;
}

class RandomLanes {
  public:
    // The lanes of the eight draws that follow `state`.
    explicit RandomLanes(uint32_t state) {
        uint32_t s[8];
        for (uint32_t& l : s)
            l = state = state * kRandomMultiplier + kRandomIncrement;
        low_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        high_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4));
    }

    // The current eight draws (0 .. kRandomMax), the first four in `low`.
    void Draws(__m128i& low, __m128i& high) const {
        const __m128i bits = _mm_set1_epi32(0x7FFF);
        low = _mm_and_si128(_mm_srli_epi32(low_, 16), bits);
        high = _mm_and_si128(_mm_srli_epi32(high_, 16), bits);
    }

    // On to the following eight draws.
    void Advance() {
        const __m128i a = _mm_set1_epi32(int32_t(RandomStepMultiplier(8))),
                      c = _mm_set1_epi32(int32_t(RandomStepIncrement(8)));
        low_ = _mm_add_epi32(MultiplyLanes(low_, a), c);
        high_ = _mm_add_epi32(MultiplyLanes(high_, a), c);
    }

    // The generator's state after the k-th (0 .. 7) of the current eight draws.
    uint32_t StateAfter(int k) const {
        uint32_t s[8];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(s), low_);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(s + 4), high_);
        return s[k];
    }

  private:
    // The low 32 bits of each lane times m (the same in every lane): SSE2
    // multiplies only the even lanes, so the odd ones go through a shift.
    static __m128i MultiplyLanes(__m128i x, __m128i m) {
        const __m128i even = _mm_mul_epu32(x, m);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(x, 32), m);
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(3, 1, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(3, 1, 2, 0)));
    }

    __m128i low_, high_;
};

}  // namespace vx
