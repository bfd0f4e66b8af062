// TVInterference: blocks and their kinds drawn from the shared generator on
// its documented recurrence, the sequence carried from frame to frame, the
// share of disturbed blocks, and frames it must leave alone.
#include <gtest/gtest.h>

#include <array>

#include "core/random.h"
#include "core/random_lanes.h"
#include "host/standin_host.h"
#include "tests/colour_test_support.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;
using test::Px;

// The generator as documented, apart from core/random: state * 214013 +
// 2531011, draws of bits 16 .. 30.
struct DocumentedGenerator {
    uint32_t state;
    int32_t Next() {
        state = state * 214013u + 2531011u;
        return int32_t(state >> 16 & 0x7FFF);
    }
};

uint8_t Clamp(double v) {
    return v <= 0 ? 0 : v >= 254.5 ? 255 : uint8_t(int(v + 0.5));
}

// The picture the effect must make from `in` with blocks bw x bh, value v
// (0 .. 1), drawing from `gen`.
std::vector<uint8_t> Expected(Frame& in, int bw, int bh, double v, DocumentedGenerator& gen) {
    const int W = in.Format().width, H = in.Format().height, n = in.BytesPerPixel();
    std::vector<std::vector<uint8_t>> px(size_t(W * H));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            px[size_t(y * W + x)] = Px(in, x, y);
    for (int y0 = 0; y0 < H; y0 += bh)
        for (int x0 = 0; x0 < W; x0 += bw) {
            const double r = gen.Next() / 32767.0;
            for (int y = y0; y < y0 + bh && y < H; ++y)
                for (int x = x0; x < x0 + bw && x < W; ++x) {
                    auto& p = px[size_t(y * W + x)];
                    if (r >= 1.4 * v) continue;
                    for (int c = 0; c < 3; ++c)
                        p[size_t(c)] = r < v / 2     ? 255
                                       : r < v       ? 0
                                       : r < 1.2 * v ? Clamp(p[size_t(c)] * 1.3)
                                                     : Clamp(p[size_t(c)] * 0.7);
                    if (n == 4) p[3] = 255;
                }
        }
    std::vector<uint8_t> out;
    for (const auto& p : px)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct TVInterferenceTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXETVInterference"};
};

TEST_F(TVInterferenceTest, DeclaresItsParameters) {
    test::ExpectDeclarations(run.instance().params(), {{kKindReal, "Value", 50, 0.1, 0, 100},
                                                       {kKindReal, "Blocksize", 1, 1, 1, 300}});
}

TEST_F(TVInterferenceTest, BatchDrawsEqualSingleDrawsAndLeaveTheSameState) {
    for (size_t count : {0, 1, 3, 4, 5, 7, 8, 9, 13, 15, 16, 17, 23, 1000, 4097, 100003}) {
        SeedRandom(uint32_t(count * 77 + 5));
        std::vector<int32_t> one(count), batch(count);
        for (auto& d : one)
            d = NextRandom();
        const int32_t after = NextRandom();
        SeedRandom(uint32_t(count * 77 + 5));
        NextRandoms(batch.data(), count);
        EXPECT_EQ(batch, one) << count;
        EXPECT_EQ(NextRandom(), after) << count;
        // A jump over the run lands where the single draws left the state.
        const uint32_t jumped = RandomStateAfter(uint32_t(count * 77 + 5), count);
        SeedRandom(uint32_t(count * 77 + 5));
        for (size_t i = 0; i < count; ++i)
            NextRandom();
        EXPECT_EQ(jumped, RandomState()) << count;
    }
    // The documented recurrence from the documented start.
    SeedRandom(1);
    EXPECT_EQ(NextRandom(), 41);
    EXPECT_EQ(NextRandom(), 18467);
    EXPECT_EQ(NextRandom(), 6334);
}

