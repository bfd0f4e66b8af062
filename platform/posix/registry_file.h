// The registry stand-in of the Linux build: a text file in the layout of a
// registry export.
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Pinnacle Systems\Studio 10]
//   "Main path"="/opt/studio"
//   "Count"=dword:0000002a
//   "Blob"=hex:01,02,ff
//
// Key paths compare without regard to case or a trailing backslash; inside a
// quoted string \\ and \" stand for \ and ".  Lines starting with ';' or '#'
// are comments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vx::platform {

struct RegistryValue {
    enum Type { kString, kDword, kBinary } type = kString;
    std::string name;
    std::string text;            // kString
    uint32_t dword = 0;          // kDword
    std::vector<uint8_t> bytes;  // kBinary
};

class RegistryFile {
public:
    bool Load(const std::string& path);
    bool Save(const std::string& path) const;

    const RegistryValue* Find(RegistryRoot root, const std::string& key,
                              const std::string& name) const;
    void Set(RegistryRoot root, const std::string& key, const RegistryValue& value);
    bool Remove(RegistryRoot root, const std::string& key, const std::string& name);
    bool RemoveKey(RegistryRoot root, const std::string& key);
    // True when the key exists without values and without subkeys.
    bool IsEmptyKey(RegistryRoot root, const std::string& key) const;

private:
    struct Key {
        std::string path;  // root name, backslash, key path without trailing backslash
        std::vector<RegistryValue> values;
    };
    Key* FindKey(const std::string& path);
    const Key* FindKey(const std::string& path) const;
    std::vector<Key> keys_;
};

std::string RegistryKeyPath(RegistryRoot root, const std::string& key);

}  // namespace vx::platform
