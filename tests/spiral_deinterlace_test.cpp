// Spiral and DeInterlace: declarations, the renders their edge cases call
// for, and bad input.
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

std::vector<uint8_t> RowBytes(Frame& f, int y) {
    return {f.Row(y), f.Row(y) + f.Format().width * f.BytesPerPixel()};
}

struct SpiralTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXESpiral"};
};

TEST_F(SpiralTest, Declarations) {
    const std::vector<std::string> expected = {
        "0 Pos x real def=50 range=0..100 slider=0..100 step=0.1",
        "1 Pos y real def=50 range=0..100 slider=0..100 step=0.1",
        "2 Amount real def=10 range=-100..100 slider=-100..100 step=0.1",
    };
    EXPECT_EQ(test::DeclarationLines(run.instance()), expected);
}

TEST_F(SpiralTest, AmountZeroKeepsThePictureAndTheCentreStaysPut) {
    Frame in(FrameFormat{40, 30, 32});
    test::PaintTestPicture(in);
    run.Set("Amount", "0");
    Frame* out = run.Render(in);
    // The polar round trip is exact only up to rounding: in the first row and
    // column a position a hair below 0 counts as outside, and the right two
    // columns and the last row fall back to a nearest pixel that may be the
    // neighbour.
    for (int y = 1; y < 29; ++y)
        for (int x = 1; x < 38; ++x)
            ASSERT_EQ(Px(*out, x, y), Px(in, x, y)) << x << "," << y;
    run.Set("Amount", "-87");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 20, 15), Px(in, 20, 15));
}

TEST_F(SpiralTest, TwistGrowsWithDistanceAndTurnsWithTheSignOfAmount) {
    // Left half black, right half white; the centre is (20, 20).
    Frame in(FrameFormat{40, 40, 32});
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            std::fill_n(in.Row(y) + 4 * x, 4, x < 20 ? 0 : 255);
    // Ten pixels below the centre, Amount 50 turns by 0.5 radian towards +x.
    run.Set("Amount", "50");
    Frame* out = run.Render(in);
    EXPECT_EQ(Px(*out, 20, 30)[0], 255);
    EXPECT_EQ(Px(*out, 20, 10)[0], 0);  // above the centre the turn goes towards -x
    run.Set("Amount", "-50");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 20, 30)[0], 0);
    EXPECT_EQ(Px(*out, 20, 10)[0], 255);
    // Close to the centre the same amount hardly moves anything.
    EXPECT_EQ(Px(*out, 21, 21), Px(in, 21, 21));
}

TEST_F(SpiralTest, PositionsCarriedOutsideTakeTheOutsideColour) {
    // On a wide, flat frame the left end turns by a quarter turn (30 px x 0.05236 rad)
    // and lands 30 rows below the centre.
    Frame in(FrameFormat{60, 8, 32});
    in.Fill(99);
    run.Set("Amount", "52.36");
    Frame* out = run.Render(in);
    EXPECT_EQ(Px(*out, 0, 4), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(Px(*out, 30, 4), (std::vector<uint8_t>{99, 99, 99, 99}));
}

TEST_F(SpiralTest, HostileValuesStayInside) {
    for (const char* v : {"nan", "inf", "-inf", "1e300", "-1e300", "0"}) {
        run.Set("Pos x", v).Set("Amount", v);
        test::ExpectOddFramesStayInside(run, v);
        run.Set("Pos x", "50").Set("Pos y", v);
        test::ExpectOddFramesStayInside(run, v);
    }
}

struct DeInterlaceTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEDeInterlace"};
};

TEST_F(DeInterlaceTest, Declarations) {
    const std::vector<std::string> expected = {"0 Type choice def=0 [odd rows|even rows] count=2"};
    EXPECT_EQ(test::DeclarationLines(run.instance()), expected);
}

TEST_F(DeInterlaceTest, EachRowPairShowsTheKeptFieldInEveryLayout) {
    for (const test::Layout& layout : test::kLayouts) {
        for (int height : {8, 7}) {
            SCOPED_TRACE(std::string(layout.name) + " height " + std::to_string(height));
            Frame in(FrameFormat{9, height, layout.bitsPerPixel, layout.pixelFormat,
                                 layout.bottomUp, layout.rowPadding});
            test::PaintTestPicture(in);
            run.Set("Type", "even rows");
            Frame* out = run.Render(in);
            for (int y = 0; y < height; ++y)
                EXPECT_EQ(RowBytes(*out, y), RowBytes(in, y & ~1));
            EXPECT_TRUE(test::PaddingUntouched(*out));
            run.Set("Type", "odd rows");
            out = run.Render(in);
            for (int y = 0; y + 1 < height - (height & 1); ++y)
                EXPECT_EQ(RowBytes(*out, y), RowBytes(in, y | 1)) << y;
            // An odd height's last row repeats the last odd row above it.
            if (height & 1) {
                EXPECT_EQ(RowBytes(*out, height - 1), RowBytes(in, height - 2));
            }
            EXPECT_TRUE(test::PaddingUntouched(*out));
        }
    }
}

TEST_F(DeInterlaceTest, OneRowAndUnknownTypes) {
    Frame in(FrameFormat{5, 1, 24});
    test::PaintTestPicture(in);
    Frame* out = run.Render(in);  // odd rows, but there is no odd row
    EXPECT_EQ(out->Pixels(), in.Pixels());
    // Values outside the list act as "even rows".
    Frame tall(FrameFormat{4, 6, 32});
    test::PaintTestPicture(tall);
    for (int32_t type : {1, 2, -1, 1000}) {
        run.instance().params().ByIndex(0)->integer = type;
        out = run.Render(tall);
        for (int y = 0; y < 6; ++y)
            EXPECT_EQ(RowBytes(*out, y), RowBytes(tall, y & ~1)) << type;
        test::ExpectOddFramesStayInside(run, std::to_string(type));
    }
}

// The source positions are kept between frames: a change of a parameter or
// of the frame size must rebuild them; layouts and fields must still count.
TEST_F(SpiralTest, FollowsEveryChangeBetweenFrames) {
    using test::RenderStep;
    test::ExpectSameAsFreshInstances(
        library, "VXESpiral",
        {RenderStep{{}, FrameFormat{41, 30, 32}}, RenderStep{{}, FrameFormat{41, 30, 32}},
         RenderStep{{{"Pos x", "30"}}, FrameFormat{41, 30, 32}},
         RenderStep{{{"Pos y", "70"}}, FrameFormat{41, 30, 32}},
         RenderStep{{{"Amount", "-40"}}, FrameFormat{41, 30, 32}},
         RenderStep{{}, FrameFormat{40, 31, 32}},
         RenderStep{{}, FrameFormat{40, 31, 24, 0, true, 3}},
         RenderStep{{}, FrameFormat{40, 31, 24, 0, true, 3, 1}},
         RenderStep{{}, FrameFormat{40, 31, 16, 1}}});
}

}  // namespace
}  // namespace vx
