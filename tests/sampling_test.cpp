// The shared sampler and the colour helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/random.h"
#include "core/sampling.h"
#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

// Sets the effect state a sampler reads: frame size, pixel size, outside colour.
void SetSamplingState(EffectBase& effect, int32_t w, int32_t h, int32_t bytesPerPixel) {
    effect.frameWidth = w;
    effect.frameHeight = h;
    effect.bytesPerPixel = uint16_t(bytesPerPixel);
    effect.outsideColor = {10, 20, 30, 40};
}

struct SamplerFixture : ::testing::Test {
    host::Frame src{host::FrameFormat{16, 12, 32}};
    host::Frame dst{host::FrameFormat{16, 12, 32}};
    EffectBase effect;

    void SetUp() override {
        test::PaintTestPicture(src);
        SetSamplingState(effect, 16, 12, 4);
    }
    Sampler Make() { return Sampler(effect, ViewFrame(src.Host()), ViewFrame(dst.Host())); }
    std::vector<uint8_t> Out(int x, int y) { return {dst.Row(y) + 4 * x, dst.Row(y) + 4 * x + 4}; }
    std::vector<uint8_t> In(int x, int y) { return {src.Row(y) + 4 * x, src.Row(y) + 4 * x + 4}; }
};

TEST_F(SamplerFixture, WholePositionsReproduceTheSourceInEveryMode) {
    Sampler s = Make();
    for (int mode = 0; mode <= 4; ++mode) {
        SCOPED_TRACE(mode);
        s.SamplePixel(1, 2, false, mode, 3.0, 5.0);
        // The kernels' weights at whole positions are 1 and 0 (up to rounding).
        EXPECT_EQ(Out(1, 2), In(3, 5));
    }
}

TEST_F(SamplerFixture, BilinearFallsBackToNearestAtTheRightAndBottomEdges) {
    Sampler s = Make();
    s.SampleBilinear(0, 0, false, 14.5, 3.5);  // ix = width - 2
    EXPECT_EQ(Out(0, 0), In(14, 3));
    s.SampleBilinear(0, 0, false, 2.5, 11.2);  // iy = height - 1
    EXPECT_EQ(Out(0, 0), In(2, 11));
    s.SampleBilinear(0, 0, false, 2.5, 3.0);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(Out(0, 0)[c], ClampToByte((In(2, 3)[c] + In(3, 3)[c]) * 0.5));
}

TEST_F(SamplerFixture, PositionsOutsideGiveTheOutsideColourInEveryMode) {
    Sampler s = Make();
    const std::vector<uint8_t> outside = {30, 20, 10, 40};  // blue, green, red, alpha
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int mode = -1; mode <= 5; ++mode) {
        for (auto [fx, fy] : {std::pair{-0.1, 2.0},
                              {2.0, -0.1},
                              {16.0, 1.0},
                              {1.0, 12.0},
                              {nan, 1.0},
                              {1.0, inf},
                              {-inf, 1.0},
                              {1e300, 1e300}}) {
            SCOPED_TRACE(::testing::Message() << mode << " " << fx << "," << fy);
            dst.Fill(0);
            s.SamplePixel(4, 4, true, mode, fx, fy);
            EXPECT_EQ(Out(4, 4), outside);
        }
    }
    dst.Fill(7);
    s.SamplePixel(16, 0, false, 1, 1.0, 1.0);  // destination outside: nothing written
    EXPECT_TRUE(test::PaddingUntouched(dst));
}

TEST_F(SamplerFixture, FieldAwareSamplingStaysInTheDestinationRowsField) {
    host::FrameFormat interlaced{16, 12, 32};
    interlaced.fieldCode = 1;
    host::Frame field(interlaced);
    test::PaintTestPicture(field);
    Sampler s(effect, ViewFrame(field.Host()), ViewFrame(dst.Host()));
    s.SampleNearest(0, 3, 5, 4, true);  // row 4 is even, y = 3 odd: row 5
    EXPECT_EQ(Out(0, 3), std::vector<uint8_t>(field.Row(5) + 20, field.Row(5) + 24));
    s.SampleNearest(0, 3, 5, 4, false);
    EXPECT_EQ(Out(0, 3), std::vector<uint8_t>(field.Row(4) + 20, field.Row(4) + 24));
    // Bilinear at a whole odd row from an even destination row blends rows 4 and 6.
    s.SampleBilinear(0, 2, true, 5.0, 5.0);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(Out(0, 2)[c],
                  ClampToByte(field.Row(4)[20 + c] * 1.0 * 1.0 + field.Row(6)[20 + c] * 0.0))
            << c;
    // The last rows and the kernel's clamped rows stay inside the frame.
    for (int mode = 1; mode <= 4; ++mode)
        for (uint32_t y = 0; y < 12; ++y)
            s.SamplePixel(3, y, true, mode, 7.3, 11.9);
    EXPECT_TRUE(test::PaddingUntouched(dst));
}

