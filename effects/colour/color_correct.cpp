// ColorCorrect: levels per channel.  Each channel is put through a power
// curve, moved down by its minimum and stretched so that [minimum, maximum]
// fills 0..255.  Besides the host's panel the effect has a dialog of its own
// (settings interfaces A and B) with histograms of a frame of the clip.
#include "effects/colour/color_correct.h"

#include <bit>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/effect_base.h"
#include "core/library.h"
#include "core/sampling.h"
#include "core/vxmath.h"
#include "effects/colour/colour_common.h"
#include "effects/effects.h"
#include "platform/dialog.h"
#include "platform/platform.h"

namespace vx {

// ---------------------------------------------------------------- levels and dialog rules

namespace colorcorrect {

uint8_t MapLevel(int32_t x, int32_t lo, int32_t hi, double e) {
    // Differences in real arithmetic: limits the host delivers may lie far
    // outside 0..255.  Equal limits give an infinite scale on purpose.
    const double scale = 255.0 / (double(hi) - double(lo));
    const double m = e == 1.0 ? double(x) - double(lo) : 255.0 * Pow(x / 255.0, e) - double(lo);
    return ClampToByte(m * scale + 0.5);
}

void LevelsTable::Update(int32_t lo, int32_t hi, double e) {
    const uint64_t bits = std::bit_cast<uint64_t>(e);
    if (built_ && lo == lo_ && hi == hi_ && bits == exponentBits_) return;
    for (int32_t x = 0; x < 256; ++x)
        map_[x] = MapLevel(x, lo, hi, e);
    built_ = true, lo_ = lo, hi_ = hi, exponentBits_ = bits;
}

namespace {

// The leading decimal integer of a text, 0 when there is none; held to the
// 32-bit range.
int32_t ParseInteger(const char* text) {
    const long long v = std::strtoll(text, nullptr, 10);
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
}

}  // namespace

bool TypeLimit(int32_t limits[6], int index, const char* text, int32_t* shown) {
    const int32_t v = ParseInteger(text);
    switch (index) {
        case kRedMin:
            limits[kRedMin] = v;
            return false;
        case kRedMax:
            if (v > limits[kRedMin]) {
                limits[kRedMax] = v;
                return false;
            }
            limits[kRedMax] = limits[kRedMin] < INT32_MAX ? limits[kRedMin] + 1 : INT32_MAX;
            *shown = limits[kRedMax];
            return true;
        case kGreenMax:
        case kBlueMax:
            if (v > limits[index - 1]) limits[index] = v;
            return false;
        case kGreenMin:
        case kBlueMin:
            if (v < limits[index + 1]) limits[index] = v;
            return false;
    }
    return false;
}

void TypeGamma(double exponents[3], int channel, const char* text) {
    const double g = std::strtod(text, nullptr);
    if (g > 0 && g < 5) exponents[channel] = 1 / g;
}

void Histograms::Compute(const FrameView& picture) {
    for (auto& table : counts)
        table.fill(0);
    const int32_t step = picture.bitsPerPixel / 8;
    if (picture.bits && step >= 3 && !picture.IsPacked422()) {
        for (int32_t y = 0; y < picture.height; ++y) {
            const uint8_t* p = picture.Row(y);
            for (int32_t x = 0; x < picture.width; ++x, p += step) {
                ++counts[0][p[2]];
                ++counts[1][p[1]];
                ++counts[2][p[0]];
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        maxima[c] = 0;
        for (int b = 0; b < 256; ++b)
            maxima[c] = counts[c][b] > maxima[c] ? counts[c][b] : maxima[c];
        scales[c] = maxima[c] ? 1.0 / maxima[c] : 1.0;
    }
}

}  // namespace colorcorrect

// ---------------------------------------------------------------- the effect

namespace {

using namespace colorcorrect;

enum Param {
    kMinRed,
    kMaxRed,
    kGammaRed,
    kMinGreen,
    kMaxGreen,
    kGammaGreen,
    kMinBlue,
    kMaxBlue,
    kGammaBlue
};

constexpr ParamSpec kParamRows[] = {
    IntegerParam(kMinRed, u"Minimum red", 0, 1, 0, 255),
    IntegerParam(kMaxRed, u"Maximum red", 255, 1, 0, 255),
    RealParam(kGammaRed, u"Gamma red", 1, 0.1, 0.1, 2.5),
    IntegerParam(kMinGreen, u"Minimum green", 0, 1, 0, 255),
    IntegerParam(kMaxGreen, u"Maximum green", 255, 1, 0, 255),
    RealParam(kGammaGreen, u"Gamma green", 1, 0.1, 0.1, 2.5),
    IntegerParam(kMinBlue, u"Minimum blue", 0, 1, 0, 255),
    IntegerParam(kMaxBlue, u"Maximum blue", 255, 1, 0, 255),
    RealParam(kGammaBlue, u"Gamma blue", 1, 0.1, 0.1, 2.5),
};

// The parameter of each dialog limit (red minimum, red maximum, green ...)
// and of each channel's exponent.
constexpr int32_t kLimitParams[6] = {kMinRed, kMaxRed, kMinGreen, kMaxGreen, kMinBlue, kMaxBlue};
constexpr int32_t kExponentParams[3] = {kGammaRed, kGammaGreen, kGammaBlue};

// The picture the dialog previews and counts.
constexpr int32_t kPreviewWidth = 720, kPreviewHeight = 480;
constexpr int kDialogTemplate = 101;

void Log(const char* caption, const char* text) {
    char line[256];
    std::snprintf(line, sizeof line, "VXEColorCorrect [%s] %s", caption, text);
    platform::DebugLog(line);
}

struct ColorCorrect : EffectBase {
    static constexpr ParamTable kParams = kParamRows;

    SettingsInterfaceA settingsA;
    SettingsInterfaceB settingsB;
    HostWindowSource* windowSource = nullptr;
    HostFrame* preview = nullptr;  // one reference held
    int32_t limits[6] = {0, 255, 0, 255, 0, 255};
    double exponents[3] = {1, 1, 1};
    Histograms histograms;
    HostServices* renderer = nullptr;  // one reference held
    TimeValue clipDuration = {0, 1, 1};
    LevelsTable levels[3];

    ColorCorrect();
    ~ColorCorrect() {
        ReleasePreview();
        KeepRenderer(nullptr);
    }

    Status QueryInterface(const Guid& iid, void** out);
    void Reset();
    Status Prepare(const RenderArgs& args) { return EffectBase::Prepare(args); }
    Status Process(const RenderArgs& args);
    bool EditSettings(HostRenderContext* ctx, HostServices* newRenderer, HostWindowSource* source,
                      bool formB);

    void ReleasePreview() {
        if (preview) preview->ops->Release(preview);
        preview = nullptr;
    }
    void KeepRenderer(HostServices* s) {
        if (s) s->ops->AddRef(s);
        if (renderer) renderer->ops->Release(renderer);
        renderer = s;
    }
    void MakePreview(HostRenderContext* ctx);
    void ReadWorkingValues(HostRenderContext* ctx);
    void WriteWorkingValues(HostRenderContext* ctx, Status* minStatus, Status* maxStatus);
};

// ---- host tables of the settings interfaces

template <class Interface>
ColorCorrect* Owner(Interface* i) {
    const size_t offset = std::is_same_v<Interface, SettingsInterfaceA>
                              ? offsetof(ColorCorrect, settingsA)
                              : offsetof(ColorCorrect, settingsB);
    return reinterpret_cast<ColorCorrect*>(reinterpret_cast<char*>(i) - offset);
}

template <class Interface>
struct Common {
    static Status VXAPI QueryInterface(Interface* i, const Guid* iid, void** out) {
        return Owner(i)->QueryInterface(*iid, out);
    }
    static int32_t VXAPI AddRef(Interface* i) { return Owner(i)->AddRef(); }
    static int32_t VXAPI Release(Interface* i) { return Owner(i)->Release(); }
    static int32_t VXAPI GetRefCount(Interface* i) { return Owner(i)->refCount.load(); }
};

Bool32 VXAPI EditSettingsA(SettingsInterfaceA* i, HostRenderContext* ctx, HostServices*,
                           HostWindowSource* source) {
    return Owner(i)->EditSettings(ctx, nullptr, source, false) ? 1 : 0;
}
Bool32 VXAPI EditSettingsB(SettingsInterfaceB* i, HostRenderContext* ctx, void*,
                           HostServices* renderer, HostWindowSource* source) {
    return Owner(i)->EditSettings(ctx, renderer, source, true) ? 1 : 0;
}

using A = Common<SettingsInterfaceA>;
using B = Common<SettingsInterfaceB>;
constexpr SettingsOpsA kSettingsOpsA = {A::QueryInterface, A::AddRef, A::Release, A::GetRefCount,
                                        EditSettingsA};
constexpr SettingsOpsB kSettingsOpsB = {B::QueryInterface, B::AddRef, B::Release, B::GetRefCount,
                                        EditSettingsB};

ColorCorrect::ColorCorrect() {
    settingsA.ops = &kSettingsOpsA;
    settingsB.ops = &kSettingsOpsB;
}

Status ColorCorrect::QueryInterface(const Guid& iid, void** out) {
    if (!out) return kNoInterface;
    if (SameGuid(iid, kEffectInterfaceId) || SameGuid(iid, kEffectInterfaceId2))
        *out = &effect;
    else if (SameGuid(iid, kSettingsInterfaceAId))
        *out = &settingsA;
    else if (SameGuid(iid, kSettingsInterfaceBId))
        *out = &settingsB;
    else if (SameGuid(iid, kSecondaryInterfaceId))
        *out = &secondary;
    else {
        *out = nullptr;
        return kNoInterface;
    }
    AddRef();
    return kOk;
}

// The histogram tables live in the object, so a reset only clears them; the
// preview picture and the rendering service are given back to the host.
void ColorCorrect::Reset() {
    EffectBase::Reset();
    histograms = Histograms{};
    ReleasePreview();
    KeepRenderer(nullptr);
}

Status ColorCorrect::Process(const RenderArgs& args) {
    HostFrame* in = args.InputFrame();
    HostFrame* out = args.OutputFrame();
    if (!in || !out) return kOk;
    const FrameView src = ViewFrame(in);
    const FrameView dst = ViewFrame(out);
    if (!FramesMatchPrepared(*this, src, dst)) return kOk;
    if (bytesPerPixel < 3 || src.IsPacked422()) {
        CopyPicture(src, dst, frameWidth, frameHeight, bytesPerPixel);
        return kOk;
    }
    for (int c = 0; c < 3; ++c)
        levels[c].Update(ReadInteger(args.context, kLimitParams[2 * c]),
                         ReadInteger(args.context, kLimitParams[2 * c + 1]),
                         ReadReal(args.context, kExponentParams[c]));
    const uint8_t* red = levels[0].Map();
    const uint8_t* green = levels[1].Map();
    const uint8_t* blue = levels[2].Map();
    const uint32_t bpp = bytesPerPixel;
    // The fourth byte of a destination pixel is left as the host made it.
    for (int32_t y = 0; y < frameHeight; ++y) {
        const uint8_t* s = src.Row(y);
        uint8_t* d = dst.Row(y);
        for (int32_t x = 0; x < frameWidth; ++x, s += bpp, d += bpp) {
            d[0] = blue[s[0]];
            d[1] = green[s[1]];
            d[2] = red[s[2]];
        }
    }
    return kOk;
}

// ---- the dialog

// What the platform's dialog sees of the effect while it runs.
class DialogModel final : public platform::ColorCorrectDialogModel {
  public:
    explicit DialogModel(ColorCorrect& fx) : fx_(fx) {
        if (!fx.preview) return;
        const FrameView view = ViewFrame(fx.preview);
        if (!view.bits || view.bitsPerPixel != 32 || view.IsPacked422() || view.width <= 0 ||
            view.height <= 0)
            return;
        picture_ = {view.Row(0), view.width, view.height, view.bottomUp ? -view.pitch : view.pitch};
        hasPicture_ = true;
    }
    int32_t Limit(int index) const override { return fx_.limits[index]; }
    double Exponent(int channel) const override { return fx_.exponents[channel]; }
    bool TypeLimit(int index, const char* text, int32_t* shown) override {
        return colorcorrect::TypeLimit(fx_.limits, index, text, shown);
    }
    void TypeGamma(int channel, const char* text) override {
        colorcorrect::TypeGamma(fx_.exponents, channel, text);
    }
    const platform::DialogPicture* Preview() const override {
        return hasPicture_ ? &picture_ : nullptr;
    }
    void ComputeHistograms() override {
        if (fx_.preview) fx_.histograms.Compute(ViewFrame(fx_.preview));
    }
    const uint32_t* Histogram(int channel) const override {
        return fx_.histograms.counts[channel].data();
    }
    double HistogramScale(int channel) const override { return fx_.histograms.scales[channel]; }

  private:
    ColorCorrect& fx_;
    platform::DialogPicture picture_{};
    bool hasPicture_ = false;
};

void ColorCorrect::ReadWorkingValues(HostRenderContext* ctx) {
    for (int i = 0; i < 6; ++i)
        limits[i] = ReadInteger(ctx, kLimitParams[i]);
    for (int c = 0; c < 3; ++c)
        exponents[c] = ReadReal(ctx, kExponentParams[c]);
}

void ColorCorrect::WriteWorkingValues(HostRenderContext* ctx, Status* minStatus,
                                      Status* maxStatus) {
    for (int i = 0; i < 6; ++i) {
        const Status st = WriteIntegerParameter(ctx, kLimitParams[i], limits[i]);
        if (i == kRedMin) *minStatus = st;
        if (i == kRedMax) *maxStatus = st;
    }
    for (int c = 0; c < 3; ++c)
        WriteRealParameter(ctx, kExponentParams[c], exponents[c]);
}

// The input at the current position of the clip, 720 x 480 with 4 bytes per
// pixel; none without a rendering service or when nothing is rendered.
void ColorCorrect::MakePreview(HostRenderContext* ctx) {
    ReleasePreview();
    if (!renderer || !windowSource) return;
    const TimeValue at = ScaleTime(clipDuration, ReadClipPosition(ctx).progress);
    void* frame = nullptr;
    if (renderer->ops->CreateFrame(renderer, &kFrameInterfaceId, &frame, kPreviewWidth,
                                   kPreviewHeight, 4, 0, 1, 1, 1.0f, 0) != kOk ||
        !frame)
        return;
    preview = static_cast<HostFrame*>(frame);
    if (windowSource->ops->RenderInput(windowSource, 0, &at, preview) != kOk) ReleasePreview();
}

bool ColorCorrect::EditSettings(HostRenderContext* ctx, HostServices* newRenderer,
                                HostWindowSource* source, bool formB) {
    windowSource = source;
    if (formB) KeepRenderer(newRenderer);
    if (!ctx) return false;
    ReadWorkingValues(ctx);
    char text[160];
    if (formB) {
        for (int i : {kRedMax, kGreenMax, kBlueMax})
            if (limits[i] == 0) limits[i] = 255;
        if (const TimeValue* d = ctx->ops->Duration(ctx)) clipDuration = *d;
    }
    MakePreview(ctx);
    if (formB) {
        std::snprintf(text, sizeof text, "rMin=%d, rMax=%d", limits[kRedMin], limits[kRedMax]);
        Log("test1", text);
    }

    void* owner = source ? source->ops->ParentWindow(source) : nullptr;
    DialogModel model(*this);
    uint32_t lastError = 0;
    const int32_t result = platform::RunColorCorrectDialog(ModuleHandle, owner, model, &lastError);
    if (formB) {
        std::snprintf(text, sizeof text, "Ret: %d Error:%d id=%d, gInstance=%d, rMin=%d, rMax=%d",
                      result, int32_t(lastError), kDialogTemplate,
                      int32_t(reinterpret_cast<intptr_t>(ModuleHandle)), limits[kRedMin],
                      limits[kRedMax]);
        Log("test1", text);
    }
    if (result != platform::kDialogConfirmed) return false;

    Status minStatus = kOk, maxStatus = kOk;
    WriteWorkingValues(ctx, &minStatus, &maxStatus);
    if (formB) {
        std::snprintf(text, sizeof text, "Setting:  rMin=%d, rMax=%d, errmin=%d, errMax=%d",
                      limits[kRedMin], limits[kRedMax], minStatus, maxStatus);
        Log("test2", text);
    }
    return true;
}

}  // namespace

EffectInterface* CreateColorCorrect() {
    return CreateEffect<ColorCorrect>();
}

}  // namespace vx
