// ColorGlow: the window's counts at the frame's edges and beside the margin
// box, the three treatments, the darkened margin, and the running sums
// against a plain pixel-by-pixel count.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/standin_host.h"
#include "tests/colour_test_support.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;
using test::Px;
using test::SetPx;

// The glow as a plain count: a ring of column entries pushed one by one,
// each column counted row by row.
struct PlainGlow {
    int key[3] = {0, 0, 0}, glow[3] = {0, 0, 0};  // red, green, blue
    int range = 30, treatment = 0, margin[4] = {0, 0, 0, 0};
    double glowRange = 3, intensity = 0;
    bool show = true;

    std::vector<uint8_t> Render(Frame& in) const {
        const int W = in.Format().width, H = in.Format().height, n = in.BytesPerPixel();
        const int rx = int(W * glowRange * 0.01), ry = int(H * glowRange * 0.01);
        const int left = int(W * margin[0] * 0.01), right = int((100 - margin[1]) * W * 0.01);
        const int top = int(H * margin[2] * 0.01), bottom = int((100 - margin[3]) * H * 0.01);
        auto matches = [&](int x, int y) {
            const auto p = Px(in, x, y);
            return std::abs(p[2] - key[0]) + std::abs(p[1] - key[1]) + std::abs(p[0] - key[2]) <=
                   range;
        };
        std::vector<int> ringM(size_t(2 * rx + 1)), ringN(ringM.size());
        size_t at = 0;
        long M = 0, N = 0;
        auto push = [&](int m, int k) {
            M += m - ringM[at];
            N += k - ringN[at];
            ringM[at] = m;
            ringN[at] = k;
            at = (at + 1) % ringM.size();
        };
        auto pushColumn = [&](int c, int y) {
            int m = 0, k = 0;
            for (int r = y - ry; r <= y + ry; ++r)
                if (c >= 0 && c < W && r >= 0 && r < H) ++k, m += matches(c, r);
            push(m, k);
        };
        std::vector<uint8_t> out;
        for (int y = 0; y < H; ++y) {
            for (int c = -rx; c < rx; ++c)
                pushColumn(c, y);
            for (int x = 0; x < W; ++x) {
                const auto p = Px(in, x, y);
                const int src[3] = {p[2], p[1], p[0]};
                int o[4] = {src[0], src[1], src[2], n == 4 ? p[3] : 0};
                if (x < left || x > right || y < top || y > bottom) {
                    if (show) {
                        for (int c = 0; c < 3; ++c)
                            o[c] = int(src[c] * double(0.7f));
                        o[3] = 255;
                    }
                    push(0, 2 * ry + 1);
                } else {
                    pushColumn(x + rx, y);
                    const long m2 = M <= 0 ? M : long((intensity * 0.05 + 1) * M);
                    const double ratio = double(m2) / double(N);
                    const double keep = 1 - ratio < 0 ? 0 : 1 - ratio;
                    for (int c = 0; c < 3; ++c) {
                        if (treatment == 2 || !matches(x, y))
                            o[c] = int(src[c] * keep + glow[c] * ratio);
                        else if (treatment == 1)
                            o[c] = glow[c] + src[c] - key[c];
                        o[c] = o[c] < 0 ? 0 : o[c] > 255 ? 255 : o[c];
                    }
                    o[3] = 255;
                }
                const uint8_t bytes[4] = {uint8_t(o[2]), uint8_t(o[1]), uint8_t(o[0]),
                                          uint8_t(o[3])};
                out.insert(out.end(), bytes, bytes + n);
            }
        }
        return out;
    }

    void Apply(test::EffectRun& run) const {
        const char* colour[3] = {"red", "green", "blue"};
        for (int c = 0; c < 3; ++c) {
            run.Set(std::string("Color ") + colour[c], std::to_string(key[c]));
            run.Set(std::string("New color ") + colour[c], std::to_string(glow[c]));
        }
        const char* margins[4] = {"Left Margin", "Right Margin", "Top Margin", "Bottom Margin"};
        for (int i = 0; i < 4; ++i)
            run.Set(margins[i], std::to_string(margin[i]));
        run.Set("Color range", std::to_string(range))
            .Set("Glow range", std::to_string(glowRange))
            .Set("Glow intensity", std::to_string(intensity))
            .Set("Change orig. color", std::to_string(treatment))
            .Set("Show margin", show ? "true" : "false");
    }
};

struct ColorGlowTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEColorGlow"};

    // A grey frame of 5 x 5 with key-red pixels where asked.
    static Frame Grey(int bpp, std::initializer_list<std::pair<int, int>> keyed) {
        Frame f(FrameFormat{5, 5, bpp});
        const size_t n = size_t(bpp / 8);
        const std::vector<uint8_t> grey = {100, 100, 100, 0}, red = {0, 0, 200, 0};
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x)
                SetPx(f, x, y, {grey.begin(), grey.begin() + n});
        for (auto [x, y] : keyed)
            SetPx(f, x, y, {red.begin(), red.begin() + n});
        return f;
    }
};

