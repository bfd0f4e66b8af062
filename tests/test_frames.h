// Synthetic pictures and helpers shared by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/standin_host.h"

namespace vx::test {

// A test picture: colour bars over a diagonal ramp with some seeded noise, so
// that every channel and every pixel position carries information.
void PaintTestPicture(host::Frame& frame, uint32_t seed = 1);

// Moves the picture right by `pixels` (an even number keeps 4:2:2 pairs
// together), the columns pushed out at the right coming back in at the left.
void ShiftPicture(host::Frame& frame, int32_t pixels);

// FNV-1a over the picture bytes (no padding), for golden comparisons.
uint64_t PictureHash(const host::Frame& frame);
std::string Hex64(uint64_t v);

// True when the padding bytes after each row and the guard byte after the
// last row still hold the fill a new frame starts with.
bool PaddingUntouched(host::Frame& frame);

// The class identifier of an effect by its descriptor name.
Guid ClassIdOf(const std::string& identifier);

// Every pixel layout the effects meet.
struct Layout {
    const char* name;
    int32_t bitsPerPixel;
    int32_t pixelFormat;
    bool bottomUp;
    int32_t rowPadding;
};
extern const Layout kLayouts[6];

}  // namespace vx::test

namespace vx::test {

// One effect instance created through a library's entry points, its
// parameters declared, ready to render.
class EffectRun {
  public:
    EffectRun(const host::EffectLibrary& library, const std::string& identifier);
    bool ok() const { return instance_.effect() != nullptr; }
    host::EffectInstance& instance() { return instance_; }
    // Sets a parameter by its name; fails the test when it cannot.
    EffectRun& Set(const std::string& name, const std::string& value);
    // Prepare and Process on one input; the output frame (null on failure).
    host::Frame* Render(host::Frame& input);

  private:
    host::EffectInstance instance_;
};

}  // namespace vx::test

namespace vx::test {

// One step of a sequence rendered by a single effect instance: settings
// applied on top of the earlier ones ("@frame" sets the frame of the clip),
// and the input picture's format.
struct RenderStep {
    std::vector<std::pair<std::string, std::string>> settings;
    host::FrameFormat format;
};

// Renders the steps one after another with one instance and checks every
// output against a fresh instance given all settings up to that step: what an
// effect keeps between frames must never show in its output.
void ExpectSameAsFreshInstances(const host::EffectLibrary& library, const std::string& identifier,
                                const std::vector<RenderStep>& steps);

// Renders a few bad frames (1x1, odd sizes, padded, bottom-up, 4:2:2) with
// the run's current settings; the effect must render each and write nothing
// outside it.
void ExpectOddFramesStayInside(EffectRun& run, const std::string& what);

}  // namespace vx::test
