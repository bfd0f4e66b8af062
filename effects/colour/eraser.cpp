// Eraser: replaces a rectangle of the frame by colours interpolated from the
// pixels just outside its four sides, fading in over five pixels, or weighted
// pixel by pixel by the brightness of a mask picture from the mask folder.
// The preview shows the rectangle instead.  Works in place.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/library.h"
#include "core/sampling.h"
#include "effects/colour/eraser_masks.h"
#include "effects/effects.h"
#include "platform/picture_file.h"
#include "platform/platform.h"

namespace vx {
namespace {

enum { kPreview, kLeft, kTop, kWidth, kHeight, kMask };

constexpr const char16_t* kMaskChoices[] = {u"All", u"0",  u"1",  u"2",  u"3",  u"4",  u"5",  u"6",
                                            u"7",   u"8",  u"9",  u"10", u"11", u"12", u"13", u"14",
                                            u"15",  u"16", u"17", u"18", u"19", u"20", u"21", u"22",
                                            u"23",  u"24", u"25", u"26", u"27", u"28", u"29"};
static_assert(std::size(kMaskChoices) == 31);

constexpr ParamSpec kParamRows[] = {
    BooleanParam(kPreview, u"Preview border", true),
    RealParam(kLeft, u"Left Border", 80, 0.1, 0, 100),
    RealParam(kTop, u"Top Border", 15, 0.1, 0, 100),
    RealParam(kWidth, u"Width", 5, 0.1, 0, 30, 0, 100),
    RealParam(kHeight, u"Bottom Border", 5, 0.1, 0, 30, 0, 100),
    ChoiceParam(kMask, u"Mask", 0, kMaskChoices),
};

// Truncation toward zero, held inside the 32-bit range; NaN counts as 0.
int32_t TruncateToInt(double v) {
    if (!(v == v)) return 0;
    return int32_t(std::clamp(v, -2147483648.0, 2147483647.0));
}

// The folder "VXEraser" in the descriptor folder, without a trailing separator.
std::string MaskFolderPath() {
    return std::string(DescriptorFolder) + "VXEraser";
}

// The rectangle [L, R) x [T, B) in pixels, and its size.
struct Rect {
    int32_t L, R, T, B;
    int32_t w0() const { return R - L; }
    int32_t h0() const { return B - T; }
};

Rect ReadRect(HostRenderContext* ctx, int32_t W, int32_t H) {
    auto percent = [&](int id) {
        const double p = ReadReal(ctx, id);
        return p == p ? p : 0.0;  // an unreadable NaN is no offset
    };
    double left = W * percent(kLeft) / 100;
    double right = left + W * percent(kWidth) / 100;
    double top = H * percent(kTop) / 100;
    double bottom = top + H * percent(kHeight) / 100;
    if (left < 1) left = 1;
    if (right > W - 1) right = W - 1;
    if (top < 1) top = 1;
    if (bottom > H - 1) bottom = H - 1;
    // A left edge past the frame, or a right edge before it, leaves the same
    // empty rectangle when held at the frame; it keeps R - L and B - T small.
    return {std::min(TruncateToInt(left), W), std::max(TruncateToInt(right), 0),
            std::min(TruncateToInt(top), H), std::max(TruncateToInt(bottom), 0)};
}

// Packed 4:2:2 works on pairs of pixels: every edge moves down to an even
// number.
Rect EvenRect(Rect r) {
    auto even = [](int32_t v) { return v >= 0 ? v & ~1 : -((-v + 1) & ~1); };
    return {even(r.L), even(r.R), even(r.T), even(r.B)};
}

// Division of the non-negative 32-bit sums of one rectangle by one divisor:
// a multiply by the reciprocal rounded up to 2^-shift and a shift.  The
// reciprocal's error stays below 1/divisor for every numerator up to
// `largest` (largest·divisor <= 2^shift), so every quotient is exact.
class ExactDivider {
  public:
    // Usable when both stay below 2^31, so largest·divisor stays below 2^62.
    static bool Fits(uint64_t divisor, uint64_t largest) {
        return divisor > 0 && divisor < (uint64_t(1) << 31) && largest < (uint64_t(1) << 31);
    }

    ExactDivider(uint32_t divisor, uint32_t largest) {
        const uint64_t bound = uint64_t(largest) * divisor;
        while ((uint64_t(1) << shift_) < bound)
            ++shift_;
        multiplier_ = ((uint64_t(1) << shift_) + divisor - 1) / divisor;
    }

