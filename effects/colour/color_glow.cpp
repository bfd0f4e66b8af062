// ColorGlow: tints every pixel towards a glow colour by the share of
// key-coloured pixels in a window around it.  Key-coloured pixels themselves
// can keep their colour, shift to the glow colour or glow like the rest.  The
// effect works inside a margin box; outside it the picture is copied or, to
// show the box, darkened.
//
// The window's counts are running sums: each column keeps the matches among
// the window's rows, updated as the window moves down by one row, and each
// row's window sums slide along it, one column in and one out per pixel.
// Every pixel therefore costs the same whatever the glow range.  Each row's
// windows hold only that row's columns (the row first pushes the 2·rx columns
// before its first pixel), so the sums start afresh on every row.
#include <emmintrin.h>

#include <cstring>
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "effects/colour/colour_common.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum {
    kKeyRed,
    kKeyGreen,
    kKeyBlue,
    kRange,
    kGlowRange,
    kGlowRed,
    kGlowGreen,
    kGlowBlue,
    kIntensity,
    kTreatment,
    kLeftMargin,
    kRightMargin,
    kTopMargin,
    kBottomMargin,
    kShowMargin,
};

// What happens to the key-coloured pixels inside the box.
enum GlowTreatment : int32_t {
    kKeepKeyColour = 0,
    kSetToGlowColour = 1,
    kGlowInside = 2,
};

constexpr const char16_t* kTreatmentNames[] = {u"don't change", u"set to glow color",
                                               u"glow inside"};

constexpr ParamSpec kParamRows[] = {
    RealParam(kKeyRed, u"Color red", 0, 1, 0, 255),
    RealParam(kKeyGreen, u"Color green", 0, 1, 0, 255),
    RealParam(kKeyBlue, u"Color blue", 0, 1, 0, 255),
    IntegerParam(kRange, u"Color range", 30, 1, 0, 765),
    RealParam(kGlowRange, u"Glow range", 3, 0.1, 0, 50),
    RealParam(kGlowRed, u"New color red", 0, 1, 0, 255),
    RealParam(kGlowGreen, u"New color green", 0, 1, 0, 255),
    RealParam(kGlowBlue, u"New color blue", 0, 1, 0, 255),
    RealParam(kIntensity, u"Glow intensity", 0, 1, 0, 100),
    ChoiceParam(kTreatment, u"Change orig. color", 0, kTreatmentNames),
    IntegerParam(kLeftMargin, u"Left Margin", 0, 1, 0, 100),
    IntegerParam(kRightMargin, u"Right Margin", 0, 1, 0, 100),
    IntegerParam(kTopMargin, u"Top Margin", 0, 1, 0, 100),
    IntegerParam(kBottomMargin, u"Bottom Margin", 0, 1, 0, 100),
    BooleanParam(kShowMargin, u"Show margin", true),
};

// One frame's settings, in pixels where the parameters are percentages.
struct Settings {
    int32_t key[3];   // blue, green, red: the order of a pixel's bytes
    int32_t glow[3];  // blue, green, red
    int32_t range;
    double factor;  // what the match count is multiplied by
    int32_t treatment;
    int32_t left, right, top, bottom;  // the box, inclusive
    bool show;
    int32_t rx, ry;  // window half-sizes
};

Settings ReadSettings(HostRenderContext* ctx, int32_t W, int32_t H) {
    Settings s;
    for (int c = 0; c < 3; ++c) {
        s.key[2 - c] = ClampToByte(ReadReal(ctx, kKeyRed + c));
        s.glow[2 - c] = ClampToByte(ReadReal(ctx, kGlowRed + c));
    }
    s.range = ReadIntegerWithin(ctx, kParamRows[kRange]);
    const double glowRange = ReadRealWithin(ctx, kParamRows[kGlowRange]);
    s.factor = ReadRealWithin(ctx, kParamRows[kIntensity]) * 0.05 + 1;
    s.treatment = ReadChoice(ctx, kTreatment);
    const int32_t m[4] = {
        ReadIntegerWithin(ctx, kParamRows[kLeftMargin]),
        ReadIntegerWithin(ctx, kParamRows[kRightMargin]),
        ReadIntegerWithin(ctx, kParamRows[kTopMargin]),
        ReadIntegerWithin(ctx, kParamRows[kBottomMargin]),
    };
    s.left = int32_t(W * m[0] * 0.01);
    s.right = int32_t((100 - m[1]) * W * 0.01);
    s.top = int32_t(H * m[2] * 0.01);
    s.bottom = int32_t((100 - m[3]) * H * 0.01);
    s.show = ReadBoolean(ctx, kShowMargin);
    s.rx = int32_t(W * glowRange * 0.01);
    s.ry = int32_t(H * glowRange * 0.01);
    return s;
}

