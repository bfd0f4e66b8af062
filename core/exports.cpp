// The three entry points the host looks up by name.  Windows builds give them
// their decorated names ("_registerEffects@8", "_createEffect@4") in the
// module-definition file; "registerEffect" keeps its plain name everywhere.
#include "core/library.h"

extern "C" {

VXEXPORT vx::Status VXAPI registerEffects(vx::HostRegistrar* registrar,
                                          vx::HostEffectDescriptor* descriptor) {
    return vx::RegisterEffects(registrar, descriptor);
}

VXEXPORT vx::EffectInterface* VXAPI createEffect(const vx::Guid* classId) {
    return vx::CreateEffectByClass(classId);
}

VXEXPORT vx::Status VXCDECL registerEffect(vx::HostRegistrar* registrar,
                                           vx::HostEffectDescriptor* descriptor,
                                           const char16_t* displayName, const vx::Guid* classId,
                                           int32_t flags, int32_t kind) {
    return vx::RegisterEffect(registrar, descriptor, displayName, classId, flags, kind);
}
}
