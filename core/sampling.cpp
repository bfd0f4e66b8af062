#include "core/sampling.h"

#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vx {

const char16_t* const kInterpolationNames[5] = {u"none", u"bilinear", u"bicubic (sharp)",
                                                u"bicubic (soft)", u"bicubic (more exact)"};

namespace {

// Positions below 0 are sent far outside: truncation would otherwise map
// -0.5 to column 0.
constexpr double kFarOutside = 9999999.0;

double Abs(double v) {
    return v < 0 ? -v : v;
}

#if defined(__SSE2__)
// Four non-negative sums (bytes 0 and 1 in lo, 2 and 3 in hi) stored as
// ClampToByte stores them: + 0.5, held at 255, truncated.
void StoreRounded(__m128d lo, __m128d hi, uint8_t* out) {
    const __m128d half = _mm_set1_pd(0.5), top255 = _mm_set1_pd(255.0);
    lo = _mm_min_pd(_mm_add_pd(lo, half), top255);
    hi = _mm_min_pd(_mm_add_pd(hi, half), top255);
    __m128i all = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
    all = _mm_packs_epi32(all, all);
    all = _mm_packus_epi16(all, all);
    const uint32_t packed = uint32_t(_mm_cvtsi128_si32(all));
    std::memcpy(out, &packed, 4);
}

// Bytes 0..3 of a four-byte pixel and its right neighbour in two rows,
// weighted as the bilinear sampler weighs them (top left, top right,
// bottom left, bottom right, summed in that order) and stored with
// ClampToByte.  The weights are never negative, so neither is the sum: the
// store is the sum + 0.5 held at 255 and truncated.
void BlendFourBytes(const uint8_t* top, const uint8_t* bottom, const double w[4], uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i t16 =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(top)), zero);
    const __m128i b16 =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom)), zero);
    const __m128i tl = _mm_unpacklo_epi16(t16, zero), tr = _mm_unpackhi_epi16(t16, zero);
    const __m128i bl = _mm_unpacklo_epi16(b16, zero), br = _mm_unpackhi_epi16(b16, zero);
    const __m128d wtl = _mm_set1_pd(w[0]), wtr = _mm_set1_pd(w[1]);
    const __m128d wbl = _mm_set1_pd(w[2]), wbr = _mm_set1_pd(w[3]);
    // Bytes 0 and 1 from the low halves, bytes 2 and 3 from the high ones.
    __m128d lo = _mm_mul_pd(_mm_cvtepi32_pd(tl), wtl);
    lo = _mm_add_pd(lo, _mm_mul_pd(_mm_cvtepi32_pd(tr), wtr));
    lo = _mm_add_pd(lo, _mm_mul_pd(_mm_cvtepi32_pd(bl), wbl));
    lo = _mm_add_pd(lo, _mm_mul_pd(_mm_cvtepi32_pd(br), wbr));
    __m128d hi = _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(tl, 0xEE)), wtl);
    hi = _mm_add_pd(hi, _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(tr, 0xEE)), wtr));
    hi = _mm_add_pd(hi, _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(bl, 0xEE)), wbl));
    hi = _mm_add_pd(hi, _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(br, 0xEE)), wbr));
    StoreRounded(lo, hi, out);
}

// BlendFourBytes when two of the four weights are zero: the products of the
// other two, summed, are the sum of all four (zero products add nothing to a
// sum that is never negative).
void BlendTwoPixels(const uint8_t* first, const uint8_t* second, double wFirst, double wSecond,
                    uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    uint32_t p, q;
    std::memcpy(&p, first, 4);
    std::memcpy(&q, second, 4);
    const __m128i f =
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(p)), zero), zero);
    const __m128i s =
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(q)), zero), zero);
    const __m128d wf = _mm_set1_pd(wFirst), ws = _mm_set1_pd(wSecond);
    __m128d lo = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(f), wf), _mm_mul_pd(_mm_cvtepi32_pd(s), ws));
    __m128d hi = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(f, 0xEE)), wf),
                            _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(s, 0xEE)), ws));
    StoreRounded(lo, hi, out);
}

#endif

// Where one column of a grid reads: its left source pixel, the fraction
// towards the right one, and how many columns from here on copy consecutive
// source pixels whenever the row fraction is zero (a weight of exactly 1 on
// the top left pixel stores that pixel's bytes unchanged).
struct GridColumn {
    enum Kind : uint8_t { kOutside, kNearest, kBlend } kind;
    uint32_t copyRun;
    size_t offset;
    double dx, rest;  // rest = 1 - dx
};
}  // namespace

namespace {

// The polynomial pieces of the kernels, for distances up to 1, up to 2 and
// up to 3.  Written once for any number type, so that a pair of weights
// worked out together goes through the very operations one weight does.
template <class T>
T CubicNear(T x) {
    return 1.25 * x * x * x - 2.25 * x * x + 1.0;
}
template <class T>
T CubicFar(T x) {
    return -0.75 * x * x * x + 3.75 * x * x - 6.0 * x + 3.0;
}
template <class T>
T Spline16Near(T x) {
    return x * x * x - 1.8 * x * x - 0.2 * x + 1.0;
}
template <class T>
T Spline16Far(T x) {
    T y = x - 1.0;
    return -y * y * y / 3.0 + 0.8 * y * y - 7.0 / 15.0 * y;
}
template <class T>
T Spline36Near(T x) {
    return 13.0 / 11.0 * x * x * x - 453.0 / 209.0 * x * x - 3.0 / 209.0 * x + 1.0;
}
template <class T>
T Spline36Mid(T x) {
    T y = x - 1.0;
    return -6.0 / 11.0 * y * y * y + 270.0 / 209.0 * y * y - 156.0 / 209.0 * y;
}
template <class T>
T Spline36Far(T x) {
    T y = x - 2.0;
    return 1.0 / 11.0 * y * y * y - 45.0 / 209.0 * y * y + 26.0 / 209.0 * y;
}

// Each kernel as the sampler needs it: its tap count, piece p (for
// distances in (p - 1, p], the first from 0) and the whole kernel.
struct CubicSharp {
    static constexpr int kTaps = 4;
    template <int P, class T>
    static T Piece(T x) {
        if constexpr (P == 1) return CubicNear(x);
        return CubicFar(x);
    }
    static double At(double x) { return x <= 1.0 ? Piece<1>(x) : Piece<2>(x); }
};

struct CubicSoft {
    static constexpr int kTaps = 4;
    template <int P, class T>
    static T Piece(T x) {
        if constexpr (P == 1) return Spline16Near(x);
        return Spline16Far(x);
    }
    static double At(double x) { return x <= 1.0 ? Piece<1>(x) : Piece<2>(x); }
};

struct CubicExact {
    static constexpr int kTaps = 6;
    template <int P, class T>
    static T Piece(T x) {
        if constexpr (P == 1) return Spline36Near(x);
        if constexpr (P == 2) return Spline36Mid(x);
        return Spline36Far(x);
    }
    static double At(double x) {
        return x <= 1.0 ? Piece<1>(x) : x <= 2.0 ? Piece<2>(x) : Piece<3>(x);
    }
};

}  // namespace

