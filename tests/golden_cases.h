// Renders whose bytes are fixed: every build must reproduce these checksums,
// so the Windows build and the Linux build agree byte for byte.
// Regenerate on purpose only: VEX_PRINT_GOLDENS=1 prints the current values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx::test {

struct GoldenCase {
    const char* effect;
    std::vector<std::pair<const char*, const char*>> settings;
    uint64_t hash[6];  // one per layout of kLayouts
};

inline const std::vector<GoldenCase>& GoldenCases() {
    static const std::vector<GoldenCase> cases = {
#include "tests/golden_values.inc"
    };
    return cases;
}

// Renders one case on a 37 x 23 picture in the given layout.
inline uint64_t RenderGolden(const host::EffectLibrary& lib, const GoldenCase& c,
                             const Layout& layout) {
    EffectRun run(lib, c.effect);
    for (const auto& [name, value] : c.settings) run.Set(name, value);
    host::Frame in(host::FrameFormat{37, 23, layout.bitsPerPixel, layout.pixelFormat,
                                     layout.bottomUp, layout.rowPadding});
    PaintTestPicture(in, 7);
    host::Frame* out = run.Render(in);
    return out ? PictureHash(*out) : 0;
}

}  // namespace vx::test
