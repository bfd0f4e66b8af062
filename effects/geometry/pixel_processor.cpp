#include "effects/geometry/pixel_processor.h"

#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vx {

int32_t TruncateChannel(double v) {
    constexpr double kLimit = 16777216.0;  // far beyond a byte, far below overflow
    if (v >= kLimit) return int32_t(kLimit);
    if (v <= -kLimit) return -int32_t(kLimit);
    return v == v ? int32_t(v) : 0;
}

namespace {

enum class PixelLayout { kBgr, kBgra, kPacked };

uint8_t ClampByte(int32_t v) {
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

int32_t Limit(int32_t v, int32_t last) {
    return v < 0 ? 0 : v > last ? last : v;
}

// Channels of pixel x of a row.  A last even packed pixel without a partner
// has no V byte of its own: it reads as neutral chroma.
template <PixelLayout L>
inline void ReadAt(const uint8_t* row, int32_t x, int32_t width, int32_t out[3]) {
    if constexpr (L == PixelLayout::kPacked) {
        const uint8_t* p = row + 2 * x;
        out[0] = p[1];
        if (x & 1) {
            out[1] = p[-2];
            out[2] = p[0];
        } else {
            out[1] = p[0];
            out[2] = x + 1 < width ? p[2] : 128;
        }
    } else {
        const uint8_t* p = row + (L == PixelLayout::kBgra ? 4 : 3) * x;
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
    }
}

template <PixelLayout L>
inline void WriteAt(uint8_t* row, int32_t x, int32_t width, const int32_t ch[3]) {
    if constexpr (L == PixelLayout::kPacked) {
        uint8_t* p = row + 2 * x;
        p[1] = ClampByte(ch[0]);
        if (x & 1) {
            // The pair's chroma ends as the average of both pixels' results.
            p[-2] = ClampByte((ch[1] + p[-2]) / 2);
            p[0] = ClampByte((ch[2] + p[0]) / 2);
        } else {
            p[0] = ClampByte(ch[1]);
            if (x + 1 < width) p[2] = ClampByte(ch[2]);
        }
    } else {
        uint8_t* p = row + (L == PixelLayout::kBgra ? 4 : 3) * x;
        p[2] = ClampByte(ch[0]);
        p[1] = ClampByte(ch[1]);
        p[0] = ClampByte(ch[2]);
        if constexpr (L == PixelLayout::kBgra) p[3] = 255;
    }
}

PixelLayout LayoutOf(const PixelProcessor& p) {
    if (p.packedChroma) return PixelLayout::kPacked;
    return p.bytesPerPixel == 4 ? PixelLayout::kBgra : PixelLayout::kBgr;
}

// Calls f.template operator()<Layout>() for the processor's layout.
template <class F>
void WithLayout(const PixelProcessor& p, F&& f) {
    switch (LayoutOf(p)) {
        case PixelLayout::kPacked:
            f.template operator()<PixelLayout::kPacked>();
            break;
        case PixelLayout::kBgra:
            f.template operator()<PixelLayout::kBgra>();
            break;
        default:
            f.template operator()<PixelLayout::kBgr>();
            break;
    }
}

// The amount blend: 100 stores the filtered value, anything else mixes it
// with the source pixel.
struct Blend {
    bool active;
    double keep;  // 1 - t
    double take;  // t

    explicit Blend(int32_t amount)
        : active(amount != 100), keep(1.0 - amount * 0.01), take(amount * 0.01) {}

    void Apply(const int32_t source[3], int32_t filtered[3]) const {
        if (!active) return;
        for (int c = 0; c < 3; ++c)
            filtered[c] = TruncateChannel(source[c] * keep + filtered[c] * take);
    }
};

template <class Coef>
using Tap = KernelTap<Coef>;

// The non-zero coefficients in row-major order.  Zero taps add nothing to a
// sum, so leaving them out keeps every result bit for bit.
template <class Coef>
std::vector<Tap<Coef>> NonZeroTaps(int32_t radius, std::span<const Coef> coefficients) {
    std::vector<Tap<Coef>> taps;
    const int32_t side = 2 * radius + 1;
    for (int32_t dy = -radius; dy <= radius; ++dy)
        for (int32_t dx = -radius; dx <= radius; ++dx) {
            const size_t i = size_t((dy + radius) * side + dx + radius);
            const Coef c = i < coefficients.size() ? coefficients[i] : Coef(0);
            if (c != Coef(0)) taps.push_back({dx, dy, c});
        }
    return taps;
}

// Coefficients beyond those given are 0.
template <class Coef>
std::vector<Coef> FullSquare(int32_t radius, std::span<const Coef> given) {
    std::vector<Coef> all(given.begin(), given.end());
    all.resize(size_t((2 * radius + 1) * (2 * radius + 1)), Coef(0));
    return all;
}

// The kernel sum at (x, y): rows[] holds the source rows y - r .. y + r,
// already limited to the frame.
template <PixelLayout L, class Coef, class Sum>
inline void KernelSum(const uint8_t* const* rows, int32_t radius, int32_t x, int32_t width,
                      const std::vector<Tap<Coef>>& taps, Sum sum[3]) {
    sum[0] = sum[1] = sum[2] = Sum(0);
    const bool inside = x >= radius && x + radius < width;
    for (const Tap<Coef>& t : taps) {
        const int32_t col = inside ? x + t.dx : Limit(x + t.dx, width - 1);
        int32_t ch[3];
        ReadAt<L>(rows[t.dy + radius], col, width, ch);
        sum[0] += t.coef * ch[0];
        sum[1] += t.coef * ch[1];
        sum[2] += t.coef * ch[2];
    }
}

#if defined(__SSE2__)
// Four integers limited to 0..255 (ClampByte) into four bytes, OR-ed with
// opaque (alpha bytes set to 255, or nothing).
inline void StoreFourBytes(__m128i v, __m128i opaque, uint8_t* out) {
    v = _mm_packs_epi32(v, v);
    v = _mm_packus_epi16(v, v);
    const uint32_t bytes = uint32_t(_mm_cvtsi128_si32(_mm_or_si128(v, opaque)));
    std::memcpy(out, &bytes, 4);
}
#endif

// Turns integer sums into channels: divided (as a multiplication by the
// inverse, truncated) unless the divisor is 0 or 1, then offset.  The
// inverse is worked out once per frame.
struct IntegerFinish {
    bool divide;
    double inverse;
    int32_t offset;

    IntegerFinish(int32_t divisor, int32_t o)
        : divide(divisor != 0 && divisor != 1), inverse(divide ? 1.0 / divisor : 1.0), offset(o) {}

    int32_t One(int32_t sum) const {
        return (divide ? TruncateChannel(sum * inverse) : sum) + offset;
    }
    void operator()(const int32_t sum[3], int32_t out[3]) const {
        for (int c = 0; c < 3; ++c)
            out[c] = One(sum[c]);
    }

#if defined(__SSE2__)
    // One() and the byte limit over sums[begin, end), four at a time, each
    // result into the same byte of out; with alpha, every fourth byte 255.
    // Answers where it stopped.
    size_t Row(const int32_t* sums, size_t begin, size_t end, bool alpha, uint8_t* out) const {
        const __m128d inv = _mm_set1_pd(inverse), high = _mm_set1_pd(16777216.0),
                      low = _mm_set1_pd(-16777216.0);
        const __m128i add = _mm_set1_epi32(offset);
        const __m128i opaque = _mm_set1_epi32(alpha ? int32_t(0xFF000000u) : 0);
        size_t i = begin;
        for (; i + 4 <= end; i += 4) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i));
            if (divide) {
                // TruncateChannel: held to +-2^24, truncated (no NaN from integers).
                __m128d lo = _mm_mul_pd(_mm_cvtepi32_pd(v), inv);
                __m128d hi = _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(v, 0xEE)), inv);
                lo = _mm_max_pd(_mm_min_pd(lo, high), low);
                hi = _mm_max_pd(_mm_min_pd(hi, high), low);
                v = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
            }
            StoreFourBytes(_mm_add_epi32(v, add), opaque, out + i);
        }
        return i;
    }