// Outside the shown box each channel is scaled by 0.7 taken as a 32-bit
// float, the product formed in double precision and truncated.
struct DarkenTable {
    uint8_t level[256];
    DarkenTable() {
        for (int v = 0; v < 256; ++v)
            level[v] = uint8_t(int32_t(double(v) * double(0.7f)));
    }
};

// Pixels outside the box: darkened to show it, or copied as they are.
template <uint32_t kBpp>
void WriteMargin(const Settings& s, const uint8_t* in, uint8_t* out, int32_t count) {
    if (!s.show) {
        std::memcpy(out, in, size_t(count) * kBpp);
        return;
    }
    static const DarkenTable dark;
    for (int32_t x = 0; x < count; ++x, in += kBpp, out += kBpp) {
        out[0] = dark.level[in[0]];
        out[1] = dark.level[in[1]];
        out[2] = dark.level[in[2]];
        if (kBpp == 4) out[3] = 255;
    }
}

// Four 3-byte pixels, each in the low bytes of a 32-bit lane (the top byte
// is the next pixel's first).  Reads 16 bytes.
inline __m128i SpreadThreeBytePixels(const uint8_t* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i first = _mm_unpacklo_epi32(v, _mm_srli_si128(v, 3));
    const __m128i second = _mm_unpacklo_epi32(_mm_srli_si128(v, 6), _mm_srli_si128(v, 9));
    return _mm_unpacklo_epi64(first, second);
}

// 1 for each pixel of a source row within the colour range of the key.  Four
// 4-byte pixels at a time: the absolute byte differences come from two
// saturating subtractions and the three colour differences are summed within
// each pixel's 32 bits.
template <uint32_t kBpp>
void MarkMatches(const Settings& s, const uint8_t* p, int32_t width, uint8_t* marks) {
    const int32_t k0 = s.key[0], k1 = s.key[1], k2 = s.key[2], range = s.range;
    int32_t x = 0;
    {
        const __m128i key = _mm_set1_epi32(k0 | k1 << 8 | k2 << 16);
        const __m128i outer = _mm_set1_epi32(0x00FF00FF), low = _mm_set1_epi32(0xFFFF);
        const __m128i ones = _mm_set1_epi16(1);
        const __m128i limit = _mm_set1_epi32(range + 1), one = _mm_set1_epi8(1);
        auto fourMatches = [&](const uint8_t* q) {
            const __m128i v = kBpp == 4 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(q))
                                        : SpreadThreeBytePixels(q);
            __m128i d = _mm_or_si128(_mm_subs_epu8(v, key), _mm_subs_epu8(key, v));
            // Bytes 0 + 1 in the low 16 bits, byte 2 in the high ones (alpha
            // left out), then both halves added by one multiply-add.
            d = _mm_add_epi16(_mm_and_si128(d, outer), _mm_and_si128(_mm_srli_epi16(d, 8), low));
            d = _mm_madd_epi16(d, ones);
            return _mm_cmplt_epi32(d, limit);
        };
        if (kBpp == 4) {
            for (; x + 16 <= width; x += 16, p += 64) {
                const __m128i a = _mm_packs_epi32(fourMatches(p), fourMatches(p + 16));
                const __m128i b = _mm_packs_epi32(fourMatches(p + 32), fourMatches(p + 48));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(marks + x),
                                 _mm_and_si128(_mm_packs_epi16(a, b), one));
            }
        } else {
            // Four pixels at a time while their 16 bytes stay inside the row.
            for (; x + 6 <= width; x += 4, p += 12) {
                const __m128i a = _mm_packs_epi32(fourMatches(p), fourMatches(p));
                const uint32_t four =
                    uint32_t(_mm_cvtsi128_si32(_mm_and_si128(_mm_packs_epi16(a, a), one)));
                std::memcpy(marks + x, &four, 4);
            }
        }
    }
    for (; x < width; ++x, p += kBpp) {
        const int32_t d0 = p[0] - k0, d1 = p[1] - k1, d2 = p[2] - k2;
        marks[x] = (d0 < 0 ? -d0 : d0) + (d1 < 0 ? -d1 : d1) + (d2 < 0 ? -d2 : d2) <= range;
    }
}

