// A forwarding effect library: it registers one product's effect with the
// host, and every effect object it creates loads the maker's engine library,
// hands it each frame in an engine frame record and lets it run the settings
// dialog.  The library does no picture work of its own.
//
// One source serves thirteen libraries: VX_FORWARDER_INSTANCE (set by the
// build) selects the library's row of kInstances.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>

#include "core/host_abi.h"
#include "forwarder/engine_abi.h"
#include "forwarder/forwarder.h"
#include "platform/platform.h"

#ifndef VX_FORWARDER_INSTANCE
#error "VX_FORWARDER_INSTANCE selects the library's instance row"
#endif
#ifndef VX_ENGINE_SUFFIX
#error "VX_ENGINE_SUFFIX is the file extension of the engine library"
#endif

namespace vx::forwarder {
namespace {

using namespace vx::engine;

// ---------------------------------------------------------------- instance constants

struct Product {
    const char16_t* engineLibrary;  // appended to the engine folder, before VX_ENGINE_SUFFIX
    const char* registryKey;        // under HKEY_LOCAL_MACHINE, value "Location"
};

constexpr Product kPalettorium = {u"\\Palettorium", "SOFTWARE\\Vantrel Software\\PalettoriumC"};
constexpr Product kZestBlender = {u"\\ZB25Engine",
                                  "SOFTWARE\\Vantrel Software\\ZestBLENDER 2.5C\\1.0"};

enum class Registration { kSingle, kSingleWithNumber, kWithPresets };

// Everything in which the three kinds of instance differ.
struct Variant {
    const Product* product;
    Registration registration;
    int32_t inputs;            // frames per Process: 2 for the transition
    bool longRecord;           // LongRecord, else ShortRecord
    int32_t singleInputFlag;   // record offset 0x28 while processing
    bool storesFileSettings;   // settings read from a file go back into "CUIP"
    bool previewBeforeDialog;  // the preview callback fills the input area before the dialog
};

constexpr Variant kPalettoriumEffect = {&kPalettorium, Registration::kSingle, 1, true, 0, true,
                                        true};
constexpr Variant kZestSingle = {&kZestBlender, Registration::kSingleWithNumber, 1, false, 1, false,
                                 true};
constexpr Variant kZestTransition = {&kZestBlender, Registration::kWithPresets, 2, false, 0, true,
                                     false};

struct Instance {
    const char16_t* group;
    const char16_t* name;
    Guid classId;
    int32_t kind, flags;
    int32_t engineNumber;
    const char* settingsTag;  // an accepted settings file starts with its first tagBytes bytes
    size_t tagBytes;
    const Variant* variant;
};

// In the order of the build's instance list (forwarder/CMakeLists.txt).
constexpr Instance kInstances[] = {
    {u"Vantrel Palettorium", u"Banderine", GuidFromString("{C7F53023-EA31-405F-B868-D8912FDC18F8}"),
     1, 4, 7, "Banderine Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Huevolt", GuidFromString("{F7D4755D-B537-4CF6-ADCC-B4983A2F740A}"),
     1, 4, 1, "Huevolt Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Aurolift", GuidFromString("{832B514E-89A1-4D3A-924D-0412B9F22002}"),
     1, 4, 5, "Displace Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Jitterstep",
     GuidFromString("{53BEE6FB-4836-4A7C-9FB5-D26673A22F73}"), 1, 4, 11, "JitterstepV Setings V1.0",
     16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Smearix", GuidFromString("{2F9E86EC-04A1-451E-A9E8-DD2D4A4BD7F2}"),
     1, 4, 0, "Smearix Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Weavoflux", GuidFromString("{AFDB7BD6-4B06-4130-B377-32255F59CF21}"),
     1, 4, 2, "Weavoflux Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Softbloom", GuidFromString("{7E0CFFB2-C0D4-404A-A175-801067FE7AC0}"),
     1, 4, 4, "Softbloom Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Trimlane", GuidFromString("{3CC3FB06-18AE-4AF1-9EB5-6E9F0615C9E2}"),
     1, 4, 12, "Trimlane Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Dappleset", GuidFromString("{9695B0C8-4DF3-43DB-9BFE-2284F98610E4}"),
     1, 4, 6, "Diffraction Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Tickframe", GuidFromString("{F38BFEDF-F24A-4C47-9475-397DF26BDD7F}"),
     1, 4, 10, "TickframeV Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel Palettorium", u"Grittle", GuidFromString("{B43AB3AA-03C6-4953-8D28-44902352684F}"),
     1, 4, 3, "Grittle Setings V1.0", 16, &kPalettoriumEffect},
    {u"Vantrel", u"ZestBLENDER 2.5F", GuidFromString("{9FC488BF-88E9-46BB-A8FA-93F76226CFB5}"), 1,
     4, 0, "S", 1, &kZestSingle},
    {u"Vantrel", u"ZestBLENDER 2.5", GuidFromString("{366643F0-D2D1-11D8-9EED-000000000000}"), 2, 4,
     0, "S", 1, &kZestTransition},
};

constexpr bool TagsCoverTheCheckedBytes() {
    for (const Instance& i : kInstances) {
        size_t n = 0;
        while (i.settingsTag[n])
            ++n;
        if (n < i.tagBytes) return false;
    }
    return true;
}
static_assert(TagsCoverTheCheckedBytes());
static_assert(VX_FORWARDER_INSTANCE >= 0 &&
              VX_FORWARDER_INSTANCE < sizeof kInstances / sizeof kInstances[0]);

constexpr const Instance& kInstance = kInstances[VX_FORWARDER_INSTANCE];
constexpr const Variant& kVariant = *kInstance.variant;
using Record = std::conditional_t<kVariant.longRecord, LongRecord, ShortRecord>;

// Which input frame fills input area 1 and 2: the transition hands the engine
// its second input first.
constexpr int32_t kAreaInput[2] = {kVariant.inputs == 2 ? 1 : 0, 0};
constexpr int32_t kAreas = kVariant.inputs + 1;  // the inputs and the output

constexpr int32_t kPresetCount = 99;
constexpr size_t kEngineFolderChars = 130;  // terminator included
constexpr int32_t kCaptureWidth = 720, kCaptureHeight = 480;
constexpr int32_t kPreviewMaxWidth = 360;
constexpr TimeValue kCaptureTime = {0, 29970, 1000};

void* gModule = nullptr;

// ---------------------------------------------------------------- host helpers

// A host object reference released when it goes out of scope.
template <class T>
struct Held {
    T* p = nullptr;
    Held() = default;
    explicit Held(T* object) : p(object) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (p) p->ops->Release(p);
    }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// The value interface of one parameter as the render context hands it out.
template <class T>
struct ParameterValue {
    Held<HostParameter> parameter;
    Held<T> value;
    ParameterValue(HostRenderContext* context, int32_t index, const Guid& iid) {
        void* p = nullptr;
        if (!context || context->ops->GetParameter(context, index, &kParameterId, &p) != kOk || !p)
            return;
        parameter.p = static_cast<HostParameter*>(p);
        void* v = nullptr;
        if (parameter->ops->GetValue(parameter.p, &iid, &v) == kOk && v)
            value.p = static_cast<T*>(v);
    }
    T* operator->() const { return value.p; }
    explicit operator bool() const { return value.p != nullptr; }
};

// Row r of a host frame, row 0 at the top of the picture.
struct FrameRows {
    uint8_t* bits;
    int64_t pitch;
    int32_t height;
    bool bottomUp;
    explicit FrameRows(HostFrame* f)
        : bits(f->ops->Bits(f)),
          pitch(f->ops->Pitch(f)),
          height(f->ops->Height(f)),
          bottomUp(f->ops->IsBottomUp(f) != 0) {}
    uint8_t* Row(int32_t r) const { return bits + (bottomUp ? height - 1 - r : r) * pitch; }
};

// The rows handed to the engine: k-th selected row = first - k * step, so that
// row 0 of an area holds the lowest selected picture row.
struct RowPlan {
    int32_t mode;
    int32_t count;
    int32_t first;
    int32_t step;
    int32_t Row(int32_t k) const { return first - k * step; }
};

RowPlan PlanRows(int32_t fieldIndicator, int32_t parity, int32_t height) {
    if (fieldIndicator == 1 && parity == 1)
        return {kBottomParityRows, (height + 1) / 2, height - 1, 2};
    if (fieldIndicator == 1 && parity == 0) return {kSecondParityRows, height / 2, height - 2, 2};
    return {kAllRows, height, height - 1, 1};
}

// Clip progress from 0 to 1 in plain counts; 0.5 for a clip without duration.
double ClipProgress(const TimeValue& start, const TimeValue& duration, const TimeValue& now) {
    if (duration.count <= 0) return 0.5;
    const int64_t elapsed = int64_t(uint64_t(now.count) - uint64_t(start.count));
    const double progress = double(elapsed) / double(duration.count);
    return progress < 0 ? 0.0 : progress > 1.0 ? 1.0 : progress;
}

// Frames in the clip (the low 32 bits).
int32_t ClipFrames(const TimeValue& duration) {
    const int64_t frames =
        duration.unitsPerFrame > 0 ? duration.count / duration.unitsPerFrame : duration.count;
    return int32_t(uint32_t(uint64_t(frames)));
}

int32_t Position(int32_t length, double progress) {
    return int32_t(double(length) * progress);
}

// Copies an image into an area of width x height 4-byte pixels, row i of the
// area from the image's stored row i.  An image of another size is scaled by
// nearest neighbour when `scale` is set; 24-bit pixels gain alpha 255; other
// depths, and images whose header does not cover them, copy nothing.
void CopyImage(HostImage* image, uint8_t* area, int32_t width, int32_t height, bool scale) {
    BitmapInfoHeader header{};
    if (image->ops->GetBitmapInfoHeader(image, &header) != kOk) return;
    const int32_t bpp = header.bitCount;
    const int32_t imageWidth = image->ops->Width(image);
    const int32_t imageHeight = image->ops->Height(image);
    const uint8_t* bits = image->ops->Bits(image);
    const int64_t headerHeight = header.height < 0 ? -int64_t(header.height) : header.height;
    if ((bpp != 32 && bpp != 24) || !bits || imageWidth <= 0 || imageHeight <= 0 ||
        header.width < imageWidth || headerHeight < imageHeight)
        return;
    const int64_t pitch = (int64_t(header.width) * bpp + 31) / 32 * 4;
    const bool same = imageWidth == width && imageHeight == height;
    if (!same && !scale && (width > imageWidth || height > imageHeight)) return;
    const int32_t bytes = bpp / 8;
    for (int32_t y = 0; y < height; ++y) {
        const int64_t sy = same || !scale ? y : int64_t(y) * imageHeight / height;
        const uint8_t* src = bits + sy * pitch;
        uint8_t* dst = area + size_t(y) * size_t(width) * 4;
        if ((same || !scale) && bpp == 32) {
            std::memcpy(dst, src, size_t(width) * 4);
            continue;
        }
        for (int32_t x = 0; x < width; ++x, dst += 4) {
            const int64_t sx = same || !scale ? x : int64_t(x) * imageWidth / width;
            const uint8_t* p = src + sx * bytes;
            dst[0] = p[0], dst[1] = p[1], dst[2] = p[2];
            dst[3] = bpp == 32 ? p[3] : 255;
        }
    }
}

// ".." or a drive or stream colon would lead out of the engine folder.
bool StaysInFolder(const std::u16string& name) {
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] == u':') return false;
        if (i == name.size() || name[i] == u'\\' || name[i] == u'/') {
            if (name.compare(start, i - start, u"..") == 0) return false;
            start = i + 1;
        }
    }
    return true;
}

