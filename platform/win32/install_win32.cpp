// The installer's system services on Windows.
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include "platform/install.h"

namespace vx::platform {

namespace {

constexpr DWORD kProfileBuffer = 2048;

HKEY RootKey(InstallRoot root) {
    switch (root) {
        case InstallRoot::kClassesRoot:
            return HKEY_CLASSES_ROOT;
        case InstallRoot::kCurrentUser:
            return HKEY_CURRENT_USER;
        case InstallRoot::kLocalMachine:
            return HKEY_LOCAL_MACHINE;
        case InstallRoot::kUsers:
            return HKEY_USERS;
        case InstallRoot::kPerformanceData:
            return HKEY_PERFORMANCE_DATA;
        case InstallRoot::kCurrentConfig:
            return HKEY_CURRENT_CONFIG;
        case InstallRoot::kDynData:
            return HKEY_DYN_DATA;
    }
    return HKEY_CURRENT_USER;
}

int ShowCommand(ShowMode mode) {
    switch (mode) {
        case ShowMode::kNormal:
            return SW_SHOWNORMAL;
        case ShowMode::kNoActivate:
            return SW_SHOWNOACTIVATE;
        case ShowMode::kMaximized:
            return SW_SHOWMAXIMIZED;
        case ShowMode::kMinimized:
            return SW_SHOWMINIMIZED;
        case ShowMode::kHidden:
            return SW_HIDE;
    }
    return SW_HIDE;
}

}  // namespace

std::string ReadIniString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback) {
    char buffer[kProfileBuffer];
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer,
                                       kProfileBuffer, file.c_str());
    return std::string(buffer, n);
}

int ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                   int fallback) {
    return int(GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, file.c_str()));
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
}

bool WriteRegistryValue(InstallRoot root, const std::string& key, const std::string& name,
                        RegistryType type, const std::string& bytes, unsigned dword) {
    HKEY hkey;
    DWORD disposition;
    if (RegCreateKeyExA(RootKey(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &hkey, &disposition) != ERROR_SUCCESS)
        return false;
    LONG rc;
    switch (type) {
        case RegistryType::kString:
            rc = RegSetValueExA(hkey, name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(bytes.c_str()),
                                DWORD(bytes.size() + 1));
            break;
        case RegistryType::kDword: {
            DWORD v = dword;
            rc = RegSetValueExA(hkey, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                                sizeof v);
            break;
        }
        default:
            rc = RegSetValueExA(hkey, name.c_str(), 0, REG_BINARY,
                                reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()));
            break;
    }
    RegCloseKey(hkey);
    return rc == ERROR_SUCCESS;
}

bool RegistryValueExists(InstallRoot root, const std::string& key, const std::string& name) {
    HKEY hkey;
    if (RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryValueExA(hkey, name.c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(hkey);
    return rc == ERROR_SUCCESS;
}

bool DeleteRegistryValue(InstallRoot root, const std::string& key, const std::string& name) {
    HKEY hkey;
    if (RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_SET_VALUE, &hkey) != ERROR_SUCCESS)
        return false;
    LONG rc = RegDeleteValueA(hkey, name.c_str());
    RegCloseKey(hkey);
    return rc == ERROR_SUCCESS;
}

bool DeleteRegistryKeyIfEmpty(InstallRoot root, const std::string& key) {
    HKEY hkey;
    if (RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0, values = 0;
    LONG rc = RegQueryInfoKeyA(hkey, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(hkey);
    if (rc != ERROR_SUCCESS || subkeys || values) return false;
    return RegDeleteKeyA(RootKey(root), key.c_str()) == ERROR_SUCCESS;
}

std::string ShellFolder(int id) {
    char path[MAX_PATH] = {0};
    if (!SHGetSpecialFolderPathA(nullptr, path, id, FALSE)) return {};
    std::string p(path);
    if (p.size() > 3 && p.back() == '\\') p.pop_back();
    return p;
}

std::string TempFolder() {
    char path[MAX_PATH + 1] = {0};
    DWORD n = GetTempPathA(MAX_PATH, path);
    std::string p(path, n <= MAX_PATH ? n : 0);
    if (p.empty() || p.back() != '\\') p += '\\';
    return p;
}

std::string ProgramPath() {
    char path[MAX_PATH] = {0};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

std::string ProgramFolder() {
    std::string p = ProgramPath();
    return p.substr(0, p.find_last_of("\\/") + 1);
}

bool FolderExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::string& path) {
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CreateOneFolder(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr);
}

bool CopyOneFile(const std::string& from, const std::string& to, bool failIfExists) {
    return CopyFileA(from.c_str(), to.c_str(), failIfExists);
}

bool RemoveOneFile(const std::string& path) {
    return DeleteFileA(path.c_str());
}

bool RemoveEmptyFolder(const std::string& path) {
    return RemoveDirectoryA(path.c_str());
}

bool SetCurrentFolder(const std::string& path) {
    return SetCurrentDirectoryA(path.c_str());
}

char PathSeparator() {
    return '\\';
}

bool CreateShortcut(const std::string& link, const std::string& target, const std::string& args,
                    const std::string& workFolder, const std::string& icon, int iconIndex) {
    HRESULT init = CoInitialize(nullptr);
    bool ok = false;
    IShellLinkA* shell = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shell)))) {
        shell->SetPath(target.c_str());
        shell->SetArguments(args.c_str());
        shell->SetWorkingDirectory(workFolder.c_str());
        shell->SetDescription("");
        shell->SetIconLocation(icon.c_str(), iconIndex);
        IPersistFile* file = nullptr;
        if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            int n = MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, nullptr, 0);
            std::wstring wide(size_t(n > 0 ? n : 1), L'\0');
            MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide.data(), n);
            ok = SUCCEEDED(file->Save(wide.c_str(), TRUE));
            file->Release();
        }
        shell->Release();
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return ok;
}

bool ShellOpen(const std::string& file, const std::string& folder, ShowMode mode) {
    HINSTANCE h =
        ShellExecuteA(nullptr, "open", file.c_str(), nullptr, folder.c_str(), ShowCommand(mode));
    return reinterpret_cast<INT_PTR>(h) > 32;
}

bool StartProcess(const std::string& commandLine, ShowMode mode, bool wait, int* exitCode) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = WORD(ShowCommand(mode));
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;  // the system may write into it
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                        nullptr, nullptr, &si, &pi))
        return false;
    if (wait) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        if (exitCode) *exitCode = int(code);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

int CurrentProcessId() {
    return int(GetCurrentProcessId());
}

bool WaitForProcessEnd(int processId, int timeoutMs) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, DWORD(processId));
    if (!h) return true;  // already gone
    DWORD rc = WaitForSingleObject(h, DWORD(timeoutMs));
    CloseHandle(h);
    return rc == WAIT_OBJECT_0;
}

bool RemoveFileAtRestart(const std::string& path) {
    return MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool IsNtFamily() {
    return (GetVersion() & 0x80000000u) == 0;
}

bool RestartSystem() {
    if (IsNtFamily()) {
        HANDLE token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            return false;
        TOKEN_PRIVILEGES tp = {};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        bool ok = LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &tp.Privileges[0].Luid) &&
                  AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) &&
                  GetLastError() == ERROR_SUCCESS;
        CloseHandle(token);
        if (!ok) return false;
    }
    return ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
}

bool AskYesNo(const std::string& text, const std::string& caption) {
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowError(const std::string& text, const std::string& caption) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

void ShowInfo(const std::string& text, const std::string& caption) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace vx::platform
