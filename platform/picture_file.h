// Still pictures decoded from files (BMP, JPEG, GIF, PNG).
//
// The Windows build decodes through GDI+ into a device-independent bitmap and
// reads pixels through a memory drawing context; the Linux build decodes with
// libpng, libjpeg and giflib.  Both answer the same colours for one file.
#pragma once

#include <cstdint>

namespace vx::platform {

// A colour as GDI gives it: red in bits 0-7, green 8-15, blue 16-23.
using ColorRef = uint32_t;
// The answer for a pixel that cannot be read (outside the picture, or no
// picture loaded).
inline constexpr ColorRef kInvalidColor = 0xFFFFFFFF;

inline constexpr uint8_t RedOf(ColorRef c) {
    return uint8_t(c);
}
inline constexpr uint8_t GreenOf(ColorRef c) {
    return uint8_t(c >> 8);
}
inline constexpr uint8_t BlueOf(ColorRef c) {
    return uint8_t(c >> 16);
}

// Pictures larger than this many pixels are refused rather than decoded.
inline constexpr int64_t kMaxPicturePixels = int64_t(1) << 26;

class PictureFile {
  public:
    PictureFile();
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    // Decodes the file (path in the system's 8-bit text).  False when the file
    // is missing, cannot be decoded or is too large; the picture is then empty.
    bool Load(const char* path);
    bool Loaded() const { return width_ > 0; }

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

    // The colour of pixel (x, y), row 0 at the top; kInvalidColor outside.
    ColorRef Pixel(int32_t x, int32_t y);
    // Ends a run of Pixel calls: resources held for reading are given back.
    // Pixel may be called again afterwards.
    void EndPixelAccess();

    struct Impl;

  private:
    void Clear();
    Impl* impl_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

}  // namespace vx::platform