inline double CubicKernelInline(double x) {
    return CubicSharp::At(x);
}

inline double Spline16KernelInline(double x) {
    return CubicSoft::At(x);
}

inline double Spline36KernelInline(double x) {
    return CubicExact::At(x);
}

double CubicKernel(double x) {
    return CubicKernelInline(x);
}
double Spline16Kernel(double x) {
    return Spline16KernelInline(x);
}
double Spline36Kernel(double x) {
    return Spline36KernelInline(x);
}

Sampler::Sampler(const EffectBase& effect, const FrameView& source, const FrameView& destination)
    : src(source),
      dst(destination),
      width(uint32_t(effect.frameWidth)),
      height(uint32_t(effect.frameHeight)),
      bytesPerPixel(effect.bytesPerPixel),
      outside{effect.outsideColor.blue, effect.outsideColor.green, effect.outsideColor.red,
              effect.outsideColor.alpha} {}

void Sampler::WriteOutside(uint32_t x, uint32_t y) const {
    std::memcpy(Dst(x, y), outside, bytesPerPixel > 4 ? 4 : bytesPerPixel);
}

void Sampler::SamplePixel(uint32_t x, uint32_t y, bool fieldAware, int32_t mode, double fx,
                          double fy) const {
    if (x >= width || y >= height) return;
    // NaN counts as outside too.
    if (!(fx >= 0.0)) fx = kFarOutside;
    if (!(fy >= 0.0)) fy = kFarOutside;
    switch (mode) {
        case kInterpolateNone: {
            // Positions beyond any frame are outside; keep them out of integer range.
            int64_t col = fx < 4.0e9 ? int64_t(fx + 0.5) : int64_t(width);
            int64_t row = fy < 4.0e9 ? int64_t(fy + 0.5) : int64_t(height);
            SampleNearest(x, y, col, row, fieldAware);
            break;
        }
        case kInterpolateCubicSharp:
            SampleKernel(x, y, 4, CubicKernel, fieldAware, fx, fy);
            break;
        case kInterpolateCubicSoft:
            SampleKernel(x, y, 4, Spline16Kernel, fieldAware, fx, fy);
            break;
        case kInterpolateCubicExact:
            SampleKernel(x, y, 6, Spline36Kernel, fieldAware, fx, fy);
            break;
        default:
            SampleBilinear(x, y, fieldAware, fx, fy);
            break;
    }
}

void Sampler::SampleNearest(uint32_t x, uint32_t y, int64_t col, int64_t row,
                            bool fieldAware) const {
    if (FieldsApart(fieldAware) && ((row ^ int64_t(y)) & 1)) row += 1;
    if (uint64_t(col) >= width || uint64_t(row) >= height) {
        WriteOutside(x, y);
        return;
    }
    std::memcpy(Dst(x, y), Src(uint32_t(col), uint32_t(row)), bytesPerPixel);
}

void Sampler::SampleBilinear(uint32_t x, uint32_t y, bool fieldAware, double fx, double fy) const {
    if (!(fx >= 0.0) || !(fy >= 0.0) || fx >= double(width) || fy >= double(height)) {
        WriteOutside(x, y);
        return;
    }
    const int32_t ix = int32_t(fx);
    const int32_t iy = int32_t(fy);
    const int32_t w = int32_t(width), h = int32_t(height);
    if (iy >= h - 1 || ix >= w - 2) {
        SampleNearest(x, y, ix, iy, fieldAware);
        return;
    }
    const double dx = fx - ix, dy = fy - iy;
    const double wTopLeft = (1.0 - dx) * (1.0 - dy);
    const double wTopRight = dx * (1.0 - dy);
    const double wBottomLeft = dy * (1.0 - dx);
    const double wBottomRight = dx * dy;

    int32_t top = iy, bottom = iy + 1;
    if (FieldsApart(fieldAware)) {
        if (((iy ^ int32_t(y)) & 1) == 0) {
            top = iy;
            bottom = iy + 2;
        } else {
            top = iy - 1;
            bottom = iy + 1;
        }
        if (iy >= h - 2) {
            top -= 2;
            bottom -= 2;
        }
        if (top < 0) {
            top = 0;
            bottom = 2;
        }
        // Very short frames: keep both rows inside.
        if (bottom > h - 1) bottom = h - 1;
        if (top > h - 1) top = h - 1;
    }
    const uint8_t* a = Src(uint32_t(ix), uint32_t(top));
    const uint8_t* b = Src(uint32_t(ix), uint32_t(bottom));
    const uint32_t n = bytesPerPixel;
    uint8_t* out = Dst(x, y);
#if defined(__SSE2__)
    if (n == 4) {
        // The same products and sums, two bytes per register.
        const double weights[4] = {wTopLeft, wTopRight, wBottomLeft, wBottomRight};
        BlendFourBytes(a, b, weights, out);
        return;
    }
#endif
    for (uint32_t i = 0; i < n; ++i) {
        double v =
            a[i] * wTopLeft + a[i + n] * wTopRight + b[i] * wBottomLeft + b[i + n] * wBottomRight;
        out[i] = ClampToByte(v);
    }
}