bool HeaderAccepted(const uint8_t* header) {
    return std::memcmp(header, kInstance.settingsTag, kInstance.tagBytes) == 0;
}

std::unique_ptr<uint8_t[]> NewBuffer(uint64_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX) return nullptr;
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size_t(bytes)]);
}

// ---------------------------------------------------------------- the effect object

struct RefCounting;
struct RefCountingOps {
    int32_t(VXAPI* Increment)(RefCounting*);             // 0
    int32_t(VXAPI* Decrement)(RefCounting*);             // 1
    Bool32(VXAPI* IsShared)(RefCounting*);               // 2
    void(VXAPI* Destroy)(RefCounting*, uint32_t flags);  // 3: bit 0 frees the memory
};
struct RefCounting {
    const RefCountingOps* ops;
};

struct PreviewContext;

struct ForwardingEffect {
    EffectInterface effect;
    SettingsInterfaceA settingsA;
    SettingsInterfaceB settingsB;
    SecondaryInterface secondary;
    RefCounting refCounting;
    std::atomic<int32_t> refCount{0};
    HostWindowSource* windowSource = nullptr;
    HostImage* capturedImage = nullptr;
    uint8_t settings[kSettingsSize] = {};
    int64_t lastPreviewTime = -1;
    platform::Module engineModule = nullptr;
    int32_t engineHandle = 0;
    char16_t engineFolder[kEngineFolderChars] = {};
    OpenEffectFn openEffect = nullptr;
    CloseEffectFn closeEffect = nullptr;
    ProcessFrameFn processFrame = nullptr;
    DoExtDialogFn doExtDialog = nullptr;

