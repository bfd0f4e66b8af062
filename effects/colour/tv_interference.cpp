// TVInterference: a disturbed television picture.  The frame is cut into
// blocks, and each block, by one draw of the shared generator, turns white or
// black, brightens, darkens or stays as it is; the share of disturbed blocks
// follows "Value".  Works in place.  The generator is never seeded here, so
// every frame continues its sequence and brings a new pattern.
//
// Every draw is turned into a kind code, minus the number of thresholds it
// reached (0 white, -1 black, -2 brightened, -3 darkened, -4 untouched), held
// in every byte of the pixel, so that sixteen bytes are painted at once.
#include <emmintrin.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/random.h"
#include "core/random_lanes.h"
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

constexpr int8_t kUntouchedCode = -4;

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
            below_[i] = _mm_set1_epi32(FirstReaching(t[i]) - 1);
        first_ = _mm_set1_epi32(FirstReaching(t[0]));
        touchesNothing_ = FirstReaching(t[3]) == 0;
    }

    // Every draw reaches every threshold: all blocks stay untouched.
    bool TouchesNothing() const { return touchesNothing_; }

    // For four draws in 32-bit lanes, whether each reached threshold i.
    __m128i Reached(__m128i draws, int i) const { return _mm_cmpgt_epi32(draws, below_[i]); }

    // Whether each of four draws reached no threshold.
    __m128i ReachedNone(__m128i draws) const { return _mm_cmpgt_epi32(first_, draws); }

    // The kind codes of four draws, each in all four bytes of its lane: the
    // masks are 0 or -1 in every byte, so their byte sums count down.
    __m128i Codes(__m128i draws) const {
        return _mm_add_epi8(_mm_add_epi8(Reached(draws, 0), Reached(draws, 1)),
                            _mm_add_epi8(Reached(draws, 2), Reached(draws, 3)));
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

    __m128i below_[4];  // the first draw reaching each threshold, minus 1
    __m128i first_;     // the first draw reaching threshold 0
    bool touchesNothing_;
};

// Brightened bytes are ClampToByte(v * 1.3) and darkened ones
// ClampToByte(v * 0.7); in integers both are (v * m + 5) / 10 with m = 13 or
// 7 (per byte), held at 255 by the packing, the division being * 6554 >> 16
// (exact for all sums below 16384).  The double product v * 0.7 falls just
// below the half for v = 45, 85, 165 and 175, which therefore round down.
//
// The painters are inlined everywhere: a call would pass their masks through
// memory for every sixteen bytes.
[[gnu::always_inline]] inline __m128i ScaledBytes(__m128i p, __m128i m) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(5), tenth = _mm_set1_epi16(6554);
    const __m128i lo = _mm_mulhi_epu16(
        _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi8(m, zero)),
                      half),
        tenth);
    const __m128i hi = _mm_mulhi_epu16(
        _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi8(m, zero)),
                      half),
        tenth);
    return _mm_packus_epi16(lo, hi);
}

// All ones in the bytes whose darkening rounds down from the integer form.
[[gnu::always_inline]] inline __m128i DarkeningRoundsDown(__m128i p) {
    return _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(p, _mm_set1_epi8(45)), _mm_cmpeq_epi8(p, _mm_set1_epi8(85))),
        _mm_or_si128(_mm_cmpeq_epi8(p, _mm_set1_epi8(char(165))),
                     _mm_cmpeq_epi8(p, _mm_set1_epi8(char(175)))));
}

// Sixteen bytes painted by their kinds.  `white` is all ones in the bytes
// whose draw reached no threshold, reachedN in those whose draw reached
// threshold N; `alpha` marks the alpha bytes (none in 3-byte frames), which
// become 255 in every disturbed pixel.
[[gnu::always_inline]] inline __m128i PaintBytes(__m128i p, __m128i white, __m128i reached1,
                                                 __m128i reached2, __m128i reached3,
                                                 __m128i alpha) {
    const __m128i m = _mm_sub_epi8(_mm_set1_epi8(13), _mm_and_si128(reached2, _mm_set1_epi8(6)));
    const __m128i scaled =
        _mm_add_epi8(ScaledBytes(p, m), _mm_and_si128(DarkeningRoundsDown(p), reached2));
    // Disturbed bytes: scaled, cleared for black (threshold 1 not reached),
    // set for white.  Untouched ones keep p.
    const __m128i disturbed =
        _mm_or_si128(_mm_or_si128(_mm_and_si128(scaled, reached1), white), alpha);
    return _mm_or_si128(_mm_and_si128(reached3, p), _mm_andnot_si128(reached3, disturbed));
}

