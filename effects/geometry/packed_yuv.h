// Colours in packed 4:2:2 frames (U Y0 V Y1): every pixel owns its luma byte
// (byte 1) and one chroma byte (byte 0: U in even columns, V in odd ones).
#pragma once

#include <cstdint>

namespace vx {

struct YuvColor {
    int32_t luma, u, v;

    // Studio-range BT.601 values of an RGB colour (black is 16, 128, 128).
    static YuvColor FromRgb(int32_t r, int32_t g, int32_t b) {
        return {((66 * r + 129 * g + 25 * b + 128) >> 8) + 16,
                ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128,
                ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128};
    }
    // The chroma byte a pixel in column x carries.
    int32_t ChromaFor(uint32_t x) const { return x & 1 ? v : u; }
};

inline uint8_t ClampLevel(int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// Writes a colour into the two bytes of the pixel in column x.
inline void StorePackedPixel(const YuvColor& c, uint32_t x, uint8_t* p) {
    p[0] = ClampLevel(c.ChromaFor(x));
    p[1] = ClampLevel(c.luma);
}

}  // namespace vx
