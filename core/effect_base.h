// The common part of every effect object of the library.
//
// The host sees an effect through its effect interface (the object's first
// word), asks it for the secondary interface, and counts references on it.
// An effect class derives from EffectBase and supplies
//     static const ParamTable kParams;          // what DefineParameters declares
//     Status Process(const RenderArgs&);        // renders one frame
// and may supply its own DefineParameters, Reset, Prepare or QueryInterface,
// which the operation tables built by CreateEffect<T>() then call instead of
// the shared ones.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "core/host_abi.h"
#include "core/params.h"

namespace vx {

struct Rgba {
    uint8_t red, green, blue, alpha;
};

struct RefCounter;
struct RefCounterOps {
    int32_t(VXAPI* Increment)(RefCounter*);             // 0
    int32_t(VXAPI* Decrement)(RefCounter*);             // 1
    Bool32(VXAPI* IsShared)(RefCounter*);               // 2
    void(VXAPI* Destroy)(RefCounter*, uint32_t flags);  // 3: bit 0 frees the memory
};
struct RefCounter {
    const RefCounterOps* ops;
};

// The five arguments of Prepare, Process and ExtraStep.
struct RenderArgs {
    HostFrameHolder* output;
    HostInputList* inputs;
    HostRenderContext* context;
    void* unused;
    HostServices* services;

    HostFrame* OutputFrame() const { return output->ops->GetFrame(output); }
    HostFrame* InputFrame(int i = 0) const {
        HostFrameHolder* h = inputs->holders[i];
        return h->ops->GetFrame(h);
    }
    // The output frame and the first input frame are there.
    bool HasFrames() const {
        return output && inputs && inputs->holders && inputs->holders[0] && OutputFrame() &&
               InputFrame(0);
    }
};

// What Prepare keeps of the input frame.
struct FrameGeometry {
    int32_t height;
    int32_t width;
    int32_t bytesPerPixel;
};

// The prepare step: the geometry of input frame 0, then the output frame from
// the host's services, sharing the input frame when `sharesInput`.  Without an
// input frame it answers kNoFrame and leaves *geometry as it was.
Status PrepareOutputFrame(const RenderArgs& args, bool sharesInput, FrameGeometry* geometry);

struct EffectBase {
    EffectInterface effect;
    RefCounter refCounter;
    std::atomic<int32_t> refCount{0};
    SecondaryInterface secondary;
    Rgba outsideColor{0, 0, 0, 0};
    int32_t frameHeight = 0;
    int32_t frameWidth = 0;
    uint16_t bytesPerPixel = 0;
    uint8_t sharesInputFrame = 0;

    // Shared operations; classes may hide them with their own.
    Status QueryInterface(const Guid& iid, void** out);
    void Reset();
    Status Prepare(const RenderArgs& args);
    int32_t AddRef() { return refCounter.ops->Increment(&refCounter); }
    int32_t Release() { return refCounter.ops->Decrement(&refCounter); }

    static EffectBase* FromEffect(EffectInterface* i) { return reinterpret_cast<EffectBase*>(i); }
    static EffectBase* FromRefCounter(RefCounter* r) {
        return reinterpret_cast<EffectBase*>(reinterpret_cast<char*>(r) -
                                             offsetof(EffectBase, refCounter));
    }
    static EffectBase* FromSecondary(SecondaryInterface* s) {
        return reinterpret_cast<EffectBase*>(reinterpret_cast<char*>(s) -
                                             offsetof(EffectBase, secondary));
    }
};
static_assert(std::is_standard_layout_v<EffectBase>);
static_assert(offsetof(EffectBase, effect) == 0);
static_assert(offsetof(EffectBase, refCounter) == sizeof(void*));
static_assert(sizeof(std::atomic<int32_t>) == 4);

extern const SecondaryOps kSecondaryOps;
// Its four fixed answers, for objects with a layout of their own.
Bool32 VXAPI SecondaryAnswer4(SecondaryInterface*, const void*);
int32_t VXAPI SecondaryAnswer5(SecondaryInterface*, const void*);
double VXAPI SecondaryAnswer6(SecondaryInterface*, const void*);
int32_t VXAPI SecondaryAnswer7(SecondaryInterface*, const void*);

// Reference counting shared by every class: the destroy step is the class's own.
int32_t VXAPI RefIncrement(RefCounter* r);
int32_t VXAPI RefDecrement(RefCounter* r);
Bool32 VXAPI RefIsShared(RefCounter* r);

namespace detail {

template <class T>
T* Self(EffectInterface* i) {
    return static_cast<T*>(EffectBase::FromEffect(i));
}

template <class T>
struct EffectTables {
    static Status VXAPI QueryInterface(EffectInterface* i, const Guid* iid, void** out) {
        return Self<T>(i)->QueryInterface(*iid, out);
    }
    static int32_t VXAPI AddRef(EffectInterface* i) { return Self<T>(i)->AddRef(); }
    static int32_t VXAPI Release(EffectInterface* i) { return Self<T>(i)->Release(); }
    static int32_t VXAPI GetRefCount(EffectInterface* i) { return Self<T>(i)->refCount.load(); }
    static void VXAPI Reset(EffectInterface* i) { Self<T>(i)->Reset(); }
    static Status VXAPI DefineParameters(EffectInterface* i, HostParameterList* list,
                                         HostParameterFactory* factory) {
        T* self = Self<T>(i);
        if constexpr (requires { self->DefineParameters(list, factory); })
            return self->DefineParameters(list, factory);
        else
            return DefineParameterTable(list, factory, T::kParams);
    }
    static Status VXAPI Prepare(EffectInterface* i, HostFrameHolder* o, HostInputList* in,
                                HostRenderContext* c, void* u, HostServices* s) {
        return Self<T>(i)->Prepare(RenderArgs{o, in, c, u, s});
    }
    static Status VXAPI Process(EffectInterface* i, HostFrameHolder* o, HostInputList* in,
                                HostRenderContext* c, void* u, HostServices* s) {
        const RenderArgs args{o, in, c, u, s};
        // A holder that has lost its frame leaves nothing to render.
        if (!args.HasFrames()) return kOk;
        return Self<T>(i)->Process(args);
    }
    static Status VXAPI ExtraStep(EffectInterface*, HostFrameHolder*, HostInputList*,
                                  HostRenderContext*, void*, HostServices*) {
        return kOk;
    }
    static void VXAPI Destroy(RefCounter* r, uint32_t flags) {
        T* self = static_cast<T*>(EffectBase::FromRefCounter(r));
        if (flags & 1)
            delete self;
        else
            self->~T();
    }

    static constexpr EffectOps kEffectOps = {QueryInterface,   AddRef,  Release, GetRefCount, Reset,
                                             DefineParameters, Prepare, Process, ExtraStep};
    static constexpr RefCounterOps kRefCounterOps = {RefIncrement, RefDecrement, RefIsShared,
                                                     Destroy};
};

}  // namespace detail

// Allocates a T with a reference count of 0 and answers its effect interface.
template <class T>
EffectInterface* CreateEffect() {
    T* self = new (std::nothrow) T();
    if (!self) return nullptr;
    self->effect.ops = &detail::EffectTables<T>::kEffectOps;
    self->refCounter.ops = &detail::EffectTables<T>::kRefCounterOps;
    self->secondary.ops = &kSecondaryOps;
    return &self->effect;
}

}  // namespace vx
