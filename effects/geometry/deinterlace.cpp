// DeInterlace: keeps one field of interlaced video and shows each of its rows
// twice.  Whole rows of bytes are copied, so every pixel layout is handled alike.
#include <cstring>

#include "core/frame.h"
#include "core/sampling.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum { kType };
enum { kOddRows = 0 };

const char16_t* const kTypeNames[] = {u"odd rows", u"even rows"};

constexpr ParamSpec kParamRows[] = {
    ChoiceParam(kType, u"Type", kOddRows, kTypeNames),
};

// The input row that output rows i and i + 1 (i even) show.  "Odd rows" on a
// frame of odd height has no odd row below the last even row; it then shows
// the last odd row above it, so the picture holds only rows of the kept field
// (a one-row frame has no odd row at all and keeps its row).
int32_t FieldRowFor(int32_t i, int32_t height, bool oddRows) {
    if (!oddRows) return i;
    if (i + 1 < height) return i + 1;
    return i >= 1 ? i - 1 : i;
}

struct DeInterlace : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        const bool oddRows = ReadChoice(args.context, kType) == kOddRows;
        const int32_t H = frameHeight;
        const size_t rowBytes = size_t(bytesPerPixel) * size_t(frameWidth);
        for (int32_t i = 0; i < H; i += 2) {
            const uint8_t* in = src.Row(FieldRowFor(i, H, oddRows));
            std::memcpy(dst.Row(i), in, rowBytes);
            if (i < H - 1) std::memcpy(dst.Row(i + 1), in, rowBytes);
        }
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateDeInterlace() { return CreateEffect<DeInterlace>(); }

}  // namespace vx
