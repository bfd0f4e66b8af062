// Background video with generated clips: the mix, the mapping of the video
// over the frame, time, and files that cannot be used.  Natively only (the
// media detector under Wine cannot grab pictures).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "effects/colour/background.h"
#include "host/standin_host.h"
#include "platform/platform.h"
#include "platform/video_file.h"
#include "tests/background_test_support.h"
#include "tests/file_test_support.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;

using test::RealMix;

// One colour per frame: frame f is (20 + 40f, 30 + 40f, 40 + 40f) in blue,
// green, red.
uint8_t FlatByte(int frame, int, int, int channel) {
    return uint8_t(20 + 40 * frame + 10 * channel);
}
uint8_t OtherFlatByte(int, int, int, int channel) {
    return uint8_t(222 - 50 * channel);
}
uint8_t PatternByte(int frame, int x, int y, int channel) {
    return uint8_t(x * 13 + y * 29 + channel * 70 + frame * 50);
}

struct BackgroundWithVideo : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEBackground"};
    BackgroundSettings settings = DefaultBackgroundSettings();
    TempFolder folder{"vex-background"};

    void SetUp() override { platform::InitializeMediaThread(); }
    std::filesystem::path Clip(const char* name, int w, int h, uint8_t (*byte)(int, int, int, int),
                               int frames = 10) {
        const std::filesystem::path p = folder.path / name;
        WriteTestClip(p, w, h, frames, 10, byte);
        return p;
    }
    void UseFile(const std::filesystem::path& path) {
        SetBackgroundFileName(settings, platform::WideFromNarrow(path.string().c_str()));
        test::StoreBlock(run.instance(), settings);
    }
    Frame* RenderAt(Frame& in, double seconds) {
        run.instance().context().now = {int64_t(seconds * 25 + 0.5), 25, 1};
        return run.Render(in);
    }
};

void Paint(Frame& f, int x, int y, std::vector<uint8_t> bytes) {
    std::memcpy(f.Row(y) + x * f.BytesPerPixel(), bytes.data(), bytes.size());
}
std::vector<uint8_t> Pixel(Frame& f, int x, int y) {
    const uint8_t* p = f.Row(y) + x * f.BytesPerPixel();
    return {p, p + f.BytesPerPixel()};
}

TEST_F(BackgroundWithVideo, ThreeByteFramesKeepPureBlackAndShowTheVideoElsewhere) {
    UseFile(Clip("flat.avi", 8, 6, FlatByte));
    Frame in(FrameFormat{4, 2, 24});
    const std::vector<std::vector<uint8_t>> colours = {{0, 0, 0},    {1, 0, 0}, {0, 0, 1},
                                                       {200, 90, 7}, {0, 0, 0}, {255, 255, 255},
                                                       {0, 1, 0},    {9, 9, 9}};
    for (int i = 0; i < 8; ++i)
        Paint(in, i % 4, i / 4, colours[size_t(i)]);
    Frame* out = RenderAt(in, 0);
    ASSERT_NE(out, nullptr);
    for (int i = 0; i < 8; ++i) {
        const bool black = colours[size_t(i)] == std::vector<uint8_t>{0, 0, 0};
        const std::vector<uint8_t> video = {20, 30, 40};
        EXPECT_EQ(Pixel(*out, i % 4, i / 4), black ? colours[size_t(i)] : video) << "pixel " << i;
    }
}

TEST_F(BackgroundWithVideo, FourByteFramesMixByAlpha) {
    UseFile(Clip("flat.avi", 8, 6, FlatByte));
    Frame in(FrameFormat{3, 3, 32});
    const int alphas[] = {0, 128, 255};
    const uint8_t sources[3][3] = {{0, 0, 0}, {255, 128, 3}, {77, 200, 19}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            Paint(in, x, y, {sources[y][0], sources[y][1], sources[y][2], uint8_t(alphas[x])});
    Frame* out = RenderAt(in, 0.1);  // frame 1: 60, 70, 80
    ASSERT_NE(out, nullptr);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const std::vector<uint8_t> got = Pixel(*out, x, y);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(got[size_t(c)], RealMix(60 + 10 * c, sources[y][c], alphas[x]))
                    << x << "," << y << " channel " << c;
            EXPECT_EQ(got[3], 255);
        }
    // Alpha 255 keeps the clip, 0 shows the video.
    EXPECT_EQ(Pixel(*out, 2, 1), (std::vector<uint8_t>{255, 128, 3, 255}));
    EXPECT_EQ(Pixel(*out, 0, 1), (std::vector<uint8_t>{60, 70, 80, 255}));
}

