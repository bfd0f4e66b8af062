// Listing a folder in the order the file system returns its entries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vx::platform {

struct FolderEntry {
    std::string name;  // 8-bit text, as the listing gives it
    bool isFolder;
};

struct FolderListing {
    std::vector<FolderEntry> entries;  // "." and ".." left out
    // 0 when the whole folder was listed.  Otherwise the system error code:
    // startError when the listing could not start, nextError when it ended
    // early (the entries found so far are kept).
    uint32_t startError = 0;
    uint32_t nextError = 0;
};

FolderListing ListFolder(const char* folder);

// fopen with paths that may use '\\' as separator on every system.
std::FILE* OpenFile(const char* path, const char* mode);

}  // namespace vx::platform