    ForwardingEffect();
    ~ForwardingEffect();

    Status QueryInterface(const Guid& iid, void** out);
    void Reset();
    Status DefineParameters(HostParameterList* list, HostParameterFactory* factory);
    Status Prepare(HostFrameHolder* output, HostInputList* inputs, HostServices* services);
    Status Process(HostFrameHolder* output, HostInputList* inputs, HostRenderContext* context,
                   HostFieldInformation* fields);
    bool EditSettings(HostRenderContext* context, HostServices* services, HostWindowSource* source);
    int32_t RenderPreview(PreviewContext& preview, uint32_t index);

    void LoadEngine();
    void UnloadEngine();
    void ReleaseCapturedImage();
    void AcquireSettings(HostRenderContext* context, bool processing);
    void LoadSettingsFile(HostRenderContext* context, bool processing);
    void StoreSettings(HostRenderContext* context);
};

// What the preview callback needs; the engine only hands it back.
struct PreviewContext {
    int32_t width, height;
    uint8_t* area[2];
    ForwardingEffect* effect;
    HostRenderContext* context;
    void* frameFactory;  // always null
    HostWindowSource* windowSource;
    HostServices* services;
    uintptr_t reserved[4];
};

template <class Interface>
ForwardingEffect* Self(Interface* i) {
    static_assert(std::is_standard_layout_v<ForwardingEffect>);
    size_t offset = 0;
    if constexpr (std::is_same_v<Interface, EffectInterface>)
        offset = offsetof(ForwardingEffect, effect);
    if constexpr (std::is_same_v<Interface, SettingsInterfaceA>)
        offset = offsetof(ForwardingEffect, settingsA);
    if constexpr (std::is_same_v<Interface, SettingsInterfaceB>)
        offset = offsetof(ForwardingEffect, settingsB);
    if constexpr (std::is_same_v<Interface, SecondaryInterface>)
        offset = offsetof(ForwardingEffect, secondary);
    if constexpr (std::is_same_v<Interface, RefCounting>)
        offset = offsetof(ForwardingEffect, refCounting);
    return reinterpret_cast<ForwardingEffect*>(reinterpret_cast<char*>(i) - offset);
}