// The column counts gain the match flags of the row entering the window and
// lose those of the row leaving it; either may be absent.
void MoveColumnCounts(int32_t* columns, const uint8_t* entering, const uint8_t* leaving,
                      int32_t width) {
    static const uint8_t kNone[16] = {};
    const __m128i zero = _mm_setzero_si128();
    const size_t step = 16;
    const uint8_t* in = entering ? entering : kNone;
    const uint8_t* out = leaving ? leaving : kNone;
    const size_t inStep = entering ? step : 0, outStep = leaving ? step : 0;
    int32_t x = 0;
    for (; x + 16 <= width; x += 16, in += inStep, out += outStep) {
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out));
        // Key pixels are often few: the same flags in and out change nothing.
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(e, l)) == 0xFFFF) continue;
        const __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(e, zero), _mm_unpacklo_epi8(l, zero));
        const __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(e, zero), _mm_unpackhi_epi8(l, zero));
        // Sign-extended to 32 bits: the 16-bit value in the high half, shifted down.
        const __m128i parts[4] = {
            _mm_srai_epi32(_mm_unpacklo_epi16(lo, lo), 16),
            _mm_srai_epi32(_mm_unpackhi_epi16(lo, lo), 16),
            _mm_srai_epi32(_mm_unpacklo_epi16(hi, hi), 16),
            _mm_srai_epi32(_mm_unpackhi_epi16(hi, hi), 16),
        };
        for (int i = 0; i < 4; ++i) {
            __m128i* c = reinterpret_cast<__m128i*>(columns + x + 4 * i);
            _mm_storeu_si128(c, _mm_add_epi32(_mm_loadu_si128(c), parts[i]));
        }
    }
    for (; x < width; ++x)
        columns[x] += (entering ? entering[x] : 0) - (leaving ? leaving[x] : 0);
}

// The window sums of one row for pixels first .. last: each pixel's window
// holds columns x - rx .. x + rx, where the columns rx .. first + rx - 1 are
// the empty entries pushed by the pixels left of the box and the rest are
// the columns themselves (`entry`).
template <typename Entry>
void SlideWindow(int32_t rx, int32_t first, int32_t last, Entry entry, int32_t* sums) {
    int32_t sum = 0;
    for (int32_t c = first - rx; c <= first + rx; ++c)
        sum += entry(c);
    sums[first] = sum;
    for (int32_t x = first + 1; x <= last; ++x) {
        sum += entry(x + rx) - entry(x - rx - 1);
        sums[x] = sum;
    }
}

// sums[x] for x = from .. to - 1, each the one before plus the entering
// column less the leaving one (none where `leaving` is null), eight pixels at
// a time: the changes, their running totals within each four, the first
// four's total carried into the second, and only then the row's total
// (so the chain from one eight to the next is two steps long).
int32_t Accumulate(const int32_t* entering, const int32_t* leaving, int32_t sum, int32_t from,
                   int32_t to, int32_t* sums) {
    static const int32_t kNone[8] = {};
    const int32_t* out = leaving ? leaving + from : kNone;
    const int32_t outStep = leaving ? 8 : 0;
    auto changes = [&](int32_t x, int32_t k) {
        __m128i d =
            _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entering + x + k)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + k)));
        d = _mm_add_epi32(d, _mm_slli_si128(d, 4));
        return _mm_add_epi32(d, _mm_slli_si128(d, 8));
    };
    __m128i total = _mm_set1_epi32(sum);
    int32_t x = from;
    for (; x + 8 <= to; x += 8, out += outStep) {
        const __m128i first = changes(x, 0);
        const __m128i second = _mm_add_epi32(changes(x, 4), _mm_shuffle_epi32(first, 0xFF));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + x), _mm_add_epi32(first, total));
        total = _mm_add_epi32(second, total);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + x + 4), total);
        total = _mm_shuffle_epi32(total, 0xFF);
    }
    sum = _mm_cvtsi128_si32(total);
    for (; x < to; ++x) {
        sum += entering[x] - (leaving ? leaving[x] : 0);
        sums[x] = sum;
    }
    return sum;
}

