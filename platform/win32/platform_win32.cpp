#include <windows.h>
#include <io.h>

#include <string>

#include "platform/platform.h"

namespace vx::platform {

namespace {

HKEY RootKey(RegistryRoot root) {
    switch (root) {
        case kClassesRoot: return HKEY_CLASSES_ROOT;
        case kCurrentUser: return HKEY_CURRENT_USER;
        case kLocalMachine: return HKEY_LOCAL_MACHINE;
        case kUsers: return HKEY_USERS;
        case kCurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return HKEY_LOCAL_MACHINE;
}

const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

}  // namespace

std::optional<std::u16string> ReadRegistryString(RegistryRoot root, const char* key,
                                                 const char16_t* value) {
    HKEY hkey;
    std::u16string wideKey = WideFromNarrow(key);
    if (RegOpenKeyExW(RootKey(root), W(wideKey.c_str()), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t buffer[2048];  // 4096 bytes
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    LONG rc = RegQueryValueExW(hkey, W(value), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(hkey);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    buffer[size / sizeof(wchar_t)] = 0;
    return std::u16string(reinterpret_cast<const char16_t*>(buffer));
}

bool WriteRegistryString(RegistryRoot root, const char* key, const char16_t* value,
                         const char16_t* data) {
    HKEY hkey;
    std::u16string wideKey = WideFromNarrow(key);
    if (RegCreateKeyExW(RootKey(root), W(wideKey.c_str()), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &hkey, nullptr) != ERROR_SUCCESS)
        return false;
    std::u16string text(data);
    LONG rc = RegSetValueExW(hkey, W(value), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             DWORD((text.size() + 1) * sizeof(char16_t)));
    RegCloseKey(hkey);
    return rc == ERROR_SUCCESS;
}

bool DeleteRegistryKey(RegistryRoot root, const char* key) {
    std::u16string wideKey = WideFromNarrow(key);
    while (!wideKey.empty() && wideKey.back() == u'\\') wideKey.pop_back();
    return RegDeleteKeyW(RootKey(root), W(wideKey.c_str())) == ERROR_SUCCESS;
}

bool FileExists(const char* path) { return _access(path, 0) == 0; }

std::string NarrowFromWide(const char16_t* text) {
    if (!text || !*text) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, W(text), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, W(text), -1, out.data(), n, nullptr, nullptr);
    if (!out.empty()) out.pop_back();  // terminator
    return out;
}

std::u16string WideFromNarrow(const char* text) {
    if (!text || !*text) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::u16string out(n > 0 ? size_t(n) : 0, u'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(out.data()), n);
    if (!out.empty()) out.pop_back();
    return out;
}

void ShowMessageBox(const char16_t* text, const char16_t* caption) {
    MessageBoxW(nullptr, W(text), W(caption), MB_OK);
}

void ShowErrorBox(const char16_t* text, const char16_t* caption) {
    MessageBoxW(nullptr, W(text), W(caption), MB_OK | MB_ICONERROR);
}

void DebugLog(const char* text) { OutputDebugStringA(text); }

Module LoadModule(const char* path) { return LoadLibraryA(path); }

void* FindEntryPoint(Module module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(Module module) {
    if (module) FreeLibrary(static_cast<HMODULE>(module));
}

std::string LastModuleError() { return "Windows error " + std::to_string(GetLastError()); }

}  // namespace vx::platform
