// Lens: an elliptical or rectangular lens moving in a straight line over the
// clip, pulling the picture towards its centre (magnifying) or pushing it
// outward.  Pixels outside the lens are copied.
#include <cstring>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "core/vxmath.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum { kPos1x, kPos1y, kPos2x, kPos2y, kWidth, kHeight, kZoom, kType, kForm };
enum { kConstant, kLinear };
enum { kEllipse, kRectangle };

const char16_t* const kTypeNames[2] = {u"Constant", u"Linear"};
const char16_t* const kFormNames[2] = {u"Ellipse", u"Rectangle"};

constexpr ParamSpec kParamRows[] = {
    RealParam(kPos1x, u"pos1x", 50, 0.1, 0, 100),  RealParam(kPos1y, u"pos1y", 50, 0.1, 0, 100),
    RealParam(kPos2x, u"pos2x", 50, 0.1, 0, 100),  RealParam(kPos2y, u"pos2y", 50, 0.1, 0, 100),
    RealParam(kWidth, u"Width", 20, 0.1, 0, 100),  RealParam(kHeight, u"Height", 20, 0.1, 0, 100),
    RealParam(kZoom, u"Zoom", 20, 0.1, -150, 150), ChoiceParam(kType, u"Type", 0, kTypeNames),
    ChoiceParam(kForm, u"Form", 0, kFormNames),
};

// The lens of the current frame.
struct LensShape {
    double cx, cy;  // centre
    double a, b;    // half width and half height
    double z;
    bool linear;
    bool ellipse;
    double f1x, f1y, f2x, f2y;  // foci
    double major;               // the ellipse's major length

    bool Inside(double x, double y) const {
        if (x <= cx - a || x >= cx + a) return false;
        if (!ellipse) return true;
        const double d1 = Sqrt((x - f1x) * (x - f1x) + (y - f1y) * (y - f1y));
        const double d2 = Sqrt((x - f2x) * (x - f2x) + (y - f2y) * (y - f2y));
        return !(d1 + d2 > major);
    }
};

LensShape ReadLens(HostRenderContext* ctx, double W, double H) {
    const double t = ReadClipPosition(ctx).progress;
    const double x1 = W * ReadReal(ctx, kPos1x) * 0.01, y1 = H * ReadReal(ctx, kPos1y) * 0.01;
    const double x2 = W * ReadReal(ctx, kPos2x) * 0.01, y2 = H * ReadReal(ctx, kPos2y) * 0.01;
    LensShape l;
    l.a = W * ReadReal(ctx, kWidth) * 0.01 * 0.5;
    l.b = H * ReadReal(ctx, kHeight) * 0.01 * 0.5;
    l.z = ReadReal(ctx, kZoom) * 0.01;
    l.linear = ReadChoice(ctx, kType) == kLinear;
    l.ellipse = ReadChoice(ctx, kForm) == kEllipse;
    l.cx = x1 + t * (x2 - x1);
    l.cy = y1 + t * (y2 - y1);
    if (l.a >= l.b) {
        const double f = Sqrt(l.a * l.a - l.b * l.b);
        l.f1x = l.cx - f, l.f2x = l.cx + f, l.f1y = l.f2y = l.cy;
        l.major = 2 * l.a;
    } else {
        const double f = Sqrt(l.b * l.b - l.a * l.a);
        l.f1y = l.cy - f, l.f2y = l.cy + f, l.f1x = l.f2x = l.cx;
        l.major = 2 * l.b;
    }
    return l;
}

// Displacement by the square of the distance from the centre, relative to
// the half size r, keeping the direction.
double Squared(double d, double r, double z) {
    const double q = d / r;
    return (d < 0 ? -1.0 : 1.0) * (q * q) * r * z;
}

struct Lens : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        const Sampler s(*this, src, dst);
        const LensShape l = ReadLens(args.context, s.width, s.height);
        const size_t n = s.bytesPerPixel;
        for (uint32_t y = 0; y < s.height; ++y) {
            const double fy = y;
            if (fy <= l.cy - l.b || fy >= l.cy + l.b) {
                std::memcpy(s.Dst(0, y), s.Src(0, y), n * s.width);
                continue;
            }
            for (uint32_t x = 0; x < s.width; ++x) {
                const double fx = x;
                if (!l.Inside(fx, fy)) {
                    std::memcpy(s.Dst(x, y), s.Src(x, y), n);
                    continue;
                }
                const double dx = l.cx - fx, dy = l.cy - fy;
                const double sx = l.linear ? fx + Squared(dx, l.a, l.z) : fx + l.z * dx;
                const double sy = l.linear ? fy + Squared(dy, l.b, l.z) : fy + l.z * dy;
                s.SampleBilinear(x, y, true, sx, sy);
            }
        }
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateLens() {
    return CreateEffect<Lens>();
}

}  // namespace vx