// The four operations every interface of the object starts with.
template <class Interface>
struct Common {
    static Status VXAPI QueryInterface(Interface* i, const Guid* iid, void** out) {
        return Self(i)->QueryInterface(*iid, out);
    }
    static int32_t VXAPI AddRef(Interface* i) {
        RefCounting* r = &Self(i)->refCounting;
        return r->ops->Increment(r);
    }
    static int32_t VXAPI Release(Interface* i) {
        RefCounting* r = &Self(i)->refCounting;
        return r->ops->Decrement(r);
    }
    static int32_t VXAPI GetRefCount(Interface* i) { return Self(i)->refCount.load(); }
};

int32_t VXAPI RefIncrement(RefCounting* r) {
    return ++Self(r)->refCount;
}
int32_t VXAPI RefDecrement(RefCounting* r) {
    const int32_t left = --Self(r)->refCount;
    if (left == 0) r->ops->Destroy(r, 1);
    return left;
}
Bool32 VXAPI RefIsShared(RefCounting* r) {
    return Self(r)->refCount.load() > 1;
}
void VXAPI RefDestroy(RefCounting* r, uint32_t flags) {
    ForwardingEffect* self = Self(r);
    if (flags & 1) {
        delete self;
    } else {
        self->~ForwardingEffect();
    }
}
const RefCountingOps kRefCountingOps = {RefIncrement, RefDecrement, RefIsShared, RefDestroy};

using EffectCommon = Common<EffectInterface>;
const EffectOps kEffectOps = {
    EffectCommon::QueryInterface,
    EffectCommon::AddRef,
    EffectCommon::Release,
    EffectCommon::GetRefCount,
    [](EffectInterface* i) VXAPI { Self(i)->Reset(); },
    [](EffectInterface* i, HostParameterList* list, HostParameterFactory* factory)
        VXAPI { return Self(i)->DefineParameters(list, factory); },
    [](EffectInterface* i, HostFrameHolder* output, HostInputList* inputs, HostRenderContext*,
       void*, HostServices* services) VXAPI { return Self(i)->Prepare(output, inputs, services); },
    [](EffectInterface* i, HostFrameHolder* output, HostInputList* inputs,
       HostRenderContext* context, void* fields, HostServices*) VXAPI {
        return Self(i)->Process(output, inputs, context,
                                static_cast<HostFieldInformation*>(fields));
    },
    [](EffectInterface*, HostFrameHolder*, HostInputList*, HostRenderContext*, void*, HostServices*)
        VXAPI -> Status { return kOk; },
};

using ACommon = Common<SettingsInterfaceA>;
const SettingsOpsA kSettingsOpsA = {
    ACommon::QueryInterface, ACommon::AddRef, ACommon::Release, ACommon::GetRefCount,
    [](SettingsInterfaceA* i, HostRenderContext* context, HostServices* services,
       HostWindowSource* source)
        VXAPI -> Bool32 { return Self(i)->EditSettings(context, services, source) ? 1 : 0; }};

using BCommon = Common<SettingsInterfaceB>;
const SettingsOpsB kSettingsOpsB = {
    BCommon::QueryInterface, BCommon::AddRef, BCommon::Release, BCommon::GetRefCount,
    [](SettingsInterfaceB*, HostRenderContext*, void*, HostServices*, HostWindowSource*)
        VXAPI -> Bool32 { return 0; }};

using SecondaryCommon = Common<SecondaryInterface>;
const SecondaryOps kSecondaryOps = {
    SecondaryCommon::QueryInterface,
    SecondaryCommon::AddRef,
    SecondaryCommon::Release,
    SecondaryCommon::GetRefCount,
    [](SecondaryInterface*, const void* id) VXAPI -> Bool32 {
        return id && SameGuid(*static_cast<const Guid*>(id), kAcceptedFeatureId) ? 1 : 0;
    },
    [](SecondaryInterface*, const void*) VXAPI -> int32_t { return 0; },
    [](SecondaryInterface*, const void*) VXAPI -> double { return 0.0; },
    [](SecondaryInterface*, const void*) VXAPI -> int32_t { return 0; },
};

ForwardingEffect::ForwardingEffect() {
    effect.ops = &kEffectOps;
    settingsA.ops = &kSettingsOpsA;
    settingsB.ops = &kSettingsOpsB;
    secondary.ops = &kSecondaryOps;
    refCounting.ops = &kRefCountingOps;
}

ForwardingEffect::~ForwardingEffect() {
    ReleaseCapturedImage();
    UnloadEngine();
}

Status ForwardingEffect::QueryInterface(const Guid& iid, void** out) {
    void* answer = nullptr;
    if (SameGuid(iid, kEffectInterfaceId) || SameGuid(iid, kEffectInterfaceId2))
        answer = &effect;
    else if (SameGuid(iid, kSettingsInterfaceAId))
        answer = &settingsA;
    else if (SameGuid(iid, kSettingsInterfaceBId))
        answer = &settingsB;
    else if (SameGuid(iid, kSecondaryInterfaceId))
        answer = &secondary;
    *out = answer;
    if (!answer) return kNoInterface;
    refCounting.ops->Increment(&refCounting);
    return kOk;
}

