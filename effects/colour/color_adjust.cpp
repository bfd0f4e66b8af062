// ColorAdjust: per-channel gains, brightness, contrast about middle grey,
// colour intensity about each pixel's grey value, and per-channel gamma.
// Works in place on colour frames; packed 4:2:2 frames pass unchanged.
#include <emmintrin.h>

#include <cstring>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "effects/colour/colour_common.h"
#include "effects/colour/gamma_table.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum {
    kRed,
    kGreen,
    kBlue,
    kBrightness,
    kContrast,
    kIntensity,
    kGammaRed,
    kGammaGreen,
    kGammaBlue
};

constexpr ParamSpec kParamRows[] = {
    RealParam(kRed, u"Color red", 100, 0.1, 0, 200),
    RealParam(kGreen, u"Color green", 100, 0.1, 0, 200),
    RealParam(kBlue, u"Color blue", 100, 0.1, 0, 200),
    RealParam(kBrightness, u"Brightness", 100, 0.1, 0, 300),
    RealParam(kContrast, u"Contrast", 100, 0.1, 0, 300),
    RealParam(kIntensity, u"Color intensity", 100, 0.1, 0, 300),
    RealParam(kGammaRed, u"Gamma red", 1, 0.1, 0.1, 2.5),
    RealParam(kGammaGreen, u"Gamma green", 1, 0.1, 0.1, 2.5),
    RealParam(kGammaBlue, u"Gamma blue", 1, 0.1, 0.1, 2.5),
};

struct Settings {
    double k;        // brightness factor
    double gain[3];  // red, green, blue
    double contrast;
    double intensity;
    double exponent[3];
};

Settings ReadSettings(HostRenderContext* ctx) {
    Settings s;
    const double gR = ReadReal(ctx, kRed) / 100, gG = ReadReal(ctx, kGreen) / 100,
                 gB = ReadReal(ctx, kBlue) / 100;
    const double b = ReadReal(ctx, kBrightness) / 100;
    s.contrast = ReadReal(ctx, kContrast) / 100;
    s.intensity = ReadReal(ctx, kIntensity) / 100;
    // Equal gains of any size leave the overall brightness to b alone.
    const double sum = gR + gG + gB;
    s.k = sum != 0 ? 3 * b / sum : b;
    s.gain[0] = gR;
    s.gain[1] = gG;
    s.gain[2] = gB;
    for (int c = 0; c < 3; ++c) {
        const double gamma = ReadReal(ctx, kGammaRed + c);
        s.exponent[c] = gamma != 0 ? 1 / gamma : 1;
    }
    return s;
}

// What one frame's pixels need, gathered for the pixel loop.
struct Pass {
    const Settings* s;
    const double (*lut)[256];  // gain and contrast per channel and byte
    const bool* curved;        // a gamma other than 1, per channel
    const GammaTable* gamma;
};

// ClampToByte of two values, as 32-bit integers in the low half: v + 0.5 held
// to 255, then truncated.  The minimum takes its second operand when one is
// NaN, so NaN passes and truncates, as values far below 0 do, to the most
// negative integer; it and every value up to 0 become 0 when packed.
inline __m128i ClampPairToBytes(__m128d v) {
    const __m128d rounded = _mm_add_pd(v, _mm_set1_pd(0.5));
    return _mm_cvttpd_epi32(_mm_min_pd(_mm_set1_pd(255.0), rounded));
}

// Clear pixels become opaque; any other alpha stays.
inline uint32_t OpaqueIfClear(uint32_t alpha) {
    return alpha == 0 ? 255 : alpha;
}

// The channel values of two pixels before their rounding or gamma: red,
// green, blue, each channel of both pixels in one pair of doubles, in the
// order of operations of a single pixel.
struct ChannelMix {
    const double (*lut)[256];
    __m128d intensity;

    void Pair(uint32_t a, uint32_t b, __m128d v[3]) const {
        // Red, green, blue: bytes 2, 1, 0.
        const __m128d red = _mm_set_pd(lut[0][b >> 16 & 255], lut[0][a >> 16 & 255]);
        const __m128d green = _mm_set_pd(lut[1][b >> 8 & 255], lut[1][a >> 8 & 255]);
        const __m128d blue = _mm_set_pd(lut[2][b & 255], lut[2][a & 255]);
        const __m128d m = _mm_div_pd(_mm_add_pd(_mm_add_pd(red, green), blue), _mm_set1_pd(3.0));
        v[0] = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(red, m), intensity), m);
        v[1] = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(green, m), intensity), m);
        v[2] = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(blue, m), intensity), m);
    }
};

