// Filter and the per-pixel processing classes it is built from.
#include <gtest/gtest.h>

#include <climits>

#include "effects/geometry/pixel_processor.h"
#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;

const char* const kTypes[10] = {
    "soften (a little)", "soften (medium)", "soften (a lot)", "sharpen (a little)",
    "sharpen (medium)",  "sharpen (a lot)", "emboss",         "edge detect",
    "blur horiz.",       "shatter"};

std::vector<uint8_t> Px(Frame& f, int x, int y) {
    int n = f.BytesPerPixel();
    return {f.Row(y) + n * x, f.Row(y) + n * x + n};
}

struct FilterTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEFilter"};
};

TEST_F(FilterTest, DeclaresTypeAndAmount) {
    const auto& d = run.instance().params().Declared();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(host::Narrow(d[0]->name.c_str()), "Filter type");
    EXPECT_EQ(d[0]->kind, kKindChoice);
    EXPECT_EQ(d[0]->index, 0);
    EXPECT_EQ(d[0]->integerDefault, 0);
    ASSERT_EQ(d[0]->choiceCount, 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(host::Narrow(d[0]->choiceNames[i].c_str()), kTypes[i]);
    EXPECT_EQ(host::Narrow(d[1]->name.c_str()), "Amount");
    EXPECT_EQ(d[1]->kind, kKindInteger);
    EXPECT_EQ(d[1]->index, 1);
    EXPECT_EQ(d[1]->integerDefault, 100);
    EXPECT_EQ(d[1]->step, 1);
    EXPECT_EQ(d[1]->min, 0);
    EXPECT_EQ(d[1]->max, 200);
    EXPECT_EQ(d[1]->sliderMin, 0);
    EXPECT_EQ(d[1]->sliderMax, 200);
}

TEST_F(FilterTest, FlatAreasGiveTheKernelsDocumentedLevels) {
    for (int g : {0, 37, 200, 255}) {
        Frame in(FrameFormat{12, 9, 32});
        in.Fill(uint8_t(g));
        run.Set("Filter type", "emboss");
        Frame* out = run.Render(in);
        const uint8_t emboss = uint8_t(128 + g / 4);  // the integer part of 128 + 0.25 g
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 12; ++x)
                ASSERT_EQ(Px(*out, x, y), (std::vector<uint8_t>{emboss, emboss, emboss, 255}));
        run.Set("Filter type", "edge detect");
        out = run.Render(in);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 12; ++x)
                ASSERT_EQ(Px(*out, x, y), (std::vector<uint8_t>{128, 128, 128, 255}));
        // The softening and blurring kernels keep a flat area flat, borders included.
        for (const char* type :
             {"soften (medium)", "soften (a lot)", "shatter", "sharpen (a lot)"}) {
            run.Set("Filter type", type);
            out = run.Render(in);
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < 12; ++x)
                    ASSERT_EQ(Px(*out, x, y)[1], g) << type << " " << x << "," << y;
        }
    }
}

TEST_F(FilterTest, AmountZeroReproducesTheSourceAndAlphaIsOpaque) {
    for (const auto& layout : test::kLayouts) {
        if (layout.pixelFormat) continue;  // packed chroma is averaged by the store
        Frame in(FrameFormat{13, 7, layout.bitsPerPixel, 0, layout.bottomUp, layout.rowPadding});
        test::PaintTestPicture(in);
        run.Set("Amount", "0");
        for (const char* type : kTypes) {
            SCOPED_TRACE(std::string(layout.name) + " " + type);
            run.Set("Filter type", type);
            Frame* out = run.Render(in);
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 13; ++x) {
                    auto want = Px(in, x, y);
                    if (want.size() == 4) want[3] = 255;
                    ASSERT_EQ(Px(*out, x, y), want) << x << "," << y;
                }
            EXPECT_TRUE(test::PaddingUntouched(*out));
        }
    }
}

TEST_F(FilterTest, SoftenMediumFiltersEveryBorderAndLeavesTheSourceAlone) {
    Frame in(FrameFormat{6, 5, 24});
    in.Fill(0);
    in.Row(0)[0] = 250;  // blue of the top-left pixel
    const auto before = in.Pixels();
    run.Set("Filter type", "soften (medium)");
    Frame* out = run.Render(in);
    EXPECT_EQ(in.Pixels(), before);
    // Horizontally (1 3 1)/5 with the edge pixel repeated: 250*4/5 = 200 at
    // column 0, 50 at column 1; vertically the same again.
    EXPECT_EQ(out->Row(0)[0], 160);
    EXPECT_EQ(out->Row(0)[3], 40);
    EXPECT_EQ(out->Row(1)[0], 40);
    EXPECT_EQ(out->Row(1)[3], 10);
    EXPECT_EQ(out->Row(2)[0], 0);
    EXPECT_EQ(out->Row(0)[6], 0);
}