    uint32_t operator()(uint32_t n) const { return uint32_t((n * multiplier_) >> shift_); }

  private:
    uint64_t multiplier_ = 0;
    int shift_ = 0;
};

// The least distance from the rectangle's sides at which the fade weight
// 0.2 · distance reaches 1.
const int32_t kOpaqueFrom = [] {
    int32_t k = 0;
    while (0.2 * k < 1)
        ++k;
    return k;
}();

// Three bytes of a border sample: red, green, blue or luma, U, V.
struct Sample {
    int32_t c[3];
};

// The three-tap smoothing 0.25, 0.5, 0.25, each product cut to an integer.
Sample Smooth(const uint8_t a[3], const uint8_t b[3], const uint8_t c[3]) {
    Sample s;
    for (int i = 0; i < 3; ++i)
        s.c[i] = int32_t(a[i] * 0.25) + int32_t(b[i] * 0.5) + int32_t(c[i] * 0.25);
    return s;
}

struct Eraser : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    std::unique_ptr<platform::PictureFile> mask;
    int32_t maskWidth = 0;
    int32_t maskHeight = 0;
    uint8_t warned = 0;

    Eraser() { sharesInputFrame = 1; }

    // ---------------------------------------------------------------- mask
    void UpdateMask(int32_t k) {
        if (mask && k == 0) {
            mask.reset();
            maskWidth = maskHeight = 0;
        }
        if (mask || k <= 0) return;
        const std::string folder = MaskFolderPath();
        const std::vector<std::string> names = ListMaskFiles(folder.c_str());
        std::string path = folder + "\\";
        auto picture = std::make_unique<platform::PictureFile>();
        if (size_t(k) <= names.size()) {
            path += names[size_t(k) - 1];
            if (picture->Load(path.c_str())) {
                maskWidth = picture->Width();
                maskHeight = picture->Height();
                mask = std::move(picture);
                return;
            }
        }
        if (!warned) {
            ShowEraserWarning(
                platform::WideFromNarrow(("Cannot open image " + path).c_str()).c_str(),
                u"Warning");
            warned = 1;
        }
    }

    // Brightness of the mask picture at a picture position, 0 to 1.
    double MaskWeightAt(int64_t px, int64_t py) const {
        const platform::ColorRef c = mask->Pixel(int32_t(px), int32_t(py));
        if (c == platform::kInvalidColor) return 0;
        return (platform::RedOf(c) + platform::GreenOf(c) + platform::BlueOf(c)) / 765.0;
    }

    // The erase weight of a pixel at (dx, dy) inside the rectangle.
    double EraseWeight(const Rect& r, int32_t dx, int32_t dy) const {
        if (!mask) return 0.2 * std::min({dx, r.w0() - dx, dy, r.h0() - dy});
        return MaskWeightAt(int64_t(maskWidth) * dx / r.w0(), int64_t(maskHeight) * dy / r.h0());
    }

    // ---------------------------------------------------------------- colour frames
    Sample RgbAt(const FrameView& f, int32_t x, int32_t y) const {
        Rgb p{};
        ReadPixelRgb(*this, f, false, x, y, &p);
        return {{p.red, p.green, p.blue}};
    }
    Sample RgbVertical(const FrameView& f, int32_t x, int32_t y) const {
        const Sample a = RgbAt(f, x, y - 1), b = RgbAt(f, x, y), c = RgbAt(f, x, y + 1);
        return SmoothSamples(a, b, c);
    }
    Sample RgbHorizontal(const FrameView& f, int32_t x, int32_t y) const {
        const Sample a = RgbAt(f, x - 1, y), b = RgbAt(f, x, y), c = RgbAt(f, x + 1, y);
        return SmoothSamples(a, b, c);
    }
    static Sample SmoothSamples(const Sample& a, const Sample& b, const Sample& c) {
        const uint8_t pa[3] = {uint8_t(a.c[0]), uint8_t(a.c[1]), uint8_t(a.c[2])};
        const uint8_t pb[3] = {uint8_t(b.c[0]), uint8_t(b.c[1]), uint8_t(b.c[2])};
        const uint8_t pc[3] = {uint8_t(c.c[0]), uint8_t(c.c[1]), uint8_t(c.c[2])};
        return Smooth(pa, pb, pc);
    }

