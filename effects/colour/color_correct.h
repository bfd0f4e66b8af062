// Pieces of the ColorCorrect effect that its tests reach directly: the levels
// tables, the rules for values typed into its dialog, and the histograms.
#pragma once

#include <array>
#include <cstdint>

#include "core/frame.h"

namespace vx::colorcorrect {

// Limits in the order the dialog and the parameters use them.
enum Limit { kRedMin, kRedMax, kGreenMin, kGreenMax, kBlueMin, kBlueMax };

// The byte a channel value x becomes for input range [lo, hi] and curve
// exponent e: 255 * (x / 255)^e (just x when e is exactly 1) moved down by
// lo, stretched by 255 / (hi - lo), rounded up by half, then ClampToByte.
uint8_t MapLevel(int32_t x, int32_t lo, int32_t hi, double e);

// MapLevel for every byte of one channel, rebuilt only when lo, hi or e change.
class LevelsTable {
  public:
    void Update(int32_t lo, int32_t hi, double e);
    const uint8_t* Map() const { return map_.data(); }

  private:
    bool built_ = false;
    int32_t lo_ = 0, hi_ = 0;
    uint64_t exponentBits_ = 0;  // NaN exponents compare equal too
    std::array<uint8_t, 256> map_{};
};

// A limit typed into the dialog (decimal text, as far as it is a number).
// The red minimum is taken as typed; a red maximum not above the minimum
// becomes minimum + 1, and *shown then receives the number the edit must show
// (answer true).  The green and blue limits keep their old value unless the
// minimum stays below the maximum.
bool TypeLimit(int32_t limits[6], int index, const char* text, int32_t* shown);

// A gamma typed into the dialog: 0 < g < 5 sets the exponent to 1 / g;
// anything else (and text that is no number) leaves it.
void TypeGamma(double exponents[3], int channel, const char* text);

// Counts of the red, green and blue bytes of a picture with at least 3 bytes
// per pixel, bins 0..255 (257 counters, as the dialog's tables are sized);
// the scale of each makes its largest count 1 (1 for an empty histogram).
struct Histograms {
    std::array<std::array<uint32_t, 257>, 3> counts{};
    uint32_t maxima[3] = {0, 0, 0};
    double scales[3] = {1, 1, 1};
    void Compute(const FrameView& picture);
};

}  // namespace vx::colorcorrect
