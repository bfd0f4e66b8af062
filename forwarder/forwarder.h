// The host-facing interfaces a forwarding effect object carries besides the
// effect interface and the secondary interface of core/host_abi.h.
#pragma once

#include <cstdint>

#include "core/host_abi.h"

namespace vx::forwarder {

// Settings interface A: operation 4 runs the engine's settings dialog.
struct SettingsInterfaceA;
struct SettingsOpsA {
    Status(VXAPI* QueryInterface)(SettingsInterfaceA*, const Guid*, void**);  // 0
    int32_t(VXAPI* AddRef)(SettingsInterfaceA*);                              // 1
    int32_t(VXAPI* Release)(SettingsInterfaceA*);                             // 2
    int32_t(VXAPI* GetRefCount)(SettingsInterfaceA*);                         // 3
    // True when the user accepted new settings and they were stored.
    Bool32(VXAPI* EditSettings)(SettingsInterfaceA*, HostRenderContext*, HostServices*,
                                HostWindowSource*);  // 4
};
struct SettingsInterfaceA {
    const SettingsOpsA* ops;
};

// Settings interface B: answered, but its operation 4 never edits anything.
struct SettingsInterfaceB;
struct SettingsOpsB {
    Status(VXAPI* QueryInterface)(SettingsInterfaceB*, const Guid*, void**);       // 0
    int32_t(VXAPI* AddRef)(SettingsInterfaceB*);                                   // 1
    int32_t(VXAPI* Release)(SettingsInterfaceB*);                                  // 2
    int32_t(VXAPI* GetRefCount)(SettingsInterfaceB*);                              // 3
    Bool32(VXAPI* EditSettings)(SettingsInterfaceB*, void*, void*, void*, void*);  // 4
};
struct SettingsInterfaceB {
    const SettingsOpsB* ops;
};

VX_SLOT(SettingsOpsA, EditSettings, 4);
VX_SLOT(SettingsOpsB, EditSettings, 4);

inline constexpr Guid kSettingsInterfaceAId =
    GuidFromString("{767FDA90-C98B-4F74-A4E9-206F70B59875}");
inline constexpr Guid kSettingsInterfaceBId =
    GuidFromString("{1EDAEE3B-5DC1-486E-A548-DC911EC1BBEA}");
// The one identifier the secondary interface's operation 4 answers true for.
inline constexpr Guid kAcceptedFeatureId = GuidFromString("{816398F2-E6E3-4A06-9331-0CC13195257F}");

// Called by the platform's library entry when the library is loaded.
void AttachModule(void* module);

}  // namespace vx::forwarder
