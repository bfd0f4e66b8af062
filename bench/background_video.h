// The Background video effect needs a video file: the benchmarks write a
// small generated clip once and name it in the effect's settings block, so
// that the mix is measured with a real picture behind the clip.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "effects/colour/background.h"
#include "host/standin_host.h"
#include "platform/platform.h"
#include "platform/video_file.h"
#include "tests/file_test_support.h"

namespace vx::bench {

inline uint8_t BenchClipByte(int frame, int x, int y, int channel) {
    return uint8_t(x * 3 + y * 5 + channel * 60 + frame * 25);
}

// Points the effect's block at a 320 x 240 clip of 25 frames.
inline void UseGeneratedVideo(host::EffectInstance& instance) {
    host::ParameterRecord* block = instance.params().ByName("VXEBackground-Parm");
    if (!block) return;
    static const std::filesystem::path clip = [] {
        const auto p = std::filesystem::temp_directory_path() / "vex-bench-background.avi";
        WriteTestClip(p, 320, 240, 25, 25, BenchClipByte);
        return p;
    }();
    platform::InitializeMediaThread();
    BackgroundSettings settings = DefaultBackgroundSettings();
    SetBackgroundFileName(settings, platform::WideFromNarrow(clip.string().c_str()));
    const auto* bytes = reinterpret_cast<const uint8_t*>(&settings);
    block->data.assign(bytes, bytes + sizeof settings);
}

}  // namespace vx::bench
