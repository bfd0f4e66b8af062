// The host interface: every table of operations that crosses the boundary
// between the host video editor and a plug-in library.
//
// Each object is a pointer to a table of operations; each operation takes the
// object as its first argument and uses the standard-call convention on 32-bit
// Windows (VXAPI).  Slot positions are the contract: the static_asserts at the
// end of this file pin every operation we call or implement to its position.
// Slots that nobody in this code base calls are kept as `Reserved` entries so
// that later positions stay where the host expects them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/guid.h"
#include "platform/callconv.h"

namespace vx {

using Status = int32_t;
using Bool32 = int32_t;
using Reserved = void (*)();

constexpr Status kOk = 0;
constexpr Status kNoInterface = 0x10;
constexpr Status kNoFrame = 0x4002;
constexpr Status kDefineFailed = 0x5000;

struct TimeValue {
    int64_t count;
    int64_t unitsPerSecond;
    int64_t unitsPerFrame;
};
static_assert(sizeof(TimeValue) == 24);
static_assert(offsetof(TimeValue, unitsPerSecond) == 8 && offsetof(TimeValue, unitsPerFrame) == 16);

// Any object: the three first operations of every table.
struct HostUnknown;
struct HostUnknownOps {
    Status(VXAPI* QueryInterface)(HostUnknown*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostUnknown*);                              // 1
    int32_t(VXAPI* Release)(HostUnknown*);                             // 2
};
struct HostUnknown {
    const HostUnknownOps* ops;
};

// ---------------------------------------------------------------- registration

struct HostEffectDescriptor;
struct HostEffectDescriptorOps {
    Status(VXAPI* QueryInterface)(HostEffectDescriptor*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostEffectDescriptor*);                              // 1
    int32_t(VXAPI* Release)(HostEffectDescriptor*);                             // 2
    Reserved reserved3;
    void(VXAPI* SetName)(HostEffectDescriptor*, const char16_t*);     // 4
    void(VXAPI* SetGroup)(HostEffectDescriptor*, const char16_t*);    // 5
    Reserved reserved6;
    void(VXAPI* SetVersion)(HostEffectDescriptor*, const char16_t*);  // 7
    void(VXAPI* SetNumber)(HostEffectDescriptor*, double);            // 8
    void(VXAPI* SetClassId)(HostEffectDescriptor*, const Guid*);      // 9
    Reserved reserved10;
    Reserved reserved11;
    void(VXAPI* SetKindAndFlags)(HostEffectDescriptor*, int32_t kind, int32_t flags);  // 12
    Reserved reserved13;
    void(VXAPI* Clear)(HostEffectDescriptor*);  // 14
};
struct HostEffectDescriptor {
    const HostEffectDescriptorOps* ops;
};

// The optional extension a descriptor may answer for kDescriptorExtensionId.
struct HostDescriptorExtension;
struct HostDescriptorExtensionOps {
    Status(VXAPI* QueryInterface)(HostDescriptorExtension*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostDescriptorExtension*);                              // 1
    int32_t(VXAPI* Release)(HostDescriptorExtension*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    void(VXAPI* SetOptions)(HostDescriptorExtension*, int32_t, int32_t, int32_t);  // 5
};
struct HostDescriptorExtension {
    const HostDescriptorExtensionOps* ops;
};

struct HostRegistrar;
struct HostRegistrarOps {
    Status(VXAPI* QueryInterface)(HostRegistrar*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostRegistrar*);                              // 1
    int32_t(VXAPI* Release)(HostRegistrar*);                             // 2
    Reserved reserved3;
    Status(VXAPI* Register)(HostRegistrar*, HostEffectDescriptor*);  // 4
};
struct HostRegistrar {
    const HostRegistrarOps* ops;
};

// ---------------------------------------------------------------- frames

struct HostFrame;
struct HostFrameOps {
    Status(VXAPI* QueryInterface)(HostFrame*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostFrame*);                              // 1
    int32_t(VXAPI* Release)(HostFrame*);                             // 2
    Reserved reserved3;
    int32_t(VXAPI* Width)(HostFrame*);   // 4
    int32_t(VXAPI* Height)(HostFrame*);  // 5
    Reserved reserved6;
    int32_t(VXAPI* Pitch)(HostFrame*);  // 7
    Reserved reserved8;
    Reserved reserved9;
    uint8_t*(VXAPI* Bits)(HostFrame*);  // 10: first stored row
    Reserved reserved11;
    int32_t(VXAPI* BitsPerPixel)(HostFrame*);  // 12
    int32_t(VXAPI* PixelFormat)(HostFrame*);   // 13
    int32_t(VXAPI* IsBottomUp)(HostFrame*);    // 14
    Reserved reserved15;
    Reserved reserved16;
    int32_t(VXAPI* FieldCode)(HostFrame*);  // 17
    Reserved reserved18;
    Reserved reserved19;
    Reserved reserved20;
    Status(VXAPI* GetInterface)(HostFrame*, const Guid*, void**);                 // 21
    Status(VXAPI* CopyInto)(HostFrame*, HostFrame* other, int32_t mode);          // 22
    Status(VXAPI* SetScaleOffset)(HostFrame*, double, double, double, double);    // 23
    Reserved reserved24[9];                                                       // 24..32
    Status(VXAPI* PrepareAlpha)(HostFrame*, int32_t);                             // 33
    Reserved reserved34;
    Reserved reserved35;
    Status(VXAPI* Clear)(HostFrame*);  // 36
    Reserved reserved37;
    Status(VXAPI* MarkAlpha)(HostFrame*);  // 38
};
struct HostFrame {
    const HostFrameOps* ops;
};

struct HostFrameHolder;
struct HostFrameHolderOps {
    Status(VXAPI* QueryInterface)(HostFrameHolder*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostFrameHolder*);                              // 1
    int32_t(VXAPI* Release)(HostFrameHolder*);                             // 2
    Reserved reserved3;
    HostFrame*(VXAPI* GetFrame)(HostFrameHolder*);  // 4
};
struct HostFrameHolder {
    const HostFrameHolderOps* ops;
};

// The input list handed to Prepare and Process.
struct HostInputList {
    uint32_t unused;
    HostFrameHolder** holders;
};
static_assert(offsetof(HostInputList, holders) == sizeof(void*) || sizeof(void*) == 8);

// ---------------------------------------------------------------- parameters

// Value interfaces, one per value type; operation 5 reads, 6 writes.
struct HostRealValue;
struct HostRealValueOps {
    Status(VXAPI* QueryInterface)(HostRealValue*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostRealValue*);                              // 1
    int32_t(VXAPI* Release)(HostRealValue*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    double(VXAPI* Get)(HostRealValue*);          // 5
    Status(VXAPI* Set)(HostRealValue*, double);  // 6
};
struct HostRealValue {
    const HostRealValueOps* ops;
};

// Integer and choice values.
struct HostIntegerValue;
struct HostIntegerValueOps {
    Status(VXAPI* QueryInterface)(HostIntegerValue*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostIntegerValue*);                              // 1
    int32_t(VXAPI* Release)(HostIntegerValue*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    int32_t(VXAPI* Get)(HostIntegerValue*);          // 5
    Status(VXAPI* Set)(HostIntegerValue*, int32_t);  // 6
};
struct HostIntegerValue {
    const HostIntegerValueOps* ops;
};

struct HostBooleanValue;
struct HostBooleanValueOps {
    Status(VXAPI* QueryInterface)(HostBooleanValue*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostBooleanValue*);                              // 1
    int32_t(VXAPI* Release)(HostBooleanValue*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    uint8_t(VXAPI* Get)(HostBooleanValue*);          // 5
    Status(VXAPI* Set)(HostBooleanValue*, uint8_t);  // 6
};
struct HostBooleanValue {
    const HostBooleanValueOps* ops;
};

struct HostDataValue;
struct HostDataValueOps {
    Status(VXAPI* QueryInterface)(HostDataValue*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostDataValue*);                              // 1
    int32_t(VXAPI* Release)(HostDataValue*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    uint32_t(VXAPI* Size)(HostDataValue*);                                  // 5
    const void*(VXAPI* Data)(HostDataValue*);                               // 6
    Status(VXAPI* Store)(HostDataValue*, uint32_t size, const void* data);  // 7
};
struct HostDataValue {
    const HostDataValueOps* ops;
};

// Text values (used by the forwarding libraries only).
struct HostStringValue;
struct HostStringValueOps {
    Status(VXAPI* QueryInterface)(HostStringValue*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostStringValue*);                              // 1
    int32_t(VXAPI* Release)(HostStringValue*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    const char16_t*(VXAPI* Get)(HostStringValue*);  // 5
    Status(VXAPI* Set)(HostStringValue*, const char16_t*);  // 6
};
struct HostStringValue {
    const HostStringValueOps* ops;
};

// Ranges: the odd positions 5..13 set step, slider limits and limits.
struct HostRealRange;
struct HostRealRangeOps {
    Status(VXAPI* QueryInterface)(HostRealRange*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostRealRange*);                              // 1
    int32_t(VXAPI* Release)(HostRealRange*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    Status(VXAPI* SetStep)(HostRealRange*, double);  // 5
    Reserved reserved6;
    Status(VXAPI* SetSliderMin)(HostRealRange*, double);  // 7
    Reserved reserved8;
    Status(VXAPI* SetSliderMax)(HostRealRange*, double);  // 9
    Reserved reserved10;
    Status(VXAPI* SetMin)(HostRealRange*, double);  // 11
    Reserved reserved12;
    Status(VXAPI* SetMax)(HostRealRange*, double);  // 13
};
struct HostRealRange {
    const HostRealRangeOps* ops;
};

struct HostIntegerRange;
struct HostIntegerRangeOps {
    Status(VXAPI* QueryInterface)(HostIntegerRange*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostIntegerRange*);                              // 1
    int32_t(VXAPI* Release)(HostIntegerRange*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    Status(VXAPI* SetStep)(HostIntegerRange*, int32_t);  // 5
    Reserved reserved6;
    Status(VXAPI* SetSliderMin)(HostIntegerRange*, int32_t);  // 7
    Reserved reserved8;
    Status(VXAPI* SetSliderMax)(HostIntegerRange*, int32_t);  // 9
    Reserved reserved10;
    Status(VXAPI* SetMin)(HostIntegerRange*, int32_t);  // 11
    Reserved reserved12;
    Status(VXAPI* SetMax)(HostIntegerRange*, int32_t);  // 13
};
struct HostIntegerRange {
    const HostIntegerRangeOps* ops;
};

struct HostChoiceRange;
struct HostChoiceRangeOps {
    Status(VXAPI* QueryInterface)(HostChoiceRange*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostChoiceRange*);                              // 1
    int32_t(VXAPI* Release)(HostChoiceRange*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    Status(VXAPI* SetCount)(HostChoiceRange*, int32_t);  // 5
    Reserved reserved6;
    Status(VXAPI* SetName)(HostChoiceRange*, int32_t index, const char16_t* name);  // 7
    Reserved reserved8;
    Status(VXAPI* SetNumber)(HostChoiceRange*, int32_t index, int32_t number);  // 9
    Reserved reserved10;
    Status(VXAPI* SetFirst)(HostChoiceRange*, int32_t);  // 11
    Reserved reserved12;
    Status(VXAPI* SetSecond)(HostChoiceRange*, int32_t);  // 13
};
struct HostChoiceRange {
    const HostChoiceRangeOps* ops;
};

struct HostParameter;
struct HostParameterOps {
    Status(VXAPI* QueryInterface)(HostParameter*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostParameter*);                              // 1
    int32_t(VXAPI* Release)(HostParameter*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    Reserved reserved5;
    Status(VXAPI* SetName)(HostParameter*, const char16_t*);  // 6
    Reserved reserved7;
    Status(VXAPI* SetIndex)(HostParameter*, int32_t);  // 8
    Reserved reserved9;
    Reserved reserved10;
    Status(VXAPI* GetValue)(HostParameter*, const Guid*, void**);         // 11
    Status(VXAPI* GetDefaultValue)(HostParameter*, const Guid*, void**);  // 12
};
struct HostParameter {
    const HostParameterOps* ops;
};

struct HostParameterList;
struct HostParameterListOps {
    Status(VXAPI* QueryInterface)(HostParameterList*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostParameterList*);                              // 1
    int32_t(VXAPI* Release)(HostParameterList*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    Reserved reserved5;
    Status(VXAPI* Add)(HostParameterList*, HostParameter*);  // 6
};
struct HostParameterList {
    const HostParameterListOps* ops;
};

struct HostParameterFactory;
struct HostParameterFactoryOps {
    Status(VXAPI* QueryInterface)(HostParameterFactory*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostParameterFactory*);                              // 1
    int32_t(VXAPI* Release)(HostParameterFactory*);                             // 2
    Reserved reserved3;
    Reserved reserved4;
    Reserved reserved5;
    Status(VXAPI* Create)(HostParameterFactory*, int32_t kind, const Guid*, void**);  // 6
};
struct HostParameterFactory {
    const HostParameterFactoryOps* ops;
};

// ---------------------------------------------------------------- rendering

struct HostRenderContext;
struct HostRenderContextOps {
    Status(VXAPI* QueryInterface)(HostRenderContext*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostRenderContext*);                              // 1
    int32_t(VXAPI* Release)(HostRenderContext*);                             // 2
    Reserved reserved3[7];                                                   // 3..9
    Status(VXAPI* GetParameter)(HostRenderContext*, int32_t index, const Guid*, void**);  // 10
    Reserved reserved11[4];                                                               // 11..14
    const TimeValue*(VXAPI* StartTime)(HostRenderContext*);                               // 15
    const TimeValue*(VXAPI* Duration)(HostRenderContext*);                                // 16
    const TimeValue*(VXAPI* CurrentTime)(HostRenderContext*);                             // 17
};
struct HostRenderContext {
    const HostRenderContextOps* ops;
};

struct HostServices;
struct HostServicesOps {
    Status(VXAPI* QueryInterface)(HostServices*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostServices*);                              // 1
    int32_t(VXAPI* Release)(HostServices*);                             // 2
    Reserved reserved3[3];                                              // 3..5
    Status(VXAPI* CreateOutputFrame)(HostServices*, const Guid*, HostFrameHolder* output,
                                     HostUnknown* likeFrame, int32_t, int32_t);  // 6
    Status(VXAPI* ShareInputFrame)(HostServices*, const Guid*, HostFrameHolder* output,
                                   HostFrameHolder* input);  // 7
    Reserved reserved8[2];                                   // 8..9
    // Another frame of the clip, by the values a HostFrameSource answered;
    // the frame comes with a reference for the caller to release.
    Status(VXAPI* ClipFrame)(HostServices*, const Guid*, void** frame, int32_t, int32_t, int32_t,
                             int32_t);  // 10
    // Images of frames (forwarding libraries): 11 in the settings dialog, 12
    // for frames rendered on the engine's request; the image answers kImageId.
    Status(VXAPI* ImageOfFrame)(HostServices*, HostFrame*, const Guid*, void** image, int32_t,
                                int32_t, int32_t);  // 11
    Status(VXAPI* ImageOfRenderedFrame)(HostServices*, HostFrame*, const Guid*, void** image,
                                        int32_t, int32_t, int32_t);  // 12
    // A new frame of width x height pixels of bytesPerPixel bytes.
    Status(VXAPI* CreateFrame)(HostServices*, const Guid*, void** frame, int32_t width,
                               int32_t height, int32_t bytesPerPixel, int32_t, int32_t, int32_t,
                               float, int32_t);  // 13
};
struct HostServices {
    const HostServicesOps* ops;
};

// What the host hands an effect that renders from other frames of its clip:
// operation 4 locates the frame `offset` frames away from the one being
// rendered, for a frame like `like`, and answers four values that
// HostServices::ClipFrame turns into the frame itself.
struct HostFrameSource;
struct HostFrameSourceOps {
    Status(VXAPI* QueryInterface)(HostFrameSource*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostFrameSource*);                              // 1
    int32_t(VXAPI* Release)(HostFrameSource*);                             // 2
    Reserved reserved3;
    Status(VXAPI* LocateFrame)(HostFrameSource*, int32_t offset, HostUnknown* like, int32_t*,
                               int32_t*, int32_t*, int32_t*);  // 4
};
struct HostFrameSource {
    const HostFrameSourceOps* ops;
};

// The Windows bitmap information header an image fills in (40 bytes).
struct BitmapInfoHeader {
    uint32_t size;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t clrUsed;
    uint32_t clrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// A picture the host made of a frame: rows of bitCount bits per pixel, each
// row padded to a multiple of 4 bytes.
struct HostImage;
struct HostImageOps {
    Status(VXAPI* QueryInterface)(HostImage*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostImage*);                              // 1
    int32_t(VXAPI* Release)(HostImage*);                             // 2
    Reserved reserved3;
    int32_t(VXAPI* Width)(HostImage*);   // 4
    int32_t(VXAPI* Height)(HostImage*);  // 5
    Reserved reserved6[4];               // 6..9
    uint8_t*(VXAPI* Bits)(HostImage*);   // 10: first stored row
    Reserved reserved11[3];              // 11..13
    int32_t(VXAPI* IsBottomUp)(HostImage*);  // 14
    Reserved reserved15[5];                  // 15..19
    Status(VXAPI* GetBitmapInfoHeader)(HostImage*, BitmapInfoHeader*);  // 20
};
struct HostImage {
    const HostImageOps* ops;
};

// What a settings dialog is opened for: the owner window, and the clip's
// input frames rendered on request.
struct HostWindowSource;
struct HostWindowSourceOps {
    Status(VXAPI* QueryInterface)(HostWindowSource*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostWindowSource*);                              // 1
    int32_t(VXAPI* Release)(HostWindowSource*);                             // 2
    Reserved reserved3;
    void*(VXAPI* ParentWindow)(HostWindowSource*);  // 4
    // Renders input `input` at time `at` into `into`; 0 when a frame was rendered.
    Status(VXAPI* RenderInput)(HostWindowSource*, int32_t input, const TimeValue* at,
                               HostFrame* into);  // 5
};
struct HostWindowSource {
    const HostWindowSourceOps* ops;
};

// The fourth argument of Process as the forwarding libraries read it: how the
// frame's fields are laid out.
struct HostFieldInformation;
struct HostFieldInformationOps {
    Status(VXAPI* QueryInterface)(HostFieldInformation*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(HostFieldInformation*);                              // 1
    int32_t(VXAPI* Release)(HostFieldInformation*);                             // 2
    Reserved reserved3[7];                                                      // 3..9
    int32_t(VXAPI* FieldIndicator)(HostFieldInformation*);  // 10
    int32_t(VXAPI* Parity)(HostFieldInformation*);          // 11
    int32_t(VXAPI* Value12)(HostFieldInformation*);         // 12
    Reserved reserved13;
    double(VXAPI* Number)(HostFieldInformation*);  // 14
};
struct HostFieldInformation {
    const HostFieldInformationOps* ops;
};

// ---------------------------------------------------------------- the effect object

// The effect interface: what the host holds for each effect instance.
struct EffectInterface;
struct EffectOps {
    Status(VXAPI* QueryInterface)(EffectInterface*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(EffectInterface*);                              // 1
    int32_t(VXAPI* Release)(EffectInterface*);                             // 2
    int32_t(VXAPI* GetRefCount)(EffectInterface*);                         // 3
    void(VXAPI* Reset)(EffectInterface*);                                  // 4
    Status(VXAPI* DefineParameters)(EffectInterface*, HostParameterList*,
                                    HostParameterFactory*);  // 5
    Status(VXAPI* Prepare)(EffectInterface*, HostFrameHolder* output, HostInputList* inputs,
                           HostRenderContext*, void* unused, HostServices*);  // 6
    Status(VXAPI* Process)(EffectInterface*, HostFrameHolder* output, HostInputList* inputs,
                           HostRenderContext*, void* unused, HostServices*);  // 7
    Status(VXAPI* ExtraStep)(EffectInterface*, HostFrameHolder* output, HostInputList* inputs,
                             HostRenderContext*, void* unused, HostServices*);  // 8
};
struct EffectInterface {
    const EffectOps* ops;
};

// The secondary interface: the four common operations, then four fixed answers.
struct SecondaryInterface;
struct SecondaryOps {
    Status(VXAPI* QueryInterface)(SecondaryInterface*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(SecondaryInterface*);                              // 1
    int32_t(VXAPI* Release)(SecondaryInterface*);                             // 2
    int32_t(VXAPI* GetRefCount)(SecondaryInterface*);                         // 3
    Bool32(VXAPI* Answer4)(SecondaryInterface*, const void*);                 // 4
    int32_t(VXAPI* Answer5)(SecondaryInterface*, const void*);                // 5
    double(VXAPI* Answer6)(SecondaryInterface*, const void*);                 // 6
    int32_t(VXAPI* Answer7)(SecondaryInterface*, const void*);                // 7
};
struct SecondaryInterface {
    const SecondaryOps* ops;
};

// The host's two forms of the own-dialog call.  Operations 0 to 3 act on the
// effect object itself; operation 4 shows the effect's settings dialog and
// answers 1 when the user confirmed it (the parameters then hold the new
// values), otherwise 0.
struct SettingsInterfaceA;
struct SettingsOpsA {
    Status(VXAPI* QueryInterface)(SettingsInterfaceA*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(SettingsInterfaceA*);                              // 1
    int32_t(VXAPI* Release)(SettingsInterfaceA*);                             // 2
    int32_t(VXAPI* GetRefCount)(SettingsInterfaceA*);                         // 3
    // The second argument is the host's services; the forwarding libraries
    // render their previews with it, the main library's effects ignore it.
    Bool32(VXAPI* EditSettings)(SettingsInterfaceA*, HostRenderContext*, HostServices*,
                                HostWindowSource*);  // 4
};
struct SettingsInterfaceA {
    const SettingsOpsA* ops;
};

struct SettingsInterfaceB;
struct SettingsOpsB {
    Status(VXAPI* QueryInterface)(SettingsInterfaceB*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(SettingsInterfaceB*);                              // 1
    int32_t(VXAPI* Release)(SettingsInterfaceB*);                             // 2
    int32_t(VXAPI* GetRefCount)(SettingsInterfaceB*);                         // 3
    // `renderer` makes the frames a dialog previews (the colour correction
    // effect keeps it for later calls of form A too).
    Bool32(VXAPI* EditSettings)(SettingsInterfaceB*, HostRenderContext*, void* unused,
                                HostServices* renderer, HostWindowSource*);  // 4
};
struct SettingsInterfaceB {
    const SettingsOpsB* ops;
};

// The interface through which the host hands a frame source to an effect
// that asks for one: the four common operations, then SetFrameSource.
struct FrameSourceInterface;
struct FrameSourceOps {
    Status(VXAPI* QueryInterface)(FrameSourceInterface*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(FrameSourceInterface*);                              // 1
    int32_t(VXAPI* Release)(FrameSourceInterface*);                             // 2
    int32_t(VXAPI* GetRefCount)(FrameSourceInterface*);                         // 3
    Status(VXAPI* SetFrameSource)(FrameSourceInterface*, int32_t* out1, int32_t* out2,
                                  HostFrameSource* source);  // 4
};
struct FrameSourceInterface {
    const FrameSourceOps* ops;
};

// Exported entry points.
using RegisterEffectsFn = Status(VXAPI*)(HostRegistrar*, HostEffectDescriptor*);
using CreateEffectFn = EffectInterface*(VXAPI*)(const Guid*);
using RegisterEffectFn = Status(VXCDECL*)(HostRegistrar*, HostEffectDescriptor*, const char16_t*,
                                          const Guid*, int32_t flags, int32_t kind);

// ---------------------------------------------------------------- identifiers

inline constexpr Guid kEffectInterfaceId = GuidFromString("{D0412A67-8488-491F-8210-D43A96922C64}");
inline constexpr Guid kEffectInterfaceId2 = GuidFromString("{AC5709C0-2B88-4650-96D6-671629FC5293}");
inline constexpr Guid kSecondaryInterfaceId = GuidFromString("{295050F4-5A76-460D-BD76-D6BAB46AA444}");
inline constexpr Guid kSettingsInterfaceAId = GuidFromString("{767FDA90-C98B-4F74-A4E9-206F70B59875}");
inline constexpr Guid kSettingsInterfaceBId = GuidFromString("{1EDAEE3B-5DC1-486E-A548-DC911EC1BBEA}");
inline constexpr Guid kDescriptorExtensionId = GuidFromString("{BA0DE517-F4EC-4FD0-A3CE-55CE943059ED}");
inline constexpr Guid kFrameInterfaceId = GuidFromString("{B86BF9A6-9B63-416A-B947-4B5F4218A3C7}");
inline constexpr Guid kOutputFrameServiceId = GuidFromString("{85935AD3-4D52-4B64-B3CB-1E43BFF0B411}");
inline constexpr Guid kParameterId = GuidFromString("{F8F2B80B-CF77-43A9-B794-D5BE34C4EADA}");
inline constexpr Guid kRealValueId = GuidFromString("{C3380FEC-11B8-4604-A816-75ACD597DA6B}");
inline constexpr Guid kRealRangeId = GuidFromString("{A551865C-61B2-4504-8433-E5FC3F962C60}");
inline constexpr Guid kDataValueId = GuidFromString("{660E9A22-D730-45C7-AA6D-0E699A0415A9}");
inline constexpr Guid kChoiceValueId = GuidFromString("{718C24DC-CF25-4DF3-ABA2-742079DBF768}");
inline constexpr Guid kChoiceRangeId = GuidFromString("{D5C7C476-C90B-40EA-8DDE-844ED1AE2C32}");
inline constexpr Guid kBooleanValueId = GuidFromString("{47D33790-2B5D-4A61-805D-FA4552B69124}");
inline constexpr Guid kIntegerValueId = GuidFromString("{06D04175-B3C3-4F45-9B32-7104A8699C25}");
inline constexpr Guid kIntegerRangeId = GuidFromString("{1B913781-C35A-4E04-BC28-14970D096CDD}");
inline constexpr Guid kStringValueId = GuidFromString("{5D1D39BC-AF26-4918-9DE6-22CFB2619A57}");
inline constexpr Guid kImageId = GuidFromString("{6C1FA43A-8FEB-4788-B5FC-920E18569E32}");
// The host asks for frames of the clip with the identifier it uses for images.
inline constexpr Guid kClipFrameId = kImageId;
inline constexpr Guid kFrameSourceInterfaceId =
    GuidFromString("{D769F4DC-7EA5-4051-8B05-F520EC36CDDD}");

// Parameter kinds handed to the parameter factory.
enum ParamKind : int32_t {
    kKindReal = 1,
    kKindString = 2,
    kKindData = 3,
    kKindChoice = 4,
    kKindBoolean = 5,
    kKindInteger = 6,
};

// ---------------------------------------------------------------- slot checks

#define VX_SLOT(Ops, member, n) \
    static_assert(offsetof(Ops, member) == (n) * sizeof(void*), #Ops "::" #member " must be slot " #n)

VX_SLOT(HostUnknownOps, Release, 2);
VX_SLOT(HostEffectDescriptorOps, SetName, 4);
VX_SLOT(HostEffectDescriptorOps, SetGroup, 5);
VX_SLOT(HostEffectDescriptorOps, SetVersion, 7);
VX_SLOT(HostEffectDescriptorOps, SetNumber, 8);
VX_SLOT(HostEffectDescriptorOps, SetClassId, 9);
VX_SLOT(HostEffectDescriptorOps, SetKindAndFlags, 12);
VX_SLOT(HostEffectDescriptorOps, Clear, 14);
VX_SLOT(HostDescriptorExtensionOps, Release, 2);
VX_SLOT(HostDescriptorExtensionOps, SetOptions, 5);
VX_SLOT(HostRegistrarOps, Register, 4);
VX_SLOT(HostFrameOps, Width, 4);
VX_SLOT(HostFrameOps, Height, 5);
VX_SLOT(HostFrameOps, Pitch, 7);
VX_SLOT(HostFrameOps, Bits, 10);
VX_SLOT(HostFrameOps, BitsPerPixel, 12);
VX_SLOT(HostFrameOps, PixelFormat, 13);
VX_SLOT(HostFrameOps, IsBottomUp, 14);
VX_SLOT(HostFrameOps, FieldCode, 17);
VX_SLOT(HostFrameOps, GetInterface, 21);
VX_SLOT(HostFrameOps, CopyInto, 22);
VX_SLOT(HostFrameOps, SetScaleOffset, 23);
VX_SLOT(HostFrameOps, PrepareAlpha, 33);
VX_SLOT(HostFrameOps, Clear, 36);
VX_SLOT(HostFrameOps, MarkAlpha, 38);
VX_SLOT(HostFrameHolderOps, GetFrame, 4);
VX_SLOT(HostRealValueOps, Get, 5);
VX_SLOT(HostRealValueOps, Set, 6);
VX_SLOT(HostIntegerValueOps, Get, 5);
VX_SLOT(HostIntegerValueOps, Set, 6);
VX_SLOT(HostBooleanValueOps, Get, 5);
VX_SLOT(HostBooleanValueOps, Set, 6);
VX_SLOT(HostDataValueOps, Size, 5);
VX_SLOT(HostDataValueOps, Data, 6);
VX_SLOT(HostDataValueOps, Store, 7);
VX_SLOT(HostStringValueOps, Get, 5);
VX_SLOT(HostStringValueOps, Set, 6);
VX_SLOT(HostRealRangeOps, SetStep, 5);
VX_SLOT(HostRealRangeOps, SetSliderMin, 7);
VX_SLOT(HostRealRangeOps, SetSliderMax, 9);
VX_SLOT(HostRealRangeOps, SetMin, 11);
VX_SLOT(HostRealRangeOps, SetMax, 13);
VX_SLOT(HostIntegerRangeOps, SetStep, 5);
VX_SLOT(HostIntegerRangeOps, SetSliderMin, 7);
VX_SLOT(HostIntegerRangeOps, SetSliderMax, 9);
VX_SLOT(HostIntegerRangeOps, SetMin, 11);
VX_SLOT(HostIntegerRangeOps, SetMax, 13);
VX_SLOT(HostChoiceRangeOps, SetCount, 5);
VX_SLOT(HostChoiceRangeOps, SetName, 7);
VX_SLOT(HostChoiceRangeOps, SetNumber, 9);
VX_SLOT(HostChoiceRangeOps, SetFirst, 11);
VX_SLOT(HostChoiceRangeOps, SetSecond, 13);
VX_SLOT(HostParameterOps, QueryInterface, 0);
VX_SLOT(HostParameterOps, Release, 2);
VX_SLOT(HostParameterOps, SetName, 6);
VX_SLOT(HostParameterOps, SetIndex, 8);
VX_SLOT(HostParameterOps, GetValue, 11);
VX_SLOT(HostParameterOps, GetDefaultValue, 12);
VX_SLOT(HostParameterListOps, Add, 6);
VX_SLOT(HostParameterFactoryOps, Create, 6);
VX_SLOT(HostRenderContextOps, GetParameter, 10);
VX_SLOT(HostRenderContextOps, StartTime, 15);
VX_SLOT(HostRenderContextOps, Duration, 16);
VX_SLOT(HostRenderContextOps, CurrentTime, 17);
VX_SLOT(HostServicesOps, CreateOutputFrame, 6);
VX_SLOT(HostServicesOps, ShareInputFrame, 7);
VX_SLOT(HostServicesOps, ClipFrame, 10);
VX_SLOT(HostServicesOps, ImageOfFrame, 11);
VX_SLOT(HostServicesOps, ImageOfRenderedFrame, 12);
VX_SLOT(HostServicesOps, CreateFrame, 13);
VX_SLOT(HostFrameSourceOps, Release, 2);
VX_SLOT(HostFrameSourceOps, LocateFrame, 4);
VX_SLOT(HostImageOps, Width, 4);
VX_SLOT(HostImageOps, Height, 5);
VX_SLOT(HostImageOps, Bits, 10);
VX_SLOT(HostImageOps, IsBottomUp, 14);
VX_SLOT(HostImageOps, GetBitmapInfoHeader, 20);
VX_SLOT(HostWindowSourceOps, ParentWindow, 4);
VX_SLOT(HostWindowSourceOps, RenderInput, 5);
VX_SLOT(HostFieldInformationOps, FieldIndicator, 10);
VX_SLOT(HostFieldInformationOps, Parity, 11);
VX_SLOT(HostFieldInformationOps, Value12, 12);
VX_SLOT(HostFieldInformationOps, Number, 14);
VX_SLOT(EffectOps, GetRefCount, 3);
VX_SLOT(EffectOps, Reset, 4);
VX_SLOT(EffectOps, DefineParameters, 5);
VX_SLOT(EffectOps, Prepare, 6);
VX_SLOT(EffectOps, Process, 7);
VX_SLOT(EffectOps, ExtraStep, 8);
VX_SLOT(SettingsOpsA, GetRefCount, 3);
VX_SLOT(SettingsOpsA, EditSettings, 4);
VX_SLOT(SettingsOpsB, GetRefCount, 3);
VX_SLOT(SettingsOpsB, EditSettings, 4);
VX_SLOT(SecondaryOps, Answer4, 4);
VX_SLOT(SecondaryOps, Answer7, 7);
VX_SLOT(FrameSourceOps, GetRefCount, 3);
VX_SLOT(FrameSourceOps, SetFrameSource, 4);

}  // namespace vx