TEST(PixelProcessor, TapsLeftOfAndAboveTheFrameRepeatTheFirstColumnAndRow) {
    Frame in(FrameFormat{5, 4, 24}), out(FrameFormat{5, 4, 24});
    test::PaintTestPicture(in);
    const FrameView src = ViewFrame(in.Host()), dst = ViewFrame(out.Host());
    const int32_t upLeft[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
    IntegerKernel shift(1, upLeft, 0, 0);
    shift.Run(src, dst, 100);
    EXPECT_EQ(Px(out, 0, 0), Px(in, 0, 0));
    EXPECT_EQ(Px(out, 3, 0), Px(in, 2, 0));
    EXPECT_EQ(Px(out, 0, 2), Px(in, 0, 1));
    EXPECT_EQ(Px(out, 4, 3), Px(in, 3, 2));
    const int32_t downRight[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
    IntegerKernel back(1, downRight, 1, 0);
    back.Run(src, dst, 100);
    EXPECT_EQ(Px(out, 4, 3), Px(in, 4, 3));
    EXPECT_EQ(Px(out, 4, 1), Px(in, 4, 2));
}

// The row loop of each kernel against the plain per-pixel path, over every
// layout and sizes down to 1x1, so the fast interior and the borders agree.
TEST(PixelProcessor, KernelRunsMatchThePerPixelPath) {
    const int32_t soft[25] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                              1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const double edge[9] = {-0.125, -0.125, -0.125, -0.125, 1, -0.125, -0.125, -0.125, -0.125};
    for (const auto& layout : test::kLayouts) {
        for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {7, 5}, {16, 9}}) {
            FrameFormat fmt{
                w, h, layout.bitsPerPixel, layout.pixelFormat, layout.bottomUp, layout.rowPadding};
            Frame in(fmt), fast(fmt), slow(fmt);
            test::PaintTestPicture(in, 3);
            const FrameView src = ViewFrame(in.Host());
            for (int32_t amount : {100, 35, 170}) {
                SCOPED_TRACE(std::string(layout.name) + " " + std::to_string(w) + "x" +
                             std::to_string(h) + " amount " + std::to_string(amount));
                IntegerKernel ik(2, soft, 25, 3);
                RealKernel rk(1, edge, 1.0, 128);
                for (PixelProcessor* k :
                     {static_cast<PixelProcessor*>(&ik), static_cast<PixelProcessor*>(&rk)}) {
                    fast.Fill(1);
                    slow.Fill(1);
                    k->Run(src, ViewFrame(fast.Host()), amount);
                    k->PixelProcessor::Run(src, ViewFrame(slow.Host()), amount);
                    ASSERT_EQ(fast.Pixels(), slow.Pixels());
                    ASSERT_TRUE(test::PaddingUntouched(fast));
                }
            }
        }
    }
}

TEST(PixelProcessor, PackedChannelsShareAndAverageThePairsChroma) {
    Frame f(FrameFormat{4, 1, 16, 1});
    f.SetPixels({10, 20, 30, 40, 50, 60, 70, 80});  // U Y0 V Y1 | U Y2 V Y3
    PixelProcessor p;
    const FrameView v = ViewFrame(f.Host());
    p.Attach(v);
    EXPECT_TRUE(p.packedChroma);
    EXPECT_EQ(p.bytesPerPixel, 2);
    Channels c = p.ReadPixelChannels(v, 1, 0);
    EXPECT_EQ(c.c[0], 40);
    EXPECT_EQ(c.c[1], 10);
    EXPECT_EQ(c.c[2], 30);
    c = p.ReadPixelChannels(v, -5, 7);  // limited to the frame
    EXPECT_EQ(c.c[0], 20);
    c = p.ReadPixelChannels(v, 99, 0);
    EXPECT_EQ(c.c[0], 80);
    const int32_t even[3] = {300, 100, 200}, odd[3] = {-4, 51, 0};
    p.WritePixelChannels(even, f.Row(0), 0);
    p.WritePixelChannels(odd, f.Row(0), 1);
    EXPECT_EQ(f.Pixels(), (std::vector<uint8_t>{75, 255, 100, 0, 50, 60, 70, 80}));
}

TEST(PixelProcessor, AnOddPackedWidthNeverTouchesBytesPastTheRow) {
    Frame in(FrameFormat{5, 3, 16, 2, false, 4}), out(FrameFormat{5, 3, 16, 2, false, 4});
    test::PaintTestPicture(in);
    const int32_t one[1] = {1};
    IntegerKernel copy(0, one, 1, 0);
    copy.Run(ViewFrame(in.Host()), ViewFrame(out.Host()), 100);
    EXPECT_TRUE(test::PaddingUntouched(out));
    EXPECT_EQ(out.Row(1)[9], in.Row(1)[9]);  // luma of the last pixel
    EXPECT_EQ(out.Row(1)[8], in.Row(1)[8]);  // its U
    Channels c;
    copy.Attach(ViewFrame(in.Host()));
    c = copy.ReadPixelChannels(ViewFrame(in.Host()), 4, 0);
    EXPECT_EQ(c.c[2], 128);  // no V of its own: neutral
}

TEST_F(FilterTest, HostileValuesAndOddFramesStayInside) {
    for (const char* type :
         {"soften (a little)", "soften (medium)", "sharpen (medium)", "emboss", "shatter"}) {
        for (const char* amount : {"0", "100", "200", "2147483647", "-2147483648", "-7"}) {
            run.Set("Filter type", type).Set("Amount", amount);
            for (auto fmt : {FrameFormat{1, 1, 32}, FrameFormat{1, 1, 16, 1},
                             FrameFormat{7, 3, 24, 0, true, 2}, FrameFormat{5, 4, 16, 2, true, 3},
                             FrameFormat{2, 9, 32, 0, false, 1}}) {
                Frame in(fmt);
                test::PaintTestPicture(in);
                Frame* out = run.Render(in);
                ASSERT_NE(out, nullptr);
                ASSERT_TRUE(test::PaddingUntouched(*out)) << type << " " << amount;
            }
        }
    }
    // A type outside the list copies the picture.
    host::ParameterRecord* t = run.instance().params().ByName("Filter type");
    for (int32_t bad : {10, -1, INT_MAX}) {
        t->integer = bad;
        Frame in(FrameFormat{9, 4, 32});
        test::PaintTestPicture(in);
        Frame* out = run.Render(in);
        EXPECT_EQ(out->Pixels(), in.Pixels()) << bad;
    }
}

}  // namespace
}  // namespace vx
