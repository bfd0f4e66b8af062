// vxmath: deterministic double-precision elementary functions.
//
// The C runtimes of the two builds (glibc on Linux, msvcrt on Windows) return different
// last bits for sin, pow, exp, ... so effect code calls these instead. Every function here
// is built only from IEEE-754 double + - * / (and sqrt, which IEEE also rounds correctly)
// plus integer bit manipulation, so any compiler that evaluates doubles in SSE2 registers
// without contraction into FMA gives bit-identical results.
//
// Build requirement: every translation unit that includes this header must be compiled with
// -ffp-contract=off, and on 32-bit x86 with -msse2 -mfpmath=sse. The static_assert below
// rejects x87 excess precision; contraction cannot be detected from inside the code.
//
// Algorithms and polynomial coefficients follow fdlibm (Copyright (C) 1993-2004 Sun
// Microsystems, Inc.: "Permission to use, copy, modify, and distribute this software is
// freely granted, provided that this notice is preserved.") as maintained in FreeBSD msun
// and musl (MIT). Their published error bounds are below 1 ulp for every function here.
// The large-argument reduction for Sin/Cos/Tan is a Payne-Hanek reduction written for this
// library (see vxmath.cpp); it is exact enough for every finite double.
//
// Hot paths (kernels, Sin/Cos/Tan/Atan/Exp/Log) are inline so per-pixel loops can inline
// them; rarely-taken or bulky code (Pow, Atan2, Fmod, huge-argument reduction) lives in
// vxmath.cpp.
#pragma once

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

static_assert(FLT_EVAL_METHOD == 0,
              "vxmath needs doubles evaluated at double precision (use -msse2 -mfpmath=sse)");
static_assert(std::numeric_limits<double>::is_iec559, "vxmath needs IEEE-754 doubles");

