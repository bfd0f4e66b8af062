// Cut: a rectangle of the picture lifted off the frame.  The piece is drawn
// shifted diagonally, with a border and a brightness change, and a
// half-strength shadow lies beside it; the rectangle travels in a straight
// line over the clip.
#include <cstring>

#include "core/frame.h"
#include "core/sampling.h"
#include "effects/effects.h"
#include "effects/geometry/packed_yuv.h"
#include "effects/geometry/polar.h"

namespace vx {
namespace {

enum { kPos1X, kPos1Y, kPos2X, kPos2Y, kWidth, kHeight, kLevel, kDirection, kBrightness, kBorder };
enum Direction { kTopLeft, kTopRight, kBottomLeft, kBottomRight };

const char16_t* const kDirectionNames[] = {u"Top-Left", u"Top-Right", u"Bottom-Left",
                                           u"Bottom-Right"};

constexpr ParamSpec kParamRows[] = {
    RealParam(kPos1X, u"pos1x", 50, 0.1, 0, 100),
    RealParam(kPos1Y, u"pos1y", 50, 0.1, 0, 100),
    RealParam(kPos2X, u"pos2x", 50, 0.1, 0, 100),
    RealParam(kPos2Y, u"pos2y", 50, 0.1, 0, 100),
    RealParam(kWidth, u"Width", 20, 0.1, 0, 100),
    RealParam(kHeight, u"Height", 20, 0.1, 0, 100),
    RealParam(kLevel, u"Level", 10, 0.1, 0, 20),
    ChoiceParam(kDirection, u"Direction", kTopLeft, kDirectionNames),
    RealParam(kBrightness, u"Brightness", 0, 0.1, -50, 50),
    RealParam(kBorder, u"Border", 0, 0.1, 0, 10),
};

// Where the piece lies this frame, and how it is lifted.
struct Layout {
    double left, right, top, bottom;
    double s;           // reach of the lift: rows and columns beyond it are copied
    int32_t dx, dy;     // the lift
    int32_t q;          // shadow offset
    int32_t direction;
    double border;      // thickness of the border band
    double k;           // brightness factor of the piece

