// Transparency: makes part of the frame transparent by a shape that grows
// with a value (wipes, oval, circle, box, random holes, random pixels,
// confetti), with a soft border and an invert switch.  Four-byte frames lose
// alpha; three-byte frames fade towards black.  Works in place.
#include "effects/colour/transparency.h"

#include <algorithm>
#include <array>
#include <cstring>

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

uint8_t LevelMap::operator()(double e) const {
    if (invert) e = -e;
    if (e >= r) return 255;
    if (e < -r) return 0;
    return ClampToByte((e + r) * 255 / (2 * r));
}

namespace {

// Fills columns [a, b) of a row whose opacity is monotonic there (never
// rising or never falling from a to b - 1): where both ends agree, every
// column between does too, so only the columns where the opacity changes are
// evaluated.  opacityAt(j) gives column j's opacity; first and last are those
// of a and b - 1.
template <class OpacityAt>
void FillMonotonic(const OpacityAt& opacityAt, int32_t a, int32_t b, uint8_t first, uint8_t last,
                   LevelRuns* runs) {
    if (first == last) {
        runs->Add(b, first);
        return;
    }
    // Short, or changing nearly every column (a soft border): every column.
    if (b - a <= 8 || b - a <= 2 * std::abs(int32_t(last) - int32_t(first))) {
        uint8_t* levels = runs->Columns();
        levels[a] = first;
        for (int32_t j = a + 1; j < b - 1; ++j)
            levels[j] = opacityAt(j);
        levels[b - 1] = last;
        runs->AddVarying(b);
        return;
    }
    const int32_t m = a + (b - a) / 2;
    FillMonotonic(opacityAt, a, m, first, opacityAt(m - 1), runs);
    FillMonotonic(opacityAt, m, b, opacityAt(m), last, runs);
}

// The same for [a, b), evaluating its ends first; an empty range adds nothing.
template <class OpacityAt>
void FillMonotonic(const OpacityAt& opacityAt, int32_t a, int32_t b, LevelRuns* runs) {
    if (a < b) FillMonotonic(opacityAt, a, b, opacityAt(a), opacityAt(b - 1), runs);
}

// The first column in [a, b) whose x is not below a bound: xs only grows.
int32_t FirstColumnFrom(const double* xs, int32_t a, int32_t b, double bound) {
    return int32_t(std::lower_bound(xs + a, xs + b, bound) - xs);
}

// Shapes whose level depends on the point alone: the row loop calls the
// shape's own Level directly.  Each shape splits a row into pieces over
// which its level is monotonic in x, exactly so in floating point (every
// operation on the way rounds monotonically), and the pieces are filled run
// by run.
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
    bool LevelRowRuns(const LevelRow& row, ShapeFrame*, LevelRuns* runs) const final {
        int32_t ends[kMaxPieces];
        const int32_t pieces = Self().Pieces(row, ends);
        const auto opacityAt = [&](int32_t j) {
            return row.map(Self().Level(row.xs[j], row.y, row.v, row.map.r));
        };
        for (int32_t k = 0, a = 0; k < pieces; a = ends[k++])
            FillMonotonic(opacityAt, a, ends[k], runs);
        return Self().SameEveryRow();
    }

  protected:
    static constexpr int32_t kMaxPieces = 4;

  private:
    const Shape& Self() const { return static_cast<const Shape&>(*this); }
};

class LinearShape final : public PointShape<LinearShape> {
  public:
    constexpr explicit LinearShape(int32_t direction) : direction_(direction) {}
    // Left-right falls along the row and is the same in every row; the
    // others are one level per row.
    int32_t Pieces(const LevelRow& row, int32_t* ends) const {
        ends[0] = row.count;
        return 1;
    }
    bool SameEveryRow() const { return direction_ != 0; }
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
    // The distance falls up to the middle column and rises after it.
    int32_t Pieces(const LevelRow& row, int32_t* ends) const {
        ends[0] = FirstColumnFrom(row.xs, 0, row.count, 0.5);
        ends[1] = row.count;
        return 2;
    }
    bool SameEveryRow() const { return false; }
    double Level(double x, double y, double v, double) const {
        const double dx = (x - 0.5) * aspect_, dy = y - 0.5;
        return (Sqrt(dx * dx + dy * dy) - v) * -0.71;
    }

  private:
    double aspect_;
};