namespace vx {

// All functions: NaN in gives a quiet NaN out; domain errors give a quiet NaN.
double Sin(double x);
double Cos(double x);
double Tan(double x);
double Atan(double x);             // result in [-pi/2, pi/2]
double Atan2(double y, double x);  // result in [-pi, pi], C99 special cases
double Exp(double x);              // overflow -> +inf, underflow -> +0 (via subnormals)
double Log(double x);              // Log(0) = -inf, Log(negative) = NaN
double Pow(double x, double y);    // C99 special cases (Pow(x, 0) = 1, Pow(1, y) = 1, ...)
double Sqrt(double x);             // correctly rounded; Sqrt(-0) = -0
double Floor(double x);            // exact
double Fmod(double x, double y);   // exact; sign of x; Fmod(x, 0) = NaN

namespace detail {

inline std::uint64_t Bits(double x) {
    return std::bit_cast<std::uint64_t>(x);
}
inline double FromBits(std::uint64_t b) {
    return std::bit_cast<double>(b);
}

// fdlibm reasons in terms of the upper 32 bits (sign, exponent, top 20 mantissa bits).
inline std::int32_t HighWord(double x) {
    return static_cast<std::int32_t>(Bits(x) >> 32);
}
inline std::uint32_t LowWord(double x) {
    return static_cast<std::uint32_t>(Bits(x));
}
inline double FromWords(std::uint32_t hi, std::uint32_t lo) {
    return FromBits((static_cast<std::uint64_t>(hi) << 32) | lo);
}
// Drops the low 32 mantissa bits so products with the result are exact in double-double code.
inline double ClearLowWord(double x) {
    return FromBits(Bits(x) & 0xFFFFFFFF00000000ull);
}
// |x| by clearing the sign bit (also maps -0 to +0, unlike x < 0 ? -x : x).
inline double Abs(double x) {
    return FromBits(Bits(x) & 0x7FFFFFFFFFFFFFFFull);
}

inline constexpr double kQuietNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

// 2^n for -1022 <= n <= 1023, built from bits (exact).
inline double PowerOfTwo(int n) {
    return FromBits(static_cast<std::uint64_t>(n + 1023) << 52);
}

// ---- sin/cos/tan kernels on [-pi/4, pi/4]; x + y is the reduced argument ----------------

inline constexpr double kSin[] = {
    -0x1.5555555555549p-3, 0x1.111111110f8a6p-7,   -0x1.a01a019c161d5p-13,
    0x1.71de357b1fe7dp-19, -0x1.ae5e68a2b9cebp-26, 0x1.5d93a5acfd57cp-33,
};
inline constexpr double kCos[] = {
    0x1.555555555554cp-5,   -0x1.6c16c16c15177p-10, 0x1.a01a019cb1590p-16,
    -0x1.27e4f809c52adp-22, 0x1.1ee9ebdb4b1c4p-29,  -0x1.8fae9be8838d4p-37,
};
inline constexpr double kTan[] = {
    0x1.5555555555563p-2,  0x1.111111110fe7ap-3,  0x1.ba1ba1bb341fep-5,  0x1.664f48406d637p-6,
    0x1.226e3e96e8493p-7,  0x1.d6d22c9560328p-9,  0x1.7dbc8fee08315p-10, 0x1.344d8f2f26501p-11,
    0x1.026f71a8d1068p-12, 0x1.47e88a03792a6p-14, 0x1.2b80f32f0a7e9p-14, -0x1.375cbdb605373p-16,
    0x1.b2a7074bf7ad4p-16,
};
inline constexpr double kPio4Hi = 0x1.921fb54442d18p-1;
inline constexpr double kPio4Lo = 0x1.1a62633145c07p-55;

// sin(x + y); y is the tail of x (pass 0 when there is none).
inline double SinKernel(double x, double y) {
    const double z = x * x;
    const double w = z * z;
    const double r = kSin[1] + z * (kSin[2] + z * kSin[3]) + z * w * (kSin[4] + z * kSin[5]);
    const double v = z * x;
    if (y == 0.0) return x + v * (kSin[0] + z * r);
    return x - ((z * (0.5 * y - v * r) - y) - v * kSin[0]);
}

// cos(x + y). w + (1 - w - hz) is exactly 1 - z/2, kept in two parts for accuracy.
inline double CosKernel(double x, double y) {
    const double z = x * x;
    const double w = z * z;
    const double r = z * (kCos[0] + z * (kCos[1] + z * kCos[2])) +
                     w * w * (kCos[3] + z * (kCos[4] + z * kCos[5]));
    const double hz = 0.5 * z;
    const double one_minus_hz = 1.0 - hz;
    return one_minus_hz + (((1.0 - one_minus_hz) - hz) + (z * r - x * y));
}

// tan(x + y) when odd is false, -1/tan(x + y) when odd is true.
inline double TanKernel(double x, double y, bool odd) {
    const std::int32_t hx = HighWord(x);
    const bool big = (hx & 0x7fffffff) >= 0x3FE59428;  // |x| >= 0.6744: use tan(pi/4 - x)
    if (big) {
        if (hx < 0) {
            x = -x;
            y = -y;
        }
        x = (kPio4Hi - x) + (kPio4Lo - y);
        y = 0.0;
    }
    const double z = x * x;
    double w = z * z;
    // Odd/even split of the degree-27 polynomial gives two independent Horner chains.
    double r =
        kTan[1] + w * (kTan[3] + w * (kTan[5] + w * (kTan[7] + w * (kTan[9] + w * kTan[11]))));
    double v = z * (kTan[2] +
                    w * (kTan[4] + w * (kTan[6] + w * (kTan[8] + w * (kTan[10] + w * kTan[12])))));
    double s = z * x;
    r = y + z * (s * (r + v) + y);
    r += kTan[0] * s;
    w = x + r;
    if (big) {
        const double iy = odd ? -1.0 : 1.0;
        const double sign = hx < 0 ? -1.0 : 1.0;
        return sign * (iy - 2.0 * (x - (w * w / (w + iy) - r)));
    }
    if (!odd) return w;
    // -1/(x + r) with a plain division would be off by up to 2 ulp; refine it.
    const double w0 = ClearLowWord(w);
    v = r - (w0 - x);  // w0 + v == x + r
    const double a = -1.0 / w;
    const double a0 = ClearLowWord(a);
    s = 1.0 + a0 * w0;
    return a0 + a * (s + a0 * v);
}

// ---- argument reduction modulo pi/2 --------------------------------------------------------

// Reduces |x| >= 2^20 * pi/2 (finite) exactly enough for any double: x = n * pi/2 + y0 + y1.
// Returns n mod 4 (with the sign of x folded in, so only n & 3 is meaningful).
int ReducePio2Large(double x, double* y0, double* y1);

// x = n * pi/2 + y0 + y1 with |y0 + y1| <= ~pi/4; x finite. Returns n (only n & 3 is used).
inline int ReducePio2(double x, double* y0, double* y1) {
    // pi/2 split in 33-bit pieces: n * piece is exact for |n| < 2^20.
    constexpr double kInvPio2 = 0x1.45f306dc9c883p-1;
    constexpr double kPio2_1 = 0x1.921fb54400000p+0, kPio2_1t = 0x1.0b4611a626331p-34;
    constexpr double kPio2_2 = 0x1.0b4611a600000p-34, kPio2_2t = 0x1.3198a2e037073p-69;
    constexpr double kPio2_3 = 0x1.3198a2e000000p-69, kPio2_3t = 0x1.b839a252049c1p-104;
    constexpr double kRoundToInt = 0x1.8p52;

    const std::int32_t ix = HighWord(x) & 0x7fffffff;
    if (ix >= 0x413921fb) return ReducePio2Large(x, y0, y1);

    // Round x * 2/pi to the nearest integer: adding 1.5 * 2^52 leaves no fraction bits.
    double fn = x * kInvPio2 + kRoundToInt;
    fn = fn - kRoundToInt;
    const int n = static_cast<int>(fn);
    double r = x - fn * kPio2_1;
    double w = fn * kPio2_1t;  // good to 85 bits
    *y0 = r - w;
    const int ex = ix >> 20;
    // Exponent drop of the result measures the cancellation; add pieces while it is large.
    if (ex - ((HighWord(*y0) >> 20) & 0x7ff) > 16) {  // good to 118 bits
        double t = r;
        w = fn * kPio2_2;
        r = t - w;
        w = fn * kPio2_2t - ((t - r) - w);
        *y0 = r - w;
        if (ex - ((HighWord(*y0) >> 20) & 0x7ff) > 49) {  // good to 151 bits
            t = r;
            w = fn * kPio2_3;
            r = t - w;
            w = fn * kPio2_3t - ((t - r) - w);
            *y0 = r - w;
        }
    }
    *y1 = (r - *y0) - w;
    return n;
}

// ---- atan ---------------------------------------------------------------------------------

// atan(t) for |t| <= 7/16 is t - t*(s1 + s2), split into odd and even powers of t^2.
inline double AtanPolynomialTail(double t) {
    constexpr double kAtan[] = {
        0x1.555555555550dp-2, -0x1.999999998ebc4p-3, 0x1.24924920083ffp-3, -0x1.c71c6fe231671p-4,
        0x1.745cdc54c206ep-4, -0x1.3b0f2af749a6dp-4, 0x1.10d66a0d03d51p-4, -0x1.dde2d52defd9ap-5,
        0x1.97b4b24760debp-5, -0x1.2b4442c6a6c2fp-5, 0x1.0ad3ae322da11p-6,
    };
    const double z = t * t;
    const double w = z * z;
    const double s1 =
        z * (kAtan[0] +
             w * (kAtan[2] + w * (kAtan[4] + w * (kAtan[6] + w * (kAtan[8] + w * kAtan[10])))));
    const double s2 =
        w * (kAtan[1] + w * (kAtan[3] + w * (kAtan[5] + w * (kAtan[7] + w * kAtan[9]))));
    return t * (s1 + s2);
}

// ---- exp ----------------------------------------------------------------------------------

inline constexpr double kLn2Hi = 0x1.62e42fee00000p-1;  // k * kLn2Hi exact for |k| < 2^11
inline constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;

}  // namespace detail

inline double Sqrt(double x) {
    // Negative and NaN inputs never reach std::sqrt, so the runtime's errno/NaN path (which
    // differs between C libraries) is never taken.
    if (!(x >= 0.0)) return x != x ? x + x : detail::kQuietNaN;
    return std::sqrt(x);
}

inline double Floor(double x) {
    const std::uint64_t b = detail::Bits(x);
    const int e = static_cast<int>((b >> 52) & 0x7ff) - 1023;
    if (e >= 52) return e == 1024 ? x + x : x;  // integral, inf or NaN
    const bool negative = (b >> 63) != 0;
    if (e < 0) {  // |x| < 1
        if (!negative) return 0.0;
        return x == 0.0 ? x : -1.0;  // keeps -0
    }
    const std::uint64_t fraction_mask = (std::uint64_t{1} << (52 - e)) - 1;
    if ((b & fraction_mask) == 0) return x;
    // Negative: round the magnitude up; the carry may move into the exponent, which is right.
    const std::uint64_t rounded = negative ? b + fraction_mask : b;
    return detail::FromBits(rounded & ~fraction_mask);
}

inline double Sin(double x) {
    const std::int32_t ix = detail::HighWord(x) & 0x7fffffff;
    if (ix <= 0x3fe921fb) {             // |x| ~<= pi/4
        if (ix < 0x3e500000) return x;  // |x| < 2^-26: sin(x) rounds to x
        return detail::SinKernel(x, 0.0);
    }
    if (ix >= 0x7ff00000) return x - x;  // inf or NaN -> NaN
    double y0, y1;
    switch (detail::ReducePio2(x, &y0, &y1) & 3) {
        case 0:
            return detail::SinKernel(y0, y1);
        case 1:
            return detail::CosKernel(y0, y1);
        case 2:
            return -detail::SinKernel(y0, y1);
        default:
            return -detail::CosKernel(y0, y1);
    }
}

inline double Cos(double x) {
    const std::int32_t ix = detail::HighWord(x) & 0x7fffffff;
    if (ix <= 0x3fe921fb) {
        if (ix < 0x3e46a09e) return 1.0;  // |x| < 2^-27 * sqrt(2): cos(x) rounds to 1
        return detail::CosKernel(x, 0.0);
    }
    if (ix >= 0x7ff00000) return x - x;
    double y0, y1;
    switch (detail::ReducePio2(x, &y0, &y1) & 3) {
        case 0:
            return detail::CosKernel(y0, y1);
        case 1:
            return -detail::SinKernel(y0, y1);
        case 2:
            return -detail::CosKernel(y0, y1);
        default:
            return detail::SinKernel(y0, y1);
    }
}

inline double Tan(double x) {
    const std::int32_t ix = detail::HighWord(x) & 0x7fffffff;
    if (ix <= 0x3fe921fb) {
        if (ix < 0x3e400000) return x;  // |x| < 2^-27: tan(x) rounds to x
        return detail::TanKernel(x, 0.0, false);
    }
    if (ix >= 0x7ff00000) return x - x;
    double y0, y1;
    const int n = detail::ReducePio2(x, &y0, &y1);
    return detail::TanKernel(y0, y1, (n & 1) != 0);
}

namespace detail {

// atan(x + dx) where dx_term = dx / (1 + x^2) is the first-order effect of a tail dx of the
// argument (Atan2 passes the rounding error of y/x here; Atan passes 0). With from_pi set
// (x >= 0 only) it returns pi - atan(x + dx), folding pi in before the last rounding.
inline double AtanWithTail(double x, double dx_term, bool from_pi = false) {
    // atan(c) = hi + lo for the reduction centres 1/2, 1, 3/2 and infinity, and pi - atan(c).
    constexpr double kAtanHi[] = {0x1.dac670561bb4fp-2, 0x1.921fb54442d18p-1, 0x1.f730bd281f69bp-1,
                                  0x1.921fb54442d18p+0};
    constexpr double kAtanLo[] = {0x1.a2b7f222f65e2p-56, 0x1.1a62633145c07p-55,
                                  0x1.007887af0cbbdp-56, 0x1.1a62633145c07p-54};
    constexpr double kPiMinusAtanHi[] = {0x1.56c6e7397f5aep+1, 0x1.2d97c7f3321d2p+1,
                                         0x1.145385fa3af71p+1, 0x1.921fb54442d18p+0};
    constexpr double kPiMinusAtanLo[] = {0x1.660b64ece6f4bp-53, 0x1.a79394c9e8a0ap-54,
                                         0x1.fa53523b6428fp-53, 0x1.1a62633145c07p-54};
    constexpr double kPi = 0x1.921fb54442d18p+1, kPiLo = 0x1.1a62633145c07p-53;

    const std::int32_t hx = HighWord(x);
    const std::int32_t ix = hx & 0x7fffffff;
    if (ix >= 0x44100000) {  // |x| >= 2^66, inf or NaN
        if (x != x) return x + x;
        if (from_pi) return kPiMinusAtanHi[3] + kPiMinusAtanLo[3];
        return hx > 0 ? kAtanHi[3] + kAtanLo[3] : -kAtanHi[3] - kAtanLo[3];
    }
    if (ix < 0x3fdc0000) {  // |x| < 7/16: no reduction
        // |x| < 2^-27: atan(x) rounds to x
        const double z = ix < 0x3e400000 ? x : x - (AtanPolynomialTail(x) - dx_term);
        return from_pi ? kPi - (z - kPiLo) : z;  // z is far below pi's ulp: no extra care
    }
    // atan(|x|) = atan(c) + atan((|x| - c) / (1 + c|x|)) for the nearest centre c.
    double t = Abs(x);
    int id;
    if (ix < 0x3fe60000) {  // 7/16 <= |x| < 11/16
        id = 0;
        t = (2.0 * t - 1.0) / (2.0 + t);
    } else if (ix < 0x3ff30000) {  // 11/16 <= |x| < 19/16
        id = 1;
        t = (t - 1.0) / (t + 1.0);
    } else if (ix < 0x40038000) {  // 19/16 <= |x| < 39/16
        id = 2;
        t = (t - 1.5) / (1.0 + 1.5 * t);
    } else {  // 39/16 <= |x| < 2^66
        id = 3;
        t = -1.0 / t;
    }
    const double p = AtanPolynomialTail(t);
    if (from_pi) return kPiMinusAtanHi[id] + (((p - dx_term) + kPiMinusAtanLo[id]) - t);
    if (hx < 0) dx_term = -dx_term;
    const double z = kAtanHi[id] - (((p - kAtanLo[id]) - dx_term) - t);
    return hx < 0 ? -z : z;
}

}  // namespace detail

inline double Atan(double x) {
    return detail::AtanWithTail(x, 0.0);
}

inline double Exp(double x) {
    using namespace detail;
    constexpr double kOverflow = 0x1.62e42fefa39efp+9;    // largest x with finite exp(x)
    constexpr double kUnderflow = -0x1.74910d52d3051p+9;  // below this exp(x) rounds to 0
    constexpr double kInvLn2 = 0x1.71547652b82fep+0;
    constexpr double kP[] = {0x1.555555555553ep-3, -0x1.6c16c16bebd93p-9, 0x1.1566aaf25de2cp-14,
                             -0x1.bbd41c5d26bf1p-20, 0x1.6376972bea4d0p-25};

    const std::int32_t hx_signed = HighWord(x);
    const bool negative = hx_signed < 0;
    const std::int32_t hx = hx_signed & 0x7fffffff;

    if (hx >= 0x40862E42) {  // |x| >= 709.78..., inf or NaN
        if (hx >= 0x7ff00000) {
            if (x != x) return x + x;
            return negative ? 0.0 : x;
        }
        if (x > kOverflow) return kInfinity;
        if (x < kUnderflow) return 0.0;
    }

    // x = k*ln2 + hi - lo with |hi - lo| <= ln2/2.
    double hi = 0.0, lo = 0.0;
    int k = 0;
    if (hx > 0x3fd62e42) {      // |x| > ln2/2
        if (hx < 0x3FF0A2B2) {  // |x| < 3*ln2/2
            hi = negative ? x + kLn2Hi : x - kLn2Hi;
            lo = negative ? -kLn2Lo : kLn2Lo;
            k = negative ? -1 : 1;
        } else {
            k = static_cast<int>(kInvLn2 * x + (negative ? -0.5 : 0.5));
            const double t = k;
            hi = x - t * kLn2Hi;
            lo = t * kLn2Lo;
        }
        x = hi - lo;
    } else if (hx < 0x3e300000) {  // |x| < 2^-28: exp(x) rounds to 1 + x
        return 1.0 + x;
    }

    // exp(r) = 1 + r + r*c/(2 - c), c = r - r^2*P(r^2)  (Remez fit of r*coth(r/2)).
    const double t = x * x;
    const double c = x - t * (kP[0] + t * (kP[1] + t * (kP[2] + t * (kP[3] + t * kP[4]))));
    if (k == 0) return 1.0 - ((x * c) / (c - 2.0) - x);
    const double y = 1.0 - ((lo - (x * c) / (2.0 - c)) - hi);
    // Scale by 2^k in steps that cannot lose bits before the final rounding.
    if (k < -1021) return y * PowerOfTwo(k + 1000) * 0x1p-1000;
    if (k == 1024) return y * 2.0 * 0x1p1023;
    return y * PowerOfTwo(k);
}

inline double Log(double x) {
    using namespace detail;
    constexpr double kLg[] = {0x1.5555555555593p-1, 0x1.999999997fa04p-2, 0x1.2492494229359p-2,
                              0x1.c71c51d8e78afp-3, 0x1.7466496cb03dep-3, 0x1.39a09d078c69fp-3,
                              0x1.2f112df3e5244p-3};

    std::int32_t hx = HighWord(x);
    int k = 0;
    if (hx < 0x00100000) {  // x < 2^-1022, including negatives and zeros
        if ((Bits(x) << 1) == 0) return -kInfinity;
        if (hx < 0) return x != x ? x + x : kQuietNaN;
        k -= 54;  // subnormal: scale into the normal range
        x *= 0x1p54;
        hx = HighWord(x);
    }
    if (hx >= 0x7ff00000) return x + x;  // +inf or NaN

    // x = 2^k * (1 + f) with sqrt(2)/2 < 1 + f < sqrt(2).
    k += (hx >> 20) - 1023;
    hx &= 0x000fffff;
    const std::int32_t i = (hx + 0x95f64) & 0x100000;
    x = FromWords(static_cast<std::uint32_t>(hx | (i ^ 0x3ff00000)), LowWord(x));
    k += i >> 20;
    const double f = x - 1.0;
    const double dk = k;

    if ((0x000fffff & (2 + hx)) < 3) {  // -2^-20 <= f < 2^-20: short series
        if (f == 0.0) return k == 0 ? 0.0 : dk * kLn2Hi + dk * kLn2Lo;
        const double r = f * f * (0.5 - 0x1.5555555555555p-2 * f);
        if (k == 0) return f - r;
        return dk * kLn2Hi - ((r - dk * kLn2Lo) - f);
    }

    // log(1+f) = 2s + s*R(s^2) with s = f/(2+f).
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (kLg[1] + w * (kLg[3] + w * kLg[5]));
    const double t2 = z * (kLg[0] + w * (kLg[2] + w * (kLg[4] + w * kLg[6])));
    const double r = t2 + t1;
    if (((hx - 0x6147a) | (0x6b851 - hx)) > 0) {  // f far from 0: subtract f*f/2 separately
        const double hfsq = 0.5 * f * f;
        if (k == 0) return f - (hfsq - s * (hfsq + r));
        return dk * kLn2Hi - ((hfsq - (s * (hfsq + r) + dk * kLn2Lo)) - f);
    }
    if (k == 0) return f - s * (f - r);
    return dk * kLn2Hi - ((s * (f - r) - dk * kLn2Lo) - f);
}

}  // namespace vx
