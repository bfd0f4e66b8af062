// ColorChange2: the strict hue, saturation and value tests, hue without
// wrap-around, the three treatments and grey, the alpha written, and the
// smoothed selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "host/standin_host.h"
#include "tests/colour_test_support.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;
using test::Px;
using test::SetPx;

struct ColorChange2Test : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEColorChange2"};

    // One row of pixels given as red, green, blue, alpha.
    static Frame Row(int32_t bpp, const std::vector<std::array<uint8_t, 4>>& rgba) {
        Frame f(FrameFormat{int32_t(rgba.size()), 1, bpp});
        for (size_t x = 0; x < rgba.size(); ++x) {
            const auto& p = rgba[x];
            std::vector<uint8_t> bytes = {p[2], p[1], p[0], p[3]};
            bytes.resize(size_t(bpp / 8));
            SetPx(f, int(x), 0, bytes);
        }
        return f;
    }
};

TEST_F(ColorChange2Test, DeclaresItsParameters) {
    test::ExpectDeclarations(run.instance().params(),
                             {{kKindReal, "Color red", 0, 1, 0, 255},
                              {kKindReal, "Color green", 0, 1, 0, 255},
                              {kKindReal, "Color blue", 0, 1, 0, 255},
                              {kKindReal, "Hue range", 5, 0.1, 0, 360},
                              {kKindReal, "Saturation range", 0.1, 0.1, 0, 1},
                              {kKindReal, "Value range", 0.1, 0.1, 0, 1},
                              {kKindBoolean, "Smooth", 0},
                              {kKindChoice,
                               "modify color",
                               0,
                               0,
                               0,
                               0,
                               {"don't change", "change color", "make transparent"}},
                              {kKindReal, "New color red", 0, 1, 0, 255},
                              {kKindReal, "New color green", 0, 1, 0, 255},
                              {kKindReal, "New color blue", 0, 1, 0, 255},
                              {kKindBoolean, "Black and white", 1}});
}

TEST_F(ColorChange2Test, BlackKeySelectsDarkLowSaturationPixelsAndGreysTheRest) {
    // Hue below 5, saturation below 0.1 and value below 0.1, all strict.
    Frame in = Row(32, {{25, 25, 25, 9},      // v 0.098: selected
                        {26, 26, 26, 9},      // v 0.102: grey
                        {20, 19, 19, 0},      // s 0.05, hue 0: selected, alpha 0 -> 255
                        {19, 20, 19, 9},      // hue 120: grey
                        {200, 10, 100, 9}});  // grey (310 / 3 = 103)
    run.Set("modify color", "0");
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(out->alphaMarked) << "frame operation 38 before 4-byte output";
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{25, 25, 25, 9}));
    EXPECT_EQ(Px(*out, 1, 0), (std::vector<uint8_t>{26, 26, 26, 9}));
    EXPECT_EQ(Px(*out, 2, 0), (std::vector<uint8_t>{19, 19, 20, 255}));
    EXPECT_EQ(Px(*out, 3, 0), (std::vector<uint8_t>{19, 19, 19, 9}));  // 58 / 3
    EXPECT_EQ(Px(*out, 4, 0), (std::vector<uint8_t>{103, 103, 103, 9}));

    // Tolerances of 0 select nothing: everything turns grey.
    run.Set("Hue range", "0");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{25, 25, 25, 9}));
    EXPECT_EQ(Px(*out, 2, 0), (std::vector<uint8_t>{19, 19, 19, 255}));
}

TEST_F(ColorChange2Test, HueDoesNotWrapAround) {
    Frame in = Row(24, {{255, 4, 0, 0},    // hue 0.94
                        {255, 0, 4, 0}});  // hue 359.06
    run.Set("Color red", "255").Set("Black and white", "false").Set("modify color", "1");
    run.Set("New color red", "0").Set("New color green", "255");
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(out->alphaMarked);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{0, 255, 0})) << "4 - 0 + 255, limited";
    EXPECT_EQ(Px(*out, 1, 0), (std::vector<uint8_t>{4, 0, 255})) << "359 degrees from the key";
}

