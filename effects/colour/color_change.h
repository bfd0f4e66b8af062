// What the two colour keys (ColorChange and ColorChange2) do with the pixels
// they select.
#pragma once

#include <cstdint>

namespace vx {

enum KeyTreatment : int32_t {
    kKeepSelected = 0,
    kShiftToNewColor = 1,
    kMakeTransparent = 2,
};

extern const char16_t* const kKeyTreatmentNames[3];

}  // namespace vx
