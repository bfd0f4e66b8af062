// The Linux build of setup has no windows: it installs with /SILENT only.
#include <iostream>

#include "setup/wizard.h"

namespace vx::setup {

int RunWizard(const std::string& installerFolder, const SetupOptions& options) {
    std::cerr << "usage: setup /SILENT [/LANG=name] [/DIR=folder]\n";
    return kNotInstalled;
}

}  // namespace vx::setup
