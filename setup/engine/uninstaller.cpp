#include "setup/engine/uninstaller.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/install.h"
#include "setup/engine/installer.h"
#include "setup/engine/text.h"

namespace vx::setup {

namespace {

int Depth(const std::string& path) {
    return int(std::count_if(path.begin(), path.end(), IsSeparator));
}

// A folder strictly inside another (the other with its trailing separator).
bool Inside(const std::string& path, const std::string& folder) {
    if (path.size() <= folder.size()) return false;
    std::string a = Upper(path.substr(0, folder.size())), b = Upper(folder);
    std::replace(a.begin(), a.end(), '/', '\\');
    std::replace(b.begin(), b.end(), '/', '\\');
    return a == b;
}

}  // namespace

Uninstaller::Uninstaller(std::string folder)
    : folder_(std::move(folder)), log_(folder_ + "Uninstall.ini") {}

bool Uninstaller::LogExists() const {
    return platform::PathExists(log_);
}

std::string Uninstaller::LogString(const std::string& section, const std::string& key) const {
    return platform::ReadIniString(log_, section, key, "");
}

int Uninstaller::LogInt(const std::string& section, const std::string& key) const {
    return platform::ReadIniInt(log_, section, key, 0);
}

std::string Uninstaller::AppName() const {
    return LogString("uninstall", "AppName");
}

std::string Uninstaller::Text(int n) const {
    return WithLineBreaks(WithArgument(LogString("language", std::to_string(n)), AppName()));
}

UninstallResult Uninstaller::Run() {
    UninstallResult result;
    auto fail = [&](const std::string& what) { result.failures.push_back(what); };

    // The commands first: they may need the installed files.
    for (int k = 1, n = LogInt("exe", "Count"); k <= n; ++k) {
        const std::string command = LogString("exe", "exe" + std::to_string(k));
        if (command.empty()) continue;
        int exitCode = 0;
        if (!platform::StartProcess(command, platform::ShowMode::kHidden, true, &exitCode))
            fail("cannot run " + command);
    }
    for (int k = 1, n = LogInt("Ocx", "Count"); k <= n; ++k) {
        const std::string file = LogString("Ocx", std::to_string(k));
        if (file.empty() || !platform::PathExists(file)) continue;
        platform::SetCurrentFolder(ParentFolder(file));
        int exitCode = 0;
        platform::StartProcess("regsvr32.exe /s /u \"" + file + "\"", platform::ShowMode::kHidden,
                               true, &exitCode);
    }
    platform::SetCurrentFolder(folder_);

    // Only the listed files go: whatever the user added stays.
    std::vector<std::string> parents;
    for (int k = 1, n = LogInt("files", "Count"); k <= n; ++k) {
        const std::string file = LogString("files", std::to_string(k));
        if (file.empty() || !platform::PathExists(file) || platform::FolderExists(file)) continue;
        if (!platform::RemoveOneFile(file)) fail("cannot remove " + file);
        parents.push_back(ParentFolder(file));
    }

    // Deepest first, later ones first at the same depth; a folder that still
    // holds something is kept.
    std::vector<std::string> folders;
    for (int k = 1, n = LogInt("folders", "Count"); k <= n; ++k) {
        std::string f = LogString("folders", std::to_string(k));
        if (!f.empty()) folders.push_back(f);
    }
    std::reverse(folders.begin(), folders.end());
    std::stable_sort(
        folders.begin(), folders.end(),
        [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
    for (const std::string& f : folders)
        if (platform::FolderExists(f) && !platform::RemoveEmptyFolder(f)) result.kept.push_back(f);
    // Folders that the installation made for single files and shortcuts are
    // not listed: those inside the installation folder go when they are empty.
    std::stable_sort(parents.begin(), parents.end(),
                     [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
    for (const std::string& p : parents)
        for (std::string f = p; Inside(f, folder_); f = ParentFolder(f))
            if (!platform::RemoveEmptyFolder(f)) break;

    for (int i = 1, n = LogInt("uninstall", "RegCount"); i <= n; ++i) {
        const std::string section = "Reg" + std::to_string(i);
        const std::string key = LogString(section, "Key"), name = LogString(section, "Value");
        if (key.empty()) continue;
        const platform::InstallRoot root = RootByName(LogString(section, "Root"));
        if (platform::RegistryValueExists(root, key, name) &&
            !platform::DeleteRegistryValue(root, key, name))
            fail("cannot remove the registry value " + key + "\\" + name);
        platform::DeleteRegistryKeyIfEmpty(root, key);
    }

    const std::string entry = kUninstallKeyParent + UninstallKeyName(AppName());
    for (const char* name :
         {"DisplayName", "DisplayIcon", "Publisher", "UninstallString", "URLInfoAbout"})
        platform::DeleteRegistryValue(platform::InstallRoot::kLocalMachine, entry, name);
    platform::DeleteRegistryKeyIfEmpty(platform::InstallRoot::kLocalMachine, entry);

    if (!platform::RemoveOneFile(log_)) fail("cannot remove " + log_);
    return result;
}

bool Uninstaller::RemoveProgramAndFolder(const std::string& program) {
    const std::string folder = WithoutTrailingSeparator(folder_);
    // A folder that is a process's current folder cannot be removed.
    platform::SetCurrentFolder(platform::TempFolder());
    if (platform::RemoveOneFile(program)) {
        platform::RemoveEmptyFolder(folder);
        return true;
    }
    // The system keeps a running program's file: a copy in the temporary
    // folder deletes it once this process has ended.
    const std::string helper = platform::TempFolder() + "vx-uninstall-" +
                               std::to_string(platform::CurrentProcessId()) + ".exe";
    if (!platform::CopyOneFile(program, helper, false)) return false;
    const std::string command = "\"" + helper + "\" " + kFinishRemovalSwitch + " " +
                                std::to_string(platform::CurrentProcessId()) + " \"" + program +
                                "\" \"" + folder + "\"";
    return platform::StartProcess(command, platform::ShowMode::kHidden, false, nullptr);
}

int FinishRemoval(int processId, const std::string& program, const std::string& folder) {
    platform::SetCurrentFolder(platform::TempFolder());
    platform::WaitForProcessEnd(processId, 60000);
    bool removed = false;
    for (int attempt = 0; attempt < 100 && !removed; ++attempt) {
        removed = platform::RemoveOneFile(program) || !platform::PathExists(program);
        if (!removed) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    platform::RemoveEmptyFolder(folder);
    platform::RemoveFileAtRestart(platform::ProgramPath());
    return removed ? 0 : 1;
}

}  // namespace vx::setup