TEST_F(TVInterferenceTest, BlocksFollowTheGeneratorAndFramesContinueItsSequence) {
    // Blocksize 300 on 720 x 576: blocks of 21 x 17 (21.6 and 17.28 cut),
    // the last of each row 6 wide, the last band 15 high.
    for (int bpp : {32, 24}) {
        Frame in(FrameFormat{720, 576, bpp, 0, bpp == 24, bpp == 24 ? 3 : 0});
        test::PaintTestPicture(in, 5);
        Frame before = in;
        run.Set("Blocksize", "300").Set("Value", "60");
        SeedRandom(4242);
        DocumentedGenerator gen{4242};
        Frame* out = run.Render(in);
        ASSERT_EQ(out, &in) << "works in place";
        EXPECT_EQ(out->Pixels(), Expected(before, 21, 17, 0.6, gen));
        EXPECT_TRUE(test::PaddingUntouched(*out));
        // Not reseeded: the next frame takes the following draws.
        before = in;
        out = run.Render(in);
        EXPECT_EQ(out->Pixels(), Expected(before, 21, 17, 0.6, gen));
        EXPECT_EQ(NextRandom(), gen.Next());
    }
}

TEST_F(TVInterferenceTest, EveryByteValueOfEveryKind) {
    // Rows of all 256 values (and a few more, for widths that are no multiple
    // of the vector width) in every channel and in alpha, in 4- and 3-byte
    // frames: one-pixel blocks, wide blocks one row high, and one pixel wide
    // blocks three rows high on a narrow frame.
    struct Case {
        int width, height;
        const char* size;
        int bw, bh;
    };
    for (int bpp : {32, 24})
        for (const Case& c : {Case{263, 64, "1", 1, 1}, Case{263, 64, "300", 7, 1},
                              Case{20, 100, "300", 1, 3}, Case{29, 40, "1", 1, 1}}) {
            SCOPED_TRACE(std::to_string(bpp) + " bits, " + std::to_string(c.width) +
                         " wide, Blocksize " + c.size);
            Frame in(FrameFormat{c.width, c.height, bpp});
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    test::SetPx(in, x, y, std::vector<uint8_t>(size_t(bpp / 8), uint8_t(x + y)));
            Frame before = in;
            run.Set("Value", "60").Set("Blocksize", c.size);
            SeedRandom(31);
            DocumentedGenerator gen{31};
            run.Render(in);
            EXPECT_EQ(in.Pixels(), Expected(before, c.bw, c.bh, 0.6, gen));
            EXPECT_EQ(NextRandom(), gen.Next());
            if (c.width < 256 || c.bw > 1) continue;
            // Every value that brightening or darkening changes met both.
            std::array<std::array<bool, 256>, 2> met{};
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x) {
                    const uint8_t v = uint8_t(x + y), got = Px(in, x, y)[0];
                    if (got == Clamp(v * 1.3) && got != v) met[0][v] = true;
                    if (got == Clamp(v * 0.7) && got != v) met[1][v] = true;
                }
            for (int v = 1; v < 256; ++v)
                EXPECT_TRUE((met[0][size_t(v)] || Clamp(v * 1.3) == v) &&
                            (met[1][size_t(v)] || Clamp(v * 0.7) == v))
                    << v;
        }
}

TEST_F(TVInterferenceTest, KeptObjectMatchesFreshObjectsAcrossSettingsAndSizes) {
    // What one object keeps between frames (buffers sized to a frame) must
    // never show: each step from the same generator state on one object and
    // on a fresh one.
    struct Step {
        const char* value;
        const char* size;
        FrameFormat format;
    };
    const Step steps[] = {
        {"50", "1", FrameFormat{64, 9, 32}},      {"70", "100", FrameFormat{720, 48, 32}},
        {"70", "1", FrameFormat{37, 11, 24}},     {"20", "300", FrameFormat{301, 40, 24}},
        {"90", "1", FrameFormat{720, 20, 32}},    {"90", "300", FrameFormat{20, 100, 32}},
        {"35", "250", FrameFormat{1000, 30, 32}}, {"50", "1", FrameFormat{13, 7, 32, 0, true, 2}},
    };
    test::EffectRun kept{library, "VXETVInterference"};
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        test::EffectRun fresh{library, "VXETVInterference"};
        for (test::EffectRun* r : {&kept, &fresh})
            r->Set("Value", steps[i].value).Set("Blocksize", steps[i].size);
        Frame a(steps[i].format), b(steps[i].format);
        test::PaintTestPicture(a, uint32_t(i + 2));
        test::PaintTestPicture(b, uint32_t(i + 2));
        SeedRandom(uint32_t(i * 1000 + 1));
        kept.Render(a);
        const int32_t after = NextRandom();
        SeedRandom(uint32_t(i * 1000 + 1));
        fresh.Render(b);
        EXPECT_EQ(a.Pixels(), b.Pixels());
        EXPECT_EQ(NextRandom(), after);
    }
}