#endif
};

// The same for real sums; the offset is added before the last truncation.
struct RealFinish {
    bool divide;
    double inverse;
    int32_t offset;

    RealFinish(double divisor, int32_t o)
        : divide(divisor != 0.0 && divisor != 1.0),
          inverse(divide ? 1.0 / divisor : 1.0),
          offset(o) {}

    int32_t One(double sum) const {
        const double s = divide ? double(TruncateChannel(sum * inverse)) : sum;
        return TruncateChannel(offset + s);
    }
    void operator()(const double sum[3], int32_t out[3]) const {
        for (int c = 0; c < 3; ++c)
            out[c] = One(sum[c]);
    }

#if defined(__SSE2__)
    size_t Row(const double* sums, size_t begin, size_t end, bool alpha, uint8_t* out) const {
        const __m128d inv = _mm_set1_pd(inverse), add = _mm_set1_pd(double(offset));
        const __m128i opaque = _mm_set1_epi32(alpha ? int32_t(0xFF000000u) : 0);
        size_t i = begin;
        for (; i + 4 <= end; i += 4) {
            __m128d lo = _mm_loadu_pd(sums + i), hi = _mm_loadu_pd(sums + i + 2);
            if (divide) {
                lo = _mm_cvtepi32_pd(Truncate(_mm_mul_pd(lo, inv)));
                hi = _mm_cvtepi32_pd(Truncate(_mm_mul_pd(hi, inv)));
            }
            const __m128i v =
                _mm_unpacklo_epi64(Truncate(_mm_add_pd(add, lo)), Truncate(_mm_add_pd(add, hi)));
            StoreFourBytes(v, opaque, out + i);
        }
        return i;
    }

