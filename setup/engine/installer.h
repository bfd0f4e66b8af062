// The install engine: reads the script "setup.ei1" and a language file, and
// performs the installation they describe (tree copy, single files, INI and
// registry values, shortcuts, programs, the uninstaller and its log).  The
// wizard and the unattended front end both drive it.
#pragma once

#include <string>
#include <vector>

#include "platform/install.h"
#include "setup/engine/macros.h"

namespace vx::setup {

// The script's section "setup1".
struct SetupScript {
    std::string appName, windowName, linkName, site;
    int onlyNt = 0;
    std::string destFolder, sourceFolder, freeSpace;  // the folders expanded
    bool editDest = true, createUninst = false, overwrite = false, reboot = false,
         regUninst = false;
    int othCount = 0, iniCount = 0, regCount = 0, lnkCount = 0, exeCount = 0;
};

// What the installation shows while it runs, and the failures it meets.
class InstallObserver {
  public:
    virtual ~InstallObserver() = default;
    virtual void Status(const std::string& text) {}
    virtual void Range(int maximum) {}
    virtual void Position(int position) {}
    virtual void ProcessMessages() {}  // after each status change and file
    virtual void ProgramStarted() {}   // the window takes the focus back
    virtual void Failed(const std::string& message) {}
};

// The root of a registry root name (upper-cased; unknown names: current user).
platform::InstallRoot RootByName(const std::string& name);

// Registry key of the system's uninstall entry for a product name.
std::string UninstallKeyName(const std::string& appName);
constexpr const char* kUninstallKeyParent =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class Installer {
  public:
    // folder: the installer folder, with its trailing separator.
    explicit Installer(std::string folder);

    // Names of the language files, sorted without regard to case.
    std::vector<std::string> Languages() const;
    bool ScriptExists() const;
    bool LanguageExists(const std::string& language) const;

    // Reads "setup1" and the language's texts; missing files read as empty.
    void Load(const std::string& language);
    const SetupScript& script() const { return script_; }
    // Language text n (1 ... 36), with "%s" replaced by the argument.
    std::string Text(int n) const;
    std::string Text(int n, const std::string& argument) const;
    // "OnlyNT" refuses this system.
    bool Refused() const;

    std::string Expand(const std::string& text) const { return macros_.Expand(text); }
    // The folder that "%Dest%" stands for.
    void SetDestination(const std::string& folder) { macros_.SetDestination(folder); }
    const std::string& destination() const { return macros_.destination(); }
    // The destination field's text after the folder dialog chose `chosen`.
    std::string BrowsedDestination(const std::string& chosen) const;

    // Steps 1 to 11 of the installation, with the destination as typed.
    void Install(const std::string& destination, InstallObserver& observer);
    // Step 13: the closing sections of the uninstall log.
    void FinishLog(InstallObserver& observer);

    const std::string& logPath() const { return logPath_; }

  private:
    std::string ScriptPath() const { return folder_ + "setup.ei1"; }
    std::string ScriptString(const std::string& section, const std::string& key) const;
    int ScriptInt(const std::string& section, const std::string& key, int fallback) const;
    void Log(const std::string& section, const std::string& key, const std::string& value);
    void LogNumber(const std::string& section, const std::string& key, int value);

    void CreateFolders(const std::string& path) const;
    int CountFiles(const std::string& folder) const;
    void CopyTree(const std::string& folder, InstallObserver& observer);
    void CopySingleFiles(InstallObserver& observer);
    void WriteIniEntries(InstallObserver& observer);
    void WriteRegistryValues(InstallObserver& observer);
    void CreateShortcuts(InstallObserver& observer);
    void StartPrograms(InstallObserver& observer);
    void InstallUninstaller(InstallObserver& observer);

    std::string folder_;
    std::string language_;
    MacroExpander macros_;
    SetupScript script_;
    std::vector<std::string> texts_;  // 1 ... 36
    std::string sourceFolder_;        // without a trailing separator

    // Counters of one installation.
    int listedFiles_ = 0, copiedFiles_ = 0, folders_ = 0, registered_ = 0;
    std::string logPath_;  // empty: no log
    bool logFailed_ = false;
};

}  // namespace vx::setup