void Sampler::SampleBilinearRow(uint32_t y, bool fieldAware, const double* xs, size_t xStride,
                                const double* ys, size_t yStride) const {
#if defined(__SSE2__)
    if (y < height && bytesPerPixel == 4 && !FieldsApart(fieldAware)) {
        const int32_t w = int32_t(width), h = int32_t(height);
        const uint8_t* origin = src.Row(0);
        const ptrdiff_t step = h > 1 ? src.Row(1) - origin : 0;
        uint8_t* out = Dst(0, y);
        for (uint32_t x = 0; x < width; ++x, out += 4) {
            const double fx = xs[x * xStride], fy = ys[x * yStride];
            if (!(fx >= 0.0) || !(fy >= 0.0) || fx >= double(width) || fy >= double(height)) {
                std::memcpy(out, outside, 4);
                continue;
            }
            const int32_t ix = int32_t(fx), iy = int32_t(fy);
            const uint8_t* a = origin + iy * step + ptrdiff_t(ix) * 4;
            if (iy >= h - 1 || ix >= w - 2) {
                std::memcpy(out, a, 4);  // the nearest pixel (ix, iy), as SampleBilinear
                continue;
            }
            const double dx = fx - ix, dy = fy - iy;
            const double weights[4] = {(1.0 - dx) * (1.0 - dy), dx * (1.0 - dy), dy * (1.0 - dx),
                                       dx * dy};
            BlendFourBytes(a, a + step, weights, out);
        }
        return;
    }
#endif
    for (uint32_t x = 0; x < width; ++x)
        SampleBilinear(x, y, fieldAware, xs[x * xStride], ys[x * yStride]);
}

void Sampler::SampleBilinearGrid(bool fieldAware, const double* xs, const double* ys) const {
    if (FieldsApart(fieldAware)) {
        for (uint32_t y = 0; y < height; ++y)
            SampleBilinearRow(y, fieldAware, xs, 1, ys + y, 0);
        return;
    }
    const int32_t w = int32_t(width), h = int32_t(height);
    const uint32_t n = bytesPerPixel;
    std::vector<GridColumn> columns(width);
    for (uint32_t x = 0; x < width; ++x) {
        const double fx = xs[x];
        GridColumn& c = columns[x];
        c = GridColumn{GridColumn::kOutside, 0, 0, 0.0, 1.0};
        if (!(fx >= 0.0) || fx >= double(width)) continue;
        const int32_t ix = int32_t(fx);
        c.offset = size_t(ix) * n;
        c.kind = ix >= w - 2 ? GridColumn::kNearest : GridColumn::kBlend;
        c.dx = fx - ix;
        c.rest = 1.0 - c.dx;
    }
    for (uint32_t x = width; x-- > 0;) {
        GridColumn& c = columns[x];
        if (c.kind == GridColumn::kOutside || (c.kind == GridColumn::kBlend && c.dx != 0.0))
            continue;
        c.copyRun = 1;
        if (x + 1 < width && columns[x + 1].copyRun && columns[x + 1].offset == c.offset + n)
            c.copyRun += columns[x + 1].copyRun;
    }
    const uint8_t* origin = src.Row(0);
    const ptrdiff_t step = h > 1 ? src.Row(1) - origin : 0;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* out = Dst(0, y);
        const double fy = ys[y];
        if (!(fy >= 0.0) || fy >= double(height)) {
            for (uint32_t x = 0; x < width; ++x)
                WriteOutside(x, y);
            continue;
        }
        const int32_t iy = int32_t(fy);
        const uint8_t* line = origin + iy * step;
        const bool nearestRow = iy >= h - 1;
        const double dy = fy - iy, restY = 1.0 - dy;
        const bool whole = nearestRow || dy == 0.0;
        for (uint32_t x = 0; x < width;) {
            const GridColumn& c = columns[x];
            uint8_t* o = out + size_t(x) * n;
            const uint8_t* a = line + c.offset;
            if (whole && c.copyRun) {
                std::memcpy(o, a, size_t(c.copyRun) * n);
                x += c.copyRun;
                continue;
            }
#if defined(__SSE2__)
            if (n == 4) {
                if (c.kind == GridColumn::kOutside) {
                    std::memcpy(o, outside, 4);
                } else if (nearestRow || c.kind == GridColumn::kNearest) {
                    std::memcpy(o, a, 4);
                } else if (dy == 0.0) {
                    BlendTwoPixels(a, a + 4, c.rest, c.dx, o);
                } else if (c.dx == 0.0) {
                    BlendTwoPixels(a, a + step, restY, dy, o);
                } else {
                    const double weights[4] = {c.rest * restY, c.dx * restY, dy * c.rest,
                                               c.dx * dy};
                    BlendFourBytes(a, a + step, weights, o);
                }
                ++x;
                continue;
            }
#endif
            ++x;
            if (c.kind == GridColumn::kOutside) {
                std::memcpy(o, outside, n > 4 ? 4 : n);
            } else if (nearestRow || c.kind == GridColumn::kNearest) {
                std::memcpy(o, a, n);
            } else {
                const double wTopLeft = c.rest * restY, wTopRight = c.dx * restY;
                const double wBottomLeft = dy * c.rest, wBottomRight = c.dx * dy;
                const uint8_t* b = a + step;
                for (uint32_t i = 0; i < n; ++i)
                    o[i] = ClampToByte(a[i] * wTopLeft + a[i + n] * wTopRight + b[i] * wBottomLeft +
                                       b[i + n] * wBottomRight);
            }
        }
    }
}

SplitPosition SplitPosition::Split(double fx, double fy, uint32_t width, uint32_t height) {
    if (!(fx >= 0.0) || !(fy >= 0.0) || fx >= double(width) || fy >= double(height))
        return {-1, 0, 0.0, 0.0};
    const int32_t ix = int32_t(fx), iy = int32_t(fy);
    // Both differences are exact, so ix + dx and iy + dy give fx and fy back.
    return {ix, iy, fx - ix, fy - iy};
}

