// Transparency: makes part of the frame transparent by a shape that grows
// with a value (wipes, oval, circle, box, random holes, random pixels,
// confetti), with a soft border and an invert switch.  Four-byte frames lose
// alpha; three-byte frames fade towards black.  Works in place.
#include "effects/colour/transparency.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

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

bool TransparencyShape::SameRows(double, double, double) const {
    return false;
}

uint8_t LevelMap::operator()(double e) const {
    if (invert) e = -e;
    if (e >= r) return 255;
    if (e < -r) return 0;
    return ClampToByte((e + r) * 255 / (2 * r));
}

namespace {

// Up to this many columns per opacity change a range is filled column by
// column, which costs far less per column than a bisection step; beyond it
// the range is split, so that the flat stretches beside a border are found
// by bisection rather than filled.
constexpr int32_t kColumnsPerChange = 2;
constexpr int32_t kShortRange = 32;
// A hole's interval this narrow with a soft border changes opacity nearly
// every column.
constexpr int32_t kDenseInterval = 64;

// The opacity map((Sqrt(s) - offset) * scale) of a squared distance s, one
// at a time or two at once with the very same operations in SSE2.
class PairMap {
  public:
    explicit PairMap(LevelMap map)
        : flip_(_mm_set1_pd(map.invert ? -0.0 : 0.0)),
          r_(_mm_set1_pd(map.r)),
          minusR_(_mm_set1_pd(-map.r)),
          twoR_(_mm_set1_pd(2 * map.r)) {}

    // The opacities of the levels in e's two lanes, in the low two 32-bit
    // lanes.
    __m128i operator()(__m128d level) const {
        const __m128d e = _mm_xor_pd(level, flip_);
        const __m128d ramp = _mm_div_pd(_mm_mul_pd(_mm_add_pd(e, r_), _mm_set1_pd(255)), twoR_);
        __m128i opacity = _mm_cvttpd_epi32(_mm_add_pd(ramp, _mm_set1_pd(0.5)));
        const __m128i all = _mm_set1_epi32(255);
        // Later choices take precedence, as the earlier tests do in LevelMap.
        opacity = Select(_mm_cmpge_pd(ramp, _mm_set1_pd(254.5)), all, opacity);
        opacity = _mm_and_si128(Lanes(_mm_cmpgt_pd(ramp, _mm_setzero_pd())), opacity);
        opacity = _mm_andnot_si128(Lanes(_mm_cmplt_pd(e, minusR_)), opacity);
        return Select(_mm_cmpge_pd(e, r_), all, opacity);
    }

  private:
    // A two-lane double mask as masks of the low two 32-bit lanes.
    static __m128i Lanes(__m128d mask) {
        return _mm_shuffle_epi32(_mm_castpd_si128(mask), _MM_SHUFFLE(3, 3, 2, 0));
    }
    static __m128i Select(__m128d mask, __m128i a, __m128i b) {
        const __m128i m = Lanes(mask);
        return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b));
    }

    __m128d flip_, r_, minusR_, twoR_;
};

// The opacity map((Sqrt(s) - offset) * scale) of a squared distance s, one
// at a time or two at once with the very same operations in SSE2.
class SqrtOpacity {
  public:
    SqrtOpacity(double offset, double scale, LevelMap map)
        : map_(map),
          pairMap_(map),
          offset_(_mm_set1_pd(offset)),
          scale_(_mm_set1_pd(scale)),
          offsetScalar_(offset),
          scaleScalar_(scale) {}

    uint8_t operator()(double s) const { return map_((Sqrt(s) - offsetScalar_) * scaleScalar_); }

    // The opacities of s's two lanes in the low two 32-bit lanes.
    __m128i Pair(__m128d s) const {
        return pairMap_(_mm_mul_pd(_mm_sub_pd(_mm_sqrt_pd(s), offset_), scale_));
    }

  private:
    LevelMap map_;
    PairMap pairMap_;
    __m128d offset_, scale_;
    double offsetScalar_, scaleScalar_;
};

