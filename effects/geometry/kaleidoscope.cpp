// Kaleidoscope: every wedge about the centre shows the same source wedge,
// rotated into place, alternate wedges optionally flipped, optionally inside
// a circle only.
#include <cstring>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "core/vxmath.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum { kSegments, kAngle, kMirror, kCircular };

constexpr ParamSpec kParamRows[] = {
    IntegerParam(kSegments, u"Segments", 5, 1, 1, 20),
    RealParam(kAngle, u"Angle", 0, 1, 0, 360),
    BooleanParam(kMirror, u"Mirror", true),
    BooleanParam(kCircular, u"Circular", false),
};

// Single-precision values of the angles, widened, as the mapping uses them.
constexpr double kTurn = 6.2831854820251465;
constexpr double kHalfTurn = 3.1415927410125732;
constexpr double kQuarterTurn = 1.5707963705062866;
constexpr double kThreeQuarterTurn = 4.71238911151886;
constexpr double kDegree = 0.017453293005625408;

// Segments outside 1..20 are held there: a huge count (a negative value taken
// as unsigned) would make the wedge search run for billions of steps.
uint32_t SafeSegments(int32_t n) {
    return n < 1 ? 1u : n > 20 ? 20u : uint32_t(n);
}

// Angles far beyond a turn are first brought within one turn, so the search
// for the wedge stays short; NaN and infinities count as 0.
double SafeAngle(double degrees) {
    if (!(degrees - degrees == 0)) return 0;
    return degrees >= -720 && degrees <= 720 ? degrees : Fmod(degrees, 360);
}

struct Kaleidoscope : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        HostRenderContext* ctx = args.context;
        const uint32_t n = SafeSegments(ReadInteger(ctx, kSegments));
        const double u = SafeAngle(ReadReal(ctx, kAngle)) * kDegree;
        const bool mirror = ReadBoolean(ctx, kMirror);
        const bool circular = ReadBoolean(ctx, kCircular);
        const double v = kTurn / n;

        const Sampler s(*this, src, dst);
        const int32_t w2 = int32_t(s.width / 2), h2 = int32_t(s.height / 2);
        const uint8_t black[4] = {0, 0, 0, 255};
        const uint8_t packedBlack[2] = {128, 16};  // neutral chroma, black luma
        const uint8_t* blank = src.IsPacked422() ? packedBlack : black;
        // Odd sizes: the last column and row follow the same mapping.
        for (uint32_t y = 0; y < s.height; ++y) {
            const int32_t i = int32_t(y) - h2;
            for (uint32_t x = 0; x < s.width; ++x) {
                const int32_t j = int32_t(x) - w2;
                double theta;
                if (i != 0) {
                    theta = Atan(double(j) / double(i));
                    if (i < 0) theta += kHalfTurn;
                } else {
                    theta = j > 0 ? kQuarterTurn : kThreeQuarterTurn;
                }
                const double rho = Sqrt(double(j) * j + double(i) * i);
                double d = theta - u;
                while (d < 0)
                    d += kTurn;
                while (d > kTurn)
                    d -= kTurn;
                uint32_t k = 0;
                while (d > v) {
                    d -= v;
                    ++k;
                }
                if (mirror && (k & 1)) d = v - d;
                if (circular && rho > h2) {
                    std::memcpy(s.Dst(x, y), blank, s.bytesPerPixel);
                    continue;
                }
                const double a = u + d;
                s.SamplePixel(x, y, true, kInterpolateNone, w2 + rho * Sin(a), h2 + rho * Cos(a));
            }
        }
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateKaleidoscope() {
    return CreateEffect<Kaleidoscope>();
}

}  // namespace vx
