// Kaleidoscope, Lens and Waves.
#include <gtest/gtest.h>

#include "core/random.h"
#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;
using Bytes = std::vector<uint8_t>;

Bytes Px(Frame& f, int x, int y) {
    int n = f.BytesPerPixel();
    return {f.Row(y) + n * x, f.Row(y) + n * x + n};
}

struct Decl {
    const char* name;
    int32_t kind;
    double def, min, max, step;
    std::vector<const char*> choices;
};

void ExpectDeclarations(test::EffectRun& run, const std::vector<Decl>& rows) {
    const auto& d = run.instance().params().Declared();
    ASSERT_EQ(d.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const Decl& r = rows[i];
        SCOPED_TRACE(r.name);
        EXPECT_EQ(host::Narrow(d[i]->name.c_str()), r.name);
        EXPECT_EQ(d[i]->kind, r.kind);
        EXPECT_EQ(d[i]->index, int32_t(i));
        if (r.kind == kKindReal) {
            EXPECT_EQ(d[i]->realDefault, r.def);
            EXPECT_EQ(d[i]->step, r.step);
            EXPECT_EQ(d[i]->min, r.min);
            EXPECT_EQ(d[i]->max, r.max);
            EXPECT_EQ(d[i]->sliderMin, r.min);
            EXPECT_EQ(d[i]->sliderMax, r.max);
        } else if (r.kind == kKindInteger) {
            EXPECT_EQ(d[i]->integerDefault, r.def);
            EXPECT_EQ(d[i]->step, r.step);
            EXPECT_EQ(d[i]->min, r.min);
            EXPECT_EQ(d[i]->max, r.max);
        } else if (r.kind == kKindBoolean) {
            EXPECT_EQ(d[i]->booleanDefault, r.def);
        } else {
            EXPECT_EQ(d[i]->integerDefault, r.def);
            ASSERT_EQ(d[i]->choiceCount, int32_t(r.choices.size()));
            for (size_t k = 0; k < r.choices.size(); ++k)
                EXPECT_EQ(host::Narrow(d[i]->choiceNames[int32_t(k)].c_str()), r.choices[k]);
        }
    }
}

// Renders a few hostile settings on tiny, odd, padded and packed frames.
void ExpectHostileValuesStayInside(test::EffectRun& run, const std::vector<const char*>& names,
                                   const std::vector<const char*>& values) {
    for (const char* name : names)
        for (const char* v : values) {
            run.Set(name, v);
            for (auto fmt :
                 {FrameFormat{1, 1, 32}, FrameFormat{2, 2, 24, 0, false, 0, 1},
                  FrameFormat{7, 3, 24, 0, true, 2}, FrameFormat{5, 6, 16, 2, false, 3}}) {
                Frame in(fmt);
                test::PaintTestPicture(in);
                Frame* out = run.Render(in);
                ASSERT_NE(out, nullptr);
                ASSERT_TRUE(test::PaddingUntouched(*out)) << name << " " << v;
            }
        }
}

struct GeometryTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
};

// -------------------------------------------------------------- Kaleidoscope

TEST_F(GeometryTest, KaleidoscopeDeclarations) {
    test::EffectRun run(library, "VXEKaleidoscope");
    ExpectDeclarations(run, {{"Segments", kKindInteger, 5, 1, 20, 1, {}},
                             {"Angle", kKindReal, 0, 0, 360, 1, {}},
                             {"Mirror", kKindBoolean, 1, 0, 0, 0, {}},
                             {"Circular", kKindBoolean, 0, 0, 0, 0, {}}});
}