// Sixteen bytes painted by their kind codes.
[[gnu::always_inline]] inline __m128i PaintByCodes(__m128i p, __m128i codes, __m128i alpha) {
    return PaintBytes(
        p, _mm_cmpeq_epi8(codes, _mm_setzero_si128()), _mm_cmplt_epi8(codes, _mm_set1_epi8(-1)),
        _mm_cmplt_epi8(codes, _mm_set1_epi8(-2)), _mm_cmplt_epi8(codes, _mm_set1_epi8(-3)), alpha);
}

__m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

void Store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

// The alpha bytes of a 16-byte run of pixels.
__m128i AlphaBytes(uint32_t bpp) {
    return bpp == 4 ? _mm_set1_epi32(int32_t(0xFF000000u)) : _mm_setzero_si128();
}

// Paints `bytes` bytes of a row from their kind codes; the last partial
// sixteen go through a buffer so that nothing past the row is touched.
void PaintRow(const int8_t* codes, uint8_t* p, size_t bytes, __m128i alpha) {
    size_t i = 0;
    for (; i + 16 <= bytes; i += 16)
        Store(p + i, PaintByCodes(Load(p + i), Load(codes + i), alpha));
    if (i == bytes) return;
    uint8_t px[16] = {};
    int8_t code[16];
    std::memset(code, kUntouchedCode, sizeof code);
    std::memcpy(px, p + i, bytes - i);
    std::memcpy(code, codes + i, bytes - i);
    Store(px, PaintByCodes(Load(px), Load(code), alpha));
    std::memcpy(p + i, px, bytes - i);
}

// The kind codes of the next `count` draws into out[0 .. count rounded up to
// 8), one 32-bit lane each; the generator ends after the count-th draw.
void DrawCodes(const Thresholds& thresholds, int32_t* out, size_t count) {
    if (count == 0) return;
    RandomLanes lanes(RandomState());
    for (size_t i = 0;; i += 8) {
        __m128i low, high;
        lanes.Draws(low, high);
        Store(out + i, thresholds.Codes(low));
        Store(out + i + 4, thresholds.Codes(high));
        if (count - i <= 8) {
            SeedRandom(lanes.StateAfter(int(count - i - 1)));
            return;
        }
        lanes.Advance();
    }
}

// The codes of `pixels` pixels of `bpp` bytes, from one code per pixel; one
// spare byte after the last for 4-byte stores.
void SpreadPixelCodes(const int32_t* codes, size_t pixels, uint32_t bpp, int8_t* out) {
    for (size_t i = 0; i < pixels; ++i)
        std::memcpy(out + i * bpp, codes + i, 4);
}

// Twelve bytes of 3-byte pixel codes from the four lane codes (each in all
// four bytes of its lane), in bytes 0 .. 11.  Shifting each 64-bit half down
// a byte leaves its two pixels' six bytes at its start; the upper half's six
// then move down next to the lower half's.
__m128i ThreeByteCodes(__m128i lanes) {
    const __m128i firstSix = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i nextSix = _mm_setr_epi8(0, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0);
    const __m128i halves = _mm_srli_epi64(lanes, 8);
    return _mm_or_si128(_mm_and_si128(halves, firstSix),
                        _mm_and_si128(_mm_srli_si128(halves, 2), nextSix));
}

// Four one-pixel blocks of a 4-byte frame: each pixel's lane masks are its
// byte masks.
[[gnu::always_inline]] inline void PaintDraws(const Thresholds& thresholds, __m128i draws,
                                              uint8_t* p) {
    Store(p, PaintBytes(Load(p), thresholds.ReachedNone(draws), thresholds.Reached(draws, 1),
                        thresholds.Reached(draws, 2), thresholds.Reached(draws, 3), AlphaBytes(4)));
}

// Eight one-pixel blocks of a 4-byte frame, painted as they are drawn.  (The
// steps are written out: a loop over an array of vectors sends them through
// memory.)
void PaintPixels(const Thresholds& thresholds, RandomLanes& lanes, uint8_t* p,
                 std::integral_constant<uint32_t, 4>) {
    __m128i low, high;
    lanes.Draws(low, high);
    lanes.Advance();
    PaintDraws(thresholds, low, p);
    PaintDraws(thresholds, high, p + 16);
}

// Sixteen one-pixel blocks of a 3-byte frame: the codes of sixteen draws
// spread over 48 bytes.
void PaintPixels(const Thresholds& thresholds, RandomLanes& lanes, uint8_t* p,
                 std::integral_constant<uint32_t, 3>) {
    __m128i d0, d1, d2, d3;
    lanes.Draws(d0, d1);
    lanes.Advance();
    lanes.Draws(d2, d3);
    lanes.Advance();
    const __m128i b0 = ThreeByteCodes(thresholds.Codes(d0));
    const __m128i b1 = ThreeByteCodes(thresholds.Codes(d1));
    const __m128i b2 = ThreeByteCodes(thresholds.Codes(d2));
    const __m128i b3 = ThreeByteCodes(thresholds.Codes(d3));
    const __m128i none = _mm_setzero_si128();
    Store(p, PaintByCodes(Load(p), _mm_or_si128(b0, _mm_slli_si128(b1, 12)), none));
    Store(p + 16, PaintByCodes(Load(p + 16),
                               _mm_or_si128(_mm_srli_si128(b1, 4), _mm_slli_si128(b2, 8)), none));
    Store(p + 32, PaintByCodes(Load(p + 32),
                               _mm_or_si128(_mm_srli_si128(b2, 8), _mm_slli_si128(b3, 4)), none));
}