TEST_F(BackgroundWithVideo, TheVideoTopRowLandsOnTheFrameTopRow) {
    // Clips are stored bottom-up; frames either way.
    UseFile(Clip("pattern.avi", 16, 8, PatternByte));
    for (bool bottomUp : {false, true}) {
        Frame in(FrameFormat{16, 8, 32, 0, bottomUp});
        in.Fill(0);  // alpha 0 everywhere
        Frame* out = RenderAt(in, 0.2);
        ASSERT_NE(out, nullptr);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(out->Row(y)[x * 4 + c], PatternByte(2, x, y, c))
                        << x << "," << y << (bottomUp ? " bottom-up" : "");
    }
}

TEST_F(BackgroundWithVideo, TheVideoIsStretchedOverFramesOfAnySize) {
    const struct {
        int videoW, videoH, frameW, frameH;
    } sizes[] = {{5, 3, 37, 23}, {40, 20, 7, 5}, {16, 8, 16, 8}, {3, 1, 1, 9}};
    int n = 0;
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s.videoW) + "x" + std::to_string(s.videoH) + " into " +
                     std::to_string(s.frameW) + "x" + std::to_string(s.frameH));
        UseFile(Clip(("size" + std::to_string(n++) + ".avi").c_str(), s.videoW, s.videoH,
                     PatternByte, 2));
        Frame in(FrameFormat{s.frameW, s.frameH, 24, 0, false, 1});
        in.Fill(1);  // any colour but pure black lets the video through
        Frame* out = RenderAt(in, 0);
        ASSERT_NE(out, nullptr);
        for (int y = 0; y < s.frameH; ++y)
            for (int x = 0; x < s.frameW; ++x) {
                const int vx = int(x * (1.0 / s.frameW) * s.videoW);
                const int vy = int(y * (1.0 / s.frameH) * s.videoH);
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(out->Row(y)[x * 3 + c], PatternByte(0, vx, vy, c)) << x << "," << y;
            }
        EXPECT_TRUE(test::PaddingUntouched(*out));
    }
}

TEST_F(BackgroundWithVideo, StepsWithTheClipTimeAndTheOffset) {
    UseFile(Clip("flat.avi", 4, 4, FlatByte));  // ten frames, one second
    Frame in(FrameFormat{2, 2, 32});
    in.Fill(0);
    const struct {
        int offset;
        double seconds;
        int frame;
    } steps[] = {{0, 0.0, 0},   {0, 0.36, 3},  {0, 0.92, 9},
                 {20, 0.36, 5}, {50, 0.04, 5}, {0, 0.2, 2}};
    for (const auto& s : steps) {
        settings.timeOffset = s.offset;
        UseFile(folder.path / "flat.avi");
        Frame* out = RenderAt(in, s.seconds);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->Row(1)[4], FlatByte(s.frame, 0, 0, 0))
            << "offset " << s.offset << " at " << s.seconds << "s";
    }
}

TEST_F(BackgroundWithVideo, AFailedOpenIsRetriedOnTheNextFrame) {
    const std::filesystem::path later = folder.path / "later.avi";
    UseFile(later);
    Frame in(FrameFormat{2, 2, 24});
    in.Fill(1);
    Frame* out = RenderAt(in, 0);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Pixel(*out, 1, 1), (std::vector<uint8_t>{1, 1, 1}));  // the clip itself
    WriteTestClip(later, 4, 4, 2, 10, OtherFlatByte);
    out = RenderAt(in, 0);
    EXPECT_EQ(Pixel(*out, 1, 1), (std::vector<uint8_t>{222, 172, 122}));
}

TEST_F(BackgroundWithVideo, AnotherFileNamedInTheBlockIsOpened) {
    Frame in(FrameFormat{2, 2, 24});
    in.Fill(1);
    UseFile(Clip("flat.avi", 4, 4, FlatByte));
    EXPECT_EQ(Pixel(*RenderAt(in, 0), 0, 0), (std::vector<uint8_t>{20, 30, 40}));
    UseFile(Clip("other.avi", 4, 4, OtherFlatByte));
    EXPECT_EQ(Pixel(*RenderAt(in, 0), 0, 0), (std::vector<uint8_t>{222, 172, 122}));
}

