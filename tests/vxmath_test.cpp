// Tests for core/vxmath.
//
// VxMathAccuracy compares against the host C library, which is a valid reference only where it
// is accurate (glibc: sin/cos/exp/log/pow are < 1 ulp, floor/fmod/sqrt exact). The other
// suites use no host math and must pass unchanged on every build; VxMathBitExact.Checksum is
// the cross-build proof that both builds produce the same bits.
#include "core/vxmath.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bits64 = std::uint64_t;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMinSubnormal = std::numeric_limits<double>::denorm_min();
constexpr double kMaxDouble = std::numeric_limits<double>::max();

Bits64 BitsOf(double x) {
    return std::bit_cast<Bits64>(x);
}
double FromBits(Bits64 b) {
    return std::bit_cast<double>(b);
}

// Deterministic generator (splitmix64) so inputs are identical on every platform.
class Rng {
  public:
    explicit Rng(Bits64 seed) : state_(seed) {}
    Bits64 Next() {
        Bits64 z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi) using only exact conversions and basic operations.
    double Uniform(double lo, double hi) {
        const double u = static_cast<double>(static_cast<std::int64_t>(Next() >> 11)) * 0x1p-53;
        return lo + (hi - lo) * u;
    }
    // Random mantissa with a biased exponent drawn from [min_exp, max_exp]; random sign if asked.
    double WithExponent(int min_exp, int max_exp, bool any_sign) {
        const Bits64 r = Next();
        const Bits64 e =
            static_cast<Bits64>(min_exp) + (r >> 40) % static_cast<Bits64>(max_exp - min_exp + 1);
        const Bits64 sign = any_sign ? (r & 1) << 63 : 0;
        return FromBits(sign | (e << 52) | (Next() & 0x000FFFFFFFFFFFFFull));
    }

  private:
    Bits64 state_;
};

// Distance in representable doubles; both NaN counts as equal, one NaN as infinitely far.
Bits64 UlpDistance(double a, double b) {
    if (a != a || b != b) return (a != a && b != b) ? 0 : std::numeric_limits<Bits64>::max();
    const auto ordered = [](double x) {
        const Bits64 u = BitsOf(x);
        return (u >> 63) ? -static_cast<std::int64_t>(u & ~(Bits64{1} << 63))
                         : static_cast<std::int64_t>(u);
    };
    const std::int64_t d = ordered(a) - ordered(b);
    return static_cast<Bits64>(d < 0 ? -d : d);
}

bool SameBits(double a, double b) {
    return BitsOf(a) == BitsOf(b);
}

// ---------------------------------------------------------------------------------------------
// Accuracy against the host C library.

using Unary = std::function<double(double)>;
using Binary = std::function<double(double, double)>;
using UnaryRef = std::function<long double(long double)>;
using BinaryRef = std::function<long double(long double, long double)>;
using UnaryInput = std::function<double(Rng&)>;
using BinaryInput = std::function<std::pair<double, double>(Rng&)>;

constexpr int kSamplesPerFunction = 1000000;

// Error of `ours` in units of the double ulp at the wider reference value. Results that the
// reference puts outside the finite double range count only through the distance check.
double FractionalUlps(double ours, long double reference) {
    const double nearest = static_cast<double>(reference);
    if (ours != ours || std::isinf(ours) || std::isinf(nearest) || ours == nearest) return 0.0;
    const double magnitude = std::fabs(nearest);
    const long double ulp = static_cast<long double>(std::nextafter(magnitude, kInf) - magnitude);
    return static_cast<double>(std::fabs(static_cast<long double>(ours) - reference) / ulp);
}

struct WorstCase {
    Bits64 ulps = 0;        // distance from the host's double result
    double fractional = 0;  // error against the host's long double result
    double x = 0, y = 0;    // input of the largest fractional error
};

void Record(WorstCase& worst, double ours, double reference, long double wide, double x, double y) {
    const Bits64 d = UlpDistance(ours, reference);
    if (d > worst.ulps) worst.ulps = d;
    const double f = FractionalUlps(ours, wide);
    if (f > worst.fractional) worst = {worst.ulps, f, x, y};
}