TEST_F(ColorGlowTest, DeclaresItsParameters) {
    test::ExpectDeclarations(run.instance().params(),
                             {{kKindReal, "Color red", 0, 1, 0, 255},
                              {kKindReal, "Color green", 0, 1, 0, 255},
                              {kKindReal, "Color blue", 0, 1, 0, 255},
                              {kKindInteger, "Color range", 30, 1, 0, 765},
                              {kKindReal, "Glow range", 3, 0.1, 0, 50},
                              {kKindReal, "New color red", 0, 1, 0, 255},
                              {kKindReal, "New color green", 0, 1, 0, 255},
                              {kKindReal, "New color blue", 0, 1, 0, 255},
                              {kKindReal, "Glow intensity", 0, 1, 0, 100},
                              {kKindChoice,
                               "Change orig. color",
                               0,
                               0,
                               0,
                               0,
                               {"don't change", "set to glow color", "glow inside"}},
                              {kKindInteger, "Left Margin", 0, 1, 0, 100},
                              {kKindInteger, "Right Margin", 0, 1, 0, 100},
                              {kKindInteger, "Top Margin", 0, 1, 0, 100},
                              {kKindInteger, "Bottom Margin", 0, 1, 0, 100},
                              {kKindBoolean, "Show margin", 1}});
}

TEST_F(ColorGlowTest, GlowRangeZeroChangesOnlyKeyPixelsByTheIntensity) {
    Frame in = Grey(32, {{2, 2}});
    run.Set("Color red", "200").Set("Glow range", "0").Set("New color green", "40");
    run.Set("Change orig. color", "glow inside");
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(out->alphaMarked);
    EXPECT_EQ(Px(*out, 2, 2), (std::vector<uint8_t>{0, 40, 0, 255})) << "ratio 1";
    EXPECT_EQ(Px(*out, 1, 2), (std::vector<uint8_t>{100, 100, 100, 255})) << "ratio 0";
    // Intensity 100 multiplies the count by 6: the glow colour six times over.
    run.Set("Glow intensity", "100").Set("New color green", "30").Set("New color blue", "50");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 2, 2), (std::vector<uint8_t>{255, 180, 0, 255}));
}

TEST_F(ColorGlowTest, WindowsAtTheEdgeCountOnlyInFramePixels) {
    // Glow range 20 on 5 x 5: rx = ry = 1.  Key pixel in the corner.
    Frame in = Grey(24, {{0, 0}});
    run.Set("Color red", "200").Set("Glow range", "20").Set("New color red", "250");
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    // (1, 0): 1 match among 2 x 3 in-frame pixels; (1, 1): 1 among 9.
    EXPECT_EQ(Px(*out, 1, 0), (std::vector<uint8_t>{83, 83, 125}));  // 100 * 5/6 + 250/6
    EXPECT_EQ(Px(*out, 1, 1), (std::vector<uint8_t>{88, 88, 116}));  // 100 * 8/9 + 250/9
    EXPECT_EQ(Px(*out, 2, 2), (std::vector<uint8_t>{100, 100, 100}));
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{0, 0, 200})) << "key colour kept";
    run.Set("Change orig. color", "set to glow color").Set("New color blue", "30");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{30, 0, 250})) << "shifted by glow - key";
}

TEST_F(ColorGlowTest, TheMarginIsDarkenedOrCopiedAndPushesEmptyColumns) {
    Frame in = Grey(32, {});
    SetPx(in, 0, 0, {10, 20, 30, 0});
    run.Set("Top Margin", "20").Set("Left Margin", "50").Set("Right Margin", "50");
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    // 0.7 as a float: 10 * 0.699999988 = 6.99999988, truncated to 6.
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{6, 13, 20, 255}));
    EXPECT_EQ(Px(*out, 2, 3), (std::vector<uint8_t>{100, 100, 100, 255})) << "the box: x = 2";
    EXPECT_EQ(Px(*out, 3, 3), (std::vector<uint8_t>{69, 69, 69, 255})) << "69.9999988";
    run.Set("Show margin", "false");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{10, 20, 30, 0})) << "copied as it is";

    // Left of the box the columns are empty: a key column there adds to N
    // only, so the glow at the box's edge is weaker than the count alone.
    PlainGlow plain;
    plain.key[0] = 200;
    plain.glow[1] = 255;
    plain.glowRange = 20;
    plain.margin[0] = 40;
    plain.show = false;
    Frame keyed = Grey(32, {{1, 1}, {1, 2}, {1, 3}, {3, 2}});
    plain.Apply(run);
    out = run.Render(keyed);
    EXPECT_EQ(out->Pixels(), plain.Render(keyed));
    // (2, 2): columns 1 and 2 were pushed by pixels left of the box, empty
    // with 3 pixels each; column 3 holds 1 match of 3.  Ratio 1/9, not 4/9.
    EXPECT_EQ(Px(*out, 2, 2), (std::vector<uint8_t>{88, 117, 88, 255}));
}

