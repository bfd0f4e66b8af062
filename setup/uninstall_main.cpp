// The uninstaller, shipped as "setup.dat" and installed as "Uninstall.exe"
// beside the uninstall log.  /SILENT: no questions, failures on standard
// error and in the exit status (0 removed, 1 something could not be removed,
// 2 nothing done).
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/install.h"
#include "setup/engine/text.h"
#include "setup/engine/uninstaller.h"

using namespace vx;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == setup::kFinishRemovalSwitch)
        return setup::FinishRemoval(std::atoi(args[1].c_str()), args[2], args[3]);
    bool silent = false;
    for (const std::string& a : args) {
        if (setup::EqualNoCase(a, "/SILENT")) {
            silent = true;
        } else {
            std::cerr << "uninstall: unknown argument " << a << " (use /SILENT)\n";
            return 2;
        }
    }

    setup::Uninstaller uninstaller(platform::ProgramFolder());
    if (!uninstaller.LogExists()) {
        const std::string message = "The uninstall log Uninstall.ini is missing.";
        if (silent)
            std::cerr << "uninstall: " << message << '\n';
        else
            platform::ShowError(message, "Uninstall");
        return 2;
    }
    const std::string caption = uninstaller.Text(1);
    if (!silent && !platform::AskYesNo(uninstaller.Text(2), caption)) return 2;

    // The log goes with the rest: its texts are read first.
    const std::string done = uninstaller.Text(3), partly = uninstaller.Text(4);
    setup::UninstallResult result = uninstaller.Run();
    if (!uninstaller.RemoveProgramAndFolder(platform::ProgramPath()))
        result.failures.push_back("cannot remove " + platform::ProgramPath());
    if (silent) {
        for (const std::string& f : result.failures)
            std::cerr << "uninstall: " << f << '\n';
        for (const std::string& k : result.kept)
            std::cerr << "uninstall: kept " << k << '\n';
    } else {
        platform::ShowInfo(result.failures.empty() && result.kept.empty() ? done : partly, caption);
    }
    return result.failures.empty() ? 0 : 1;
}