// ---------------------------------------------------------------- engine loading

// A second Reset closes the engine the first one opened before opening anew.
void ForwardingEffect::Reset() {
    lastPreviewTime = -1;
    windowSource = nullptr;
    ReleaseCapturedImage();
    UnloadEngine();
    engineFolder[0] = 0;
    LoadEngine();
}

void ForwardingEffect::LoadEngine() {
    const auto folder = platform::ReadRegistryString(platform::kLocalMachine,
                                                     kVariant.product->registryKey, u"Location");
    // A folder that does not fit its buffer counts as no folder at all.
    if (!folder || folder->empty() || folder->size() >= kEngineFolderChars) return;
    std::memcpy(engineFolder, folder->c_str(), (folder->size() + 1) * sizeof(char16_t));

    const std::u16string path = *folder + kVariant.product->engineLibrary + u"" VX_ENGINE_SUFFIX;
    engineModule = platform::LoadModule(platform::NarrowFromWide(path.c_str()).c_str());
    if (!engineModule) return;
    openEffect =
        reinterpret_cast<OpenEffectFn>(platform::FindEntryPoint(engineModule, kOpenEffect));
    closeEffect =
        reinterpret_cast<CloseEffectFn>(platform::FindEntryPoint(engineModule, kCloseEffect));
    processFrame =
        reinterpret_cast<ProcessFrameFn>(platform::FindEntryPoint(engineModule, kProcessFrame));
    doExtDialog =
        reinterpret_cast<DoExtDialogFn>(platform::FindEntryPoint(engineModule, kDoExtDialog));
    if (!openEffect || !closeEffect || !processFrame || !doExtDialog) {
        UnloadEngine();
        return;
    }
    engineHandle = openEffect(kInstance.engineNumber);
}

void ForwardingEffect::UnloadEngine() {
    if (engineModule) {
        if (engineHandle && closeEffect) closeEffect(engineHandle, kInstance.engineNumber);
        platform::UnloadModule(engineModule);
    }
    engineModule = nullptr;
    engineHandle = 0;
    openEffect = nullptr;
    closeEffect = nullptr;
    processFrame = nullptr;
    doExtDialog = nullptr;
}

void ForwardingEffect::ReleaseCapturedImage() {
    if (capturedImage) capturedImage->ops->Release(capturedImage);
    capturedImage = nullptr;
}

// ---------------------------------------------------------------- parameters

constexpr int32_t kSettingsParameter = 0;      // "CUIP"
constexpr int32_t kSettingsFileParameter = 1;  // "PRESETFILE"

// Asks the factory for a parameter, names it, lets `setValues` fill its value
// and default, and adds it to the list.
template <class SetValues>
void DeclareParameter(HostParameterList* list, HostParameterFactory* factory, int32_t kind,
                      const char16_t* name, int32_t index, SetValues setValues) {
    void* p = nullptr;
    if (factory->ops->Create(factory, kind, &kParameterId, &p) != kOk || !p) return;
    Held<HostParameter> parameter(static_cast<HostParameter*>(p));
    parameter->ops->SetName(parameter.p, name);
    parameter->ops->SetIndex(parameter.p, index);
    setValues(parameter.p);
    list->ops->Add(list, parameter.p);
}

template <class T, class Use>
void WithValue(HostParameter* parameter, bool isDefault, const Guid& iid, Use use) {
    void* v = nullptr;
    auto get = isDefault ? parameter->ops->GetDefaultValue : parameter->ops->GetValue;
    if (get(parameter, &iid, &v) != kOk || !v) return;
    Held<T> value(static_cast<T*>(v));
    use(value.p);
}

Status ForwardingEffect::DefineParameters(HostParameterList* list, HostParameterFactory* factory) {
    if (!list || !factory) return kOk;
    DeclareParameter(list, factory, kKindData, u"CUIP", kSettingsParameter, [&](HostParameter* p) {
        for (bool isDefault : {false, true})
            WithValue<HostDataValue>(p, isDefault, kDataValueId, [&](HostDataValue* v) {
                v->ops->Store(v, kSettingsSize, settings);
            });
    });
    DeclareParameter(
        list, factory, kKindString, u"PRESETFILE", kSettingsFileParameter, [](HostParameter* p) {
            for (bool isDefault : {false, true})
                WithValue<HostStringValue>(p, isDefault, kStringValueId,
                                           [](HostStringValue* v) { v->ops->Set(v, u""); });
        });
    return kOk;
}

void ForwardingEffect::StoreSettings(HostRenderContext* context) {
    ParameterValue<HostDataValue> value(context, kSettingsParameter, kDataValueId);
    if (value) value->ops->Store(value.value.p, kSettingsSize, settings);
}

