// The uninstaller's engine: undoes what an installation recorded in the
// uninstall log "Uninstall.ini" that lies beside the uninstaller.
//
// Language texts of the log's section "language" as this uninstaller uses
// them ("%s": the product name): 1 the caption, 2 the question, 3 the message
// when it is done, 4 the message when some items were kept.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vx::setup {

struct UninstallResult {
    bool cancelled = false;
    std::vector<std::string> failures;  // items that could not be removed
    std::vector<std::string> kept;      // folders kept because they are not empty
};

class Uninstaller {
  public:
    // folder: where "Uninstall.ini" and the uninstaller lie, with a trailing
    // separator.
    explicit Uninstaller(std::string folder);

    bool LogExists() const;
    std::string AppName() const;
    std::string Text(int n) const;  // with "%s" replaced by the product name

    // Runs the "exe" commands, unregisters and removes the listed files,
    // removes the listed folders deepest first when they are empty, the
    // registry values and the uninstall entry, then the log.  The uninstaller
    // program and the folder itself are left to RemoveProgramAndFolder.
    UninstallResult Run();

    // Removes the program file and then the folder when it is empty.  A
    // program that cannot delete itself while it runs leaves this to a copy of
    // itself in the temporary folder, started with the arguments that
    // FinishRemoval takes.
    bool RemoveProgramAndFolder(const std::string& program);

  private:
    std::string LogString(const std::string& section, const std::string& key) const;
    int LogInt(const std::string& section, const std::string& key) const;
    std::string folder_;
    std::string log_;
};

// The switch of the copy that finishes the removal, and its work: waits for
// the process to end, deletes its program, removes the folder when empty.
constexpr const char* kFinishRemovalSwitch = "/FINISH-REMOVAL";
int FinishRemoval(int processId, const std::string& program, const std::string& folder);

}  // namespace vx::setup
