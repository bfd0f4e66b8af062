// Reading and writing video files for the command-line host, through
// FFmpeg's libraries: frames come and go as 24 or 32 bpp host frames.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/standin_host.h"

namespace vx::vexfx {

struct VideoInfo {
    int32_t width = 0;
    int32_t height = 0;
    int32_t rateNumerator = 25;  // frames per second as a fraction
    int32_t rateDenominator = 1;
    int64_t frameCount = 0;  // as the file declares it or estimates it; 0 if unknown
};

class VideoDecoder {
  public:
    VideoDecoder();
    ~VideoDecoder();
    // Opens the first video stream; throws std::runtime_error saying why not.
    void Open(const std::string& path);
    const VideoInfo& Info() const { return info_; }
    // Decodes the next frame into a new frame of the given depth; false at the end.
    bool Next(int32_t bitsPerPixel, host::Frame* frame);

    struct State;

  private:
    std::unique_ptr<State> state_;
    VideoInfo info_;
};

class VideoEncoder {
  public:
    VideoEncoder();
    ~VideoEncoder();
    // Creates the file; the container follows the name's extension and its
    // usual codec.  Throws std::runtime_error saying why not.
    void Open(const std::string& path, const VideoInfo& info);
    void Write(const host::Frame& frame);
    // Drains the encoder and closes the file.
    void Finish();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace vx::vexfx