// Draws samples round-robin from the input domains and keeps the largest errors.
WorstCase MeasureUnary(const Unary& ours, const Unary& reference, const UnaryRef& wide,
                       const std::vector<UnaryInput>& domains, Bits64 seed) {
    Rng rng(seed);
    WorstCase worst;
    for (int i = 0; i < kSamplesPerFunction; ++i) {
        const double x = domains[i % domains.size()](rng);
        Record(worst, ours(x), reference(x), wide(x), x, 0.0);
    }
    return worst;
}

WorstCase MeasureBinary(const Binary& ours, const Binary& reference, const BinaryRef& wide,
                        const std::vector<BinaryInput>& domains, Bits64 seed) {
    Rng rng(seed);
    WorstCase worst;
    for (int i = 0; i < kSamplesPerFunction; ++i) {
        const auto [x, y] = domains[i % domains.size()](rng);
        Record(worst, ours(x, y), reference(x, y), wide(x, y), x, y);
    }
    return worst;
}

// Asserts faithful rounding: within 1 ulp of the host's double result and below 1 ulp of
// the exact value (as far as the host's long double functions tell).
void ExpectFaithful(const char* name, const WorstCase& w) {
    std::printf(
        "[ vxmath   ] %-6s max %llu ulp vs host double, %.3f ulp vs host long double"
        " (worst at x=%a y=%a)\n",
        name, static_cast<unsigned long long>(w.ulps), w.fractional, w.x, w.y);
    EXPECT_LE(w.ulps, 1u) << name << " at x=" << w.x << " y=" << w.y;
    EXPECT_LT(w.fractional, 1.0) << name;
}

// Doubles near integer multiples of pi/2, where the reduction cancels most bits.
double NearMultipleOfPio2(Rng& rng) {
    const double k = static_cast<double>(static_cast<std::int64_t>(rng.Next() >> 44));  // < 2^20
    const double x = k * 1.5707963267948966;
    const std::int64_t nudge = static_cast<std::int64_t>(rng.Next() % 9) - 4;
    return FromBits(BitsOf(x) + nudge);
}

const std::vector<UnaryInput> kTrigDomains = {
    [](Rng& r) { return r.Uniform(-7.0, 7.0); },
    [](Rng& r) { return r.WithExponent(1023 - 30, 1023 + 29, true); },  // 2^-30 .. 1e9
    [](Rng& r) { return r.WithExponent(1023 + 20, 1023 + 60, true); },  // past the 3-step path
    [](Rng& r) { return r.WithExponent(1023 + 60, 2046, true); },       // up to DBL_MAX
    NearMultipleOfPio2,
};

TEST(VxMathAccuracy, SinCosTanWithinOneUlp) {
    const struct {
        const char* name;
        Unary ours, reference;
        UnaryRef wide;
    } cases[] = {
        {"Sin", vx::Sin, [](double x) { return std::sin(x); },
         [](long double x) { return sinl(x); }},
        {"Cos", vx::Cos, [](double x) { return std::cos(x); },
         [](long double x) { return cosl(x); }},
        {"Tan", vx::Tan, [](double x) { return std::tan(x); },
         [](long double x) { return tanl(x); }},
    };
    for (const auto& c : cases)
        ExpectFaithful(c.name, MeasureUnary(c.ours, c.reference, c.wide, kTrigDomains, 1));
}

TEST(VxMathAccuracy, AtanAndAtan2WithinOneUlp) {
    const std::vector<UnaryInput> atan_domains = {
        [](Rng& r) { return r.Uniform(-4.0, 4.0); },
        [](Rng& r) { return r.WithExponent(1, 2046, true); },
    };
    ExpectFaithful("Atan", MeasureUnary(
                               vx::Atan, [](double x) { return std::atan(x); },
                               [](long double x) { return atanl(x); }, atan_domains, 2));

    const std::vector<BinaryInput> atan2_domains = {
        [](Rng& r) {
            return std::pair{r.Uniform(-10, 10), r.Uniform(-10, 10)};
        },
        [](Rng& r) {
            return std::pair{r.WithExponent(1023 - 80, 1023 + 80, true),
                             r.WithExponent(1023 - 80, 1023 + 80, true)};
        },
        [](Rng& r) {
            return std::pair{r.WithExponent(0, 2046, true), r.WithExponent(0, 2046, true)};
        },
    };
    ExpectFaithful(
        "Atan2", MeasureBinary(
                     vx::Atan2, [](double y, double x) { return std::atan2(y, x); },
                     [](long double y, long double x) { return atan2l(y, x); }, atan2_domains, 3));
}

