// Eraser: the rectangle, the fade, mask pictures from the mask folder, the
// preview and the packed 4:2:2 paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/library.h"
#include "effects/colour/eraser_masks.h"
#include "host/standin_host.h"
#include "tests/file_test_support.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;

std::vector<std::string> warnings;
void RecordWarning(const char16_t* text, const char16_t* caption) {
    warnings.push_back(host::Narrow(caption) + ": " + host::Narrow(text));
}

// A colour frame of one colour, with a "logo" of another colour in the
// rectangle [lx0, lx1) x [ly0, ly1).
void PaintLogo(Frame& f, uint8_t background, uint8_t logo, int lx0, int lx1, int ly0, int ly1) {
    const int n = f.BytesPerPixel();
    for (int y = 0; y < f.Format().height; ++y)
        for (int x = 0; x < f.Format().width; ++x) {
            const bool in = x >= lx0 && x < lx1 && y >= ly0 && y < ly1;
            for (int c = 0; c < n; ++c)
                f.Row(y)[x * n + c] = c == 3 ? 9 : in ? logo : background;
        }
}

struct EraserTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEraser"};
    TempFolder folder{"vex-eraser"};
    char savedFolder[kDescriptorFolderSize];

    void SetUp() override {
        std::memcpy(savedFolder, DescriptorFolder, sizeof savedFolder);
        std::snprintf(DescriptorFolder, sizeof DescriptorFolder, "%s\\",
                      folder.path.string().c_str());
        std::filesystem::create_directory(folder.path / "VXEraser");
        warnings.clear();
        ShowEraserWarning = RecordWarning;
        run.Set("Preview border", "false");
    }
    void TearDown() override { std::memcpy(DescriptorFolder, savedFolder, sizeof savedFolder); }

    // Rectangle in percent of a 40 x 30 frame.
    EraserTest& Rect(const char* left, const char* top, const char* width, const char* height) {
        run.Set("Left Border", left).Set("Top Border", top).Set("Width", width);
        run.Set("Bottom Border", height);
        return *this;
    }
    void Mask(const std::string& name, uint8_t grey) {
        WriteFlatBmp(folder.path / "VXEraser" / name, 5, 4, grey, grey, grey);
    }
    static int Channel(Frame& f, int x, int y, int c = 0) {
        return f.Row(y)[x * f.BytesPerPixel() + c];
    }
};

TEST_F(EraserTest, DeclaresItsSixParameters) {
    const auto& d = run.instance().params().Declared();
    ASSERT_EQ(d.size(), 6u);
    EXPECT_EQ(d[0]->kind, kKindBoolean);
    EXPECT_EQ(d[0]->booleanDefault, 1);
    const struct {
        const char* name;
        double def, max, sliderMax;
    } reals[] = {{"Left Border", 80, 100, 100},
                 {"Top Border", 15, 100, 100},
                 {"Width", 5, 30, 100},
                 {"Bottom Border", 5, 30, 100}};
    for (int i = 0; i < 4; ++i) {
        const host::ParameterRecord& r = *d[size_t(i) + 1];
        EXPECT_EQ(r.index, i + 1);
        EXPECT_EQ(host::Narrow(r.name.c_str()), reals[i].name);
        EXPECT_EQ(r.realDefault, reals[i].def);
        EXPECT_EQ(r.step, 0.1);
        EXPECT_EQ(r.min, 0);
        EXPECT_EQ(r.max, reals[i].max);
        EXPECT_EQ(r.sliderMin, 0);
        EXPECT_EQ(r.sliderMax, reals[i].sliderMax);
    }
    const host::ParameterRecord& mask = *d[5];
    EXPECT_EQ(mask.kind, kKindChoice);
    EXPECT_EQ(host::Narrow(mask.name.c_str()), "Mask");
    EXPECT_EQ(mask.choiceCount, 31);
    ASSERT_EQ(mask.choiceNames.size(), 31u);
    EXPECT_EQ(host::Narrow(mask.choiceNames.at(0).c_str()), "All");
    EXPECT_EQ(host::Narrow(mask.choiceNames.at(1).c_str()), "0");
    EXPECT_EQ(host::Narrow(mask.choiceNames.at(30).c_str()), "29");
}

