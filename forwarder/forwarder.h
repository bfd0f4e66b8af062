// The host-facing identifiers a forwarding effect object uses besides the
// tables of core/host_abi.h.
#pragma once

#include <cstdint>

#include "core/host_abi.h"

namespace vx::forwarder {

// The settings interfaces are the host's (core/host_abi.h); operation 4 of A
// runs the engine's settings dialog, B's never edits anything.
using vx::kSettingsInterfaceAId;
using vx::kSettingsInterfaceBId;
using vx::SettingsInterfaceA;
using vx::SettingsInterfaceB;
using vx::SettingsOpsA;
using vx::SettingsOpsB;

// The one identifier the secondary interface's operation 4 answers true for.
inline constexpr Guid kAcceptedFeatureId = GuidFromString("{816398F2-E6E3-4A06-9331-0CC13195257F}");

// Called by the platform's library entry when the library is loaded.
void AttachModule(void* module);

}  // namespace vx::forwarder