// Without gamma curves: two pixels at a time, rounded and packed in
// registers.  (Bytes stored one by one and read back as a word would stall.)
template <uint32_t kBpp>
void AdjustStraight(const Pass& p, const FrameView& src, const FrameView& dst, int32_t width,
                    int32_t height) {
    const ChannelMix mix{p.lut, _mm_set1_pd(p.s->intensity)};
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = src.Row(y);
        uint8_t* out = dst.Row(y);
        for (int32_t x = 0; x < width; x += 2) {
            // A last odd pixel goes with itself.
            const bool two = x + 1 < width;
            const uint32_t a = LoadPixel<kBpp>(in + size_t(x) * kBpp);
            const uint32_t b = two ? LoadPixel<kBpp>(in + size_t(x + 1) * kBpp) : a;
            __m128d v[3];
            mix.Pair(a, b, v);
            const uint32_t alphaA = kBpp == 4 ? OpaqueIfClear(a >> 24) : 0;
            const uint32_t alphaB = kBpp == 4 ? OpaqueIfClear(b >> 24) : 0;
            // Blue, green, red, alpha of each pixel as 32-bit lanes, then packed.
            const __m128i blueGreen =
                _mm_unpacklo_epi32(ClampPairToBytes(v[2]), ClampPairToBytes(v[1]));
            const __m128i redAlpha = _mm_unpacklo_epi32(
                ClampPairToBytes(v[0]), _mm_set_epi32(0, 0, int32_t(alphaB), int32_t(alphaA)));
            const __m128i wide = _mm_packs_epi32(_mm_unpacklo_epi64(blueGreen, redAlpha),
                                                 _mm_unpackhi_epi64(blueGreen, redAlpha));
            const __m128i bytes = _mm_packus_epi16(wide, wide);
            StorePixel<kBpp>(out + size_t(x) * kBpp, uint32_t(_mm_cvtsi128_si32(bytes)));
            if (two)
                StorePixel<kBpp>(out + size_t(x + 1) * kBpp,
                                 uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 4))));
        }
    }
}

// With gamma curves: the channel values of a stretch of pixels first, then
// each through its curve.  The branchy curve lookups then do not hold up the
// division and the arithmetic of the following pixels.
template <uint32_t kBpp>
void AdjustCurved(const Pass& p, const FrameView& src, const FrameView& dst, int32_t width,
                  int32_t height) {
    const ChannelMix mix{p.lut, _mm_set1_pd(p.s->intensity)};
    const bool curved[3] = {p.curved[0], p.curved[1], p.curved[2]};
    const GammaTable* gamma = p.gamma;
    constexpr int32_t kStretch = 64;
    alignas(16) double value[3][kStretch];
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = src.Row(y);
        uint8_t* out = dst.Row(y);
        for (int32_t x0 = 0; x0 < width; x0 += kStretch) {
            const int32_t n = width - x0 < kStretch ? width - x0 : kStretch;
            for (int32_t k = 0; k < n; k += 2) {
                const uint32_t a = LoadPixel<kBpp>(in + size_t(x0 + k) * kBpp);
                const uint32_t b = k + 1 < n ? LoadPixel<kBpp>(in + size_t(x0 + k + 1) * kBpp) : a;
                __m128d v[3];
                mix.Pair(a, b, v);
                for (int i = 0; i < 3; ++i)
                    _mm_store_pd(value[i] + k, v[i]);
            }
            // Each pixel is read again just before it is written: the frame
            // may be both source and output.
            for (int32_t k = 0; k < n; ++k) {
                uint8_t* q = out + size_t(x0 + k) * kBpp;
                uint32_t px = kBpp == 4 ? OpaqueIfClear(in[size_t(x0 + k) * kBpp + 3]) << 24 : 0;
                for (int i = 0; i < 3; ++i) {
                    const double w = value[i][k];
                    const uint8_t byte = curved[i] ? gamma[i].Map(w) : ClampToByte(w);
                    px |= uint32_t(byte) << (8 * (2 - i));
                }
                StorePixel<kBpp>(q, px);
            }
        }
    }
}

template <uint32_t kBpp>
void AdjustRows(const Pass& p, const FrameView& src, const FrameView& dst, int32_t width,
                int32_t height) {
    if (p.curved[0] || p.curved[1] || p.curved[2])
        AdjustCurved<kBpp>(p, src, dst, width, height);
    else
        AdjustStraight<kBpp>(p, src, dst, width, height);
}

struct ColorAdjust : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    ColorAdjust() { sharesInputFrame = 1; }

    // Gamma curves, rebuilt when their exponent changes.
    GammaTable gamma_[3];
    double gammaExponent_[3] = {1.0, 1.0, 1.0};

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst) || bytesPerPixel < 3 || src.IsPacked422())
            return kOk;
        const Settings s = ReadSettings(args.context);
        // Gain and contrast depend on one channel's byte only.
        double lut[3][256];
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
                lut[c][v] = (double(v) * s.k * s.gain[c] - 128) * s.contrast + 128;
        bool curved[3];
        for (int c = 0; c < 3; ++c) {
            curved[c] = s.exponent[c] != 1.0;
            if (curved[c] && s.exponent[c] != gammaExponent_[c]) {
                gamma_[c].Build(s.exponent[c]);
                gammaExponent_[c] = s.exponent[c];
            }
        }
        const Pass pass{&s, lut, curved, gamma_};
        if (bytesPerPixel == 4)
            AdjustRows<4>(pass, src, dst, frameWidth, frameHeight);
        else
            AdjustRows<3>(pass, src, dst, frameWidth, frameHeight);
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateColorAdjust() {
    return CreateEffect<ColorAdjust>();
}

}  // namespace vx