// The match counts M of one row's windows from the column counts (zero
// beside the frame), as SlideWindow gives them.  The entering column is
// never an empty entry; the leaving one is from pixel 2·rx + 1 up to
// first + 2·rx when the box leaves a margin.
void SlideMatches(const int32_t* columns, int32_t rx, int32_t first, int32_t last, int32_t* sums) {
    // Pixel first's window: the columns before the empty ones, and its last.
    int32_t sum = columns[first + rx];
    for (int32_t c = first - rx; c < first + rx && c < rx; ++c)
        sum += columns[c];
    sums[first] = sum;
    const int32_t* entering = columns + rx;
    const int32_t* leaving = columns - rx - 1;
    const int32_t end = last + 1;
    auto below = [end](int32_t x) { return x < end ? x : end; };
    int32_t x = first + 1;
    if (first > 0) {
        const int32_t emptyLeaves = below(x > 2 * rx + 1 ? x : 2 * rx + 1);
        sum = Accumulate(entering, leaving, sum, x, emptyLeaves, sums);
        x = emptyLeaves;
        const int32_t plainAgain = below(x > first + 2 * rx + 1 ? x : first + 2 * rx + 1);
        sum = Accumulate(entering, nullptr, sum, x, plainAgain, sums);
        x = plainAgain;
    }
    Accumulate(entering, leaving, sum, x, end, sums);
}

// ratio = int(factor · M) / N for two pixels at once.  N is at least 1 for a
// pixel inside the box: its own column always counts.  Where factor · M may
// reach 2^31 the 32-bit conversion could not hold it, and the pair is worked
// out one by one.
template <bool kHuge>
__m128d RatioPair(const int32_t* M, const int32_t* N, double factor) {
    if (kHuge) {
        const double r0 = double(int64_t(factor * double(M[0]))) / double(N[0]);
        const double r1 = double(int64_t(factor * double(M[1]))) / double(N[1]);
        return _mm_set_pd(r1, r0);
    }
    const __m128d m = _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(M)));
    const __m128d n = _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(N)));
    const __m128d weighted = _mm_cvtepi32_pd(_mm_cvttpd_epi32(_mm_mul_pd(_mm_set1_pd(factor), m)));
    return _mm_div_pd(weighted, n);
}

// What a pixel inside the box gets, worked out for four pixels at a time,
// each channel of two pixels in one pair of doubles.
struct Tint {
    __m128d glow[3];     // each channel's glow colour, twice
    __m128i raise, cut;  // key pixels' change, up and down, per byte
    bool noGlow[3];      // the glow colour's channel is 0
    bool keyGlows;