    bool InPiece(double x, double y) const {
        return left + dx <= x && x <= right + dx && top + dy <= y && y <= bottom + dy;
    }
    bool InBorder(double x, double y) const {
        return x < left + dx + border || x > right + dx - border || y < top + dy + border ||
               y > bottom + dy - border;
    }
    bool InShadow(double x, double y) const {
        switch (direction) {
            case kTopLeft: return x >= left - q && y >= top - q;
            case kTopRight: return x <= right - q && y >= top - q;
            case kBottomLeft: return x >= left - q && y <= bottom - q;
            case kBottomRight: return x <= right - q && y <= bottom - q;
            default: return true;
        }
    }
};

Layout PlacePiece(HostRenderContext* ctx, uint32_t W, uint32_t H) {
    const double x1 = W * ReadReal(ctx, kPos1X) * 0.01, y1 = H * ReadReal(ctx, kPos1Y) * 0.01;
    const double x2 = W * ReadReal(ctx, kPos2X) * 0.01, y2 = H * ReadReal(ctx, kPos2Y) * 0.01;
    const double w = W * ReadReal(ctx, kWidth) * 0.01, h = H * ReadReal(ctx, kHeight) * 0.01;
    Layout l;
    l.k = 1 + ReadReal(ctx, kBrightness) * 0.01;
    l.border = (w > h ? w : h) * ReadReal(ctx, kBorder) * 0.01;
    const double t = ReadClipPosition(ctx).progress;
    const double cx = x1 + t * (x2 - x1), cy = y1 + t * (y2 - y1);
    l.left = cx - w / 2, l.right = cx + w / 2, l.top = cy - h / 2, l.bottom = cy + h / 2;
    l.s = W * ReadReal(ctx, kLevel) * 0.002;
    const int32_t si = TruncateToInt(l.s);
    l.direction = ReadChoice(ctx, kDirection);
    static constexpr int8_t kLift[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    const bool known = l.direction >= kTopLeft && l.direction <= kBottomRight;
    l.dx = known ? kLift[l.direction][0] * si : si;
    l.dy = known ? kLift[l.direction][1] * si : si;
    l.q = (l.dx + 1) / 2;  // from dx for both axes
    return l;
}

// The three kinds of changed pixel, for colour frames and for packed 4:2:2
// frames.  Packed frames change luma and chroma about black and neutral grey,
// where a colour frame's channels change about 0.
struct ColourPixels {
    const EffectBase& effect;
    const FrameView& src;
    uint32_t bpp;
    const Rgba& borderColour;

    void Border(uint32_t, uint8_t* out) const {
        StoreClampedPixel(borderColour.red, borderColour.green, borderColour.blue, 0, out, bpp);
    }
    void Piece(uint32_t, double sx, double sy, double k, uint8_t* out) const {
        Rgb c;
        ReadPixelRgb(effect, src, false, sx, sy, &c);
        StoreClampedPixel(TruncateToInt(c.red * k), TruncateToInt(c.green * k),
                          TruncateToInt(c.blue * k), -1, out, bpp);
    }
    void Shadow(uint32_t x, uint32_t y, uint8_t* out) const {
        Rgb c;
        ReadPixelRgb(effect, src, false, x, y, &c);
        StoreClampedPixel(TruncateToInt(c.red * 0.5), TruncateToInt(c.green * 0.5),
                          TruncateToInt(c.blue * 0.5), -1, out, bpp);
    }
};

struct PackedPixels {
    const EffectBase& effect;
    const FrameView& src;
    YuvColor borderColour;

    static YuvColor Scale(const Yuv& c, double k) {
        return {16 + TruncateToInt((c.luma - 16) * k), 128 + TruncateToInt((c.u - 128) * k),
                128 + TruncateToInt((c.v - 128) * k)};
    }
    void Border(uint32_t x, uint8_t* out) const { StorePackedPixel(borderColour, x, out); }
    void Piece(uint32_t x, double sx, double sy, double k, uint8_t* out) const {
        Yuv c;
        ReadPixelYuv(effect, src, false, sx, sy, &c);
        StorePackedPixel(Scale(c, k), x, out);
    }
    void Shadow(uint32_t x, uint32_t y, uint8_t* out) const {
        Yuv c;
        ReadPixelYuv(effect, src, false, x, y, &c);
        StorePackedPixel(Scale(c, 0.5), x, out);
    }
};

template <class Pixels>
void RenderCut(const Layout& l, const Pixels& px, const FrameView& src, const FrameView& dst,
               uint32_t W, uint32_t H, uint32_t bpp) {
    for (uint32_t y = 0; y < H; ++y) {
        const uint8_t* in = src.Row(int32_t(y));
        uint8_t* out = dst.Row(int32_t(y));
        const double fy = y;
        if (fy <= l.top - l.s || fy >= l.bottom + l.s) {
            std::memcpy(out, in, size_t(W) * bpp);
            continue;
        }
        for (uint32_t x = 0; x < W; ++x) {
            const double fx = x;
            uint8_t* o = out + x * bpp;
            if (fx <= l.left - l.s || fx >= l.right + l.s) {
                std::memcpy(o, in + x * bpp, bpp);
            } else if (l.InPiece(fx, fy)) {
                if (l.InBorder(fx, fy))
                    px.Border(x, o);
                else
                    px.Piece(x, fx - l.dx, fy - l.dy, l.k, o);
            } else if (l.InShadow(fx, fy)) {
                px.Shadow(x, y, o);
            } else {
                std::memcpy(o, in + x * bpp, bpp);
            }
        }
    }
}

struct Cut : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        const uint32_t W = uint32_t(frameWidth), H = uint32_t(frameHeight), bpp = bytesPerPixel;
        const Layout l = PlacePiece(args.context, W, H);
        // The border colour is the outside colour, which this effect leaves black.
        if (src.IsPacked422() || bpp == 2) {
            const YuvColor border =
                YuvColor::FromRgb(outsideColor.red, outsideColor.green, outsideColor.blue);
            RenderCut(l, PackedPixels{*this, src, border}, src, dst, W, H, bpp);
        } else {
            RenderCut(l, ColourPixels{*this, src, bpp, outsideColor}, src, dst, W, H, bpp);
        }
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateCut() { return CreateEffect<Cut>(); }

}  // namespace vx
