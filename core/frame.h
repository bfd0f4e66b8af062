// Frames, pixel addressing and clip time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/host_abi.h"

namespace vx {

// What an effect needs of a host frame, read once per frame.
struct FrameView {
    uint8_t* bits = nullptr;  // first stored row
    ptrdiff_t pitch = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    int32_t pixelFormat = 0;
    int32_t fieldCode = 0;
    bool bottomUp = false;

    bool IsPacked422() const { return pixelFormat == 1 || pixelFormat == 2; }
    bool IsInterlaced() const { return fieldCode == 1; }

    // Row 0 is the top row of the picture whichever way rows are stored.
    uint8_t* Row(int32_t row) const {
        return bottomUp ? bits + ptrdiff_t(height - row - 1) * pitch : bits + ptrdiff_t(row) * pitch;
    }
};

FrameView ViewFrame(HostFrame* frame);

// The row address as the host frame itself reports it.
uint8_t* PixelRowAddress(HostFrame* frame, int32_t row);

TimeValue TimeDifference(const TimeValue& earlier, const TimeValue& later);
TimeValue ScaleTime(const TimeValue& time, double factor);

// Position of the current frame within the effect: 0 at its first frame,
// towards 1 at its end.
struct ClipPosition {
    double progress;
    double seconds;  // seconds into the effect
};
ClipPosition ReadClipPosition(HostRenderContext* ctx);

}  // namespace vx
