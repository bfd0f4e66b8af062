// Filter: one of ten fixed neighbourhood filters, blended with the unfiltered
// picture by an amount.
#include <memory>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/sampling.h"
#include "effects/effects.h"
#include "effects/geometry/pixel_processor.h"

namespace vx {
namespace {

enum { kFilterType, kAmount };

const char16_t* const kFilterNames[10] = {
    u"soften (a little)", u"soften (medium)", u"soften (a lot)", u"sharpen (a little)",
    u"sharpen (medium)",  u"sharpen (a lot)", u"emboss",         u"edge detect",
    u"blur horiz.",       u"shatter"};

constexpr ParamSpec kParamRows[] = {
    ChoiceParam(kFilterType, u"Filter type", 0, kFilterNames),
    IntegerParam(kAmount, u"Amount", 100, 1, 0, 200),
};

// clang-format off
constexpr int32_t kSoftenLittle[9] = {0, 1, 0,
                                      1, 5, 1,
                                      0, 1, 0};
constexpr int32_t kSoftenLot[25] = {1, 1, 1, 1, 1,  1, 1, 1, 1, 1,  1, 1, 1, 1, 1,
                                    1, 1, 1, 1, 1,  1, 1, 1, 1, 1};
constexpr int32_t kSharpenLittle[9] = {-1, -3, -1,
                                       -3, 41, -3,
                                       -1, -3, -1};
constexpr double kSharpenMedium[25] = {
    -0.0035, -0.0159, -0.0262, -0.0159, -0.0035,
    -0.0159, -0.0712, -0.1173, -0.0712, -0.0159,
    -0.0262, -0.1173,  2.0,    -0.1173, -0.0262,
    -0.0159, -0.0712, -0.1173, -0.0712, -0.0159,
    -0.0035, -0.0159, -0.0262, -0.0159, -0.0035};
constexpr int32_t kSharpenLot[9] = { 0, -1,  0,
                                    -1,  5, -1,
                                     0, -1,  0};
constexpr double kEmboss[49] = {
    -0.25, 0,    0,     0,    0, 0, 0,
     0,   -0.5,  0,     0,    0, 0, 0,
     0,    0,   -0.25,  0,    0, 0, 0,
     0,    0,    0,     1.25, 0, 0, 0,
     0,    0,    0,     0,    0, 0, 0,
     0,    0,    0,     0,    0, 0, 0,
     0,    0,    0,     0,    0, 0, 0};
constexpr double kEdgeDetect[9] = {-0.125, -0.125, -0.125,
                                   -0.125,  1,     -0.125,
                                   -0.125, -0.125, -0.125};
constexpr int32_t kBlurHorizontal[25] = {0, 0, 0, 0, 0,  0, 0, 0, 0, 0,  1, 2, 3, 2, 1,
                                         0, 0, 0, 0, 0,  0, 0, 0, 0, 0};
constexpr int32_t kShatter[25] = {1, 0, 0, 0, 1,  0, 0, 0, 0, 0,  0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0,  1, 0, 0, 0, 1};
constexpr int32_t kSoftenMediumTaps[3] = {1, 3, 1};
// clang-format on

// The kernel of a filter type; for a type outside the list the identity,
// which copies the picture rather than leave the output unwritten.
std::unique_ptr<PixelProcessor> BuildKernel(int32_t type) {
    switch (type) {
        case 0:
            return std::make_unique<IntegerKernel>(1, kSoftenLittle, 9, 0);
        case 1:
            return std::make_unique<SeparableKernel>(kSoftenMediumTaps, kSoftenMediumTaps, 5, 0);
        case 2:
            return std::make_unique<IntegerKernel>(2, kSoftenLot, 25, 0);
        case 3:
            return std::make_unique<IntegerKernel>(1, kSharpenLittle, 25, 0);
        case 4:
            return std::make_unique<RealKernel>(2, kSharpenMedium, 1.0, 0);
        case 5:
            return std::make_unique<IntegerKernel>(1, kSharpenLot, 1, 0);
        case 6:
            return std::make_unique<RealKernel>(3, kEmboss, 1.0, 128);
        case 7:
            return std::make_unique<RealKernel>(1, kEdgeDetect, 1.0, 128);
        case 8:
            return std::make_unique<IntegerKernel>(2, kBlurHorizontal, 9, 0);
        case 9:
            return std::make_unique<IntegerKernel>(2, kShatter, 4, 0);
        default:
            return std::make_unique<PixelProcessor>();
    }
}

struct Filter : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    Status Process(const RenderArgs& args) {
        const FrameView src = ViewFrame(args.InputFrame());
        const FrameView dst = ViewFrame(args.OutputFrame());
        // The kernel takes its geometry from the source frame: both frames
        // must have exactly the geometry Prepare saw.
        if (!FramesMatchPrepared(*this, src, dst) || src.width != frameWidth ||
            src.height != frameHeight || dst.width != frameWidth || dst.height != frameHeight)
            return kOk;
        const int32_t type = ReadChoice(args.context, kFilterType);
        const int32_t amount = ReadInteger(args.context, kAmount);
        BuildKernel(type)->Run(src, dst, amount);
        return kOk;
    }
};

}  // namespace

EffectInterface* CreateFilter() {
    return CreateEffect<Filter>();
}

}  // namespace vx
