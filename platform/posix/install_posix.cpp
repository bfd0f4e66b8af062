// The installer's system services on Linux: stand-ins that behave like the
// Windows ones where the installer can tell the difference.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <thread>

#include "platform/install.h"
#include "platform/posix/profile_file.h"
#include "platform/posix/registry_file.h"

extern char** environ;

namespace vx::platform {

namespace {

std::string UnixPath(const std::string& path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

// The stand-in registry file knows only the five roots that hold values.
bool StandInRoot(InstallRoot root, RegistryRoot* out) {
    switch (root) {
        case InstallRoot::kClassesRoot:
            *out = kClassesRoot;
            return true;
        case InstallRoot::kCurrentUser:
            *out = kCurrentUser;
            return true;
        case InstallRoot::kLocalMachine:
            *out = kLocalMachine;
            return true;
        case InstallRoot::kUsers:
            *out = kUsers;
            return true;
        case InstallRoot::kCurrentConfig:
            *out = kCurrentConfig;
            return true;
        case InstallRoot::kPerformanceData:
        case InstallRoot::kDynData:
            return false;  // no keys can be created there
    }
    return false;
}

const char* RegistryPath() {
    return std::getenv("VEX_REGISTRY");
}

// Folder names of the stand-in special folders, by shell identifier.
struct StandInFolder {
    int id;
    const char* name;
};
constexpr StandInFolder kStandInFolders[] = {
    {0, "Desktop"},      {2, "Programs"},       {6, "Favorites"},       {7, "Startup"},
    {8, "Recent"},       {9, "SendTo"},         {11, "Start Menu"},     {12, "Documents"},
    {20, "Fonts"},       {21, "Templates"},     {22, "All Start Menu"}, {23, "All Programs"},
    {24, "All Startup"}, {25, "All Desktop"},   {26, "AppData"},        {36, "Windows"},
    {37, "System"},      {38, "Program Files"}, {40, "Profile"},        {43, "Common Files"},
};

}  // namespace

std::string ReadIniString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback) {
    ProfileFile ini;
    ini.Load(UnixPath(file));
    return ini.ReadString(section, key, fallback);
}

int ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                   int fallback) {
    ProfileFile ini;
    ini.Load(UnixPath(file));
    return ini.ReadInt(section, key, fallback);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
    ProfileFile ini;
    ini.Load(UnixPath(file));
    ini.Set(section, key, value);
    return ini.Save(UnixPath(file));
}

bool WriteRegistryValue(InstallRoot root, const std::string& key, const std::string& name,
                        RegistryType type, const std::string& bytes, unsigned dword) {
    RegistryRoot r;
    const char* file = RegistryPath();
    if (!file || !StandInRoot(root, &r)) return false;
    RegistryFile reg;
    reg.Load(file);
    RegistryValue v;
    v.name = name;
    switch (type) {
        case RegistryType::kString:
            v.type = RegistryValue::kString;
            v.text = bytes;
            break;
        case RegistryType::kDword:
            v.type = RegistryValue::kDword;
            v.dword = dword;
            break;
        case RegistryType::kBinary:
            v.type = RegistryValue::kBinary;
            v.bytes.assign(bytes.begin(), bytes.end());
            break;
    }
    reg.Set(r, key, v);
    return reg.Save(file);
}

bool RegistryValueExists(InstallRoot root, const std::string& key, const std::string& name) {
    RegistryRoot r;
    const char* file = RegistryPath();
    if (!file || !StandInRoot(root, &r)) return false;
    RegistryFile reg;
    return reg.Load(file) && reg.Find(r, key, name) != nullptr;
}

bool DeleteRegistryValue(InstallRoot root, const std::string& key, const std::string& name) {
    RegistryRoot r;
    const char* file = RegistryPath();
    if (!file || !StandInRoot(root, &r)) return false;
    RegistryFile reg;
    if (!reg.Load(file) || !reg.Remove(r, key, name)) return false;
    return reg.Save(file);
}