    // Channel c of four pixels (32 bits each) · keep + glow · ratio, truncated.
    // A glow channel of 0 adds +0, which changes no sum here: those
    // channels skip the product and the sum.
    __m128i Channel(__m128i c, int i, __m128d keep01, __m128d ratio01, __m128d keep23,
                    __m128d ratio23) const {
        __m128d lo = _mm_mul_pd(_mm_cvtepi32_pd(c), keep01);
        __m128d hi = _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(c, c)), keep23);
        if (!noGlow[i]) {
            lo = _mm_add_pd(lo, _mm_mul_pd(glow[i], ratio01));
            hi = _mm_add_pd(hi, _mm_mul_pd(glow[i], ratio23));
        }
        return _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
    }

    // Four source pixels, 32 bits each, to their output with alpha 255; their
    // ratios and match flags as given.
    __m128i Quad(__m128i px, __m128d ratio01, __m128d ratio23, uint32_t keys) const {
        const __m128d none = _mm_setzero_pd(), one = _mm_set1_pd(1.0);
        const __m128d keep01 = _mm_max_pd(_mm_sub_pd(one, ratio01), none);
        const __m128d keep23 = _mm_max_pd(_mm_sub_pd(one, ratio23), none);
        const __m128i byte = _mm_set1_epi32(0xFF);
        const __m128i c0 = Channel(_mm_and_si128(px, byte), 0, keep01, ratio01, keep23, ratio23);
        const __m128i c1 = Channel(_mm_and_si128(_mm_srli_epi32(px, 8), byte), 1, keep01, ratio01,
                                   keep23, ratio23);
        const __m128i c2 = Channel(_mm_and_si128(_mm_srli_epi32(px, 16), byte), 2, keep01, ratio01,
                                   keep23, ratio23);
        // Limited to bytes: channel 0 of the four pixels, then 1, then 2 (twice).
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(c0, c1), _mm_packs_epi32(c2, c2));
        const __m128i opaque = _mm_set1_epi32(int32_t(0xFF000000u));
        const __m128i pairs = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 4));  // 0 1 0 1 ...
        const __m128i rest = _mm_unpacklo_epi8(_mm_srli_si128(bytes, 8), _mm_cmpeq_epi8(px, px));
        __m128i out = _mm_unpacklo_epi16(pairs, rest);
        if (!keyGlows && keys != 0) {
            // Key pixels keep their colour plus the change, limited to a byte.
            const __m128i kept = _mm_or_si128(_mm_subs_epu8(_mm_adds_epu8(px, raise), cut), opaque);
            __m128i mask = _mm_cvtsi32_si128(int32_t(keys));
            mask = _mm_unpacklo_epi8(mask, mask);
            mask = _mm_cmpgt_epi32(_mm_unpacklo_epi16(mask, mask), _mm_setzero_si128());
            out = _mm_or_si128(_mm_and_si128(mask, kept), _mm_andnot_si128(mask, out));
        }
        return out;
    }
};

// Pixels first .. last of a row inside the box, from their window sums, four
// at a time; the last few through a copy padded with the last pixel.
template <uint32_t kBpp, bool kHuge>
void GlowSpan(const Settings& s, const Tint& tint, const int32_t* M, const int32_t* N,
              const uint8_t* marks, const uint8_t* in, uint8_t* out, int32_t first, int32_t last) {
    const double factor = s.factor;
    // `spread`: the four 3-byte pixels' 16 bytes lie inside the row.
    auto four = [&](const uint8_t* p, const int32_t* m, const int32_t* n, const uint8_t* keys,
                    bool spread) {
        __m128i px;
        if (kBpp == 4)
            px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        else if (spread)
            px = SpreadThreeBytePixels(p);
        else
            px = _mm_set_epi32(int32_t(LoadPixel<3>(p + 9)), int32_t(LoadPixel<3>(p + 6)),
                               int32_t(LoadPixel<3>(p + 3)), int32_t(LoadPixel<3>(p)));
        uint32_t k;
        std::memcpy(&k, keys, 4);
        return tint.Quad(px, RatioPair<kHuge>(m, n, factor), RatioPair<kHuge>(m + 2, n + 2, factor),
                         k);
    };
    auto store = [](uint8_t* q, __m128i px, int32_t count) {
        alignas(16) uint32_t v[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(v), px);
        for (int32_t i = 0; i < count; ++i)
            StorePixel<kBpp>(q + i * kBpp, v[i]);
    };
    int32_t x = first;
    for (; x + 3 <= last; x += 4) {
        const __m128i px = four(in + size_t(x) * kBpp, M + x, N + x, marks + x, x + 5 <= last);
        uint8_t* q = out + size_t(x) * kBpp;
        if (kBpp == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q), px);
        } else {
            // Each 4-byte store's last byte is overwritten by the next pixel.
            const uint32_t v[4] = {uint32_t(_mm_cvtsi128_si32(px)),
                                   uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(px, 4))),
                                   uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(px, 8))),
                                   uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(px, 12)))};
            std::memcpy(q, &v[0], 4);
            std::memcpy(q + 3, &v[1], 4);
            std::memcpy(q + 6, &v[2], 4);
            StorePixel<3>(q + 9, v[3]);
        }
    }
    if (x > last) return;
    uint8_t p[16];
    int32_t m[4], n[4];
    uint8_t keys[4];
    for (int32_t i = 0; i < 4; ++i) {
        const int32_t at = x + i <= last ? x + i : last;
        std::memcpy(p + i * kBpp, in + size_t(at) * kBpp, kBpp);
        m[i] = M[at];
        n[i] = N[at];
        keys[i] = marks[at];
    }
    store(out + size_t(x) * kBpp, four(p, m, n, keys, false), last - x + 1);
}