TEST_F(ColorChange2Test, TreatmentsKeepTheOffsetOrHideInFourByteFramesOnly) {
    const std::vector<std::array<uint8_t, 4>> px = {{100, 50, 50, 60}, {110, 50, 45, 0}};
    run.Set("Color red", "100").Set("Color green", "50").Set("Color blue", "50");
    run.Set("modify color", "change color").Set("New color red", "20");
    run.Set("New color green", "250").Set("New color blue", "50");
    Frame in = Row(32, px);
    Frame* out = run.Render(in);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{50, 250, 20, 60}));
    EXPECT_EQ(Px(*out, 1, 0), (std::vector<uint8_t>{45, 250, 30, 255})) << "alpha 0 -> 255";

    run.Set("modify color", "make transparent");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{50, 50, 100, 0})) << "colour kept, hidden";
    EXPECT_EQ(Px(*out, 1, 0), (std::vector<uint8_t>{45, 50, 110, 0}));
    Frame in3 = Row(24, px);
    out = run.Render(in3);
    EXPECT_EQ(out->Pixels(), in3.Pixels()) << "three bytes: selected pixels stay";
    EXPECT_TRUE(test::PaddingUntouched(*out));
}

// With "Smooth" the selection sees the 5 x 5 average (edges repeated,
// truncated), the output still takes each pixel's own colour.
TEST_F(ColorChange2Test, SmoothSelectsByTheNeighbourhoodAverage) {
    const int W = 9, H = 7;
    for (const FrameFormat& fmt : {FrameFormat{W, H, 32}, FrameFormat{W, H, 24, 0, true, 2}}) {
        Frame in(fmt);
        test::PaintTestPicture(in, 3);
        run.Set("Color red", "128").Set("Color green", "128").Set("Color blue", "128");
        run.Set("Hue range", "360").Set("Saturation range", "0.3").Set("Value range", "0.12");
        run.Set("modify color", "change color").Set("New color blue", "255");
        run.Set("New color red", "128").Set("New color green", "128");
        run.Set("Black and white", "true").Set("Smooth", "true");
        Frame* out = run.Render(in);
        ASSERT_NE(out, nullptr);
        const int n = in.BytesPerPixel();
        int selected = 0, grey = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                int sum[3] = {0, 0, 0};
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx) {
                        const auto p =
                            Px(in, std::clamp(x + dx, 0, W - 1), std::clamp(y + dy, 0, H - 1));
                        for (int c = 0; c < 3; ++c)
                            sum[c] += p[size_t(c)];
                    }
                const int avg[3] = {sum[0] / 25, sum[1] / 25, sum[2] / 25};  // b, g, r
                const int mx = std::max({avg[0], avg[1], avg[2]});
                const int mn = std::min({avg[0], avg[1], avg[2]});
                const double s = mx ? double(mx - mn) / mx : 0, v = mx / 255.0;
                const bool pick = std::abs(s - 0) < 0.3 && std::abs(v - 128 / 255.0) < 0.12;
                const auto p = Px(in, x, y);
                std::vector<uint8_t> want;
                if (pick) {
                    ++selected;
                    want = {uint8_t(std::min(255, p[0] + 127)), p[1], p[2]};
                } else {
                    ++grey;
                    const uint8_t q = uint8_t((p[0] + p[1] + p[2]) / 3);
                    want = {q, q, q};
                }
                if (n == 4) want.push_back(p[3] ? p[3] : 255);
                EXPECT_EQ(Px(*out, x, y), want) << x << "," << y;
            }
        EXPECT_GT(selected, 3);
        EXPECT_GT(grey, 3);
        EXPECT_TRUE(test::PaddingUntouched(*out));
    }
}

TEST_F(ColorChange2Test, HostileValuesAndFramesStayInside) {
    for (const char* v : {"nan", "inf", "-inf", "-1e308", "1e308"}) {
        for (const char* name : {"Color red", "Hue range", "Value range", "New color green"})
            run.Set(name, v);
        for (const char* smooth : {"false", "true"}) {
            run.Set("Smooth", smooth).Set("modify color", "9");
            test::RenderHostileFormats(run, std::string(v) + " " + smooth);
        }
    }
}

}  // namespace
}  // namespace vx
