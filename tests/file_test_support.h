// Temporary folders, files and a raw test clip for the file tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vx {

// A fresh, empty folder under the system's temporary folder, removed again
// at the end of the test.
struct TempFolder {
    explicit TempFolder(const std::string& name);
    ~TempFolder();
    std::filesystem::path path;
};

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteTextFile(const std::filesystem::path& path, const std::string& text);
std::string ReadTextFile(const std::filesystem::path& path);

// An uncompressed AVI clip of 24-bit frames (stored bottom-up, as such clips
// are) at `fps` frames per second; byte(frame, x, y, channel) gives the blue,
// green and red bytes of each pixel, row 0 at the top.
void WriteTestClip(const std::filesystem::path& path, int width, int height, int frames, int fps,
                   uint8_t (*byte)(int frame, int x, int y, int channel));

}  // namespace vx

namespace vx {

// A 24-bit BMP of one colour (red, green, blue).
void WriteFlatBmp(const std::filesystem::path& path, int width, int height, uint8_t red,
                  uint8_t green, uint8_t blue);

}  // namespace vx
