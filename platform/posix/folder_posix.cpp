#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/folder.h"

namespace vx::platform {

FolderListing ListFolder(const char* folder) {
    FolderListing out;
    std::string base(folder ? folder : ".");
    for (char& c : base)
        if (c == '\\') c = '/';
    DIR* dir = opendir(base.c_str());
    if (!dir) {
        out.startError = uint32_t(errno ? errno : ENOENT);
        return out;
    }
    for (;;) {
        errno = 0;
        const dirent* e = readdir(dir);
        if (!e) {
            out.nextError = uint32_t(errno);
            break;
        }
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        bool isFolder = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st;
            isFolder = stat((base + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        out.entries.push_back({name, isFolder});
    }
    closedir(dir);
    return out;
}

std::FILE* OpenFile(const char* path, const char* mode) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return std::fopen(p.c_str(), mode);
}

}  // namespace vx::platform
