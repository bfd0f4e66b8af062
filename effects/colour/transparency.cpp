// Transparency: makes part of the frame transparent by a shape that grows
// with a value (wipes, oval, circle, box, random holes, random pixels,
// confetti), with a soft border and an invert switch.  Four-byte frames lose
// alpha; three-byte frames fade towards black.  Works in place.
#include "effects/colour/transparency.h"

#include <algorithm>
#include <array>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/random.h"
#include "core/sampling.h"
#include "core/vxmath.h"
#include "effects/colour/colour_common.h"
#include "effects/effects.h"

namespace vx {

const char16_t* const kTransparencyTypeNames[kTransparencyTypes] = {
    u"horizontal", u"vertical", u"oval",   u"circle",  u"box",
    u"holes",      u"all",      u"random", u"confetti"};

void TransparencyShape::BeginFrame(double, double, ShapeFrame*) const {}

namespace {

// Shapes whose level depends on the point alone: the row loop calls the
// shape's own Level directly.
template <class Shape>
class PointShape : public TransparencyShape {
  public:
    double Evaluate(double x, double y, double v, double r) const final {
        return Self().Level(x, y, v, r);
    }
    void EvaluateRow(double y, double v, double r, const double* xs, int32_t count, ShapeFrame*,
                     double* out) const final {
        for (int32_t j = 0; j < count; ++j)
            out[j] = Self().Level(xs[j], y, v, r);
    }

  private:
    const Shape& Self() const { return static_cast<const Shape&>(*this); }
};

class LinearShape final : public PointShape<LinearShape> {
  public:
    constexpr explicit LinearShape(int32_t direction) : direction_(direction) {}
    double Level(double x, double y, double v, double) const {
        switch (direction_) {
            case 0:
                return (v - y) * 2;
            case 1:
                return (v - x) * 2;
            case 2:
                return (v - 0.5) * 2;
            default:
                return 0.5;
        }
    }

  private:
    int32_t direction_;  // 0 top-down, 1 left-right, 2 uniform
};

class EllipseShape final : public PointShape<EllipseShape> {
  public:
    constexpr explicit EllipseShape(double aspect) : aspect_(aspect) {}
    double Level(double x, double y, double v, double) const {
        const double dx = (x - 0.5) * aspect_, dy = y - 0.5;
        return (Sqrt(dx * dx + dy * dy) - v) * -0.71;
    }

  private:
    double aspect_;
};

class BoxShape final : public PointShape<BoxShape> {
  public:
    double Level(double x, double y, double v, double) const {
        const double h = v / 2, lo = 0.5 - h, hi = 0.5 + h;
        const bool left = x<lo, right = x> hi, above = y<lo, below = y> hi;
        if ((left && right) || (above && below)) return 0.5;  // negative v
        const bool besideX = left || right, besideY = above || below;
        if (!besideX && !besideY)
            return std::min(std::min(y - lo, hi - y), std::min(x - lo, hi - x)) * 1.5;
        if (besideX && besideY) {
            const double dx = x - (left ? lo : hi), dy = y - (above ? lo : hi);
            return -Sqrt(dx * dx + dy * dy);
        }
        if (above) return y - lo;
        if (below) return hi - y;
        return left ? x - lo : hi - x;
    }
};

// Random seeds come from the border, so the pattern holds still from frame
// to frame while the border does.
uint32_t BorderSeed(double r) {
    return uint32_t(int32_t(r * 32767));
}

// Transparent discs around random centres; all pixels see the same centres.
class HolesShape final : public TransparencyShape {
  public:
    constexpr HolesShape(double radius, int32_t factor) : radius_(radius), factor_(factor) {}

    double Evaluate(double x, double y, double v, double r) const override {
        SeedRandom(BorderSeed(r));
        const double n = Count(v);
        double best = radius_ + 1;
        for (int32_t i = 0; i < n; ++i) {
            const double a = NextRandom(), b = NextRandom();
            const double dx = (x - a / 32767) * 1.25, dy = y - b / 32767;
            best = std::min(best, dx * dx + dy * dy);
            if (best < radius_ - 1) break;
        }
        return Sqrt(best) - radius_;
    }

    // Every pixel draws the same centres from the same seed: draw them once.
    void BeginFrame(double v, double r, ShapeFrame* f) const override {
        SeedRandom(BorderSeed(r));
        f->pointX.clear();
        f->pointY.clear();
        const double n = Count(v);
        for (int32_t i = 0; i < n; ++i) {
            const double a = NextRandom(), b = NextRandom();
            f->pointX.push_back(a / 32767);
            f->pointY.push_back(b / 32767);
        }
    }

    // The nearest centre by squared distance.  Centres are visited in order
    // of their vertical distance, so the search stops once no further centre
    // can come closer; the minimum is the same whatever the visiting order.
    // (The early stop at best < radius - 1 cannot happen: radius < 1.)
    void EvaluateRow(double y, double, double, const double* xs, int32_t count, ShapeFrame* f,
                     double* out) const override {
        const size_t n = f->pointX.size();
        f->rowDistance.resize(n);
        f->nearestFirst.resize(n);
        for (size_t k = 0; k < n; ++k) {
            const double dy = y - f->pointY[k];
            f->rowDistance[k] = dy * dy;
            f->nearestFirst[k] = uint32_t(k);
        }
        const double* rowDistance = f->rowDistance.data();
        std::sort(
            f->nearestFirst.begin(), f->nearestFirst.end(),
            [rowDistance](uint32_t a, uint32_t b) { return rowDistance[a] < rowDistance[b]; });
        for (int32_t j = 0; j < count; ++j) {
            double best = radius_ + 1;
            for (uint32_t k : f->nearestFirst) {
                if (!(rowDistance[k] < best)) break;
                const double dx = (xs[j] - f->pointX[k]) * 1.25;
                best = std::min(best, dx * dx + rowDistance[k]);
            }
            out[j] = Sqrt(best) - radius_;
        }
    }

