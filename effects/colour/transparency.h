// The shapes of the Transparency effect.  Each shape gives every point of
// the frame a signed level for a value v and a border r: positive visible,
// negative transparent.  One object per shape type exists for the whole
// library and serves every effect object; what a frame needs beyond the
// shape's own constants lives in a ShapeFrame the caller owns.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace vx {

// The opacity (0..255) of a signed level with border r, after invert.  It
// never decreases as the level grows (never increases under invert), which
// lets a row be filled run by run wherever the level is monotonic.
struct LevelMap {
    double r;
    bool invert;
    uint8_t operator()(double e) const;
};

// One row's opacities as runs, left to right: run k covers the columns from
// the end of run k - 1 up to end, all with one level, or, where the opacity
// changes from column to column, each with its own level in Columns().
struct LevelRun {
    int32_t end;
    int16_t level;  // kVarying: see Columns()
};

class LevelRuns {
  public:
    static constexpr int16_t kVarying = -1;
    static constexpr int32_t kShortRun = 16;

    void Clear(int32_t count) {
        runs_.clear();
        columns_.resize(size_t(count));
    }
    // Appends columns up to end (exclusive) with one level.  A short run
    // that does not continue the last one goes into Columns(): applying it
    // there costs less than a run of its own.
    void Add(int32_t end, uint8_t level) {
        const int32_t start = runs_.empty() ? 0 : runs_.back().end;
        if (end - start < kShortRun && (runs_.empty() || runs_.back().level != level)) {
            std::memset(columns_.data() + start, level, size_t(end - start));
            Append(end, kVarying);
        } else {
            Append(end, level);
        }
    }
    // Appends columns up to end whose levels the caller has written to
    // Columns() at their own columns.
    void AddVarying(int32_t end) { Append(end, kVarying); }
    uint8_t* Columns() { return columns_.data(); }
    const uint8_t* Columns() const { return columns_.data(); }
    const std::vector<LevelRun>& Runs() const { return runs_; }

  private:
    void Append(int32_t end, int16_t level) {
        if (!runs_.empty() && runs_.back().level == level)
            runs_.back().end = end;
        else
            runs_.push_back({end, level});
    }
    std::vector<LevelRun> runs_;
    std::vector<uint8_t> columns_;
};

// Per-frame working data of a shape, owned by the effect object.
struct ShapeFrame {
    struct Centre {
        double x, dy2;  // x, and the squared vertical distance to a row
    };
    std::vector<double> pointX, pointY;  // hole centres, 0..1
    std::vector<uint32_t> byY;           // centres ordered by y
    size_t entered = 0;                  // of byY, those that entered the window
    std::vector<uint32_t> window;        // centres near the rows so far, by x
    double windowY = 0;                  // the row of window
    std::vector<Centre> near;            // centres near a row, by x
    std::vector<Centre> nearest;         // those of them that may be nearest to a column
    double rowBound = 0;                 // the last row's greatest nearest distance
    std::vector<uint32_t> hull;          // those of nearest nearest somewhere, by x
    std::vector<double> from;            // where each of hull becomes nearest
    std::vector<double> rowDistance;     // squared vertical distance to each centre
    std::vector<uint32_t> nearestFirst;  // centres ordered by that distance
    std::vector<int32_t> draws;          // one row's random draws
    uint32_t randomBelow = 0;            // draws below this are transparent
    struct Step {                        // a hole's opacity without a border
        bool ready;
        double radius;  // the shape and invert it holds for
        bool invert;
        double at;     // far from this squared distance on,
        uint8_t near;  // this below it
    };
    Step step{false, 0, false, 0, 0};
    std::vector<double> columnDx2;  // an ellipse's squared x distances
    double columnAspect = 0;        // the aspect of columnDx2
};

// One row to level: its y, the columns' x (0..1), the value and the map.
struct LevelRow {
    double y, v;
    const double* xs;
    int32_t count;
    LevelMap map;
};

class TransparencyShape {
  public:
    // The level of the point (x, y), both in 0..1 with (0, 0) the first
    // pixel of the first row.
    virtual double Evaluate(double x, double y, double v, double r) const = 0;

    // Frame set-up; afterwards EvaluateRow gives for each xs[j] exactly what
    // Evaluate would, calling the rows top to bottom.  The shared random
    // generator ends each frame in the state per-pixel evaluation leaves.
    virtual void BeginFrame(double v, double r, ShapeFrame* frame) const;
    virtual void EvaluateRow(double y, double v, double r, const double* xs, int32_t count,
                             ShapeFrame* frame, double* out) const = 0;

    // The opacities of a row after BeginFrame, as the map gives them for
    // EvaluateRow's levels; rows are asked top to bottom.  True when every
    // row of the frame has these runs, so the caller may stop asking.
    virtual bool LevelRowRuns(const LevelRow& row, ShapeFrame* frame, LevelRuns* runs) const = 0;

    // True when the rows at y and other have the same opacities for the
    // value v: the caller may then apply one row's opacities to both.
    virtual bool SameRows(double y, double other, double v) const;

  protected:
    ~TransparencyShape() = default;
};

enum TransparencyType : int32_t {
    kHorizontal,
    kVertical,
    kOval,
    kCircle,
    kBox,
    kHoles,
    kAll,
    kRandom,
    kConfetti,
    kTransparencyTypes
};

extern const char16_t* const kTransparencyTypeNames[kTransparencyTypes];

// The shape of a type, or null outside the list.
const TransparencyShape* TransparencyShapeOf(int32_t type);

}  // namespace vx
