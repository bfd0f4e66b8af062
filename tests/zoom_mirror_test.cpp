// Zoom, Zoom2, ZoomAndMove and Mirror.
#include <gtest/gtest.h>

#include <cstdlib>

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

struct RealRow {
    const char* name;
    double def, step, min, max, sliderMin, sliderMax;
};

void ExpectReals(test::EffectRun& run, std::initializer_list<RealRow> rows) {
    const auto& d = run.instance().params().Declared();
    ASSERT_EQ(d.size(), rows.size());
    int i = 0;
    for (const RealRow& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(host::Narrow(d[i]->name.c_str()), r.name);
        EXPECT_EQ(d[i]->kind, kKindReal);
        EXPECT_EQ(d[i]->index, i);
        EXPECT_EQ(d[i]->realDefault, r.def);
        EXPECT_EQ(d[i]->step, r.step);
        EXPECT_EQ(d[i]->min, r.min);
        EXPECT_EQ(d[i]->max, r.max);
        EXPECT_EQ(d[i]->sliderMin, r.sliderMin);
        EXPECT_EQ(d[i]->sliderMax, r.sliderMax);
        ++i;
    }
}

struct ZoomTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    Frame input{FrameFormat{16, 10, 32}};
    void SetUp() override { test::PaintTestPicture(input); }
};

TEST_F(ZoomTest, DeclarationsOfTheThreeZooms) {
    test::EffectRun zoom(library, "VXEZoom"), zoom2(library, "VXEZoom2"),
        move(library, "VXEZoomAndMove");
    ExpectReals(zoom, {{"Zoom factor", 1, 0.1, 1, 15, 1, 5},
                       {"Left margin", 0, 0.1, -100, 100, -50, 100},
                       {"Top margin", 0, 0.1, -100, 100, -50, 100}});
    ExpectReals(zoom2, {{"Left margin", 0, 0.1, -100, 100, -50, 100},
                        {"Right margin", 0, 0.1, -100, 100, -50, 100},
                        {"Top margin", 0, 0.1, -100, 100, -50, 100},
                        {"Bottom margin", 0, 0.1, -100, 100, -50, 100}});
    ExpectReals(move, {{"Zoom (start)", 1, 0.1, 0.1, 15, 0.1, 5},
                       {"Left margin (start)", 0, 0.1, -100, 100, -100, 100},
                       {"Top margin (start)", 0, 0.1, -100, 100, -100, 100},
                       {"Zoom (end)", 1, 0.1, 0.1, 15, 0.1, 5},
                       {"Left margin (end)", 0, 0.1, -100, 100, -100, 100},
                       {"Top margin (end)", 0, 0.1, -100, 100, -100, 100}});
}

TEST_F(ZoomTest, ZoomCopiesThroughTheHostAndHandsItTheScaleAndOffset) {
    test::EffectRun run(library, "VXEZoom");
    host::CallLog log;
    Frame in(FrameFormat{16, 10, 32}, &log);
    test::PaintTestPicture(in);
    run.Set("Zoom factor", "2.5").Set("Left margin", "30").Set("Top margin", "-20");
    Frame* out = run.Render(in);
    EXPECT_EQ(log.Count("frame.CopyInto 2"), 1u);
    EXPECT_EQ(out->Pixels(), in.Pixels());
    ASSERT_TRUE(out->scaleOffsetSet);
    EXPECT_EQ(out->scaleOffset[0], 2.5);
    EXPECT_EQ(out->scaleOffset[1], 2.5);
    EXPECT_EQ(out->scaleOffset[2], -30 * 0.01);
    EXPECT_EQ(out->scaleOffset[3], -20 * 0.01);
    // A factor of 0 (no value from the host) is handed on unchanged.
    run.Set("Zoom factor", "0");
    out = run.Render(in);
    EXPECT_EQ(out->scaleOffset[0], 0.0);
}

TEST_F(ZoomTest, Zoom2WithoutMarginsSamplesEveryPixelAtItsOwnPosition) {
    test::EffectRun run(library, "VXEZoom2");
    for (const auto& layout : test::kLayouts) {
        Frame in(FrameFormat{15, 9, layout.bitsPerPixel, layout.pixelFormat, layout.bottomUp,
                             layout.rowPadding});
        test::PaintTestPicture(in);
        Frame* out = run.Render(in);
        EXPECT_EQ(out->Pixels(), in.Pixels()) << layout.name;
        EXPECT_TRUE(test::PaddingUntouched(*out));
    }
}

