// Spiral: turns every pixel about a centre by an angle that grows with its
// distance from the centre.
#include "core/frame.h"
#include "core/sampling.h"
#include "core/vxmath.h"
#include "effects/effects.h"
#include "effects/geometry/polar.h"

namespace vx {
namespace {

enum { kPosX, kPosY, kAmount };

constexpr ParamSpec kParamRows[] = {
    RealParam(kPosX, u"Pos x", 50, 0.1, 0, 100),
    RealParam(kPosY, u"Pos y", 50, 0.1, 0, 100),
    RealParam(kAmount, u"Amount", 10, 0.1, -100, 100),
};

// Sent far outside the frame: the sampler would truncate -0.5 to column 0.
constexpr double kFarOutside = 9999999.0;

struct Spiral : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        HostRenderContext* ctx = args.context;
        const uint32_t W = uint32_t(frameWidth), H = uint32_t(frameHeight);
        const double cx = ReadReal(ctx, kPosX) * W * 0.01;
        const double cy = H * ReadReal(ctx, kPosY) * 0.01;
        const double twist = ReadReal(ctx, kAmount) * 0.001;  // radians per pixel of distance

        const Sampler sampler(*this, src, dst);
        for (uint32_t y = 0; y < H; ++y) {
            const double dy = y - cy;
            for (uint32_t x = 0; x < W; ++x) {
                const double dx = x - cx;
                const double rho = Sqrt(dx * dx + dy * dy);
                const double theta = DirectionFromRowAxis(dx, dy) + rho * twist;
                double sy = cy + rho * Cos(theta);
                double sx = cx + rho * Sin(theta);
                if (sx < 0) sx = kFarOutside;
                if (sy < 0) sy = kFarOutside;
                sampler.SampleBilinear(x, y, true, sx, sy);
            }
        }
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateSpiral() { return CreateEffect<Spiral>(); }

}  // namespace vx