TEST_F(BackgroundWithVideo, FilesThatAreNoVideoShowTheClip) {
    WriteTextFile(folder.path / "notes.avi", "not a video at all");
    const std::filesystem::path cut = folder.path / "cut.avi";
    WriteTestClip(cut, 4, 4, 3, 10, FlatByte);
    std::filesystem::resize_file(cut, 100);
    Frame in(FrameFormat{3, 2, 32});
    test::PaintTestPicture(in, 5);
    for (const char* name : {"notes.avi", "cut.avi", "missing.avi", ""}) {
        SCOPED_TRACE(name);
        UseFile(*name ? folder.path / name : std::filesystem::path());
        Frame* out = RenderAt(in, 0.1);
        ASSERT_NE(out, nullptr);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                for (int c = 0; c < 3; ++c) {
                    const uint8_t s = in.Row(y)[x * 4 + c];
                    ASSERT_EQ(out->Row(y)[x * 4 + c], RealMix(s, s, in.Row(y)[x * 4 + 3]));
                }
    }
}

TEST_F(BackgroundWithVideo, AFailedGrabKeepsThePictureGrabbedBefore) {
    const std::filesystem::path clip = Clip("flat.avi", 64, 64, FlatByte, 40);
    UseFile(clip);
    Frame in(FrameFormat{2, 2, 24});
    in.Fill(1);
    EXPECT_EQ(Pixel(*RenderAt(in, 0.1), 0, 0), (std::vector<uint8_t>{60, 70, 80}));
    // The frames' data is gone while the reader stays open.
    std::filesystem::resize_file(clip, 2000);
    Frame* out = RenderAt(in, 3.5);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Pixel(*out, 0, 0), (std::vector<uint8_t>{60, 70, 80}));
}

TEST_F(BackgroundWithVideo, RendersMatchTheFixedChecksums) {
    UseFile(Clip("pattern.avi", 16, 8, PatternByte));
    // Layouts bgra, bgr, bgra-bottom-up, bgr-padded, bgr-bottom-up-padded.
    const uint64_t expected[2][5] = {{0x9b2285a56d4cfd04, 0x8a5a394adc6dbe7f, 0x9b2285a56d4cfd04,
                                      0x8a5a394adc6dbe7f, 0x8a5a394adc6dbe7f},
                                     {0xe071c47e0fb4f786, 0x93934edaa375aca3, 0xe071c47e0fb4f786,
                                      0x93934edaa375aca3, 0x93934edaa375aca3}};
    const bool print = std::getenv("VEX_PRINT_GOLDENS") != nullptr;
    for (int offset : {0, 30}) {
        settings.timeOffset = offset;
        UseFile(folder.path / "pattern.avi");
        std::string got;
        for (int l = 0; l < 5; ++l) {
            const test::Layout& layout = test::kLayouts[l];
            Frame in(
                FrameFormat{37, 23, layout.bitsPerPixel, 0, layout.bottomUp, layout.rowPadding});
            test::PaintTestPicture(in, 7);
            Frame* out = RenderAt(in, 0.27);
            ASSERT_NE(out, nullptr);
            const uint64_t h = test::PictureHash(*out);
            got += (l ? ", 0x" : "0x") + test::Hex64(h);
            if (!print) {
                EXPECT_EQ(test::Hex64(h), test::Hex64(expected[offset ? 1 : 0][l]))
                    << layout.name << " offset " << offset;
            }
        }
        if (print) std::printf("VXEBackground offset %d: {%s}\n", offset, got.c_str());
    }
}

TEST(BackgroundStandIn, TheDialogAnswersCancelled) {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEBackground"};
    const std::vector<uint8_t> before = run.instance().params().ByIndex(0)->data;
    host::WindowSource window;
    EXPECT_EQ(run.instance().EditSettings('A', window), 0);
    EXPECT_EQ(run.instance().EditSettings('B', window), 0);
    EXPECT_EQ(run.instance().params().ByIndex(0)->data, before);
}

}  // namespace
}  // namespace vx
