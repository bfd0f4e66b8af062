// Reading and writing pictures for the command-line host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx::vexfx {

// An 8-bit picture, top row first, four bytes per pixel in blue, green, red,
// alpha order (the byte order of a 32 bpp frame).
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bgra;
};

// Reads a PNG or JPEG file, recognised by its first bytes rather than its
// name.  On failure returns false and says why in *error.
bool ReadPicture(const std::string& path, Picture* picture, std::string* error);

// Writes a PNG, with an alpha channel when withAlpha is set.
bool WritePng(const std::string& path, const Picture& picture, bool withAlpha, std::string* error);

}  // namespace vx::vexfx