// One row of one-pixel blocks, painted as drawn; the last few pixels through
// a code buffer.
template <uint32_t kBpp>
void DisturbPixelRow(const Thresholds& thresholds, uint8_t* p, int32_t width) {
    constexpr int32_t kStep = kBpp == 4 ? 8 : 16;  // 32 or 48 bytes
    const int32_t whole = width / kStep * kStep;
    const uint32_t start = RandomState();
    RandomLanes lanes(start);
    for (int32_t x = 0; x < whole; x += kStep, p += kStep * kBpp)
        PaintPixels(thresholds, lanes, p, std::integral_constant<uint32_t, kBpp>());
    SeedRandom(RandomStateAfter(start, uint32_t(whole)));
    const int32_t rest = width - whole;
    if (rest == 0) return;
    int32_t codes[kStep];
    int8_t bytes[kStep * kBpp + 1];
    DrawCodes(thresholds, codes, size_t(rest));
    SpreadPixelCodes(codes, size_t(rest), kBpp, bytes);
    PaintRow(bytes, p, size_t(rest) * kBpp, AlphaBytes(kBpp));
}

// A run of bytes of a band row whose blocks share one kind.
struct Run {
    uint32_t begin, end;
};

// A band's runs by kind: white, black, brightened, darkened.
using KindRuns = std::vector<Run>[4];

// Fills bytes with a pattern that repeats every pixel (white, or black with
// opaque alpha): whole sixteens, the last overlapping the one before.
void FillRun(uint8_t* p, size_t bytes, __m128i pattern) {
    if (bytes < 16) {
        uint8_t px[16];
        Store(px, pattern);
        std::memcpy(p, px, bytes);
        return;
    }
    for (size_t i = 0; i + 16 < bytes; i += 16)
        Store(p + i, pattern);
    Store(p + bytes - 16, pattern);
}

// Sixteen bytes of a brightened or darkened run, alpha opaque.
template <bool kDarken>
[[gnu::always_inline]] inline __m128i ScaledRunBytes(__m128i p, __m128i alpha) {
    __m128i out = ScaledBytes(p, _mm_set1_epi8(kDarken ? 7 : 13));
    if (kDarken) out = _mm_add_epi8(out, DarkeningRoundsDown(p));
    return _mm_or_si128(out, alpha);
}

// Brightens or darkens a run of bytes.  The last sixteen, overlapping the
// ones before, are read before any is written.
template <bool kDarken>
void ScaleRun(uint8_t* p, size_t bytes, __m128i alpha) {
    if (bytes < 16) {
        uint8_t px[16] = {};
        std::memcpy(px, p, bytes);
        Store(px, ScaledRunBytes<kDarken>(Load(px), alpha));
        std::memcpy(p, px, bytes);
        return;
    }
    const __m128i last = ScaledRunBytes<kDarken>(Load(p + bytes - 16), alpha);
    for (size_t i = 0; i + 16 < bytes; i += 16)
        Store(p + i, ScaledRunBytes<kDarken>(Load(p + i), alpha));
    Store(p + bytes - 16, last);
}

// Paints each run of `runs` down the band's `rows` rows (from `first`,
// `step` bytes apart) with paint(p, bytes).
template <typename Paint>
void PaintRunsDown(const std::vector<Run>& runs, uint8_t* first, ptrdiff_t step, int32_t rows,
                   Paint paint) {
    for (const Run& r : runs) {
        uint8_t* p = first + r.begin;
        for (int32_t k = 0; k < rows; ++k, p += step)
            paint(p, size_t(r.end - r.begin));
    }
}