  private:
    double Count(double v) const { return factor_ * v * 50; }
    double radius_;
    int32_t factor_;
};

// Each pixel transparent with probability v, one draw per pixel.
class RandomShape final : public TransparencyShape {
  public:
    double Evaluate(double x, double y, double v, double r) const override {
        if (x == 0 && y == 0) SeedRandom(BorderSeed(r));
        return Draw(v);
    }
    void BeginFrame(double, double r, ShapeFrame*) const override { SeedRandom(BorderSeed(r)); }
    void EvaluateRow(double, double v, double, const double*, int32_t count, ShapeFrame*,
                     double* out) const override {
        for (int32_t j = 0; j < count; ++j)
            out[j] = Draw(v);
    }

  private:
    static double Draw(double v) { return double(NextRandom()) / 32767 < v ? -1.0 : 1.0; }
};

constexpr LinearShape kTopDown{0}, kLeftRight{1}, kUniform{2};
constexpr EllipseShape kOvalShape{1.0}, kCircleShape{1.25};
constexpr BoxShape kBoxShape;
constexpr HolesShape kHolesShape{0.1, 1}, kConfettiShape{0.01, 10};
constexpr RandomShape kRandomShape;

constexpr const TransparencyShape* kShapes[kTransparencyTypes] = {
    &kTopDown,    &kLeftRight, &kOvalShape,   &kCircleShape,  &kBoxShape,
    &kHolesShape, &kUniform,   &kRandomShape, &kConfettiShape};

}  // namespace

const TransparencyShape* TransparencyShapeOf(int32_t type) {
    return type >= 0 && type < kTransparencyTypes ? kShapes[type] : nullptr;
}

namespace {

enum { kType, kValue, kBorder, kInvert };

constexpr ParamSpec kParamRows[] = {
    ChoiceParam(kType, u"Type", 0, kTransparencyTypeNames),
    RealParam(kValue, u"Value", 50, 0.2, 0, 100),
    RealParam(kBorder, u"Border", 0, 1, 0, 100),
    BooleanParam(kInvert, u"invert", false),
};

// The opacity (0..255) a signed level gives with border r.
uint8_t LevelOf(double e, double r) {
    if (e >= r) return 255;
    if (e < -r) return 0;
    return ClampToByte((e + r) * 255 / (2 * r));
}

// fade[level][ch]: a colour channel scaled by an opacity, rounded.
const std::array<std::array<uint8_t, 256>, 256>& FadeTable() {
    static const auto table = [] {
        std::array<std::array<uint8_t, 256>, 256> t{};
        for (int level = 0; level < 256; ++level)
            for (int ch = 0; ch < 256; ++ch)
                t[level][ch] = ClampToByte(double(level * ch) / 255);
        return t;
    }();
    return table;
}

struct Transparency : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Transparency() { sharesInputFrame = 1; }

    Status Process(const RenderArgs& args) {
        HostFrame* output = args.OutputFrame();
        const FrameView frame = ViewFrame(output);
        if (!FramesMatchPrepared(*this, frame, frame)) return kOk;
        output->ops->PrepareAlpha(output, 0);
        HostRenderContext* ctx = args.context;
        const TransparencyShape* shape = TransparencyShapeOf(ReadChoice(ctx, kType));
        const double v = ReadRealWithin(ctx, kParamRows[kValue]) * 0.01;
        const double r = ReadRealWithin(ctx, kParamRows[kBorder]) * 0.01;
        const bool invert = ReadBoolean(ctx, kInvert);
        if (!shape || bytesPerPixel < 3 || frame.IsPacked422()) return kOk;

        const int32_t W = frameWidth, H = frameHeight;
        xs_.resize(size_t(W));
        levels_.resize(size_t(W));
        for (int32_t j = 0; j < W; ++j)
            xs_[size_t(j)] = double(j) / W;
        const auto& fade = FadeTable();
        const uint32_t bpp = bytesPerPixel;
        shape->BeginFrame(v, r, &shapeFrame_);
        for (int32_t i = 0; i < H; ++i) {
            shape->EvaluateRow(double(i) / H, v, r, xs_.data(), W, &shapeFrame_, levels_.data());
            uint8_t* p = frame.Row(i);
            for (int32_t j = 0; j < W; ++j, p += bpp) {
                const double e = levels_[size_t(j)];
                const uint8_t level = LevelOf(invert ? -e : e, r);
                if (bpp == 4) {
                    if (level < p[3]) p[3] = level;
                } else {
                    p[0] = fade[level][p[0]];
                    p[1] = fade[level][p[1]];
                    p[2] = fade[level][p[2]];
                }
            }
        }
        return kOk;
    }

  private:
    std::vector<double> xs_, levels_;
    ShapeFrame shapeFrame_;
};

}  // namespace

EffectInterface* CreateTransparency() {
    return CreateEffect<Transparency>();
}

}  // namespace vx