class BoxShape final : public PointShape<BoxShape> {
  public:
    // Left of the box, its left half, its right half, right of it: the level
    // rises over the first two and falls over the last two.  The halves meet
    // where the right edge becomes the nearer one, as Level decides it.
    int32_t Pieces(const LevelRow& row, int32_t* ends) const {
        const double h = row.v / 2, lo = 0.5 - h, hi = 0.5 + h;
        const int32_t n = row.count;
        ends[0] = FirstColumnFrom(row.xs, 0, n, lo);
        ends[2] = int32_t(std::upper_bound(row.xs + ends[0], row.xs + n, hi) - row.xs);
        ends[1] = int32_t(std::partition_point(row.xs + ends[0], row.xs + ends[2],
                                               [&](double x) { return !(hi - x < x - lo); }) -
                          row.xs);
        ends[3] = n;
        return 4;
    }
    bool SameEveryRow() const { return false; }
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

    void EvaluateRow(double y, double, double, const double* xs, int32_t count, ShapeFrame* f,
                     double* out) const override {
        OrderByRowDistance(y, f);
        for (int32_t j = 0; j < count; ++j)
            out[j] = LevelAt(xs[j], *f);
    }

    // Most of a row lies far from every centre or deep inside a disc, where
    // the opacity is known without the nearest distance: far beyond
    // radius + r the level exceeds the border, well inside radius - r it is
    // below minus the border (and a nearer centre only lowers it further).
    // Each centre near the row marks the columns it may reach and the columns
    // it surely covers, with two columns to spare against rounding; only
    // the columns marked the first way alone are searched exactly.
    bool LevelRowRuns(const LevelRow& row, ShapeFrame* f, LevelRuns* runs) const override {
        const uint8_t far = row.map(Sqrt(radius_ + 1) - radius_);
        const size_t n = f->pointX.size();
        if (n == 0) {
            runs->Add(row.count, far);
            return true;
        }
        const double r = row.map.r, spare = 2.0 / row.count;
        const double reach = std::min(radius_ + 1, (radius_ + r + 1e-6) * (radius_ + r + 1e-6));
        const double inner = radius_ - r - 1e-6;
        const double cover = inner > 0 ? inner * inner : 0;
        enum { kReachStart, kReachEnd, kCoverStart, kCoverEnd };
        auto column = [&](double x) {
            return int32_t(std::clamp(x * row.count, -1.0, double(row.count) + 1));
        };
        f->edges.clear();
        for (size_t k = 0; k < n; ++k) {
            const double dy = row.y - f->pointY[k], dy2 = dy * dy, px = f->pointX[k];
            if (!(dy2 < reach)) continue;
            const double out = Sqrt(reach - dy2) / 1.25 + spare;
            f->edges.push_back({std::max(column(px - out) - 1, 0), kReachStart});
            f->edges.push_back({std::min(column(px + out) + 2, row.count), kReachEnd});
            if (!(dy2 < cover)) continue;
            const double in = Sqrt(cover - dy2) / 1.25 - spare;
            const int32_t first = std::max(column(px - in) + 1, 0);
            const int32_t end = std::min(column(px + in), row.count);
            if (in <= 0 || first >= end) continue;
            f->edges.push_back({first, kCoverStart});
            f->edges.push_back({end, kCoverEnd});
        }
        std::sort(f->edges.begin(), f->edges.end());
        const uint8_t near = row.map(-radius_);
        bool ordered = false;
        int32_t reaching = 0, covering = 0, at = 0;
        auto fill = [&](int32_t end) {
            if (covering > 0 || reaching == 0) {
                runs->Add(end, covering > 0 ? near : far);
                return;
            }
            if (!ordered) OrderByRowDistance(row.y, f);
            ordered = true;
            uint8_t* levels = runs->Columns();
            for (int32_t j = at; j < end; ++j) {
                const double best = NearestWithin(row.xs[j], reach, *f);
                levels[j] = best < reach ? row.map(Sqrt(best) - radius_) : far;
            }
            runs->AddVarying(end);
        };
        for (const auto& [edge, kind] : f->edges) {
            if (edge > at) fill(edge);
            at = std::max(at, edge);
            reaching += kind == kReachStart ? 1 : kind == kReachEnd ? -1 : 0;
            covering += kind == kCoverStart ? 1 : kind == kCoverEnd ? -1 : 0;
        }
        if (at < row.count) fill(row.count);
        return false;
    }

  private:
    double Count(double v) const { return factor_ * v * 50; }

    // Orders the centres by their squared vertical distance to the row.
    static void OrderByRowDistance(double y, ShapeFrame* f) {
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
    }

    // The level at x of the row last ordered: the nearest centre by squared
    // distance.  Centres are visited in order of their vertical distance, so
    // the search stops once no further centre can come closer; the minimum is
    // the same whatever the visiting order.  (The early stop at
    // best < radius - 1 cannot happen: radius < 1.)
    double LevelAt(double x, const ShapeFrame& f) const {
        return Sqrt(NearestWithin(x, radius_ + 1, f)) - radius_;
    }

