// Transparency: the shapes' levels, the border ramp, invert, alpha that never
// rises, fading three-byte frames, and the seeded random shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>

#include "core/random.h"
#include "core/sampling.h"
#include "effects/colour/transparency.h"
#include "host/standin_host.h"
#include "tests/colour_test_support.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;
using test::Px;

struct TransparencyTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXETransparency"};

    // A 4-byte frame of one colour and alpha.
    static void Flat(Frame& f, uint8_t alpha) {
        for (int y = 0; y < f.Format().height; ++y)
            for (int x = 0; x < f.Format().width; ++x)
                test::SetPx(f, x, y, {40, 80, 120, alpha});
    }
    static std::vector<uint8_t> Alphas(Frame& f) {
        std::vector<uint8_t> a;
        for (int y = 0; y < f.Format().height; ++y)
            for (int x = 0; x < f.Format().width; ++x)
                a.push_back(Px(f, x, y)[3]);
        return a;
    }
};

TEST_F(TransparencyTest, DeclaresItsParameters) {
    test::ExpectDeclarations(run.instance().params(),
                             {{kKindChoice,
                               "Type",
                               0,
                               0,
                               0,
                               0,
                               {"horizontal", "vertical", "oval", "circle", "box", "holes", "all",
                                "random", "confetti"}},
                              {kKindReal, "Value", 50, 0.2, 0, 100},
                              {kKindReal, "Border", 0, 1, 0, 100},
                              {kKindBoolean, "invert", 0}});
}

TEST_F(TransparencyTest, ShapeLevels) {
    const TransparencyShape& box = *TransparencyShapeOf(kBox);
    EXPECT_DOUBLE_EQ(box.Evaluate(0.5, 0.5, 0.4, 0), 0.2 * 1.5);
    EXPECT_DOUBLE_EQ(box.Evaluate(0.5, 0.75, 0.4, 0), 0.7 - 0.75);  // below
    EXPECT_DOUBLE_EQ(box.Evaluate(0.1, 0.5, 0.4, 0), 0.1 - 0.3);    // left
    EXPECT_NEAR(box.Evaluate(0.0, 1.1, 0.4, 0), -0.5, 1e-12);       // corner, 3-4-5
    EXPECT_DOUBLE_EQ(box.Evaluate(0.5, 0.5, -0.2, 0), 0.5);         // negative value
    EXPECT_NEAR(TransparencyShapeOf(kCircle)->Evaluate(0.82, 0.8, 0.3, 0), (0.5 - 0.3) * -0.71,
                1e-12);  // dx 0.32 * 1.25, dy 0.3
    EXPECT_DOUBLE_EQ(TransparencyShapeOf(kVertical)->Evaluate(0.25, 0.9, 0.5, 0), 0.5);
    EXPECT_EQ(TransparencyShapeOf(kAll)->Evaluate(0.9, 0.9, 0.5, 0), 0.0);
    EXPECT_EQ(TransparencyShapeOf(-1), nullptr);
    EXPECT_EQ(TransparencyShapeOf(kTransparencyTypes), nullptr);
}

TEST_F(TransparencyTest, RowsOfTheRandomShapesMatchPointEvaluationAndGeneratorState) {
    const int W = 23, H = 7;
    std::vector<double> xs(W), row(W);
    for (int j = 0; j < W; ++j)
        xs[size_t(j)] = double(j) / W;
    for (int type : {kHoles, kConfetti, kRandom, kBox}) {
        for (double v : {0.0, 0.013, 0.37, 1.0}) {
            const double r = 0.31;
            const TransparencyShape& shape = *TransparencyShapeOf(type);
            std::vector<double> byPoint;
            for (int i = 0; i < H; ++i)
                for (int j = 0; j < W; ++j)
                    byPoint.push_back(shape.Evaluate(xs[size_t(j)], double(i) / H, v, r));
            const int32_t after = NextRandom();
            ShapeFrame frame;
            shape.BeginFrame(v, r, &frame);
            std::vector<double> byRow;
            for (int i = 0; i < H; ++i) {
                shape.EvaluateRow(double(i) / H, v, r, xs.data(), W, &frame, row.data());
                byRow.insert(byRow.end(), row.begin(), row.end());
            }
            EXPECT_EQ(byRow, byPoint) << type << " " << v;
            if (type != kBox) {
                EXPECT_EQ(NextRandom(), after) << type << " " << v;
            }
        }
    }
}

