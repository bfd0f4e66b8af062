#include "core/frame.h"

namespace vx {

FrameView ViewFrame(HostFrame* frame) {
    FrameView v;
    if (!frame) return v;  // no picture: zero size, no bits
    const HostFrameOps* ops = frame->ops;
    v.bits = ops->Bits(frame);
    v.pitch = ops->Pitch(frame);
    v.width = ops->Width(frame);
    v.height = ops->Height(frame);
    v.bitsPerPixel = ops->BitsPerPixel(frame);
    v.pixelFormat = ops->PixelFormat(frame);
    v.fieldCode = ops->FieldCode(frame);
    v.bottomUp = ops->IsBottomUp(frame) != 0;
    return v;
}

uint8_t* PixelRowAddress(HostFrame* frame, int32_t row) {
    const HostFrameOps* ops = frame->ops;
    uint8_t* first = ops->Bits(frame);
    ptrdiff_t pitch = ops->Pitch(frame);
    if (ops->IsBottomUp(frame)) return first + ptrdiff_t(ops->Height(frame) - row - 1) * pitch;
    return first + ptrdiff_t(row) * pitch;
}

TimeValue TimeDifference(const TimeValue& earlier, const TimeValue& later) {
    int64_t earlierCount = earlier.count;
    if (earlier.unitsPerSecond != later.unitsPerSecond ||
        earlier.unitsPerFrame != later.unitsPerFrame) {
        // A zero rate cannot be converted; the count is then taken as it is.
        if (earlier.unitsPerSecond != 0)
            earlierCount = int64_t(uint64_t(earlier.count) * uint64_t(later.unitsPerSecond)) /
                           earlier.unitsPerSecond;
    }
    return {int64_t(uint64_t(later.count) - uint64_t(earlierCount)), later.unitsPerSecond,
            later.unitsPerFrame};
}

TimeValue ScaleTime(const TimeValue& time, double factor) {
    double scaled = double(time.count) * factor + 0.5;
    // Out-of-range results would be undefined when converted; keep them at the limits.
    int64_t count = scaled >= 9.2233720368547758e18    ? INT64_MAX
                    : scaled <= -9.2233720368547758e18 ? INT64_MIN
                    : scaled == scaled                 ? int64_t(scaled)
                                                       : 0;
    return {count, time.unitsPerSecond, time.unitsPerFrame};
}

ClipPosition ReadClipPosition(HostRenderContext* ctx) {
    const TimeValue* start = ctx->ops->StartTime(ctx);
    const TimeValue* duration = ctx->ops->Duration(ctx);
    const TimeValue* now = ctx->ops->CurrentTime(ctx);
    ClipPosition pos{0.0, 0.0};
    if (!start || !duration || !now) return pos;
    TimeValue elapsed = TimeDifference(*start, *now);
    int64_t num = int64_t(uint64_t(duration->unitsPerSecond) * uint64_t(elapsed.count));
    int64_t den = int64_t(uint64_t(elapsed.unitsPerSecond) * uint64_t(duration->count));
    // A clip without duration stays at its start rather than dividing by zero.
    pos.progress = den != 0 ? double(num) / double(den) : 0.0;
    if (elapsed.unitsPerSecond != 0)
        pos.seconds = double(elapsed.count) / double(elapsed.unitsPerSecond);
    return pos;
}

}  // namespace vx