void ForwardingEffect::AcquireSettings(HostRenderContext* context, bool processing) {
    {
        ParameterValue<HostDataValue> value(context, kSettingsParameter, kDataValueId);
        uint32_t size = 0;
        const void* data = nullptr;
        if (value) {
            size = value->ops->Size(value.value.p);
            data = value->ops->Data(value.value.p);
        }
        if (size && data)
            std::memcpy(settings, data, size < kSettingsSize ? size : kSettingsSize);
        else
            std::memset(settings, 0, sizeof settings);
    }
    if (settings[0] == 0) LoadSettingsFile(context, processing);
}

// Settings from the file "PRESETFILE" names inside the engine folder: a
// 32-byte header the instance checks, then the settings block.  Bytes the
// file does not reach are 0.
void ForwardingEffect::LoadSettingsFile(HostRenderContext* context, bool processing) {
    std::u16string name;
    {
        ParameterValue<HostStringValue> value(context, kSettingsFileParameter, kStringValueId);
        const char16_t* text = value ? value->ops->Get(value.value.p) : nullptr;
        if (!text) return;
        name = text;
    }
    if (!engineFolder[0] || name.empty() || name[0] != u'\\' || !StaysInFolder(name)) return;
    std::string path = platform::NarrowFromWide((engineFolder + name).c_str());
    for (char& c : path)
        if (c == '\\') c = '/';  // both systems' runtimes accept '/'
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kSettingsSize]());
    uint8_t header[kSettingsFileHeaderSize];
    const bool accepted = buffer && std::fread(header, 1, sizeof header, file) == sizeof header &&
                          HeaderAccepted(header) &&
                          std::fread(buffer.get(), 1, kSettingsSize, file) >= 1;
    std::fclose(file);
    if (!accepted) return;
    std::memcpy(settings, buffer.get(), kSettingsSize);
    if (processing && kVariant.storesFileSettings) StoreSettings(context);
}

// ---------------------------------------------------------------- frames

Status ForwardingEffect::Prepare(HostFrameHolder* output, HostInputList* inputs,
                                 HostServices* services) {
    HostFrameHolder* holder = inputs && inputs->holders ? inputs->holders[0] : nullptr;
    HostFrame* input = holder ? holder->ops->GetFrame(holder) : nullptr;
    if (!input) return kNoFrame;
    void* frameInterface = nullptr;
    input->ops->GetInterface(input, &kFrameInterfaceId, &frameInterface);
    const Status status =
        services->ops->CreateOutputFrame(services, &kOutputFrameServiceId, output,
                                         static_cast<HostUnknown*>(frameInterface), 512, 64);
    if (frameInterface)
        static_cast<HostUnknown*>(frameInterface)
            ->ops->Release(static_cast<HostUnknown*>(frameInterface));
    return status;
}

// A frame the engine's areas can be filled from or copied into: 32 bits per
// pixel and at least width x height pixels.
bool Fits(HostFrame* f, int32_t width, int32_t height) {
    return f->ops->BitsPerPixel(f) == 32 && f->ops->Width(f) >= width &&
           f->ops->Height(f) >= height && f->ops->Bits(f);
}

Status ForwardingEffect::Process(HostFrameHolder* outputHolder, HostInputList* inputs,
                                 HostRenderContext* context, HostFieldInformation* fields) {
    HostFrame* input[2] = {};
    for (int32_t i = 0; i < kVariant.inputs; ++i) {
        HostFrameHolder* h = inputs && inputs->holders ? inputs->holders[i] : nullptr;
        input[i] = h ? h->ops->GetFrame(h) : nullptr;
        if (!input[i]) return kOk;
    }
    HostFrame* output = outputHolder ? outputHolder->ops->GetFrame(outputHolder) : nullptr;
    if (!output || !context) return kOk;

    AcquireSettings(context, true);

    Record record{};
    const TimeValue& start = *context->ops->StartTime(context);
    const TimeValue& duration = *context->ops->Duration(context);
    const TimeValue& now = *context->ops->CurrentTime(context);
    const int32_t length = int32_t(uint32_t(ClipFrames(duration)) * 2u);
    const int32_t width = input[kAreaInput[0]]->ops->Width(input[kAreaInput[0]]);
    const int32_t height = output->ops->Height(output);

    record.head.rate = 30;
    record.head.length = length;
    record.head.position = Position(length, ClipProgress(start, duration, now));
    record.head.storage = kBottomRowFirst;
    record.head.singleInputFlag = kVariant.singleInputFlag;
    record.head.width = width;
    record.head.height = height;
    record.head.rowLength[0] = record.head.rowLength[1] = record.head.rowLength[2] = width;
    record.settings = settings;

    // Frames the areas cannot be copied from or into are left alone.
    if (width <= 0 || height <= 0 || !Fits(output, width, height)) return kOk;
    for (int32_t i = 0; i < kVariant.inputs; ++i)
        if (!Fits(input[i], width, height)) return kOk;

    const size_t rowBytes = size_t(width) * 4;
    const uint64_t areaBytes = uint64_t(rowBytes) * uint64_t(height);
    std::unique_ptr<uint8_t[]> buffer = NewBuffer(areaBytes * kAreas);
    if (!buffer) return kOk;
    uint8_t* area[2] = {buffer.get() + areaBytes, buffer.get() + areaBytes * (kAreas - 1)};
    record.output = buffer.get();
    record.input1 = area[0];
    record.input2 = area[1];

    int32_t fieldIndicator = 0, parity = 0;
    if (fields) {
        record.fieldNumber = fields->ops->Number(fields);
        fieldIndicator = fields->ops->FieldIndicator(fields);
        fields->ops->Value12(fields);
        parity = fields->ops->Parity(fields);
    }
    const RowPlan rows = PlanRows(fieldIndicator, parity, height);
    record.head.rowSelection = record.head.rowSelection2 = rows.mode;

    for (int32_t a = 0; a < kVariant.inputs; ++a) {
        const FrameRows from(input[kAreaInput[a]]);
        for (int32_t k = 0; k < rows.count; ++k)
            std::memcpy(area[a] + size_t(k) * rowBytes, from.Row(rows.Row(k)), rowBytes);
    }
    if (!processFrame) return kOk;  // nothing filled the output area
    processFrame(engineHandle, &record, 0);
    const FrameRows to(output);
    for (int32_t k = 0; k < rows.count; ++k)
        std::memcpy(to.Row(rows.Row(k)), record.output + size_t(k) * rowBytes, rowBytes);
    return kOk;
}