    void EraseRgb(const FrameView& f, const Rect& r) {
        const int32_t w0 = r.w0(), h0 = r.h0(), S = w0 + h0;
        if (w0 <= 0 || h0 <= 0) return;
        // Rows T - 1 and B + 1 lie outside the rectangle and keep their colours.
        std::vector<Sample> top(static_cast<size_t>(w0)), bottom(static_cast<size_t>(w0));
        for (int32_t dx = 0; dx < w0; ++dx) {
            top[size_t(dx)] = RgbHorizontal(f, r.L + dx, r.T - 1);
            bottom[size_t(dx)] = RgbHorizontal(f, r.L + dx, r.B + 1);
        }
        // Every sample is at most 255, the four weights are positive and
        // each below S, so a sum stays within 0 .. 1020·S.
        const uint64_t largest = 1020 * uint64_t(S);
        if (ExactDivider::Fits(3 * uint64_t(S), largest))
            EraseRgbRows(f, r, top.data(), bottom.data(),
                         ExactDivider(3 * uint32_t(S), uint32_t(largest)));
        else
            EraseRgbRows(f, r, top.data(), bottom.data(),
                         [S](uint64_t sum) { return sum / (3 * uint64_t(S)); });
    }

    // The rectangle's rows, each byte the border colours weighed by the
    // distances to the four sides (sum / 3·S, at most 255), faded in over
    // the first pixels from each side: byte·(1 - w) + mixed·w, truncated.
    // Sums are kept in the divider's own integer type.
    template <class Divide>
    void EraseRgbRows(const FrameView& f, const Rect& r, const Sample* top, const Sample* bottom,
                      const Divide& divide) {
        using Sum = decltype(divide(0));
        const int32_t w0 = r.w0(), h0 = r.h0(), S = w0 + h0;
        const uint32_t bpp = bytesPerPixel;
        for (int32_t y = r.T; y < r.B; ++y) {
            const int32_t dy = y - r.T, rowEdge = std::min(dy, h0 - dy);
            const Sample left = RgbVertical(f, r.L - 1, y), right = RgbVertical(f, r.R + 1, y);
            const Sum topWeight = Sum(S - dy), bottomWeight = Sum(w0 + dy);
            // The left and right parts of the sum, moved along the row by
            // right - left per pixel (a difference that may be negative, so
            // it is added with wrap-around; the sum itself never is).
            Sum side[3], step[3];
            for (int c = 0; c < 3; ++c) {
                side[c] = Sum(left.c[c]) * Sum(S) + Sum(right.c[c]) * Sum(h0);
                step[c] = Sum(right.c[c]) - Sum(left.c[c]);
            }
            // Without a mask the weight reaches 1 at kOpaqueFrom pixels from
            // every side; between those columns the mixed colour is stored
            // as it is.
            int32_t opaqueBegin = w0, opaqueEnd = w0;
            if (!mask && rowEdge >= kOpaqueFrom && w0 > 2 * kOpaqueFrom) {
                opaqueBegin = kOpaqueFrom;
                opaqueEnd = w0 - kOpaqueFrom + 1;
            }
            uint8_t* p = f.Row(y) + size_t(r.L) * bpp;
            for (int32_t dx = 0; dx < w0; ++dx, p += bpp) {
                const Sample& t = top[dx];
                const Sample& b = bottom[dx];
                if (dx >= opaqueBegin && dx < opaqueEnd) {
                    for (int c = 0; c < 3; ++c) {
                        const Sum sum =
                            Sum(t.c[c]) * topWeight + Sum(b.c[c]) * bottomWeight + side[c];
                        side[c] += step[c];
                        p[2 - c] = uint8_t(std::min<Sum>(divide(sum), 255));
                    }
                    if (bpp == 4) p[3] = 255;
                    continue;
                }
                const double w =
                    mask ? EraseWeight(r, dx, dy) : 0.2 * std::min({dx, w0 - dx, rowEdge});
                for (int c = 0; c < 3; ++c) {
                    const Sum sum = Sum(t.c[c]) * topWeight + Sum(b.c[c]) * bottomWeight + side[c];
                    side[c] += step[c];
                    const int32_t mixed = int32_t(std::min<Sum>(divide(sum), 255));
                    uint8_t& byte = p[2 - c];  // red, green, blue at bytes 2, 1, 0
                    const int32_t v = w >= 1 ? mixed : int32_t(byte * (1 - w) + mixed * w);
                    byte = uint8_t(std::clamp(v, 0, 255));
                }
                if (bpp == 4) p[3] = 255;
            }
            if (mask) mask->EndPixelAccess();
        }
    }

