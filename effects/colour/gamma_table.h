// ClampToByte(255 * (v / 255)^e) for real v, without a power per pixel.
//
// The byte only changes where 255 * (v / 255)^e crosses b - 0.5, so the 255
// crossing points are computed once per exponent and a pixel's byte is found
// by search.  A value within a hair of a crossing point is computed exactly,
// with the same power function, so the result is the one the direct formula
// gives.  Values v <= 0 give 0, as the formula does.
#pragma once

#include <cstdint>

namespace vx {

class GammaTable {
  public:
    void Build(double exponent);

    // Inline: it runs for every channel of every pixel.
    uint8_t Map(double v) const {
        if (!(v > 0.0)) return 0;  // also NaN
        if (!usable_) return Exact(v);
        // The last crossing point lies below 255 for every exponent.
        if (v >= 256.0) return 255;
        // Largest b with thresholds_[b] <= v, from the step's start.
        int lo = start_[int(v * kSteps)];
        while (thresholds_[lo + 1] <= v)
            ++lo;
        const double below = thresholds_[lo];
        const double above = thresholds_[lo + 1];
        if ((lo > 0 && v - below <= kGuard * below) || (lo < 255 && above - v <= kGuard * above))
            return Exact(v);
        return uint8_t(lo);
    }

  private:
    // Far wider than the error of the power function and of the inversion.
    static constexpr double kGuard = 1e-9;
    uint8_t Exact(double v) const;
    double exponent_ = 1.0;
    bool usable_ = false;     // a positive finite exponent
    double thresholds_[257];  // thresholds_[b] = least v giving byte b (b = 1..255)
    // The byte at the lower edge of each 1/32 step of v below 256, where the
    // search for a pixel's byte starts: fine enough that the search rarely
    // takes more than a step, even where the curve is steep.
    static constexpr int kSteps = 32;
    uint8_t start_[256 * kSteps];
};

}  // namespace vx
