// Text helpers of the installer: case-insensitive replacement, the "%s"
// argument and the backslash-n line breaks of the language texts, paths.
#pragma once

#include <string>

namespace vx::setup {

std::string Upper(std::string text);
bool EqualNoCase(const std::string& a, const std::string& b);
bool StartsWithNoCase(const std::string& text, const std::string& prefix);

// Replaces every occurrence of `pattern` (matched without regard to case) by
// `value`; the inserted text is not searched again.
std::string ReplaceAllNoCase(const std::string& text, const std::string& pattern,
                             const std::string& value);

// Every "%s" becomes the argument; other '%' sequences stay as they are, so a
// language file cannot make the text read more arguments than there are.
std::string WithArgument(const std::string& text, const std::string& argument);
// Every two-character sequence backslash-n becomes CR LF.
std::string WithLineBreaks(const std::string& text);

bool IsSeparator(char c);
// "C:\a\b.txt" -> "C:\a"; "b.txt" -> "".
std::string ParentFolder(const std::string& path);
// "C:\a\b.txt" -> "b.txt".
std::string LastComponent(const std::string& path);
std::string WithoutTrailingSeparator(std::string path);

}  // namespace vx::setup