TEST_F(EraserTest, FadesInOverFivePixelsAndTouchesOnlyTheRectangle) {
    // Rectangle 4..36 x 3..27 on 40 x 30: left 10 %, top 10 %, 80 % by 80 %.
    Rect("10", "10", "30", "80").run.Set("Width", "80");
    for (const auto& layout : test::kLayouts) {
        if (layout.pixelFormat) continue;
        SCOPED_TRACE(layout.name);
        Frame f(FrameFormat{40, 30, layout.bitsPerPixel, 0, layout.bottomUp, layout.rowPadding});
        PaintLogo(f, 200, 0, 4, 36, 3, 27);
        const std::vector<uint8_t> before = f.Pixels();
        Frame* out = run.Render(f);
        ASSERT_EQ(out, &f);
        EXPECT_TRUE(test::PaddingUntouched(f));
        // First row and column keep the logo (weight 0); 5 pixels in it is gone.
        EXPECT_EQ(Channel(f, 4, 10), 0);
        EXPECT_EQ(Channel(f, 10, 3), 0);
        EXPECT_EQ(Channel(f, 6, 10), 80);  // two pixels in: weight 0.4
        EXPECT_EQ(Channel(f, 20, 15), 200);
        EXPECT_EQ(Channel(f, 9, 15), 200);
        // The last column and row of the range [L, R) x [T, B) fade too.
        EXPECT_EQ(Channel(f, 35, 15), 40);
        // Outside: untouched, alpha included.
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                if (x < 4 || x >= 36 || y < 3 || y >= 27)
                    for (int c = 0; c < f.BytesPerPixel(); ++c)
                        ASSERT_EQ(Channel(f, x, y, c),
                                  before[size_t(y * 40 + x) * f.BytesPerPixel() + c]);
        if (f.BytesPerPixel() == 4) EXPECT_EQ(Channel(f, 20, 15, 3), 255);
    }
}