TEST_F(ZoomTest, Zoom2MarginsOfAHundredOrMoreShowTheSourceAroundTheMargin) {
    test::EffectRun run(library, "VXEZoom2");
    run.Set("Left margin", "50").Set("Right margin", "50");
    Frame* out = run.Render(input);
    // Zoom 1000: the whole row comes from within 0.015 pixels of column 8.
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(Px(*out, 0, y), Px(input, 8, y));
        for (int x = 1; x < 16; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_LE(std::abs(Px(*out, x, y)[c] - Px(input, 8, y)[c]), 4) << x << "," << y;
    }
    run.Set("Left margin", "0").Set("Right margin", "0").Set("Top margin", "70");
    run.Set("Bottom margin", "45");
    out = run.Render(input);
    for (int x = 0; x < 13; ++x)
        EXPECT_EQ(Px(*out, x, 0), Px(input, x, 7));
}

TEST_F(ZoomTest, Zoom2NegativeMarginsShowTransparentBlackBeyondTheSource) {
    test::EffectRun run(library, "VXEZoom2");
    run.Set("Left margin", "-50").Set("Top margin", "-20");
    Frame* out = run.Render(input);
    // Column positions -8 + 1.5x are negative for x < 6, rows -2 + 1.2y for y < 2.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x)
            if (x < 6 || y < 2) {
                ASSERT_EQ(Px(*out, x, y), (Bytes{0, 0, 0, 0})) << x << "," << y;
            }
    EXPECT_EQ(Px(*out, 6, 5), Px(input, 1, 4));
}

TEST_F(ZoomTest, ZoomAndMoveUsesTheStartValuesFirstAndTheEndValuesAtTheEnd) {
    test::EffectRun run(library, "VXEZoomAndMove");
    run.Set("Zoom (end)", "2").Set("Left margin (end)", "25").Set("Top margin (end)", "10");
    host::RenderContext& ctx = run.instance().context();
    ctx.SetFrame(0);
    EXPECT_EQ(run.Render(input)->Pixels(), input.Pixels());
    // At the end: zoom 2 from (4, 1).
    ctx.now = {ctx.start.count + ctx.duration.count, ctx.start.unitsPerSecond,
               ctx.start.unitsPerFrame};
    Frame* out = run.Render(input);
    EXPECT_EQ(Px(*out, 0, 0), Px(input, 4, 1));
    EXPECT_EQ(Px(*out, 6, 4), Px(input, 7, 3));
    // Zoom 0.5 from the start margins at the first frame.
    run.Set("Zoom (start)", "0.5").Set("Zoom (end)", "1");
    ctx.SetFrame(0);
    out = run.Render(input);
    EXPECT_EQ(Px(*out, 3, 2), Px(input, 6, 4));
    EXPECT_EQ(Px(*out, 9, 2), (Bytes{0, 0, 0, 0}));
}

TEST_F(ZoomTest, ZoomAndMoveWithAZoomOfZeroShowsOnlyTheBackground) {
    test::EffectRun run(library, "VXEZoomAndMove");
    run.Set("Zoom (start)", "0").Set("Zoom (end)", "0");
    Frame* out = run.Render(input);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(Px(*out, x, y), (Bytes{0, 0, 0, 0}));
}

TEST_F(ZoomTest, HostileValuesAndOddFramesStayInside) {
    const std::pair<const char*, std::vector<const char*>> effects[] = {
        {"VXEZoom2", {"Left margin", "Right margin", "Top margin", "Bottom margin"}},
        {"VXEZoomAndMove", {"Zoom (start)", "Left margin (start)", "Top margin (end)"}},
        {"VXEZoom", {"Zoom factor", "Left margin"}},
    };
    for (const auto& [id, names] : effects) {
        test::EffectRun run(library, id);
        for (const char* name : names)
            for (const char* v : {"nan", "inf", "-inf", "1e308", "-1e308", "0", "-100", "100"}) {
                run.Set(name, v);
                for (auto fmt : {FrameFormat{1, 1, 32}, FrameFormat{2, 2, 24, 0, false, 0, 1},
                                 FrameFormat{7, 3, 24, 0, true, 2}, FrameFormat{5, 5, 16, 2}}) {
                    Frame in(fmt);
                    test::PaintTestPicture(in);
                    Frame* out = run.Render(in);
                    ASSERT_NE(out, nullptr);
                    ASSERT_TRUE(test::PaddingUntouched(*out)) << id << " " << name << " " << v;
                }
            }
    }
}

// ------------------------------------------------------------------ Mirror