namespace {

// SampleBilinearSplitRow for N bytes per pixel (2 to 4): copies of a
// known size instead of calls.
template <uint32_t N>
void BilinearSplitRow(const Sampler& s, uint32_t y, const SplitPosition* positions) {
    const int32_t w = int32_t(s.width), h = int32_t(s.height);
    constexpr uint32_t n = N;
    const uint8_t* origin = s.src.Row(0);
    const ptrdiff_t step = h > 1 ? s.src.Row(1) - origin : 0;
    uint8_t* o = s.Dst(0, y);
    for (uint32_t x = 0; x < s.width; ++x, o += n) {
        const SplitPosition& p = positions[x];
        if (p.column < 0) {
            std::memcpy(o, s.outside, n);
            continue;
        }
        const uint8_t* a = origin + p.row * step + ptrdiff_t(p.column) * n;
        if (p.row >= h - 1 || p.column >= w - 2) {
            std::memcpy(o, a, n);  // the nearest pixel, as SampleBilinear
            continue;
        }
        const double wTopLeft = (1.0 - p.dx) * (1.0 - p.dy), wTopRight = p.dx * (1.0 - p.dy);
        const double wBottomLeft = p.dy * (1.0 - p.dx), wBottomRight = p.dx * p.dy;
#if defined(__SSE2__)
        if constexpr (n == 4) {
            const double weights[4] = {wTopLeft, wTopRight, wBottomLeft, wBottomRight};
            BlendFourBytes(a, a + step, weights, o);
            continue;
        }
#endif
        const uint8_t* b = a + step;
        for (uint32_t i = 0; i < n; ++i)
            o[i] = ClampToByte(a[i] * wTopLeft + a[i + n] * wTopRight + b[i] * wBottomLeft +
                               b[i + n] * wBottomRight);
    }
}

}  // namespace

void Sampler::SampleBilinearSplitRow(uint32_t y, bool fieldAware,
                                     const SplitPosition* positions) const {
    if (y >= height) return;
    if (FieldsApart(fieldAware)) {
        for (uint32_t x = 0; x < width; ++x) {
            const SplitPosition& p = positions[x];
            if (p.column < 0)
                WriteOutside(x, y);
            else
                SampleBilinear(x, y, fieldAware, p.column + p.dx, p.row + p.dy);
        }
        return;
    }
    switch (bytesPerPixel) {
        case 4:
            BilinearSplitRow<4>(*this, y, positions);
            break;
        case 3:
            BilinearSplitRow<3>(*this, y, positions);
            break;
        default:
            BilinearSplitRow<2>(*this, y, positions);
            break;
    }
}

namespace {

// The taps of one kernel sample: weights and clamped positions along each
// axis, worked out once per sample rather than once per tap pair.
template <int Taps>
struct KernelTaps {
    double across[Taps];
    double down[Taps];
    uint32_t columnOffset[Taps];
    const uint8_t* rows[Taps];
};

// Sums weight(row) * weight(column) * byte over the taps, rows outer, for
// N bytes per pixel; each sum in the same order as a plain per-tap loop.
template <int Taps, int N>
void KernelSums(const KernelTaps<Taps>& t, double sum[4]) {
#if defined(__SSE2__)
    if constexpr (N == 4) {
        const __m128i zero = _mm_setzero_si128();
        __m128d lo = _mm_setzero_pd(), hi = _mm_setzero_pd();
        for (int r = 0; r < Taps; ++r) {
            const uint8_t* line = t.rows[r];
            for (int c = 0; c < Taps; ++c) {
                const __m128d wgt = _mm_set1_pd(t.down[r] * t.across[c]);
                uint32_t bytes;
                std::memcpy(&bytes, line + t.columnOffset[c], 4);
                __m128i v = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(bytes)), zero);
                v = _mm_unpacklo_epi16(v, zero);
                lo = _mm_add_pd(lo, _mm_mul_pd(wgt, _mm_cvtepi32_pd(v)));
                hi = _mm_add_pd(hi, _mm_mul_pd(wgt, _mm_cvtepi32_pd(_mm_shuffle_epi32(v, 0xEE))));
            }
        }
        _mm_storeu_pd(sum, lo);
        _mm_storeu_pd(sum + 2, hi);
        return;
    }
#endif
    for (int i = 0; i < N; ++i)
        sum[i] = 0.0;
    for (int r = 0; r < Taps; ++r) {
        const uint8_t* line = t.rows[r];
        for (int c = 0; c < Taps; ++c) {
            const double wgt = t.down[r] * t.across[c];
            const uint8_t* p = line + t.columnOffset[c];
            for (int i = 0; i < N; ++i)
                sum[i] += wgt * p[i];
        }
    }
}

template <int Taps, double (*Kernel)(double)>
void KernelSample(const Sampler& s, uint32_t x, uint32_t y, bool fields, double fx, double fy) {
    if (!(fx >= 0.0) || !(fy >= 0.0) || fx >= double(s.width) || fy >= double(s.height)) {
        s.WriteOutside(x, y);
        return;
    }
    constexpr int32_t half = Taps / 2;
    const int32_t ix = int32_t(fx), iy = int32_t(fy);
    const int32_t w = int32_t(s.width), h = int32_t(s.height);
    KernelTaps<Taps> t;
    for (int k = 0; k < Taps; ++k) {
        const int32_t c = ix - (half - 1) + k;
        t.across[k] = Kernel(Abs(c - fx));
        const int32_t col = c < 0 ? 0 : c > w - 1 ? w - 1 : c;
        t.columnOffset[k] = uint32_t(col) * s.bytesPerPixel;
        const int32_t r = iy - (half - 1) + k;
        t.down[k] = Kernel(Abs(r - fy));
        int32_t row = r < 0 ? 0 : r > h - 1 ? h - 1 : r;
        if (fields && ((row ^ int32_t(y)) & 1)) {
            // Stay in the destination row's field; past the last row step back instead.
            row = row + 1 < h ? row + 1 : row - 1;
        }
        t.rows[k] = s.src.Row(row);
    }
    double sum[4];
    uint8_t* out = s.Dst(x, y);
    // Two-byte packed pixels have only two bytes to weigh.
    switch (s.bytesPerPixel) {
        case 4:
            KernelSums<Taps, 4>(t, sum);
            for (int i = 0; i < 4; ++i)
                out[i] = ClampToByte(sum[i]);
            break;
        case 3:
            KernelSums<Taps, 3>(t, sum);
            for (int i = 0; i < 3; ++i)
                out[i] = ClampToByte(sum[i]);
            break;
        default:
            KernelSums<Taps, 2>(t, sum);
            for (int i = 0; i < 2; ++i)
                out[i] = ClampToByte(sum[i]);
            break;
    }
}

