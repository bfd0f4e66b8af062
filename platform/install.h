// What the installer and the uninstaller need from the operating system.
//
// All text is 8-bit in the system code page (UTF-8 on Linux).  Paths use '\'
// as separator; the Linux side reads it as '/'.
//
// platform/win32 calls the system.  platform/posix stands in on Linux:
//  - INI files are read and written by our own reader (profile_file.h), which
//    follows the rules of the system's private-profile functions;
//  - registry values go to the registry text file named by VEX_REGISTRY;
//  - special folders lie under the folder named by VEX_SHELL_FOLDERS, one
//    subfolder per folder ("Program Files", "Desktop", ...); without the
//    variable the system has none;
//  - a shortcut is a small INI file with its target, arguments, folder, icon;
//  - programs run through /bin/sh; "opening through the shell" only checks
//    that the file exists.
#pragma once

#include <string>
#include <vector>

namespace vx::platform {

// ---------------------------------------------------------------- INI files
// At most 2047 characters, as with the system's 2048-character buffer.
std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& fallback);
// The value's leading integer (decimal, or with a 0x/0o/0b prefix); the
// fallback when the key is missing or empty.
int ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
               int fallback);
// False when the file cannot be written (for instance its folder is missing).
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);

// ---------------------------------------------------------------- registry
enum class InstallRoot {
    kClassesRoot,
    kCurrentUser,
    kLocalMachine,
    kUsers,
    kPerformanceData,
    kCurrentConfig,
    kDynData
};
enum class RegistryType { kString, kDword, kBinary };

// Opens or creates the key and writes the value: a string with its
// terminating zero, a 32-bit number, or the bytes as given.
bool WriteRegistryValue(InstallRoot root, const std::string& key, const std::string& name,
                        RegistryType type, const std::string& bytes, unsigned dword);
bool RegistryValueExists(InstallRoot root, const std::string& key, const std::string& name);
bool DeleteRegistryValue(InstallRoot root, const std::string& key, const std::string& name);
// Removes the key only when it holds no values and no subkeys.
bool DeleteRegistryKeyIfEmpty(InstallRoot root, const std::string& key);

// ---------------------------------------------------------------- folders and files
// The file-system path of a shell special folder (its numeric identifier),
// without a trailing backslash; empty when the system has none.
std::string ShellFolder(int id);
// The temporary folder, with a trailing separator.
std::string TempFolder();
// The folder of the running program, with a trailing separator.
std::string ProgramFolder();
std::string ProgramPath();

// Folder listings: platform/folder.h.
bool FolderExists(const std::string& path);
bool PathExists(const std::string& path);
bool CreateOneFolder(const std::string& path);  // one level; false when it exists
bool CopyOneFile(const std::string& from, const std::string& to, bool failIfExists);
bool RemoveOneFile(const std::string& path);
bool RemoveEmptyFolder(const std::string& path);
bool SetCurrentFolder(const std::string& path);
// The path separator of the system, for messages and joins of the stand-ins.
char PathSeparator();

// ---------------------------------------------------------------- shell and processes
enum class ShowMode { kNormal, kNoActivate, kMaximized, kMinimized, kHidden };

bool CreateShortcut(const std::string& link, const std::string& target, const std::string& args,
                    const std::string& workFolder, const std::string& icon, int iconIndex);
// Opens a file with the verb "open" in its folder; does not wait.
bool ShellOpen(const std::string& file, const std::string& folder, ShowMode mode);
// Starts a command line; with wait, waits for the end and gives its exit code.
bool StartProcess(const std::string& commandLine, ShowMode mode, bool wait, int* exitCode);
int CurrentProcessId();
// Waits at most timeoutMs for the process to end; true when it has ended.
bool WaitForProcessEnd(int processId, int timeoutMs);
// Deletes the file when the system next starts (for a program that cannot
// delete itself while it runs).
bool RemoveFileAtRestart(const std::string& path);

bool IsNtFamily();
// Enables the shutdown privilege and asks for a forced restart.
bool RestartSystem();
// A question with Yes and No buttons; true for Yes.
bool AskYesNo(const std::string& text, const std::string& caption);
void ShowError(const std::string& text, const std::string& caption);
void ShowInfo(const std::string& text, const std::string& caption);

}  // namespace vx::platform
