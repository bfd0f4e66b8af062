// Zoom, Zoom2 and ZoomAndMove: enlarge or shrink the picture about a margin.
// Zoom leaves the scaling to the host frame; the other two sample bilinearly
// with the interlaced fields kept apart.
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "effects/effects.h"

namespace vx {
namespace {

// ---------------------------------------------------------------- Zoom

enum { kZoomFactor, kZoomLeft, kZoomTop };

constexpr ParamSpec kZoomParams[] = {
    RealParam(kZoomFactor, u"Zoom factor", 1, 0.1, 1, 15, 1, 5),
    RealParam(kZoomLeft, u"Left margin", 0, 0.1, -100, 100, -50, 100),
    RealParam(kZoomTop, u"Top margin", 0, 0.1, -100, 100, -50, 100),
};

struct Zoom : EffectBase {
    static constexpr ParamTable kParams = kZoomParams;

    Status Process(const RenderArgs& args) {
        HostRenderContext* ctx = args.context;
        const double z = ReadReal(ctx, kZoomFactor);
        const double left = ReadReal(ctx, kZoomLeft);
        const double top = ReadReal(ctx, kZoomTop);
        HostFrame* input = args.InputFrame();
        HostFrame* output = args.OutputFrame();
        input->ops->CopyInto(input, output, 2);
        // The horizontal offset runs against the margin, the vertical with it.
        output->ops->SetScaleOffset(output, z, z, -left * 0.01, top * 0.01);
        return kOk;
    }
};

// --------------------------------------------------- shared pixel loop

// Positions start + i / z for i from 0 to count - 1.
std::vector<double> AxisPositions(uint32_t count, double start, double z) {
    std::vector<double> positions(count);
    for (uint32_t i = 0; i < count; ++i)
        positions[i] = start + i / z;
    return positions;
}

// Output pixel (x, y) samples the source at (columnStart + x / zx,
// rowStart + y / zy): x depends on the column only and y on the row only, so
// the sampler splits each column's position once per frame.
void RenderScaled(const Sampler& s, double columnStart, double zx, double rowStart, double zy) {
    s.SampleBilinearGrid(true, AxisPositions(s.width, columnStart, zx).data(),
                         AxisPositions(s.height, rowStart, zy).data());
}

// ---------------------------------------------------------------- Zoom2

enum { kLeft, kRight, kTop, kBottom };

constexpr ParamSpec kZoom2Params[] = {
    RealParam(kLeft, u"Left margin", 0, 0.1, -100, 100, -50, 100),
    RealParam(kRight, u"Right margin", 0, 0.1, -100, 100, -50, 100),
    RealParam(kTop, u"Top margin", 0, 0.1, -100, 100, -50, 100),
    RealParam(kBottom, u"Bottom margin", 0, 0.1, -100, 100, -50, 100),
};

// Margins that leave nothing visible zoom by 1000.
double MarginZoom(double first, double second) {
    return first + second < 100 ? 100 / (100 - first - second) : 1000;
}

struct Zoom2 : EffectBase {
    static constexpr ParamTable kParams = kZoom2Params;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        HostRenderContext* ctx = args.context;
        const double L = ReadReal(ctx, kLeft), R = ReadReal(ctx, kRight);
        const double T = ReadReal(ctx, kTop), B = ReadReal(ctx, kBottom);
        const double zx = MarginZoom(L, R), zy = MarginZoom(T, B);
        const double W = uint32_t(frameWidth), H = uint32_t(frameHeight);
        const Sampler s(*this, src, dst);
        RenderScaled(s, W * L * 0.01, zx, H * T * 0.01, zy);
        return kOk;
    }
};

// ---------------------------------------------------------- ZoomAndMove

enum { kZoomStart, kLeftStart, kTopStart, kZoomEnd, kLeftEnd, kTopEnd };

constexpr ParamSpec kZoomAndMoveParams[] = {
    RealParam(kZoomStart, u"Zoom (start)", 1, 0.1, 0.1, 15, 0.1, 5),
    RealParam(kLeftStart, u"Left margin (start)", 0, 0.1, -100, 100, -100, 100),
    RealParam(kTopStart, u"Top margin (start)", 0, 0.1, -100, 100, -100, 100),
    RealParam(kZoomEnd, u"Zoom (end)", 1, 0.1, 0.1, 15, 0.1, 5),
    RealParam(kLeftEnd, u"Left margin (end)", 0, 0.1, -100, 100, -100, 100),
    RealParam(kTopEnd, u"Top margin (end)", 0, 0.1, -100, 100, -100, 100),
};

double Between(double start, double end, double t) {
    return start + t * (end - start);
}

struct ZoomAndMove : EffectBase {
    static constexpr ParamTable kParams = kZoomAndMoveParams;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        HostRenderContext* ctx = args.context;
        const double t = ReadClipPosition(ctx).progress;
        const double z = Between(ReadReal(ctx, kZoomStart), ReadReal(ctx, kZoomEnd), t);
        const double W = uint32_t(frameWidth), H = uint32_t(frameHeight);
        const double left =
            Between(ReadReal(ctx, kLeftStart), ReadReal(ctx, kLeftEnd), t) * W * 0.01;
        const double top = Between(ReadReal(ctx, kTopStart), ReadReal(ctx, kTopEnd), t) * H * 0.01;
        const Sampler s(*this, src, dst);
        if (z == 0) {
            // A picture shrunk to nothing: only the background shows.
            for (uint32_t y = 0; y < s.height; ++y)
                for (uint32_t x = 0; x < s.width; ++x)
                    s.WriteOutside(x, y);
            return kOk;
        }
        RenderScaled(s, left, z, top, z);
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateZoom() {
    return CreateEffect<Zoom>();
}
EffectInterface* CreateZoom2() {
    return CreateEffect<Zoom2>();
}
EffectInterface* CreateZoomAndMove() {
    return CreateEffect<ZoomAndMove>();
}

}  // namespace vx
