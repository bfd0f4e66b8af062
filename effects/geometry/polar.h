// Helpers shared by the effects that look at the picture from a centre point
// (Spiral, Gear, Lighthouse), and a safe real-to-integer truncation.
#pragma once

#include <cstdint>

#include "core/vxmath.h"

namespace vx {

// The angles these effects use are single-precision constants widened to double.
inline constexpr double kPiSingle = 3.1415927410125732;
inline constexpr double kHalfPiSingle = 1.5707963705062866;
inline constexpr double kThreeHalfPiSingle = 4.71238911151886;
inline constexpr double kTwoPiSingle = 6.2831854820251465;

// Direction of the offset (dx, dy) from the centre, measured from the +row
// axis towards the +column axis; in (-pi/2, 3pi/2].
inline double DirectionFromRowAxis(double dx, double dy) {
    if (dy != 0) {
        const double theta = Atan(dx / dy);
        return dy < 0 ? theta + kPiSingle : theta;
    }
    return dx > 0 ? kHalfPiSingle : kThreeHalfPiSingle;
}

// The integer part of v, truncated toward zero.  Values the host can deliver
// stay well inside the limits; NaN gives 0 and anything beyond +-2^30 stops
// there, so the conversion is always defined and later sums cannot overflow.
inline int32_t TruncateToInt(double v) {
    constexpr double kLimit = 1073741824.0;
    if (!(v == v)) return 0;
    if (v >= kLimit) return int32_t(kLimit);
    if (v <= -kLimit) return -int32_t(kLimit);
    return int32_t(v);
}

}  // namespace vx

namespace vx {

// Brings an angle into [0, 2pi) by adding or subtracting whole turns one at a
// time, as the effects do for the angles the host can deliver.  Angles beyond
// a million radians (never delivered) are first reduced in one step, and
// infinite or undefined angles answer NaN, so the loops always end.
inline double WrapAngle(double a) {
    if (!(a > -1e6 && a < 1e6)) {
        if (!(a == a) || a == detail::kInfinity || a == -detail::kInfinity) return detail::kQuietNaN;
        a = Fmod(a, kTwoPiSingle);
    }
    while (a >= kTwoPiSingle) a -= kTwoPiSingle;
    while (a < 0) a += kTwoPiSingle;
    return a;
}

}  // namespace vx
