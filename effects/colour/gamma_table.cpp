#include "effects/colour/gamma_table.h"

#include "core/sampling.h"
#include "core/vxmath.h"

namespace vx {

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
        while (b < 255 && thresholds_[b + 1] <= edge)
            ++b;
        start_[i] = uint8_t(b);
    }
}

uint8_t GammaTable::Exact(double v) const {
    if (!(v > 0.0)) return ClampToByte(v);
    return ClampToByte(255.0 * Pow(v / 255.0, exponent_));
}

}  // namespace vx
