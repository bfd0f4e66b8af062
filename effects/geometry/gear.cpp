// Gear: cuts the picture into the outline of a toothed wheel that can turn
// over the clip.  Inside the outline the picture stays; outside it becomes
// fully transparent.
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

enum { kPosX, kPosY, kRadius, kTeeth, kMove };

constexpr int32_t kMinTeeth = 3, kMaxTeeth = 20;

constexpr ParamSpec kParamRows[] = {
    RealParam(kPosX, u"Pos x", 50, 0.1, 0, 100),
    RealParam(kPosY, u"Pos y", 50, 0.1, 0, 100),
    RealParam(kRadius, u"Radius", 50, 0.1, 1, 100),
    IntegerParam(kTeeth, u"Teeth", 10, 1, kMinTeeth, kMaxTeeth),
    RealParam(kMove, u"Move", 0, 0.1, -10, 10),
};

struct Wheel {
    double cx, cy;
    double outer, inner;  // radii of the tooth tops and of the gaps
    double period;        // angle of one tooth and its gap
    double turn;

    // Whether the picture shows at offset (dx, dy) from the centre.  A tooth
    // rises over 20 % of its period, stays up for 30 %, falls over 20 %; the
    // remaining 30 % is the gap.
    bool Keeps(double dx, double dy) const {
        const double rho = Sqrt(dx * dx + dy * dy);
        if (rho < inner) return true;
        if (rho > outer) return false;
        double theta = DirectionFromRowAxis(dx, dy) + turn;
        while (theta < 0)
            theta += kTwoPiSingle;
        const int32_t k = TruncateToInt(theta / period);
        const double u = theta - k * period;
        const double rise = 0.2 * period;
        if (u < rise) return rho < inner + (u / rise) * (outer - inner);
        if (u < 0.5 * period) return true;
        if (u < 0.7 * period) return rho < outer + ((u - 0.5 * period) / rise) * (inner - outer);
        return false;
    }
};

Wheel ReadWheel(HostRenderContext* ctx, uint32_t W, uint32_t H) {
    Wheel g;
    g.cx = ReadReal(ctx, kPosX) * W * 0.01;
    g.cy = H * ReadReal(ctx, kPosY) * 0.01;
    g.outer = H * ReadReal(ctx, kRadius) * 0.01;
    g.inner = 0.8 * g.outer;
    // A tooth count the list cannot offer (0 when the host delivers no
    // value) would give an infinite or negative period; it is held to 3..20.
    int32_t n = ReadInteger(ctx, kTeeth);
    n = n < kMinTeeth ? kMinTeeth : n > kMaxTeeth ? kMaxTeeth : n;
    g.period = kTwoPiSingle / n;
    g.turn = ReadReal(ctx, kMove) * ReadClipPosition(ctx).progress * kTwoPiSingle;
    // Turns far beyond the declared ten are reduced at once, so the per-pixel
    // loop that brings angles above 0 stays short.
    if (!(g.turn > -1e6)) g.turn = g.turn > -detail::kInfinity ? Fmod(g.turn, kTwoPiSingle) : 0;
    return g;
}

// Where the picture shows, row by row: the columns at which it starts or
// stops showing, from a first column that does not show.  It depends only on
// the wheel and the frame size, so it is kept while they stay the same.
struct WheelOutline {
    Wheel wheel{};
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> switches;
    std::vector<uint32_t> rowStart;  // height + 1 entries into switches

    bool Matches(const Wheel& w, uint32_t W, uint32_t H) const {
        return !rowStart.empty() && width == W && height == H &&
               std::memcmp(&wheel, &w, sizeof w) == 0;
    }

    // False when there is no memory for it.
    bool Build(const Wheel& w, uint32_t W, uint32_t H) {
        rowStart.clear();
        try {
            switches.clear();
            std::vector<uint32_t> starts;
            starts.reserve(size_t(H) + 1);
            for (uint32_t y = 0; y < H; ++y) {
                starts.push_back(uint32_t(switches.size()));
                const double dy = y - w.cy;
                bool showing = false;
                for (uint32_t x = 0; x < W; ++x)
                    if (w.Keeps(x - w.cx, dy) != showing) {
                        showing = !showing;
                        switches.push_back(x);
                    }
            }
            starts.push_back(uint32_t(switches.size()));
            rowStart = std::move(starts);
        } catch (const std::bad_alloc&) {
            switches.clear();
            return false;
        }
        wheel = w;
        width = W;
        height = H;
        return true;
    }
};

// Frames without an alpha byte cannot show transparency: the pixels outside
// the wheel become black there instead.
void HidePixels(uint8_t* out, uint32_t from, uint32_t to, uint32_t bpp, bool packed) {
    static constexpr YuvColor kPackedBlack = {16, 128, 128};
    if (bpp == 4) {
        for (uint32_t x = from; x < to; ++x)
            out[4 * x + 3] = 0;
    } else if (packed) {
        for (uint32_t x = from; x < to; ++x)
            StorePackedPixel(kPackedBlack, x, out + x * bpp);
    } else {
        std::memset(out + from * bpp, 0, (to - from) * bpp);
    }
}

struct Gear : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    WheelOutline outline;

    Status Process(const RenderArgs& args) {
        HostFrame* output = args.OutputFrame();
        output->ops->PrepareAlpha(output, 0);
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(output);
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        const uint32_t W = uint32_t(frameWidth), H = uint32_t(frameHeight), bpp = bytesPerPixel;
        const Wheel wheel = ReadWheel(args.context, W, H);
        const bool packed = src.IsPacked422() || bpp == 2;
        if (!outline.Matches(wheel, W, H) && !outline.Build(wheel, W, H)) {
            RenderDirect(src, dst, wheel, packed);
            return kOk;
        }
        for (uint32_t y = 0; y < H; ++y) {
            const uint8_t* in = src.Row(int32_t(y));
            uint8_t* out = dst.Row(int32_t(y));
            uint32_t from = 0;
            bool showing = false;
            for (uint32_t k = outline.rowStart[y]; k <= outline.rowStart[y + 1]; ++k) {
                const uint32_t to = k < outline.rowStart[y + 1] ? outline.switches[k] : W;
                if (showing)
                    std::memcpy(out + from * bpp, in + from * bpp, (to - from) * bpp);
                else
                    HidePixels(out, from, to, bpp, packed);
                showing = !showing;
                from = to;
            }
        }
        return kOk;
    }

    // Pixel by pixel, when the outline cannot be kept.
    void RenderDirect(const FrameView& src, const FrameView& dst, const Wheel& wheel,
                      bool packed) const {
        const uint32_t W = uint32_t(frameWidth), H = uint32_t(frameHeight), bpp = bytesPerPixel;
        for (uint32_t y = 0; y < H; ++y) {
            const uint8_t* in = src.Row(int32_t(y));
            uint8_t* out = dst.Row(int32_t(y));
            const double dy = y - wheel.cy;
            for (uint32_t x = 0; x < W; ++x) {
                if (wheel.Keeps(x - wheel.cx, dy))
                    std::memcpy(out + x * bpp, in + x * bpp, bpp);
                else
                    HidePixels(out, x, x + 1, bpp, packed);
            }
        }
    }
};

}  // namespace

EffectInterface* CreateGear() {
    return CreateEffect<Gear>();
}

}  // namespace vx
