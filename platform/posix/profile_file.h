// INI files read and written by the rules of the system's private-profile
// functions, for the Linux build (and, in a test under Wine, compared with the
// system's own functions on the same files).
//
// Reading: lines are trimmed of white space; "[name]" starts a section (the
// name runs to the line's last ']', trimmed, and so is a section name asked
// for); other lines are "key=value" (both sides trimmed) or a bare key
// without a value.  Names compare without regard to case; the first section
// of a name and the first key of a name in it win.  A value enclosed in a pair of equal quotes
// (' or ") is read without them.
//
// Writing rewrites the whole file: sections and keys in their order, new
// sections and keys at the end, lines ending in CR LF, blank lines dropped.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

class ProfileFile {
  public:
    // A missing or unreadable file reads as empty; false then.
    bool Load(const std::string& path);
    bool Save(const std::string& path) const;
    std::string Text() const;

    // The value of the key, or nothing when the key (or its value) is missing.
    std::optional<std::string> Find(const std::string& section, const std::string& key) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);

    // The text a read with a buffer of bufferChars characters gives.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& fallback, size_t bufferChars = 2048) const;
    int ReadInt(const std::string& section, const std::string& key, int fallback) const;

  private:
    struct Key {
        std::string name;
        std::optional<std::string> value;
    };
    struct Section {
        std::string name;
        std::vector<Key> keys;
    };
    Section* FindSection(const std::string& name);
    const Section* FindSection(const std::string& name) const;
    std::vector<Section> sections_;
};

// The integer at the start of a text: white space, a sign, a 0x/0o/0b base
// prefix, digits; wraps around in 32 bits; 0 when no digit follows.
int ProfileTextToInt(const std::string& text);

}  // namespace vx::platform
