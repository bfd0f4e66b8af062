// The effect library linked into the same program (native tests and tools).
#include "core/library.h"
#include "host/standin_host.h"

namespace vx::host {

EffectLibrary EffectLibrary::Linked() {
    EffectLibrary lib;
    lib.registerEffects_ = vx::RegisterEffects;
    lib.createEffect_ = vx::CreateEffectByClass;
    lib.registerEffect_ = vx::RegisterEffect;
    return lib;
}

}  // namespace vx::host
