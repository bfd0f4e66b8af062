// ColorChange2: selects the pixels whose hue, saturation and value each lie
// within a tolerance of a key colour's, and keeps, recolours or hides them;
// the other pixels can turn grey.  With "Smooth" the selection looks at the
// 5 x 5 neighbourhood's average colour instead of the pixel alone.
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "effects/colour/color_change.h"
#include "effects/colour/colour_common.h"
#include "effects/effects.h"
#include "effects/geometry/pixel_processor.h"

namespace vx {
namespace {

enum {
    kKeyRed,
    kKeyGreen,
    kKeyBlue,
    kHueRange,
    kSaturationRange,
    kValueRange,
    kSmooth,
    kTreatment,
    kNewRed,
    kNewGreen,
    kNewBlue,
    kGrey,
};

constexpr ParamSpec kParamRows[] = {
    RealParam(kKeyRed, u"Color red", 0, 1, 0, 255),
    RealParam(kKeyGreen, u"Color green", 0, 1, 0, 255),
    RealParam(kKeyBlue, u"Color blue", 0, 1, 0, 255),
    RealParam(kHueRange, u"Hue range", 5, 0.1, 0, 360),
    RealParam(kSaturationRange, u"Saturation range", 0.1, 0.1, 0, 1),
    RealParam(kValueRange, u"Value range", 0.1, 0.1, 0, 1),
    BooleanParam(kSmooth, u"Smooth", false),
    ChoiceParam(kTreatment, u"modify color", 0, kKeyTreatmentNames),
    RealParam(kNewRed, u"New color red", 0, 1, 0, 255),
    RealParam(kNewGreen, u"New color green", 0, 1, 0, 255),
    RealParam(kNewBlue, u"New color blue", 0, 1, 0, 255),
    BooleanParam(kGrey, u"Black and white", true),
};

struct Settings {
    Hsv key;
    Hsv tolerance;  // all three tests are strict
    bool smooth;
    int32_t treatment;
    bool grey;
    int32_t shift[3];  // new colour minus key colour: red, green, blue
};

Settings ReadSettings(HostRenderContext* ctx) {
    Settings s;
    s.tolerance = {ReadReal(ctx, kHueRange), ReadReal(ctx, kSaturationRange),
                   ReadReal(ctx, kValueRange)};
    s.smooth = ReadBoolean(ctx, kSmooth);
    s.treatment = ReadChoice(ctx, kTreatment);
    s.grey = ReadBoolean(ctx, kGrey);
    uint8_t key[3];
    for (int c = 0; c < 3; ++c) {
        key[c] = ClampToByte(ReadReal(ctx, kKeyRed + c));
        s.shift[c] = ClampToByte(ReadReal(ctx, kNewRed + c)) - key[c];
    }
    s.key = RgbToHsv(key[0], key[1], key[2]);
    return s;
}

inline double Distance(double a, double b) {
    return a > b ? a - b : b - a;
}

// Hue differences are plain differences: 359 and 0 are 359 degrees apart.
inline bool Selected(const Settings& s, uint8_t red, uint8_t green, uint8_t blue) {
    const Hsv c = RgbToHsv(red, green, blue);
    return Distance(c.hue, s.key.hue) < s.tolerance.hue &&
           Distance(c.saturation, s.key.saturation) < s.tolerance.saturation &&
           Distance(c.value, s.key.value) < s.tolerance.value;
}

// compare: the pixels the selection looks at, in the source's layout (the
// source itself, or its 5 x 5 average).
void RenderKey(const Settings& s, const FrameView& src, const FrameView& compare,
               const FrameView& dst, int32_t width, int32_t height, uint32_t bpp) {
    const bool alpha = bpp == 4;
    const bool hide = alpha && s.treatment == kMakeTransparent;
    const bool shift = s.treatment == kShiftToNewColor;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = src.Row(y);
        const uint8_t* look = compare.Row(y);
        uint8_t* out = dst.Row(y);
        for (int32_t x = 0; x < width; ++x, in += bpp, look += bpp, out += bpp) {
            const int32_t r = in[2], g = in[1], b = in[0];
            const int32_t a = alpha ? in[3] : 0;
            if (Selected(s, look[2], look[1], look[0])) {
                if (shift)
                    StoreClampedPixel(r + s.shift[0], g + s.shift[1], b + s.shift[2], a, out, bpp);
                else
                    StoreClampedPixel(r, g, b, a, out, bpp);
                // A hidden pixel keeps its own colour rather than whatever
                // the new output frame held before.
                if (hide) out[3] = 0;
            } else if (s.grey) {
                const int32_t q = (r + g + b) / 3;
                StoreClampedPixel(q, q, q, a, out, bpp);
            } else {
                StoreClampedPixel(r, g, b, a, out, bpp);
            }
        }
    }
}

// The 5 x 5 box: all weights 1, divided by 25.
IntegerKernel SmoothingKernel() {
    static const std::vector<int32_t> ones(25, 1);
    return IntegerKernel(2, ones, 25, 0);
}

class ColorChange2 : public EffectBase {
  public:
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        HostFrame* output = args.OutputFrame();
        FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(output);
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        if (bytesPerPixel < 3 || src.IsPacked422()) {
            CopyPicture(src, dst, frameWidth, frameHeight, bytesPerPixel);
            return kOk;
        }
        const Settings s = ReadSettings(args.context);
        if (bytesPerPixel == 4) output->ops->MarkAlpha(output);
        const FrameView compare = s.smooth ? Smoothed(src) : src;
        RenderKey(s, src, compare, dst, frameWidth, frameHeight, bytesPerPixel);
        return kOk;
    }

  private:
    // The source averaged over 5 x 5 pixels (taps beyond the edges repeat
    // the edge pixels), in a frame of the source's layout.
    FrameView Smoothed(FrameView src) {
        src.width = frameWidth;  // a larger host frame is used only this far
        src.height = frameHeight;
        const size_t pitch = size_t(frameWidth) * bytesPerPixel;
        smoothed_.resize(pitch * size_t(frameHeight));
        FrameView average = src;
        average.bits = smoothed_.data();
        average.pitch = ptrdiff_t(pitch);
        average.bottomUp = false;
        SmoothingKernel().Run(src, average, 100);
        return average;
    }

    std::vector<uint8_t> smoothed_;
};

}  // namespace

EffectInterface* CreateColorChange2() {
    return CreateEffect<ColorChange2>();
}

}  // namespace vx
