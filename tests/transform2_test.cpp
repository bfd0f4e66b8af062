// Transform2: declarations, the ramps of each validity over the clip, the
// per-operation sums, and bad input.
#include <gtest/gtest.h>

#include "host/standin_host.h"
#include "tests/declarations.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;

std::vector<uint8_t> Px(Frame& f, int x, int y) {
    const int n = f.BytesPerPixel();
    return {f.Row(y) + n * x, f.Row(y) + n * x + n};
}

struct Transform2Test : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXETransform2"};
    Frame input{FrameFormat{16, 10, 32}};
    void SetUp() override {
        test::PaintTestPicture(input);
        // A clip of four frames: frame 2 is its middle, frame 3 its last.
        run.instance().context().duration = {4, 25, 1};
    }
    Frame* RenderAtFrame(int64_t n) {
        run.instance().context().SetFrame(n);
        return run.Render(input);
    }
};

TEST_F(Transform2Test, DeclaresThreeGroupsOfThreeSlotsThenTheSamplingSettings) {
    const std::vector<std::string> lines = test::DeclarationLines(run.instance());
    ASSERT_EQ(lines.size(), 27u);
    const std::string ops =
        "[nothing|zoom|move x|move y|shear x|shear y|rotate|stretch x|stretch y|perspective "
        "x|perspective y|mirror x|mirror y|hide top margin|hide bottom margin|hide left "
        "margin|hide right margin] count=17";
    EXPECT_EQ(lines[0], "0 1.-3. valid choice def=0 [whole clip|beginning|end|middle] count=4");
    EXPECT_EQ(lines[1], "1 1. effect choice def=0 " + ops);
    EXPECT_EQ(lines[2], "2 1. amount real def=0 range=-300..300 slider=-100..100 step=0.1");
    EXPECT_EQ(lines[7], "7 4.-6. valid choice def=0 [whole clip|beginning|end|middle] count=4");
    EXPECT_EQ(lines[14], "14 7.-9. valid choice def=0 [whole clip|beginning|end|middle] count=4");
    EXPECT_EQ(lines[19], "19 9. effect choice def=0 " + ops);
    EXPECT_EQ(lines[20], "20 9. amount real def=0 range=-300..300 slider=-100..100 step=0.1");
    EXPECT_EQ(lines[21],
              "21 interpolate choice def=1 [none|bilinear|bicubic (sharp)|bicubic "
              "(soft)|bicubic (36)] count=5");
    EXPECT_EQ(lines[22], "22 bg transparency integer def=0 range=0..255 slider=0..255 step=1");
    EXPECT_EQ(lines[23], "23 bg color: red real def=0 range=0..255 slider=0..255 step=1");
    EXPECT_EQ(lines[25], "25 bg color: blue real def=0 range=0..255 slider=0..255 step=1");
    EXPECT_EQ(lines[26], "26 interlaced boolean def=true");
}

// "move x" 50 shifts the picture right by half of its 16 columns; each
// validity scales that shift over the clip.  Frames 0, 2 and 3 of the
// four-frame clip are the progress values 0, 0.5 and 0.75.
TEST_F(Transform2Test, EachValidityRampsItsGroupOverTheClip) {
    struct Case {
        const char* validity;
        int shift[3];
    };
    const Case cases[] = {{"whole clip", {8, 8, 8}},
                          {"beginning", {8, 4, 2}},
                          {"end", {0, 4, 6}},
                          {"middle", {0, 8, 4}}};
    run.Set("interpolate", "none").Set("bg color: red", "200").Set("bg transparency", "9");
    // The move sits in the second group; the first holds an unused slot.
    run.Set("4. effect", "move x").Set("5. amount", "300");
    for (const Case& c : cases) {
        run.Set("4.-6. valid", c.validity).Set("4. amount", "50");
        const int64_t frames[3] = {0, 2, 3};
        for (int f = 0; f < 3; ++f) {
            SCOPED_TRACE(std::string(c.validity) + " frame " + std::to_string(frames[f]));
            Frame* out = RenderAtFrame(frames[f]);
            ASSERT_NE(out, nullptr);
            const int shift = c.shift[f];
            for (int x = 0; x < 16; ++x) {
                if (x < shift)
                    EXPECT_EQ(Px(*out, x, 4), (std::vector<uint8_t>{0, 0, 200, 9})) << x;
                else
                    EXPECT_EQ(Px(*out, x, 4), Px(input, x - shift, 4)) << x;
            }
        }
    }
}