TEST_F(TVInterferenceTest, OnePixelBlocksOnSmallFrames) {
    // Blocksize 1 on 720 wide: 0.072 cut to 0, raised to 1.
    Frame in(FrameFormat{720, 3, 32});
    test::PaintTestPicture(in, 9);
    Frame before = in;
    run.Set("Value", "35.5");
    SeedRandom(7);
    DocumentedGenerator gen{7};
    run.Render(in);
    EXPECT_EQ(in.Pixels(), Expected(before, 1, 1, 0.355, gen));
    EXPECT_EQ(NextRandom(), gen.Next());
}

TEST_F(TVInterferenceTest, ValueZeroLeavesThePictureButDrawsForEveryBlock) {
    // Blocksize 100 on 250 x 130: blocks of 2 x 1, 125 x 130 of them.
    for (const char* size : {"1", "100"}) {
        Frame in(FrameFormat{250, 130, 32});
        test::PaintTestPicture(in, 4);
        const std::vector<uint8_t> before = in.Pixels();
        run.Set("Value", "0").Set("Blocksize", size);
        SeedRandom(12);
        DocumentedGenerator gen{12};
        run.Render(in);
        EXPECT_EQ(in.Pixels(), before) << size;
        for (int i = 0; i < (std::string(size) == "1" ? 250 * 130 : 125 * 130); ++i)
            gen.Next();
        EXPECT_EQ(NextRandom(), gen.Next()) << size;
    }
}

TEST_F(TVInterferenceTest, ValueSetsTheShareOfDisturbedBlocks) {
    Frame grey(FrameFormat{200, 100, 32});
    auto count = [&](const char* value) {
        grey.Fill(100);
        run.Set("Value", value);
        run.Render(grey);
        std::array<int, 5> n{};  // white, black, 130, 70, untouched
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) {
                const uint8_t b = Px(grey, x, y)[0];
                ++n[b == 255 ? 0 : b == 0 ? 1 : b == 130 ? 2 : b == 70 ? 3 : 4];
            }
        return n;
    };
    SeedRandom(99);
    const auto none = count("0");
    EXPECT_EQ(none[4], 20000) << "value 0 changes nothing";
    const auto all = count("100");
    EXPECT_EQ(all[4], 0) << "every draw is below 1.4";
    EXPECT_NEAR(all[0], 10000, 600);
    EXPECT_NEAR(all[1], 10000, 600);
    const auto half = count("50");
    const double want[5] = {0.25, 0.25, 0.10, 0.10, 0.30};
    for (int k = 0; k < 5; ++k)
        EXPECT_NEAR(half[size_t(k)] / 20000.0, want[k], 0.015) << k;
}

TEST_F(TVInterferenceTest, HostileValuesAndFramesStayInside) {
    for (const char* v : {"nan", "inf", "-inf", "-1e308", "1e308", "0"}) {
        run.Set("Value", "100").Set("Blocksize", v);
        test::RenderHostileFormats(run, v);
        run.Set("Value", v).Set("Blocksize", "300");
        Frame in(FrameFormat{9, 4, 32});
        test::PaintTestPicture(in);
        ASSERT_NE(run.Render(in), nullptr);
    }
}

}  // namespace
}  // namespace vx
