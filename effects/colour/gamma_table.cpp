#include "effects/colour/gamma_table.h"

#include "core/sampling.h"
#include "core/vxmath.h"

namespace vx {

namespace {
// Far wider than the error of the power function and of the inversion.
constexpr double kGuard = 1e-9;
}  // namespace

void GammaTable::Build(double exponent) {
    exponent_ = exponent;
    // Outside this range the margin around each crossing point gets too thin to trust.
    usable_ = exponent >= 0.01 && exponent <= 100.0;
    if (!usable_) return;
    thresholds_[0] = 0.0;
    for (int b = 1; b < 256; ++b)
        thresholds_[b] = 255.0 * Pow((b - 0.5) / 255.0, 1.0 / exponent);
    thresholds_[256] = 1e308;  // sentinel
    int b = 0;
    for (int i = 0; i < 256 * kSteps; ++i) {
        const double edge = double(i) / kSteps;
        while (b < 255 && thresholds_[b + 1] <= edge) ++b;
        start_[i] = uint8_t(b);
    }
}

uint8_t GammaTable::Exact(double v) const {
    if (!(v > 0.0)) return ClampToByte(v);
    return ClampToByte(255.0 * Pow(v / 255.0, exponent_));
}

uint8_t GammaTable::Map(double v) const {
    if (!usable_ || !(v > 0.0)) return Exact(v);
    // The last crossing point lies below 255 for every exponent.
    if (v >= 256.0) return 255;
    // Largest b with thresholds_[b] <= v, from the step's start.
    int lo = start_[int(v * kSteps)];
    while (thresholds_[lo + 1] <= v) ++lo;
    const double below = thresholds_[lo];
    const double above = thresholds_[lo + 1];
    if ((lo > 0 && v - below <= kGuard * below) || (lo < 255 && above - v <= kGuard * above))
        return Exact(v);
    return uint8_t(lo);
}

}  // namespace vx
