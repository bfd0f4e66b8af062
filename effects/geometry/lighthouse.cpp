// Lighthouse: up to four coloured light beams radiate from a centre and turn
// over the clip.  Each beam is a wedge whose width depends on where it points;
// inside it the picture is blended towards the beam colour, fully on its axis.
// Works in place on the input frame.
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "core/frame.h"
#include "core/sampling.h"
#include "core/vxmath.h"
#include "effects/effects.h"
#include "effects/geometry/packed_yuv.h"
#include "effects/geometry/polar.h"

namespace vx {
namespace {

enum {
    kPosX,
    kPosY,
    kWidthTop,
    kWidthBottom,
    kRed,
    kGreen,
    kBlue,
    kChangeColor,
    kTurns,
    kAngle1,
    kAngle2,
    kAngle3,
    kAngle4,
};

constexpr ParamSpec kParamRows[] = {
    RealParam(kPosX, u"Pos x", 50, 0.1, 0, 100),
    RealParam(kPosY, u"Pos y", 50, 0.1, 0, 100),
    RealParam(kWidthTop, u"Width Top", 20, 0.1, 0, 100),
    RealParam(kWidthBottom, u"Width Bottom", 20, 0.1, 0, 100),
    RealParam(kRed, u"Color red", 255, 1, 0, 255),
    RealParam(kGreen, u"Color green", 255, 1, 0, 255),
    RealParam(kBlue, u"Color blue", 255, 1, 0, 255),
    BooleanParam(kChangeColor, u"Change Color", false),
    RealParam(kTurns, u"Turns", 1, 0.1, -5, 5),
    RealParam(kAngle1, u"Angle 1", 0, 1, 0, 360),
    RealParam(kAngle2, u"Angle 2", 0, 1, 0, 360),
    RealParam(kAngle3, u"Angle 3", 0, 1, 0, 360),
    RealParam(kAngle4, u"Angle 4", 0, 1, 0, 360),
};

constexpr double kOnAxis = 0.002;  // narrowest half-width, and the pure-colour core

struct Beam {
    double axis;       // in [0, 2pi)
    double halfWidth;  // depends on where the axis points
};

// 0 on the beam's axis, rising to 1 at its edge and beyond.  A distance that
// cannot be compared (NaN) leaves the picture as it is.
double BeamStrength(const Beam& b, double c) {
    if (c >= kTwoPiSingle - c) c = kTwoPiSingle - c;
    if (c < kOnAxis) return 0;
    if (!(c <= b.halfWidth)) return 1;
    const double s = c / b.halfWidth;
    return s > 1 ? 1 : s;
}

double AtLeastOnAxis(double width) {
    return width >= kOnAxis ? width : kOnAxis;
}

uint8_t Blend(double s, uint8_t picture, double colour) {
    return ClampToByte(s * picture + (1 - s) * colour);
}

struct Lighthouse : EffectBase {
    static constexpr ParamTable kParams = kParamRows;
    double topWidth = 0;     // half-width of a beam pointing up
    double bottomWidth = 0;  // half-width of a beam pointing down

    Lighthouse() { sharesInputFrame = 1; }

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        HostRenderContext* ctx = args.context;
        const uint32_t W = uint32_t(frameWidth), H = uint32_t(frameHeight), bpp = bytesPerPixel;
        const double cx = ReadReal(ctx, kPosX) * W * 0.01;
        const double cy = H * ReadReal(ctx, kPosY) * 0.01;
        topWidth = AtLeastOnAxis(ReadReal(ctx, kWidthTop) * 0.01);
        bottomWidth = AtLeastOnAxis(ReadReal(ctx, kWidthBottom) * 0.01);
        Rgb colour = {ClampToByte(ReadReal(ctx, kRed)), ClampToByte(ReadReal(ctx, kGreen)),
                      ClampToByte(ReadReal(ctx, kBlue))};
        const double t = ReadClipPosition(ctx).progress;
        const double turn = ReadReal(ctx, kTurns) * t * kTwoPiSingle;
        Beam beams[4];
        for (int k = 0; k < 4; ++k) {
            beams[k].axis = WrapAngle(ReadReal(ctx, kAngle1 + k) * 0.017453293005625408 + turn);
            const double B = beams[k].axis;
            const double fromDown = B <= kPiSingle ? B : kTwoPiSingle - B;
            beams[k].halfWidth =
                bottomWidth + (topWidth - bottomWidth) * (fromDown * 0.31830987334251404);
        }
        if (ReadBoolean(ctx, kChangeColor)) colour = CycleHue(colour, t);

