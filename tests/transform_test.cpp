// Transform: the matrix composition and the renders that follow from it.
#include <gtest/gtest.h>

#include "effects/geometry/transform.h"
#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;

struct TransformTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXETransform"};
    Frame input{FrameFormat{16, 10, 32}};
    void SetUp() override { test::PaintTestPicture(input); }
    std::vector<uint8_t> Px(Frame& f, int x, int y) {
        int n = f.BytesPerPixel();
        return {f.Row(y) + n * x, f.Row(y) + n * x + n};
    }
};

TEST_F(TransformTest, NothingInEverySlotIsTheIdentityInEveryModeAndLayout) {
    for (const auto& layout : test::kLayouts) {
        Frame in(FrameFormat{15, 9, layout.bitsPerPixel, layout.pixelFormat, layout.bottomUp,
                             layout.rowPadding});
        test::PaintTestPicture(in);
        for (const char* mode : {"none", "bilinear", "bicubic (sharp)", "bicubic (soft)",
                                 "bicubic (more exact)"}) {
            SCOPED_TRACE(std::string(layout.name) + " " + mode);
            run.Set("interpolate", mode);
            Frame* out = run.Render(in);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(out->Pixels(), in.Pixels());
            EXPECT_TRUE(test::PaddingUntouched(*out));
        }
    }
}

TEST_F(TransformTest, MirrorXSendsTheFirstColumnOutside) {
    run.Set("1. effect", "mirror x").Set("interpolate", "none");
    run.Set("bg color: red", "254.5").Set("bg color: green", "-4").Set("bg transparency", "77");
    Frame* out = run.Render(input);
    EXPECT_EQ(Px(*out, 0, 3), (std::vector<uint8_t>{0, 0, 255, 77}));
    EXPECT_EQ(Px(*out, 1, 3), Px(input, 15, 3));
    EXPECT_EQ(Px(*out, 12, 7), Px(input, 4, 7));
}

TEST_F(TransformTest, PerspectiveWithAZeroDenominatorSamplesTheUnscaledPosition) {
    // q = 1 - 2 * 2 / 16 * j is 0 at j = 4, that is column 12.
    run.Set("1. effect", "perspective x").Set("1. amount", "200").Set("interpolate", "none");
    Frame* out = run.Render(input);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(Px(*out, 12, y), Px(input, 12, y)) << y;
}

TEST_F(TransformTest, ZoomBeyondTheFloorShrinksEverythingToTheCentre) {
    Matrix3 p;
    ElementaryMatrix(1, 1.3, 16, 10, &p);
    EXPECT_EQ(p.m[0][0], double(1e-7f));
    ElementaryMatrix(7, -1.0, 16, 10, &p);
    EXPECT_EQ(p.m[0][0], 6.0);
    EXPECT_EQ(p.m[1][1], 1.0);
    run.Set("1. effect", "zoom").Set("1. amount", "130").Set("interpolate", "none");
    Frame* out = run.Render(input);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(Px(*out, x, y), Px(input, 8, 5)) << x << "," << y;
}

TEST_F(TransformTest, HideMarginAtFullAmountKeepsAThinSlice) {
    Matrix3 p;
    ElementaryMatrix(13, 1.0, 16, 10, &p);
    EXPECT_EQ(p.m[1][1], 0.001);
    EXPECT_EQ(p.m[1][2], 5.0);
    ElementaryMatrix(16, 0.5, 16, 10, &p);
    EXPECT_EQ(p.m[0][0], 0.5);
    EXPECT_EQ(p.m[0][2], -4.0);
}

TEST_F(TransformTest, SlotsComposeWithTheLastActingFirst) {
    // The composed matrix is P1 * P2: the mirror (slot 2) acts on the output
    // coordinate first, then the move of slot 1.
    TransformStep steps[2] = {{2, 25}, {11, 0}};
    Matrix3 m = ComposeTransform(steps, 2, 16, 10);
    EXPECT_EQ(m.m[0][0], -1.0);
    EXPECT_EQ(m.m[0][2], -4.0);
    TransformStep unknown[2] = {{17, 50}, {-1, 50}};
    Matrix3 id = ComposeTransform(unknown, 2, 16, 10);
    EXPECT_EQ(id.m[0][0], 1.0);
    EXPECT_EQ(id.m[0][2], 0.0);
}

TEST_F(TransformTest, HostileValuesAndOddFramesStayInside) {
    for (const char* v : {"nan", "inf", "-inf", "1e308", "-300", "300"}) {
        for (const char* op : {"zoom", "rotate", "perspective x", "perspective y", "move x",
                               "hide left margin", "stretch y", "shear x"}) {
            run.Set("1. effect", op).Set("1. amount", v).Set("2. effect", "rotate");
            run.Set("2. amount", "33");
            for (const char* mode : {"none", "bilinear", "bicubic (more exact)"}) {
                run.Set("interpolate", mode);
                for (auto fmt : {FrameFormat{1, 1, 32}, FrameFormat{7, 3, 24, 0, true, 2},
                                 FrameFormat{6, 5, 16, 2}}) {
                    Frame in(fmt);
                    test::PaintTestPicture(in);
                    Frame* out = run.Render(in);
                    ASSERT_NE(out, nullptr);
                    ASSERT_TRUE(test::PaddingUntouched(*out)) << v << " " << op << " " << mode;
                }
            }
        }
    }
}

}  // namespace
}  // namespace vx
