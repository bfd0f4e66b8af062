#include "setup/engine/text.h"

namespace vx::setup {

namespace {
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}
}  // namespace

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return text;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (prefix.size() > text.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    return true;
}

std::string ReplaceAllNoCase(const std::string& text, const std::string& pattern,
                             const std::string& value) {
    if (pattern.empty()) return text;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (StartsWithNoCase(text.substr(i, pattern.size()), pattern)) {
            out += value;
            i += pattern.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string WithArgument(const std::string& text, const std::string& argument) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            out += argument;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string WithLineBreaks(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += "\r\n";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string ParentFolder(const std::string& path) {
    size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

std::string LastComponent(const std::string& path) {
    size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string WithoutTrailingSeparator(std::string path) {
    if (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
    return path;
}

}  // namespace vx::setup