// Paints a band of wide blocks kind by kind, each run down the band's rows
// before the next: no branch on the kind per run or per row.  White and black
// runs are written without being read, untouched ones are not visited.
void PaintBand(const KindRuns& runs, uint8_t* first, ptrdiff_t step, int32_t rows, __m128i alpha) {
    PaintRunsDown(runs[0], first, step, rows,
                  [](uint8_t* p, size_t bytes) { FillRun(p, bytes, _mm_set1_epi8(-1)); });
    PaintRunsDown(runs[1], first, step, rows,
                  [alpha](uint8_t* p, size_t bytes) { FillRun(p, bytes, alpha); });
    PaintRunsDown(runs[2], first, step, rows,
                  [alpha](uint8_t* p, size_t bytes) { ScaleRun<false>(p, bytes, alpha); });
    PaintRunsDown(runs[3], first, step, rows,
                  [alpha](uint8_t* p, size_t bytes) { ScaleRun<true>(p, bytes, alpha); });
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
        if (thresholds.TouchesNothing()) {
            // The picture stays; the generator still moves on a draw per block.
            const uint64_t blocks =
                uint64_t((int64_t(W) + bw - 1) / bw) * uint64_t((int64_t(H) + bh - 1) / bh);
            SeedRandom(RandomStateAfter(RandomState(), blocks));
            return kOk;
        }
        Disturb(frame, thresholds, bw, bh);
        return kOk;
    }

  private:
    // One draw per block, blocks left to right, bands top to bottom; a band's
    // codes are spread over its row bytes once and painted on every row.
    void Disturb(const FrameView& frame, const Thresholds& thresholds, int32_t bw, int32_t bh) {
        const int32_t W = frameWidth, H = frameHeight;
        const uint32_t bpp = bytesPerPixel;
        if (bw == 1 && bh == 1) {
            for (int32_t y = 0; y < H; ++y)
                if (bpp == 4)
                    DisturbPixelRow<4>(thresholds, frame.Row(y), W);
                else
                    DisturbPixelRow<3>(thresholds, frame.Row(y), W);
            return;
        }
        const size_t blocks = size_t((int64_t(W) + bw - 1) / bw);
        const size_t rowBytes = size_t(W) * bpp;
        blockCodes_.resize((blocks + 7) / 8 * 8);
        const __m128i alpha = AlphaBytes(bpp);
        // Blocks of sixteen bytes or more are painted run by run.  Runs of
        // one kind have another block between them: half the blocks at most.
        const size_t blockBytes = size_t(bw) * bpp;
        const bool wide = blockBytes >= 16;
        if (wide)
            for (std::vector<Run>& r : runs_)
                r.reserve((blocks + 1) / 2);
        else
            rowCodes_.resize(rowBytes + 1);  // one spare byte for 4-byte stores
        const ptrdiff_t step = H > 1 ? frame.Row(1) - frame.Row(0) : 0;
        for (int32_t y0 = 0; y0 < H; y0 += bh) {
            DrawCodes(thresholds, blockCodes_.data(), blocks);
            const int32_t end = H - y0 < bh ? H : y0 + bh;
            if (wide) {
                FindRuns(blocks, blockBytes, rowBytes);
                PaintBand(runs_, frame.Row(y0), step, end - y0, alpha);
                continue;
            }
            const int8_t* codes = SpreadCodes(bw, bpp, blocks, rowBytes);
            for (int32_t y = y0; y < end; ++y)
                PaintRow(codes, frame.Row(y), rowBytes, alpha);
        }
    }

    // The codes of every byte of a band row, from the codes of its blocks.
    const int8_t* SpreadCodes(int32_t bw, uint32_t bpp, size_t blocks, size_t rowBytes) {
        // One-pixel blocks of 4 bytes: the block codes already are.
        if (bw == 1 && bpp == 4) return reinterpret_cast<const int8_t*>(blockCodes_.data());
        int8_t* out = rowCodes_.data();
        if (bw == 1) {
            SpreadPixelCodes(blockCodes_.data(), blocks, bpp, out);
            return out;
        }
        const size_t blockBytes = size_t(bw) * bpp;
        for (size_t b = 0, at = 0; b < blocks; ++b, at += blockBytes)
            std::memset(out + at, int8_t(blockCodes_[b]),
                        rowBytes - at < blockBytes ? rowBytes - at : blockBytes);
        return out;
    }

    // The runs of a band row: neighbouring blocks of one kind joined,
    // untouched ones left out.
    void FindRuns(size_t blocks, size_t blockBytes, size_t rowBytes) {
        for (std::vector<Run>& r : runs_)
            r.clear();
        int8_t previous = kUntouchedCode;
        for (size_t b = 0, at = 0; b < blocks; ++b, at += blockBytes) {
            const int8_t code = int8_t(blockCodes_[b]);
            const uint32_t end = uint32_t(rowBytes - at < blockBytes ? rowBytes : at + blockBytes);
            if (code != kUntouchedCode) {
                std::vector<Run>& kind = runs_[-code];
                if (code == previous)
                    kind.back().end = end;
                else
                    kind.push_back({uint32_t(at), end});
            }
            previous = code;
        }
    }

    KindRuns runs_;
    std::vector<int32_t> blockCodes_;  // a band's block codes, 8 more at most
    std::vector<int8_t> rowCodes_;     // the codes of a band row's bytes
};

}  // namespace

EffectInterface* CreateTVInterference() {
    return CreateEffect<TVInterference>();
}

}  // namespace vx
