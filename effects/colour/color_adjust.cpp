// ColorAdjust: per-channel gains, brightness, contrast about middle grey,
// colour intensity about each pixel's grey value, and per-channel gamma.
// Works in place on colour frames; packed 4:2:2 frames pass unchanged.
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

// The pixel loop, one instance per pixel size and per use of the gamma
// curves, so the alpha handling, the pixel step and the rounding are fixed at
// compile time.  The byte stores could alias anything reached through a
// pointer, so the loop reads its settings from locals.
template <uint32_t kBpp, bool kCurved>
void AdjustRows(const Pass& p, const FrameView& src, const FrameView& dst, int32_t width,
                int32_t height) {
    const double intensity = p.s->intensity;
    const double(*lut)[256] = p.lut;
    const bool curved[3] = {p.curved[0], p.curved[1], p.curved[2]};
    const GammaTable* gamma = p.gamma;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = src.Row(y);
        uint8_t* out = dst.Row(y);
        for (int32_t x = 0; x < width; ++x, in += kBpp, out += kBpp) {
            const double c1[3] = {lut[0][in[2]], lut[1][in[1]], lut[2][in[0]]};
            const double m = (c1[0] + c1[1] + c1[2]) / 3;
            uint8_t c[3];
            for (int i = 0; i < 3; ++i) {
                const double v = (c1[i] - m) * intensity + m;
                c[i] = kCurved && curved[i] ? gamma[i].Map(v) : ClampToByte(v);
            }
            const uint8_t alpha = kBpp == 4 ? in[3] : 0;
            out[0] = c[2];
            out[1] = c[1];
            out[2] = c[0];
            if (kBpp == 4) out[3] = alpha == 0 ? 255 : alpha;
        }
    }
}

template <uint32_t kBpp>
void AdjustRows(const Pass& p, const FrameView& src, const FrameView& dst, int32_t width,
                int32_t height) {
    if (p.curved[0] || p.curved[1] || p.curved[2])
        AdjustRows<kBpp, true>(p, src, dst, width, height);
    else
        AdjustRows<kBpp, false>(p, src, dst, width, height);
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