TEST(VxMathAccuracy, ExpAndLogWithinOneUlp) {
    const std::vector<UnaryInput> exp_domains = {
        [](Rng& r) { return r.Uniform(-746.0, 710.0); },  // includes subnormal results
        [](Rng& r) { return r.Uniform(-2.0, 2.0); },
        [](Rng& r) { return r.WithExponent(1023 - 60, 1023 - 1, true); },
    };
    ExpectFaithful("Exp", MeasureUnary(
                              vx::Exp, [](double x) { return std::exp(x); },
                              [](long double x) { return expl(x); }, exp_domains, 4));

    const std::vector<UnaryInput> log_domains = {
        [](Rng& r) { return r.WithExponent(0, 2046, false); },  // includes subnormals
        [](Rng& r) { return r.Uniform(0.5, 2.0); },
        [](Rng& r) { return 1.0 + r.Uniform(-0x1p-19, 0x1p-19); },
    };
    ExpectFaithful("Log", MeasureUnary(
                              vx::Log, [](double x) { return std::log(x); },
                              [](long double x) { return logl(x); }, log_domains, 5));
}

TEST(VxMathAccuracy, PowWithinOneUlp) {
    const std::vector<BinaryInput> domains = {
        [](Rng& r) {
            return std::pair{r.WithExponent(1023 - 20, 1023 + 20, false), r.Uniform(-60, 60)};
        },
        [](Rng& r) {
            return std::pair{r.Uniform(0.0, 1.0), r.Uniform(0.0, 4.0)};
        },  // gamma
        [](Rng& r) {
            return std::pair{r.WithExponent(1, 2046, false), r.Uniform(-1.5, 1.5)};
        },
        [](Rng& r) {  // close to 1 with huge exponents (the |y| > 2^31 path)
            return std::pair{1.0 + r.Uniform(-0x1p-21, 0x1p-21),
                             r.WithExponent(1023 + 31, 1023 + 40, true)};
        },
        [](Rng& r) {  // negative base, integer exponent
            const double y = static_cast<double>(static_cast<std::int64_t>(r.Next() % 81) - 40);
            return std::pair{-r.WithExponent(1023 - 10, 1023 + 10, false), y};
        },
        [](Rng& r) {  // integer powers of integers are exact
            const double x = static_cast<double>(static_cast<std::int64_t>(r.Next() % 1000));
            return std::pair{x, static_cast<double>(static_cast<std::int64_t>(r.Next() % 6))};
        },
    };
    ExpectFaithful("Pow", MeasureBinary(
                              vx::Pow, [](double x, double y) { return std::pow(x, y); },
                              [](long double x, long double y) { return powl(x, y); }, domains, 6));
}

TEST(VxMathAccuracy, ExactFunctionsMatchBitForBit) {
    Rng rng(7);
    for (int i = 0; i < kSamplesPerFunction; ++i) {
        const double x = rng.WithExponent(0, 2046, true);
        ASSERT_TRUE(SameBits(vx::Floor(x), std::floor(x))) << x;
        const double a = rng.WithExponent(0, 2046, false);
        ASSERT_TRUE(SameBits(vx::Sqrt(a), std::sqrt(a))) << a;
        // Fmod runs one step per bit of exponent difference; keep most pairs realistic.
        const double y = (i % 100 == 0) ? rng.WithExponent(0, 2046, true)
                                        : rng.WithExponent(1023 - 40, 1023 + 40, true);
        const double v = (i % 100 == 0) ? rng.WithExponent(0, 2046, true)
                                        : rng.WithExponent(1023 - 40, 1023 + 40, true);
        ASSERT_TRUE(SameBits(vx::Fmod(v, y), std::fmod(v, y))) << v << " fmod " << y;
    }
}

