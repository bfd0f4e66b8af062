#include <windows.h>

#include <string>

#include "platform/folder.h"

namespace vx::platform {

FolderListing ListFolder(const char* folder) {
    FolderListing out;
    std::string pattern(folder ? folder : ".");
    pattern += "\\*";
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        out.startError = GetLastError();
        return out;
    }
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        out.entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(find, &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) out.nextError = error;
    FindClose(find);
    return out;
}

std::FILE* OpenFile(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

}  // namespace vx::platform