TEST_F(ColorGlowTest, FullRangeGlowsTheWholeBoxOrKeepsEveryPixel) {
    Frame in(FrameFormat{9, 6, 32});
    test::PaintTestPicture(in);
    run.Set("Color range", "765").Set("New color blue", "255").Set("Change orig. color", "2");
    Frame* out = run.Render(in);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(Px(*out, x, y), (std::vector<uint8_t>{255, 0, 0, 255})) << x << "," << y;
    run.Set("Change orig. color", "don't change");
    out = run.Render(in);
    std::vector<uint8_t> want = in.Pixels();
    for (size_t i = 3; i < want.size(); i += 4)
        want[i] = 255;
    EXPECT_EQ(out->Pixels(), want);
}

// The running sums against the plain count, over sizes, row orders, pixel
// sizes, margins, ranges, intensities and treatments.
TEST_F(ColorGlowTest, RunningSumsMatchThePlainCount) {
    const FrameFormat formats[] = {
        {23, 17, 32}, {16, 9, 24, 0, true, 3}, {1, 1, 32}, {2, 31, 24}, {40, 3, 32, 0, true}};
    for (int k = 0; k < 24; ++k) {
        PlainGlow plain;
        for (int c = 0; c < 3; ++c) {
            plain.key[c] = (k * 53 + c * 91) % 256;
            plain.glow[c] = (k * 31 + c * 77) % 256;
        }
        plain.range = (k * 37) % 400;
        plain.glowRange = (k % 6) * 9.3;
        plain.intensity = (k % 4) * 33;
        plain.treatment = k % 3;
        for (int i = 0; i < 4; ++i)
            plain.margin[i] = ((k + i) % 5) * ((k % 3) * 7);
        plain.show = k % 2 == 0;
        plain.Apply(run);
        for (const FrameFormat& fmt : formats) {
            Frame in(fmt);
            test::PaintTestPicture(in, uint32_t(k + 3));
            Frame* out = run.Render(in);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(out->Pixels(), plain.Render(in))
                << "case " << k << " " << fmt.width << "x" << fmt.height;
            EXPECT_TRUE(test::PaddingUntouched(*out));
        }
    }
}

// Counts that vary over thousands of values across a large window: the
// glow of each count is kept in a bounded number of tables, and the counts
// beyond them must glow just the same.
TEST_F(ColorGlowTest, ManyDifferentCountsMatchThePlainCount) {
    Frame in(FrameFormat{320, 240, 32});
    // Key-red pixels grow denser from left to right, in a scattered pattern.
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const bool key = (x * 37 + y * 101 + x * y) % 320 < x;
            SetPx(in, x, y,
                  key ? std::vector<uint8_t>{0, 0, 200, 0}
                      : std::vector<uint8_t>{uint8_t(x), uint8_t(y), 20, 0});
        }
    PlainGlow plain;
    plain.key[0] = 200;
    plain.range = 40;
    plain.glowRange = 20;
    plain.glow[2] = 250;
    plain.intensity = 30;
    // Key pixels shifted (their own table) or glowing like the rest.
    for (int treatment : {1, 2}) {
        plain.treatment = treatment;
        plain.Apply(run);
        EXPECT_EQ(run.Render(in)->Pixels(), plain.Render(in)) << "treatment " << treatment;
    }
}

// What is kept between frames follows every change of the window, the
// intensity, the glow colour, the treatment and the frame.
TEST_F(ColorGlowTest, FollowsEveryChangeBetweenFrames) {
    using test::RenderStep;
    const FrameFormat frame{60, 40, 32};
    test::ExpectSameAsFreshInstances(
        library, "VXEColorGlow",
        {RenderStep{{{"Color red", "255"},
                     {"Color range", "60"},
                     {"Glow range", "10"},
                     {"New color green", "200"}},
                    frame},
         RenderStep{{}, frame}, RenderStep{{{"New color green", "100"}}, frame},
         RenderStep{{{"Glow intensity", "40"}}, frame}, RenderStep{{{"Glow range", "15"}}, frame},
         RenderStep{{}, FrameFormat{61, 41, 24}},
         RenderStep{{{"Change orig. color", "1"}, {"Top Margin", "10"}}, FrameFormat{61, 41, 24}},
         RenderStep{{{"Change orig. color", "2"}}, frame}});
}

TEST_F(ColorGlowTest, HostileValuesAndFramesStayInside) {
    for (const char* v : {"nan", "inf", "-inf", "-1e308", "1e308"}) {
        for (const char* name : {"Color red", "Glow range", "Glow intensity", "New color blue"})
            run.Set(name, v);
        for (const char* i : {"-40", "2147483647", "-2147483648"}) {
            run.Set("Color range", i).Set("Left Margin", i).Set("Bottom Margin", i);
            run.Set("Change orig. color", "7");
            test::RenderHostileFormats(run, std::string(v) + " " + i);
        }
    }
}

}  // namespace
}  // namespace vx