// ---------------------------------------------------------------- settings dialog

// A 720 x 480 frame of input `input` at `at`, as a host image; null when the
// window source renders nothing or no image is made.
HostImage* CaptureInput(HostServices* services, HostWindowSource* source, int32_t input,
                        const TimeValue& at, bool forEngine) {
    void* f = nullptr;
    if (services->ops->CreateFrame(services, &kFrameInterfaceId, &f, kCaptureWidth, kCaptureHeight,
                                   4, 0, 1, 1, 1.0f, 0) != kOk ||
        !f)
        return nullptr;
    Held<HostFrame> frame(static_cast<HostFrame*>(f));
    if (source->ops->RenderInput(source, input, &at, frame.p) != kOk) return nullptr;
    void* image = nullptr;
    auto makeImage = forEngine ? services->ops->ImageOfRenderedFrame : services->ops->ImageOfFrame;
    if (makeImage(services, frame.p, &kImageId, &image, 0, 4, 4) != kOk) return nullptr;
    return static_cast<HostImage*>(image);
}

int32_t VXCDECL PreviewCallbackEntry(int32_t, uint32_t index, int32_t, void* context) {
    if (!context) return 0;
    PreviewContext& preview = *static_cast<PreviewContext*>(context);
    return preview.effect->RenderPreview(preview, index);
}

int32_t ForwardingEffect::RenderPreview(PreviewContext& preview, uint32_t index) {
    const TimeValue& duration = *preview.context->ops->Duration(preview.context);
    const int64_t time = int64_t(uint64_t(index) * uint64_t(duration.unitsPerFrame));
    if (time == lastPreviewTime || time < 0 || time >= duration.count) return 1;
    const TimeValue at = {time, duration.unitsPerSecond, duration.unitsPerFrame};
    for (int32_t a = 0; a < kVariant.inputs; ++a) {
        capturedImage =
            CaptureInput(preview.services, preview.windowSource, kAreaInput[a], at, true);
        if (!capturedImage) return 0;
        CopyImage(capturedImage, preview.area[a], preview.width, preview.height, true);
        ReleaseCapturedImage();
    }
    lastPreviewTime = time;
    return 1;
}

bool ForwardingEffect::EditSettings(HostRenderContext* context, HostServices* services,
                                    HostWindowSource* source) {
    windowSource = source;
    if (!context || !services || !source) return false;
    AcquireSettings(context, false);

    capturedImage = CaptureInput(services, source, 0, kCaptureTime, false);
    if (!capturedImage) return false;
    lastPreviewTime = 0;
    const int32_t imageWidth = capturedImage->ops->Width(capturedImage);
    const int32_t imageHeight = capturedImage->ops->Height(capturedImage);
    const uint64_t fullArea =
        uint64_t(imageWidth > 0 ? imageWidth : 0) * uint64_t(imageHeight > 0 ? imageHeight : 0) * 4;
    std::unique_ptr<uint8_t[]> buffer = NewBuffer(fullArea * kAreas);
    if (!buffer) {
        ReleaseCapturedImage();
        lastPreviewTime = -1;
        return false;
    }

    Record record{};
    const TimeValue& start = *context->ops->StartTime(context);
    const TimeValue& duration = *context->ops->Duration(context);
    const TimeValue& now = *context->ops->CurrentTime(context);
    int32_t frames = 10, rate = 30;
    if (duration.unitsPerFrame > 0) {
        frames = ClipFrames(duration);
        rate = int32_t(double(duration.unitsPerSecond) / double(duration.unitsPerFrame) + 0.5);
    }
    int32_t width = imageWidth, height = imageHeight;
    if (width > kPreviewMaxWidth) width /= 2, height /= 2;
    const size_t areaBytes = size_t(width) * size_t(height) * 4;

    record.head.rate = rate;
    record.head.length = frames;
    record.head.position = Position(frames, ClipProgress(start, duration, now));
    record.head.rowSelection = record.head.rowSelection2 = kAllRows;
    record.head.storage = capturedImage->ops->IsBottomUp(capturedImage) ? kBottomRowFirst : 0;
    record.head.width = width;
    record.head.height = height;
    record.head.rowLength[0] = record.head.rowLength[1] = record.head.rowLength[2] = width;
    record.fieldNumber = 1.0;
    record.input1 = buffer.get();
    record.input2 = buffer.get() + (kVariant.inputs == 2 ? areaBytes : 0);
    record.output = buffer.get() + areaBytes * (kAreas - 1);
    record.settings = settings;

    CopyImage(capturedImage, record.input1, width, height, false);
    ReleaseCapturedImage();
    lastPreviewTime = -1;

    PreviewContext preview{width,  height,   {record.input1, record.input2},
                           this,   context,  nullptr,
                           source, services, {}};
    record.previewContext = &preview;
    record.previewCallback = PreviewCallbackEntry;
    if (kVariant.previewBeforeDialog)
        PreviewCallbackEntry(0, uint32_t(record.head.position), 0, &preview);

    int32_t result = 0;
    if (doExtDialog)
        result = doExtDialog(source->ops->ParentWindow(source), &record, kInstance.engineNumber);
    buffer.reset();
    if (result != 1) return false;
    StoreSettings(context);
    ParameterValue<HostStringValue> file(context, kSettingsFileParameter, kStringValueId);
    if (file) file->ops->Set(file.value.p, u"");
    return true;
}