// Rows a shape calls the same are given one row's opacities: every point of
// them must evaluate to the very same level.
TEST_F(TransparencyTest, RowsAShapeCallsTheSameEvaluateTheSame) {
    for (int type = 0; type < kTransparencyTypes; ++type) {
        const TransparencyShape& shape = *TransparencyShapeOf(type);
        int same = 0;
        for (int H : {43, 61, 480})
            for (double v : {0.13, 0.4, 0.6, 0.95}) {
                for (int i = 0; i < H; ++i) {
                    const double y = double(i) / H, other = double(H - i) / H;
                    if (!shape.SameRows(y, other, v)) continue;
                    ++same;
                    for (int j = 0; j < 97; ++j)
                        ASSERT_EQ(shape.Evaluate(j / 97.0, y, v, 0.1),
                                  shape.Evaluate(j / 97.0, other, v, 0.1))
                            << type << " " << H << " " << i << " " << v;
                }
            }
        const bool mirrored = type == kOval || type == kCircle || type == kBox;
        EXPECT_EQ(same > 0, mirrored) << type;
    }
}

TEST_F(TransparencyTest, BorderZeroGivesHardEdgesAndAlphaNeverRises) {
    Frame in(FrameFormat{4, 10, 32});
    Flat(in, 200);
    test::SetPx(in, 0, 0, {1, 2, 3, 9});
    run.Set("Value", "50");
    Frame* out = run.Render(in);
    ASSERT_EQ(out, &in) << "works in place";
    const std::vector<uint8_t> a = Alphas(in);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(a[size_t(i)], i < 4 ? (i ? 200 : 9) : i < 24 ? 200 : 0);
    EXPECT_EQ(Px(in, 2, 8), (std::vector<uint8_t>{40, 80, 120, 0})) << "colour stays";
}

TEST_F(TransparencyTest, AllAtHalfIsVisibleJustBelowTransparentAndInvertSwaps) {
    Frame in(FrameFormat{5, 3, 32});
    for (const auto& [value, invert, alpha] : {std::tuple{"50", "false", 255},
                                               {"49.8", "false", 0},
                                               {"49.8", "true", 255},
                                               {"50.2", "true", 0}}) {
        Flat(in, 255);
        run.Set("Type", "all").Set("Value", value).Set("invert", invert);
        run.Render(in);
        EXPECT_EQ(Alphas(in), std::vector<uint8_t>(15, uint8_t(alpha))) << value << invert;
    }
}

TEST_F(TransparencyTest, TheBorderRampAndItsMirrorUnderInvert) {
    // "all" at 0.6 with border 0.4: e = 0.2, level (0.2 + 0.4) * 255 / 0.8.
    Frame in(FrameFormat{2, 2, 24});
    in.Fill(200);
    run.Set("Type", "all").Set("Value", "60").Set("Border", "40");
    run.Render(in);
    EXPECT_EQ(Px(in, 1, 1), (std::vector<uint8_t>{150, 150, 150})) << "191 * 200 / 255";
    in.Fill(200);
    run.Set("invert", "true");
    run.Render(in);
    EXPECT_EQ(Px(in, 1, 1), (std::vector<uint8_t>{50, 50, 50})) << "64 * 200 / 255";
    EXPECT_TRUE(test::PaddingUntouched(in));
}