// out[j] for j in [a, b): pairs of opacities from opacityPair(j) (columns j
// and j + 1), single ones from opacityAt(j).
template <class OpacityPair, class OpacityAt>
void FillByPairs(const OpacityPair& opacityPair, const OpacityAt& opacityAt, int32_t a, int32_t b,
                 uint8_t* out) {
    int32_t j = a;
    for (; j + 4 <= b; j += 4) {
        const __m128i four = _mm_unpacklo_epi64(opacityPair(j), opacityPair(j + 2));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(four, four), four);
        const int32_t packed = _mm_cvtsi128_si32(bytes);
        std::memcpy(out + j, &packed, 4);
    }
    for (; j < b; ++j)
        out[j] = opacityAt(j);
}

// The same from the squared distances distancePair(j) and opacity.
template <class DistancePair, class OpacityAt>
void FillSqrtOpacities(const DistancePair& distancePair, const OpacityAt& opacityAt,
                       const SqrtOpacity& opacity, int32_t a, int32_t b, uint8_t* out) {
    FillByPairs([&](int32_t j) { return opacity.Pair(distancePair(j)); }, opacityAt, a, b, out);
}

// Column opacities from a function levelAt(j) giving the level of column j.
template <class LevelAt>
struct ColumnOpacity {
    LevelAt levelAt;
    LevelMap map;
    PairMap pairMap;
    uint8_t operator()(int32_t j) const { return map(levelAt(j)); }
    void Fill(int32_t a, int32_t b, uint8_t* out) const {
        FillByPairs([&](int32_t j) { return pairMap(_mm_set_pd(levelAt(j + 1), levelAt(j))); },
                    *this, a, b, out);
    }
};
template <class LevelAt>
ColumnOpacity(LevelAt, LevelMap, PairMap) -> ColumnOpacity<LevelAt>;

// Fills columns [a, b) of a row whose opacity is monotonic there (never
// rising or never falling from a to b - 1): where both ends agree, every
// column between does too, so only the columns where the opacity changes are
// evaluated.  opacity(j) gives column j's opacity and opacity.Fill the
// opacities of a range; first and last are those of a and b - 1; the opacity
// changes at most changes times over the row.
template <class Opacity>
void FillMonotonic(const Opacity& opacity, int32_t a, int32_t b, uint8_t first, uint8_t last,
                   int32_t changes, LevelRuns* runs) {
    if (first == last) {
        runs->Add(b, first);
        return;
    }
    // Short, or changing often (a soft border): every column.
    const int32_t between = std::min(std::abs(int32_t(last) - int32_t(first)), changes);
    if (b - a <= kShortRange || b - a <= kColumnsPerChange * between) {
        uint8_t* levels = runs->Columns();
        levels[a] = first;
        opacity.Fill(a + 1, b - 1, levels);
        levels[b - 1] = last;
        runs->AddVarying(b);
        return;
    }
    const int32_t m = a + (b - a) / 2;
    FillMonotonic(opacity, a, m, first, opacity(m - 1), changes, runs);
    FillMonotonic(opacity, m, b, opacity(m), last, changes, runs);
}

// The same for [a, b), evaluating its ends first; an empty range adds nothing.
template <class Opacity>
void FillMonotonic(const Opacity& opacity, int32_t a, int32_t b, int32_t changes, LevelRuns* runs) {
    if (b - a <= kShortRange) {  // cheaper column by column than from its ends
        if (a == b) return;
        opacity.Fill(a, b, runs->Columns());
        runs->AddVarying(b);
        return;
    }
    FillMonotonic(opacity, a, b, opacity(a), opacity(b - 1), changes, runs);
}

// How often a map's opacity can change: a hard edge changes once.
int32_t MapChanges(const LevelMap& map) {
    return map.r > 0 ? 255 : 1;
}

// The first column in [a, b) whose x is not below a bound: xs only grows.
int32_t FirstColumnFrom(const double* xs, int32_t a, int32_t b, double bound) {
    return int32_t(std::lower_bound(xs + a, xs + b, bound) - xs);
}