#if defined(__SSE2__)
// Two doubles worked on as one: a column weight and a row weight evaluated
// side by side, each lane going through the operations a lone double would.
struct Lanes {
    __m128d v;
};
inline Lanes operator+(Lanes a, Lanes b) {
    return {_mm_add_pd(a.v, b.v)};
}
inline Lanes operator+(Lanes a, double b) {
    return {_mm_add_pd(a.v, _mm_set1_pd(b))};
}
inline Lanes operator-(Lanes a, Lanes b) {
    return {_mm_sub_pd(a.v, b.v)};
}
inline Lanes operator-(Lanes a, double b) {
    return {_mm_sub_pd(a.v, _mm_set1_pd(b))};
}
inline Lanes operator*(Lanes a, Lanes b) {
    return {_mm_mul_pd(a.v, b.v)};
}
inline Lanes operator*(double a, Lanes b) {
    return {_mm_mul_pd(_mm_set1_pd(a), b.v)};
}
inline Lanes operator/(Lanes a, double b) {
    return {_mm_div_pd(a.v, _mm_set1_pd(b))};
}
inline Lanes operator-(Lanes a) {
    return {_mm_xor_pd(a.v, _mm_set1_pd(-0.0))};
}

// The kernel piece tap k's distance lies in.  Tap k of n sits at a distance
// from the wanted position of at least half - k (left half) or k - half + 1
// (right half), less a fraction; rounding can only bring a distance down
// onto the lower end of that range, which KernelWeights checks for.
constexpr int PieceOfTap(int taps, int k) {
    return k < taps / 2 ? taps / 2 - k : k - taps / 2 + 1;
}

// w[k] = the piece of tap k at d[k]; onBoundary marks the lanes whose
// distance rounded down onto the lower end of that piece's range.
template <class K, int... k>
inline void EvaluateTaps(const __m128d* d, __m128d* w, __m128d& onBoundary,
                         std::integer_sequence<int, k...>) {
    ((w[k] = K::template Piece<PieceOfTap(K::kTaps, k)>(Lanes{d[k]}).v), ...);
    ((onBoundary = PieceOfTap(K::kTaps, k) > 1
                       ? _mm_or_pd(onBoundary,
                                   _mm_cmple_pd(d[k], _mm_set1_pd(PieceOfTap(K::kTaps, k) - 1.0)))
                       : onBoundary),
     ...);
}

// The column weights (lane 0) and row weights (lane 1) of a sample at
// (fx, fy), each spread over both lanes of across[k] and down[k]: the
// values Kernel(|c - fx|) and Kernel(|r - fy|) would give.
template <class K>
inline void KernelWeights(double fx, double fy, int32_t ix, int32_t iy, __m128d* across,
                          __m128d* down) {
    constexpr int taps = K::kTaps, half = taps / 2;
    const __m128d position = _mm_set_pd(fy, fx);
    const __m128d first = _mm_set_pd(double(iy - (half - 1)), double(ix - (half - 1)));
    const __m128d sign = _mm_set1_pd(-0.0);
    __m128d d[taps], w[taps];
#pragma GCC unroll 6
    for (int k = 0; k < taps; ++k)
        d[k] = _mm_andnot_pd(sign, _mm_sub_pd(_mm_add_pd(first, _mm_set1_pd(double(k))), position));
    __m128d onBoundary = _mm_setzero_pd();
    EvaluateTaps<K>(d, w, onBoundary, std::make_integer_sequence<int, taps>{});
    if (_mm_movemask_pd(onBoundary)) {
        for (int k = 0; k < taps; ++k) {
            double pair[2];
            _mm_storeu_pd(pair, d[k]);
            w[k] = _mm_set_pd(K::At(pair[1]), K::At(pair[0]));
        }
    }
#pragma GCC unroll 6
    for (int k = 0; k < taps; ++k) {
        across[k] = _mm_unpacklo_pd(w[k], w[k]);
        down[k] = _mm_unpackhi_pd(w[k], w[k]);
    }
}

inline __m128i WidenPixel(uint32_t bytes) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(bytes)), zero), zero);
}

inline uint32_t Load4(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The taps of one tap row lying side by side in memory: one or two loads,
// widened to one 32-bit lane per byte.  Three-byte pixels get the next
// pixel's first byte (or zero) as a fourth, which no sum keeps; no load
// reaches past the last tap's last byte.
template <int Taps, int N>
inline void LoadTapRow(const uint8_t* p, __m128i* px) {
    const __m128i zero = _mm_setzero_si128();
    if constexpr (N == 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i a = _mm_unpacklo_epi8(v, zero), b = _mm_unpackhi_epi8(v, zero);
        px[0] = _mm_unpacklo_epi16(a, zero);
        px[1] = _mm_unpackhi_epi16(a, zero);
        px[2] = _mm_unpacklo_epi16(b, zero);
        px[3] = _mm_unpackhi_epi16(b, zero);
        if constexpr (Taps == 6) {
            const __m128i c =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16)), zero);
            px[4] = _mm_unpacklo_epi16(c, zero);
            px[5] = _mm_unpackhi_epi16(c, zero);
        }
    } else {
        __m128i v;
        if constexpr (Taps == 4)  // 12 bytes
            v = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                   _mm_cvtsi32_si128(int32_t(Load4(p + 8))));
        else  // 18 bytes: 16 here, the last pixel below
            v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        auto widen = [&](__m128i bytes) {
            return _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
        };
        px[0] = widen(v);
        px[1] = widen(_mm_srli_si128(v, 3));
        px[2] = widen(_mm_srli_si128(v, 6));
        px[3] = widen(_mm_srli_si128(v, 9));
        if constexpr (Taps == 6) {
            px[4] = widen(_mm_srli_si128(v, 12));
            px[5] = widen(_mm_srli_si128(_mm_cvtsi32_si128(int32_t(Load4(p + 14))), 1));
        }
    }
}

