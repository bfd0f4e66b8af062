// TVInterference: a disturbed television picture.  The frame is cut into
// blocks, and each block, by one draw of the shared generator, turns white or
// black, brightens, darkens or stays as it is; the share of disturbed blocks
// follows "Value".  Works in place.  The generator is never seeded here, so
// every frame continues its sequence and brings a new pattern.
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/random.h"
#include "core/sampling.h"
#include "effects/colour/colour_common.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum { kValue, kBlockSize };

constexpr ParamSpec kParamRows[] = {
    RealParam(kValue, u"Value", 50, 0.1, 0, 100),
    RealParam(kBlockSize, u"Blocksize", 1, 1, 1, 300),
};

// What a block turns into, in the order of the draw's thresholds.
enum BlockKind : uint8_t { kWhite, kBlack, kBrighten, kDarken, kUntouched, kBlockKinds };

// level[kind][byte]: each colour byte of a block of that kind; alpha[kind][a]
// its alpha.  Only untouched blocks keep their bytes.
struct BlockTables {
    uint8_t level[kBlockKinds][256];
    uint8_t alpha[kBlockKinds][256];

    BlockTables() {
        for (int v = 0; v < 256; ++v) {
            level[kWhite][v] = 255;
            level[kBlack][v] = 0;
            level[kBrighten][v] = ClampToByte(v * 1.3);
            level[kDarken][v] = ClampToByte(v * 0.7);
            level[kUntouched][v] = uint8_t(v);
            for (int k = 0; k < kUntouched; ++k)
                alpha[k][v] = 255;
            alpha[kUntouched][v] = uint8_t(v);
        }
    }
};

// The kind a draw gives, with r = draw / 32767: white below v/2, black below
// v, brightened below 1.2·v, darkened below 1.4·v, untouched above.  r rises
// with the draw, so each threshold becomes the first draw that reaches it
// (found with the same division), and the kind is the number of thresholds
// the draw has reached: integer comparisons instead of a division per block.
class Thresholds {
  public:
    explicit Thresholds(double v) {
        const double t[4] = {v / 2, v, 1.2 * v, 1.4 * v};
        for (int i = 0; i < 4; ++i)
            first_[i] = FirstReaching(t[i]);
    }

    uint8_t KindOf(int32_t draw) const {
        return uint8_t((draw >= first_[0]) + (draw >= first_[1]) + (draw >= first_[2]) +
                       (draw >= first_[3]));
    }

  private:
    // The least draw d in 0 .. 32767 with d / 32767 >= t, or 32768 for none.
    static int32_t FirstReaching(double t) {
        int32_t lo = 0, hi = kRandomMax + 1;
        while (lo < hi) {
            const int32_t mid = (lo + hi) / 2;
            if (mid / 32767.0 >= t)
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    }

    int32_t first_[4];
};

// Applies the kinds of one band of blocks to one picture row.
template <uint32_t kBpp>
void DisturbRow(const BlockTables& tables, const uint8_t* kinds, int32_t width, int32_t blockWidth,
                uint8_t* p) {
    auto paint = [&tables](uint8_t kind, uint8_t* px) {
        const uint8_t* level = tables.level[kind];
        px[0] = level[px[0]];
        px[1] = level[px[1]];
        px[2] = level[px[2]];
        if (kBpp == 4) px[3] = tables.alpha[kind][px[3]];
    };
    if (blockWidth == 1) {
        for (int32_t x = 0; x < width; ++x, p += kBpp)
            paint(kinds[x], p);
        return;
    }
    for (int32_t x0 = 0, b = 0; x0 < width; x0 += blockWidth, ++b) {
        const int32_t end = width - x0 < blockWidth ? width : x0 + blockWidth;
        for (int32_t x = x0; x < end; ++x, p += kBpp)
            paint(kinds[b], p);
    }
}

class TVInterference : public EffectBase {
  public:
    static constexpr ParamTable kParams = kParamRows;

    TVInterference() { sharesInputFrame = 1; }

    Status Process(const RenderArgs& args) {
        const FrameView frame = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, frame, frame)) return kOk;
        // Packed 4:2:2 frames have no colour bytes to paint: they stay as
        // they are, and the generator is not drawn from.
        if (bytesPerPixel < 3 || frame.IsPacked422()) return kOk;
        HostRenderContext* ctx = args.context;
        const double v = ReadRealWithin(ctx, kParamRows[kValue]) * 0.01;
        const double s = ReadRealWithin(ctx, kParamRows[kBlockSize]) * 0.0001;
        const int32_t W = frameWidth, H = frameHeight;
        int32_t bw = int32_t(W * s), bh = int32_t(H * s);
        if (bw == 0) bw = 1;
        if (bh == 0) bh = 1;
        const Thresholds thresholds(v);
        // Frames with more blocks than draw values keep every draw's kind
        // while "Value" stays: a lookup per block instead of four comparisons.
        const int64_t draws = (int64_t(W) + bw - 1) / bw * ((int64_t(H) + bh - 1) / bh);
        const bool tabled = draws > kRandomMax;
        if (tabled && (v != kindsValue_ || kindOf_.empty())) {
            kindOf_.resize(size_t(kRandomMax) + 1);
            for (int32_t d = 0; d <= kRandomMax; ++d)
                kindOf_[size_t(d)] = thresholds.KindOf(d);
            kindsValue_ = v;
        }
        if (bytesPerPixel == 4)
            Disturb<4>(frame, thresholds, tabled, bw, bh);
        else
            Disturb<3>(frame, thresholds, tabled, bw, bh);
        return kOk;
    }

  private:
    template <uint32_t kBpp>
    void Disturb(const FrameView& frame, const Thresholds& thresholds, bool tabled, int32_t bw,
                 int32_t bh) {
        static const BlockTables tables;
        const int32_t W = frameWidth, H = frameHeight;
        const size_t blocks = size_t((int64_t(W) + bw - 1) / bw);
        draws_.resize(blocks);
        kinds_.resize(blocks);
        const uint8_t* kindOf = kindOf_.data();
        // One draw per block, blocks left to right, bands top to bottom.
        for (int32_t y0 = 0; y0 < H; y0 += bh) {
            NextRandoms(draws_.data(), blocks);
            if (tabled)
                for (size_t b = 0; b < blocks; ++b)
                    kinds_[b] = kindOf[draws_[b]];
            else
                for (size_t b = 0; b < blocks; ++b)
                    kinds_[b] = thresholds.KindOf(draws_[b]);
            const int32_t end = H - y0 < bh ? H : y0 + bh;
            for (int32_t y = y0; y < end; ++y)
                DisturbRow<kBpp>(tables, kinds_.data(), W, bw, frame.Row(y));
        }
    }

    std::vector<int32_t> draws_;
    std::vector<uint8_t> kinds_;
    std::vector<uint8_t> kindOf_;  // the kind of each draw 0 .. kRandomMax
    double kindsValue_ = 0;        // the value kindOf_ was built for
};

}  // namespace

EffectInterface* CreateTVInterference() {
    return CreateEffect<TVInterference>();
}

}  // namespace vx
