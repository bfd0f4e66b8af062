// ColorAdjust: neutral settings, contrast and intensity extremes, gamma, alpha.
#include <gtest/gtest.h>

#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;

struct ColorAdjustTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEColorAdjust"};
};

TEST_F(ColorAdjustTest, DefaultsLeaveThePictureButRaiseZeroAlpha) {
    Frame frame(FrameFormat{33, 7, 32, 0, true, 4});
    test::PaintTestPicture(frame);
    frame.Row(0)[3] = 0;
    std::vector<uint8_t> before = frame.Pixels();
    Frame* out = run.Render(frame);
    ASSERT_EQ(out, &frame) << "works in place";
    std::vector<uint8_t> after = frame.Pixels();
    before[3] = 255;
    EXPECT_EQ(after, before);
    EXPECT_TRUE(test::PaddingUntouched(frame));
}

TEST_F(ColorAdjustTest, ContrastZeroGivesMiddleGreyAndIntensityZeroGivesGrey) {
    Frame frame(FrameFormat{9, 5, 24});
    test::PaintTestPicture(frame);
    run.Set("Contrast", "0");
    run.Render(frame);
    for (uint8_t b : frame.Pixels()) ASSERT_EQ(b, 128);

    test::PaintTestPicture(frame);
    run.Set("Contrast", "100").Set("Color intensity", "0");
    std::vector<uint8_t> src = frame.Pixels();
    run.Render(frame);
    std::vector<uint8_t> out = frame.Pixels();
    for (size_t i = 0; i < out.size(); i += 3) {
        EXPECT_EQ(out[i], out[i + 1]);
        EXPECT_EQ(out[i], out[i + 2]);
        double m = (src[i] + src[i + 1] + src[i + 2]) / 3.0;
        EXPECT_NEAR(out[i], m, 0.5 + 1e-9);
    }
    EXPECT_TRUE(test::PaddingUntouched(frame));
}

TEST_F(ColorAdjustTest, ZeroGainsAndHighContrastStayBlackUnderAnyGamma) {
    Frame frame(FrameFormat{4, 4, 32});
    test::PaintTestPicture(frame);
    run.Set("Color red", "0").Set("Color green", "0").Set("Color blue", "0");
    run.Set("Contrast", "300").Set("Gamma red", "0.1").Set("Gamma blue", "2.5");
    run.Render(frame);
    // Every channel is 128 - 128 * 3 < 0 before intensity and gamma.
    std::vector<uint8_t> out = frame.Pixels();
    for (size_t i = 0; i < out.size(); i += 4) EXPECT_EQ(out[i] | out[i + 1] | out[i + 2], 0);
}

TEST_F(ColorAdjustTest, GammaBendsMidtonesOnly) {
    Frame frame(FrameFormat{3, 1, 24});
    uint8_t* p = frame.Row(0);
    const uint8_t px[9] = {0, 0, 0, 64, 64, 64, 255, 255, 255};
    std::copy(px, px + 9, p);
    run.Set("Gamma green", "2");
    run.Render(frame);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[4], 128);  // 255 * (64/255)^0.5 = 127.75
    EXPECT_EQ(p[3], 64);
    EXPECT_EQ(p[7], 255);
}

TEST_F(ColorAdjustTest, HostileValuesAndFramesDoNotBreakIt) {
    for (const char* v : {"nan", "inf", "-inf", "-1e308", "1e308"}) {
        SCOPED_TRACE(v);
        for (const char* name : {"Color red", "Brightness", "Contrast", "Color intensity", "Gamma red"})
            run.Set(name, v);
        for (auto fmt : {FrameFormat{1, 1, 32}, FrameFormat{3, 5, 24, 0, true, 1},
                         FrameFormat{6, 2, 16, 1}}) {
            Frame frame(fmt);
            test::PaintTestPicture(frame);
            std::vector<uint8_t> before = frame.Pixels();
            run.Render(frame);
            EXPECT_TRUE(test::PaddingUntouched(frame));
            if (fmt.bitsPerPixel == 16) EXPECT_EQ(frame.Pixels(), before) << "4:2:2 passes unchanged";
        }
    }
}

}  // namespace
}  // namespace vx