// weight(row) * weight(column) * byte over one tap row, added to the sums of
// bytes 0 and 1 (lo) and 2 and 3 (hi) column by column.  The very first
// product starts the sums: 0 + p is p, or a zero of the other sign, which
// leaves every later sum and the stored byte as they were.
template <int Taps, bool First>
inline void AddTapRow(const __m128i* px, __m128d down, const __m128d* across, __m128d& lo,
                      __m128d& hi) {
#pragma GCC unroll 6
    for (int c = 0; c < Taps; ++c) {
        const __m128d wgt = _mm_mul_pd(down, across[c]);
        const __m128d l = _mm_mul_pd(wgt, _mm_cvtepi32_pd(px[c]));
        const __m128d h = _mm_mul_pd(wgt, _mm_cvtepi32_pd(_mm_shuffle_epi32(px[c], 0xEE)));
        if (First && c == 0) {
            lo = l;
            hi = h;
        } else {
            lo = _mm_add_pd(lo, l);
            hi = _mm_add_pd(hi, h);
        }
    }
}

// Four sums stored as ClampToByte stores them: + 0.5, held at 255,
// truncated; negative sums truncate to zero or below and saturate to 0.
inline uint32_t RoundSums(__m128d lo, __m128d hi) {
    const __m128d half = _mm_set1_pd(0.5), top255 = _mm_set1_pd(255.0);
    lo = _mm_min_pd(_mm_add_pd(lo, half), top255);
    hi = _mm_min_pd(_mm_add_pd(hi, half), top255);
    __m128i all = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
    all = _mm_packs_epi32(all, all);
    all = _mm_packus_epi16(all, all);
    return uint32_t(_mm_cvtsi128_si32(all));
}

// What a row of kernel samples reads the source through.
struct KernelSource {
    const uint8_t* origin;  // row 0
    ptrdiff_t step;         // from one row to the next
    int32_t w, h;
    bool fields;
};

// True when every tap of a sample at (fx, fy), a position inside the frame,
// lies inside it too, with a row to spare below when the fields are kept
// apart (the field adjustment moves a row down by one).
template <int Taps>
inline bool TapsInside(const KernelSource& f, double fx, double fy) {
    constexpr int32_t half = Taps / 2;
    const int32_t ix = int32_t(fx), iy = int32_t(fy);
    return ix >= half - 1 && ix + half < f.w && iy >= half - 1 && iy + half + f.fields < f.h;
}

// Where tap row r of a window inside the frame (TapsInside) starts, the
// window's first row starting at first: row top + r, or the row below it
// when that one is in destination row y's field and the fields are kept
// apart.
inline const uint8_t* TapRowStart(const KernelSource& f, uint32_t y, int32_t top,
                                  const uint8_t* first, int r) {
    const int32_t down = f.fields & ((top + r) ^ int32_t(y)) & 1;
    return first + (r + down) * f.step;
}

// Two samples whose taps all lie inside the frame, worked on side by side:
// each sum's additions wait on the one before, and the other sample's
// fill the wait.
template <class K, int N>
inline void KernelPairInside(const KernelSource& f, uint32_t y, const double* fx, const double* fy,
                             uint32_t* out) {
    constexpr int taps = K::kTaps, half = taps / 2;
    __m128d acrossA[taps], downA[taps], acrossB[taps], downB[taps];
    const int32_t ixA = int32_t(fx[0]), iyA = int32_t(fy[0]);
    const int32_t ixB = int32_t(fx[1]), iyB = int32_t(fy[1]);
    KernelWeights<K>(fx[0], fy[0], ixA, iyA, acrossA, downA);
    KernelWeights<K>(fx[1], fy[1], ixB, iyB, acrossB, downB);
    const int32_t topA = iyA - (half - 1), topB = iyB - (half - 1);
    const uint8_t* a = f.origin + topA * f.step + ptrdiff_t(ixA - (half - 1)) * N;
    const uint8_t* b = f.origin + topB * f.step + ptrdiff_t(ixB - (half - 1)) * N;
    __m128d loA, hiA, loB, hiB;
    __m128i px[taps];
    LoadTapRow<taps, N>(TapRowStart(f, y, topA, a, 0), px);
    AddTapRow<taps, true>(px, downA[0], acrossA, loA, hiA);
    LoadTapRow<taps, N>(TapRowStart(f, y, topB, b, 0), px);
    AddTapRow<taps, true>(px, downB[0], acrossB, loB, hiB);
    for (int r = 1; r < taps; ++r) {
        LoadTapRow<taps, N>(TapRowStart(f, y, topA, a, r), px);
        AddTapRow<taps, false>(px, downA[r], acrossA, loA, hiA);
        LoadTapRow<taps, N>(TapRowStart(f, y, topB, b, r), px);
        AddTapRow<taps, false>(px, downB[r], acrossB, loB, hiB);
    }
    out[0] = RoundSums(loA, hiA);
    out[1] = RoundSums(loB, hiB);
}

// One kernel sample of 3- or 4-byte pixels at (fx, fy), inside the frame,
// for destination row y: the bytes KernelSample stores.
template <class K, int N>
inline uint32_t KernelPixel(const KernelSource& f, uint32_t y, double fx, double fy) {
    constexpr int taps = K::kTaps, half = taps / 2;
    const int32_t ix = int32_t(fx), iy = int32_t(fy);
    __m128d across[taps], down[taps];
    KernelWeights<K>(fx, fy, ix, iy, across, down);
    __m128d lo = _mm_setzero_pd(), hi = _mm_setzero_pd();
    __m128i px[taps];
    const int32_t left = ix - (half - 1), top = iy - (half - 1);
    if (TapsInside<taps>(f, fx, fy)) {
        const uint8_t* p = f.origin + top * f.step + ptrdiff_t(left) * N;
        LoadTapRow<taps, N>(TapRowStart(f, y, top, p, 0), px);
        AddTapRow<taps, true>(px, down[0], across, lo, hi);
        for (int r = 1; r < taps; ++r) {
            LoadTapRow<taps, N>(TapRowStart(f, y, top, p, r), px);
            AddTapRow<taps, false>(px, down[r], across, lo, hi);
        }
        return RoundSums(lo, hi);
    }
    // At the edges each tap is clamped into the frame on its own.
    ptrdiff_t columns[taps];
    for (int k = 0; k < taps; ++k) {
        const int32_t c = left + k;
        columns[k] = ptrdiff_t(c < 0 ? 0 : c > f.w - 1 ? f.w - 1 : c) * N;
    }
    for (int r = 0; r < taps; ++r) {
        int32_t row = top + r;
        row = row < 0 ? 0 : row > f.h - 1 ? f.h - 1 : row;
        if (f.fields && ((row ^ int32_t(y)) & 1)) row = row + 1 < f.h ? row + 1 : row - 1;
        const uint8_t* line = f.origin + row * f.step;
        for (int k = 0; k < taps; ++k) {
            const uint8_t* q = line + columns[k];
            // Three-byte pixels: a fourth byte is read only where one follows.
            px[k] = WidenPixel(N == 4 ? Load4(q) : uint32_t(q[0] | q[1] << 8 | q[2] << 16));
        }
        if (r == 0)
            AddTapRow<taps, true>(px, down[r], across, lo, hi);
        else
            AddTapRow<taps, false>(px, down[r], across, lo, hi);
    }
    return RoundSums(lo, hi);
}