    // TruncateChannel of two values: NaN as 0, held to +-2^24, truncated.
    static __m128i Truncate(__m128d v) {
        v = _mm_and_pd(v, _mm_cmpord_pd(v, v));
        v = _mm_max_pd(_mm_min_pd(v, _mm_set1_pd(16777216.0)), _mm_set1_pd(-16777216.0));
        return _mm_cvttpd_epi32(v);
    }
#endif
};

// Rows y - r .. y + r of a frame, limited to it.
void GatherRows(const FrameView& f, int32_t y, int32_t radius, int32_t height,
                const uint8_t** rows) {
    for (int32_t dy = -radius; dy <= radius; ++dy)
        rows[dy + radius] = f.Row(Limit(y + dy, height - 1));
}

constexpr int32_t kMaxRadius = 8;

constexpr int32_t BytesOf(PixelLayout L) {
    return L == PixelLayout::kBgra ? 4 : L == PixelLayout::kBgr ? 3 : 2;
}

// The kernel sums of every byte of columns radius .. width - radius - 1 of a
// row, tap by tap over the whole row: each byte's sum takes the same terms in
// the same order as KernelSum gives it.
template <PixelLayout L, class Coef, class Sum>
[[gnu::optimize("tree-vectorize", "vect-cost-model=dynamic")]] void RowSums(
    const uint8_t* const* rows, int32_t radius, int32_t width, const std::vector<Tap<Coef>>& taps,
    Sum* acc) {
    constexpr int32_t n = BytesOf(L);
    const size_t begin = size_t(radius) * n, end = size_t(width - radius) * n;
    for (size_t i = begin; i < end; ++i)
        acc[i] = Sum(0);
    for (const Tap<Coef>& t : taps) {
        const uint8_t* p = rows[t.dy + radius] + ptrdiff_t(t.dx) * n;
        const Coef c = t.coef;
        if (c == Coef(1))  // 1 * v is v exactly
            for (size_t i = begin; i < end; ++i)
                acc[i] += p[i];
        else
            for (size_t i = begin; i < end; ++i)
                acc[i] += c * p[i];
    }
}

// RowSums for integer kernels whose sums stay within 16 bits whatever the
// bytes (the magnitudes of the coefficients add up to 128 at most): the
// same integers, worked out eight to a register.
template <PixelLayout L>
[[gnu::optimize("tree-vectorize", "vect-cost-model=dynamic")]] void NarrowRowSums(
    const uint8_t* const* rows, int32_t radius, int32_t width,
    const std::vector<Tap<int32_t>>& taps, int16_t* narrow, int32_t* acc) {
    constexpr int32_t n = BytesOf(L);
    const size_t begin = size_t(radius) * n, end = size_t(width - radius) * n;
    for (size_t i = begin; i < end; ++i)
        narrow[i] = 0;
    for (const Tap<int32_t>& t : taps) {
        const uint8_t* p = rows[t.dy + radius] + ptrdiff_t(t.dx) * n;
        const int16_t c = int16_t(t.coef);
        for (size_t i = begin; i < end; ++i)
            narrow[i] = int16_t(narrow[i] + c * p[i]);
    }
    for (size_t i = begin; i < end; ++i)
        acc[i] = narrow[i];
}