// The glowing bytes of one window size N: for each match count M, once it
// first occurs, a table of every channel's output for every source byte,
// worked out with the same arithmetic as a single pixel.  Kept from frame to
// frame while N, the intensity factor and the glow colour stay.  Their number
// is bounded (frames whose counts vary widely would otherwise fill memory);
// pixels with counts beyond them are worked out directly.
class GlowTables {
  public:
    static constexpr int32_t kTableBytes = 3 * 256;
    static constexpr size_t kMaxTables = 1024;
    static constexpr int32_t kMaxPixels = 1 << 16;  // larger windows keep no tables

    // True when the tables can serve windows of n pixels.
    bool Prepare(const Settings& s, int32_t n) {
        if (n < 1 || n > kMaxPixels) return false;
        if (n != pixels_ || s.factor != factor_ || s.glow[0] != glow_[0] || s.glow[1] != glow_[1] ||
            s.glow[2] != glow_[2]) {
            pixels_ = n;
            factor_ = s.factor;
            for (int c = 0; c < 3; ++c)
                glow_[c] = s.glow[c];
            offsets_.assign(size_t(n) + 1, -1);
            bytes_.clear();
        }
        return true;
    }

    int32_t pixels() const { return pixels_; }
    // Per M (M <= N): where its table starts in Bytes(), -1 before it is made.
    const int32_t* Offsets() const { return offsets_.data(); }
    const uint8_t* Bytes() const { return bytes_.data(); }

    // Makes the table for M matches; false when no more tables may be made.
    bool Make(int32_t m) {
        if (bytes_.size() >= kMaxTables * kTableBytes) return false;
        const size_t start = bytes_.size();
        bytes_.resize(start + kTableBytes);
        uint8_t* t = bytes_.data() + start;
        const double ratio = double(int64_t(factor_ * double(m))) / double(pixels_);
        const double keep = 1 - ratio < 0 ? 0 : 1 - ratio;
        for (int c = 0; c < 3; ++c) {
            const double tint = glow_[c] * ratio;
            for (int v = 0; v < 256; ++v)
                t[c * 256 + v] = LimitToByte(int32_t(v * keep + tint));
        }
        offsets_[size_t(m)] = int32_t(start);
        return true;
    }

  private:
    int32_t pixels_ = -1;
    double factor_ = 0;
    int32_t glow_[3] = {0, 0, 0};
    std::vector<int32_t> offsets_;
    std::vector<uint8_t> bytes_;
};