// One kernel sample written at out, the outside colour for positions
// outside the frame.
template <class K, int N>
inline void KernelStore(const Sampler& s, const KernelSource& f, uint8_t* out, uint32_t y,
                        double fx, double fy) {
    if (!(fx >= 0.0) || !(fy >= 0.0) || fx >= double(s.width) || fy >= double(s.height)) {
        std::memcpy(out, s.outside, N);
        return;
    }
    const uint32_t bytes = KernelPixel<K, N>(f, y, fx, fy);
    std::memcpy(out, &bytes, N);
}

inline KernelSource SourceOf(const Sampler& s, bool fields) {
    const int32_t h = int32_t(s.height);
    return {s.src.Row(0), h > 1 ? s.src.Row(1) - s.src.Row(0) : 0, int32_t(s.width), h, fields};
}

template <class K, int N>
void KernelRow(const Sampler& s, uint32_t y, bool fields, const double* xs, const double* ys) {
    const KernelSource f = SourceOf(s, fields);
    uint8_t* out = s.Dst(0, y);
    const double width = double(s.width), height = double(s.height);
    auto inside = [&](double fx, double fy) {
        return fx >= 0.0 && fy >= 0.0 && fx < width && fy < height &&
               TapsInside<K::kTaps>(f, fx, fy);
    };
    for (uint32_t x = 0; x < s.width;) {
        if (x + 1 < s.width && inside(xs[x], ys[x]) && inside(xs[x + 1], ys[x + 1])) {
            uint32_t bytes[2];
            KernelPairInside<K, N>(f, y, xs + x, ys + x, bytes);
            std::memcpy(out, &bytes[0], N);
            std::memcpy(out + N, &bytes[1], N);
            x += 2;
            out += 2 * N;
            continue;
        }
        // Negative positions go far outside first, as SamplePixel sends them.
        const double fx = xs[x] >= 0.0 ? xs[x] : kFarOutside;
        const double fy = ys[x] >= 0.0 ? ys[x] : kFarOutside;
        KernelStore<K, N>(s, f, out, y, fx, fy);
        ++x;
        out += N;
    }
}

template <class K>
void KernelOne(const Sampler& s, uint32_t x, uint32_t y, bool fields, double fx, double fy) {
    if (s.bytesPerPixel == 4)
        KernelStore<K, 4>(s, SourceOf(s, fields), s.Dst(x, y), y, fx, fy);
    else
        KernelStore<K, 3>(s, SourceOf(s, fields), s.Dst(x, y), y, fx, fy);
}
#endif

}  // namespace

void Sampler::SampleKernel(uint32_t x, uint32_t y, int taps, double (*kernel)(double),
                           bool fieldAware, double fx, double fy) const {
    const bool fields = FieldsApart(fieldAware);
#if defined(__SSE2__)
    if (bytesPerPixel == 4 || bytesPerPixel == 3) {
        if (taps == 4 && kernel == CubicKernel)
            return KernelOne<CubicSharp>(*this, x, y, fields, fx, fy);
        if (taps == 4 && kernel == Spline16Kernel)
            return KernelOne<CubicSoft>(*this, x, y, fields, fx, fy);
        if (taps == 6 && kernel == Spline36Kernel)
            return KernelOne<CubicExact>(*this, x, y, fields, fx, fy);
    }
#endif
    if (taps == 4 && kernel == CubicKernel)
        return KernelSample<4, CubicKernelInline>(*this, x, y, fields, fx, fy);
    if (taps == 4 && kernel == Spline16Kernel)
        return KernelSample<4, Spline16KernelInline>(*this, x, y, fields, fx, fy);
    if (taps == 6 && kernel == Spline36Kernel)
        return KernelSample<6, Spline36KernelInline>(*this, x, y, fields, fx, fy);
    if (!(fx >= 0.0) || !(fy >= 0.0) || fx >= double(width) || fy >= double(height)) {
        WriteOutside(x, y);
        return;
    }
    const int32_t half = taps / 2;
    const int32_t ix = int32_t(fx), iy = int32_t(fy);
    const int32_t w = int32_t(width), h = int32_t(height);
    const uint32_t channels = bytesPerPixel == 4 ? 4 : 3;
    double sum[4] = {0.0, 0.0, 0.0, 0.0};
    for (int32_t r = iy - (half - 1); r <= iy + half; ++r) {
        const double wy = kernel(Abs(r - fy));
        int32_t row = r < 0 ? 0 : r > h - 1 ? h - 1 : r;
        if (fields && ((row ^ int32_t(y)) & 1)) row = row + 1 < h ? row + 1 : row - 1;
        const uint8_t* line = src.Row(row);
        for (int32_t c = ix - (half - 1); c <= ix + half; ++c) {
            const double wgt = wy * kernel(Abs(c - fx));
            const int32_t col = c < 0 ? 0 : c > w - 1 ? w - 1 : c;
            const uint8_t* p = line + uint32_t(col) * bytesPerPixel;
            for (uint32_t i = 0; i < channels && i < bytesPerPixel; ++i)
                sum[i] += wgt * p[i];
        }
    }
    uint8_t* out = Dst(x, y);
    for (uint32_t i = 0; i < channels && i < bytesPerPixel; ++i)
        out[i] = ClampToByte(sum[i]);
}

