// Frames of video files: the first video stream's size and length, and its
// picture at a given time.
//
// The Windows build uses the DirectShow media detector; the Linux build uses
// FFmpeg's libavformat, libavcodec and libswscale.  The reader belongs to one
// effect object and has no lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx::platform {

// Status values in the system's error-code form.
inline constexpr int32_t kVideoOk = 0;
inline constexpr int32_t kVideoNoStream = int32_t(0x80040200);  // no usable video stream
inline constexpr int32_t kVideoOutOfMemory = int32_t(0x8007000E);
inline constexpr int32_t kVideoFail = int32_t(0x80004005);  // file missing or undecodable

class VideoFileReader {
  public:
    VideoFileReader();
    ~VideoFileReader();
    VideoFileReader(const VideoFileReader&) = delete;
    VideoFileReader& operator=(const VideoFileReader&) = delete;

    // Opens the file unless it is the one already open (compared exactly).
    // Answers 0, or the failure status; a failed open leaves the reader
    // closed, so asking for the same path again tries again.
    int32_t OpenVideo(const char16_t* path);
    // Grabs the picture at `seconds` of stream time into frameBuffer.  On
    // failure frameBuffer keeps the previous picture.
    int32_t GrabFrame(double seconds);
    // Releases the detector and forgets the path.
    void Close();
    bool IsOpen() const { return impl_ != nullptr; }
    const std::u16string& CurrentPath() const { return currentPath_; }

    // The first video stream, valid after a successful OpenVideo.
    int32_t videoWidth = 0;
    int32_t videoHeight = 0;  // made positive
    int32_t videoBytesPerPixel = 0;
    int32_t videoImageSize = 0;
    double lengthSeconds = 0;
    bool bottomUp = false;  // the stream declared bottom-up rows
    // The last grabbed picture: a 40-byte bitmap information header
    // (BitmapHeader below), then the pixel rows: bottom row first, each row
    // 24 bits per pixel in blue, green, red order, padded to 4 bytes.
    std::vector<uint8_t> frameBuffer;

    struct Impl;

  private:
    Impl* impl_ = nullptr;
    std::u16string currentPath_;
};

// The host initialises the component system on the threads it calls effects
// on; programs that stand in for the host call this once on their thread.
void InitializeMediaThread();

// The 40-byte header at the start of frameBuffer, little-endian.
struct BitmapHeader {
    uint32_t size;  // 40
    int32_t width;
    int32_t height;  // positive: rows stored bottom-up
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;  // 0: uncompressed
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t clrUsed;
    uint32_t clrImportant;
};
static_assert(sizeof(BitmapHeader) == 40);

}  // namespace vx::platform