// ---------------------------------------------------------------------------------------------
// Special values (no host math involved).

struct UnaryCase {
    const char* name;
    double (*fn)(double);
    double in, expected;  // NaN expected means "any NaN"
};

void ExpectResult(double got, double expected, const std::string& what) {
    if (expected != expected) {
        EXPECT_TRUE(got != got) << what << " gave " << got;
    } else {
        EXPECT_TRUE(SameBits(got, expected)) << what << " gave " << got << ", want " << expected;
    }
}

TEST(VxMathSpecialValues, UnaryFunctions) {
    const double pio2 = 0x1.921fb54442d18p+0;
    const UnaryCase cases[] = {
        {"Sin", vx::Sin, 0.0, 0.0},
        {"Sin", vx::Sin, -0.0, -0.0},
        {"Sin", vx::Sin, kInf, kNaN},
        {"Sin", vx::Sin, -kInf, kNaN},
        {"Sin", vx::Sin, kNaN, kNaN},
        {"Sin", vx::Sin, kMinSubnormal, kMinSubnormal},
        {"Cos", vx::Cos, 0.0, 1.0},
        {"Cos", vx::Cos, -0.0, 1.0},
        {"Cos", vx::Cos, kInf, kNaN},
        {"Cos", vx::Cos, kNaN, kNaN},
        {"Tan", vx::Tan, -0.0, -0.0},
        {"Tan", vx::Tan, kInf, kNaN},
        {"Atan", vx::Atan, -0.0, -0.0},
        {"Atan", vx::Atan, kInf, pio2},
        {"Atan", vx::Atan, -kInf, -pio2},
        {"Atan", vx::Atan, kNaN, kNaN},
        {"Exp", vx::Exp, 0.0, 1.0},
        {"Exp", vx::Exp, -0.0, 1.0},
        {"Exp", vx::Exp, kInf, kInf},
        {"Exp", vx::Exp, -kInf, 0.0},
        {"Exp", vx::Exp, 710.0, kInf},
        {"Exp", vx::Exp, -746.0, 0.0},
        {"Exp", vx::Exp, -745.0, kMinSubnormal},
        {"Exp", vx::Exp, kNaN, kNaN},
        {"Log", vx::Log, 1.0, 0.0},
        {"Log", vx::Log, 0.0, -kInf},
        {"Log", vx::Log, -0.0, -kInf},
        {"Log", vx::Log, -1.0, kNaN},
        {"Log", vx::Log, -kInf, kNaN},
        {"Log", vx::Log, kInf, kInf},
        {"Log", vx::Log, kNaN, kNaN},
        {"Log", vx::Log, 0x1p-1074, -0x1.74385446d71c3p+9},
        {"Sqrt", vx::Sqrt, -0.0, -0.0},
        {"Sqrt", vx::Sqrt, -1.0, kNaN},
        {"Sqrt", vx::Sqrt, kInf, kInf},
        {"Sqrt", vx::Sqrt, -kInf, kNaN},
        {"Sqrt", vx::Sqrt, 4.0, 2.0},
        {"Sqrt", vx::Sqrt, kNaN, kNaN},
        {"Floor", vx::Floor, -0.0, -0.0},
        {"Floor", vx::Floor, -0.5, -1.0},
        {"Floor", vx::Floor, 0.5, 0.0},
        {"Floor", vx::Floor, -1.5, -2.0},
        {"Floor", vx::Floor, -kMinSubnormal, -1.0},
        {"Floor", vx::Floor, 0x1p52 + 1, 0x1p52 + 1},
        {"Floor", vx::Floor, -0x1.fffffffffffffp51, -0x1p52},
        {"Floor", vx::Floor, -kInf, -kInf},
        {"Floor", vx::Floor, kNaN, kNaN},
    };
    for (const auto& c : cases)
        ExpectResult(c.fn(c.in), c.expected,
                     std::string(c.name) + "(" + std::to_string(c.in) + ")");
}

struct BinaryCase {
    double x, y, expected;
};

