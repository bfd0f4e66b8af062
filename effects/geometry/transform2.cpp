// Transform2: nine transformation slots in three groups; each group acts over
// the whole clip or ramps in or out at its beginning, end or middle.  Amounts
// of the same operation add up, and the operations apply in a fixed order.
#include "core/frame.h"
#include "core/sampling.h"
#include "effects/effects.h"
#include "effects/geometry/transform.h"

namespace vx {
namespace {

enum {
    kInterpolate = 21,
    kBgTransparency = 22,
    kBgRed = 23,
    kBgGreen = 24,
    kBgBlue = 25,
    kInterlaced = 26,
};
// ReadRenderSettings takes these in this order.
static_assert(kBgTransparency == kInterpolate + 1 && kBgRed == kInterpolate + 2 &&
              kBgGreen == kInterpolate + 3 && kBgBlue == kInterpolate + 4 &&
              kInterlaced == kInterpolate + 5);

enum Validity { kWholeClip = 0, kBeginning = 1, kEnd = 2, kMiddle = 3 };

constexpr int kOperations = 17;
constexpr int kMirrorX = 11, kMirrorY = 12, kHideTopMargin = 13;

const char16_t* const kValidityNames[] = {u"whole clip", u"beginning", u"end", u"middle"};
const char16_t* const kInterpolation2Names[] = {u"none", u"bilinear", u"bicubic (sharp)",
                                                u"bicubic (soft)", u"bicubic (36)"};

// Group k (0..2) has its validity at id 7k, then effect and amount of its
// three slots at 7k + 1 + 2j and 7k + 2 + 2j.
constexpr ParamSpec Valid(int k, const char16_t* label) {
    return ChoiceParam(7 * k, label, kWholeClip, kValidityNames);
}
constexpr ParamSpec Effect(int k, int j, const char16_t* label) {
    return ChoiceParam(7 * k + 1 + 2 * j, label, 0, kTransformOperationNames);
}
constexpr ParamSpec Amount(int k, int j, const char16_t* label) {
    return RealParam(7 * k + 2 + 2 * j, label, 0, 0.1, -300, 300, -100, 100);
}

constexpr ParamSpec kParamRows[] = {
    Valid(0, u"1.-3. valid"),
    Effect(0, 0, u"1. effect"),
    Amount(0, 0, u"1. amount"),
    Effect(0, 1, u"2. effect"),
    Amount(0, 1, u"2. amount"),
    Effect(0, 2, u"3. effect"),
    Amount(0, 2, u"3. amount"),
    Valid(1, u"4.-6. valid"),
    Effect(1, 0, u"4. effect"),
    Amount(1, 0, u"4. amount"),
    Effect(1, 1, u"5. effect"),
    Amount(1, 1, u"5. amount"),
    Effect(1, 2, u"6. effect"),
    Amount(1, 2, u"6. amount"),
    Valid(2, u"7.-9. valid"),
    Effect(2, 0, u"7. effect"),
    Amount(2, 0, u"7. amount"),
    Effect(2, 1, u"8. effect"),
    Amount(2, 1, u"8. amount"),
    Effect(2, 2, u"9. effect"),
    Amount(2, 2, u"9. amount"),
    ChoiceParam(kInterpolate, u"interpolate", kInterpolateBilinear, kInterpolation2Names),
    IntegerParam(kBgTransparency, u"bg transparency", 0, 1, 0, 255),
    RealParam(kBgRed, u"bg color: red", 0, 1, 0, 255),
    RealParam(kBgGreen, u"bg color: green", 0, 1, 0, 255),
    RealParam(kBgBlue, u"bg color: blue", 0, 1, 0, 255),
    BooleanParam(kInterlaced, u"interlaced", true),
};

// Each operation's value at the clip's start, middle and end.
struct KeyValues {
    double start = 0, middle = 0, end = 0;

    void Add(int32_t validity, double a) {
        switch (validity) {
            case kWholeClip:
                start += a, middle += a, end += a;
                break;
            case kBeginning:
                start += a, middle += a / 2;
                break;
            case kEnd:
                end += a, middle += a / 2;
                break;
            case kMiddle:
                middle += a;
                break;
            default:
                break;
        }
    }
    // Linear from start to middle over the first half, middle to end over the second.
    double At(double t) const {
        if (t < 0.5) return start + (middle - start) * t * 2;
        return middle + (end - middle) * (t - 0.5) * 2;
    }
};

Matrix3 ComposeRamped(const KeyValues (&ops)[kOperations], double t, uint32_t W, uint32_t H) {
    Matrix3 M = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (int32_t code = 1; code <= 16; ++code) {
        const double a = ops[code].At(t);
        // A mirror is an on/off operation: only a positive value switches it on.
        if ((code == kMirrorX || code == kMirrorY) && !(a > 0)) continue;
        Matrix3 P;
        ElementaryMatrix(code, a, double(W), double(H), &P);
        // The top margin's thinnest slice is 0.001 held in single precision.
        if (code == kHideTopMargin && a == 1.0) P.m[1][1] = double(0.001f);
        M = MultiplyMatrices(M, P);
    }
    return M;
}

struct Transform2 : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        if (!FramesMatchPrepared(*this, src, dst)) return kOk;
        HostRenderContext* ctx = args.context;
        const auto [mode, fieldAware] = ReadRenderSettings(ctx, kInterpolate, &outsideColor);

        KeyValues ops[kOperations];
        for (int k = 0; k < 3; ++k) {
            const int32_t validity = ReadChoice(ctx, 7 * k);
            for (int j = 0; j < 3; ++j) {
                const int32_t code = ReadChoice(ctx, 7 * k + 1 + 2 * j);
                const double a = ReadReal(ctx, 7 * k + 2 + 2 * j) * 0.01;
                // Codes the choice list cannot produce are ignored.
                if (code >= 0 && code < kOperations) ops[code].Add(validity, a);
            }
        }
        const double t = ReadClipPosition(ctx).progress;
        const Matrix3 M = ComposeRamped(ops, t, uint32_t(frameWidth), uint32_t(frameHeight));
        // Transform's pixel loop, dividing by q unconditionally.
        RenderProjective(Sampler(*this, src, dst), M, fieldAware, mode, false);
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateTransform2() {
    return CreateEffect<Transform2>();
}

}  // namespace vx
