#include "setup/engine/macros.h"

#include "platform/install.h"
#include "setup/engine/text.h"

namespace vx::setup {

namespace {

constexpr int kTempFolder = -1;

struct FolderMacro {
    const char* name;
    int shellFolder;  // the shell's special-folder identifier, or kTempFolder
};

// Order matters: each macro is replaced in the result of the ones before.
constexpr FolderMacro kFolderMacros[] = {
    {"%Program Files%", 38}, {"%Windows%", 36},   {"%Temp%", kTempFolder}, {"%Desktop%", 0},
    {"%Programs%", 2},       {"%Favorites%", 6},  {"%Startup%", 7},        {"%Recent%", 8},
    {"%Sendto%", 9},         {"%Start%", 11},     {"%Documents%", 12},     {"%Fonts%", 20},
    {"%Templates%", 21},     {"%All Start%", 22}, {"%All Programs%", 23},  {"%All Startup%", 24},
    {"%All Desktop%", 25},   {"%AppData%", 26},   {"%System%", 37},        {"%Profile%", 40},
    {"%Common Files%", 43},
};

}  // namespace

MacroExpander::MacroExpander() {
    for (const FolderMacro& m : kFolderMacros) {
        std::string value = m.shellFolder == kTempFolder ? platform::TempFolder()
                                                         : platform::ShellFolder(m.shellFolder);
        if (m.shellFolder == kTempFolder && !value.empty() && !IsSeparator(value.back()))
            value += '\\';
        systemFolders_.emplace_back(m.name, value);
    }
}

std::string MacroExpander::Expand(const std::string& text) const {
    std::string out = text;
    for (const auto& [name, value] : systemFolders_)
        out = ReplaceAllNoCase(out, name, value);
    out = ReplaceAllNoCase(out, "%Installer%", installerFolder_);
    out = ReplaceAllNoCase(out, "%Lang%", language_);
    out = ReplaceAllNoCase(out, "\\\\", "\\");
    return ReplaceAllNoCase(out, "%Dest%", destination_);
}

}  // namespace vx::setup
