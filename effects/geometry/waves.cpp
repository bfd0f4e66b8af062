// Waves: displaces whole columns vertically ("horizontal" waves) or whole
// rows horizontally ("vertical" waves) by a periodic wave that can travel
// and swing in strength over the clip.
#include <cstring>
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/random.h"
#include "core/sampling.h"
#include "core/vxmath.h"
#include "effects/effects.h"

namespace vx {
namespace {

enum { kType, kDirection, kFrequency, kAmplitude, kSpeed, kOffset, kMove };
enum WaveShape { kSine, kZigzag, kSquare, kTrapezoid, kRandom };
enum { kHorizontal, kVertical };

const char16_t* const kShapeNames[5] = {u"sine", u"zigzag", u"square", u"trapezoid", u"random"};
const char16_t* const kDirectionNames[2] = {u"horizontal", u"vertical"};

constexpr ParamSpec kParamRows[] = {
    ChoiceParam(kType, u"Type", 0, kShapeNames),
    ChoiceParam(kDirection, u"Direction", 0, kDirectionNames),
    RealParam(kFrequency, u"Frequency", 80, 0.1, 0, 200),
    RealParam(kAmplitude, u"Amplitude", 60, 0.1, 1, 200),
    RealParam(kSpeed, u"Speed", 0, 0.1, 0, 100),
    RealParam(kOffset, u"Offset", 0, 0.1, 0, 100),
    RealParam(kMove, u"Move", 0, 0.1, -10, 10),
};

constexpr int32_t kMaxQuarter = 2048;

// Integer part of a real, held within +-2^31 and NaN as 0, so hostile values
// convert safely.
int64_t WholePart(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483648LL;
    return int64_t(v);
}

// The strength factor over the clip: from 1 down through 0 to -1 and back,
// once every 4 units of t * Speed / 10.
double Swing(double p) {
    const int64_t k = WholePart(p);
    const double r = p - double(k);
    switch (((k % 4) + 4) % 4) {
        case 0:
            return 1 - r;
        case 1:
            return -r;
        case 2:
            return -(1 - r);
        default:
            return r;
    }
}

// One quarter of the wave period, n samples, scaled by A.
void FillQuarter(int32_t shape, int32_t n, double A, double* table) {
    for (int32_t i = 0; i < n; ++i) {
        switch (shape) {
            case kSine:
                table[i] = A * Sin(i * 1.5707963705062866 / n);
                break;
            case kZigzag:
                table[i] = A * i / n;
                break;
            case kSquare:
                table[i] = A;
                break;
            case kTrapezoid: {
                const double ramp = A * (2 * i) / n;
                table[i] = ramp < A ? ramp : A;
                break;
            }
            case kRandom:
                table[i] = (NextRandom() * 3.051850947599719e-05 - 0.5) * A * 2;
                break;
            default:
                table[i] = 0;
                break;
        }
    }
}

// The displacement of each position along the wave axis, walking the four
// quarters: rising, falling, and the same below zero.
void Displacements(const double* table, int32_t n, double K, double G, std::vector<double>* out) {
    int64_t q = WholePart(K) / n;
    for (size_t x = 0; x < out->size(); ++x) {
        const int64_t j = WholePart(K + double(x)) % n;
        double value;
        switch (q % 4) {
            case 0:
                value = table[j];
                break;
            case 1:
                value = table[n - j - 1];
                break;
            case 2:
                value = -table[j];
                break;
            default:
                value = -table[n - j - 1];
                break;
        }
        if (j == n - 1) ++q;
        (*out)[x] = value * G;
    }
}

struct Waves : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    // One quarter period; lives and dies with the effect object.
    double table[kMaxQuarter + 1] = {};

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        HostRenderContext* ctx = args.context;
        const int32_t shape = ReadChoice(ctx, kType);
        const bool vertical = ReadChoice(ctx, kDirection) == kVertical;
        const double f = 2 - ReadReal(ctx, kFrequency) * 0.01;
        const double A = ReadReal(ctx, kAmplitude) * 0.1;
        const double t = ReadClipPosition(ctx).progress;
        const double G = Swing(t * ReadReal(ctx, kSpeed) * 0.1) * A;

        const Sampler s(*this, src, dst);
        const double W = s.width, H = s.height;
        const double L = vertical ? H : W;
        // Frequencies beyond the range would give no samples at all.
        int64_t n = WholePart(L * f * 0.25 + 1);
        n = n < 1 ? 1 : n > kMaxQuarter ? kMaxQuarter : n;
        const double K = Shift(L * ReadReal(ctx, kOffset) * 0.01 - 100 * t * ReadReal(ctx, kMove),
                               W * H, double(4 * n));
        FillQuarter(shape, int32_t(n), A, table);

        std::vector<double> d(vertical ? s.height : s.width);
        Displacements(table, int32_t(n), K, G, &d);
        switch (s.bytesPerPixel) {
            case 4:
                Render<4>(s, d, vertical);
                break;
            case 3:
                Render<3>(s, d, vertical);
                break;
            default:
                Render<2>(s, d, vertical);
                break;
        }
        return kOk;
    }

    // Every output pixel from the nearest source pixel, as SamplePixel picks
    // it with the fields ignored: the position + 0.5 truncated, negative (or
    // NaN) positions and those past the frame outside.
    template <uint32_t N>
    static void Render(const Sampler& s, const std::vector<double>& d, bool vertical) {
        const uint8_t* origin = s.src.Row(0);
        const ptrdiff_t step = s.height > 1 ? s.src.Row(1) - origin : 0;
        for (uint32_t y = 0; y < s.height; ++y) {
            uint8_t* out = s.Dst(0, y);
            if (vertical) {
                const uint8_t* in = s.src.Row(int32_t(y));
                for (uint32_t x = 0; x < s.width; ++x, out += N) {
                    const double sx = x + d[y];
                    const uint64_t col = sx >= 0.0 && sx < 4.0e9 ? uint64_t(sx + 0.5) : s.width;
                    std::memcpy(out, col < s.width ? in + col * N : s.outside, N);
                }
            } else {
                for (uint32_t x = 0; x < s.width; ++x, out += N) {
                    const double sy = y + d[x];
                    const uint64_t row = sy >= 0.0 && sy < 4.0e9 ? uint64_t(sy + 0.5) : s.height;
                    std::memcpy(out,
                                row < s.height ? origin + ptrdiff_t(row) * step + x * N : s.outside,
                                N);
                }
            }
        }
    }

    // Brings a negative shift up by whole frame areas.  Shifts far outside
    // the parameters' reach are first reduced by whole wave periods, so the
    // loop stays short and the integer parts stay in range.
    static double Shift(double K, double area, double period) {
        if (!(K - K == 0)) return 0;
        if (K > 1e9) K = Fmod(K, period);
        if (K < -1e6 * area) K = Fmod(K, area);
        while (K < 0)
            K += area;
        return K;
    }
};

}  // namespace

EffectInterface* CreateWaves() {
    return CreateEffect<Waves>();
}

}  // namespace vx
