#include "effects/colour/eraser_masks.h"

#include "platform/folder.h"
#include "platform/platform.h"

namespace vx {

void (*ShowEraserWarning)(const char16_t*, const char16_t*) = platform::ShowMessageBox;

bool IsMaskPictureName(const std::string& name) {
    for (const char* ext : {".bmp", ".jpg", ".gif", ".png"})
        if (name.find(ext) != std::string::npos) return true;
    return false;
}

std::vector<std::string> ListMaskFiles(const char* folder) {
    std::vector<std::string> names;
    for (const platform::FolderEntry& e : platform::ListFolder(folder).entries)
        if (!e.isFolder && IsMaskPictureName(e.name)) names.push_back(e.name);
    return names;
}

}  // namespace vx