TEST_F(GeometryTest, KaleidoscopeOfOneSegmentReproducesTheSource) {
    test::EffectRun run(library, "VXEKaleidoscope");
    run.Set("Segments", "1").Set("Mirror", "false");
    for (const auto& layout : test::kLayouts) {
        Frame in(FrameFormat{33, 24, layout.bitsPerPixel, layout.pixelFormat, layout.bottomUp,
                             layout.rowPadding});
        test::PaintTestPicture(in);
        Frame* out = run.Render(in);
        // The angles are single-precision values: positions in the first row
        // and column can land a millionth of a pixel before the frame, which
        // counts as outside.  Everywhere else the source comes back.
        for (int y = 1; y < 24; ++y)
            for (int x = 1; x < 33; ++x)
                ASSERT_EQ(Px(*out, x, y), Px(in, x, y)) << layout.name;
        EXPECT_TRUE(test::PaddingUntouched(*out));
    }
}

TEST_F(GeometryTest, KaleidoscopeOfTwoMirroredSegmentsMirrorsTheRightHalf) {
    test::EffectRun run(library, "VXEKaleidoscope");
    run.Set("Segments", "2");
    Frame in(FrameFormat{21, 14, 32});
    test::PaintTestPicture(in);
    Frame* out = run.Render(in);
    for (int y = 1; y < 14; ++y)
        for (int j = 0; j <= 10; ++j) {
            ASSERT_EQ(Px(*out, 10 + j, y), Px(in, 10 + j, y)) << j << "," << y;
            ASSERT_EQ(Px(*out, 10 - j, y), Px(in, 10 + j, y)) << j << "," << y;
        }
}

TEST_F(GeometryTest, KaleidoscopeCircleBlacksOutBeyondHalfTheHeight) {
    test::EffectRun run(library, "VXEKaleidoscope");
    run.Set("Segments", "1").Set("Mirror", "false").Set("Circular", "true");
    const std::pair<int, Bytes> black[] = {{32, {0, 0, 0, 255}}, {24, {0, 0, 0}}, {16, {128, 16}}};
    for (const auto& [bpp, want] : black) {
        Frame in(FrameFormat{16, 12, bpp, bpp == 16 ? 1 : 0});
        test::PaintTestPicture(in);
        Frame* out = run.Render(in);
        // Radius 6 about (8, 6): the corners and the far left and right lie outside.
        EXPECT_EQ(Px(*out, 0, 0), want);
        EXPECT_EQ(Px(*out, 1, 6), want);
        EXPECT_EQ(Px(*out, 15, 6), want);
        EXPECT_EQ(Px(*out, 2, 6), Px(in, 2, 6));
        EXPECT_EQ(Px(*out, 8, 6), Px(in, 8, 6));
        EXPECT_EQ(Px(*out, 8, 0), Px(in, 8, 0));
    }
}

TEST_F(GeometryTest, KaleidoscopeHostileValuesEnd) {
    test::EffectRun run(library, "VXEKaleidoscope");
    run.Set("Circular", "true");
    ExpectHostileValuesStayInside(run, {"Angle"}, {"nan", "inf", "-inf", "1e300", "-1e300", "-1"});
    ExpectHostileValuesStayInside(run, {"Segments"}, {"0", "-5", "2147483647", "-2147483648"});
}

// ---------------------------------------------------------------------- Lens

TEST_F(GeometryTest, LensDeclarations) {
    test::EffectRun run(library, "VXELens");
    ExpectDeclarations(run, {{"pos1x", kKindReal, 50, 0, 100, 0.1, {}},
                             {"pos1y", kKindReal, 50, 0, 100, 0.1, {}},
                             {"pos2x", kKindReal, 50, 0, 100, 0.1, {}},
                             {"pos2y", kKindReal, 50, 0, 100, 0.1, {}},
                             {"Width", kKindReal, 20, 0, 100, 0.1, {}},
                             {"Height", kKindReal, 20, 0, 100, 0.1, {}},
                             {"Zoom", kKindReal, 20, -150, 150, 0.1, {}},
                             {"Type", kKindChoice, 0, 0, 0, 0, {"Constant", "Linear"}},
                             {"Form", kKindChoice, 0, 0, 0, 0, {"Ellipse", "Rectangle"}}});
}