TEST_F(EraserTest, LeftZeroKeepsColumnZeroAndRightEdgeReadsBlack) {
    Mask("white.bmp", 255);
    run.Set("Mask", "0");  // choice 1: the first mask picture
    Rect("0", "10", "30", "50");
    Frame f(FrameFormat{40, 30, 24});
    PaintLogo(f, 200, 0, 0, 40, 0, 30);
    for (int y = 0; y < 30; ++y)
        f.Row(y)[0] = f.Row(y)[1] = f.Row(y)[2] = 200;
    run.Render(f);
    EXPECT_EQ(Channel(f, 0, 10), 200);  // left raised to 1
    // Column 0 is the only bright border sample: the erased area takes it.
    EXPECT_GT(Channel(f, 1, 10), Channel(f, 10, 10));
    EXPECT_GT(Channel(f, 10, 10), 0);
    // Left 90 %, width 30 %: R is cut at 39, the right sample (column 40)
    // lies outside and reads black, darkening towards the edge.
    Frame g(FrameFormat{40, 30, 24});
    PaintLogo(g, 200, 200, 0, 0, 0, 0);
    Rect("90", "10", "30", "50");
    run.Render(g);
    EXPECT_EQ(Channel(g, 39, 10), 200);
    EXPECT_LT(Channel(g, 38, 10), Channel(g, 36, 10));
    EXPECT_LT(Channel(g, 36, 10), 200);
    // Bottom edge likewise: B = 29, row 30 outside.
    Frame h(FrameFormat{40, 30, 24});
    PaintLogo(h, 200, 200, 0, 0, 0, 0);
    Rect("10", "90", "30", "30");
    run.Render(h);
    EXPECT_EQ(Channel(h, 10, 29), 200);
    EXPECT_LT(Channel(h, 10, 28), 200);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(EraserTest, ZeroWidthOrHeightAndHostileValuesEraseNothing) {
    for (const auto& size : {std::pair<const char*, const char*>{"0", "50"},
                             {"50", "0"},
                             {"nan", "50"},
                             {"-inf", "50"}}) {
        SCOPED_TRACE(std::string(size.first) + " " + size.second);
        Rect("10", "10", size.first, size.second);
        Frame f(FrameFormat{40, 30, 32});
        test::PaintTestPicture(f);
        const auto before = f.Pixels();
        run.Render(f);
        EXPECT_EQ(f.Pixels(), before);
    }
    for (const char* hostile : {"nan", "inf", "-inf", "1e300", "-1e300"}) {
        SCOPED_TRACE(hostile);
        Rect(hostile, hostile, "30", "30");
        for (const auto& layout : test::kLayouts)
            for (bool preview : {false, true}) {
                run.Set("Preview border", preview ? "true" : "false");
                Frame f(FrameFormat{7, 5, layout.bitsPerPixel, layout.pixelFormat, layout.bottomUp,
                                    layout.rowPadding});
                test::PaintTestPicture(f);
                ASSERT_NE(run.Render(f), nullptr);
                EXPECT_TRUE(test::PaddingUntouched(f));
            }
        run.Set("Preview border", "false");
    }
    for (int w : {1, 2, 3})
        for (const auto& layout : test::kLayouts) {
            Frame tiny(FrameFormat{w, w, layout.bitsPerPixel, layout.pixelFormat});
            Rect("0", "0", "30", "30");
            ASSERT_NE(run.Render(tiny), nullptr);
            EXPECT_TRUE(test::PaddingUntouched(tiny));
        }
}

TEST_F(EraserTest, WhiteMaskErasesWithoutFadeAndBlackMaskKeepsEverything) {
    Mask("a-black.bmp", 0);
    Rect("10", "10", "80", "80");
    Frame f(FrameFormat{40, 30, 32});
    PaintLogo(f, 200, 0, 4, 36, 3, 27);
    const auto before = f.Pixels();
    run.Set("Mask", "0");
    run.Render(f);
    EXPECT_EQ(f.Pixels().size(), before.size());
    for (int y = 3; y < 27; ++y)
        for (int x = 4; x < 36; ++x)
            ASSERT_EQ(Channel(f, x, y), 0) << x << "," << y;

    // A new effect object with a white mask: even the first row is replaced.
    std::filesystem::remove(folder.path / "VXEraser" / "a-black.bmp");
    Mask("b-white.bmp", 255);
    test::EffectRun white(library, "VXEraser");
    white.Set("Preview border", "false").Set("Mask", "0");
    white.Set("Left Border", "10").Set("Top Border", "10").Set("Width", "80");
    white.Set("Bottom Border", "80");
    Frame g(FrameFormat{40, 30, 32});
    PaintLogo(g, 200, 0, 4, 36, 3, 27);
    white.Render(g);
    EXPECT_EQ(Channel(g, 4, 3), 200);
    EXPECT_EQ(Channel(g, 20, 15), 200);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(EraserTest, MaskBeyondTheFolderWarnsOnceAndErasesWithoutMask) {
    Mask("only.png.bmp", 255);
    std::filesystem::create_directory(folder.path / "VXEraser" / "dir.bmp");
    WriteTextFile(folder.path / "VXEraser" / "notes.txt", "x");
    Rect("10", "10", "80", "80");
    run.Set("Mask", "1");  // choice 2: a second picture, which is not there
    Frame f(FrameFormat{40, 30, 24});
    PaintLogo(f, 200, 0, 4, 36, 3, 27);
    run.Render(f);
    run.Render(f);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("Warning: Cannot open image ", 0), 0u) << warnings[0];
    EXPECT_EQ(Channel(f, 4, 10), 0);  // the fade of no mask
    EXPECT_EQ(Channel(f, 20, 15), 200);

    // An undecodable mask file warns once too.
    WriteTextFile(folder.path / "VXEraser" / "zz-broken.jpg", "not a picture");
    test::EffectRun broken(library, "VXEraser");
    broken.Set("Preview border", "false").Set("Mask", "1");
    std::vector<std::string> names = ListMaskFiles((folder.path / "VXEraser").string().c_str());
    ASSERT_EQ(names.size(), 2u);
    broken.Set("Mask", names[0] == "zz-broken.jpg" ? "0" : "1");
    broken.Render(f);
    broken.Render(f);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[1].find("zz-broken.jpg"), std::string::npos);
}

