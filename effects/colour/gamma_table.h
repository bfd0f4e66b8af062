// ClampToByte(255 * (v / 255)^e) for real v, without a power per pixel.
//
// The byte only changes where 255 * (v / 255)^e crosses b - 0.5, so the 255
// crossing points are computed once per exponent and a pixel's byte is found
// by search.  A value within a hair of a crossing point is computed exactly,
// with the same power function, so the result is the one the direct formula
// gives.  Values v <= 0 are left to ClampToByte, as the formula leaves them.
#pragma once

#include <cstdint>

namespace vx {

class GammaTable {
public:
    void Build(double exponent);
    uint8_t Map(double v) const;

private:
    uint8_t Exact(double v) const;
    double exponent_ = 1.0;
    bool usable_ = false;       // a positive finite exponent
    double thresholds_[257];    // thresholds_[b] = least v giving byte b (b = 1..255)
    // The byte at the lower edge of each 1/8 step of v below 256, where the
    // search for a pixel's byte starts.
    static constexpr int kSteps = 8;
    uint8_t start_[256 * kSteps];
};

}  // namespace vx
