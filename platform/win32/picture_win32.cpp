// Still pictures on Windows: decoded by GDI+, copied into a device-independent
// bitmap of the same pixel format (palette included), and read pixel by pixel
// through a memory drawing context.
#include <windows.h>
// GDI+ needs min and max from the Windows headers' era.
#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/picture_file.h"
#include "platform/platform.h"

namespace vx::platform {

namespace gp = Gdiplus::DllExports;

namespace {

// ---------------------------------------------------------------- GDI+ runtime
// Started by the first picture load and shut down when the last picture object
// goes; the lock covers the start, the shutdown and the counter.
std::mutex gdiplusLock;
int pictureCount = 0;
ULONG_PTR gdiplusToken = 0;
bool gdiplusRunning = false;

void CountPicture(int delta) {
    std::lock_guard<std::mutex> hold(gdiplusLock);
    pictureCount += delta;
    if (pictureCount == 0 && gdiplusRunning) {
        Gdiplus::GdiplusShutdown(gdiplusToken);
        gdiplusRunning = false;
    }
}

bool StartGdiplus() {
    std::lock_guard<std::mutex> hold(gdiplusLock);
    if (gdiplusRunning) return true;
    Gdiplus::GdiplusStartupInput input;
    gdiplusRunning = Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr) == Gdiplus::Ok;
    return gdiplusRunning;
}

// ---------------------------------------------------------------- drawing contexts
// Four memory drawing contexts shared by all pictures, taken and given back
// with interlocked exchanges only.
std::atomic<HDC> contextCache[4];

HDC TakeContext() {
    for (auto& slot : contextCache)
        if (HDC dc = slot.exchange(nullptr)) return dc;
    return CreateCompatibleDC(nullptr);
}

void GiveBackContext(HDC dc) {
    for (auto& slot : contextCache) {
        dc = slot.exchange(dc);
        if (!dc) return;
    }
    DeleteDC(dc);
}

// How a GDI+ pixel format is kept: the bitmap's bits per pixel and the format
// the decoded pixels are read in.
struct Kept {
    int bits;
    Gdiplus::PixelFormat lockFormat;
};

Kept KeptFormat(Gdiplus::PixelFormat f) {
    switch (f) {
        case PixelFormat1bppIndexed:
            return {1, f};
        case PixelFormat4bppIndexed:
            return {4, f};
        case PixelFormat8bppIndexed:
            return {8, f};
        case PixelFormat24bppRGB:
            return {24, f};
        case PixelFormat32bppRGB:
        case PixelFormat32bppARGB:
        case PixelFormat32bppPARGB:
            return {32, PixelFormat32bppARGB};
        default:
            return {24, PixelFormat24bppRGB};
    }
}

struct BitmapInfo256 {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

// Copies the palette of an indexed GDI+ picture; false when it has none.
bool CopyPalette(Gdiplus::GpBitmap* bitmap, BitmapInfo256* info) {
    INT size = 0;
    if (gp::GdipGetImagePaletteSize(bitmap, &size) != Gdiplus::Ok || size < INT(sizeof(UINT) * 2))
        return false;
    std::vector<uint8_t> block(size_t(size) + sizeof(Gdiplus::ARGB));
    auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(block.data());
    if (gp::GdipGetImagePalette(bitmap, palette, size) != Gdiplus::Ok) return false;
    const UINT count = std::min<UINT>(palette->Count, 256);
    for (UINT i = 0; i < count; ++i) {
        const Gdiplus::ARGB c = palette->Entries[i];
        info->colors[i] = RGBQUAD{BYTE(c), BYTE(c >> 8), BYTE(c >> 16), 0};
    }
    info->header.biClrUsed = count;
    return true;
}

}  // namespace

struct PictureFile::Impl {
    HBITMAP bitmap = nullptr;
    HDC context = nullptr;  // while pixels are being read
    HGDIOBJ previous = nullptr;
};

PictureFile::PictureFile() {
    CountPicture(+1);
}

PictureFile::~PictureFile() {
    Clear();
    CountPicture(-1);
}

void PictureFile::Clear() {
    if (impl_) {
        EndPixelAccess();
        DeleteObject(impl_->bitmap);
        delete impl_;
        impl_ = nullptr;
    }
    width_ = height_ = 0;
}

bool PictureFile::Load(const char* path) {
    Clear();
    if (!path || !StartGdiplus()) return false;
    const std::u16string wide = WideFromNarrow(path);
    Gdiplus::GpBitmap* source = nullptr;
    if (gp::GdipCreateBitmapFromFile(reinterpret_cast<const WCHAR*>(wide.c_str()), &source) !=
        Gdiplus::Ok)
        return false;
    UINT w = 0, h = 0;
    Gdiplus::PixelFormat format = 0;
    gp::GdipGetImageWidth(source, &w);
    gp::GdipGetImageHeight(source, &h);
    gp::GdipGetImagePixelFormat(source, &format);
    Kept kept = KeptFormat(format);
    BitmapInfo256 info{};
    if (kept.bits <= 8 && !CopyPalette(source, &info)) kept = {24, PixelFormat24bppRGB};
    if (w == 0 || h == 0 || int64_t(w) * h > kMaxPicturePixels) {
        gp::GdipDisposeImage(source);
        return false;
    }
    info.header.biSize = sizeof info.header;
    info.header.biWidth = LONG(w);
    info.header.biHeight = -LONG(h);  // top-down, like the decoded rows
    info.header.biPlanes = 1;
    info.header.biBitCount = WORD(kept.bits);
    info.header.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    Gdiplus::GpRect all(0, 0, INT(w), INT(h));
    Gdiplus::BitmapData data{};
    bool ok = bitmap && gp::GdipBitmapLockBits(source, &all, Gdiplus::ImageLockModeRead,
                                               kept.lockFormat, &data) == Gdiplus::Ok;
    if (ok) {
        const size_t dibStride = ((size_t(w) * kept.bits + 31) / 32) * 4;
        const size_t rowBytes = (size_t(w) * kept.bits + 7) / 8;
        for (UINT y = 0; y < h; ++y)
            std::memcpy(static_cast<uint8_t*>(bits) + y * dibStride,
                        static_cast<const uint8_t*>(data.Scan0) + ptrdiff_t(y) * data.Stride,
                        rowBytes);
        gp::GdipBitmapUnlockBits(source, &data);
    }
    gp::GdipDisposeImage(source);
    if (!ok) {
        if (bitmap) DeleteObject(bitmap);
        return false;
    }
    impl_ = new Impl{bitmap};
    width_ = int32_t(w);
    height_ = int32_t(h);
    return true;
}

ColorRef PictureFile::Pixel(int32_t x, int32_t y) {
    if (!impl_) return kInvalidColor;
    if (!impl_->context) {
        impl_->context = TakeContext();
        if (!impl_->context) return kInvalidColor;
        impl_->previous = SelectObject(impl_->context, impl_->bitmap);
    }
    return GetPixel(impl_->context, x, y);
}

void PictureFile::EndPixelAccess() {
    if (!impl_ || !impl_->context) return;
    SelectObject(impl_->context, impl_->previous);
    GiveBackContext(impl_->context);
    impl_->context = nullptr;
}

}  // namespace vx::platform
