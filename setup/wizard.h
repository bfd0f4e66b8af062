// The interactive installer: the language window and the wizard pages.
// Without arguments it behaves as the installer always has; /LANG= and /DIR=
// preselect the language and the destination.
#pragma once

#include <string>

#include "setup/engine/unattended.h"

namespace vx::setup {

int RunWizard(const std::string& installerFolder, const SetupOptions& options);

}  // namespace vx::setup
