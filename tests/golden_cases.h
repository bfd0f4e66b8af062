// Renders whose bytes are fixed: every build must reproduce these checksums,
// so the Windows build and the Linux build agree byte for byte.
// Regenerate on purpose only: VEX_PRINT_GOLDENS=1 prints the current values.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx::test {

struct GoldenCase {
    const char* effect;
    std::vector<std::pair<const char*, const char*>> settings;
    uint64_t hash[6];  // one per layout of kLayouts
    // Picture size and source field code; most cases use the small picture.
    int32_t width = 37, height = 23, fieldCode = 0;
};

inline const std::vector<GoldenCase>& GoldenCases() {
    static const std::vector<GoldenCase> cases = {
#include "tests/golden_values.inc"
    };
    return cases;
}

// Effects that draw from the shared generator without seeding it (TV
// interference) continue whatever sequence the thread is in.  Transparency
// "holes" at value 0 reseeds it from its border (here 0) and draws nothing,
// so a 1 x 1 render of it puts the generator of the linked library or of the
// loaded plug-in alike into the same state before every case.
inline void ResetSharedRandom(const host::EffectLibrary& lib) {
    EffectRun seed(lib, "VXETransparency");
    seed.Set("Type", "holes").Set("Value", "0").Set("Border", "0");
    host::Frame dot(host::FrameFormat{1, 1, 32});
    seed.Render(dot);
}

// Renders one case on its picture in the given layout.  The picture is the
// last frame of a clip in which it moves right two pixels a frame, for the
// effects that render from other frames of the clip as well.  Besides
// parameter names, a setting may name "#<index>" (a choice by its parameter
// index, for labels used twice) or "@frame" (the frame of the clip to render).
inline uint64_t RenderGolden(const host::EffectLibrary& lib, const GoldenCase& c,
                             const Layout& layout) {
    constexpr int32_t kClipFrames = 12;
    ResetSharedRandom(lib);
    EffectRun run(lib, c.effect);
    for (const auto& [name, value] : c.settings) {
        if (name[0] == '#')
            run.instance().params().ByIndex(std::atoi(name + 1))->integer = std::atoi(value);
        else if (std::string(name) == "@frame")
            run.instance().context().SetFrame(std::atoi(value));
        else
            run.Set(name, value);
    }
    const host::FrameFormat format{
        c.width,         c.height,          layout.bitsPerPixel, layout.pixelFormat,
        layout.bottomUp, layout.rowPadding, c.fieldCode};
    std::vector<std::unique_ptr<host::Frame>> clip;
    host::Clip& source = run.instance().clip();
    for (int32_t k = 0; k < kClipFrames; ++k) {
        clip.push_back(std::make_unique<host::Frame>(format));
        PaintTestPicture(*clip.back(), 7);
        ShiftPicture(*clip.back(), 2 * (k - kClipFrames + 1));
        source.frames.push_back(clip.back().get());
    }
    source.current = kClipFrames - 1;
    run.instance().AttachClip();
    host::Frame* out = run.Render(*clip.back());
    return out ? PictureHash(*out) : 0;
}

}  // namespace vx::test
