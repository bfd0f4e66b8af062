// Frame-parallel rendering as the command-line host does it: one effect
// object per worker thread, frames of one clip at once.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "core/random.h"
#include "host/batch_render.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::BatchRenderer;
using host::Frame;
using host::FrameFormat;

constexpr host::ClipTiming kClip{12, 25, 1};

std::vector<Frame> Clip(int32_t bitsPerPixel) {
    std::vector<Frame> frames;
    for (int i = 0; i < 12; ++i) {
        frames.emplace_back(FrameFormat{41, 27, bitsPerPixel});
        test::PaintTestPicture(frames.back(), 3 + i);
    }
    return frames;
}

// Every frame through one object, in order, as a plain host would.
std::vector<uint64_t> RenderInOrder(const std::string& effect,
                                    const std::vector<BatchRenderer::Setting>& settings,
                                    std::vector<Frame> frames) {
    BatchRenderer one(effect, settings, 1, kClip);
    std::vector<uint64_t> hashes;
    for (size_t i = 0; i < frames.size(); ++i) {
        std::vector<Frame> single{frames[i]};
        one.Render(int64_t(i), single);
        hashes.push_back(test::PictureHash(single[0]));
    }
    return hashes;
}

TEST(BatchRender, WorkersRenderWhatOneObjectRendersInOrder) {
    struct Case {
        const char* effect;
        std::vector<BatchRenderer::Setting> settings;
        int32_t bitsPerPixel;
    };
    const Case cases[] = {
        // Animated over the clip: each frame needs its own clip time.
        {"VXEZoomAndMove", {{"Zoom (end)", "3"}, {"Left margin (end)", "40"}}, 32},
        // Renders in place into the input frame.
        {"VXELighthouse", {}, 24},
        {"VXETransform",
         {{"1. effect", "rotate"}, {"1. amount", "30"}, {"interpolate", "bilinear"}},
         32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.effect);
        const std::vector<uint64_t> expected =
            RenderInOrder(c.effect, c.settings, Clip(c.bitsPerPixel));
        std::vector<Frame> frames = Clip(c.bitsPerPixel);
        BatchRenderer three(c.effect, c.settings, 3, kClip);
        EXPECT_EQ(three.workers(), 3);
        three.Render(0, frames);
        ASSERT_EQ(frames.size(), expected.size());
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(test::PictureHash(frames[i]), expected[i]) << i;
        EXPECT_NE(expected.front(), expected.back());
    }
}

// Ghost reaches back into the clip: one worker renders it, across batches.
TEST(BatchRender, EffectsReadingTheClipSeeEarlierFramesAcrossBatches) {
    const std::vector<Frame> clip = Clip(32);
    std::vector<uint64_t> inputs;
    for (const Frame& f : clip)
        inputs.push_back(test::PictureHash(f));
    BatchRenderer ghost("VXEGhost",
                        {{"No. of Ghosts", "1"}, {"Space", "3"}, {"Visibility of ghosts", "100"}},
                        4, kClip);
    EXPECT_EQ(ghost.workers(), 1);
    std::vector<Frame> firstHalf(clip.begin(), clip.begin() + 5),
        secondHalf(clip.begin() + 5, clip.end());
    ghost.Render(0, firstHalf);
    ghost.Render(5, secondHalf);
    std::vector<uint64_t> rendered;
    for (const Frame& f : firstHalf)
        rendered.push_back(test::PictureHash(f));
    for (const Frame& f : secondHalf)
        rendered.push_back(test::PictureHash(f));
    // At full visibility one ghost three frames back replaces the picture;
    // the first three frames have no frame that far back.
    for (size_t i = 0; i < rendered.size(); ++i)
        EXPECT_EQ(rendered[i], inputs[i < 3 ? i : i - 3]) << i;
}

TEST(BatchRender, RefusesUnknownEffectsAndSettings) {
    EXPECT_THROW(BatchRenderer("VXENoSuchEffect", {}, 2, kClip), std::runtime_error);
    EXPECT_THROW(BatchRenderer("VXETransform", {{"spin", "3"}}, 2, kClip), std::runtime_error);
    BatchRenderer renderer("VXETransform", {}, 2, kClip);
    std::vector<Frame> none;
    renderer.Render(0, none);  // an empty batch is no work, not a failure
}

// Each thread draws its own sequence, so effects that draw random numbers can
// render on several threads without disturbing each other.
TEST(BatchRender, EachThreadHasItsOwnRandomSequence) {
    SeedRandom(99);
    const int32_t mainFirst = NextRandom();
    int32_t draws[3] = {};
    std::thread([&] {
        for (int32_t& d : draws)
            d = NextRandom();
    }).join();
    EXPECT_EQ(draws[0], 41);  // a new thread starts from seed 1
    EXPECT_EQ(draws[1], 18467);
    EXPECT_EQ(draws[2], 6334);
    SeedRandom(99);
    EXPECT_EQ(NextRandom(), mainFirst);
}

}  // namespace
}  // namespace vx
