// ColorChange: the RGB distance key's core, band and outside, its three
// treatments and the alpha it writes.
#include <gtest/gtest.h>

#include "host/standin_host.h"
#include "tests/colour_test_support.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;
using test::Px;
using test::SetPx;

struct ColorChangeTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEColorChange"};

    // Key (100, 50, 50); one row of pixels at growing distances from it.
    Frame Row(int32_t bpp) {
        Frame f(FrameFormat{6, 1, bpp});
        const uint8_t a = 77;
        const std::vector<std::vector<uint8_t>> px = {
            {50, 50, 100, a},  // d 0
            {50, 50, 110, a},  // d 10, red +10
            {50, 45, 85, 0},   // d 20, alpha 0
            {50, 50, 125, a},  // d 25
            {50, 60, 120, a},  // d 30
            {50, 61, 120, a},  // d 31
        };
        for (int x = 0; x < 6; ++x)
            SetPx(f, x, 0, {px[x].begin(), px[x].begin() + bpp / 8});
        run.Set("Color red", "100").Set("Color green", "50").Set("Color blue", "50");
        return f;
    }
};

TEST_F(ColorChangeTest, DeclaresItsParameters) {
    const std::vector<const char*> treatments = {"don't change", "change color",
                                                 "make transparent"};
    test::ExpectDeclarations(run.instance().params(),
                             {{kKindReal, "Color red", 0, 1, 0, 255},
                              {kKindReal, "Color green", 0, 1, 0, 255},
                              {kKindReal, "Color blue", 0, 1, 0, 255},
                              {kKindInteger, "Color range", 30, 1, 0, 765},
                              {kKindInteger, "Border", 10, 1, 0, 100},
                              {kKindChoice, "Change color", 0, 0, 0, 0, treatments},
                              {kKindReal, "New color red", 0, 1, 0, 255},
                              {kKindReal, "New color green", 0, 1, 0, 255},
                              {kKindReal, "New color blue", 0, 1, 0, 255},
                              {kKindBoolean, "Black and white", 1}});
}

TEST_F(ColorChangeTest, BorderZeroSelectsUpToTheRangeAndGreysTheRest) {
    Frame in = Row(32);
    run.Set("Border", "0").Set("Change color", "change color");
    run.Set("New color red", "200").Set("New color green", "0").Set("New color blue", "250");
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out, &in);
    EXPECT_TRUE(out->alphaMarked) << "frame operation 38 before 4-byte output";
    // Each selected pixel keeps its offset from the key, limited to a byte.
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{250, 0, 200, 77}));
    EXPECT_EQ(Px(*out, 1, 0), (std::vector<uint8_t>{250, 0, 210, 77}));
    EXPECT_EQ(Px(*out, 2, 0), (std::vector<uint8_t>{250, 0, 185, 255})) << "alpha 0 -> 255";
    EXPECT_EQ(Px(*out, 4, 0), (std::vector<uint8_t>{250, 10, 220, 77})) << "d = range is core";
    EXPECT_EQ(Px(*out, 5, 0), (std::vector<uint8_t>{77, 77, 77, 77})) << "(120+61+50)/3";
}

TEST_F(ColorChangeTest, TheBandBlendsTowardsTheOuterColourAndOpaqueAlpha) {
    Frame in = Row(32);
    run.Set("Change color", "make transparent");  // range 30, border 10: band 20 < d <= 30
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{50, 50, 100, 0})) << "colour kept, hidden";
    EXPECT_EQ(Px(*out, 2, 0), (std::vector<uint8_t>{50, 45, 85, 0}));
    // d 25, t 0.5: towards grey 75, alpha from 0 towards 255.
    EXPECT_EQ(Px(*out, 3, 0), (std::vector<uint8_t>{63, 63, 100, 128}));
    // d 30 = range, t 1: the outer colour, opaque.
    EXPECT_EQ(Px(*out, 4, 0), (std::vector<uint8_t>{76, 76, 76, 255}));

    run.Set("Change color", "don't change").Set("Border", "500");  // held to the range
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{50, 50, 100, 77})) << "only d 0 is core";
    // d 10, t 1/3 towards grey 70; alpha 77 + 178/3.
    EXPECT_EQ(Px(*out, 1, 0), (std::vector<uint8_t>{57, 57, 97, 136}));
}

TEST_F(ColorChangeTest, ThreeByteFramesIgnoreTransparencyInTheCoreButStillBlend) {
    Frame in = Row(24);
    run.Set("Change color", "make transparent");
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(out->alphaMarked);
    EXPECT_EQ(Px(*out, 1, 0), Px(in, 1, 0));
    EXPECT_EQ(Px(*out, 3, 0), (std::vector<uint8_t>{63, 63, 100}));
    EXPECT_TRUE(test::PaddingUntouched(*out));
}

TEST_F(ColorChangeTest, WithoutGreyTreatmentZeroOnlyRaisesZeroAlpha) {
    Frame in(FrameFormat{13, 7, 32, 0, true, 3});
    test::PaintTestPicture(in);
    in.Row(2)[3] = 0;
    run.Set("Black and white", "false").Set("Color range", "0").Set("Border", "0");
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    std::vector<uint8_t> want = in.Pixels();
    for (size_t i = 3; i < want.size(); i += 4)
        if (want[i] == 0) want[i] = 255;
    EXPECT_EQ(out->Pixels(), want);
    EXPECT_TRUE(test::PaddingUntouched(*out));
}

TEST_F(ColorChangeTest, RangeZeroSelectsOnlyTheKeyAndFullRangeEverything) {
    Frame in = Row(32);
    run.Set("Color range", "0").Set("Change color", "make transparent");
    Frame* out = run.Render(in);
    EXPECT_EQ(Px(*out, 0, 0)[3], 0);
    EXPECT_EQ(Px(*out, 1, 0), (std::vector<uint8_t>{70, 70, 70, 77}));
    run.Set("Color range", "765").Set("Border", "0");
    out = run.Render(in);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(Px(*out, x, 0)[3], 0) << x;
}

TEST_F(ColorChangeTest, HostileValuesAndFramesStayInside) {
    for (const char* v : {"nan", "inf", "-inf", "-1e308", "1e308"}) {
        for (const char* name : {"Color red", "Color blue", "New color green"})
            run.Set(name, v);
        for (const char* range : {"-40", "2147483647", "-2147483648"}) {
            run.Set("Color range", range).Set("Border", "-7").Set("Change color", "9");
            for (const auto& fmt : test::HostileFormats()) {
                Frame in(fmt);
                test::PaintTestPicture(in);
                Frame* out = run.Render(in);
                ASSERT_NE(out, nullptr);
                EXPECT_TRUE(test::PaddingUntouched(*out)) << v << " " << range;
                if (fmt.bitsPerPixel == 16) {
                    EXPECT_EQ(out->Pixels(), in.Pixels());
                }
            }
        }
    }
}

}  // namespace
}  // namespace vx