    // The preview repaints whole rows, so it works on runs of pixels: the
    // dimmed outside, the black outline and the brightened inside.
    void PreviewRgb(const FrameView& f, const Rect& r) {
        const int32_t W = frameWidth;
        for (int32_t y = 0; y < frameHeight; ++y) {
            uint8_t* row = f.Row(y);
            if (y < r.T || y > r.B || r.R < r.L) {
                DimPixels(row, W);
                continue;
            }
            // Here 1 <= L <= W and R >= L: dim [0, L), outline or inside up
            // to R, dim after R.
            const int32_t L = r.L, last = std::min(r.R, W - 1);
            DimPixels(row, L);
            if (last < L) continue;
            if (y == r.T || y == r.B) {
                BlackPixels(PixelAt(row, L), last - L + 1);
            } else {
                BlackPixels(PixelAt(row, L), 1);
                if (r.R < W) BlackPixels(PixelAt(row, r.R), 1);
                for (int32_t x = L + 1; x < std::min(r.R, W); ++x)
                    BrightenPixel(PixelAt(row, x), r, x, y);
            }
            if (last + 1 < W) DimPixels(PixelAt(row, last + 1), W - last - 1);
        }
        if (mask) mask->EndPixelAccess();
    }

    uint8_t* PixelAt(uint8_t* row, int32_t x) const { return row + size_t(x) * bytesPerPixel; }

    // Each colour channel halved (the integer part of channel * 0.5, a
    // shift), alpha opaque.  Sixteen bytes at a time: in 3-byte pixels every
    // byte is a colour byte.
    void DimPixels(uint8_t* p, int32_t n) const {
        const bool withAlpha = bytesPerPixel == 4;
        size_t bytes = size_t(n) * bytesPerPixel;
#if defined(__SSE2__)
        const __m128i low7x4 = withAlpha ? _mm_set1_epi32(0x007F7F7F) : _mm_set1_epi8(0x7F);
        const __m128i opaquex4 =
            withAlpha ? _mm_set1_epi32(int32_t(0xFF000000u)) : _mm_setzero_si128();
        for (; bytes >= 16; bytes -= 16, p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i dim = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 1), low7x4), opaquex4);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), dim);
        }