template <class Coef>
bool FitsSixteenBits(const std::vector<Tap<Coef>>& taps) {
    if constexpr (std::is_same_v<Coef, int32_t>) {
        int64_t total = 0;
        for (const Tap<Coef>& t : taps)
            total += t.coef < 0 ? -int64_t(t.coef) : int64_t(t.coef);
        return total <= 128;
    }
    return false;
}

// Runs a square kernel over the frame; Finish turns a sum into channels.
// Colour frames sum whole rows at once away from the left and right edges.
template <PixelLayout L, class Coef, class Sum, class Finish>
void Convolve(const FrameView& src, const FrameView& dst, int32_t width, int32_t height,
              int32_t radius, const std::vector<Tap<Coef>>& taps, int32_t amount, Finish finish) {
    const Blend blend(amount);
    const uint8_t* rows[2 * kMaxRadius + 1];
    constexpr int32_t n = BytesOf(L);
    std::vector<Sum> acc;
    std::vector<int16_t> narrow;
    if (L != PixelLayout::kPacked && width > 2 * radius) {
        acc.resize(size_t(width) * n);
        if (FitsSixteenBits(taps)) narrow.resize(acc.size());
    }
    for (int32_t y = 0; y < height; ++y) {
        GatherRows(src, y, radius, height, rows);
        if constexpr (std::is_same_v<Coef, int32_t>) {
            if (!narrow.empty())
                NarrowRowSums<L>(rows, radius, width, taps, narrow.data(), acc.data());
            else if (!acc.empty())
                RowSums<L>(rows, radius, width, taps, acc.data());
        } else if (!acc.empty()) {
            RowSums<L>(rows, radius, width, taps, acc.data());
        }
        const uint8_t* own = rows[radius];
        uint8_t* out = dst.Row(y);
        int32_t skipFrom = width, skipTo = width;  // columns already stored
#if defined(__SSE2__)
        if (!acc.empty() && !blend.active) {
            // Every byte of a colour pixel is the channel of its own position.
            const size_t begin = size_t(radius) * n, end = size_t(width - radius) * n;
            for (size_t i = finish.Row(acc.data(), begin, end, L == PixelLayout::kBgra, out);
                 i < end; ++i)
                out[i] = ClampByte(finish.One(acc[i]));
            skipFrom = radius;
            skipTo = width - radius;
        }
#endif
        for (int32_t x = 0; x < width; ++x) {
            if (x == skipFrom) x = skipTo;
            if (x >= width) break;
            Sum sum[3];
            if (!acc.empty() && x >= radius && x + radius < width) {
                const Sum* a = acc.data() + size_t(x) * n;
                sum[0] = a[2];
                sum[1] = a[1];
                sum[2] = a[0];
            } else {
                KernelSum<L>(rows, radius, x, width, taps, sum);
            }
            int32_t ch[3];
            finish(sum, ch);
            if (blend.active) {
                int32_t source[3];
                ReadAt<L>(own, x, width, source);
                blend.Apply(source, ch);
            }
            WriteAt<L>(out, x, width, ch);
        }
    }
}

int32_t SafeRadius(int32_t r) {
    return r < 0 ? 0 : r > kMaxRadius ? kMaxRadius : r;
}

// The integer and the real square kernel differ only in their number types
// and their finishing step: one evaluation and one frame pass serve both.
template <class Sum, class Coef, class Finish>
void EvaluateSquare(const PixelProcessor& p, int32_t radius,
                    const std::vector<KernelTap<Coef>>& taps, const Finish& finish,
                    const FrameView& source, int32_t x, int32_t y, int32_t out[3]) {
    const uint8_t* rows[2 * kMaxRadius + 1];
    GatherRows(source, Limit(y, int32_t(p.height) - 1), radius, int32_t(p.height), rows);
    x = Limit(x, int32_t(p.width) - 1);
    Sum sum[3];
    WithLayout(
        p, [&]<PixelLayout L>() { KernelSum<L>(rows, radius, x, int32_t(p.width), taps, sum); });
    finish(sum, out);
}