TEST_F(GeometryTest, LensWithoutZoomOrSizeLeavesThePicture) {
    test::EffectRun run(library, "VXELens");
    Frame in(FrameFormat{20, 20, 32});
    test::PaintTestPicture(in);
    run.Set("Width", "60").Set("Height", "45");
    for (const char* type : {"Constant", "Linear"}) {
        run.Set("Type", type).Set("Zoom", "0");
        EXPECT_EQ(run.Render(in)->Pixels(), in.Pixels()) << type;
    }
    run.Set("Zoom", "80").Set("Width", "0");
    EXPECT_EQ(run.Render(in)->Pixels(), in.Pixels());
    run.Set("Width", "50").Set("Height", "0");
    EXPECT_EQ(run.Render(in)->Pixels(), in.Pixels());
}

TEST_F(GeometryTest, LensBoundsAreCopiedAndItsInsideMagnified) {
    test::EffectRun run(library, "VXELens");
    Frame in(FrameFormat{20, 20, 32});
    test::PaintTestPicture(in);
    // Centre (10, 10), half sizes 4: the lines x = 6, 14 and y = 6, 14 are bounds.
    run.Set("Width", "40").Set("Height", "40").Set("Zoom", "50").Set("Form", "Rectangle");
    Frame* out = run.Render(in);
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(Px(*out, 6, k), Px(in, 6, k));
        EXPECT_EQ(Px(*out, 14, k), Px(in, 14, k));
        EXPECT_EQ(Px(*out, k, 6), Px(in, k, 6));
        EXPECT_EQ(Px(*out, k, 14), Px(in, k, 14));
    }
    // Constant zoom 0.5: (12, 8) samples (11, 9), (13, 13) samples (11.5, 11.5).
    EXPECT_EQ(Px(*out, 12, 8), Px(in, 11, 9));
    EXPECT_EQ(Px(*out, 10, 10), Px(in, 10, 10));
    EXPECT_NE(Px(*out, 13, 13), Px(in, 13, 13));
    // The ellipse (a circle here) leaves the box's corner (13, 13) alone.
    run.Set("Form", "Ellipse");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 13, 13), Px(in, 13, 13));
    EXPECT_EQ(Px(*out, 12, 8), Px(in, 11, 9));
    // Linear: quadratic in the distance; (12, 10) samples 12 - (2/4)^2 * 4 * 1 = 11.
    run.Set("Type", "Linear").Set("Zoom", "100");
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 12, 10), Px(in, 11, 10));
    EXPECT_EQ(Px(*out, 10, 10), Px(in, 10, 10));
}

TEST_F(GeometryTest, LensMovesAlongItsPathOverTheClip) {
    test::EffectRun run(library, "VXELens");
    Frame in(FrameFormat{20, 20, 24});
    test::PaintTestPicture(in);
    run.Set("pos1x", "25").Set("pos2x", "75").Set("Zoom", "100").Set("Form", "Rectangle");
    host::RenderContext& ctx = run.instance().context();
    ctx.SetFrame(50);  // half way: the lens is at the centre (10, 10)
    Frame* out = run.Render(in);
    EXPECT_EQ(Px(*out, 11, 10), Px(in, 10, 10));
    EXPECT_EQ(Px(*out, 9, 11), Px(in, 10, 10));
    EXPECT_EQ(Px(*out, 5, 10), Px(in, 5, 10));
    ctx.SetFrame(0);  // at (5, 10)
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 6, 10), Px(in, 5, 10));
    EXPECT_EQ(Px(*out, 11, 10), Px(in, 11, 10));
    ExpectHostileValuesStayInside(run, {"pos1x", "Width", "Zoom"},
                                  {"nan", "inf", "-inf", "1e308", "-1e308", "0"});
}

// --------------------------------------------------------------------- Waves

