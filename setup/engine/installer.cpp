#include "setup/engine/installer.h"

#include <algorithm>
#include <cstdint>

#include "platform/folder.h"
#include "platform/install.h"
#include "setup/engine/text.h"

namespace vx::setup {

namespace {

constexpr int kTextCount = 36;

struct RootName {
    const char* name;
    platform::InstallRoot root;
};
constexpr RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", platform::InstallRoot::kClassesRoot},
    {"HKEY_LOCAL_MACHINE", platform::InstallRoot::kLocalMachine},
    {"HKEY_USERS", platform::InstallRoot::kUsers},
    {"HKEY_PERFORMANCE_DATA", platform::InstallRoot::kPerformanceData},
    {"HKEY_CURRENT_CONFIG", platform::InstallRoot::kCurrentConfig},
    {"HKEY_DYN_DATA", platform::InstallRoot::kDynData},
};

struct ModeName {
    const char* name;
    platform::ShowMode shellOpen;     // opening through the shell
    platform::ShowMode processStart;  // starting a process
};
constexpr ModeName kModeNames[] = {
    {"NORMAL", platform::ShowMode::kNormal, platform::ShowMode::kNoActivate},
    {"MAXIMIZE", platform::ShowMode::kMaximized, platform::ShowMode::kMaximized},
    {"MINIMIZE", platform::ShowMode::kMinimized, platform::ShowMode::kMinimized},
    {"HIDE", platform::ShowMode::kHidden, platform::ShowMode::kHidden},
};

const ModeName* FindMode(const std::string& runType) {
    for (const ModeName& m : kModeNames)
        if (Upper(runType) == m.name) return &m;
    return nullptr;
}

// A decimal 32-bit number, optionally signed; nothing else around it.
bool ParseDword(const std::string& text, uint32_t* out) {
    size_t i = 0;
    bool minus = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
    if (i == text.size()) return false;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + unsigned(text[i] - '0');
        if (v > 0xFFFFFFFFull) return false;
    }
    if (minus && v > 0x80000000ull) return false;
    *out = minus ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
    return true;
}

std::string Section(const char* prefix, int i) {
    return prefix + std::to_string(i);
}

}  // namespace

platform::InstallRoot RootByName(const std::string& name) {
    for (const RootName& r : kRootNames)
        if (Upper(name) == r.name) return r.root;
    return platform::InstallRoot::kCurrentUser;
}

std::string UninstallKeyName(const std::string& appName) {
    std::string key = appName;
    std::replace(key.begin(), key.end(), '.', '_');
    std::replace(key.begin(), key.end(), ' ', '_');
    return key;
}

Installer::Installer(std::string folder) : folder_(std::move(folder)), texts_(kTextCount + 1) {
    macros_.SetInstallerFolder(folder_);
}