template <class Sum, class Coef, class Finish>
void RunSquare(const PixelProcessor& p, int32_t radius, const std::vector<KernelTap<Coef>>& taps,
               const Finish& finish, const FrameView& source, const FrameView& destination,
               int32_t amount) {
    WithLayout(p, [&]<PixelLayout L>() {
        Convolve<L, Coef, Sum>(source, destination, int32_t(p.width), int32_t(p.height), radius,
                               taps, amount, finish);
    });
}

}  // namespace

// ------------------------------------------------------------ PixelProcessor

void PixelProcessor::Attach(const FrameView& frame) {
    if (bytesPerPixel == -1) bytesPerPixel = frame.bitsPerPixel / 8;
    width = uint32_t(frame.width);
    height = uint32_t(frame.height);
    packedChroma = frame.IsPacked422();
}

void PixelProcessor::Run(const FrameView& source, const FrameView& destination, int32_t amount) {
    Attach(source);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            ProcessPixel(source, int32_t(x), int32_t(y), destination, amount);
}

void PixelProcessor::ProcessPixel(const FrameView& source, int32_t x, int32_t y,
                                  const FrameView& destination, int32_t) {
    const size_t n = size_t(bytesPerPixel);
    std::memcpy(destination.Row(y) + size_t(x) * n, source.Row(y) + size_t(x) * n, n);
}

Channels PixelProcessor::ReadPixelChannels(const FrameView& frame, int32_t x, int32_t y) const {
    const int32_t w = int32_t(width), h = int32_t(height);
    x = Limit(x, w - 1);
    y = Limit(y, h - 1);
    const uint8_t* row = frame.Row(y);
    Channels out{{0, 0, 0}, 0};
    WithLayout(*this, [&]<PixelLayout L>() { ReadAt<L>(row, x, w, out.c); });
    if (!packedChroma && bytesPerPixel == 4) out.alpha = row[4 * x + 3];
    return out;
}

void PixelProcessor::WritePixelChannels(const int32_t channels[3], uint8_t* row, int32_t x) const {
    WithLayout(*this, [&]<PixelLayout L>() { WriteAt<L>(row, x, int32_t(width), channels); });
}

void PixelProcessor::StoreBlended(const FrameView& source, int32_t x, int32_t y,
                                  int32_t filtered[3], uint8_t* dstRow, int32_t amount) const {
    const Blend blend(amount);
    if (blend.active) blend.Apply(ReadPixelChannels(source, x, y).c, filtered);
    WritePixelChannels(filtered, dstRow, x);
}

// ------------------------------------------------------------- IntegerKernel

IntegerKernel::IntegerKernel(int32_t r, std::span<const int32_t> c, int32_t d, int32_t o)
    : radius(SafeRadius(r)),
      coefficients(FullSquare(radius, c)),
      divisor(d),
      offset(o),
      taps_(NonZeroTaps<int32_t>(radius, coefficients)) {}

void IntegerKernel::Evaluate(const FrameView& source, int32_t x, int32_t y, int32_t out[3]) const {
    EvaluateSquare<int32_t>(*this, radius, taps_, IntegerFinish(divisor, offset), source, x, y,
                            out);
}

void IntegerKernel::ProcessPixel(const FrameView& source, int32_t x, int32_t y,
                                 const FrameView& destination, int32_t amount) {
    int32_t ch[3];
    Evaluate(source, x, y, ch);
    StoreBlended(source, x, y, ch, destination.Row(y), amount);
}

void IntegerKernel::Run(const FrameView& source, const FrameView& destination, int32_t amount) {
    Attach(source);
    RunSquare<int32_t>(*this, radius, taps_, IntegerFinish(divisor, offset), source, destination,
                       amount);
}

// ---------------------------------------------------------------- RealKernel