TEST_F(GeometryTest, WavesDeclarations) {
    test::EffectRun run(library, "VXEWaves");
    ExpectDeclarations(
        run,
        {{"Type", kKindChoice, 0, 0, 0, 0, {"sine", "zigzag", "square", "trapezoid", "random"}},
         {"Direction", kKindChoice, 0, 0, 0, 0, {"horizontal", "vertical"}},
         {"Frequency", kKindReal, 80, 0, 200, 0.1, {}},
         {"Amplitude", kKindReal, 60, 1, 200, 0.1, {}},
         {"Speed", kKindReal, 0, 0, 100, 0.1, {}},
         {"Offset", kKindReal, 0, 0, 100, 0.1, {}},
         {"Move", kKindReal, 0, -10, 10, 0.1, {}}});
}

// The row each column of row y shows in a frame whose blue bytes number the rows.
std::vector<int> RowsShown(test::EffectRun& run, int width, int height, int y) {
    Frame in(FrameFormat{width, height, 32});
    for (int r = 0; r < height; ++r)
        for (int x = 0; x < width; ++x) {
            in.Row(r)[4 * x] = uint8_t(r);
            in.Row(r)[4 * x + 3] = 255;
        }
    Frame* out = run.Render(in);
    std::vector<int> rows;
    for (int x = 0; x < width; ++x)
        rows.push_back(out->Row(y)[4 * x + 3] == 0 ? -1 : out->Row(y)[4 * x]);
    return rows;
}

TEST_F(GeometryTest, WavesOfTheShortestQuarterRepeatEveryFourSamples) {
    test::EffectRun run(library, "VXEWaves");
    run.Set("Frequency", "200").Set("Type", "square").Set("Amplitude", "10");
    EXPECT_EQ(RowsShown(run, 8, 6, 3), (std::vector<int>{4, 4, 2, 2, 4, 4, 2, 2}));
    EXPECT_EQ(RowsShown(run, 8, 6, 0), (std::vector<int>{1, 1, -1, -1, 1, 1, -1, -1}));
    run.Set("Offset", "25");  // shifted by two samples
    EXPECT_EQ(RowsShown(run, 8, 6, 3), (std::vector<int>{2, 2, 4, 4, 2, 2, 4, 4}));
    run.Set("Offset", "0").Set("Type", "sine");  // sine's first entry is 0
    EXPECT_EQ(RowsShown(run, 8, 6, 3), (std::vector<int>{3, 3, 3, 3, 3, 3, 3, 3}));
}

TEST_F(GeometryTest, WavesStrengthSwingsWithSpeedAndMoveShiftsTheWave) {
    test::EffectRun run(library, "VXEWaves");
    run.Set("Frequency", "200").Set("Type", "square").Set("Amplitude", "20");
    host::RenderContext& ctx = run.instance().context();
    // Square of 2 times strength 2 * e: e = 1 at the start, 0.5 half way with Speed 10.
    run.Set("Speed", "10");
    ctx.SetFrame(0);
    EXPECT_EQ(RowsShown(run, 4, 12, 5), (std::vector<int>{9, 9, 1, 1}));
    ctx.SetFrame(50);
    EXPECT_EQ(RowsShown(run, 4, 12, 5), (std::vector<int>{7, 7, 3, 3}));
    run.Set("Speed", "40");  // half way: e = -1
    EXPECT_EQ(RowsShown(run, 4, 12, 5), (std::vector<int>{1, 1, 9, 9}));
    // Move -0.04 half way shifts by 2 samples, as an Offset of 2 samples does.
    run.Set("Speed", "0").Set("Move", "-0.04");
    const auto moved = RowsShown(run, 20, 12, 5);
    run.Set("Move", "0").Set("Offset", "10");
    EXPECT_EQ(RowsShown(run, 20, 12, 5), moved);
    run.Set("Move", "0.04").Set("Offset", "0");  // -2 wraps to W x H - 2: quarter 2, falling
    EXPECT_EQ(RowsShown(run, 20, 12, 5)[0], 1);
}

