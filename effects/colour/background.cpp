// Background video: frames of a video file shown where the clip is
// transparent, weighted by the clip's alpha, in step with the clip's time.
// The video is stretched over the whole frame.  The file and a time offset
// travel in one data-block parameter, edited in the effect's own dialog,
// which the host opens through settings interface A or B.
//
// The object has a layout of its own: the two settings interfaces come
// before the effect interface, which the factory hands out.
#include "effects/colour/background.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/library.h"
#include "core/params.h"
#include "effects/effects.h"
#include "platform/platform.h"
#include "platform/video_file.h"

namespace vx {

namespace {

AlphaWeights MakeAlphaWeights() {
    AlphaWeights t{};
    for (int a = 0; a < 256; ++a) {
        t.w[a] = a * (1.0 / 255);
        t.rest[a] = 1.0 - t.w[a];
    }
    return t;
}

// A pixel mixed with itself, which always takes the real sum: by table.
struct SelfMixTable {
    uint8_t byAlpha[256][256];
};
SelfMixTable MakeSelfMix() {
    SelfMixTable t;
    for (int a = 0; a < 256; ++a)
        for (int s = 0; s < 256; ++s)
            t.byAlpha[a][s] = BackgroundMix(s, s, a);
    return t;
}

int32_t PlatformDialog(void* owner, platform::BackgroundDialogModel& model) {
    return platform::RunBackgroundDialog(ModuleHandle, owner, model);
}

}  // namespace

const AlphaWeights kAlphaWeights = MakeAlphaWeights();
namespace {
const SelfMixTable kSelfMix = MakeSelfMix();
}  // namespace
int32_t (*ShowBackgroundDialog)(void*, platform::BackgroundDialogModel&) = PlatformDialog;

BackgroundSettings DefaultBackgroundSettings() {
    BackgroundSettings s{};
    s.horizontal = s.vertical = s.zoomX = s.zoomY = 50;
    return s;
}

BackgroundSettings TakeBackgroundBlock(const void* data, uint32_t size) {
    BackgroundSettings s = DefaultBackgroundSettings();
    if (data) std::memcpy(&s, data, std::min<uint32_t>(size, sizeof s));
    s.fileName[kBackgroundFileNameUnits - 1] = 0;
    return s;
}

void SetBackgroundFileName(BackgroundSettings& settings, const std::u16string& name) {
    const size_t n = std::min<size_t>(name.size(), kBackgroundFileNameUnits - 1);
    std::fill(std::begin(settings.fileName), std::end(settings.fileName), u'\0');
    std::copy_n(name.begin(), n, settings.fileName);
}

namespace {

constexpr int32_t kBlockIndex = 0;

// The grabbed picture as its own header describes it: rows of 24 or 32 bits
// padded to 4 bytes, bottom-up when the height is positive.
struct VideoPicture {
    const uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerPixel = 0;
    size_t stride = 0;
    bool bottomUp = true;

