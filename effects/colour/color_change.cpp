// ColorChange: selects the pixels whose colour lies within a summed RGB
// distance of a key colour and keeps, recolours or hides them; pixels beyond
// the range can turn grey, and a band at the range's edge blends the two.
#include "effects/colour/color_change.h"

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "effects/colour/colour_common.h"
#include "effects/effects.h"

namespace vx {

const char16_t* const kKeyTreatmentNames[3] = {u"don't change", u"change color",
                                               u"make transparent"};

namespace {

enum {
    kKeyRed,
    kKeyGreen,
    kKeyBlue,
    kRange,
    kBorder,
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
    IntegerParam(kRange, u"Color range", 30, 1, 0, 765),
    IntegerParam(kBorder, u"Border", 10, 1, 0, 100),
    ChoiceParam(kTreatment, u"Change color", 0, kKeyTreatmentNames),
    RealParam(kNewRed, u"New color red", 0, 1, 0, 255),
    RealParam(kNewGreen, u"New color green", 0, 1, 0, 255),
    RealParam(kNewBlue, u"New color blue", 0, 1, 0, 255),
    BooleanParam(kGrey, u"Black and white", true),
};

struct Settings {
    int32_t range;
    int32_t border;  // 0 .. range
    int32_t treatment;
    bool grey;
    int32_t key[3];    // red, green, blue
    int32_t shift[3];  // new colour minus key colour
};

Settings ReadSettings(HostRenderContext* ctx) {
    Settings s;
    s.range = ReadInteger(ctx, kRange);
    const int32_t border = ReadInteger(ctx, kBorder);
    // A negative border would let the core reach past the range.
    s.border = border < s.range ? border : s.range;
    if (s.border < 0) s.border = 0;
    s.treatment = ReadChoice(ctx, kTreatment);
    s.grey = ReadBoolean(ctx, kGrey);
    for (int c = 0; c < 3; ++c) {
        s.key[c] = ClampToByte(ReadReal(ctx, kKeyRed + c));
        s.shift[c] = ClampToByte(ReadReal(ctx, kNewRed + c)) - s.key[c];
    }
    return s;
}

// Blends an inner value towards an outer one by t, rounded.
inline int32_t Blend(int32_t inner, int32_t outer, double t) {
    return int32_t(double(inner) + double(outer - inner) * t + 0.5);
}

void RenderKey(const Settings& s, const FrameView& src, const FrameView& dst, int32_t width,
               int32_t height, uint32_t bpp) {
    const bool alpha = bpp == 4;
    const int32_t core = s.range - s.border;
    const bool hide = s.treatment == kMakeTransparent;
    const bool shift = s.treatment == kShiftToNewColor;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = src.Row(y);
        uint8_t* out = dst.Row(y);
        for (int32_t x = 0; x < width; ++x, in += bpp, out += bpp) {
            const int32_t c[3] = {in[2], in[1], in[0]};
            const int32_t a = alpha ? in[3] : 0;
            const int32_t d = (c[0] > s.key[0] ? c[0] - s.key[0] : s.key[0] - c[0]) +
                              (c[1] > s.key[1] ? c[1] - s.key[1] : s.key[1] - c[1]) +
                              (c[2] > s.key[2] ? c[2] - s.key[2] : s.key[2] - c[2]);
            int32_t o[3];
            int32_t outAlpha;
            if (d <= core) {
                if (shift) {
                    for (int i = 0; i < 3; ++i)
                        o[i] = c[i] + s.shift[i];
                } else {
                    for (int i = 0; i < 3; ++i)
                        o[i] = c[i];
                }
                // A hidden pixel keeps its own colour rather than whatever
                // the new output frame held before.
                outAlpha = hide ? 0 : OpaqueUnlessPartial(a);
            } else if (d > s.range) {
                const int32_t q = (c[0] + c[1] + c[2]) / 3;
                for (int i = 0; i < 3; ++i)
                    o[i] = s.grey ? q : c[i];
                outAlpha = OpaqueUnlessPartial(a);
            } else {
                const double t = double(d - core) / double(s.border);
                const int32_t q = (c[0] + c[1] + c[2]) / 3;
                for (int i = 0; i < 3; ++i)
                    o[i] = Blend(shift ? c[i] + s.shift[i] : c[i], s.grey ? q : c[i], t);
                outAlpha = OpaqueUnlessPartial(Blend(hide ? 0 : a, 255, t));
            }
            out[2] = LimitToByte(o[0]);
            out[1] = LimitToByte(o[1]);
            out[0] = LimitToByte(o[2]);
            if (alpha) out[3] = uint8_t(outAlpha);
        }
    }
}

struct ColorChange : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        HostFrame* output = args.OutputFrame();
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(output);
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        if (bytesPerPixel < 3 || src.IsPacked422()) {
            CopyPicture(src, dst, frameWidth, frameHeight, bytesPerPixel);
            return kOk;
        }
        const Settings s = ReadSettings(args.context);
        if (bytesPerPixel == 4) output->ops->MarkAlpha(output);
        RenderKey(s, src, dst, frameWidth, frameHeight, bytesPerPixel);
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateColorChange() {
    return CreateEffect<ColorChange>();
}

}  // namespace vx