void Sampler::SampleKernelRow(uint32_t y, bool fieldAware, int32_t mode, const double* xs,
                              const double* ys) const {
    if (y >= height) return;
#if defined(__SSE2__)
    using Row = void (*)(const Sampler&, uint32_t, bool, const double*, const double*);
    // By mode (sharp, soft, more exact), then three- or four-byte pixels.
    static constexpr Row kRows[3][2] = {
        {KernelRow<CubicSharp, 3>, KernelRow<CubicSharp, 4>},
        {KernelRow<CubicSoft, 3>, KernelRow<CubicSoft, 4>},
        {KernelRow<CubicExact, 3>, KernelRow<CubicExact, 4>},
    };
    if ((bytesPerPixel == 3 || bytesPerPixel == 4) && mode >= kInterpolateCubicSharp &&
        mode <= kInterpolateCubicExact)
        return kRows[mode - kInterpolateCubicSharp][bytesPerPixel - 3](
            *this, y, FieldsApart(fieldAware), xs, ys);
#endif
    for (uint32_t x = 0; x < width; ++x)
        SamplePixel(x, y, fieldAware, mode, xs[x], ys[x]);
}

void StoreClampedPixel(int32_t red, int32_t green, int32_t blue, int32_t alpha, uint8_t* dst,
                       uint32_t bytesPerPixel) {
    auto clamp = [](int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    dst[2] = clamp(red);
    dst[1] = clamp(green);
    dst[0] = clamp(blue);
    if (bytesPerPixel == 4) dst[3] = alpha <= 0 ? 255 : alpha > 255 ? 255 : uint8_t(alpha);
}

namespace {

// Rounds a position inside the frame to the nearest pixel; within half a pixel
// of the far edge it stays on the last pixel.
bool NearestInside(const EffectBase& effect, double fx, double fy, int32_t* col, int32_t* row) {
    if (!(fx >= 0.0) || !(fy >= 0.0) || fx >= effect.frameWidth || fy >= effect.frameHeight)
        return false;
    *col = int32_t(fx + 0.5);
    *row = int32_t(fy + 0.5);
    if (*col > effect.frameWidth - 1) *col = effect.frameWidth - 1;
    if (*row > effect.frameHeight - 1) *row = effect.frameHeight - 1;
    return true;
}

}  // namespace

void ReadPixelRgb(const EffectBase& effect, const FrameView& frame, bool skip, double fx, double fy,
                  Rgb* out) {
    int32_t col, row;
    if (!NearestInside(effect, fx, fy, &col, &row)) {
        *out = {0, 0, 0};
        return;
    }
    if (skip) return;
    const uint8_t* p = frame.Row(row) + col * effect.bytesPerPixel;
    *out = {p[2], p[1], p[0]};
}

void ReadPixelYuv(const EffectBase& effect, const FrameView& frame, bool skip, double fx, double fy,
                  Yuv* out) {
    int32_t col, row;
    if (!NearestInside(effect, fx, fy, &col, &row)) {
        *out = {0, 0, 0};
        return;
    }
    if (skip) return;
    const uint8_t* p = frame.Row(row) + col * 2;
    if (col & 1) {
        *out = {p[1], p[-2], p[0]};
    } else if (col + 1 < effect.frameWidth) {
        *out = {p[1], p[0], p[2]};
    } else {
        // A last pixel without a partner has no second chroma byte: neutral.
        *out = {p[1], p[0], 128};
    }
}

Hsv RgbToHsv(uint8_t red, uint8_t green, uint8_t blue) {
    const int32_t mx = red > green ? (red > blue ? red : blue) : (green > blue ? green : blue);
    const int32_t mn = red < green ? (red < blue ? red : blue) : (green < blue ? green : blue);
    Hsv out{0.0, 0.0, mx / 255.0};
    if (mx == 0) return out;
    out.saturation = double(mx - mn) / double(mx);
    if (out.saturation == 0.0) return out;
    const double d = double(mx - mn);
    if (mx == red)
        out.hue = double(green - blue) / d * 60.0;
    else if (mx == green)
        out.hue = double(blue - red) / d * 60.0 + 120.0;
    else
        out.hue = double(red - green) / d * 60.0 + 240.0;
    if (out.hue < 0.0) out.hue += 360.0;
    return out;
}

Rgb HsvToRgb(double hue, double saturation, double value) {
    double r, g, b;
    if (saturation == 0.0) {
        r = g = b = value;
    } else {
        const double h = hue == 360.0 ? 0.0 : hue / 60.0;
        // Hues outside 0..360 wrap into the six sectors instead of leaving them.
        int32_t i = (h >= 0.0 && h < 6.0) ? int32_t(h) : 0;
        double f = h - i;
        if (!(h >= 0.0 && h < 6.0)) {
            double wrapped = h - 6.0 * double(int64_t(h / 6.0));
            if (wrapped < 0.0) wrapped += 6.0;
            if (!(wrapped >= 0.0 && wrapped < 6.0)) wrapped = 0.0;  // NaN, inf
            i = int32_t(wrapped);
            f = wrapped - i;
        }
        const double v = value, s = saturation;
        const double p = v * (1.0 - s), q = v * (1.0 - s * f), t = v * (1.0 - s * (1.0 - f));
        switch (i) {
            case 0:
                r = v, g = t, b = p;
                break;
            case 1:
                r = q, g = v, b = p;
                break;
            case 2:
                r = p, g = v, b = t;
                break;
            case 3:
                r = p, g = q, b = v;
                break;
            case 4:
                r = t, g = p, b = v;
                break;
            default:
                r = v, g = p, b = q;
                break;
        }
    }
    return {ClampToByte(r * 255.0), ClampToByte(g * 255.0), ClampToByte(b * 255.0)};
}

bool FramesMatchPrepared(const EffectBase& effect, const FrameView& src, const FrameView& dst) {
    const int32_t bpp = effect.bytesPerPixel;
    if (bpp < 2 || bpp > 4 || effect.frameWidth <= 0 || effect.frameHeight <= 0) return false;
    for (const FrameView* f : {&src, &dst}) {
        if (!f->bits || f->width < effect.frameWidth || f->height < effect.frameHeight ||
            f->bitsPerPixel != bpp * 8)
            return false;
        const int64_t pitch = f->pitch < 0 ? -f->pitch : f->pitch;
        if (pitch < int64_t(effect.frameWidth) * bpp) return false;
    }
    return true;
}

}  // namespace vx
