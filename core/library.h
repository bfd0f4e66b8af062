// The library entry, the effect table, registration and the class factory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/host_abi.h"

namespace vx {

inline constexpr size_t kDescriptorFolderSize = 364;

// Prefix placed before an identifier to form a descriptor path.
extern char DescriptorFolder[kDescriptorFolderSize];
// The library's own module (dialog templates are loaded from it).
extern void* ModuleHandle;

// One row of the effect table, in registration order.
struct EffectEntry {
    const char* identifier;      // descriptor file stem
    const char16_t* displayName;
    Guid classId;
    int32_t flags;
    EffectInterface* (*create)();  // null while the effect is not part of the build
};

std::span<const EffectEntry> EffectTable();

// Called by the platform's library entry when the library is loaded.
void AttachLibrary(void* module);

// The exported entry points, callable directly by code linked with the library.
Status VXAPI RegisterEffects(HostRegistrar* registrar, HostEffectDescriptor* descriptor);
EffectInterface* VXAPI CreateEffectByClass(const Guid* classId);
Status VXCDECL RegisterEffect(HostRegistrar* registrar, HostEffectDescriptor* descriptor,
                              const char16_t* displayName, const Guid* classId, int32_t flags,
                              int32_t kind);

}  // namespace vx
