// Cut: declarations, the lifted piece, its border and brightness, the shadow
// beside it, the frame's edges, packed frames and bad input.
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
// The colour bytes scaled and truncated as the piece and the shadow are, alpha 255.
std::vector<uint8_t> Scaled(std::vector<uint8_t> p, double k) {
    for (int c = 0; c < 3; ++c) p[c] = uint8_t(std::min(255, int(p[c] * k)));
    p[3] = 255;
    return p;
}

struct CutTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXECut"};
};

TEST_F(CutTest, Declarations) {
    const std::vector<std::string> expected = {
        "0 pos1x real def=50 range=0..100 slider=0..100 step=0.1",
        "1 pos1y real def=50 range=0..100 slider=0..100 step=0.1",
        "2 pos2x real def=50 range=0..100 slider=0..100 step=0.1",
        "3 pos2y real def=50 range=0..100 slider=0..100 step=0.1",
        "4 Width real def=20 range=0..100 slider=0..100 step=0.1",
        "5 Height real def=20 range=0..100 slider=0..100 step=0.1",
        "6 Level real def=10 range=0..20 slider=0..20 step=0.1",
        "7 Direction choice def=0 [Top-Left|Top-Right|Bottom-Left|Bottom-Right] count=4",
        "8 Brightness real def=0 range=-50..50 slider=-50..50 step=0.1",
        "9 Border real def=0 range=0..10 slider=0..10 step=0.1",
    };
    EXPECT_EQ(test::DeclarationLines(run.instance()), expected);
}

TEST_F(CutTest, LevelZeroKeepsThePieceInPlaceWithItsBrightnessAndBorder) {
    // 40 x 20: the piece spans columns 10..30 and rows 5..15; the border is
    // 2 pixels (10 % of the longer side).
    Frame in(FrameFormat{40, 20, 32});
    test::PaintTestPicture(in);
    run.Set("Level", "0").Set("Width", "50").Set("Height", "50").Set("Brightness", "-50");
    run.Set("Border", "10");
    Frame* out = run.Render(in);
    const std::vector<uint8_t> black = {0, 0, 0, 255};
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            const bool inside = x > 10 && x < 30 && y > 5 && y < 15;
            const bool band = x < 12 || x > 28 || y < 7 || y > 13;
            if (!inside)
                ASSERT_EQ(Px(*out, x, y), Px(in, x, y));  // no shadow without a lift
            else if (band)
                ASSERT_EQ(Px(*out, x, y), black);
            else
                ASSERT_EQ(Px(*out, x, y), Scaled(Px(in, x, y), 0.5));
        }
    }
    run.Set("Brightness", "50").Set("Border", "0");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 11, 6), Scaled(Px(in, 11, 6), 1.5));  // no band, clamped at 255
    EXPECT_EQ(Px(*out, 20, 10), Scaled(Px(in, 20, 10), 1.5));
}

TEST_F(CutTest, TopLeftLiftMovesThePieceAndShadowsBesideIt) {
    // 720 wide, Level 10: lift 14 pixels up and left (s = 14.4), shadow from
    // 6 pixels right of and below the unlifted corner (324, 30).
    Frame in(FrameFormat{720, 120, 32});
    test::PaintTestPicture(in);
    run.Set("Width", "10").Set("Height", "50");
    Frame* out = run.Render(in);
    EXPECT_EQ(Px(*out, 350, 50), Scaled(Px(in, 364, 64), 1.0));  // the piece, lifted
    EXPECT_EQ(Px(*out, 310, 16), Scaled(Px(in, 324, 30), 1.0));  // its corner
    for (auto [x, y] : {std::pair{390, 80}, {330, 80}, {400, 100}, {390, 36}})
        EXPECT_EQ(Px(*out, x, y), Scaled(Px(in, x, y), 0.5)) << x << "," << y;
    for (auto [x, y] : {std::pair{390, 35}, {329, 80}, {411, 100}, {400, 105}, {309, 50}})
        EXPECT_EQ(Px(*out, x, y), Px(in, x, y)) << x << "," << y;
}

TEST_F(CutTest, APieceLiftedFromTheFrameEdgeShowsBlackWhereItHasNoPicture) {
    // A piece at the top-left corner lifted towards the bottom right: its
    // left and top parts come from outside the frame.
    Frame in(FrameFormat{100, 40, 32});
    test::PaintTestPicture(in);
    run.Set("pos1x", "0").Set("pos1y", "0").Set("pos2x", "0").Set("pos2y", "0");
    run.Set("Direction", "Bottom-Right").Set("Level", "20");  // lift of 4
    Frame* out = run.Render(in);
    EXPECT_EQ(Px(*out, 2, 2), (std::vector<uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(Px(*out, 10, 5), Scaled(Px(in, 6, 1), 1.0));
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(Px(*out, 14, 3), Px(in, 14, 3));  // beyond the lift's reach
    EXPECT_TRUE(test::PaddingUntouched(*out));
}

TEST_F(CutTest, PackedFramesChangeLumaAndChromaAboutBlackAndGrey) {
    Frame in(FrameFormat{40, 20, 16, 1});
    test::PaintTestPicture(in);
    run.Set("Level", "0").Set("Width", "50").Set("Height", "50").Set("Brightness", "-50");
    Frame* out = run.Render(in);
    for (int x : {20, 21}) {
        const uint8_t* i = in.Row(10) + 2 * x;
        const uint8_t* o = out->Row(10) + 2 * x;
        EXPECT_EQ(o[1], 16 + int((i[1] - 16) * 0.5)) << x;
        EXPECT_EQ(o[0], 128 + int((i[0] - 128) * 0.5)) << x;
    }
    EXPECT_EQ(Px(*out, 5, 10), Px(in, 5, 10));
}

TEST_F(CutTest, HostileValuesAndOddFramesStayInside) {
    host::ParameterRecord* direction = run.instance().params().ByIndex(7);
    for (const char* v : {"nan", "inf", "-inf", "1e300", "-1e300", "100"}) {
        for (const char* name : {"pos1x", "Width", "Level", "Brightness", "Border"}) {
            for (int32_t d : {0, 3, 4, -1}) {
                direction->integer = d;
                run.Set(name, v);
                for (auto fmt :
                     {FrameFormat{1, 1, 32}, FrameFormat{3, 2, 24, 0, true, 3},
                      FrameFormat{7, 5, 16, 2, false, 1}, FrameFormat{9, 9, 32, 0, true, 0}}) {
                    Frame in(fmt);
                    test::PaintTestPicture(in);
                    Frame* out = run.Render(in);
                    ASSERT_NE(out, nullptr);
                    ASSERT_TRUE(test::PaddingUntouched(*out)) << name << "=" << v << " " << d;
                }
                run.Set(name, "20");
            }
        }
    }
}

}  // namespace
}  // namespace vx