TEST(VxMathSpecialValues, Pow) {
    const BinaryCase cases[] = {
        {kNaN, 0.0, 1.0},
        {kNaN, -0.0, 1.0},
        {1.0, kNaN, 1.0},
        {-1.0, kInf, 1.0},
        {-1.0, -kInf, 1.0},
        {2.0, kNaN, kNaN},
        {kNaN, 2.0, kNaN},
        {-2.0, 0.5, kNaN},
        {-8.0, 1.0 / 3, kNaN},
        {-2.0, 3.0, -8.0},
        {-2.0, 2.0, 4.0},
        {-2.0, -1.0, -0.5},
        {-2.0, 1e300, kInf},
        {0.0, -1.0, kInf},
        {-0.0, -1.0, -kInf},
        {-0.0, -2.0, kInf},
        {0.0, -0.5, kInf},
        {-0.0, 3.0, -0.0},
        {-0.0, 2.0, 0.0},
        {0.0, 0.5, 0.0},
        {-0.0, 0.5, 0.0},
        {0.5, kInf, 0.0},
        {0.5, -kInf, kInf},
        {2.0, kInf, kInf},
        {2.0, -kInf, 0.0},
        {kInf, -1.0, 0.0},
        {kInf, 0.5, kInf},
        {-kInf, 3.0, -kInf},
        {-kInf, -3.0, -0.0},
        {-kInf, 2.0, kInf},
        {-kInf, -2.0, 0.0},
        {2.0, 1024.0, kInf},
        {2.0, -1074.0, kMinSubnormal},
        {2.0, -1075.0, 0.0},
        {-2.0, -1075.0, -0.0},
        {10.0, 15.0, 1e15},
        {3.0, 40.0, 12157665459056928801.0},
        {4.0, 0.5, 2.0},
        {kMaxDouble, 2.0, kInf},
        {-1.0, 0x1p53 + 2, 1.0},
        {-1.0, 0x1p52 + 1, -1.0},
    };
    for (const auto& c : cases)
        ExpectResult(vx::Pow(c.x, c.y), c.expected,
                     "Pow(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ")");
}

TEST(VxMathSpecialValues, Atan2AndFmod) {
    const double pi = 0x1.921fb54442d18p+1, pio2 = pi / 2, pio4 = pi / 4;
    const BinaryCase atan2_cases[] = {
        {0.0, 1.0, 0.0},     {-0.0, 1.0, -0.0},  {0.0, -1.0, pi},      {-0.0, -1.0, -pi},
        {0.0, 0.0, 0.0},     {0.0, -0.0, pi},    {-0.0, -0.0, -pi},    {1.0, 0.0, pio2},
        {-1.0, -0.0, -pio2}, {kInf, kInf, pio4}, {-kInf, kInf, -pio4}, {kInf, -kInf, 3 * pio4},
        {1.0, kInf, 0.0},    {-1.0, kInf, -0.0}, {1.0, -kInf, pi},     {-1.0, -kInf, -pi},
        {kInf, 1.0, pio2},   {kNaN, 1.0, kNaN},  {1.0, kNaN, kNaN},    {-1e-300, 1e300, -0.0},
    };
    for (const auto& c : atan2_cases)
        ExpectResult(vx::Atan2(c.x, c.y), c.expected,
                     "Atan2(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ")");

    const BinaryCase fmod_cases[] = {
        {5.5, 2.0, 1.5},
        {-5.5, 2.0, -1.5},
        {5.5, -2.0, 1.5},
        {-4.0, 2.0, -0.0},
        {1.0, 0.0, kNaN},
        {kInf, 2.0, kNaN},
        {2.0, kInf, 2.0},
        {kNaN, 2.0, kNaN},
        {2.0, kNaN, kNaN},
        {0.0, 3.0, 0.0},
        {-0.0, 3.0, -0.0},
        {kMaxDouble, kMinSubnormal, 0.0},
        {0x1p-1060 * 3, 0x1p-1060 * 2, 0x1p-1060},
        {0x1p1000, 3.0, 1.0},
    };
    for (const auto& c : fmod_cases)
        ExpectResult(vx::Fmod(c.x, c.y), c.expected,
                     "Fmod(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ")");
}

