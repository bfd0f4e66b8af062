// Sampling the source frame at real-valued positions, and small colour helpers.
#pragma once

#include <cstdint>

#include "core/effect_base.h"
#include "core/frame.h"

namespace vx {

enum InterpolationMode : int32_t {
    kInterpolateNone = 0,
    kInterpolateBilinear = 1,
    kInterpolateCubicSharp = 2,
    kInterpolateCubicSoft = 3,
    kInterpolateCubicExact = 4,
};

// The five names of the "interpolate" choice, in value order.
extern const char16_t* const kInterpolationNames[5];

// A source position split into its pixel and the fractions towards the next
// column and row, as the bilinear sampler splits it; a column of -1 marks a
// position outside the source.  Split positions can be kept across frames of
// the same size: they hold no row pitch.
struct SplitPosition {
    int32_t column, row;
    double dx, dy;
    static SplitPosition Split(double fx, double fy, uint32_t width, uint32_t height);
};

// Everything a sampler needs for one frame: both frames, the effect's cached
// geometry and the colour for positions outside the source.
struct Sampler {
    FrameView src;
    FrameView dst;
    uint32_t width;
    uint32_t height;
    uint32_t bytesPerPixel;
    uint8_t outside[4];  // blue, green, red, alpha as written into a pixel

    Sampler(const EffectBase& effect, const FrameView& source, const FrameView& destination);

    uint8_t* Dst(uint32_t x, uint32_t y) const { return dst.Row(int32_t(y)) + x * bytesPerPixel; }
    const uint8_t* Src(uint32_t x, uint32_t y) const {
        return src.Row(int32_t(y)) + x * bytesPerPixel;
    }

    void SamplePixel(uint32_t x, uint32_t y, bool fieldAware, int32_t mode, double fx,
                     double fy) const;
    void SampleNearest(uint32_t x, uint32_t y, int64_t col, int64_t row, bool fieldAware) const;
    void SampleBilinear(uint32_t x, uint32_t y, bool fieldAware, double fx, double fy) const;
    void SampleKernel(uint32_t x, uint32_t y, int taps, double (*kernel)(double), bool fieldAware,
                      double fx, double fy) const;
    void WriteOutside(uint32_t x, uint32_t y) const;
    // SamplePixel for the whole of row y in a kernel mode (or any other),
    // column x at (xs[x], ys[x]): the same bytes, with the row addressed once.
    void SampleKernelRow(uint32_t y, bool fieldAware, int32_t mode, const double* xs,
                         const double* ys) const;
    // SampleBilinear for the whole of row y, column x at (xs[x * xStride],
    // ys[x * yStride]): the same bytes, with the row addressed once.
    void SampleBilinearRow(uint32_t y, bool fieldAware, const double* xs, size_t xStride,
                           const double* ys, size_t yStride) const;
    // SampleBilinearRow over the whole frame when column x reads at xs[x] in
    // every row and row y at ys[y]: the same bytes, with each column's pixel
    // and fraction split once per frame rather than once per pixel.
    void SampleBilinearGrid(bool fieldAware, const double* xs, const double* ys) const;
    // SampleBilinearRow for row y from positions already split by Split.
    void SampleBilinearSplitRow(uint32_t y, bool fieldAware, const SplitPosition* positions) const;

  private:
    bool FieldsApart(bool fieldAware) const { return fieldAware && src.fieldCode == 1; }
};

double CubicKernel(double x);
double Spline16Kernel(double x);
double Spline36Kernel(double x);

// Rounds to the nearest byte value, halves up; NaN and anything at or
// below 0 give 0.  Inline: inner loops call it once per channel.
inline uint8_t ClampToByte(double v) {
    if (!(v > 0.0)) return 0;  // also NaN
    if (v >= 254.5) return 255;
    return uint8_t(int32_t(v + 0.5));
}

// Writes red, green, blue (clamped to 0..255) and, in 4-byte pixels, alpha
// (255 for alpha <= 0, otherwise clamped to 255).
void StoreClampedPixel(int32_t red, int32_t green, int32_t blue, int32_t alpha, uint8_t* dst,
                       uint32_t bytesPerPixel);

struct Rgb {
    uint8_t red, green, blue;
};
struct Yuv {
    uint8_t luma, u, v;
};
// Reads the pixel nearest to (fx, fy); all zero outside the frame.  With skip
// set nothing is written for a position inside the frame.
void ReadPixelRgb(const EffectBase& effect, const FrameView& frame, bool skip, double fx, double fy,
                  Rgb* out);
void ReadPixelYuv(const EffectBase& effect, const FrameView& frame, bool skip, double fx, double fy,
                  Yuv* out);

struct Hsv {
    double hue;         // degrees
    double saturation;  // 0..1
    double value;       // 0..1
};
Hsv RgbToHsv(uint8_t red, uint8_t green, uint8_t blue);
Rgb HsvToRgb(double hue, double saturation, double value);

// True when the frames handed to Process still have the geometry that Prepare
// cached; effects render nothing otherwise rather than address memory the
// frames do not have.
bool FramesMatchPrepared(const EffectBase& effect, const FrameView& src, const FrameView& dst);

}  // namespace vx
