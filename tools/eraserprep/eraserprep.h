// eraserprep: run in the eraser's mask folder, it draws a strip of thumbnails
// of the mask pictures into "..\VXEraserMask.bmp" and rewrites the eraser's
// descriptor "..\VXEraser.xml" so that the mask choice lists the pictures.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vx::eraserprep {

inline constexpr int kCellWidth = 46;
inline constexpr int kCellHeight = 35;

// A 24-bit picture, top row first, 3 bytes a pixel in blue, green, red order.
struct Strip {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bgr;
    uint8_t* At(int32_t x, int32_t y) { return &bgr[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

// Reads a source pixel as 0x00BBGGRR.
using PixelReader = uint32_t (*)(void* source, int32_t x, int32_t y);

// Draws a source picture of sw x sh pixels into the cell whose left edge is
// at x0, stretched to exactly 46 x 35.  Each cell pixel takes the block of
// source pixels that maps onto it (one pixel when enlarging) and combines
// them by bitwise AND, as a stretch that drops pixels with the
// black-on-white mode does: dark detail survives the shrink.
void StretchIntoCell(Strip& strip, int32_t x0, void* source, PixelReader read, int32_t sw,
                     int32_t sh);

// The strip for `count` pictures: cell 0 white, the rest black until drawn.
Strip NewStrip(size_t count);

// The strip as a bottom-up 24-bit BMP file's bytes.
std::vector<uint8_t> EncodeBmp(const Strip& strip);

// The value group of the last attribute `attribute` (e.g. `max="`) on a line
// that holds, in this order, `<parameter`, `id="5"`, the attribute and a
// closing quote: exactly the text the patterns
//     .*<parameter.*id="5".*max="{.*?}".*
//     .*<parameter.*id="5".*EnumString="{.*?}".*
// select.  False when the line does not match.
bool FindParameter5Attribute(std::string_view line, std::string_view attribute, size_t* begin,
                             size_t* end);

// One descriptor line with the maximum and then the enumeration replaced.
std::string RewriteLine(std::string line, const std::string& maximum,
                        const std::string& enumeration);

// The whole run in the current folder; messages go to `out`.
void Run(std::FILE* out);

}  // namespace vx::eraserprep
