// Small pieces shared by the colour and keying effects.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/frame.h"
#include "core/params.h"

namespace vx {

// A real parameter held to the range it was declared with; NaN reads as 0
// (then held to the range).  Values outside the range would otherwise size
// buffers, loops and integer conversions beyond anything the effect can do.
inline double ReadRealWithin(HostRenderContext* ctx, const ParamSpec& param) {
    double v = ReadReal(ctx, param.id);
    if (!(v == v)) v = 0.0;
    return v < param.min ? param.min : v > param.max ? param.max : v;
}

// The same for an integer parameter.
inline int32_t ReadIntegerWithin(HostRenderContext* ctx, const ParamSpec& param) {
    const int32_t v = ReadInteger(ctx, param.id);
    return v < param.min ? int32_t(param.min) : v > param.max ? int32_t(param.max) : v;
}

// A pixel's bytes as one little-endian word (blue lowest), 3 or 4 of them;
// the store writes back as many.
template <uint32_t kBpp>
uint32_t LoadPixel(const uint8_t* p) {
    if constexpr (kBpp == 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    return p[0] | p[1] << 8 | p[2] << 16;
}

template <uint32_t kBpp>
void StorePixel(uint8_t* p, uint32_t v) {
    if constexpr (kBpp == 4) {
        std::memcpy(p, &v, 4);
    } else {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
    }
}

inline uint8_t LimitToByte(int32_t v) {
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The alpha a 4-byte output pixel receives for a source or computed alpha:
// 0 or less becomes opaque, as does anything from 255 up.
inline uint8_t OpaqueUnlessPartial(int32_t a) {
    return a <= 0 || a >= 255 ? 255 : uint8_t(a);
}

// Copies the picture rows of one frame into another of the same geometry.
inline void CopyPicture(const FrameView& src, const FrameView& dst, int32_t width, int32_t height,
                        uint32_t bytesPerPixel) {
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(dst.Row(y), src.Row(y), size_t(width) * bytesPerPixel);
}

}  // namespace vx