TEST(VxMathSpecialValues, TrigOfHugeArguments) {
    // Correctly rounded results, computed with 3000-bit arithmetic.
    EXPECT_TRUE(SameBits(vx::Sin(1e22), -0x1.b453ab76bf397p-1)) << vx::Sin(1e22);
    EXPECT_TRUE(SameBits(vx::Cos(kMaxDouble), -0x1.fffe62ecfab75p-1)) << vx::Cos(kMaxDouble);
    EXPECT_TRUE(SameBits(vx::Tan(1e9), 0x1.4d8b249e3dba7p-1)) << vx::Tan(1e9);
    // The double closest to a multiple of pi/2 (6381956970095103 * 2^797): the reduced
    // argument is ~2^-61, so about 115 bits of 2/pi must be right.
    const double hard = 0x1.6ac5b262ca1ffp+849;
    EXPECT_TRUE(SameBits(vx::Cos(hard), -0x1.14ae72e6ba22fp-61)) << vx::Cos(hard);
    EXPECT_TRUE(SameBits(vx::Sin(hard), 1.0)) << vx::Sin(hard);
}

// ---------------------------------------------------------------------------------------------
// Cross-build bit identity: hash of every output bit over a fixed input list.

class Fnv1a {
  public:
    void Add(double v) {
        const Bits64 b = BitsOf(v);
        for (int i = 0; i < 8; ++i) {
            hash_ ^= (b >> (8 * i)) & 0xFF;
            hash_ *= 0x100000001B3ull;
        }
    }
    Bits64 Value() const { return hash_; }

  private:
    Bits64 hash_ = 0xCBF29CE484222325ull;
};

Bits64 ChecksumOfAllFunctions() {
    const double specials[] = {0.0,           -0.0,
                               1.0,           -1.0,
                               0.5,           -0.5,
                               2.0,           kInf,
                               -kInf,         kNaN,
                               kMinSubnormal, -kMinSubnormal,
                               kMaxDouble,    -kMaxDouble,
                               1e-300,        1e300,
                               3.0,           -3.0,
                               710.0,         -745.0,
                               1e22,          0x1.6ac5b262ca1ffp+849};
    Fnv1a h;
    const auto add_unary = [&h](double x) {
        for (double v : {vx::Sin(x), vx::Cos(x), vx::Tan(x), vx::Atan(x), vx::Exp(x), vx::Log(x),
                         vx::Sqrt(x), vx::Floor(x)})
            h.Add(v);
    };
    const auto add_binary = [&h](double x, double y) {
        for (double v : {vx::Pow(x, y), vx::Atan2(x, y), vx::Fmod(x, y)})
            h.Add(v);
    };
    for (double x : specials) {
        add_unary(x);
        for (double y : specials)
            add_binary(x, y);
    }
    Rng rng(2024);
    for (int i = 0; i < 20000; ++i) {
        add_unary(rng.Uniform(-10.0, 10.0));
        add_unary(rng.WithExponent(1023 - 40, 1023 + 40, true));
        add_unary(rng.WithExponent(0, 2046, true));
        // Separate statements: the order of evaluating call arguments is unspecified.
        const double base = rng.Uniform(0.0, 4.0);
        add_binary(base, rng.Uniform(-4.0, 4.0));
        const double x = rng.WithExponent(1023 - 40, 1023 + 40, true);
        add_binary(x, rng.WithExponent(1023 - 40, 1023 + 40, true));
    }
    for (int i = 0; i < 64; ++i) {
        const double x = static_cast<double>(i - 32);
        add_binary(x, x / 4);  // negative bases with integer and fractional exponents
    }
    return h.Value();
}

TEST(VxMathBitExact, Checksum) {
    // Recompute this constant only when an algorithm changes on purpose; both builds must agree.
    constexpr Bits64 kExpected = 0x84b4ecb8e0d0d779ull;
    const Bits64 got = ChecksumOfAllFunctions();
    std::printf("[ vxmath   ] checksum 0x%016llx\n", static_cast<unsigned long long>(got));
    EXPECT_EQ(got, kExpected);
}

}  // namespace