// The grid sampler and split positions against the row sampler they stand
// in for, over sources
// holding every byte value in every channel, with columns and rows that are
// whole (copied), fractional, at the nearest-pixel edges and outside, in
// every layout and with the fields kept apart.
TEST(SamplerGrid, GridAndSplitPositionsGiveTheRowSamplersBytesForEveryByteValue) {
    constexpr int32_t w = 80, h = 34;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> xs, ys;
    for (int32_t x = 0; x < w; ++x)
        xs.push_back(x < 40 ? x + 3 : x < 50 ? 0.37 * x : x < 62 ? 80.0 - x * 1.25 : x - 2.0);
    xs[5] = -0.25, xs[6] = nan, xs[7] = w - 1.5, xs[8] = w - 2.0, xs[9] = w;
    for (int32_t y = 0; y < h; ++y)
        ys.push_back(y < 10 ? y : y < 20 ? 1.5 + 0.75 * y : 40.0 - y);
    ys[3] = -1.0, ys[4] = h - 0.5, ys[5] = h - 1.0, ys[6] = h - 2.0, ys[7] = nan;
    for (const auto& layout : test::kLayouts) {
        for (int32_t fieldCode : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << layout.name << " fields " << fieldCode);
            host::FrameFormat format{
                w, h, layout.bitsPerPixel, layout.pixelFormat, layout.bottomUp, layout.rowPadding};
            host::Frame viaRows(format), viaGrid(format), viaSplit(format);
            format.fieldCode = fieldCode;
            host::Frame src(format);
            const int32_t n = layout.bitsPerPixel / 8;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t i = 0; i < n * w; ++i)  // rows 0..9 of columns 3..42: all 256 values
                    src.Row(y)[i] = uint8_t(i / n + 40 * y + 85 * (i % n));
            EffectBase effect;
            SetSamplingState(effect, w, h, n);
            const Sampler rows(effect, ViewFrame(src.Host()), ViewFrame(viaRows.Host()));
            const Sampler grid(effect, ViewFrame(src.Host()), ViewFrame(viaGrid.Host()));
            const Sampler split(effect, ViewFrame(src.Host()), ViewFrame(viaSplit.Host()));
            for (int32_t y = 0; y < h; ++y)
                rows.SampleBilinearRow(uint32_t(y), true, xs.data(), 1, &ys[y], 0);
            grid.SampleBilinearGrid(true, xs.data(), ys.data());
            EXPECT_EQ(viaGrid.Pixels(), viaRows.Pixels());
            EXPECT_TRUE(test::PaddingUntouched(viaGrid));
            for (int32_t y = 0; y < h; ++y) {
                std::vector<SplitPosition> row;
                for (int32_t x = 0; x < w; ++x)  // transposed too, for positions off the grid
                    row.push_back(SplitPosition::Split(x & 1 ? ys[x % h] : xs[x], ys[y], w, h));
                split.SampleBilinearSplitRow(uint32_t(y), true, row.data());
                for (int32_t x = 0; x < w; ++x)
                    rows.SampleBilinear(uint32_t(x), uint32_t(y), true, x & 1 ? ys[x % h] : xs[x],
                                        ys[y]);
            }
            EXPECT_EQ(viaSplit.Pixels(), viaRows.Pixels());
            EXPECT_TRUE(test::PaddingUntouched(viaSplit));
        }
    }
}

// A kernel sample the plain way: every tap from its own clamped row and
// column, weight(row) * weight(column) * byte summed rows outer.
void PlainKernelSample(const FrameView& src, int32_t w, int32_t h, int32_t n, bool fields,
                       int32_t y, int32_t taps, double (*kernel)(double), double fx, double fy,
                       const uint8_t outside[4], uint8_t* out) {
    if (!(fx >= 0.0) || !(fy >= 0.0) || fx >= w || fy >= h) {
        std::memcpy(out, outside, size_t(n));
        return;
    }
    const int32_t half = taps / 2, ix = int32_t(fx), iy = int32_t(fy);
    double sum[4] = {0.0, 0.0, 0.0, 0.0};
    for (int32_t r = iy - (half - 1); r <= iy + half; ++r) {
        const double wy = kernel(std::fabs(r - fy));
        int32_t row = std::clamp(r, 0, h - 1);
        if (fields && ((row ^ y) & 1)) row = row + 1 < h ? row + 1 : row - 1;
        for (int32_t c = ix - (half - 1); c <= ix + half; ++c) {
            const double wgt = wy * kernel(std::fabs(c - fx));
            const uint8_t* p = src.Row(row) + std::clamp(c, 0, w - 1) * n;
            for (int32_t i = 0; i < n; ++i)
                sum[i] += wgt * p[i];
        }
    }
    for (int32_t i = 0; i < n; ++i)
        out[i] = ClampToByte(sum[i]);
}