        const YuvColor packedColour = YuvColor::FromRgb(colour.red, colour.green, colour.blue);
        const bool packed = src.IsPacked422() || bpp == 2;
        const double* directions = Directions(W, H, cx, cy);
        for (uint32_t y = 0; y < H; ++y) {
            const uint8_t* in = src.Row(int32_t(y));
            uint8_t* out = dst.Row(int32_t(y));
            const double dy = y - cy;
            for (uint32_t x = 0; x < W; ++x) {
                const uint8_t* i = in + x * bpp;
                uint8_t* o = out + x * bpp;
                const double theta =
                    directions ? *directions++ : WrapAngle(DirectionFromRowAxis(x - cx, dy));
                double s = 1;
                for (const Beam& b : beams) {
                    const double c = theta - b.axis;
                    const double g = BeamStrength(b, c < 0 ? -c : c);
                    if (g < s) s = g;
                }
                if (s == 1) {
                    if (o != i) std::memcpy(o, i, bpp);
                } else if (packed) {
                    o[0] = Blend(s, i[0], packedColour.ChromaFor(x));
                    o[1] = Blend(s, i[1], packedColour.luma);
                } else if (s == 0) {
                    StoreClampedPixel(colour.red, colour.green, colour.blue, 255, o, bpp);
                } else {
                    o[0] = Blend(s, i[0], colour.blue);
                    o[1] = Blend(s, i[1], colour.green);
                    o[2] = Blend(s, i[2], colour.red);
                    if (bpp == 4) o[3] = i[3];
                }
            }
        }
        return kOk;
    }

    // The direction of every pixel from the centre, row-major; it depends
    // only on the frame size and the centre, so it is kept while they stay.
    // Null when there is no memory for it.
    struct Centre {
        uint32_t width = 0, height = 0;
        uint64_t cx = 0, cy = 0;  // bit patterns
        bool operator==(const Centre&) const = default;
    } centre;
    std::vector<double> directions;

    const double* Directions(uint32_t W, uint32_t H, double cx, double cy) {
        const Centre wanted{W, H, std::bit_cast<uint64_t>(cx), std::bit_cast<uint64_t>(cy)};
        if (wanted == centre && !directions.empty()) return directions.data();
        centre = Centre{};
        try {
            directions.resize(size_t(W) * H);
        } catch (const std::bad_alloc&) {
            directions.clear();
            return nullptr;
        }
        double* d = directions.data();
        for (uint32_t y = 0; y < H; ++y) {
            const double dy = y - cy;
            for (uint32_t x = 0; x < W; ++x)
                *d++ = WrapAngle(DirectionFromRowAxis(x - cx, dy));
        }
        centre = wanted;
        return directions.data();
    }

    // The beam colour with its hue turned by t of a full circle.
    static Rgb CycleHue(const Rgb& c, double t) {
        Hsv hsv = RgbToHsv(c.red, c.green, c.blue);
        double hue = hsv.hue + t * 360;
        if (!(hue < 1e6)) hue = hue < detail::kInfinity ? Fmod(hue, 360.0) : 0;
        while (hue >= 360)
            hue -= 360;
        return HsvToRgb(hue, hsv.saturation, hsv.value);
    }
};

}  // namespace

EffectInterface* CreateLighthouse() {
    return CreateEffect<Lighthouse>();
}

}  // namespace vx
