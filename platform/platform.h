// Everything the portable code needs from the operating system.
//
// platform/win32 implements it on the Windows API.  platform/posix stands in
// on Linux:
//  - the registry is a text file named by the environment variable
//    VEX_REGISTRY (format in the README); without it every key is missing;
//  - paths may use '\' as separator, which is read as '/';
//  - message boxes and debug output go to standard error;
//  - entry points named in their Windows decorated form ("_name@8") are looked
//    up by their plain name ("name").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

enum RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

// The string value, or nothing when the key or the value is missing.
std::optional<std::u16string> ReadRegistryString(RegistryRoot root, const char* key,
                                                 const char16_t* value);

// Creates the key as needed; false when the value cannot be written.
bool WriteRegistryString(RegistryRoot root, const char* key, const char16_t* value,
                         const char16_t* data);

// Removes a key with its values (a key that has subkeys of its own may be
// refused); false when it cannot be removed or does not exist.
bool DeleteRegistryKey(RegistryRoot root, const char* key);

bool FileExists(const char* path);

// Text conversions between UTF-16 and the system's 8-bit text.
std::string NarrowFromWide(const char16_t* text);
std::u16string WideFromNarrow(const char* text);

void ShowMessageBox(const char16_t* text, const char16_t* caption);
// The same with the error icon.
void ShowErrorBox(const char16_t* text, const char16_t* caption);
void DebugLog(const char* text);

using Module = void*;
Module LoadModule(const char* path);
void* FindEntryPoint(Module module, const char* name);
void UnloadModule(Module module);
// The last loading error, for messages.
std::string LastModuleError();

}  // namespace vx::platform