std::vector<std::string> Installer::Languages() const {
    std::vector<std::string> names;
    for (const platform::FolderEntry& e : platform::ListFolder(folder_.c_str()).entries) {
        const std::string& n = e.name;
        if (!e.isFolder && n.size() > 4 && EqualNoCase(n.substr(n.size() - 4), ".eil"))
            names.push_back(n.substr(0, n.size() - 4));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    return names;
}

bool Installer::ScriptExists() const {
    return platform::PathExists(ScriptPath());
}

bool Installer::LanguageExists(const std::string& language) const {
    return platform::PathExists(folder_ + language + ".eil");
}

std::string Installer::ScriptString(const std::string& section, const std::string& key) const {
    return platform::ReadIniString(ScriptPath(), section, key, "");
}

int Installer::ScriptInt(const std::string& section, const std::string& key, int fallback) const {
    return platform::ReadIniInt(ScriptPath(), section, key, fallback);
}

void Installer::Load(const std::string& language) {
    language_ = language;
    macros_.SetLanguage(language);
    const std::string languageFile = folder_ + language + ".eil";
    for (int n = 1; n <= kTextCount; ++n)
        texts_[n] = platform::ReadIniString(languageFile, "language", std::to_string(n), "");

    SetupScript& s = script_;
    s.appName = ScriptString("setup1", "AppName");
    s.windowName = ScriptString("setup1", "WindowName");
    s.linkName = ScriptString("setup1", "LinkName");
    s.site = ScriptString("setup1", "Site");
    s.onlyNt = ScriptInt("setup1", "OnlyNT", 0);
    s.destFolder = Expand(ScriptString("setup1", "DestFolder"));
    s.sourceFolder = Expand(ScriptString("setup1", "SourceFolder"));
    s.freeSpace = ScriptString("setup1", "FreeSpace");
    s.editDest = ScriptInt("setup1", "EditDest", 1) != 0;
    s.createUninst = ScriptInt("setup1", "CreateUninst", 0) != 0;
    s.overwrite = ScriptInt("setup1", "Overwrite", 0) != 0;
    s.othCount = ScriptInt("setup1", "OthCount", 0);
    s.iniCount = ScriptInt("setup1", "IniCount", 0);
    s.regCount = ScriptInt("setup1", "RegCount", 0);
    s.lnkCount = ScriptInt("setup1", "LnkCount", 0);
    s.exeCount = ScriptInt("setup1", "ExeCount", 0);
    s.reboot = ScriptInt("setup1", "Reboot", 0) != 0;
    s.regUninst = ScriptInt("setup1", "RegUninst", 0) != 0;
    SetDestination(s.destFolder);
}

std::string Installer::Text(int n) const {
    return n >= 1 && n <= kTextCount ? texts_[size_t(n)] : std::string();
}

std::string Installer::Text(int n, const std::string& argument) const {
    std::string text = WithArgument(Text(n), argument);
    return n == 5 || n == 17 ? WithLineBreaks(text) : text;
}

bool Installer::Refused() const {
    return script_.onlyNt > 0 && !(platform::IsNtFamily() && script_.onlyNt == 2);
}

std::string Installer::BrowsedDestination(const std::string& chosen) const {
    return Expand(chosen + "\\" + LastComponent(WithoutTrailingSeparator(destination())));
}

void Installer::Log(const std::string& section, const std::string& key, const std::string& value) {
    if (logPath_.empty()) return;
    if (!platform::WriteIniString(logPath_, section, key, value)) logFailed_ = true;
}

void Installer::LogNumber(const std::string& section, const std::string& key, int value) {
    Log(section, key, std::to_string(value));
}

// Every folder of the path from the root down; existing ones are no error.
void Installer::CreateFolders(const std::string& path) const {
    for (size_t i = 1; i < path.size(); ++i)
        if (IsSeparator(path[i]) && !IsSeparator(path[i - 1]))
            platform::CreateOneFolder(path.substr(0, i));
    platform::CreateOneFolder(path);
}

int Installer::CountFiles(const std::string& folder) const {
    int count = 0;
    for (const platform::FolderEntry& e : platform::ListFolder(folder.c_str()).entries)
        count += e.isFolder ? CountFiles(Expand(folder + "\\" + e.name)) : 1;
    return count;
}

void Installer::Install(const std::string& destination, InstallObserver& observer) {
    const SetupScript& s = script_;
    SetDestination(destination);
    observer.Status(Text(19));
    observer.ProcessMessages();

    logPath_.clear();
    logFailed_ = false;
    if (s.createUninst) logPath_ = Expand(destination + "\\Uninstall.ini");

    listedFiles_ = copiedFiles_ = folders_ = registered_ = 0;
    CreateFolders(destination);
    if (!platform::FolderExists(destination))
        observer.Failed("cannot create the destination folder " + destination);
    // A source folder given with a trailing separator would make the
    // destination of its subfolders lose theirs ("dest" + "sub").
    sourceFolder_ = WithoutTrailingSeparator(s.sourceFolder);
    const bool hasTree = !sourceFolder_.empty();
    if (hasTree) listedFiles_ = CountFiles(sourceFolder_);
    SetDestination(WithoutTrailingSeparator(destination));

    observer.Range(listedFiles_);
    if (hasTree) {
        std::string src = Upper(sourceFolder_) + "\\", dst = Upper(this->destination()) + "\\";
        std::replace(src.begin(), src.end(), '/', '\\');
        std::replace(dst.begin(), dst.end(), '/', '\\');
        if (!platform::FolderExists(sourceFolder_))
            observer.Failed("the source folder " + sourceFolder_ + " does not exist");
        else if (dst.rfind(src, 0) == 0)
            observer.Failed("the destination lies inside the source folder " + sourceFolder_);
        else
            CopyTree(sourceFolder_, observer);
    }
    CopySingleFiles(observer);
    WriteIniEntries(observer);
    WriteRegistryValues(observer);
    CreateShortcuts(observer);
    StartPrograms(observer);
    InstallUninstaller(observer);
}

void Installer::CopyTree(const std::string& folder, InstallObserver& observer) {
    const std::string target = ReplaceAllNoCase(folder, sourceFolder_, destination());
    for (const platform::FolderEntry& e : platform::ListFolder(folder.c_str()).entries) {
        if (e.isFolder) {
            ++folders_;
            const std::string created = Expand(target + "\\" + e.name);
            platform::CreateOneFolder(created);
            Log("folders", std::to_string(folders_), created);
            CopyTree(Expand(folder + "\\" + e.name), observer);
            continue;
        }
        ++copiedFiles_;
        observer.Status(Text(20, e.name));
        observer.Position(copiedFiles_);
        const std::string to = target + "\\" + e.name;
        const bool existed = platform::PathExists(to);
        if (!platform::CopyOneFile(Expand(folder + "\\" + e.name), to, !script_.overwrite) &&
            (script_.overwrite || !existed))
            observer.Failed("cannot copy " + e.name + " to " + to);
        Log("files", std::to_string(copiedFiles_), to);
        observer.ProcessMessages();
    }
}

void Installer::CopySingleFiles(InstallObserver& observer) {
    const int count = script_.othCount;
    if (count <= 0) return;
    observer.Range(count);
    for (int i = 1; i <= count; ++i) {
        const std::string section = Section("Oth", i);
        observer.Position(i);
        const std::string dest = Expand(ScriptString(section, "Dest"));
        observer.Status(Text(20, dest));
        observer.ProcessMessages();
        CreateFolders(ParentFolder(dest));
        if (!platform::PathExists(dest)) Log("files", std::to_string(++listedFiles_), dest);
        const std::string source = Expand(ScriptString(section, "Source"));
        if (!platform::CopyOneFile(source, dest, false))
            observer.Failed("cannot copy " + source + " to " + dest);
        if (ScriptInt(section, "Ocx", 0) == 0) continue;
        observer.Status(Text(21, LastComponent(dest)));
        observer.ProcessMessages();
        platform::SetCurrentFolder(ParentFolder(dest));
        int exitCode = 0;
        // Quoted, so that a path with spaces reaches the registration whole.
        if (!platform::StartProcess("regsvr32.exe /s \"" + dest + "\"",
                                    platform::ShowMode::kNoActivate, true, &exitCode) ||
            exitCode != 0)
            observer.Failed("cannot register " + dest);
        Log("Ocx", std::to_string(++registered_), dest);
    }
}

void Installer::WriteIniEntries(InstallObserver& observer) {
    if (script_.iniCount <= 0) return;
    observer.Status(Text(22));
    observer.Position(0);
    observer.ProcessMessages();
    for (int i = 1; i <= script_.iniCount; ++i) {
        const std::string section = Section("Ini", i);
        const std::string file = Expand(ScriptString(section, "File"));
        if (!platform::WriteIniString(file, ScriptString(section, "Section"),
                                      ScriptString(section, "Value"),
                                      Expand(ScriptString(section, "Data"))))
            observer.Failed("cannot write " + section + " into " + file);
    }
}

void Installer::WriteRegistryValues(InstallObserver& observer) {
    if (script_.regCount <= 0) return;
    observer.Status(Text(23));
    observer.Position(0);
    observer.ProcessMessages();
    for (int i = 1; i <= script_.regCount; ++i) {
        const std::string section = Section("Reg", i);
        const std::string root = ScriptString(section, "Root"), key = ScriptString(section, "Key"),
                          name = ScriptString(section, "Value"),
                          data = ScriptString(section, "Data");
        const int type = ScriptInt(section, "Type", 0);
        bool ok = false;
        uint32_t number = 0;
        if (type == 0) {
            ok = platform::WriteRegistryValue(RootByName(root), key, name,
                                              platform::RegistryType::kString, Expand(data), 0);
        } else if (type == 1) {
            // Not a number: the value is skipped (and not logged, so that an
            // uninstall leaves a value of that name alone).
            if (!ParseDword(data, &number)) {
                observer.Failed(section + ": \"" + data + "\" is not a number; value skipped");
                continue;
            }
            ok = platform::WriteRegistryValue(RootByName(root), key, name,
                                              platform::RegistryType::kDword, "", number);
        } else if (type == 2) {
            ok = platform::WriteRegistryValue(RootByName(root), key, name,
                                              platform::RegistryType::kBinary, data, 0);
        }
        if (!ok) observer.Failed("cannot write the registry value of " + section);
        Log(section, "Root", root);
        Log(section, "Key", key);
        Log(section, "Value", name);
    }
    LogNumber("uninstall", "RegCount", script_.regCount);
}

void Installer::CreateShortcuts(InstallObserver& observer) {
    if (script_.lnkCount <= 0) return;
    observer.Status(Text(24));
    observer.Position(0);
    observer.ProcessMessages();
    for (int i = 1; i <= script_.lnkCount; ++i) {
        const std::string section = Section("Lnk", i);
        const std::string link = Expand(ScriptString(section, "LinkName"));
        const std::string linkFolder = ParentFolder(link);
        if (!linkFolder.empty() && !platform::FolderExists(linkFolder))
            platform::CreateOneFolder(linkFolder);
        if (!platform::CreateShortcut(
                link, Expand(ScriptString(section, "FileName")),
                Expand(ScriptString(section, "Arg")), Expand(ScriptString(section, "WorkFolder")),
                Expand(ScriptString(section, "Icon")), ScriptInt(section, "Index", 0)))
            observer.Failed("cannot create the shortcut " + link);
        Log("files", std::to_string(++listedFiles_), link);
    }
}

void Installer::StartPrograms(InstallObserver& observer) {
    if (script_.exeCount <= 0) return;
    observer.Status(Text(19));
    observer.Position(0);
    observer.ProcessMessages();
    for (int i = 1; i <= script_.exeCount; ++i) {
        const std::string section = Section("Exe", i);
        const std::string file = Expand(ScriptString(section, "File"));
        const ModeName* mode = FindMode(ScriptString(section, "RunType"));
        if (ScriptInt(section, "Shell", 0) != 0) {
            // An unknown window mode opens nothing, by design of the script.
            if (mode && !platform::ShellOpen(file, ParentFolder(file), mode->shellOpen))
                observer.Failed("cannot open " + file);
        } else {
            platform::SetCurrentFolder(ParentFolder(file));
            const bool wait = ScriptInt(section, "Wait", 0) != 0;
            if (!platform::StartProcess(
                    file, mode ? mode->processStart : platform::ShowMode::kHidden, wait, nullptr))
                observer.Failed("cannot start " + file);
        }
        observer.ProgramStarted();
        observer.ProcessMessages();
    }
}

void Installer::InstallUninstaller(InstallObserver& observer) {
    const SetupScript& s = script_;
    if (!s.createUninst) return;
    const std::string program = Expand(destination() + "\\Uninstall.exe");
    if (!platform::CopyOneFile(folder_ + "setup.dat", program, false))
        observer.Failed("cannot install the uninstaller " + program);
    if (!s.regUninst) return;
    const std::string key = kUninstallKeyParent + UninstallKeyName(s.appName);
    const std::pair<const char*, std::string> values[] = {
        {"DisplayName", s.appName},   {"DisplayIcon", program}, {"Publisher", s.site},
        {"UninstallString", program}, {"URLInfoAbout", s.site},
    };
    for (const auto& [name, text] : values)
        if (!platform::WriteRegistryValue(platform::InstallRoot::kLocalMachine, key, name,
                                          platform::RegistryType::kString, text, 0))
            observer.Failed(std::string("cannot write the uninstall entry's ") + name);
}

void Installer::FinishLog(InstallObserver& observer) {
    if (logPath_.empty()) return;
    const SetupScript& s = script_;
    LogNumber("uninstall", "RegCount", s.regCount);
    LogNumber("Ocx", "Count", registered_);
    LogNumber("files", "Count", listedFiles_);
    LogNumber("folders", "Count", folders_);
    Log("uninstall", "LinkText", s.linkName);
    Log("uninstall", "LinkUrl", s.site);
    Log("uninstall", "AppName", s.appName);
    for (int n = 1; n <= 7; ++n)
        Log("language", std::to_string(n), Text(29 + n));
    const int commands = ScriptInt("un_exe", "Count", 0);
    LogNumber("exe", "Count", commands);
    for (int k = 1; k <= commands; ++k) {
        const std::string key = "exe" + std::to_string(k);
        Log("exe", key, Expand(ScriptString("un_exe", key)));
    }
    if (logFailed_) observer.Failed("cannot write the uninstall log " + logPath_);
}

}  // namespace vx::setup
