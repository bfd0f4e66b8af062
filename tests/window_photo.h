// Photographs of windows for the Windows test programs that drive dialogs
// under a virtual display: what the screen shows inside a window, kept as a
// 24-bit BMP for a person to look at, and its pixels for checks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vx::test {

struct WindowPhoto {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;  // bottom row first, rows padded to 4 bytes
    RECT window{};

    // How many pixels inside child control `id` of `parent` have colour `rgb`.
    int Count(HWND parent, int id, COLORREF rgb) const {
        RECT r;
        GetWindowRect(GetDlgItem(parent, id), &r);
        int n = 0;
        const int stride = (width * 3 + 3) & ~3;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const int px = x - window.left, py = y - window.top;
                if (px < 0 || py < 0 || px >= width || py >= height) continue;
                const uint8_t* p = &bgr[size_t(height - 1 - py) * stride + px * 3];
                n += RGB(p[2], p[1], p[0]) == rgb;
            }
        return n;
    }
};

// Copies the window's area of the screen; writes it to `path` unless empty.
inline WindowPhoto PhotographWindow(HWND window, const std::string& path) {
    WindowPhoto shot;
    UpdateWindow(window);
    GetWindowRect(window, &shot.window);
    shot.width = shot.window.right - shot.window.left;
    shot.height = shot.window.bottom - shot.window.top;
    if (shot.width <= 0 || shot.height <= 0) return shot;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, shot.width, shot.height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shot.width, shot.height, screen, shot.window.left, shot.window.top,
           SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {sizeof info, shot.width, shot.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (shot.width * 3 + 3) & ~3;
    shot.bgr.resize(size_t(stride) * shot.height);
    GetDIBits(memory, bitmap, 0, shot.height, shot.bgr.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    if (path.empty()) return shot;
    BITMAPFILEHEADER file = {0x4D42, DWORD(sizeof file + sizeof info + shot.bgr.size()), 0, 0,
                             sizeof file + sizeof info};
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, f);
        std::fwrite(&info, sizeof info, 1, f);
        std::fwrite(shot.bgr.data(), 1, shot.bgr.size(), f);
        std::fclose(f);
    }
    return shot;
}

}  // namespace vx::test