// Positions along one axis of a frame of the given size: whole, halves,
// just below whole values (where a tap's distance rounds onto a piece
// boundary), near and past both edges, and a spread of drawn ones.
std::vector<double> KernelTestPositions(int32_t size) {
    std::vector<double> v = {-0.5, -1e-300, 0.0, 0.25, 0.5, 1.0, 1.5, 2.0, 2.75};
    for (double whole : {1.0, 2.0, 3.0, double(size) - 1.0, double(size)})
        v.push_back(std::nextafter(whole, 0.0));
    for (double d : {0.0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5})
        v.push_back(size - d);
    for (int k = 0; k < 12; ++k)
        v.push_back(NextRandom() / double(kRandomMax) * (size + 1.0) - 0.5);
    return v;
}

// Every kernel mode against the plain loop in every layout, with the fields
// apart and together, for frames smaller than, as large as and larger than
// the kernels, at positions that put taps inside, at and past every edge.
TEST(KernelSampler, EveryKernelModeGivesThePlainLoopsBytes) {
    SeedRandom(7);
    const std::pair<int32_t, double (*)(double)> kernels[3] = {
        {4, CubicKernel}, {4, Spline16Kernel}, {6, Spline36Kernel}};
    const uint8_t outside[4] = {30, 20, 10, 40};
    for (const auto& layout : test::kLayouts) {
        for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {5, 2}, {6, 7}, {23, 13}}) {
            for (int32_t fieldCode : {0, 1}) {
                SCOPED_TRACE(::testing::Message()
                             << layout.name << " " << w << "x" << h << " fields " << fieldCode);
                host::FrameFormat format{w,
                                         h,
                                         layout.bitsPerPixel,
                                         layout.pixelFormat,
                                         layout.bottomUp,
                                         layout.rowPadding};
                host::Frame dst(format);
                format.fieldCode = fieldCode;
                host::Frame src(format);
                test::PaintTestPicture(src, uint32_t(w * h));
                const int32_t n = layout.bitsPerPixel / 8;
                EffectBase effect;
                SetSamplingState(effect, w, h, n);
                const Sampler s(effect, ViewFrame(src.Host()), ViewFrame(dst.Host()));
                const std::vector<double> xs = KernelTestPositions(w), ys = KernelTestPositions(h);
                for (int32_t mode = kInterpolateCubicSharp; mode <= kInterpolateCubicExact;
                     ++mode) {
                    const auto [taps, kernel] = kernels[mode - kInterpolateCubicSharp];
                    for (int32_t y : {0, 1, h - 1}) {
                        if (y >= h) continue;
                        for (double fy : ys) {
                            for (double fx : xs) {
                                uint8_t want[4];
                                PlainKernelSample(s.src, w, h, n, fieldCode == 1, y, taps, kernel,
                                                  fx, fy, outside, want);
                                s.SamplePixel(0, uint32_t(y), true, mode, fx, fy);
                                ASSERT_EQ(std::vector<uint8_t>(dst.Row(y), dst.Row(y) + n),
                                          std::vector<uint8_t>(want, want + n))
                                    << "mode " << mode << " at " << fx << "," << fy << " y " << y;
                            }
                        }
                    }
                }
                EXPECT_TRUE(test::PaddingUntouched(dst));
                // Whole rows, from scattered positions and from ones stepping
                // smoothly across the frame as a transform's do.
                for (int32_t mode = kInterpolateCubicSharp; mode <= kInterpolateCubicExact;
                     ++mode) {
                    const auto [taps, kernel] = kernels[mode - kInterpolateCubicSharp];
                    for (int32_t j = 0; j < 24; ++j) {
                        std::vector<double> rowX, rowY;
                        for (int32_t x = 0; x < w; ++x) {
                            const bool smooth = j % 2 == 0;
                            rowX.push_back(smooth ? 0.93 * x + 0.11 * j - 1.0
                                                  : xs[size_t(x * 5 + j) % xs.size()]);
                            rowY.push_back(smooth ? 0.07 * x + 0.55 * j - 1.0
                                                  : ys[size_t(x * 3 + j) % ys.size()]);
                        }
                        const int32_t y = j % h;
                        s.SampleKernelRow(uint32_t(y), true, mode, rowX.data(), rowY.data());
                        for (int32_t x = 0; x < w; ++x) {
                            uint8_t want[4];
                            PlainKernelSample(s.src, w, h, n, fieldCode == 1, y, taps, kernel,
                                              rowX[x], rowY[x], outside, want);
                            ASSERT_EQ(
                                std::vector<uint8_t>(dst.Row(y) + x * n, dst.Row(y) + x * n + n),
                                std::vector<uint8_t>(want, want + n))
                                << "mode " << mode << " row " << j << " column " << x;
                        }
                    }
                }
                EXPECT_TRUE(test::PaddingUntouched(dst));
            }
        }
    }
}