// Pixels first .. last of a row whose windows all hold tables.pixels()
// pixels; `kept` holds what matching pixels get unless they glow.  Once the
// tables run out, the rest of the run is worked out directly.
template <uint32_t kBpp, bool kHuge, bool kKeyGlows>
void GlowSpanByTable(const Settings& s, const Tint& tint, GlowTables& tables, const uint8_t* kept,
                     const int32_t* M, const int32_t* N, const uint8_t* marks, const uint8_t* in,
                     uint8_t* out, int32_t first, int32_t last) {
    const int32_t* offsets = tables.Offsets();
    const uint8_t* bytes = tables.Bytes();
    for (int32_t x = first; x <= last; ++x) {
        int32_t at = offsets[M[x]];
        if (at < 0) {
            if (!tables.Make(M[x])) {
                GlowSpan<kBpp, kHuge>(s, tint, M, N, marks, in, out, x, last);
                return;
            }
            offsets = tables.Offsets();
            bytes = tables.Bytes();
            at = offsets[M[x]];
        }
        const uint8_t* t = !kKeyGlows && marks[x] ? kept : bytes + at;
        const uint32_t v = LoadPixel<kBpp>(in + size_t(x) * kBpp);
        StorePixel<kBpp>(out + size_t(x) * kBpp,
                         uint32_t(t[v & 255]) | uint32_t(t[256 + (v >> 8 & 255)]) << 8 |
                             uint32_t(t[512 + (v >> 16 & 255)]) << 16 | 0xFF000000u);
    }
}