bool DeleteRegistryKeyIfEmpty(InstallRoot root, const std::string& key) {
    RegistryRoot r;
    const char* file = RegistryPath();
    if (!file || !StandInRoot(root, &r)) return false;
    RegistryFile reg;
    if (!reg.Load(file) || !reg.IsEmptyKey(r, key)) return false;
    return reg.RemoveKey(r, key) && reg.Save(file);
}

std::string ShellFolder(int id) {
    const char* root = std::getenv("VEX_SHELL_FOLDERS");
    if (!root || !*root) return {};
    for (const StandInFolder& f : kStandInFolders)
        if (f.id == id) return std::string(root) + "/" + f.name;
    return {};
}

std::string TempFolder() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = t && *t ? t : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string ProgramPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

std::string ProgramFolder() {
    std::string p = ProgramPath();
    return p.substr(0, p.rfind('/') + 1);
}

bool FolderExists(const std::string& path) {
    struct stat st;
    return stat(UnixPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(UnixPath(path).c_str(), &st) == 0;
}

bool CreateOneFolder(const std::string& path) {
    return mkdir(UnixPath(path).c_str(), 0777) == 0;
}

bool CopyOneFile(const std::string& from, const std::string& to, bool failIfExists) {
    const std::string src = UnixPath(from), dst = UnixPath(to);
    struct stat st;
    if (stat(src.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (failIfExists && PathExists(to)) return false;
    // Like the system's copy, a read-only destination is not replaced (also
    // for the superuser, whom the permission bits do not stop).
    struct stat existing;
    if (stat(dst.c_str(), &existing) == 0 && !(existing.st_mode & S_IWUSR)) return false;
    std::ifstream in(src, std::ios::binary);
    std::ofstream out(dst, std::ios::binary | std::ios::trunc);
    if (!in || !out) return false;
    out << in.rdbuf();
    out.close();
    if (!out) return false;
    chmod(dst.c_str(), st.st_mode & 07777);
    return true;
}

bool RemoveOneFile(const std::string& path) {
    struct stat st;
    const std::string p = UnixPath(path);
    if (lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return unlink(p.c_str()) == 0;
}

bool RemoveEmptyFolder(const std::string& path) {
    return rmdir(UnixPath(path).c_str()) == 0;
}

bool SetCurrentFolder(const std::string& path) {
    return chdir(UnixPath(path).c_str()) == 0;
}

char PathSeparator() {
    return '/';
}

bool CreateShortcut(const std::string& link, const std::string& target, const std::string& args,
                    const std::string& workFolder, const std::string& icon, int iconIndex) {
    std::ofstream out(UnixPath(link), std::ios::binary | std::ios::trunc);
    out << "[Shortcut]\r\nTarget=" << target << "\r\nArguments=" << args
        << "\r\nWorkFolder=" << workFolder << "\r\nIcon=" << icon << "\r\nIconIndex=" << iconIndex
        << "\r\n";
    out.close();
    return bool(out);
}

bool ShellOpen(const std::string& file, const std::string& folder, ShowMode mode) {
    return PathExists(file);
}

bool StartProcess(const std::string& commandLine, ShowMode mode, bool wait, int* exitCode) {
    const char* argv[] = {"/bin/sh", "-c", commandLine.c_str(), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    if (!wait) return true;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // The shell answers 127 when the program does not exist, as a failed start.
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
}

int CurrentProcessId() {
    return int(getpid());
}

bool WaitForProcessEnd(int processId, int timeoutMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (kill(pid_t(processId), 0) == 0) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool RemoveFileAtRestart(const std::string& path) {
    return RemoveOneFile(path);
}

bool IsNtFamily() {
    return true;
}

bool RestartSystem() {
    return false;
}

bool AskYesNo(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "[%s] %s [y/N] ", caption.c_str(), text.c_str());
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

void ShowError(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
}

void ShowInfo(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
}

}  // namespace vx::platform