RealKernel::RealKernel(int32_t r, std::span<const double> c, double d, int32_t o)
    : radius(SafeRadius(r)),
      coefficients(FullSquare(radius, c)),
      divisor(d),
      offset(o),
      taps_(NonZeroTaps<double>(radius, coefficients)) {}

void RealKernel::Evaluate(const FrameView& source, int32_t x, int32_t y, int32_t out[3]) const {
    EvaluateSquare<double>(*this, radius, taps_, RealFinish(divisor, offset), source, x, y, out);
}

void RealKernel::ProcessPixel(const FrameView& source, int32_t x, int32_t y,
                              const FrameView& destination, int32_t amount) {
    int32_t ch[3];
    Evaluate(source, x, y, ch);
    StoreBlended(source, x, y, ch, destination.Row(y), amount);
}

void RealKernel::Run(const FrameView& source, const FrameView& destination, int32_t amount) {
    Attach(source);
    RunSquare<double>(*this, radius, taps_, RealFinish(divisor, offset), source, destination,
                      amount);
}

// ----------------------------------------------------------- SeparableKernel

SeparableKernel::SeparableKernel(const int32_t h[3], const int32_t v[3], int32_t d, int32_t o)
    : horizontal{h[0], h[1], h[2]}, vertical{v[0], v[1], v[2]}, divisor(d), offset(o) {}

namespace {

// One three-tap result: the weighted sum divided in floating point.
struct ThreeTaps {
    int32_t tap[3];
    bool divide;
    double divisor;
    int32_t offset;

    void Combine(const int32_t a[3], const int32_t b[3], const int32_t c[3], int32_t out[3]) const {
        for (int k = 0; k < 3; ++k)
            out[k] = One(a[k], b[k], c[k]);
    }
    int32_t One(int32_t a, int32_t b, int32_t c) const {
        const int32_t sum = tap[0] * a + tap[1] * b + tap[2] * c;
        return (divide ? TruncateChannel(sum / divisor) : sum) + offset;
    }

    // Whether every sum of three bytes stays within 16 bits.
    bool Narrow() const {
        int64_t total = 0;
        for (int32_t t : tap)
            total += t < 0 ? -int64_t(t) : int64_t(t);
        return total * 255 <= 32767;
    }

#if defined(__SSE2__)
    // One() and the byte limit for bytes [begin, end) of three rows, each
    // into the same byte of out, four at a time; with alpha every fourth byte
    // is 255.  Only for Narrow() taps.  Answers where it stopped.
    size_t Row(const uint8_t* a, const uint8_t* b, const uint8_t* c, size_t begin, size_t end,
               bool alpha, uint8_t* out) const {
        const __m128i zero = _mm_setzero_si128();
        const __m128i t0 = _mm_set1_epi16(int16_t(tap[0])), t1 = _mm_set1_epi16(int16_t(tap[1])),
                      t2 = _mm_set1_epi16(int16_t(tap[2]));
        const __m128d by = _mm_set1_pd(divisor), high = _mm_set1_pd(16777216.0),
                      low = _mm_set1_pd(-16777216.0);
        const __m128i add = _mm_set1_epi32(offset);
        const __m128i opaque = _mm_set1_epi32(alpha ? int32_t(0xFF000000u) : 0);
        auto bytes = [&](const uint8_t* p) {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(v)), zero);
        };
        size_t i = begin;
        for (; i + 4 <= end; i += 4) {
            __m128i sum = _mm_add_epi16(
                _mm_add_epi16(_mm_mullo_epi16(bytes(a + i), t0), _mm_mullo_epi16(bytes(b + i), t1)),
                _mm_mullo_epi16(bytes(c + i), t2));
            __m128i v = _mm_srai_epi32(_mm_unpacklo_epi16(sum, sum), 16);  // widened, signed
            if (divide) {
                // TruncateChannel(sum / divisor): held to +-2^24, truncated.
                __m128d lo = _mm_div_pd(_mm_cvtepi32_pd(v), by);
                __m128d hi = _mm_div_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(v, 0xEE)), by);
                lo = _mm_max_pd(_mm_min_pd(lo, high), low);
                hi = _mm_max_pd(_mm_min_pd(hi, high), low);
                v = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
            }
            StoreFourBytes(_mm_add_epi32(v, add), opaque, out + i);
        }
        return i;
    }
