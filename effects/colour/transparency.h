// The shapes of the Transparency effect.  Each shape gives every point of
// the frame a signed level for a value v and a border r: positive visible,
// negative transparent.  One object per shape type exists for the whole
// library and serves every effect object; what a frame needs beyond the
// shape's own constants lives in a ShapeFrame the caller owns.
#pragma once

#include <cstdint>
#include <vector>

namespace vx {

// Per-frame working data of a shape, owned by the effect object.
struct ShapeFrame {
    std::vector<double> pointX, pointY;  // hole centres, 0..1
    std::vector<double> rowDistance;     // squared vertical distance to each centre
    std::vector<uint32_t> nearestFirst;  // centres ordered by that distance
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