TEST_F(Transform2Test, AtTheEndOfTheClipABeginningGroupHasNoEffect) {
    run.Set("1.-3. valid", "beginning").Set("1. effect", "rotate").Set("1. amount", "100");
    run.instance().context().now = {4, 25, 1};  // progress 1
    Frame* out = run.Render(input);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->Pixels(), input.Pixels());
}

TEST_F(Transform2Test, SameOperationsAddUpAndApplyInCodeOrderWhateverTheSlot) {
    // Two zooms of 50 act as Transform's single zoom of 100.
    run.Set("1. effect", "zoom").Set("1. amount", "50");
    run.Set("8. effect", "zoom").Set("8. amount", "50");
    run.Set("2. effect", "rotate").Set("2. amount", "20");
    run.Set("9. effect", "move y").Set("9. amount", "10");
    const std::vector<uint8_t> got = run.Render(input)->Pixels();

    test::EffectRun transform(library, "VXETransform");
    // In code order: zoom (1), move y (3), rotate (6).
    transform.Set("1. effect", "zoom").Set("1. amount", "100");
    transform.Set("2. effect", "move y").Set("2. amount", "10");
    transform.Set("3. effect", "rotate").Set("3. amount", "20");
    EXPECT_EQ(got, transform.Render(input)->Pixels());

    // The same operations in other slots and groups give the same picture.
    test::EffectRun swapped(library, "VXETransform2");
    swapped.Set("4. effect", "move y").Set("4. amount", "10");
    swapped.Set("7. effect", "rotate").Set("7. amount", "20");
    swapped.Set("3. effect", "zoom").Set("3. amount", "100");
    EXPECT_EQ(got, swapped.Render(input)->Pixels());
}

TEST_F(Transform2Test, MirrorsNeedAPositiveValue) {
    run.Set("1. effect", "mirror x").Set("1. amount", "-40").Set("interpolate", "none");
    EXPECT_EQ(run.Render(input)->Pixels(), input.Pixels());
    run.Set("1. amount", "0.1");
    Frame* out = run.Render(input);
    EXPECT_EQ(Px(*out, 12, 7), Px(input, 4, 7));
}

TEST_F(Transform2Test, AZeroDenominatorGivesTheBackgroundColour) {
    // q = 1 - 2 * 2 / 16 * j is 0 at column 12; Transform would sample there unscaled.
    run.Set("1. effect", "perspective x").Set("1. amount", "200").Set("interpolate", "none");
    run.Set("bg color: blue", "77");
    Frame* out = run.Render(input);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(Px(*out, 12, y), (std::vector<uint8_t>{77, 0, 0, 0}));
}

TEST_F(Transform2Test, HostileValuesAndOddFramesStayInside) {
    host::ParameterRecord* validity = run.instance().params().ByIndex(0);
    host::ParameterRecord* code = run.instance().params().ByIndex(1);
    for (int32_t badChoice : {17, -1, 1000000}) {
        for (const char* v : {"nan", "inf", "-inf", "1e308", "-300", "300"}) {
            validity->integer = badChoice;
            code->integer = badChoice;
            run.Set("2. effect", "perspective y").Set("2. amount", v);
            run.Set("3. effect", "rotate").Set("3. amount", v);
            run.Set("4. effect", "hide top margin").Set("4. amount", "100");
            for (const char* mode : {"none", "bilinear", "bicubic (36)"}) {
                run.Set("interpolate", mode);
                for (auto fmt : {FrameFormat{1, 1, 32}, FrameFormat{7, 3, 24, 0, true, 2},
                                 FrameFormat{6, 5, 16, 2}}) {
                    Frame in(fmt);
                    test::PaintTestPicture(in);
                    Frame* out = run.Render(in);
                    ASSERT_NE(out, nullptr);
                    ASSERT_TRUE(test::PaddingUntouched(*out)) << v << " " << mode;
                }
            }
        }
    }
}

}  // namespace
}  // namespace vx
