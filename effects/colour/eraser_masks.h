// The eraser's mask folder and the pictures in it.  The eraser effect and the
// eraserprep tool list the folder the same way, so the descriptor's mask
// choice k (k >= 1) and the effect's k-th picture name the same file.
#pragma once

#include <string>
#include <vector>

namespace vx {

// True for a name the folder listing counts as a mask picture: it contains
// ".bmp", ".jpg", ".gif" or ".png" anywhere (case-sensitive).
bool IsMaskPictureName(const std::string& name);

// The mask pictures of a folder (not its subfolders), in listing order; an
// unlistable folder has none.
std::vector<std::string> ListMaskFiles(const char* folder);

// Shows the eraser's "Cannot open image" warning: a message box by default;
// tests put a recorder here.
extern void (*ShowEraserWarning)(const char16_t* text, const char16_t* caption);

}  // namespace vx
