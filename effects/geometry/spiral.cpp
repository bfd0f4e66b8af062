// Spiral: turns every pixel about a centre by an angle that grows with its
// distance from the centre.
#include <bit>
#include <new>
#include <vector>

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

struct SourcePoint {
    double x, y;
};

struct Spiral : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    // The source position of every output pixel, row-major and split into
    // pixel and fractions; it depends only on the frame size and the three
    // parameters, so it is worked out again only when one of them changes.
    struct Key {
        uint32_t width = 0, height = 0;
        uint64_t cx = 0, cy = 0, twist = 0;  // bit patterns
        bool operator==(const Key&) const = default;
    } key;
    std::vector<SplitPosition> positions;

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
        const Key wanted{W, H, std::bit_cast<uint64_t>(cx), std::bit_cast<uint64_t>(cy),
                         std::bit_cast<uint64_t>(twist)};
        if (!(wanted == key) || positions.empty()) {
            key = Key{};
            try {
                positions.resize(size_t(W) * H);
            } catch (const std::bad_alloc&) {
                // Without room for the positions every pixel is worked out as it is drawn.
                positions.clear();
                for (uint32_t y = 0; y < H; ++y)
                    for (uint32_t x = 0; x < W; ++x) {
                        const SourcePoint p = SourceOf(x, y, cx, cy, twist);
                        sampler.SampleBilinear(x, y, true, p.x, p.y);
                    }
                return kOk;
            }
            SplitPosition* p = positions.data();
            for (uint32_t y = 0; y < H; ++y)
                for (uint32_t x = 0; x < W; ++x) {
                    const SourcePoint s = SourceOf(x, y, cx, cy, twist);
                    *p++ = SplitPosition::Split(s.x, s.y, W, H);
                }
            key = wanted;
        }
        for (uint32_t y = 0; y < H; ++y)
            sampler.SampleBilinearSplitRow(y, true, positions.data() + size_t(y) * W);
        return kOk;
    }

    static SourcePoint SourceOf(uint32_t x, uint32_t y, double cx, double cy, double twist) {
        const double dy = y - cy;
        const double dx = x - cx;
        const double rho = Sqrt(dx * dx + dy * dy);
        const double theta = DirectionFromRowAxis(dx, dy) + rho * twist;
        double sy = cy + rho * Cos(theta);
        double sx = cx + rho * Sin(theta);
        if (sx < 0) sx = kFarOutside;
        if (sy < 0) sy = kFarOutside;
        return {sx, sy};
    }
};

}  // namespace

EffectInterface* CreateSpiral() {
    return CreateEffect<Spiral>();
}

}  // namespace vx
