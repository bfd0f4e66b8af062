#include "core/effect_base.h"

namespace vx {

int32_t VXAPI RefIncrement(RefCounter* r) {
    return EffectBase::FromRefCounter(r)->refCount.fetch_add(1) + 1;
}

int32_t VXAPI RefDecrement(RefCounter* r) {
    int32_t left = EffectBase::FromRefCounter(r)->refCount.fetch_sub(1) - 1;
    if (left == 0) r->ops->Destroy(r, 1);
    return left;
}

Bool32 VXAPI RefIsShared(RefCounter* r) {
    return EffectBase::FromRefCounter(r)->refCount.load() > 1;
}

Status EffectBase::QueryInterface(const Guid& iid, void** out) {
    if (!out) return kNoInterface;
    if (SameGuid(iid, kEffectInterfaceId) || SameGuid(iid, kEffectInterfaceId2)) {
        *out = &effect;
    } else if (SameGuid(iid, kSecondaryInterfaceId)) {
        *out = &secondary;
    } else {
        *out = nullptr;
        return kNoInterface;
    }
    AddRef();
    return kOk;
}

void EffectBase::Reset() {
    frameHeight = 0;
    frameWidth = 0;
    bytesPerPixel = 0;
}

Status PrepareOutputFrame(const RenderArgs& args, bool sharesInput, FrameGeometry* geometry) {
    HostFrameHolder* inputHolder = args.inputs->holders[0];
    HostFrame* input = inputHolder->ops->GetFrame(inputHolder);
    if (!input) return kNoFrame;

    void* obj = nullptr;
    input->ops->GetInterface(input, &kFrameInterfaceId, &obj);
    auto* frameInterface = static_cast<HostUnknown*>(obj);

    geometry->height = input->ops->Height(input);
    geometry->width = input->ops->Width(input);
    geometry->bytesPerPixel = input->ops->BitsPerPixel(input) >> 3;

    Status st;
    if (sharesInput)
        st = args.services->ops->ShareInputFrame(args.services, &kOutputFrameServiceId, args.output,
                                                 inputHolder);
    else
        st = args.services->ops->CreateOutputFrame(args.services, &kOutputFrameServiceId,
                                                   args.output, frameInterface, 512, 64);
    if (frameInterface) frameInterface->ops->Release(frameInterface);
    return st;
}

Status EffectBase::Prepare(const RenderArgs& args) {
    FrameGeometry g{frameHeight, frameWidth, bytesPerPixel};
    const Status st = PrepareOutputFrame(args, sharesInputFrame != 0, &g);
    frameHeight = g.height;
    frameWidth = g.width;
    bytesPerPixel = uint16_t(g.bytesPerPixel);
    return st;
}

namespace {

EffectBase* Owner(SecondaryInterface* s) {
    return EffectBase::FromSecondary(s);
}

Status VXAPI SecondaryQueryInterface(SecondaryInterface* s, const Guid* iid, void** out) {
    return Owner(s)->effect.ops->QueryInterface(&Owner(s)->effect, iid, out);
}
int32_t VXAPI SecondaryAddRef(SecondaryInterface* s) {
    return Owner(s)->AddRef();
}
int32_t VXAPI SecondaryRelease(SecondaryInterface* s) {
    return Owner(s)->Release();
}
int32_t VXAPI SecondaryGetRefCount(SecondaryInterface* s) {
    return Owner(s)->refCount.load();
}

}  // namespace

Bool32 VXAPI SecondaryAnswer4(SecondaryInterface*, const void*) {
    return 1;
}
int32_t VXAPI SecondaryAnswer5(SecondaryInterface*, const void*) {
    return 0;
}
double VXAPI SecondaryAnswer6(SecondaryInterface*, const void*) {
    return 0.0;
}
int32_t VXAPI SecondaryAnswer7(SecondaryInterface*, const void*) {
    return 0;
}

const SecondaryOps kSecondaryOps = {SecondaryQueryInterface, SecondaryAddRef,  SecondaryRelease,
                                    SecondaryGetRefCount,    SecondaryAnswer4, SecondaryAnswer5,
                                    SecondaryAnswer6,        SecondaryAnswer7};

}  // namespace vx