TEST_F(GeometryTest, WavesVerticalDisplacesRowsSideways) {
    test::EffectRun run(library, "VXEWaves");
    run.Set("Frequency", "200").Set("Type", "square").Set("Amplitude", "10");
    run.Set("Direction", "vertical");
    Frame in(FrameFormat{6, 8, 24});
    test::PaintTestPicture(in);
    Frame* out = run.Render(in);
    EXPECT_EQ(Px(*out, 2, 0), Px(in, 3, 0));
    EXPECT_EQ(Px(*out, 2, 1), Px(in, 3, 1));
    EXPECT_EQ(Px(*out, 2, 2), Px(in, 1, 2));
    EXPECT_EQ(Px(*out, 0, 2), (Bytes{0, 0, 0}));
    EXPECT_EQ(Px(*out, 5, 4), (Bytes{0, 0, 0}));
}

TEST_F(GeometryTest, WavesRandomShapeDrawsFromTheSharedGenerator) {
    test::EffectRun run(library, "VXEWaves");
    run.Set("Frequency", "200").Set("Type", "random").Set("Amplitude", "100");
    // Seed 1 gives 41, then 18467: table entries (41/32767 - 0.5) * 20 and
    // (18467/32767 - 0.5) * 20, each displaced by 10 times that.
    SeedRandom(1);
    const int first = int(150 + (41 * 3.051850947599719e-05 - 0.5) * 10 * 2 * 10 + 0.5);
    const int second = int(150 + (18467 * 3.051850947599719e-05 - 0.5) * 10 * 2 * 10 + 0.5);
    EXPECT_EQ(first, 50);
    EXPECT_EQ(RowsShown(run, 1, 200, 150)[0], first);
    EXPECT_EQ(RowsShown(run, 1, 200, 150)[0], second);  // the sequence continues
    EXPECT_EQ(NextRandom(), 6334);
}

TEST_F(GeometryTest, WavesHostileValuesEnd) {
    test::EffectRun run(library, "VXEWaves");
    for (const char* type : {"sine", "random"}) {
        run.Set("Type", type);
        ExpectHostileValuesStayInside(run, {"Frequency", "Offset", "Move", "Speed"},
                                      {"nan", "inf", "-inf", "1e308", "-1e308", "1000", "0"});
    }
    run.Set("Direction", "vertical").Set("Frequency", "0").Set("Amplitude", "200");
    ExpectHostileValuesStayInside(run, {"Amplitude"}, {"200", "nan", "-inf", "1e300"});
}

// The map of source positions is kept between frames: a change of any
// parameter, of the frame size, layout, row order or fields must rebuild it.
TEST_F(GeometryTest, KaleidoscopeFollowsEveryChangeBetweenFrames) {
    using test::RenderStep;
    test::ExpectSameAsFreshInstances(
        library, "VXEKaleidoscope",
        {RenderStep{{}, FrameFormat{41, 30, 32}}, RenderStep{{}, FrameFormat{41, 30, 32}},
         RenderStep{{{"Segments", "7"}}, FrameFormat{41, 30, 32}},
         RenderStep{{{"Angle", "33"}}, FrameFormat{41, 30, 32}},
         RenderStep{{{"Mirror", "false"}}, FrameFormat{41, 30, 32}},
         RenderStep{{{"Circular", "true"}}, FrameFormat{41, 30, 32}},
         RenderStep{{}, FrameFormat{40, 31, 32}}, RenderStep{{}, FrameFormat{40, 31, 24}},
         RenderStep{{}, FrameFormat{40, 31, 24, 0, true}},
         RenderStep{{}, FrameFormat{40, 31, 24, 0, true, 3}},
         RenderStep{{}, FrameFormat{40, 31, 24, 0, true, 3, 1}},
         RenderStep{{}, FrameFormat{40, 31, 16, 1}}});
}

}  // namespace
}  // namespace vx
