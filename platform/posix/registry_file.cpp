#include "platform/posix/registry_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace vx::platform {

namespace {

const char* RootName(RegistryRoot root) {
    switch (root) {
        case kClassesRoot: return "HKEY_CLASSES_ROOT";
        case kCurrentUser: return "HKEY_CURRENT_USER";
        case kLocalMachine: return "HKEY_LOCAL_MACHINE";
        case kUsers: return "HKEY_USERS";
        case kCurrentConfig: return "HKEY_CURRENT_CONFIG";
    }
    return "HKEY_LOCAL_MACHINE";
}

std::string Normalised(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    for (char& c : path)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return path;
}

bool SameName(const std::string& a, const std::string& b) { return Normalised(a) == Normalised(b); }

// Reads a quoted string starting at s[i] == '"'; i ends after the closing quote.
bool ReadQuoted(const std::string& s, size_t& i, std::string* out) {
    if (i >= s.size() || s[i] != '"') return false;
    out->clear();
    for (++i; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            *out += s[++i];
        } else if (s[i] == '"') {
            ++i;
            return true;
        } else {
            *out += s[i];
        }
    }
    return false;
}

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool ParseValue(const std::string& line, RegistryValue* v) {
    size_t i = 0;
    if (!ReadQuoted(line, i, &v->name) || i >= line.size() || line[i] != '=') return false;
    std::string rest = line.substr(i + 1);
    if (!rest.empty() && rest[0] == '"') {
        size_t j = 0;
        v->type = RegistryValue::kString;
        return ReadQuoted(rest, j, &v->text);
    }
    if (rest.rfind("dword:", 0) == 0) {
        v->type = RegistryValue::kDword;
        v->dword = uint32_t(std::stoul(rest.substr(6), nullptr, 16));
        return true;
    }
    if (rest.rfind("hex:", 0) == 0) {
        v->type = RegistryValue::kBinary;
        std::stringstream ss(rest.substr(4));
        std::string byte;
        while (std::getline(ss, byte, ','))
            if (!byte.empty()) v->bytes.push_back(uint8_t(std::stoul(byte, nullptr, 16)));
        return true;
    }
    return false;
}

}  // namespace

std::string RegistryKeyPath(RegistryRoot root, const std::string& key) {
    std::string path = std::string(RootName(root)) + "\\" + key;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

bool RegistryFile::Load(const std::string& path) {
    std::ifstream in(path);
    if (!in) return false;
    keys_.clear();
    std::string line;
    Key* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            size_t end = line.rfind(']');
            std::string name = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
            current = FindKey(name);
            if (!current) {
                keys_.push_back({name, {}});
                while (!keys_.back().path.empty() && keys_.back().path.back() == '\\')
                    keys_.back().path.pop_back();
                current = &keys_.back();
            }
            continue;
        }
        RegistryValue v;
        try {
            if (current && ParseValue(line, &v)) current->values.push_back(v);
        } catch (const std::exception&) {
            // A malformed number leaves the value out, as a missing value.
        }
    }
    return true;
}

bool RegistryFile::Save(const std::string& path) const {
    std::ofstream out(path, std::ios::trunc);
    if (!out) return false;
    for (const Key& k : keys_) {
        out << '[' << k.path << "]\n";
        for (const RegistryValue& v : k.values) {
            out << Quoted(v.name) << '=';
            if (v.type == RegistryValue::kString) {
                out << Quoted(v.text);
            } else if (v.type == RegistryValue::kDword) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "%08x", v.dword);
                out << "dword:" << buf;
            } else {
                out << "hex:";
                for (size_t i = 0; i < v.bytes.size(); ++i) {
                    char buf[4];
                    std::snprintf(buf, sizeof buf, "%02x", v.bytes[i]);
                    out << (i ? "," : "") << buf;
                }
            }
            out << '\n';
        }
        out << '\n';
    }
    return bool(out);
}

RegistryFile::Key* RegistryFile::FindKey(const std::string& path) {
    for (Key& k : keys_)
        if (SameName(k.path, path)) return &k;
    return nullptr;
}

const RegistryFile::Key* RegistryFile::FindKey(const std::string& path) const {
    for (const Key& k : keys_)
        if (SameName(k.path, path)) return &k;
    return nullptr;
}

const RegistryValue* RegistryFile::Find(RegistryRoot root, const std::string& key,
                                        const std::string& name) const {
    const Key* k = FindKey(RegistryKeyPath(root, key));
    if (!k) return nullptr;
    for (const RegistryValue& v : k->values)
        if (SameName(v.name, name)) return &v;
    return nullptr;
}

void RegistryFile::Set(RegistryRoot root, const std::string& key, const RegistryValue& value) {
    std::string path = RegistryKeyPath(root, key);
    Key* k = FindKey(path);
    if (!k) {
        keys_.push_back({path, {}});
        k = &keys_.back();
    }
    for (RegistryValue& v : k->values) {
        if (SameName(v.name, value.name)) {
            v = value;
            return;
        }
    }
    k->values.push_back(value);
}

bool RegistryFile::Remove(RegistryRoot root, const std::string& key, const std::string& name) {
    Key* k = FindKey(RegistryKeyPath(root, key));
    if (!k) return false;
    for (size_t i = 0; i < k->values.size(); ++i) {
        if (SameName(k->values[i].name, name)) {
            k->values.erase(k->values.begin() + ptrdiff_t(i));
            return true;
        }
    }
    return false;
}

bool RegistryFile::RemoveKey(RegistryRoot root, const std::string& key) {
    std::string path = Normalised(RegistryKeyPath(root, key));
    size_t before = keys_.size();
    std::erase_if(keys_, [&](const Key& k) {
        std::string p = Normalised(k.path);
        return p == path || p.rfind(path + "\\", 0) == 0;
    });
    return keys_.size() != before;
}

bool RegistryFile::IsEmptyKey(RegistryRoot root, const std::string& key) const {
    const Key* k = FindKey(RegistryKeyPath(root, key));
    if (!k || !k->values.empty()) return false;
    std::string prefix = Normalised(k->path) + "\\";
    for (const Key& other : keys_)
        if (Normalised(other.path).rfind(prefix, 0) == 0) return false;
    return true;
}

}  // namespace vx::platform
