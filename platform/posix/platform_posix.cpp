#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform/posix/registry_file.h"

namespace vx::platform {

namespace {

std::string UnixPath(const char* path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::optional<std::u16string> ReadRegistryString(RegistryRoot root, const char* key,
                                                 const char16_t* value) {
    const char* file = std::getenv("VEX_REGISTRY");
    if (!file) return std::nullopt;
    RegistryFile reg;
    if (!reg.Load(file)) return std::nullopt;
    const RegistryValue* v = reg.Find(root, key, NarrowFromWide(value));
    if (!v || v->type != RegistryValue::kString) return std::nullopt;
    return WideFromNarrow(v->text.c_str());
}

bool WriteRegistryString(RegistryRoot root, const char* key, const char16_t* value,
                         const char16_t* data) {
    const char* file = std::getenv("VEX_REGISTRY");
    if (!file) return false;
    RegistryFile reg;
    reg.Load(file);  // a missing file starts empty
    RegistryValue v;
    v.name = NarrowFromWide(value);
    v.text = NarrowFromWide(data);
    reg.Set(root, key, v);
    return reg.Save(file);
}

bool DeleteRegistryKey(RegistryRoot root, const char* key) {
    const char* file = std::getenv("VEX_REGISTRY");
    if (!file) return false;
    RegistryFile reg;
    if (!reg.Load(file) || !reg.RemoveKey(root, key)) return false;
    return reg.Save(file);
}

bool FileExists(const char* path) { return access(UnixPath(path).c_str(), F_OK) == 0; }

std::string NarrowFromWide(const char16_t* text) {
    std::string out;
    for (const char16_t* p = text; p && *p; ++p) {
        uint32_t cp = *p;
        if (cp >= 0xD800 && cp < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string WideFromNarrow(const char* text) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (s && *s) {
        uint32_t cp = *s++;
        int extra = cp >= 0xF0 ? 3 : cp >= 0xE0 ? 2 : cp >= 0xC0 ? 1 : 0;
        if (extra) cp &= 0x3F >> extra;
        for (; extra > 0 && (*s & 0xC0) == 0x80; --extra) cp = cp << 6 | (*s++ & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

void ShowMessageBox(const char16_t* text, const char16_t* caption) {
    std::fprintf(stderr, "[%s] %s\n", NarrowFromWide(caption).c_str(),
                 NarrowFromWide(text).c_str());
}

void ShowErrorBox(const char16_t* text, const char16_t* caption) {
    ShowMessageBox(text, caption);
}

void DebugLog(const char* text) { std::fprintf(stderr, "%s\n", text); }

// A bare file name is looked for in the current folder, as Windows does.
Module LoadModule(const char* path) {
    std::string p = UnixPath(path);
    if (p.find('/') == std::string::npos) p = "./" + p;
    return dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindEntryPoint(Module module, const char* name) {
    std::string plain(name);
    if (size_t at = plain.rfind('@'); at != std::string::npos && !plain.empty() && plain[0] == '_')
        plain = plain.substr(1, at - 1);
    return dlsym(module, plain.c_str());
}

void UnloadModule(Module module) {
    if (module) dlclose(module);
}

std::string LastModuleError() {
    const char* e = dlerror();
    return e ? e : "unknown error";
}

}  // namespace vx::platform
