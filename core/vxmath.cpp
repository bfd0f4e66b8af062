// Out-of-line parts of vxmath: huge-argument reduction, Atan2, Pow and Fmod.
// See vxmath.h for the build requirements and the origin of the algorithms.
#include "core/vxmath.h"

#include <bit>
#include <cstdint>

namespace vx {
namespace detail {
namespace {

// Bits of 2/pi after the binary point, 32 per word, preceded by two zero words so a window
// may start up to 64 bits before the binary point.
constexpr std::uint32_t kTwoOverPiWords[] = {
    0x00000000, 0x00000000,  // padding
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041, 0xFE5163AB, 0xDEBBC561,
    0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C, 0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484,
    0xE99C7026, 0xB45F7E41, 0x3991D639, 0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F,
    0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B,
    0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08, 0x56033046, 0xFC7B6BAB, 0xF0CFBC20, 0x9AF4361D,
};
constexpr int kPaddingBits = 64;
constexpr int kWindowWords = 6;  // 192 bits of 2/pi per reduction

constexpr double kPio2Hi = 0x1.921fb54442d18p+0;
constexpr double kPio2Lo = 0x1.1a62633145c07p-54;

// Window of 192 bits of 2/pi starting at bit position `first` (1 = first bit after the
// binary point; may be <= 0, those bits are zero). Little-endian words.
void TwoOverPiWindow(int first, std::uint32_t window[kWindowWords]) {
    const int start = first - 1 + kPaddingBits;
    const int word = start / 32;
    const int shift = start % 32;
    for (int i = 0; i < kWindowWords; ++i) {
        const std::uint32_t a = kTwoOverPiWords[word + i];
        const std::uint32_t b = kTwoOverPiWords[word + i + 1];
        window[kWindowWords - 1 - i] = shift == 0 ? a : (a << shift) | (b >> (32 - shift));
    }
}

// Splits a into two halves of 26 bits so products of halves are exact (Veltkamp).
void Split(double a, double* hi, double* lo) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    *hi = c - (c - a);
    *lo = a - *hi;
}

// Exact conversion of an integer below 2^53.
double ToDouble(std::uint64_t v) {
    return static_cast<double>(static_cast<std::int64_t>(v));
}

}  // namespace

int ReducePio2Large(double x, double* y0, double* y1) {
    // x = m * 2^e with m a 53-bit integer. Bits of 2/pi at positions k <= e - 2 contribute
    // multiples of 4 to x * 2/pi and are skipped; the 192-bit window starting at k = e - 1
    // leaves an absolute error below 2^-137 in the fraction, far below the closest approach
    // of any double to a multiple of pi/2 (about 2^-61 relative).
    const std::uint64_t bits = Bits(x);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    const std::uint64_t m = (bits & 0x000FFFFFFFFFFFFFull) | (std::uint64_t{1} << 52);
    const int e = biased - 1075;

    std::uint32_t w[kWindowWords];
    TwoOverPiWindow(e - 1, w);

    // p = m * window, 8 little-endian words; x * 2/pi mod 4 = p / 2^190 mod 4.
    const std::uint32_t mw[2] = {static_cast<std::uint32_t>(m),
                                 static_cast<std::uint32_t>(m >> 32)};
    std::uint32_t p[kWindowWords + 2] = {};
    for (int i = 0; i < kWindowWords; ++i) {
        std::uint64_t carry = 0;
        for (int j = 0; j < 2; ++j) {
            const std::uint64_t t = std::uint64_t{w[i]} * mw[j] + p[i + j] + carry;
            p[i + j] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
        p[i + 2] = static_cast<std::uint32_t>(carry);
    }

    // Bits 191..0 of p as three 64-bit words; the top two bits are the quadrant.
    std::uint64_t a = (std::uint64_t{p[5]} << 32) | p[4];
    std::uint64_t b = (std::uint64_t{p[3]} << 32) | p[2];
    std::uint64_t c = (std::uint64_t{p[1]} << 32) | p[0];
    int quadrant = static_cast<int>(a >> 62);
    a = (a << 2) | (b >> 62);
    b = (b << 2) | (c >> 62);
    c <<= 2;
    // Now the fraction is (a:b:c) / 2^192. Round to nearest quadrant: f in [-1/2, 1/2).
    bool negative_fraction = false;
    if (a >> 63) {
        ++quadrant;
        negative_fraction = true;
        a = ~a;
        b = ~b;
        c = ~c;
        if (++c == 0 && ++b == 0) ++a;
    }
    const bool negative_x = (bits >> 63) != 0;
    if (negative_x) quadrant = -quadrant;

    if ((a | b | c) == 0) {  // cannot happen for doubles, kept for safety
        *y0 = *y1 = 0.0;
        return quadrant;
    }
    // Normalise so the leading one is bit 63 of a, then take 53 + 53 bits as hi + lo.
    int shift = 0;
    while (a == 0) {
        a = b;
        b = c;
        c = 0;
        shift += 64;
    }
    const int lz = std::countl_zero(a);
    if (lz != 0) {
        a = (a << lz) | (b >> (64 - lz));
        b = (b << lz) | (c >> (64 - lz));
    }
    shift += lz;
    const std::uint64_t top = a >> 11;
    const std::uint64_t next = ((a & 0x7ff) << 42) | (b >> 22);
    const double hi = ToDouble(top) * PowerOfTwo(-53 - shift);
    const double lo = ToDouble(next) * PowerOfTwo(-106 - shift);

    // (hi + lo) * pi/2 in double-double arithmetic, exact product via splitting.
    double hh, hl, ph, pl;
    Split(hi, &hh, &hl);
    Split(kPio2Hi, &ph, &pl);
    const double prod = hi * kPio2Hi;
    const double prod_err = ((hh * ph - prod) + hh * pl + hl * ph) + hl * pl;
    const double tail = prod_err + (hi * kPio2Lo + lo * kPio2Hi);
    double r0 = prod + tail;
    double r1 = tail - (r0 - prod);
    if (negative_fraction != negative_x) {
        r0 = -r0;
        r1 = -r1;
    }
    *y0 = r0;
    *y1 = r1;
    return quadrant;
}

// x * 2^n, rounding once even when the result is subnormal.
double ScaleByPowerOfTwo(double x, int n) {
    if (n > 1023) {
        x *= 0x1p1023;
        n -= 1023;
        if (n > 1023) {
            x *= 0x1p1023;
            n -= 1023;
            if (n > 1023) n = 1023;
        }
    } else if (n < -1022) {
        // Stay 53 bits above the subnormal range until the last multiplication.
        x *= 0x1p-1022 * 0x1p53;
        n += 1022 - 53;
        if (n < -1022) {
            x *= 0x1p-1022 * 0x1p53;
            n += 1022 - 53;
            if (n < -1022) n = -1022;
        }
    }
    return x * PowerOfTwo(n);
}

namespace {

// atan(y / x), or pi - atan(y / x) with from_pi, for positive finite y, x with y/x within 2^+-61.
// The rounding error of the quotient alone would add up to half an ulp on top of the arctangent's
// own error, so the exact remainder y - q*x is carried into the evaluation as a tail.
double AtanOfQuotient(double y, double x, bool from_pi) {
    // Scale so x is in [1, 2): the splitting below cannot overflow and y stays normal.
    if (x < 0x1p-1022) {
        x *= 0x1p54;
        y *= 0x1p54;
    } else if (x >= 0x1p1023) {
        x *= 0.5;
        y *= 0.5;
    }
    const double scale = PowerOfTwo(1023 - static_cast<int>(Bits(x) >> 52));
    x *= scale;
    y *= scale;
    const double q = y / x;
    // y - q*x is representable; compute it exactly from the two-product q*x = p + p_err.
    double qh, ql, xh, xl;
    Split(q, &qh, &ql);
    Split(x, &xh, &xl);
    const double p = q * x;
    const double p_err = ((qh * xh - p) + qh * xl + ql * xh) + ql * xl;
    const double remainder = (y - p) - p_err;
    const double q_tail = remainder / x;
    return AtanWithTail(q, q_tail / (1.0 + q * q), from_pi);
}

}  // namespace

}  // namespace detail

double Atan2(double y, double x) {
    using namespace detail;
    constexpr double kPi = 0x1.921fb54442d18p+1;
    constexpr double kPiLo = 0x1.1a62633145c07p-53;
    constexpr double kPio2 = 0x1.921fb54442d18p+0;
    constexpr double kPio4 = 0x1.921fb54442d18p-1;

    if (x != x || y != y) return x + y;
    if (x == 1.0) return Atan(y);
    const std::int32_t hx = HighWord(x), hy = HighWord(y);
    const std::int32_t ix = hx & 0x7fffffff, iy = hy & 0x7fffffff;
    const bool y_negative = hy < 0, x_negative = hx < 0;
    const auto with_y_sign = [&](double v) { return y_negative ? -v : v; };

    if (y == 0.0) return x_negative ? with_y_sign(kPi) : y;  // keeps the sign of a zero y
    if (x == 0.0) return with_y_sign(kPio2);
    if (ix == 0x7ff00000) {  // x is +-inf
        if (iy == 0x7ff00000) return with_y_sign(x_negative ? 3.0 * kPio4 : kPio4);
        return with_y_sign(x_negative ? kPi : 0.0);
    }
    if (iy == 0x7ff00000) return with_y_sign(kPio2);

    // Quotient exponent; skip the division when it would over- or underflow to the limits.
    const std::int32_t k = (iy - ix) >> 20;
    double z;
    if (k > 60) {  // |y/x| > 2^60
        return with_y_sign(kPio2 + 0.5 * kPiLo);
    } else if (k < -60) {  // |y/x| < 2^-60: atan(q) rounds to q, or the result is +-pi
        z = x_negative ? kPi - (0.0 - kPiLo) : Abs(y / x);
    } else {
        z = AtanOfQuotient(Abs(y), Abs(x), x_negative);
    }
    return with_y_sign(z);
}

double Pow(double x, double y) {
    using namespace detail;
    // Method (fdlibm e_pow.c): log2(x) in two pieces of extra precision, y*log2(x) = n + y'
    // with |y'| <= 1/2 in simulated multi-precision, then 2^n * exp(y'*ln2).
    constexpr double kBp[] = {1.0, 1.5};
    constexpr double kDpHi[] = {0.0, 0x1.2b80340000000p-1};  // log2(1.5) high part
    constexpr double kDpLo[] = {0.0, 0x1.cfdeb43cfd006p-27};
    constexpr double kL[] = {0x1.3333333333303p-1, 0x1.b6db6db6fabffp-2, 0x1.55555518f264dp-2,
                             0x1.17460a91d4101p-2, 0x1.d864a93c9db65p-3, 0x1.a7e284a454eefp-3};
    constexpr double kP[] = {0x1.555555555553ep-3, -0x1.6c16c16bebd93p-9, 0x1.1566aaf25de2cp-14,
                             -0x1.bbd41c5d26bf1p-20, 0x1.6376972bea4d0p-25};
    constexpr double kLg2 = 0x1.62e42fefa39efp-1;
    constexpr double kLg2Hi = 0x1.62e4300000000p-1;
    constexpr double kLg2Lo = -0x1.05c610ca86c39p-29;
    constexpr double kOverflowTail = 0x1.71547652b82fep-54;  // -(1024 - log2(DBL_MAX + ulp/2))
    constexpr double kCp = 0x1.ec709dc3a03fdp-1;             // 2/(3 ln2)
    constexpr double kCpHi = 0x1.ec709e0000000p-1;
    constexpr double kCpLo = -0x1.e2fe0145b01f5p-28;
    constexpr double kInvLn2 = 0x1.71547652b82fep+0;
    constexpr double kInvLn2Hi = 0x1.7154760000000p+0;
    constexpr double kInvLn2Lo = 0x1.4ae0bf85ddf44p-26;
    constexpr double kHuge = 1.0e300, kTiny = 1.0e-300;

    const std::int32_t hx = HighWord(x), hy = HighWord(y);
    const std::uint32_t lx = LowWord(x), ly = LowWord(y);
    std::int32_t ix = hx & 0x7fffffff;
    const std::int32_t iy = hy & 0x7fffffff;

    if ((iy | ly) == 0) return 1.0;               // x^0 = 1, even for NaN x
    if (hx == 0x3ff00000 && lx == 0) return 1.0;  // 1^y = 1, even for NaN y
    if (x != x || y != y) return (x + 0.0) + (y + 0.0);

    // For x < 0: 0 = y not an integer, 1 = odd integer, 2 = even integer.
    int y_parity = 0;
    if (hx < 0) {
        if (iy >= 0x43400000) {  // |y| >= 2^53: even
            y_parity = 2;
        } else if (iy >= 0x3ff00000) {
            const int k = (iy >> 20) - 0x3ff;
            if (k > 20) {
                const std::uint32_t j = ly >> (52 - k);
                if ((j << (52 - k)) == ly) y_parity = 2 - static_cast<int>(j & 1);
            } else if (ly == 0) {
                const std::int32_t j = iy >> (20 - k);
                if ((j << (20 - k)) == iy) y_parity = 2 - (j & 1);
            }
        }
    }

    if (ly == 0) {
        if (iy == 0x7ff00000) {                              // y = +-inf
            if (((ix - 0x3ff00000) | lx) == 0) return 1.0;   // (-1)^+-inf = 1
            if (ix >= 0x3ff00000) return hy >= 0 ? y : 0.0;  // |x| > 1
            return hy < 0 ? -y : 0.0;                        // |x| < 1
        }
        if (iy == 0x3ff00000) return hy < 0 ? 1.0 / x : x;  // y = +-1
        if (hy == 0x40000000) return x * x;                 // y = 2
        if (hy == 0x3fe00000 && hx >= 0) return Sqrt(x);    // y = 1/2, x >= +0
    }

    double ax = Abs(x);
    if (lx == 0 && (ix == 0x7ff00000 || ix == 0 || ix == 0x3ff00000)) {  // x = +-0, +-inf, +-1
        double z = hy < 0 ? 1.0 / ax : ax;
        if (hx < 0) {
            if (((ix - 0x3ff00000) | y_parity) == 0) return kQuietNaN;  // (-1)^non-integer
            if (y_parity == 1) z = -z;
        }
        return z;
    }

    if (hx < 0 && y_parity == 0) return kQuietNaN;  // negative^non-integer
    const double sign = (hx < 0 && y_parity == 1) ? -1.0 : 1.0;

    double t1, t2;
    if (iy > 0x41e00000) {      // |y| > 2^31
        if (iy > 0x43f00000) {  // |y| > 2^64: certain over/underflow
            if (ix <= 0x3fefffff) return hy < 0 ? kHuge * kHuge : kTiny * kTiny;
            if (ix >= 0x3ff00000) return hy > 0 ? kHuge * kHuge : kTiny * kTiny;
        }
        if (ix < 0x3fefffff) return hy < 0 ? sign * kHuge * kHuge : sign * kTiny * kTiny;
        if (ix > 0x3ff00000) return hy > 0 ? sign * kHuge * kHuge : sign * kTiny * kTiny;
        // |1 - x| <= 2^-20: log(x) by t - t^2/2 + t^3/3 - t^4/4 with t = x - 1.
        // fdlibm multiplies t itself by kInvLn2Hi, assuming the product is exact; that fails
        // for |t| > 2^-24 (t then has more than 29 bits) and cost hundreds of ulps once
        // multiplied by y. Splitting t keeps u exact.
        const double t = ax - 1.0;
        const double w = (t * t) * (0.5 - t * (0x1.5555555555555p-2 - t * 0.25));
        const double t_hi = ClearLowWord(t);
        const double u = kInvLn2Hi * t_hi;
        const double v = (t - t_hi) * kInvLn2Hi + (t * kInvLn2Lo - w * kInvLn2);
        t1 = ClearLowWord(u + v);
        t2 = v - (t1 - u);
    } else {
        int n = 0;
        if (ix < 0x00100000) {  // subnormal x
            ax *= 0x1p53;
            n -= 53;
            ix = HighWord(ax);
        }
        n += (ix >> 20) - 0x3ff;
        const std::int32_t j = ix & 0x000fffff;
        // Choose the interval: |x| < sqrt(3/2) around 1, |x| < sqrt(3) around 1.5.
        ix = j | 0x3ff00000;
        int k;
        if (j <= 0x3988E) {
            k = 0;
        } else if (j < 0xBB67A) {
            k = 1;
        } else {
            k = 0;
            n += 1;
            ix -= 0x00100000;
        }
        ax = FromWords(static_cast<std::uint32_t>(ix), LowWord(ax));

        // ss = s_h + s_l = (x - bp) / (x + bp).
        double u = ax - kBp[k];
        double v = 1.0 / (ax + kBp[k]);
        const double ss = u * v;
        const double s_h = ClearLowWord(ss);
        double t_h = FromWords(
            static_cast<std::uint32_t>(((ix >> 1) | 0x20000000) + 0x00080000 + (k << 18)), 0);
        double t_l = ax - (t_h - kBp[k]);
        const double s_l = v * ((u - s_h * t_h) - s_h * t_l);
        // log(ax) series.
        double s2 = ss * ss;
        double r = s2 * s2 *
                   (kL[0] + s2 * (kL[1] + s2 * (kL[2] + s2 * (kL[3] + s2 * (kL[4] + s2 * kL[5])))));
        r += s_l * (s_h + ss);
        s2 = s_h * s_h;
        t_h = ClearLowWord(3.0 + s2 + r);
        t_l = r - ((t_h - 3.0) - s2);
        // u + v = ss * (1 + ...)
        u = s_h * t_h;
        v = s_l * t_h + t_l * ss;
        // 2/(3 log2) * (ss + ...)
        const double p_h = ClearLowWord(u + v);
        const double p_l = v - (p_h - u);
        const double z_h = kCpHi * p_h;
        const double z_l = kCpLo * p_h + p_l * kCp + kDpLo[k];
        // log2(ax) = (ss + ...) * 2/(3 log2) = n + dp_h + z_h + z_l
        const double t = n;
        t1 = ClearLowWord(((z_h + z_l) + kDpHi[k]) + t);
        t2 = z_l - (((t1 - t) - kDpHi[k]) - z_h);
    }

    // (y1 + y2) * (t1 + t2) with y1 holding the top 21 mantissa bits of y.
    const double y1 = ClearLowWord(y);
    const double p_l = (y - y1) * t1 + y * t2;
    double p_h = y1 * t1;
    double z = p_l + p_h;
    std::int32_t j = HighWord(z);
    const std::int32_t zi = static_cast<std::int32_t>(LowWord(z));
    if (j >= 0x40900000) {  // z >= 1024
        if (((j - 0x40900000) | zi) != 0) return sign * kHuge * kHuge;
        if (p_l + kOverflowTail > z - p_h) return sign * kHuge * kHuge;
    } else if ((j & 0x7fffffff) >= 0x4090cc00) {  // z <= -1075
        if (((static_cast<std::uint32_t>(j) - 0xc090cc00u) | static_cast<std::uint32_t>(zi)) != 0)
            return sign * kTiny * kTiny;
        if (p_l <= z - p_h) return sign * kTiny * kTiny;
    }

    // 2^(p_h + p_l) = 2^n * 2^(fraction).
    const std::int32_t i = j & 0x7fffffff;
    int k = (i >> 20) - 0x3ff;
    int n = 0;
    if (i > 0x3fe00000) {  // |z| > 1/2: n = [z + 1/2]
        n = j + (0x00100000 >> (k + 1));
        k = ((n & 0x7fffffff) >> 20) - 0x3ff;
        const double t = FromWords(static_cast<std::uint32_t>(n & ~(0x000fffff >> k)), 0);
        n = ((n & 0x000fffff) | 0x00100000) >> (20 - k);
        if (j < 0) n = -n;
        p_h -= t;
    }
    double t = ClearLowWord(p_l + p_h);
    const double u = t * kLg2Hi;
    const double v = (p_l - (t - p_h)) * kLg2 + t * kLg2Lo;
    z = u + v;
    const double w = v - (z - u);
    t = z * z;
    const double c = z - t * (kP[0] + t * (kP[1] + t * (kP[2] + t * (kP[3] + t * kP[4]))));
    const double r = (z * c) / (c - 2.0) - (w + z * w);
    z = 1.0 - (r - z);
    j = HighWord(z) + static_cast<std::int32_t>(static_cast<std::uint32_t>(n) << 20);
    if ((j >> 20) <= 0) {
        z = ScaleByPowerOfTwo(z, n);  // subnormal result
    } else {
        z = FromWords(static_cast<std::uint32_t>(j), LowWord(z));
    }
    return sign * z;
}

double Fmod(double x, double y) {
    using namespace detail;
    constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
    constexpr std::uint64_t kImplicitBit = std::uint64_t{1} << 52;
    const std::uint64_t ux = Bits(x), uy = Bits(y);
    const std::uint64_t sign = ux & kSignBit;
    const std::uint64_t ax = ux & ~kSignBit, ay = uy & ~kSignBit;

    if (ay == 0 || ay > 0x7ff0000000000000ull || ax >= 0x7ff0000000000000ull) {
        // y = 0, y NaN, x inf or NaN.
        if (x != x || y != y) return x + y;
        return kQuietNaN;
    }
    if (ax < ay) return x;
    if (ax == ay) return FromBits(sign);

    // Integer mantissas with the leading one at bit 52; value = mant * 2^(exp - 1075).
    const auto unpack = [](std::uint64_t a, int* exp) {
        int e = static_cast<int>(a >> 52);
        std::uint64_t mant = a & (kImplicitBit - 1);
        if (e == 0) {  // subnormal
            const int lz = std::countl_zero(mant) - 11;
            mant <<= lz;
            e = 1 - lz;
        } else {
            mant |= kImplicitBit;
        }
        *exp = e;
        return mant;
    };
    int ex, ey;
    std::uint64_t mx = unpack(ax, &ex);
    const std::uint64_t my = unpack(ay, &ey);

    // Long division one bit at a time; every step is exact.
    for (; ex > ey; --ex) {
        if (mx >= my) mx -= my;
        if (mx == 0) return FromBits(sign);
        mx <<= 1;
    }
    if (mx >= my) mx -= my;
    if (mx == 0) return FromBits(sign);

    const int lz = std::countl_zero(mx) - 11;
    mx <<= lz;
    ex -= lz;
    if (ex > 0)
        return FromBits(sign | (static_cast<std::uint64_t>(ex) << 52) | (mx & (kImplicitBit - 1)));
    return FromBits(sign | (mx >> (1 - ex)));  // subnormal remainder (exact)
}

}  // namespace vx