#endif
};

// Combines bytes [begin, end) of rows a, b, c into out as ThreeTaps::One
// and the store's limit give them; the rows must not overlap out.
template <PixelLayout L>
void CombineRow(const ThreeTaps& t, bool narrow, const uint8_t* a, const uint8_t* b,
                const uint8_t* c, size_t begin, size_t end, uint8_t* out) {
    size_t i = begin;
#if defined(__SSE2__)
    if (narrow) i = t.Row(a, b, c, begin, end, L == PixelLayout::kBgra, out);
#endif
    for (; i < end; ++i)
        out[i] = L == PixelLayout::kBgra && i % 4 == 3 ? 255 : ClampByte(t.One(a[i], b[i], c[i]));
}

// Horizontal pass from src into dst, vertical pass in dst.  Every column and
// row is filtered, the taps beyond an edge repeating the edge pixel.  The
// vertical pass keeps the horizontal result of the row above and of its own
// row in two buffers, as it overwrites dst row by row.
template <PixelLayout L>
void RunSeparable(const FrameView& src, const FrameView& dst, int32_t width, int32_t height,
                  const ThreeTaps& across, const ThreeTaps& down, int32_t amount) {
    const Blend blend(amount);
    constexpr int32_t n = BytesOf(L);
    // Colour rows at full amount: whole rows at once, every byte being the
    // channel of its own position, apart from the edge columns.
    const bool rows = L != PixelLayout::kPacked && !blend.active;
    const bool narrowAcross = across.Narrow(), narrowDown = down.Narrow();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = src.Row(y);
        uint8_t* out = dst.Row(y);
        const bool inner = rows && width > 2 && in != out;
        if (inner)
            CombineRow<L>(across, narrowAcross, in - n, in, in + n, size_t(n),
                          size_t(width - 1) * n, out);
        for (int32_t x = 0; x < width; ++x) {
            if (inner && x == 1) x = width - 1;
            int32_t left[3], centre[3], right[3], ch[3];
            ReadAt<L>(in, x > 0 ? x - 1 : 0, width, left);
            ReadAt<L>(in, x, width, centre);
            ReadAt<L>(in, x + 1 < width ? x + 1 : width - 1, width, right);
            across.Combine(left, centre, right, ch);
            blend.Apply(centre, ch);
            WriteAt<L>(out, x, width, ch);
        }
    }

    const size_t rowBytes = size_t(width) * n;
    std::vector<uint8_t> buffers(2 * rowBytes);
    uint8_t* above = buffers.data();
    uint8_t* own = buffers.data() + rowBytes;
    std::memcpy(own, dst.Row(0), rowBytes);
    std::memcpy(above, own, rowBytes);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* below = y + 1 < height ? dst.Row(y + 1) : own;
        uint8_t* out = dst.Row(y);
        if (rows) {
            CombineRow<L>(down, narrowDown, above, own, below, 0, rowBytes, out);
        } else {
            for (int32_t x = 0; x < width; ++x) {
                int32_t a[3], b[3], c[3], ch[3];
                ReadAt<L>(above, x, width, a);
                ReadAt<L>(own, x, width, b);
                ReadAt<L>(below, x, width, c);
                down.Combine(a, b, c, ch);
                blend.Apply(b, ch);
                WriteAt<L>(out, x, width, ch);
            }
        }
        std::swap(above, own);
        if (y + 1 < height) std::memcpy(own, dst.Row(y + 1), rowBytes);
    }
}

}  // namespace

void SeparableKernel::Run(const FrameView& source, const FrameView& destination, int32_t amount) {
    Attach(source);
    if (width == 0 || height == 0) return;
    const bool divide = divisor != 0 && divisor != 1;
    const ThreeTaps across{
        {horizontal[0], horizontal[1], horizontal[2]}, divide, double(divisor), offset};
    const ThreeTaps down{{vertical[0], vertical[1], vertical[2]}, divide, double(divisor), offset};
    WithLayout(*this, [&]<PixelLayout L>() {
        RunSeparable<L>(source, destination, int32_t(width), int32_t(height), across, down, amount);
    });
}

}  // namespace vx
