#include "platform/posix/profile_file.h"

#include <cstdint>
#include <fstream>
#include <sstream>

namespace vx::platform {

namespace {

// White space as the system's reader sees it, with the end-of-file mark.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x1a;
}

std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b]))
        ++b;
    while (e > b && IsSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

}  // namespace

bool ProfileFile::Load(const std::string& path) {
    sections_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    sections_.push_back({"", {}});  // keys before the first section header
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = Trimmed(text.substr(pos, end - pos));
        pos = end;
        while (pos < text.size() && (text[pos] == '\r' || text[pos] == '\n'))
            ++pos;
        if (line.empty()) continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close != std::string::npos) {
                sections_.push_back({Trimmed(line.substr(1, close - 1)), {}});
                continue;
            }
        }
        Key key;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            key.name = line;
        } else {
            key.name = Trimmed(line.substr(0, eq));
            key.value = Trimmed(line.substr(eq + 1));
        }
        sections_.back().keys.push_back(std::move(key));
    }
    return true;
}

std::string ProfileFile::Text() const {
    std::string out;
    for (const Section& s : sections_) {
        if (!s.name.empty()) out += "[" + s.name + "]\r\n";
        for (const Key& k : s.keys) {
            out += k.name;
            if (k.value) out += "=" + *k.value;
            out += "\r\n";
        }
    }
    return out;
}

bool ProfileFile::Save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << Text();
    return bool(out.flush());
}

ProfileFile::Section* ProfileFile::FindSection(const std::string& name) {
    for (Section& s : sections_)
        if (SameName(s.name, name)) return &s;
    return nullptr;
}

const ProfileFile::Section* ProfileFile::FindSection(const std::string& name) const {
    for (const Section& s : sections_)
        if (SameName(s.name, name)) return &s;
    return nullptr;
}

std::optional<std::string> ProfileFile::Find(const std::string& section,
                                             const std::string& key) const {
    const Section* s = FindSection(Trimmed(section));
    if (!s) return std::nullopt;
    const std::string& name = key;
    for (const Key& k : s->keys)
        if (SameName(k.name, name)) return k.value;
    return std::nullopt;
}

void ProfileFile::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
    Section* s = FindSection(Trimmed(section));
    if (!s) {
        sections_.push_back({Trimmed(section), {}});
        s = &sections_.back();
    }
    const std::string& name = key;
    for (Key& k : s->keys) {
        if (SameName(k.name, name)) {
            k.value = value;
            return;
        }
    }
    s->keys.push_back({name, value});
}

std::string ProfileFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& fallback, size_t bufferChars) const {
    if (bufferChars == 0) return {};
    std::string value = Find(section, key).value_or(fallback);
    // A value in a pair of equal quotes loses them, unless the closing quote
    // falls beyond the buffer.
    char quote = 0;
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        quote = value[0];
        value.erase(0, 1);
    }
    if (value.size() > bufferChars - 1) return value.substr(0, bufferChars - 1);
    if (quote) value.pop_back();
    return value;
}

int ProfileFile::ReadInt(const std::string& section, const std::string& key, int fallback) const {
    std::string text = ReadString(section, key, "", 30);
    return text.empty() ? fallback : ProfileTextToInt(text);
}

int ProfileTextToInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ')
        ++i;
    bool minus = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == '0') {
        switch (text[i + 1]) {
            case 'b':
                base = 2;
                break;
            case 'o':
                base = 8;
                break;
            case 'x':
                base = 16;
                break;
        }
        if (base != 10) i += 2;
    }
    uint32_t total = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        unsigned digit = c >= '0' && c <= '9'   ? unsigned(c - '0')
                         : c >= 'a' && c <= 'z' ? unsigned(c - 'a' + 10)
                         : c >= 'A' && c <= 'Z' ? unsigned(c - 'A' + 10)
                                                : 99u;
        if (digit >= base) break;
        total = total * base + digit;
    }
    return int(minus ? 0u - total : total);
}

}  // namespace vx::platform
