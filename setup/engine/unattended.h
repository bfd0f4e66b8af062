// The command line of setup and the installation without the wizard:
//   /SILENT        install without windows
//   /LANG=name     the language (a file name.eil beside the program)
//   /DIR=folder    the destination folder instead of the script's
// Exit status: 0 installed, 1 an action failed, 2 nothing installed (bad
// arguments, a missing script or language file, a system the script refuses).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vx::setup {

struct SetupOptions {
    bool silent = false;
    bool hasLanguage = false, hasDestination = false;
    std::string language, destination;
    std::vector<std::string> unknown;
};

enum ExitStatus { kInstalled = 0, kActionFailed = 1, kNotInstalled = 2 };

SetupOptions ParseSetupOptions(const std::vector<std::string>& args);

// installerFolder has a trailing separator.
int RunUnattended(const std::string& installerFolder, const SetupOptions& options,
                  std::ostream& messages);

}  // namespace vx::setup