#endif
        const uint64_t low7 = withAlpha ? 0x007F7F7F007F7F7Full : 0x7F7F7F7F7F7F7F7Full;
        const uint64_t opaque = withAlpha ? 0xFF000000FF000000ull : 0;
        for (; bytes >= 8; bytes -= 8, p += 8) {
            uint64_t px;
            std::memcpy(&px, p, 8);
            px = (px >> 1 & low7) | opaque;
            std::memcpy(p, &px, 8);
        }
        // The rest: whole pixels, one (4-byte) or a byte at a time.
        if (withAlpha && bytes == 4) {
            uint32_t px;
            std::memcpy(&px, p, 4);
            px = (px >> 1 & 0x007F7F7Fu) | 0xFF000000u;
            std::memcpy(p, &px, 4);
            return;
        }
        for (; bytes > 0; --bytes, ++p)
            *p = uint8_t(*p >> 1);
    }

    void BlackPixels(uint8_t* p, int32_t n) const {
        for (int32_t i = 0; i < n; ++i, p += bytesPerPixel) {
            p[0] = p[1] = p[2] = 0;
            if (bytesPerPixel == 4) p[3] = 255;
        }
    }

    // Inside the rectangle: each channel ch becomes the integer part of
    // (integer part of ch * (1 - w)) * 1.5, limited to 255.
    void BrightenPixel(uint8_t* p, const Rect& r, int32_t x, int32_t y) const {
        const double w = mask ? MaskWeightAt(int64_t(maskWidth) * (x - r.L) / r.w0(),
                                             int64_t(maskHeight) * (y - r.T) / r.h0())
                              : 0.0;
        for (int c = 0; c < 3; ++c)
            p[c] = uint8_t(std::min(int32_t(int32_t(p[c] * (1 - w)) * 1.5), 255));
        if (bytesPerPixel == 4) p[3] = 255;
    }

    // ---------------------------------------------------------------- packed 4:2:2
    Sample YuvAt(const FrameView& f, int32_t x, int32_t y) const {
        Yuv p{};
        ReadPixelYuv(*this, f, false, x, y, &p);
        return {{p.u, p.luma, p.v}};
    }

    void Erase422(const FrameView& f, const Rect& r) {
        const int32_t w0 = r.w0(), h0 = r.h0(), S = w0 + h0;
        if (w0 <= 0 || h0 <= 0) return;
        auto vertical = [&](int32_t x, int32_t y) {
            return SmoothSamples(YuvAt(f, x, y - 1), YuvAt(f, x, y), YuvAt(f, x, y + 1));
        };
        auto horizontal = [&](int32_t x, int32_t y) {
            return SmoothSamples(YuvAt(f, x - 1, y), YuvAt(f, x, y), YuvAt(f, x + 1, y));
        };
        const size_t pairs = size_t(w0 / 2);
        std::vector<Sample> top(pairs), bottom(pairs);
        for (size_t i = 0; i < pairs; ++i) {
            top[i] = horizontal(r.L + int32_t(2 * i), r.T - 1);
            bottom[i] = horizontal(r.L + int32_t(2 * i), r.B + 1);
        }
        for (int32_t y = r.T; y < r.B; ++y) {
            const int32_t dy = y - r.T;
            const Sample left = vertical(r.L - 1, y), right = vertical(r.R + 1, y);
            uint8_t* row = f.Row(y);
            for (size_t i = 0; i < pairs; ++i) {
                const int32_t dx = int32_t(2 * i);
                uint8_t* p = row + size_t(r.L + dx) * 2;
                auto mix = [&](int c, int32_t leftWeight, int32_t rightWeight) {
                    const int64_t sum =
                        int64_t(top[i].c[c]) * (S - dy) + int64_t(bottom[i].c[c]) * (w0 + dy) +
                        int64_t(left.c[c]) * leftWeight + int64_t(right.c[c]) * rightWeight;
                    return double(std::clamp<int64_t>(sum / (3 * S), 0, 255));
                };
                // U, first luma, V, second luma: the pair's four bytes.
                const double mixed[4] = {mix(0, S - dx, h0 + dx), mix(1, S - dx, h0 + dx),
                                         mix(2, S - dx, h0 + dx), mix(1, S - dx - 1, h0 + dx + 1)};
                const double w = EraseWeight(r, dx, dy);
                for (int b = 0; b < 4; ++b)
                    p[b] = w >= 1 ? uint8_t(mixed[b]) : ClampToByte(p[b] * (1 - w) + mixed[b] * w);
            }
        }
        if (mask) mask->EndPixelAccess();
    }

    void Preview422(const FrameView& f, const Rect& r) {
        for (int32_t y = 0; y < frameHeight; ++y) {
            uint8_t* p = f.Row(y) + 1;  // luma is each pixel's second byte
            const bool rowOutside = y < r.T || y > r.B;
            const bool rowEdge = y == r.T || y == r.B;
            for (int32_t x = 0; x < frameWidth; ++x, p += 2) {
                if (rowOutside || x < r.L || x > r.R) {
                    *p = ClampToByte(*p * 0.5);
                } else if (rowEdge || x == r.L || x == r.R) {
                    *p = 0;
                } else {
                    double v = *p * 1.5;
                    if (mask)
                        v *= MaskWeightAt(int64_t(x - r.L) * maskWidth / r.w0(),
                                          int64_t(y - r.T) * maskHeight / r.h0());
                    *p = ClampToByte(v);
                }
            }
        }
        if (mask) mask->EndPixelAccess();
    }

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        CopyIfSeparate(src, dst);
        const bool preview = ReadBoolean(args.context, kPreview);
        const Rect r = ReadRect(args.context, frameWidth, frameHeight);
        UpdateMask(ReadChoice(args.context, kMask));
        if (src.IsPacked422()) {
            if (bytesPerPixel != 2) return kOk;
            if (preview)
                Preview422(dst, EvenRect(r));
            else
                Erase422(dst, EvenRect(r));
        } else {
            if (bytesPerPixel < 3) return kOk;
            if (preview)
                PreviewRgb(dst, r);
            else
                EraseRgb(dst, r);
        }
        return kOk;
    }

    // The effect works in place; a host that hands a separate output frame
    // gets the source picture there first, so untouched pixels are the source.
    void CopyIfSeparate(const FrameView& src, const FrameView& dst) const {
        if (src.bits == dst.bits) return;
        const size_t rowBytes = size_t(frameWidth) * bytesPerPixel;
        for (int32_t y = 0; y < frameHeight; ++y)
            std::memcpy(dst.Row(y), src.Row(y), rowBytes);
    }
};

}  // namespace

EffectInterface* CreateEraser() {
    return CreateEffect<Eraser>();
}

}  // namespace vx