class ColorGlow : public EffectBase {
  public:
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        if (bytesPerPixel < 3 || src.IsPacked422()) {
            CopyPicture(src, dst, frameWidth, frameHeight, bytesPerPixel);
            return kOk;
        }
        const Settings s = ReadSettings(args.context, frameWidth, frameHeight);
        // A row's flags are kept from when it enters the window until it
        // leaves: the rows y - ry - 1 .. y + ry, at most 2·ry + 2 of them.
        markRows_ = 2 * s.ry + 2 < frameHeight ? 2 * s.ry + 2 : frameHeight > 0 ? frameHeight : 1;
        marks_.resize(size_t(frameWidth) * size_t(markRows_));
        // Zeros beside the frame stand for the columns outside it.
        columns_.assign(size_t(frameWidth) + 2 * size_t(s.rx) + 2, 0);
        matches_.resize(size_t(frameWidth));
        pixels_.resize(size_t(frameWidth));
        // factor · M stays below 6 · N, N below (2·rx + 1)·(2·ry + 1): beyond
        // 2^31 the ratios are worked out one pixel at a time.
        const bool huge = 6.0 * (2.0 * s.rx + 1) * (2.0 * s.ry + 1) >= 2147483647.0;
        if (bytesPerPixel == 4) {
            if (huge)
                Render<4, true>(s, src, dst);
            else
                Render<4, false>(s, src, dst);
        } else {
            if (huge)
                Render<3, true>(s, src, dst);
            else
                Render<3, false>(s, src, dst);
        }
        return kOk;
    }

  private:
    uint8_t* Marks(int32_t y) { return marks_.data() + size_t(y % markRows_) * size_t(frameWidth); }

    template <uint32_t kBpp, bool kHuge>
    void Render(const Settings& s, const FrameView& src, const FrameView& dst) {
        const int32_t W = frameWidth, H = frameHeight, rx = s.rx, ry = s.ry;
        int32_t* columns = columns_.data() + rx + 1;  // columns[-rx - 1 .. W + rx]
        const int32_t first = s.left < 0 ? 0 : s.left > W ? W : s.left;
        const int32_t last = s.right >= W ? W - 1 : s.right;
        const Tint tint = MakeTint(s);
        // Most windows lie wholly inside the frame: their pixels glow by table.
        const int32_t fullRows = 2 * ry + 1 < H ? 2 * ry + 1 : H;
        const bool useTables = tables_.Prepare(s, (2 * rx + 1) * fullRows);
        uint8_t kept[GlowTables::kTableBytes];
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
                kept[c * 256 + v] =
                    LimitToByte(v + (s.treatment == kSetToGlowColour ? s.glow[c] - s.key[c] : 0));
        for (int32_t r = 0; r < ry && r < H; ++r) {
            MarkMatches<kBpp>(s, src.Row(r), W, Marks(r));
            MoveColumnCounts(columns, Marks(r), nullptr, W);
        }
        int32_t pixelsRows = -1;  // the window's rows pixels_ was counted for
        for (int32_t y = 0; y < H; ++y) {
            // The column counts move down to rows y - ry .. y + ry.
            uint8_t* entering = y + ry < H ? Marks(y + ry) : nullptr;
            const uint8_t* leaving = y - ry - 1 >= 0 ? Marks(y - ry - 1) : nullptr;
            if (entering) MarkMatches<kBpp>(s, src.Row(y + ry), W, entering);
            if (entering || leaving) MoveColumnCounts(columns, entering, leaving, W);
            const uint8_t* in = src.Row(y);
            uint8_t* out = dst.Row(y);
            if (y < s.top || y > s.bottom || first > last) {
                WriteMargin<kBpp>(s, in, out, W);
                continue;
            }
            const int32_t lo = y - ry < 0 ? 0 : y - ry;
            const int32_t hi = y + ry > H - 1 ? H - 1 : y + ry;
            const int32_t rows = hi - lo + 1;
            const auto isEmpty = [&](int32_t c) { return c >= rx && c < first + rx; };
            SlideMatches(columns, rx, first, last, matches_.data());
            if (rows != pixelsRows) {
                pixelsRows = rows;
                const auto pixelsIn = [&](int32_t c) {
                    return isEmpty(c) ? 2 * ry + 1 : c >= 0 && c < W ? rows : 0;
                };
                SlideWindow(rx, first, last, pixelsIn, pixels_.data());
                FindRuns(first, last, useTables ? tables_.pixels() : -1);
            }
            WriteMargin<kBpp>(s, in, out, first);
            for (const Run& run : runs_) {
                if (run.byTable && tint.keyGlows)
                    GlowSpanByTable<kBpp, kHuge, true>(s, tint, tables_, kept, matches_.data(),
                                                       pixels_.data(), Marks(y), in, out, run.first,
                                                       run.last);
                else if (run.byTable)
                    GlowSpanByTable<kBpp, kHuge, false>(s, tint, tables_, kept, matches_.data(),
                                                        pixels_.data(), Marks(y), in, out,
                                                        run.first, run.last);
                else
                    GlowSpan<kBpp, kHuge>(s, tint, matches_.data(), pixels_.data(), Marks(y), in,
                                          out, run.first, run.last);
            }
            WriteMargin<kBpp>(s, in + size_t(last + 1) * kBpp, out + size_t(last + 1) * kBpp,
                              W - last - 1);
        }
    }

    // The row's pixels first .. last in runs: those whose window holds n
    // pixels, and the others.
    void FindRuns(int32_t first, int32_t last, int32_t n) {
        runs_.clear();
        for (int32_t x = first; x <= last;) {
            const bool byTable = pixels_[x] == n;
            int32_t end = x;
            while (end < last && (pixels_[end + 1] == n) == byTable)
                ++end;
            runs_.push_back(Run{x, end, byTable});
            x = end + 1;
        }
    }

    static Tint MakeTint(const Settings& s) {
        // What a matching pixel gets unless it glows: its colour, shifted or not.
        const bool shift = s.treatment == kSetToGlowColour;
        uint8_t raise[16] = {}, cut[16] = {};
        for (int c = 0; c < 3; ++c) {
            const int32_t d = shift ? s.glow[c] - s.key[c] : 0;
            for (int i = 0; i < 4; ++i) {
                raise[4 * i + c] = uint8_t(d > 0 ? d : 0);
                cut[4 * i + c] = uint8_t(d < 0 ? -d : 0);
            }
        }
        Tint t;
        for (int c = 0; c < 3; ++c) {
            t.glow[c] = _mm_set1_pd(s.glow[c]);
            t.noGlow[c] = s.glow[c] == 0;
        }
        t.raise = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raise));
        t.cut = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cut));
        t.keyGlows = s.treatment == kGlowInside;
        return t;
    }

    std::vector<uint8_t> marks_;  // match flags of the rows in and about the window
    int32_t markRows_ = 1;
    std::vector<int32_t> columns_;  // matches per column among the window's rows
    std::vector<int32_t> matches_;  // per pixel of the current row: M
    std::vector<int32_t> pixels_;   // per pixel of the current row: N
    struct Run {
        int32_t first, last;
        bool byTable;
    };
    std::vector<Run> runs_;  // of the current row's pixels, by their N
    GlowTables tables_;
};

}  // namespace

EffectInterface* CreateColorGlow() {
    return CreateEffect<ColorGlow>();
}

}  // namespace vx