// ---------------------------------------------------------------- registration

Status RegisterSingle(HostRegistrar* registrar, HostEffectDescriptor* d) {
    d->ops->SetGroup(d, kInstance.group);
    d->ops->SetName(d, kInstance.name);
    d->ops->SetClassId(d, &kInstance.classId);
    d->ops->SetVersion(d, u"1.0");
    if (kVariant.registration == Registration::kSingleWithNumber) d->ops->SetNumber(d, 2.0);
    void* extension = nullptr;
    if (d->ops->QueryInterface(d, &kDescriptorExtensionId, &extension) == kOk && extension) {
        auto* e = static_cast<HostDescriptorExtension*>(extension);
        e->ops->SetOptions(e, 1, 0, 0);
        e->ops->Release(e);
    }
    d->ops->SetKindAndFlags(d, kInstance.kind, kInstance.flags);
    return registrar->ops->Register(registrar, d);
}

// The main transition, then its presets "ZestBLENDER 2.5 P01" to "... P99",
// each under the main identifier with its last byte set to the preset number.
Status RegisterWithPresets(HostRegistrar* registrar, HostEffectDescriptor* d) {
    d->ops->SetGroup(d, kInstance.group);
    d->ops->SetName(d, kInstance.name);
    d->ops->SetClassId(d, &kInstance.classId);
    void* extension = nullptr;
    if (d->ops->QueryInterface(d, &kDescriptorExtensionId, &extension) == kOk && extension) {
        auto* e = static_cast<HostDescriptorExtension*>(extension);
        e->ops->SetOptions(e, 1, 0, 0);
        e->ops->Release(e);
    } else {
        d->ops->SetVersion(d, u"1.0");
    }
    d->ops->SetNumber(d, 2.0);
    d->ops->SetKindAndFlags(d, kInstance.kind, kInstance.flags);
    if (Status st = registrar->ops->Register(registrar, d); st != kOk) return st;

    char16_t name[] = u"ZestBLENDER 2.5 P00";
    constexpr size_t kTens = sizeof name / sizeof name[0] - 3;
    for (int32_t n = 1; n <= kPresetCount; ++n) {
        name[kTens] = char16_t(u'0' + n / 10);
        name[kTens + 1] = char16_t(u'0' + n % 10);
        Guid id = kInstance.classId;
        id.data4[7] = uint8_t(n);
        d->ops->Clear(d);
        d->ops->SetGroup(d, kInstance.group);
        d->ops->SetName(d, name);
        d->ops->SetClassId(d, &id);
        d->ops->SetVersion(d, u"1.0");
        d->ops->SetNumber(d, 2.0);
        d->ops->SetKindAndFlags(d, kInstance.kind, kInstance.flags);
        if (Status st = registrar->ops->Register(registrar, d); st != kOk) return st;
    }
    return kOk;
}

}  // namespace

void AttachModule(void* module) {
    gModule = module;
}

}  // namespace vx::forwarder

// The two entry points the host looks up by name; the Windows build gives
// them their decorated names in the module-definition file.
extern "C" {

VXEXPORT vx::Status VXAPI registerEffects(vx::HostRegistrar* registrar,
                                          vx::HostEffectDescriptor* descriptor) {
    using namespace vx::forwarder;
    if (kVariant.registration == Registration::kWithPresets)
        return RegisterWithPresets(registrar, descriptor);
    return RegisterSingle(registrar, descriptor);
}

// The class identifier is not looked at: one object serves the effect and
// every preset.
VXEXPORT vx::EffectInterface* VXAPI createEffect(const vx::Guid*) {
    auto* object = new (std::nothrow) vx::forwarder::ForwardingEffect;
    return object ? &object->effect : nullptr;
}
}