// The same for the columns of a row of width count, whose x is j / count,
// from an estimate.
int32_t FirstColumnNear(const double* xs, int32_t count, int32_t a, int32_t b, double bound) {
    const double at = bound * count;
    int32_t j = !(at > a) ? a : at >= b ? b : int32_t(at);
    while (j > a && xs[j - 1] >= bound)
        --j;
    while (j < b && xs[j] < bound)
        ++j;
    return j;
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
    bool LevelRowRuns(const LevelRow& row, ShapeFrame* f, LevelRuns* runs) const final {
        int32_t ends[kMaxPieces];
        const int32_t pieces = Self().Pieces(row, ends);
        const auto opacityAt = Self().RowOpacity(row, f);
        const int32_t changes = MapChanges(row.map);
        for (int32_t k = 0, a = 0; k < pieces; a = ends[k++])
            FillMonotonic(opacityAt, a, ends[k], changes, runs);
        return Self().SameEveryRow();
    }

  protected:
    static constexpr int32_t kMaxPieces = 4;

    // Column j's opacity on a row, straight from the level.
    auto RowOpacity(const LevelRow& row, ShapeFrame*) const {
        return ColumnOpacity{
            [this, &row](int32_t j) { return Self().Level(row.xs[j], row.y, row.v, row.map.r); },
            row.map, PairMap(row.map)};
    }

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

// An ellipse row's opacities: dx2 the columns' squared x distances, dy2 the
// row's squared y distance.
struct EllipseOpacity {
    const double* dx2;
    double dy2;
    SqrtOpacity opacity;
    uint8_t operator()(int32_t j) const { return opacity(dx2[j] + dy2); }
    void Fill(int32_t a, int32_t b, uint8_t* out) const {
        const __m128d dy2s = _mm_set1_pd(dy2);
        FillSqrtOpacities([&](int32_t j) { return _mm_add_pd(_mm_loadu_pd(dx2 + j), dy2s); }, *this,
                          opacity, a, b, out);
    }
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
    // The level through the squared distance, the columns' squared x
    // distances kept while the width holds.
    auto RowOpacity(const LevelRow& row, ShapeFrame* f) const {
        if (f->columnDx2.size() != size_t(row.count) || f->columnAspect != aspect_) {
            f->columnDx2.resize(size_t(row.count));
            f->columnAspect = aspect_;
            for (int32_t j = 0; j < row.count; ++j) {
                const double dx = (row.xs[j] - 0.5) * aspect_;
                f->columnDx2[size_t(j)] = dx * dx;
            }
        }
        return EllipseOpacity{f->columnDx2.data(), (row.y - 0.5) * (row.y - 0.5),
                              SqrtOpacity(row.v, -0.71, row.map)};
    }
    // A row enters only through its squared distance from the middle row.
    bool SameRows(double y, double other, double) const override {
        const double dy = y - 0.5, otherDy = other - 0.5;
        return dy * dy == otherDy * otherDy;
    }
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
    // A row enters only through whether it crosses the box and its distance
    // from the nearer horizontal edge (beyond a corner as the square of it).
    bool SameRows(double y, double other, double v) const override {
        const auto [side, distance] = RowKey(y, v);
        const auto [otherSide, otherDistance] = RowKey(other, v);
        return side == otherSide && distance == otherDistance;
    }
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

  private:
    // 0 crossing the box, 1 above or below it, 2 both (a negative v); and
    // the distance Level takes from the row.
    static std::pair<int, double> RowKey(double y, double v) {
        const double h = v / 2, lo = 0.5 - h, hi = 0.5 + h;
        const bool above = y<lo, below = y> hi;
        if (above && below) return {2, 0};
        if (above) return {1, y - lo};
        if (below) return {1, hi - y};
        return {0, std::min(y - lo, hi - y)};
    }
};

// Random seeds come from the border, so the pattern holds still from frame
// to frame while the border does.
uint32_t BorderSeed(double r) {
    return uint32_t(int32_t(r * 32767));
}

// The opacities along a row near one hole centre; distances from reach on
// all give the far opacity (reach is where the border ends).
// With a hard edge (step set) the opacity is near below step->at and far
// from there on.
struct HoleOpacity {
    const double* xs;
    ShapeFrame::Centre centre;
    double reach;
    uint8_t far;
    const SqrtOpacity& opacity;
    const ShapeFrame::Step* step;
    uint8_t operator()(int32_t j) const {
        const double dx = (xs[j] - centre.x) * 1.25, best = dx * dx + centre.dy2;
        if (step) return best >= step->at ? far : step->near;
        return best < reach ? opacity(best) : far;
    }
    // There the opacity of reach itself, which is the far one, stands in.
    void Fill(int32_t a, int32_t b, uint8_t* out) const {
        const __m128d x = _mm_set1_pd(centre.x), dy2 = _mm_set1_pd(centre.dy2);
        const __m128d scale = _mm_set1_pd(1.25), top = _mm_set1_pd(reach);
        const auto distancePair = [&](int32_t j) {
            const __m128d dx = _mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(xs + j), x), scale);
            return _mm_min_pd(_mm_add_pd(_mm_mul_pd(dx, dx), dy2), top);
        };
        if (!step) {
            FillSqrtOpacities(distancePair, *this, opacity, a, b, out);
            return;
        }
        const __m128d at = _mm_set1_pd(step->at);
        const __m128i fars = _mm_set1_epi32(far), nears = _mm_set1_epi32(step->near);
        FillByPairs(
            [&](int32_t j) {
                const __m128i m = _mm_shuffle_epi32(
                    _mm_castpd_si128(_mm_cmpge_pd(distancePair(j), at)), _MM_SHUFFLE(3, 3, 2, 0));
                return _mm_or_si128(_mm_and_si128(m, fars), _mm_andnot_si128(m, nears));
            },
            *this, a, b, out);
    }
};

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
        f->byY.resize(f->pointY.size());
        for (uint32_t k = 0; k < f->byY.size(); ++k)
            f->byY[k] = k;
        const double* py = f->pointY.data();
        std::sort(f->byY.begin(), f->byY.end(),
                  [py](uint32_t a, uint32_t b) { return py[a] < py[b]; });
        f->entered = 0;
        f->window.clear();
        f->windowY = -std::numeric_limits<double>::infinity();
        f->rowBound = std::numeric_limits<double>::infinity();
    }

    void EvaluateRow(double y, double, double, const double* xs, int32_t count, ShapeFrame* f,
                     double* out) const override {
        OrderByRowDistance(y, f);
        for (int32_t j = 0; j < count; ++j)
            out[j] = LevelAt(xs[j], *f);
    }

    // The nearest squared distance along a row is the lower envelope of one
    // parabola per centre, all of one curvature, so any two cross once and
    // each centre is nearest over one interval.  Inside such an interval the
    // level follows that centre alone and is monotonic on either side of it,
    // so it is filled run by run.  Another centre comes within rounding of
    // an interval's own only within rounding of where intervals meet (the
    // centres' x differ by 1/32767 at least, so every other parabola climbs
    // away at a fixed slope), and there the neighbouring intervals' centres
    // are as near as its own: so a column whose neighbouring centres are
    // clearly farther than its own takes its own centre's distance, and only
    // a column where they come close is searched over every centre.
    bool LevelRowRuns(const LevelRow& row, ShapeFrame* f, LevelRuns* runs) const override {
        const uint8_t far = row.map(Sqrt(radius_ + 1) - radius_);
        if (f->pointX.empty()) {
            runs->Add(row.count, far);
            return true;
        }
        // Distances from reach on all give the far opacity.
        const double r = row.map.r;
        const double reach = std::min(radius_ + 1, (radius_ + r + 1e-6) * (radius_ + r + 1e-6));
        const SqrtOpacity opacity(radius_, 1, row.map);
        const auto levelOf = [&](double best) { return best < reach ? opacity(best) : far; };
        const ShapeFrame::Step* step =
            row.map.r == 0 ? HardStep(levelOf, reach, row.map, f) : nullptr;
        CentresNearRow(row.y, reach, f);
        if (f->near.empty()) {
            runs->Add(row.count, far);
            return false;
        }
        NearestEnvelope(reach, row.xs[row.count - 1], f);
        const std::vector<ShapeFrame::Centre>& near = f->nearest;
        const std::vector<uint32_t>& hull = f->hull;
        const double* xs = row.xs;
        const auto distance = [xs](const ShapeFrame::Centre& c, int32_t j) {
            const double dx = (xs[j] - c.x) * 1.25;
            return dx * dx + c.dy2;
        };
        const auto exactLevel = [&](int32_t j) {
            double best = reach;
            for (const ShapeFrame::Centre& c : near)
                best = std::min(best, distance(c, j));
            return levelOf(best);
        };
        const int32_t segments = int32_t(hull.size());
        const int32_t changes = MapChanges(row.map);
        // Whether column j, at an end of interval s, takes the distance of
        // the interval's centre: its neighbours' centres are clearly farther,
        // or, with its own from well beyond reach, all at reach or beyond.
        const auto ownAtEnd = [&](int32_t j, int32_t s) {
            const double own = distance(near[hull[size_t(s)]], j);
            const double close = own * (1 + 1e-9) + 1e-9;
            const bool beyond = own >= reach * (1 + 1e-9) + 1e-9;
            for (const int32_t t : {s - 1, s + 1}) {
                if (t < 0 || t >= segments) continue;
                const double other = distance(near[hull[size_t(t)]], j);
                if (beyond ? other < reach : other <= close) return false;
            }
            return true;
        };
        int32_t a = 0;
        for (int32_t s = 0; s < segments && a < row.count; ++s) {
            const int32_t b = s + 1 < segments ? FirstColumnNear(xs, row.count, a, row.count,
                                                                 f->from[size_t(s + 1)])
                                               : row.count;
            if (b <= a) continue;
            const ShapeFrame::Centre& c = near[hull[size_t(s)]];
            // [first, last) follows the interval's centre alone
            const int32_t first = ownAtEnd(a, s) ? a : a + 1;
            const int32_t last = b - 1 > a && !ownAtEnd(b - 1, s) ? b - 1 : b;
            if (first > a) runs->Add(a + 1, exactLevel(a));
            const HoleOpacity opacityAt{xs, c, reach, far, opacity, step};
            if (last - first >= 1 && changes > 1 && last - first <= kDenseInterval) {
                opacityAt.Fill(first, last, runs->Columns());
                runs->AddVarying(last);
            } else if (last > first) {
                const int32_t middle = FirstColumnNear(xs, row.count, first, last, c.x);
                FillMonotonic(opacityAt, first, middle, changes, runs);
                FillMonotonic(opacityAt, middle, last, changes, runs);
            }
            if (last < b) runs->Add(b, exactLevel(b - 1));
            a = b;
        }
        return false;
    }

  private:
    double Count(double v) const { return factor_ * v * 50; }

    // Without a border the opacity of a squared distance changes once, at a
    // distance found by bisection (non-negative doubles order as their bits)
    // and kept while the shape and invert hold.
    template <class LevelOf>
    const ShapeFrame::Step* HardStep(const LevelOf& levelOf, double reach, LevelMap map,
                                     ShapeFrame* f) const {
        ShapeFrame::Step& step = f->step;
        if (step.ready && step.radius == radius_ && step.invert == map.invert) return &step;
        step = {true, radius_, map.invert, 0, levelOf(0)};
        const uint8_t far = levelOf(reach);
        if (step.near == far) return &step;  // no change: far from 0 on
        uint64_t lo = 0, hi = std::bit_cast<uint64_t>(reach);
        while (hi - lo > 1) {
            const uint64_t mid = lo + (hi - lo) / 2;
            (levelOf(std::bit_cast<double>(mid)) == far ? hi : lo) = mid;
        }
        step.at = std::bit_cast<double>(hi);
        return &step;
    }

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

    // The centres whose squared vertical distance to the row is below reach,
    // by x; of centres with one x only the nearest matters.
    // The rows come top to bottom, so the centres within a little more than
    // the reach's root of the row form a window moving down: each centre
    // enters it once, in x order, and leaves it for good.
    static void CentresNearRow(double y, double reach, ShapeFrame* f) {
        if (y < f->windowY) f->entered = 0, f->window.clear();  // a new frame
        f->windowY = y;
        const double within = Sqrt(reach) * (1 + 1e-9) + 1e-12;
        const double* px = f->pointX.data();
        while (f->entered < f->byY.size() && f->pointY[f->byY[f->entered]] <= y + within) {
            const uint32_t k = f->byY[f->entered++];
            f->window.insert(
                std::upper_bound(f->window.begin(), f->window.end(), k,
                                 [px](uint32_t a, uint32_t b) { return px[a] < px[b]; }),
                k);
        }
        f->near.clear();
        size_t kept = 0;
        for (uint32_t k : f->window) {
            if (f->pointY[k] < y - within) continue;  // above the rows to come
            f->window[kept++] = k;
            const double dy = y - f->pointY[k], dy2 = dy * dy, x = px[k];
            if (!(dy2 < reach)) continue;
            if (!f->near.empty() && f->near.back().x == x)
                f->near.back().dy2 = std::min(f->near.back().dy2, dy2);
            else
                f->near.push_back({x, dy2});
        }
        f->window.resize(kept);
    }

    // Of f->near, the centres that may be nearest to a column, in
    // f->nearest, and their envelope.  A centre at least as far from the row
    // as every column of it is from the nearest of the others can only tie
    // there, so the centres are taken within a bound: the last row's, a
    // little wider, and if the envelope of those climbs above it, the top of
    // that envelope (which centres added below it only lower).
    static void NearestEnvelope(double reach, double lastX, ShapeFrame* f) {
        double bound = std::min(reach, f->rowBound * 1.5);
        for (;;) {
            f->nearest.clear();
            for (const ShapeFrame::Centre& c : f->near)
                if (c.dy2 < bound) f->nearest.push_back(c);
            double top = reach;
            if (!f->nearest.empty()) {
                LowerEnvelope(f);
                top = EnvelopeTop(lastX, *f) * (1 + 1e-9) + 1e-9;
            }
            if (top <= bound || bound >= reach) {
                f->rowBound = std::min(top, reach);
                return;
            }
            bound = std::min(top, reach);
        }
    }

    // The greatest squared distance from a column in [0, lastX] to its
    // nearest centre by the envelope: each interval's centre is farthest
    // from one of the interval's ends.
    static double EnvelopeTop(double lastX, const ShapeFrame& f) {
        double top = 0;
        for (size_t s = 0; s < f.hull.size(); ++s) {
            const double lo = std::max(f.from[s], 0.0);
            const double hi = s + 1 < f.hull.size() ? std::min(f.from[s + 1], lastX) : lastX;
            if (!(lo <= hi)) continue;
            const ShapeFrame::Centre& c = f.nearest[f.hull[s]];
            for (const double x : {lo, hi}) {
                const double dx = (x - c.x) * 1.25;
                top = std::max(top, dx * dx + c.dy2);
            }
        }
        return top;
    }

    // The centres of f->nearest that are nearest somewhere, left to right, and
    // from which x each is (the first from minus infinity).
    static void LowerEnvelope(ShapeFrame* f) {
        const auto& near = f->nearest;
        // where q, to the right of p, becomes the nearer one
        const auto crossing = [&](uint32_t p, uint32_t q) {
            const double c = 1.5625;
            return ((near[q].dy2 + c * near[q].x * near[q].x) -
                    (near[p].dy2 + c * near[p].x * near[p].x)) /
                   (2 * c * (near[q].x - near[p].x));
        };
        f->hull.assign(1, 0);
        f->from.assign(1, -std::numeric_limits<double>::infinity());
        for (uint32_t q = 1; q < near.size(); ++q) {
            double from = crossing(f->hull.back(), q);
            while (f->hull.size() > 1 && from <= f->from.back()) {
                f->hull.pop_back();
                f->from.pop_back();
                from = crossing(f->hull.back(), q);
            }
            f->hull.push_back(q);
            f->from.push_back(from);
        }
    }

    double radius_;
    int32_t factor_;
};

