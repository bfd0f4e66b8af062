// Renders the frames of a clip through one effect, several frames at a time
// on worker threads, each worker with an effect object of its own.
//
// The effect library starts no thread and keeps no state shared between
// objects that rendering changes, so frames of one clip can be rendered by
// separate objects at once.  Spreading them over threads is the host's
// choice; this is the command-line host's.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/standin_host.h"

namespace vx::host {

// The clip the effect is applied to: its length in frames and its rate.
struct ClipTiming {
    int64_t frameCount = 1;
    int32_t unitsPerSecond = 25;  // time units per second
    int32_t unitsPerFrame = 1;    // time units per frame
};

class BatchRenderer {
  public:
    using Setting = std::pair<std::string, std::string>;  // parameter name, value text

    // Creates one effect object per worker and gives each the settings.
    // An effect that reads other frames of the clip (a trail of earlier
    // frames) renders on one worker, which keeps the clip's recent frames.
    // Throws std::runtime_error for an unknown effect or a setting that does
    // not apply.
    BatchRenderer(const std::string& identifier, const std::vector<Setting>& settings, int workers,
                  const ClipTiming& clip);
    ~BatchRenderer();

    int workers() const { return int(workers_.size()); }

    // Renders frames[i] as frame first + i of the clip and replaces it with
    // what the effect rendered.  Throws std::runtime_error when the effect
    // fails on a frame.
    void Render(int64_t first, std::vector<Frame>& frames);

  private:
    struct Worker;
    void RenderWithHistory(int64_t first, std::vector<Frame>& frames);

    std::vector<std::unique_ptr<Worker>> workers_;
    bool readsClip_ = false;
    std::deque<Frame> history_;  // the latest input frames, oldest first
};

}  // namespace vx::host
