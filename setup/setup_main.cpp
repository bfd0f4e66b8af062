// setup: the wizard, or with /SILENT the installation without windows.
#include <iostream>
#include <string>
#include <vector>

#include "platform/install.h"
#include "setup/engine/unattended.h"
#include "setup/wizard.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const vx::setup::SetupOptions options = vx::setup::ParseSetupOptions(args);
    if (options.silent)
        return vx::setup::RunUnattended(vx::platform::ProgramFolder(), options, std::cerr);
    return vx::setup::RunWizard(vx::platform::ProgramFolder(), options);
}
