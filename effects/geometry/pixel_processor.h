// Per-pixel processing over a whole frame, and the convolution kernels built
// on it.  Shared by the Filter effect and the colour change 2 effect.
//
// Pixels are handled as three channels (and an alpha): red, green, blue in
// the colour formats; luma and the two chroma bytes of the pixel's pair in the
// packed 4:2:2 formats.  Reading clamps positions to the frame, so taps beyond
// any edge repeat the edge pixel.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/frame.h"

namespace vx {

template <class Coef>
struct KernelTap {
    int32_t dx, dy;  // offset from the pixel
    Coef coef;
};

struct Channels {
    int32_t c[3];   // red, green, blue; or luma, U, V
    int32_t alpha;  // 4-byte colour pixels only
};

class PixelProcessor {
  public:
    // bytesPerPixel -1: taken from the source frame.
    explicit PixelProcessor(int32_t bytesPerPixel = -1) : bytesPerPixel(bytesPerPixel) {}
    virtual ~PixelProcessor() = default;

    // Fills the common part from the source and processes every pixel, rows
    // outer.  Source and destination must have the source's geometry.
    virtual void Run(const FrameView& source, const FrameView& destination, int32_t amount);
    // The identity: the pixel's bytes are copied unchanged.
    virtual void ProcessPixel(const FrameView& source, int32_t x, int32_t y,
                              const FrameView& destination, int32_t amount);

    // Takes bytes per pixel (unless fixed), size and format from a frame.
    void Attach(const FrameView& frame);

    // The channels of the pixel at (x, y), with x and y limited to the frame.
    Channels ReadPixelChannels(const FrameView& frame, int32_t x, int32_t y) const;
    // Stores three channels, each limited to 0..255, into pixel x of a row.
    // 4-byte colour pixels get alpha 255.  In the packed formats an odd pixel
    // averages its chroma with what its even partner stored.
    void WritePixelChannels(const int32_t channels[3], uint8_t* row, int32_t x) const;

    int32_t bytesPerPixel;
    uint32_t width = 0;
    uint32_t height = 0;
    bool packedChroma = false;

  protected:
    // Blends the filtered channels with the source pixel by amount (percent)
    // and stores them.
    void StoreBlended(const FrameView& source, int32_t x, int32_t y, int32_t filtered[3],
                      uint8_t* dstRow, int32_t amount) const;
};

// A square kernel of integer coefficients: (2r+1)^2 values, row-major, the
// row being the vertical offset.  Divisor 0 or 1: no division.
class IntegerKernel : public PixelProcessor {
  public:
    IntegerKernel(int32_t radius, std::span<const int32_t> coefficients, int32_t divisor,
                  int32_t offset);

    void Run(const FrameView& source, const FrameView& destination, int32_t amount) override;
    void ProcessPixel(const FrameView& source, int32_t x, int32_t y, const FrameView& destination,
                      int32_t amount) override;
    // The filtered channels at (x, y), before blending and limiting.
    // Attach must have been called for the frame.
    void Evaluate(const FrameView& source, int32_t x, int32_t y, int32_t out[3]) const;

    // Fixed at construction.
    const int32_t radius;
    const std::vector<int32_t> coefficients;
    const int32_t divisor;
    const int32_t offset;

  private:
    std::vector<KernelTap<int32_t>> taps_;  // the non-zero coefficients, row-major
};

// The same with real coefficients and divisor; results are truncated.
class RealKernel : public PixelProcessor {
  public:
    RealKernel(int32_t radius, std::span<const double> coefficients, double divisor,
               int32_t offset);

    void Run(const FrameView& source, const FrameView& destination, int32_t amount) override;
    void ProcessPixel(const FrameView& source, int32_t x, int32_t y, const FrameView& destination,
                      int32_t amount) override;
    void Evaluate(const FrameView& source, int32_t x, int32_t y, int32_t out[3]) const;

    const int32_t radius;
    const std::vector<double> coefficients;
    const double divisor;
    const int32_t offset;

  private:
    std::vector<KernelTap<double>> taps_;
};

// Three horizontal taps, then three vertical taps over the horizontal result.
// The source frame is left as it is: the horizontal result is kept in rows
// of the destination and a two-row buffer.
class SeparableKernel : public PixelProcessor {
  public:
    SeparableKernel(const int32_t horizontal[3], const int32_t vertical[3], int32_t divisor,
                    int32_t offset);

    void Run(const FrameView& source, const FrameView& destination, int32_t amount) override;

    int32_t horizontal[3];  // left, centre, right
    int32_t vertical[3];    // above, centre, below
    int32_t divisor;
    int32_t offset;
};

// Truncates toward zero, holding results far outside a byte at +-2^24 so that
// hostile amounts cannot overflow; NaN gives 0.
int32_t TruncateChannel(double v);

}  // namespace vx