TEST_F(EraserTest, AHeldMaskStaysUntilAll) {
    Mask("m1.bmp", 255);
    Mask("m2.bmp", 0);
    const std::vector<std::string> names =
        ListMaskFiles((folder.path / "VXEraser").string().c_str());
    ASSERT_EQ(names.size(), 2u);
    const std::string whiteChoice = names[0] == "m1.bmp" ? "0" : "1";
    const std::string blackChoice = names[0] == "m1.bmp" ? "1" : "0";
    Rect("10", "10", "80", "80");
    auto firstPixel = [&](const std::string& choice) {
        run.Set("Mask", choice);
        Frame f(FrameFormat{40, 30, 24});
        PaintLogo(f, 200, 0, 4, 36, 3, 27);
        run.Render(f);
        return std::pair<int, int>{Channel(f, 4, 3), Channel(f, 20, 15)};
    };
    EXPECT_EQ(firstPixel(whiteChoice), (std::pair<int, int>{200, 200}));
    EXPECT_EQ(firstPixel(blackChoice), (std::pair<int, int>{200, 200}));  // still white
    EXPECT_EQ(firstPixel("All"), (std::pair<int, int>{0, 200}));          // no mask: fade
    EXPECT_EQ(firstPixel(blackChoice), (std::pair<int, int>{0, 0}));      // now black
    EXPECT_TRUE(warnings.empty());
}

TEST_F(EraserTest, PreviewHalvesOutsideBlackensTheOutlineBrightensInside) {
    run.Set("Preview border", "true");
    Rect("10", "10", "50", "50");  // L 4, R 24, T 3, B 18
    Frame f(FrameFormat{40, 30, 32});
    PaintLogo(f, 200, 100, 5, 24, 4, 18);
    run.Render(f);
    EXPECT_EQ(Channel(f, 0, 0), 100);
    EXPECT_EQ(Channel(f, 25, 10), 100);
    EXPECT_EQ(Channel(f, 4, 10), 0);
    EXPECT_EQ(Channel(f, 24, 10), 0);
    EXPECT_EQ(Channel(f, 10, 18), 0);
    EXPECT_EQ(Channel(f, 10, 10), 150);
    EXPECT_EQ(Channel(f, 10, 10, 3), 255);
    // Bright pixels are held at 255.
    PaintLogo(f, 200, 200, 0, 0, 0, 0);
    run.Render(f);
    EXPECT_EQ(Channel(f, 10, 10), 255);
}

// Packed 4:2:2: U, Y0, V, Y1 per pair of pixels.
void PaintFlat422(Frame& f, uint8_t luma) {
    for (int y = 0; y < f.Format().height; ++y)
        for (int x = 0; x < f.Format().width; ++x) {
            f.Row(y)[2 * x] = 128;
            f.Row(y)[2 * x + 1] = luma;
        }
}

TEST_F(EraserTest, Packed422RoundsEdgesDownToEvenAndReadsBlackOutside) {
    Mask("white.bmp", 255);
    run.Set("Mask", "0");
    Rect("0", "0", "50", "50");  // L and T raised to 1, rounded down to 0
    Frame f(FrameFormat{40, 30, 16, 1});
    PaintFlat422(f, 200);
    run.Render(f);
    EXPECT_TRUE(test::PaddingUntouched(f));
    // The left and top samples lie outside and read black.
    EXPECT_LT(f.Row(0)[1], 200);
    EXPECT_LT(f.Row(0)[1], f.Row(10)[2 * 10 + 1]);
    // R = 20 and B = 15 are untouched.
    EXPECT_EQ(f.Row(5)[2 * 20 + 1], 200);
    EXPECT_EQ(f.Row(15)[2 * 5 + 1], 200);

    // Preview: luma halved outside, 0 on the outline, 1.5 times inside.
    run.Set("Preview border", "true").Set("Mask", "All");
    Rect("10", "10", "50", "50");  // L 4, R 24, T 3 -> 2, B 18
    Frame g(FrameFormat{40, 30, 16, 2});
    PaintFlat422(g, 100);
    run.Render(g);
    EXPECT_EQ(g.Row(0)[1], 50);
    EXPECT_EQ(g.Row(2)[2 * 10 + 1], 0);
    EXPECT_EQ(g.Row(10)[2 * 4 + 1], 0);
    EXPECT_EQ(g.Row(10)[2 * 10 + 1], 150);
    EXPECT_EQ(g.Row(10)[2 * 10], 128);  // chroma untouched
}

}  // namespace
}  // namespace vx
