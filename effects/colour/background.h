// Background video: the settings block it keeps in its data-block parameter,
// the alpha mix, and the seam through which its settings dialog is shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/host_abi.h"
#include "platform/dialog.h"

namespace vx {

// The value of the data-block parameter "VXEBackground-Parm" (index 0),
// little-endian.  Only timeOffset and fileName change the picture; the other
// four are edited and kept.
struct BackgroundSettings {
    int32_t timeOffset;      // 0..100, times the video's length
    int32_t horizontal;      // -100..100
    int32_t vertical;        // -100..100
    int32_t zoomX;           // -100..100
    int32_t zoomY;           // -100..100
    char16_t fileName[512];  // zero-terminated
};
static_assert(sizeof(BackgroundSettings) == 1044);
static_assert(offsetof(BackgroundSettings, fileName) == 20);

inline constexpr int32_t kBackgroundBlockSize = sizeof(BackgroundSettings);
inline constexpr int32_t kBackgroundFileNameUnits = 512;

BackgroundSettings DefaultBackgroundSettings();

// Takes the block the host delivered: a block shorter than the settings
// fills what it has over the defaults, a longer one gives its first 1044
// bytes, and the file name always ends inside its 512 units.
BackgroundSettings TakeBackgroundBlock(const void* data, uint32_t size);

// Puts `name` into the block, cut to 511 units and zero-terminated.
void SetBackgroundFileName(BackgroundSettings& settings, const std::u16string& name);

// One channel of the mix by the clip's alpha a (0..255):
//     integer part of (video x (1 - w) + source x w), w = a x (1/255),
// as real arithmetic gives it.  Where the exact value is not a whole number
// it lies at least 1/255 from one, further than any rounding of the real
// sum, so the integer quotient is the same byte; only whole-number results
// go through the real sum, which may land just below them.  Alpha 0 and 255
// give weights of exactly 0 and 1 (255 x (1/255) rounds to 1), so they pick
// one side unchanged.
struct AlphaWeights {
    double w[256];
    double rest[256];  // 1 - w
};
extern const AlphaWeights kAlphaWeights;

inline uint8_t BackgroundMix(int32_t video, int32_t source, int32_t a) {
    if (a == 0) return uint8_t(video);
    if (a == 255) return uint8_t(source);
    const int32_t num = video * (255 - a) + source * a;
    const int32_t q = num / 255;
    if (num != q * 255) return uint8_t(q);
    const int32_t r = int32_t(video * kAlphaWeights.rest[a] + source * kAlphaWeights.w[a]);
    return uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
}

// Shows the settings dialog owned by `owner` over `model`; answers 1 for OK.
// The platform's dialog; tests replace it.
extern int32_t (*ShowBackgroundDialog)(void* owner, platform::BackgroundDialogModel& model);

}  // namespace vx