// out[j] = draws[j] < below ? low : high, sixteen at a time.
void ChooseByDraw(const int32_t* draws, int32_t n, int32_t below, uint8_t low, uint8_t high,
                  uint8_t* out) {
    const __m128i limit = _mm_set1_epi32(below), lows = _mm_set1_epi8(char(low)),
                  highs = _mm_set1_epi8(char(high));
    int32_t j = 0;
    for (; j + 16 <= n; j += 16) {
        __m128i lt[4];
        for (int k = 0; k < 4; ++k)
            lt[k] = _mm_cmplt_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(draws + j + 4 * k)), limit);
        // all-ones and zero lanes narrow to 0xFF and 0 bytes
        const __m128i m =
            _mm_packs_epi16(_mm_packs_epi32(lt[0], lt[1]), _mm_packs_epi32(lt[2], lt[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j),
                         _mm_or_si128(_mm_and_si128(m, lows), _mm_andnot_si128(m, highs)));
    }
    for (; j < n; ++j)
        out[j] = draws[j] < below ? low : high;
}

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
        ChooseByDraw(f->draws.data(), row.count, below, transparent, visible, runs->Columns());
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

// Lowers the alpha of n four-byte pixels to level, four pixels at a time:
// an unsigned byte minimum against level in the alpha byte and 255 in the
// colour bytes.
void LowerAlpha(uint8_t* p, int32_t n, uint8_t level) {
    const __m128i cap = _mm_set1_epi32(int32_t((uint32_t(level) << 24) | 0x00FFFFFFu));
    int32_t j = 0;
    for (; j + 4 <= n; j += 4) {
        __m128i* q = reinterpret_cast<__m128i*>(p + 4 * j);
        _mm_storeu_si128(q, _mm_min_epu8(_mm_loadu_si128(q), cap));
    }
    for (; j < n; ++j)
        p[4 * j + 3] = std::min(p[4 * j + 3], level);
}

