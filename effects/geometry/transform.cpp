// Transform: up to six elementary plane transformations composed into one
// projective matrix, rendered by inverse mapping with a chosen interpolation.
#include "effects/geometry/transform.h"

#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/frame.h"
#include "core/vxmath.h"
#include "effects/effects.h"

namespace vx {

const char16_t* const kTransformOperationNames[17] = {u"nothing",
                                                      u"zoom",
                                                      u"move x",
                                                      u"move y",
                                                      u"shear x",
                                                      u"shear y",
                                                      u"rotate",
                                                      u"stretch x",
                                                      u"stretch y",
                                                      u"perspective x",
                                                      u"perspective y",
                                                      u"mirror x",
                                                      u"mirror y",
                                                      u"hide top margin",
                                                      u"hide bottom margin",
                                                      u"hide left margin",
                                                      u"hide right margin"};

namespace {

enum {
    kInterpolate = 12,
    kBgTransparency = 13,
    kBgRed = 14,
    kBgGreen = 15,
    kBgBlue = 16,
    kInterlaced = 17,
};
// ReadRenderSettings takes these in this order.
static_assert(kBgTransparency == kInterpolate + 1 && kBgRed == kInterpolate + 2 &&
              kBgGreen == kInterpolate + 3 && kBgBlue == kInterpolate + 4 &&
              kInterlaced == kInterpolate + 5);

constexpr ParamSpec Slot(int k, const char16_t* effectLabel, const char16_t* amountLabel,
                         bool amount) {
    return amount ? RealParam(2 * (k - 1) + 1, amountLabel, 0, 0.1, -300, 300, -100, 100)
                  : ChoiceParam(2 * (k - 1), effectLabel, 0, kTransformOperationNames);
}

constexpr ParamSpec kParamRows[] = {
    Slot(1, u"1. effect", nullptr, false),
    Slot(1, nullptr, u"1. amount", true),
    Slot(2, u"2. effect", nullptr, false),
    Slot(2, nullptr, u"2. amount", true),
    Slot(3, u"3. effect", nullptr, false),
    Slot(3, nullptr, u"3. amount", true),
    Slot(4, u"4. effect", nullptr, false),
    Slot(4, nullptr, u"4. amount", true),
    Slot(5, u"5. effect", nullptr, false),
    Slot(5, nullptr, u"5. amount", true),
    Slot(6, u"6. effect", nullptr, false),
    Slot(6, nullptr, u"6. amount", true),
    ChoiceParam(kInterpolate, u"interpolate", kInterpolateBilinear, kInterpolationNames),
    IntegerParam(kBgTransparency, u"bg transparency", 0, 1, 0, 255),
    RealParam(kBgRed, u"bg color: red", 0, 1, 0, 255),
    RealParam(kBgGreen, u"bg color: green", 0, 1, 0, 255),
    RealParam(kBgBlue, u"bg color: blue", 0, 1, 0, 255),
    BooleanParam(kInterlaced, u"interlaced", true),
};

// 10^-7 held in single precision, widened.
constexpr double kScaleFloor = double(1e-7f);

double ScaleCurve(double t) {
    if (t >= 0) return 5 * t + 1;
    const double f = 0.83333 * t + 1;
    return f < kScaleFloor ? kScaleFloor : f;
}

Matrix3 Identity() {
    return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
}

Matrix3 Multiply(const Matrix3& a, const Matrix3& b) {
    Matrix3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    return r;
}

}  // namespace

bool ElementaryMatrix(int32_t code, double a, double W, double H, Matrix3* p) {
    *p = Identity();
    auto& m = p->m;
    const double n = a == 1.0 ? 0.001 : 1 - a;
    switch (code) {
        case 1:
            m[0][0] = m[1][1] = ScaleCurve(-a);
            break;
        case 2:
            m[0][2] = -a * W;
            break;
        case 3:
            m[1][2] = -a * H;
            break;
        case 4:
            m[0][1] = a;
            break;
        case 5:
            m[1][0] = -a;
            break;
        case 6: {
            const double theta = -3.141592653589793 * a;
            m[0][0] = Cos(theta);
            m[0][1] = -Sin(theta);
            m[1][0] = Sin(theta);
            m[1][1] = Cos(theta);
            break;
        }
        case 7:
            m[0][0] = ScaleCurve(-a);
            break;
        case 8:
            m[1][1] = ScaleCurve(-a);
            break;
        case 9:
            m[2][0] = -2 * a / W;
            break;
        case 10:
            m[2][1] = 2 * a / H;
            break;
        case 11:
            m[0][0] = -1;
            break;
        case 12:
            m[1][1] = -1;
            break;
        case 13:
            m[1][1] = n, m[1][2] = a * H / 2;
            break;
        case 14:
            m[1][1] = n, m[1][2] = -a * H / 2;
            break;
        case 15:
            m[0][0] = n, m[0][2] = a * W / 2;
            break;
        case 16:
            m[0][0] = n, m[0][2] = -a * W / 2;
            break;
        default:
            return false;
    }
    return true;
}

Matrix3 MultiplyMatrices(const Matrix3& a, const Matrix3& b) {
    return Multiply(a, b);
}

Matrix3 ComposeTransform(const TransformStep* steps, int count, uint32_t W, uint32_t H) {
    Matrix3 M = Identity();
    for (int k = 0; k < count; ++k) {
        Matrix3 P;
        if (ElementaryMatrix(steps[k].code, steps[k].amount * 0.01, double(W), double(H), &P))
            M = Multiply(M, P);
    }
    return M;
}

void RenderProjective(const Sampler& sampler, const Matrix3& M, bool fieldAware, int32_t mode,
                      bool guardZero) {
    const uint32_t W = sampler.width, H = sampler.height;
    const uint32_t w2 = W / 2, h2 = H / 2;
    const auto& m = M.m;
    // Bilinear and kernel rows are sampled a whole row at a time from its
    // positions.
    const bool rows = mode != kInterpolateNone;
    const bool kernel = mode == kInterpolateCubicSharp || mode == kInterpolateCubicSoft ||
                        mode == kInterpolateCubicExact;
    std::vector<double> xs(rows ? W : 0), ys(rows ? W : 0);
    // Odd sizes: the last column and row follow the same mapping as the rest.
    for (uint32_t y = 0; y < H; ++y) {
        const double i = double(int32_t(y - h2));
        const double uRow = m[0][1] * i + m[0][2];
        const double vRow = m[1][1] * i + m[1][2];
        const double qRow = m[2][1] * i + m[2][2];
        uint32_t x = 0;
#if defined(__SSE2__)
        // Two columns at a time, each lane through the operations below.
        if (rows) {
            const __m128d m00 = _mm_set1_pd(m[0][0]), m10 = _mm_set1_pd(m[1][0]);
            const __m128d m20 = _mm_set1_pd(m[2][0]);
            const __m128d uRows = _mm_set1_pd(uRow), vRows = _mm_set1_pd(vRow);
            const __m128d qRows = _mm_set1_pd(qRow), one = _mm_set1_pd(1.0);
            const __m128d xCentre = _mm_set1_pd(w2), yCentre = _mm_set1_pd(h2);
            for (; x + 1 < W; x += 2) {
                const __m128d j = _mm_set_pd(double(int32_t(x + 1 - w2)), double(int32_t(x - w2)));
                const __m128d u = _mm_add_pd(_mm_mul_pd(m00, j), uRows);
                const __m128d v = _mm_add_pd(_mm_mul_pd(m10, j), vRows);
                const __m128d q = _mm_add_pd(_mm_mul_pd(m20, j), qRows);
                __m128d s = _mm_div_pd(one, q);
                if (guardZero) {
                    const __m128d zero = _mm_cmpeq_pd(q, _mm_setzero_pd());
                    s = _mm_or_pd(_mm_and_pd(zero, one), _mm_andnot_pd(zero, s));
                }
                _mm_storeu_pd(&xs[x], _mm_add_pd(_mm_mul_pd(s, u), xCentre));
                _mm_storeu_pd(&ys[x], _mm_add_pd(_mm_mul_pd(s, v), yCentre));
            }
        }
#endif
        for (; x < W; ++x) {
            const double j = double(int32_t(x - w2));
            const double u = m[0][0] * j + uRow;
            const double v = m[1][0] * j + vRow;
            const double q = m[2][0] * j + qRow;
            const double s = guardZero && q == 0 ? 1 : 1 / q;
            if (rows) {
                xs[x] = s * u + w2;
                ys[x] = s * v + h2;
            } else {
                sampler.SamplePixel(x, y, fieldAware, mode, s * u + w2, s * v + h2);
            }
        }
        if (kernel)
            sampler.SampleKernelRow(y, fieldAware, mode, xs.data(), ys.data());
        else if (rows)
            sampler.SampleBilinearRow(y, fieldAware, xs.data(), 1, ys.data(), 1);
    }
}

RenderSettings ReadRenderSettings(HostRenderContext* ctx, int32_t first, Rgba* outside) {
    const int32_t mode = ReadChoice(ctx, first);
    outside->alpha = uint8_t(ReadInteger(ctx, first + 1));
    outside->red = ClampToByte(ReadReal(ctx, first + 2));
    outside->green = ClampToByte(ReadReal(ctx, first + 3));
    outside->blue = ClampToByte(ReadReal(ctx, first + 4));
    return {mode, ReadBoolean(ctx, first + 5)};
}

namespace {

struct Transform : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        HostRenderContext* ctx = args.context;
        const auto [mode, fieldAware] = ReadRenderSettings(ctx, kInterpolate, &outsideColor);

        TransformStep steps[6];
        for (int k = 0; k < 6; ++k)
            steps[k] = {ReadChoice(ctx, 2 * k), ReadReal(ctx, 2 * k + 1)};
        const Matrix3 M = ComposeTransform(steps, 6, uint32_t(frameWidth), uint32_t(frameHeight));
        RenderProjective(Sampler(*this, src, dst), M, fieldAware, mode);
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateTransform() {
    return CreateEffect<Transform>();
}

}  // namespace vx