TEST_F(TransparencyTest, ThreeByteFramesFadeToBlack) {
    Frame in(FrameFormat{9, 6, 24, 0, true, 3});
    test::PaintTestPicture(in);
    const std::vector<uint8_t> before = in.Pixels();
    run.Set("Type", "vertical").Set("Value", "33.4");  // columns 0..3 visible
    run.Render(in);
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(Px(in, 3, y), std::vector<uint8_t>(before.begin() + (y * 9 + 3) * 3,
                                                     before.begin() + (y * 9 + 4) * 3));
        EXPECT_EQ(Px(in, 4, y), (std::vector<uint8_t>{0, 0, 0}));
    }
    EXPECT_TRUE(test::PaddingUntouched(in));
}

TEST_F(TransparencyTest, RandomShapesRepeatForTheSameBorder) {
    Frame in(FrameFormat{40, 30, 32});
    for (const char* type : {"random", "holes", "confetti"}) {
        run.Set("Type", type).Set("Value", "30").Set("Border", "2");
        Flat(in, 255);
        run.Render(in);
        const std::vector<uint8_t> first = Alphas(in);
        NextRandom();  // another user of the generator in between
        Flat(in, 255);
        run.Render(in);
        EXPECT_EQ(Alphas(in), first) << type;
        run.Set("Border", "3");
        Flat(in, 255);
        run.Render(in);
        EXPECT_NE(Alphas(in), first) << type;
    }
    // Every random draw but 32767 lies below 1.
    run.Set("Type", "random").Set("Value", "100");
    Flat(in, 255);
    run.Render(in);
    EXPECT_EQ(Alphas(in), std::vector<uint8_t>(1200, 0));
}

TEST_F(TransparencyTest, HolesWithoutValueDrawNoHole) {
    Frame in(FrameFormat{8, 8, 32});
    for (const char* type : {"holes", "confetti"}) {
        Flat(in, 255);
        run.Set("Type", type).Set("Value", "0").Set("Border", "94");
        run.Render(in);
        EXPECT_EQ(Alphas(in), std::vector<uint8_t>(64, 255)) << type;
    }
}

// The effect against the literal pixel-by-pixel rule: every shape evaluated
// at every pixel through Evaluate, the random generator drawn as it goes.
// Frame-level shortcuts (runs of equal levels, centres drawn once, fast
// generator steps) must give the same bytes and leave the generator where
// the literal rule leaves it.
::testing::AssertionResult RendersAsThePixelByPixelRule(test::EffectRun& run, int type,
                                                        const char* value, const char* border,
                                                        bool invert, int W, int H, int bits) {
    auto level = [](double e, double r) -> uint8_t {
        if (e >= r) return 255;
        if (e < -r) return 0;
        return ClampToByte((e + r) * 255 / (2 * r));
    };
    Frame in(FrameFormat{W, H, bits});
    test::PaintTestPicture(in);
    Frame want = in;
    const double v = std::atof(value) * 0.01, r = std::atof(border) * 0.01;
    const TransparencyShape& shape = *TransparencyShapeOf(type);
    SeedRandom(99);
    for (int i = 0; i < H; ++i)
        for (int j = 0; j < W; ++j) {
            const double e = shape.Evaluate(double(j) / W, double(i) / H, v, r);
            const uint8_t l = level(invert ? -e : e, r);
            uint8_t* p = want.Row(i) + j * (bits / 8);
            if (bits == 32)
                p[3] = std::min(p[3], l);
            else
                for (int c = 0; c < 3; ++c)
                    p[c] = ClampToByte(double(l * p[c]) / 255);
        }
    const int32_t next = NextRandom();
    SeedRandom(99);
    run.Set("Type", host::Narrow(kTransparencyTypeNames[type]))
        .Set("Value", value)
        .Set("Border", border)
        .Set("invert", invert ? "true" : "false");
    run.Render(in);
    const std::string what = std::to_string(type) + " v " + value + " r " + border + " invert " +
                             std::to_string(invert) + " " + std::to_string(W) + "x" +
                             std::to_string(H) + "x" + std::to_string(bits);
    if (in.Pixels() != want.Pixels()) return ::testing::AssertionFailure() << "pixels " << what;
    if (NextRandom() != next) return ::testing::AssertionFailure() << "generator " << what;
    return ::testing::AssertionSuccess();
}