TEST(ColourHelpers, ClampToByteRoundsHalfUpAndClips) {
    EXPECT_EQ(ClampToByte(254.4), 254);
    EXPECT_EQ(ClampToByte(254.5), 255);
    EXPECT_EQ(ClampToByte(-3), 0);
    EXPECT_EQ(ClampToByte(0.5), 1);
    EXPECT_EQ(ClampToByte(0.49), 0);
    EXPECT_EQ(ClampToByte(1e300), 255);
    EXPECT_EQ(ClampToByte(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(ColourHelpers, HsvRoundTripsAndWrapsHues) {
    Hsv red = RgbToHsv(255, 0, 0);
    EXPECT_EQ(red.hue, 0);
    EXPECT_EQ(red.saturation, 1);
    EXPECT_EQ(red.value, 1);
    Rgb a = HsvToRgb(360, 1, 1), b = HsvToRgb(0, 1, 1);
    EXPECT_EQ(a.red, b.red);
    EXPECT_EQ(a.green, b.green);
    EXPECT_EQ(a.blue, b.blue);
    EXPECT_EQ(RgbToHsv(0, 0, 0).hue, 0);
    EXPECT_EQ(RgbToHsv(80, 80, 80).saturation, 0);
    EXPECT_NEAR(RgbToHsv(255, 0, 128).hue, 360 - 128.0 / 255 * 60, 1e-9);
    for (int r = 0; r < 256; r += 51)
        for (int g = 0; g < 256; g += 17)
            for (int bl = 0; bl < 256; bl += 85) {
                Hsv h = RgbToHsv(uint8_t(r), uint8_t(g), uint8_t(bl));
                Rgb back = HsvToRgb(h.hue, h.saturation, h.value);
                EXPECT_EQ(back.red, r);
                EXPECT_EQ(back.green, g);
                EXPECT_EQ(back.blue, bl);
            }
    // Hues beyond a turn wrap; nonsense hues give a colour, not garbage.
    Rgb wrapped = HsvToRgb(480, 1, 1), plain = HsvToRgb(120, 1, 1);
    EXPECT_EQ(wrapped.green, plain.green);
    EXPECT_EQ(wrapped.red, plain.red);
    HsvToRgb(std::numeric_limits<double>::quiet_NaN(), 1, 1);
}

TEST(ColourHelpers, ReadPixelStaysInsideNearTheFarEdge) {
    host::Frame f(host::FrameFormat{5, 3, 24});
    test::PaintTestPicture(f);
    EffectBase e;
    e.frameWidth = 5;
    e.frameHeight = 3;
    e.bytesPerPixel = 3;
    Rgb rgb{1, 1, 1};
    ReadPixelRgb(e, ViewFrame(f.Host()), false, 4.7, 2.6, &rgb);
    EXPECT_EQ(rgb.red, f.Row(2)[14]);
    ReadPixelRgb(e, ViewFrame(f.Host()), false, -0.2, 1, &rgb);
    EXPECT_EQ(rgb.red + rgb.green + rgb.blue, 0);

    host::Frame y(host::FrameFormat{5, 2, 16, 1});
    test::PaintTestPicture(y);
    e.bytesPerPixel = 2;
    e.frameHeight = 2;
    Yuv yuv{};
    ReadPixelYuv(e, ViewFrame(y.Host()), false, 3, 0, &yuv);  // odd column
    EXPECT_EQ(yuv.luma, y.Row(0)[7]);
    EXPECT_EQ(yuv.u, y.Row(0)[4]);
    EXPECT_EQ(yuv.v, y.Row(0)[6]);
    ReadPixelYuv(e, ViewFrame(y.Host()), false, 4.4, 1, &yuv);  // lone last column
    EXPECT_EQ(yuv.luma, y.Row(1)[9]);
    EXPECT_EQ(yuv.v, 128);
}

}  // namespace
}  // namespace vx