    // The least squared distance from x on the row last ordered, when it is
    // below bound (at most radius + 1); otherwise bound.  A bound below
    // radius + 1 only spares the centres that could not come that near.
    static double NearestWithin(double x, double bound, const ShapeFrame& f) {
        const double* rowDistance = f.rowDistance.data();
        double best = bound;
        for (uint32_t k : f.nearestFirst) {
            if (!(rowDistance[k] < best)) break;
            const double dx = (x - f.pointX[k]) * 1.25;
            best = std::min(best, dx * dx + rowDistance[k]);
        }
        return best;
    }

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
    void BeginFrame(double v, double r, ShapeFrame* f) const override {
        SeedRandom(BorderSeed(r));
        // draw / 32767 < v grows false as the draw grows: find where.
        uint32_t lo = 0, hi = kRandomMax + 1;
        while (lo < hi) {
            const uint32_t mid = (lo + hi) / 2;
            if (double(int32_t(mid)) / 32767 < v)
                lo = mid + 1;
            else
                hi = mid;
        }
        f->randomBelow = lo;
    }
    void EvaluateRow(double, double v, double, const double*, int32_t count, ShapeFrame*,
                     double* out) const override {
        for (int32_t j = 0; j < count; ++j)
            out[j] = Draw(v);
    }

    // One draw per column, in order, drawn as a batch; the generator is
    // left where the row's last draw leaves it.
    bool LevelRowRuns(const LevelRow& row, ShapeFrame* f, LevelRuns* runs) const override {
        const uint8_t transparent = row.map(-1.0), visible = row.map(1.0);
        const int32_t below = int32_t(f->randomBelow);
        f->draws.resize(size_t(row.count));
        NextRandoms(f->draws.data(), f->draws.size());
        uint8_t* out = runs->Columns();
        for (int32_t j = 0; j < row.count; ++j)
            out[j] = f->draws[size_t(j)] < below ? transparent : visible;
        runs->AddVarying(row.count);
        return false;
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
        if (xs_.size() != size_t(W)) {  // the columns' x, kept while the width holds
            xs_.resize(size_t(W));
            for (int32_t j = 0; j < W; ++j)
                xs_[size_t(j)] = double(j) / W;
        }
        shape->BeginFrame(v, r, &shapeFrame_);
        const LevelRow row0{0, v, xs_.data(), W, {r, invert}};
        bool same = false;
        for (int32_t i = 0; i < H; ++i) {
            if (!same) {
                LevelRow row = row0;
                row.y = double(i) / H;
                runs_.Clear(W);
                same = shape->LevelRowRuns(row, &shapeFrame_, &runs_);
            }
            ApplyRow(frame.Row(i));
        }
        return kOk;
    }

  private:
    // Lowers one row's alpha to its opacities, or fades its colours.  Fully
    // visible runs leave the pixels as they are; fully transparent ones clear.
    void ApplyRow(uint8_t* p) const {
        const uint32_t bpp = bytesPerPixel;
        const uint8_t* levels = runs_.Columns();
        int32_t at = 0;
        for (const LevelRun& run : runs_.Runs()) {
            uint8_t* q = p + size_t(at) * bpp;
            const int32_t n = run.end - at;
            if (run.level == LevelRuns::kVarying) {
                if (bpp == 4) {
                    for (int32_t j = at; j < run.end; ++j, q += 4)
                        q[3] = std::min(q[3], levels[j]);
                } else {
                    const auto& fade = FadeTable();
                    for (int32_t j = at; j < run.end; ++j, q += bpp)
                        Fade(fade, q, levels[j]);
                }
            } else if (run.level == 255) {
                // min(alpha, 255) and a fade by 255 keep every byte
            } else if (bpp == 4) {
                const uint8_t level = uint8_t(run.level);
                for (int32_t j = 0; j < n; ++j)
                    q[4 * j + 3] = std::min(q[4 * j + 3], level);
            } else if (run.level == 0 && bpp == 3) {
                std::memset(q, 0, size_t(n) * 3);
            } else {
                const auto& fade = FadeTable();
                for (int32_t j = 0; j < n; ++j, q += bpp)
                    Fade(fade, q, uint8_t(run.level));
            }
            at = run.end;
        }
    }
    static void Fade(const std::array<std::array<uint8_t, 256>, 256>& fade, uint8_t* p,
                     uint8_t level) {
        p[0] = fade[level][p[0]];
        p[1] = fade[level][p[1]];
        p[2] = fade[level][p[2]];
    }

    std::vector<double> xs_;
    LevelRuns runs_;
    ShapeFrame shapeFrame_;
};

}  // namespace

EffectInterface* CreateTransparency() {
    return CreateEffect<Transparency>();
}

}  // namespace vx