TEST_F(TransparencyTest, EveryShapeRendersAsThePixelByPixelRule) {
    const char* values[] = {"0", "0.2", "13", "37.4", "50", "72", "100"};
    const char* borders[] = {"0", "1", "6", "25", "100"};
    for (int type = 0; type < kTransparencyTypes; ++type) {
        for (int bits : {32, 24}) {
            for (size_t k = 0; k < std::size(values) * std::size(borders); ++k) {
                const bool invert = (k + size_t(type) + size_t(bits)) % 3 == 0;
                ASSERT_TRUE(RendersAsThePixelByPixelRule(
                    run, type, values[k % std::size(values)], borders[k / std::size(values)],
                    invert, bits == 32 ? 97 : 64, bits == 32 ? 61 : 43, bits));
            }
        }
    }
}

// Wide rows give each hole many columns: the nearest centre changes between
// columns that sit close to where two centres are equally near, and the
// soft borders change opacity every column or two.
TEST_F(TransparencyTest, HolesOnWideRowsRenderAsThePixelByPixelRule) {
    for (int type : {kHoles, kConfetti}) {
        for (const auto& [value, border, invert] : {std::tuple{"60", "1", false},
                                                    {"100", "5", true},
                                                    {"80", "12", true},
                                                    {"60", "100", false},
                                                    {"37.4", "0", false},
                                                    {"100", "0.4", false}}) {
            EXPECT_TRUE(
                RendersAsThePixelByPixelRule(run, type, value, border, invert, 1500, 5, 32));
        }
    }
}

// The kept columns' distances, the row buffers and the hard-edge distance
// of the holes follow the width, the shape and invert; a kept object renders
// as a new one.
TEST_F(TransparencyTest, AKeptObjectRendersAsAFreshOne) {
    const FrameFormat small{97, 31, 32}, wide{210, 40, 32}, three{64, 21, 24};
    test::ExpectSameAsFreshInstances(
        library, "VXETransparency",
        {{{{"Type", "oval"}, {"Value", "40"}, {"Border", "10"}}, small},
         {{{"Type", "circle"}}, small},
         {{}, wide},
         {{{"invert", "true"}, {"Value", "55"}}, wide},
         {{{"Type", "confetti"}, {"Border", "5"}}, wide},
         {{{"Type", "holes"}, {"Value", "80"}}, small},
         {{{"Type", "oval"}, {"Border", "0"}}, three},
         {{{"Type", "random"}}, wide},
         {{{"Type", "box"}, {"Border", "30"}}, three},
         {{{"Type", "holes"}, {"Border", "0"}}, small},
         {{{"invert", "false"}}, small},
         {{{"Type", "confetti"}}, wide},
         {{{"Value", "30"}, {"invert", "true"}}, wide}});
}

TEST_F(TransparencyTest, AsksForAlphaOnceAndSurvivesHostileInput) {
    host::CallLog log;
    Frame logged(FrameFormat{3, 3, 32}, &log);
    run.Render(logged);
    EXPECT_EQ(log.Count("frame.PrepareAlpha 0"), 1u);
    for (const char* v : {"nan", "inf", "-inf", "-1e308", "1e308"}) {
        for (const char* type : {"0", "3", "4", "5", "7", "8", "9", "-1"}) {
            run.Set("Type", type).Set("Value", v).Set("Border", v).Set("invert", "true");
            for (const auto& fmt : test::HostileFormats()) {
                Frame in(fmt);
                test::PaintTestPicture(in);
                const std::vector<uint8_t> before = in.Pixels();
                ASSERT_NE(run.Render(in), nullptr);
                EXPECT_TRUE(test::PaddingUntouched(in)) << v << " " << type;
                if (fmt.bitsPerPixel == 16 || std::string(type) == "9") {
                    EXPECT_EQ(in.Pixels(), before);
                }
            }
        }
    }
}

}  // namespace
}  // namespace vx
