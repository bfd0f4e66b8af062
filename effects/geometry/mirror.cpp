// Mirror: flips the picture, or mirrors one half onto the other, separately
// across and down.
#include <cstring>
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum { kAcross, kDown };
enum MirrorType { kNone, kAll, kFirstHalf, kSecondHalf };

const char16_t* const kAcrossNames[4] = {u"none", u"all", u"left", u"right"};
const char16_t* const kDownNames[4] = {u"none", u"all", u"upper", u"lower"};

constexpr ParamSpec kParamRows[] = {
    ChoiceParam(kAcross, u"Mirror type", 0, kAcrossNames),
    ChoiceParam(kDown, u"Mirror type", 0, kDownNames),
};

// For each output position along one axis of length n, the source position
// that is written there last.  Each source position s writes itself and, for
// the half types, its mirror n - 1 - s.  The first half is the positions up
// to the middle one, (n - 1) / 2: on an even length it stops short of the
// second half's first position, so that "left" mirrors only the left half.
std::vector<int32_t> MirrorMap(int32_t type, int32_t n) {
    std::vector<int32_t> map(size_t(n), 0);
    const int32_t half = n / 2;
    for (int32_t s = 0; s < n; ++s) {
        switch (type) {
            case kAll:
                map[size_t(n - 1 - s)] = s;
                break;
            case kFirstHalf:
                if (s <= (n - 1) / 2) map[size_t(s)] = map[size_t(n - 1 - s)] = s;
                break;
            case kSecondHalf:
                if (s >= half) {
                    map[size_t(s)] = s;
                    map[size_t(n - 1 - s)] = s;
                }
                break;
            default:
                map[size_t(s)] = s;
                break;  // "none", and unknown types
        }
    }
    return map;
}

// Pixels of N bytes from the given byte offsets of a source row.
template <size_t N>
void CopyColumns(const uint8_t* in, uint8_t* out, const std::vector<size_t>& sourceOffset) {
    for (size_t offset : sourceOffset) {
        std::memcpy(out, in + offset, N);
        out += N;
    }
}

struct Mirror : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        const std::vector<int32_t> across =
            MirrorMap(ReadChoice(args.context, kAcross), frameWidth);
        const std::vector<int32_t> down = MirrorMap(ReadChoice(args.context, kDown), frameHeight);
        const Sampler s(*this, src, dst);
        const size_t n = bytesPerPixel;
        std::vector<size_t> sourceOffset(across.size());
        for (size_t x = 0; x < across.size(); ++x)
            sourceOffset[x] = size_t(across[x]) * n;
        const bool fields = src.IsInterlaced();
        bool straight = true;  // every column from itself: whole rows are copied
        for (size_t x = 0; x < across.size(); ++x)
            straight = straight && across[x] == int32_t(x);
        for (uint32_t y = 0; y < s.height; ++y) {
            // Interlaced sources keep each output row within its own field.
            uint32_t row = uint32_t(down[y]);
            if (fields && ((row ^ y) & 1)) ++row;
            if (row >= s.height) {
                for (uint32_t x = 0; x < s.width; ++x)
                    s.WriteOutside(x, y);
                continue;
            }
            const uint8_t* in = src.Row(int32_t(row));
            uint8_t* out = dst.Row(int32_t(y));
            if (straight)
                std::memcpy(out, in, n * s.width);
            else if (n == 4)
                CopyColumns<4>(in, out, sourceOffset);
            else if (n == 3)
                CopyColumns<3>(in, out, sourceOffset);
            else
                for (uint32_t x = 0; x < s.width; ++x, out += n)
                    std::memcpy(out, in + sourceOffset[x], n);
        }
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateMirror() {
    return CreateEffect<Mirror>();
}

}  // namespace vx