// The same with each pixel's own level from levels[0 .. n).
void LowerAlphas(uint8_t* p, const uint8_t* levels, int32_t n) {
    const __m128i colours = _mm_set1_epi32(0x00FFFFFF), zero = _mm_setzero_si128();
    int32_t j = 0;
    for (; j + 4 <= n; j += 4) {
        int32_t four;
        std::memcpy(&four, levels + j, 4);
        // each level to the top byte of its pixel's lane
        const __m128i l =
            _mm_unpacklo_epi16(zero, _mm_unpacklo_epi8(zero, _mm_cvtsi32_si128(four)));
        __m128i* q = reinterpret_cast<__m128i*>(p + 4 * j);
        _mm_storeu_si128(q, _mm_min_epu8(_mm_loadu_si128(q), _mm_or_si128(l, colours)));
    }
    for (; j < n; ++j)
        p[4 * j + 3] = std::min(p[4 * j + 3], levels[j]);
}

// Scales colour bytes (as 16-bit words) by opacities, rounded: for
// x = opacity * byte, (t + (t >> 8)) >> 8 with t = x + 128 is x / 255
// rounded to nearest, and x / 255 never lies halfway (2x + 255 is odd, 510k
// even), so it is the byte the fade table holds.
inline __m128i ScaleWords(__m128i words, __m128i opacities) {
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(words, opacities), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

inline uint8_t ScaleByte(uint8_t byte, uint8_t opacity) {
    const int32_t t = opacity * byte + 128;
    return uint8_t((t + (t >> 8)) >> 8);
}

// Sixteen bytes scaled each by its own opacity.
inline void ScaleSixteen(uint8_t* p, __m128i opacities) {
    const __m128i zero = _mm_setzero_si128();
    __m128i* q = reinterpret_cast<__m128i*>(p);
    const __m128i bytes = _mm_loadu_si128(q);
    _mm_storeu_si128(
        q, _mm_packus_epi16(
               ScaleWords(_mm_unpacklo_epi8(bytes, zero), _mm_unpacklo_epi8(opacities, zero)),
               ScaleWords(_mm_unpackhi_epi8(bytes, zero), _mm_unpackhi_epi8(opacities, zero))));
}

// Scales n colour bytes by level / 255, sixteen at a time.
void FadeBytes(uint8_t* p, int32_t n, uint8_t level) {
    const __m128i levels = _mm_set1_epi8(char(level));
    int32_t j = 0;
    for (; j + 16 <= n; j += 16)
        ScaleSixteen(p + j, levels);
    for (; j < n; ++j)
        p[j] = ScaleByte(p[j], level);
}

// Fades n three-byte pixels each by its own level, sixteen pixels (three
// times sixteen bytes) at a time.
void FadePixels(uint8_t* p, const uint8_t* levels, int32_t n) {
    int32_t j = 0;
    alignas(16) uint8_t spread[48];  // each level three times
    for (; j + 16 <= n; j += 16) {
        for (int32_t k = 0; k < 16; ++k)
            spread[3 * k] = spread[3 * k + 1] = spread[3 * k + 2] = levels[j + k];
        for (int32_t c = 0; c < 3; ++c)
            ScaleSixteen(p + 3 * j + 16 * c,
                         _mm_load_si128(reinterpret_cast<const __m128i*>(spread + 16 * c)));
    }
    for (; j < n; ++j)
        for (int32_t c = 0; c < 3; ++c)
            p[3 * j + c] = ScaleByte(p[3 * j + c], levels[j]);
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
        if (xs_.size() != size_t(W)) {  // the columns' x, kept while the width holds
            xs_.resize(size_t(W));
            for (int32_t j = 0; j < W; ++j)
                xs_[size_t(j)] = double(j) / W;
        }
        shape->BeginFrame(v, r, &shapeFrame_);
        const LevelRow row0{0, v, xs_.data(), W, {r, invert}};
        bool same = false;
        mirrored_.assign(size_t(H), 0);
        for (int32_t i = 0; i < H; ++i) {
            if (mirrored_[size_t(i)]) continue;  // done with the row mirroring it
            if (!same) {
                LevelRow row = row0;
                row.y = double(i) / H;
                runs_.Clear(W);
                same = shape->LevelRowRuns(row, &shapeFrame_, &runs_);
                // the row as far below the middle as this one is above
                const int32_t mirror = H - i;
                if (!same && mirror > i && mirror < H &&
                    shape->SameRows(row.y, double(mirror) / H, v)) {
                    ApplyRow(frame.Row(mirror));
                    mirrored_[size_t(mirror)] = 1;
                }
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
                    LowerAlphas(q, levels + at, n);
                } else if (bpp == 3) {
                    FadePixels(q, levels + at, n);
                } else {
                    const auto& fade = FadeTable();
                    for (int32_t j = at; j < run.end; ++j, q += bpp)
                        Fade(fade, q, levels[j]);
                }
            } else if (run.level == 255) {
                // min(alpha, 255) and a fade by 255 keep every byte
            } else if (bpp == 4) {
                LowerAlpha(q, n, uint8_t(run.level));
            } else if (run.level == 0 && bpp == 3) {
                std::memset(q, 0, size_t(n) * 3);
            } else if (bpp == 3) {
                FadeBytes(q, n * 3, uint8_t(run.level));
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
    std::vector<uint8_t> mirrored_;  // rows already given their mirror row's opacities
    LevelRuns runs_;
    ShapeFrame shapeFrame_;
};

}  // namespace

EffectInterface* CreateTransparency() {
    return CreateEffect<Transparency>();
}

}  // namespace vx