    const uint8_t* StoredRow(int32_t top) const {
        return pixels + size_t(bottomUp ? height - 1 - top : top) * stride;
    }
};

// False when the block is not a picture the pass can read entirely.
bool ViewPicture(const std::vector<uint8_t>& block, VideoPicture* out) {
    platform::BitmapHeader h;
    if (block.size() < sizeof h) return false;
    std::memcpy(&h, block.data(), sizeof h);
    if (h.width <= 0 || h.width > 65536 || h.height == 0 || h.height < -65536 || h.height > 65536 ||
        (h.bitCount != 24 && h.bitCount != 32))
        return false;
    VideoPicture p;
    p.width = h.width;
    p.height = h.height < 0 ? -h.height : h.height;
    p.bottomUp = h.height > 0;
    p.bytesPerPixel = h.bitCount / 8;
    p.stride = (size_t(h.width) * h.bitCount + 31) / 32 * 4;
    if (uint64_t(p.stride) * uint64_t(p.height) > block.size() - sizeof h) return false;
    p.pixels = block.data() + sizeof h;
    *out = p;
    return true;
}

std::string FormatText(const char* format, auto... values) {
    char text[640];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string FileInfoText(const platform::VideoFileReader& r) {
    return FormatText("file info: width=%d, height=%d, bytesPerPixel=%d, length=%.2fs",
                      r.videoWidth, r.videoHeight, r.videoBytesPerPixel, r.lengthSeconds);
}

struct Background {
    SettingsInterfaceA settingsA;
    SettingsInterfaceB settingsB;
    EffectInterface effect;
    RefCounter refCounter;
    std::atomic<int32_t> refCount{0};
    SecondaryInterface secondary;
    HostWindowSource* windowSource = nullptr;
    BackgroundSettings settings = DefaultBackgroundSettings();
    platform::VideoFileReader reader;
    uint8_t ready = 0;
    int32_t frameHeight = 0;
    int32_t frameWidth = 0;
    int32_t bytesPerPixel = 0;
    // Per-frame lookups: byte offset of each column's video pixel in its
    // row (-1 outside the video), and each row's video row.
    std::vector<int32_t> videoColumn;
    std::vector<const uint8_t*> videoRow;

    // Counting goes through the counter's table, whose last decrement
    // destroys the object.
    int32_t AddRef() { return refCounter.ops->Increment(&refCounter); }
    int32_t Release() { return refCounter.ops->Decrement(&refCounter); }

    Status QueryInterface(const Guid& iid, void** out);
    Status Prepare(const RenderArgs& args);
    Status Process(const RenderArgs& args);
    Bool32 EditSettings(HostRenderContext* ctx, HostWindowSource* source);

    void MixFrame(const FrameView& src, const FrameView& dst, const VideoPicture* video);
    void MapVideo(const VideoPicture& video);
};

static_assert(offsetof(Background, settingsB) == sizeof(void*));
static_assert(offsetof(Background, effect) == 2 * sizeof(void*));
static_assert(offsetof(Background, refCounter) == 3 * sizeof(void*));
static_assert(offsetof(Background, refCount) == 4 * sizeof(void*));

template <class Interface>
Background* Owner(Interface* i) {
    constexpr size_t at = std::is_same_v<Interface, SettingsInterfaceA>   ? 0
                          : std::is_same_v<Interface, SettingsInterfaceB> ? 1
                          : std::is_same_v<Interface, EffectInterface>    ? 2
                          : std::is_same_v<Interface, RefCounter>         ? 3
                                                                          : 5;
    return reinterpret_cast<Background*>(reinterpret_cast<char*>(i) - at * sizeof(void*));
}
static_assert(offsetof(Background, secondary) == 5 * sizeof(void*));

Status Background::QueryInterface(const Guid& iid, void** out) {
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

// The output frame is always a new one.
Status Background::Prepare(const RenderArgs& args) {
    FrameGeometry g{frameHeight, frameWidth, bytesPerPixel};
    const Status st = PrepareOutputFrame(args, false, &g);
    frameHeight = g.height;
    frameWidth = g.width;
    bytesPerPixel = g.bytesPerPixel;
    return st;
}

// Output column c and row r show the video pixel at
// (c x (1/frameWidth) x width, r x (1/frameHeight) x height), truncated.
void Background::MapVideo(const VideoPicture& video) {
    videoColumn.resize(size_t(frameWidth));
    videoRow.resize(size_t(frameHeight));
    const double perColumn = 1.0 / frameWidth, perRow = 1.0 / frameHeight;
    for (int32_t c = 0; c < frameWidth; ++c) {
        const int32_t vx = int32_t(c * perColumn * video.width);
        videoColumn[size_t(c)] = vx < video.width ? vx * video.bytesPerPixel : -1;
    }
    for (int32_t r = 0; r < frameHeight; ++r) {
        const int32_t vy = int32_t(r * perRow * video.height);
        videoRow[size_t(r)] = vy < video.height ? video.StoredRow(vy) : nullptr;
    }
}

// The clip's alpha: its alpha byte, or for 3-byte pixels opaque when pure
// black and transparent otherwise.
inline int32_t ClipAlpha(const uint8_t* s, bool hasAlpha) {
    return hasAlpha ? s[3] : (s[0] | s[1] | s[2]) == 0 ? 255 : 0;
}

void Background::MixFrame(const FrameView& src, const FrameView& dst, const VideoPicture* video) {
    const int32_t n = bytesPerPixel;
    const bool hasAlpha = n == 4;
    if (!video) {
        // Without a video picture every pixel is mixed with itself.
        for (int32_t r = 0; r < frameHeight; ++r) {
            const uint8_t* s = src.Row(r);
            uint8_t* d = dst.Row(r);
            for (int32_t c = 0; c < frameWidth; ++c, s += n, d += n) {
                const uint8_t* mixed = kSelfMix.byAlpha[ClipAlpha(s, hasAlpha)];
                d[0] = mixed[s[0]], d[1] = mixed[s[1]], d[2] = mixed[s[2]];
                if (hasAlpha) d[3] = 255;
            }
        }
        return;
    }
    MapVideo(*video);
    for (int32_t r = 0; r < frameHeight; ++r) {
        const uint8_t* s = src.Row(r);
        uint8_t* d = dst.Row(r);
        const uint8_t* vrow = videoRow[size_t(r)];
        for (int32_t c = 0; c < frameWidth; ++c, s += n, d += n) {
            const int32_t a = ClipAlpha(s, hasAlpha);
            const int32_t at = videoColumn[size_t(c)];
            if (!vrow || at < 0) {
                // Outside the video: the clip's pixel as it is.
                d[0] = s[0], d[1] = s[1], d[2] = s[2];
                if (hasAlpha) d[3] = a > 0 ? uint8_t(a) : 255;
                continue;
            }
            const uint8_t* v = vrow + at;
            d[0] = BackgroundMix(v[0], s[0], a);
            d[1] = BackgroundMix(v[1], s[1], a);
            d[2] = BackgroundMix(v[2], s[2], a);
            if (hasAlpha) d[3] = 255;
        }
    }
}

Status Background::Process(const RenderArgs& args) {
    HostFrame* input = args.InputFrame();
    HostFrame* output = args.OutputFrame();
    if (!input || !output) return kOk;

    uint32_t size = 0;
    const void* data = nullptr;
    ReadDataParameter(args.context, kBlockIndex, &size, &data);
    if (size == 0 || !data) return kOk;
    settings = TakeBackgroundBlock(data, size);
    platform::DebugLog(
        ("process: filename=" + platform::NarrowFromWide(settings.fileName)).c_str());

    // The file the block names, opened on first use and again after a
    // failure or when the block names another file.
    ready = reader.OpenVideo(settings.fileName) == platform::kVideoOk;

    VideoPicture picture;
    bool havePicture = false;
    if (ready) {
        const double seconds = ReadClipPosition(args.context).seconds;
        if (reader.GrabFrame(seconds + settings.timeOffset * 0.01 * reader.lengthSeconds) !=
            platform::kVideoOk)
            platform::ShowErrorBox(u"Cannot get the image.", u"Error");
        else
            platform::DebugLog(FileInfoText(reader).c_str());
        // After a failed grab the last picture grabbed stands in.
        havePicture = ViewPicture(reader.frameBuffer, &picture);
    }

    const FrameView src = ViewFrame(input), dst = ViewFrame(output);
    // Frames that no longer match what Prepare saw are not addressed.
    if (frameWidth <= 0 || frameHeight <= 0 || src.width < frameWidth || src.height < frameHeight ||
        dst.width < frameWidth || dst.height < frameHeight ||
        src.bitsPerPixel != dst.bitsPerPixel || src.bitsPerPixel >> 3 != bytesPerPixel)
        return kOk;
    if ((bytesPerPixel != 3 && bytesPerPixel != 4) || src.IsPacked422()) {
        // Packed 4:2:2 and other layouts carry no colour bytes to mix: the
        // clip passes through.
        for (int32_t r = 0; r < frameHeight; ++r)
            std::memmove(dst.Row(r), src.Row(r), size_t(frameWidth) * size_t(bytesPerPixel));
        return kOk;
    }
    MixFrame(src, dst, havePicture ? &picture : nullptr);
    return kOk;
}

// The dialog edits the object's settings and describes files with the
// object's reader; an open it makes leaves `ready` to Process.
class DialogModel final : public platform::BackgroundDialogModel {
  public:
    explicit DialogModel(Background& effect) : effect_(effect) {}
    int32_t Slider(int index) const override {
        return index >= 0 && index < 5 ? effect_.settings.*kSliderFields[index] : 0;
    }
    void SetSlider(int index, int32_t value) override {
        if (index >= 0 && index < 5) effect_.settings.*kSliderFields[index] = value;
    }
    const char16_t* FileName() const override { return effect_.settings.fileName; }
    void SetFileName(const char16_t* name) override {
        SetBackgroundFileName(effect_.settings, name ? name : u"");
    }
    std::u16string DescribeFile(const char16_t* path) override {
        platform::VideoFileReader& reader = effect_.reader;
        const int32_t st = reader.OpenVideo(path ? path : u"");
        const std::string line = st == platform::kVideoOk
                                     ? FileInfoText(reader)
                                     : FormatText("no valid file selected (error: %d)", st);
        return platform::WideFromNarrow(line.c_str());
    }

  private:
    static constexpr int32_t BackgroundSettings::*kSliderFields[5] = {
        &BackgroundSettings::timeOffset, &BackgroundSettings::horizontal,
        &BackgroundSettings::vertical, &BackgroundSettings::zoomX, &BackgroundSettings::zoomY};
    Background& effect_;
};

Bool32 Background::EditSettings(HostRenderContext* ctx, HostWindowSource* source) {
    windowSource = source;
    uint32_t size = 0;
    const void* data = nullptr;
    ReadDataParameter(ctx, kBlockIndex, &size, &data);
    // An empty block leaves the object's settings as they are, in both forms.
    if (data && size != 0) settings = TakeBackgroundBlock(data, size);
    void* owner = source ? source->ops->ParentWindow(source) : nullptr;
    DialogModel model(*this);
    if (ShowBackgroundDialog(owner, model) != platform::kDialogConfirmed) return 0;
    WriteDataParameter(ctx, kBlockIndex, &settings, sizeof settings);
    return 1;
}

// ---------------------------------------------------------------- tables

template <class Interface>
Status VXAPI QueryInterfaceOf(Interface* i, const Guid* iid, void** out) {
    return Owner(i)->QueryInterface(*iid, out);
}
template <class Interface>
int32_t VXAPI AddRefOf(Interface* i) {
    return Owner(i)->AddRef();
}
template <class Interface>
int32_t VXAPI ReleaseOf(Interface* i) {
    return Owner(i)->Release();
}
template <class Interface>
int32_t VXAPI RefCountOf(Interface* i) {
    return Owner(i)->refCount.load();
}

void VXAPI ResetGeometry(EffectInterface* i) {
    Background* self = Owner(i);
    self->frameHeight = self->frameWidth = self->bytesPerPixel = 0;
}
Status VXAPI DefineBlock(EffectInterface* i, HostParameterList* list,
                         HostParameterFactory* factory) {
    DefineDataParameter(list, factory, u"VXEBackground-Parm", kBlockIndex, &Owner(i)->settings,
                        sizeof(BackgroundSettings));
    return kOk;
}
Status VXAPI PrepareFrame(EffectInterface* i, HostFrameHolder* o, HostInputList* in,
                          HostRenderContext* c, void* u, HostServices* s) {
    return Owner(i)->Prepare(RenderArgs{o, in, c, u, s});
}
Status VXAPI ProcessFrame(EffectInterface* i, HostFrameHolder* o, HostInputList* in,
                          HostRenderContext* c, void* u, HostServices* s) {
    return Owner(i)->Process(RenderArgs{o, in, c, u, s});
}
Status VXAPI NoExtraStep(EffectInterface*, HostFrameHolder*, HostInputList*, HostRenderContext*,
                         void*, HostServices*) {
    return kOk;
}

Bool32 VXAPI EditSettingsA(SettingsInterfaceA* i, HostRenderContext* ctx, HostServices*,
                           HostWindowSource* source) {
    return Owner(i)->EditSettings(ctx, source);
}
Bool32 VXAPI EditSettingsB(SettingsInterfaceB* i, HostRenderContext* ctx, void*, HostServices*,
                           HostWindowSource* source) {
    return Owner(i)->EditSettings(ctx, source);
}

int32_t VXAPI CounterIncrement(RefCounter* r) {
    return Owner(r)->refCount.fetch_add(1) + 1;
}
int32_t VXAPI CounterDecrement(RefCounter* r) {
    const int32_t left = Owner(r)->refCount.fetch_sub(1) - 1;
    if (left == 0) r->ops->Destroy(r, 1);
    return left;
}
Bool32 VXAPI CounterIsShared(RefCounter* r) {
    return Owner(r)->refCount.load() > 1;
}
void VXAPI CounterDestroy(RefCounter* r, uint32_t flags) {
    Background* self = Owner(r);
    if (flags & 1)
        delete self;
    else
        self->~Background();
}

constexpr SettingsOpsA kSettingsOpsA = {QueryInterfaceOf<SettingsInterfaceA>,
                                        AddRefOf<SettingsInterfaceA>, ReleaseOf<SettingsInterfaceA>,
                                        RefCountOf<SettingsInterfaceA>, EditSettingsA};
constexpr SettingsOpsB kSettingsOpsB = {QueryInterfaceOf<SettingsInterfaceB>,
                                        AddRefOf<SettingsInterfaceB>, ReleaseOf<SettingsInterfaceB>,
                                        RefCountOf<SettingsInterfaceB>, EditSettingsB};
constexpr EffectOps kEffectOps = {QueryInterfaceOf<EffectInterface>,
                                  AddRefOf<EffectInterface>,
                                  ReleaseOf<EffectInterface>,
                                  RefCountOf<EffectInterface>,
                                  ResetGeometry,
                                  DefineBlock,
                                  PrepareFrame,
                                  ProcessFrame,
                                  NoExtraStep};
constexpr RefCounterOps kCounterOps = {CounterIncrement, CounterDecrement, CounterIsShared,
                                       CounterDestroy};
constexpr SecondaryOps kBackgroundSecondaryOps = {QueryInterfaceOf<SecondaryInterface>,
                                                  AddRefOf<SecondaryInterface>,
                                                  ReleaseOf<SecondaryInterface>,
                                                  RefCountOf<SecondaryInterface>,
                                                  SecondaryAnswer4,
                                                  SecondaryAnswer5,
                                                  SecondaryAnswer6,
                                                  SecondaryAnswer7};

}  // namespace

EffectInterface* CreateBackground() {
    Background* self = new (std::nothrow) Background();
    if (!self) return nullptr;
    self->settingsA.ops = &kSettingsOpsA;
    self->settingsB.ops = &kSettingsOpsB;
    self->effect.ops = &kEffectOps;
    self->refCounter.ops = &kCounterOps;
    self->secondary.ops = &kBackgroundSecondaryOps;
    return &self->effect;
}

}  // namespace vx
