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

// The 5 x 5 box average of bytes 0..2 of every pixel, taps beyond the edges
// repeating the edge pixels: the integer sum of the 25 taps times 1/25,
// truncated, as the shared integer kernel with weights 1 and divisor 25 gives
// it.  The sums run: each column keeps the sum of its five rows as the window
// moves down, and five column sums slide along the row.  Byte 3 of 4-byte
// pixels is not written; the selection never looks at it.
class BoxAverage5 {
  public:
    BoxAverage5() {
        for (int32_t sum = 0; sum < kSums; ++sum)
            average_[sum] = uint8_t(int32_t(sum * (1.0 / 25)));
    }

    void Run(const FrameView& src, int32_t width, int32_t height, uint32_t bpp,
             const FrameView& out) {
        const size_t n = size_t(width) * 3;
        columns_.assign(n, 0);
        for (int32_t dy = -2; dy <= 2; ++dy)
            AddRow(src.Row(Clamp(dy, height)), width, bpp, 1);
        for (int32_t y = 0; y < height; ++y) {
            if (y > 0) {
                AddRow(src.Row(Clamp(y + 2, height)), width, bpp, 1);
                AddRow(src.Row(Clamp(y - 3, height)), width, bpp, -1);
            }
            AverageRow(width, bpp, out.Row(y));
        }
    }

  private:
    static constexpr int32_t kSums = 25 * 255 + 1;

    static int32_t Clamp(int32_t v, int32_t size) { return v < 0 ? 0 : v >= size ? size - 1 : v; }

    void AddRow(const uint8_t* row, int32_t width, uint32_t bpp, int32_t sign) {
        int32_t* col = columns_.data();
        for (int32_t x = 0; x < width; ++x, row += bpp, col += 3) {
            col[0] += sign * row[0];
            col[1] += sign * row[1];
            col[2] += sign * row[2];
        }
    }

    void AverageRow(int32_t width, uint32_t bpp, uint8_t* out) const {
        const int32_t* col = columns_.data();
        int32_t sum[3] = {0, 0, 0};
        for (int32_t dx = -2; dx <= 2; ++dx)
            for (int c = 0; c < 3; ++c)
                sum[c] += col[3 * Clamp(dx, width) + c];
        for (int32_t x = 0; x < width; ++x, out += bpp) {
            for (int c = 0; c < 3; ++c)
                out[c] = average_[sum[c]];
            const int32_t* enter = col + 3 * Clamp(x + 3, width);
            const int32_t* leave = col + 3 * Clamp(x - 2, width);
            for (int c = 0; c < 3; ++c)
                sum[c] += enter[c] - leave[c];
        }
    }

    uint8_t average_[kSums];
    std::vector<int32_t> columns_;  // per column and channel: the sum of the window's rows
};

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
        box_.Run(src, frameWidth, frameHeight, bytesPerPixel, average);
        return average;
    }

    std::vector<uint8_t> smoothed_;
    BoxAverage5 box_;
};

}  // namespace

EffectInterface* CreateColorChange2() {
    return CreateEffect<ColorChange2>();
}

}  // namespace vx