struct MirrorTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEMirror"};

    // The source column each output column shows in row 0 of a frame whose
    // blue bytes number the columns.
    std::vector<int> Columns(const char* across, int width) {
        Frame in(FrameFormat{width, 1, 24});
        for (int x = 0; x < width; ++x)
            in.Row(0)[3 * x] = uint8_t(x);
        run.Set("Mirror type", across);
        Frame* out = run.Render(in);
        std::vector<int> cols;
        for (int x = 0; x < width; ++x)
            cols.push_back(out->Row(0)[3 * x]);
        return cols;
    }
};

TEST_F(MirrorTest, DeclaresTwoChoicesWithTheSameLabel) {
    const auto& d = run.instance().params().Declared();
    ASSERT_EQ(d.size(), 2u);
    const char* names[2][4] = {{"none", "all", "left", "right"}, {"none", "all", "upper", "lower"}};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(host::Narrow(d[i]->name.c_str()), "Mirror type");
        EXPECT_EQ(d[i]->kind, kKindChoice);
        EXPECT_EQ(d[i]->index, i);
        EXPECT_EQ(d[i]->integerDefault, 0);
        ASSERT_EQ(d[i]->choiceCount, 4);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(host::Narrow(d[i]->choiceNames[k].c_str()), names[i][k]);
    }
}

TEST_F(MirrorTest, HalvesAndFlipsAcross) {
    EXPECT_EQ(Columns("none", 5), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(Columns("all", 5), (std::vector<int>{4, 3, 2, 1, 0}));
    EXPECT_EQ(Columns("left", 5), (std::vector<int>{0, 1, 2, 1, 0}));
    EXPECT_EQ(Columns("right", 5), (std::vector<int>{4, 3, 2, 3, 4}));
    // On an even width each half mirrors only itself.
    EXPECT_EQ(Columns("left", 6), (std::vector<int>{0, 1, 2, 2, 1, 0}));
    EXPECT_EQ(Columns("right", 6), (std::vector<int>{5, 4, 3, 3, 4, 5}));
    EXPECT_EQ(Columns("left", 1), (std::vector<int>{0}));
}

TEST_F(MirrorTest, BothDirectionsCombine) {
    for (const auto& layout : test::kLayouts) {
        SCOPED_TRACE(layout.name);
        Frame in(FrameFormat{7, 6, layout.bitsPerPixel, layout.pixelFormat, layout.bottomUp,
                             layout.rowPadding});
        test::PaintTestPicture(in);
        run.Set("Mirror type", "none");
        run.instance().params().ByIndex(1)->integer = 0;
        EXPECT_EQ(run.Render(in)->Pixels(), in.Pixels());
        run.Set("Mirror type", "all");
        run.instance().params().ByIndex(1)->integer = 1;
        Frame* out = run.Render(in);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(Px(*out, x, y), Px(in, 6 - x, 5 - y));
        run.instance().params().ByIndex(0)->integer = 3;  // right
        run.instance().params().ByIndex(1)->integer = 2;  // upper
        out = run.Render(in);
        const int cols[7] = {6, 5, 4, 3, 4, 5, 6}, rows[6] = {0, 1, 2, 2, 1, 0};
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(Px(*out, x, y), Px(in, cols[x], rows[y]));
        EXPECT_TRUE(test::PaddingUntouched(*out));
    }
}

TEST_F(MirrorTest, InterlacedRowsKeepTheirFieldAndUnknownTypesCopy) {
    Frame in(FrameFormat{4, 5, 32, 0, false, 0, 1});
    test::PaintTestPicture(in);
    run.instance().params().ByIndex(1)->integer = 3;  // lower: rows 4 3 2 3 4
    Frame* out = run.Render(in);
    EXPECT_EQ(Px(*out, 1, 0), Px(in, 1, 4));
    EXPECT_EQ(Px(*out, 1, 1), Px(in, 1, 3));
    EXPECT_EQ(Px(*out, 1, 2), Px(in, 1, 2));
    EXPECT_EQ(Px(*out, 1, 3), Px(in, 1, 3));
    run.instance().params().ByIndex(1)->integer = 1;  // all: row 4 - y has y's parity
    out = run.Render(in);
    EXPECT_EQ(Px(*out, 2, 1), Px(in, 2, 3));
    for (int32_t bad : {4, -1, 1 << 30}) {
        run.instance().params().ByIndex(0)->integer = bad;
        run.instance().params().ByIndex(1)->integer = bad;
        EXPECT_EQ(run.Render(in)->Pixels(), in.Pixels()) << bad;
    }
    Frame tiny(FrameFormat{1, 1, 16, 1});
    test::PaintTestPicture(tiny);
    run.instance().params().ByIndex(1)->integer = 2;
    EXPECT_EQ(run.Render(tiny)->Pixels(), tiny.Pixels());
}

}  // namespace
}  // namespace vx
