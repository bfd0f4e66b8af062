// ColorCorrect: the levels arithmetic at its edges, the tables against the
// direct formula, the dialog's rules for typed values, the histograms, the
// settings interfaces with the Linux stand-in dialog, hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "effects/colour/color_correct.h"
#include "host/standin_host.h"
#include "tests/colour_test_support.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using colorcorrect::MapLevel;
using host::Frame;
using host::FrameFormat;

// One row holding every byte value in every channel: pixel x is (x, x, x).
Frame AllValues(int32_t bpp, bool bottomUp = false, int32_t padding = 0) {
    Frame f(FrameFormat{256, 1, bpp, 0, bottomUp, padding});
    for (int x = 0; x < 256; ++x)
        test::SetPx(f, x, 0, std::vector<uint8_t>(bpp / 8, uint8_t(x)));
    return f;
}

struct ColorCorrectTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEColorCorrect"};

    // The red, green and blue bytes the effect gives value x.
    std::vector<std::array<int, 3>> Render(int32_t bpp = 32) {
        Frame in = AllValues(bpp);
        Frame* out = run.Render(in);
        std::vector<std::array<int, 3>> got;
        if (!out) return got;
        for (int x = 0; x < 256; ++x) {
            const auto p = test::Px(*out, x, 0);
            got.push_back({p[2], p[1], p[0]});
        }
        return got;
    }
};

TEST_F(ColorCorrectTest, DeclaresItsParameters) {
    test::ExpectDeclarations(run.instance().params(),
                             {{kKindInteger, "Minimum red", 0, 1, 0, 255},
                              {kKindInteger, "Maximum red", 255, 1, 0, 255},
                              {kKindReal, "Gamma red", 1, 0.1, 0.1, 2.5},
                              {kKindInteger, "Minimum green", 0, 1, 0, 255},
                              {kKindInteger, "Maximum green", 255, 1, 0, 255},
                              {kKindReal, "Gamma green", 1, 0.1, 0.1, 2.5},
                              {kKindInteger, "Minimum blue", 0, 1, 0, 255},
                              {kKindInteger, "Maximum blue", 255, 1, 0, 255},
                              {kKindReal, "Gamma blue", 1, 0.1, 0.1, 2.5}});
}

TEST_F(ColorCorrectTest, DefaultsRaiseEveryValueByOneAndLeaveTheFourthByte) {
    for (int32_t bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        Frame in = AllValues(bpp);
        Frame* out = run.Render(in);
        ASSERT_NE(out, nullptr);
        ASSERT_NE(out, &in) << "renders into a frame of its own";
        for (int x = 0; x < 256; ++x) {
            const int want = x <= 253 ? x + 1 : 255;
            const auto p = test::Px(*out, x, 0);
            ASSERT_EQ(p[0], want) << x;
            ASSERT_EQ(p[1], want) << x;
            ASSERT_EQ(p[2], want) << x;
            if (bpp == 32) {
                ASSERT_EQ(p[3], 0xCD) << "the host's fill stays";
            }
        }
        EXPECT_EQ(test::Px(in, 7, 0), std::vector<uint8_t>(bpp / 8, 7)) << "source untouched";
    }
}

TEST_F(ColorCorrectTest, EqualLimitsSplitAtTheLimitAndInvertedLimitsInvert) {
    run.Set("Minimum red", "100").Set("Maximum red", "100");
    run.Set("Minimum green", "200").Set("Maximum green", "50");
    run.Set("Minimum blue", "255").Set("Maximum blue", "255");
    const auto got = Render();
    ASSERT_EQ(got.size(), 256u);
    for (int x = 0; x < 256; ++x) {
        SCOPED_TRACE(x);
        // Infinite scale: above the limit 255; at it 0 * inf is not a number, which is 0.
        EXPECT_EQ(got[x][0], x > 100 ? 255 : 0);
        EXPECT_EQ(got[x][2], 0);
    }
    // Green runs backwards: 50 and below white, 200 gives the half-step 1.
    EXPECT_EQ(got[0][1], 255);
    EXPECT_EQ(got[50][1], 255);
    EXPECT_EQ(got[125][1], 128);  // -75 * -1.7 + 0.5, rounded
    EXPECT_EQ(got[200][1], 1);
    EXPECT_EQ(got[255][1], 0);
    for (int x = 51; x < 256; ++x)
        EXPECT_LE(got[x][1], got[x - 1][1]);
}

TEST_F(ColorCorrectTest, ExponentsBendMidtonesAndOnlyExactlyOneSkipsThePower) {
    run.Set("Gamma red", "0.5").Set("Gamma green", "2").Set("Gamma blue", "1.0000001");
    const auto got = Render(24);
    EXPECT_EQ(got[64][0], 128);  // 255 * sqrt(64/255) = 127.75
    EXPECT_EQ(got[128][1], 65);  // 255 * (128/255)^2 = 64.25
    EXPECT_EQ(got[0][0], 1);
    EXPECT_EQ(got[255][1], 255);
    // With the power computed, 254 lands a hair below the half step that
    // the plain path reaches.
    EXPECT_EQ(got[254][2], 254);
    EXPECT_EQ(MapLevel(254, 0, 255, 1.0), 255);
    for (int x = 1; x < 256; ++x) {
        EXPECT_GE(got[x][0], x <= 253 ? x + 1 : 255) << x;
        EXPECT_LE(got[x][1], x <= 253 ? x + 1 : 255) << x;
    }
}

TEST(ColorCorrectLevels, TablesGiveTheBytesOfTheDirectFormula) {
    const double exponents[] = {1.0,
                                0.1,
                                0.45,
                                0.999999,
                                1.5,
                                2.5,
                                0.0,
                                -1.0,
                                std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()};
    const int32_t limits[][2] = {{0, 255},
                                 {16, 235},
                                 {100, 100},
                                 {200, 50},
                                 {-40, 300},
                                 {INT32_MIN, INT32_MAX},
                                 {INT32_MAX, INT32_MIN}};
    colorcorrect::LevelsTable table;
    for (double e : exponents)
        for (const auto& l : limits)
            for (int again = 0; again < 2; ++again) {
                table.Update(l[0], l[1], e);
                for (int x = 0; x < 256; ++x)
                    ASSERT_EQ(table.Map()[x], MapLevel(x, l[0], l[1], e))
                        << "x=" << x << " lo=" << l[0] << " hi=" << l[1] << " e=" << e;
            }
}

TEST(ColorCorrectDialogRules, TypedLimitsFollowEachEditsRule) {
    using namespace colorcorrect;
    struct Case {
        int index;
        const char* text;
        int32_t want[6];
        bool replaced;
        int32_t shown;
    };
    const int32_t start[6] = {20, 200, 30, 180, 40, 160};
    const Case cases[] = {
        {kRedMin, "250", {250, 200, 30, 180, 40, 160}, false, 0},  // no check
        {kRedMin, "", {0, 200, 30, 180, 40, 160}, false, 0},
        {kRedMax, "21", {20, 21, 30, 180, 40, 160}, false, 0},
        {kRedMax, "20", {20, 21, 30, 180, 40, 160}, true, 21},  // snaps
        {kRedMax, "3", {20, 21, 30, 180, 40, 160}, true, 21},
        {kGreenMin, "179", {20, 200, 179, 180, 40, 160}, false, 0},
        {kGreenMin, "180", {20, 200, 30, 180, 40, 160}, false, 0},  // keeps
        {kGreenMax, "30", {20, 200, 30, 180, 40, 160}, false, 0},
        {kGreenMax, "31", {20, 200, 30, 31, 40, 160}, false, 0},
        {kBlueMin, "999", {20, 200, 30, 180, 40, 160}, false, 0},
        {kBlueMax, "12abc", {20, 200, 30, 180, 40, 160}, false, 0},
        {kBlueMax, "41", {20, 200, 30, 180, 40, 41}, false, 0},
        {kBlueMax, "99999999999", {20, 200, 30, 180, 40, INT32_MAX}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " into limit " + std::to_string(c.index));
        int32_t limits[6];
        std::copy(start, start + 6, limits);
        int32_t shown = -7;
        const bool replaced = TypeLimit(limits, c.index, c.text, &shown);
        EXPECT_EQ(replaced, c.replaced);
        if (c.replaced) {
            EXPECT_EQ(shown, c.shown);
        }
        EXPECT_EQ(std::vector<int32_t>(limits, limits + 6),
                  std::vector<int32_t>(c.want, c.want + 6));
    }
    int32_t top[6] = {INT32_MAX, 0, 0, 0, 0, 0};
    int32_t shown = 0;
    EXPECT_TRUE(TypeLimit(top, kRedMax, "5", &shown));
    EXPECT_EQ(shown, INT32_MAX) << "no overflow past the largest minimum";
}

TEST(ColorCorrectDialogRules, TypedGammaOnlyInsideZeroToFive) {
    const struct {
        const char* text;
        double exponent;
    } cases[] = {{"2", 0.5},   {"0.5", 2.0},          {"4.99", 1 / 4.99}, {"5", 0.8},
                 {"0", 0.8},   {"-2", 0.8},           {"abc", 0.8},       {"nan", 0.8},
                 {"inf", 0.8}, {"1e-300", 1 / 1e-300}};
    for (const auto& c : cases) {
        double exponents[3] = {0.8, 0.8, 0.8};
        colorcorrect::TypeGamma(exponents, 1, c.text);
        EXPECT_EQ(exponents[1], c.exponent) << c.text;
        EXPECT_EQ(exponents[0], 0.8);
    }
}

TEST(ColorCorrectHistograms, CountEveryPixelOnceInAnyRowOrder) {
    for (const auto& format : {FrameFormat{4, 3, 32}, FrameFormat{4, 3, 24, 0, true, 3}}) {
        Frame f(format);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                test::SetPx(f, x, y, {uint8_t(x), uint8_t(y), 9, 255});  // blue x, green y, red 9
        const FrameView view = ViewFrame(f.Host());
        colorcorrect::Histograms h;
        h.Compute(view);
        EXPECT_EQ(h.counts[0][9], 12u);
        EXPECT_EQ(h.maxima[0], 12u);
        EXPECT_EQ(h.scales[0], 1.0 / 12);
        EXPECT_EQ(h.counts[1][2], 4u);
        EXPECT_EQ(h.counts[2][3], 3u);
        EXPECT_EQ(h.maxima[2], 3u);
        EXPECT_EQ(h.counts[0][256], 0u);
    }
    colorcorrect::Histograms empty;
    empty.Compute(ViewFrame(Frame(FrameFormat{4, 2, 16, 1}).Host()));
    EXPECT_EQ(empty.maxima[1], 0u);
    EXPECT_EQ(empty.scales[1], 1.0) << "no counts: scale 1";
}

TEST_F(ColorCorrectTest, AnswersBothSettingsInterfacesOnTheSameObject) {
    EffectInterface* fx = run.instance().effect();
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(fx->ops->QueryInterface(fx, &kSettingsInterfaceAId, &a), kOk);
    ASSERT_EQ(fx->ops->QueryInterface(fx, &kSettingsInterfaceBId, &b), kOk);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(fx->ops->GetRefCount(fx), 3);
    auto* sa = static_cast<SettingsInterfaceA*>(a);
    auto* sb = static_cast<SettingsInterfaceB*>(b);
    void* back = nullptr;
    ASSERT_EQ(sb->ops->QueryInterface(sb, &kEffectInterfaceId, &back), kOk);
    EXPECT_EQ(back, fx);
    void* secondary = nullptr;
    ASSERT_EQ(sa->ops->QueryInterface(sa, &kSecondaryInterfaceId, &secondary), kOk);
    auto* s = static_cast<SecondaryInterface*>(secondary);
    void* viaSecondary = nullptr;
    EXPECT_EQ(s->ops->QueryInterface(s, &kSettingsInterfaceBId, &viaSecondary), kOk);
    EXPECT_EQ(viaSecondary, b);
    EXPECT_EQ(sa->ops->GetRefCount(sa), 6);
    for (int i = 0; i < 2; ++i)
        sb->ops->Release(sb);
    sa->ops->Release(sa);
    s->ops->Release(s);
    fx->ops->Release(fx);
    EXPECT_EQ(fx->ops->GetRefCount(fx), 1);
    void* none = reinterpret_cast<void*>(1);
    const Guid zero{};
    EXPECT_EQ(sa->ops->QueryInterface(sa, &zero, &none), kNoInterface);
    EXPECT_EQ(none, nullptr);
}

// Linux has no dialog: both forms answer "cancelled" and change nothing, but
// form B still renders its preview of the clip's current frame.
TEST_F(ColorCorrectTest, StandInDialogKeepsTheParametersAndFormBRendersThePreview) {
    host::EffectInstance& fx = run.instance();
    host::CallLog log;
    fx.services().log = &log;
    run.Set("Minimum red", "12").Set("Maximum green", "0").Set("Gamma blue", "0.7");
    fx.context().start = {0, 30, 1};
    fx.context().duration = {300, 30, 1};
    fx.context().SetFrame(100);  // a third into the clip
    host::WindowSource source;
    source.parentWindow = nullptr;

    EXPECT_EQ(fx.EditSettings('A', source), 0);
    EXPECT_EQ(log.Count("services.CreateFrame"), 0u) << "no rendering service before form B";
    EXPECT_TRUE(source.requests.empty());

    EXPECT_EQ(fx.EditSettings('B', source), 0);
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0],
              "services.CreateFrame {B86BF9A6-9B63-416A-B947-4B5F4218A3C7} 720 480 4 0 1 1 1 0");
    ASSERT_EQ(source.requests.size(), 1u);
    EXPECT_EQ(source.requests[0].input, 0);
    EXPECT_EQ(source.requests[0].at.count, 100);  // 300 x 1/3 + 0.5, truncated
    EXPECT_EQ(source.requests[0].at.unitsPerSecond, 30);

    // Form A now renders with the service form B gave.
    EXPECT_EQ(fx.EditSettings('A', source), 0);
    EXPECT_EQ(source.requests.size(), 2u);

    EXPECT_EQ(fx.params().ByName("Minimum red")->integer, 12);
    EXPECT_EQ(fx.params().ByName("Maximum green")->integer, 0) << "not written back";
    EXPECT_EQ(fx.params().ByName("Gamma blue")->real, 0.7);
    // Each new preview gives the last one back; a reset gives back the last.
    auto& made = fx.services().createdFrames;
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0]->refCount, 0);
    EXPECT_EQ(made[1]->refCount, 1);
    fx.effect()->ops->Reset(fx.effect());
    EXPECT_EQ(made[1]->refCount, 0);
    EXPECT_EQ(fx.EditSettings('A', source), 0);
    EXPECT_EQ(source.requests.size(), 2u) << "the reset dropped the rendering service";
}

TEST_F(ColorCorrectTest, FailedPreviewsAndMissingArgumentsOpenWithoutAPicture) {
    host::EffectInstance& fx = run.instance();
    host::WindowSource source;
    source.render = [](int32_t, const TimeValue&, Frame&) { return false; };
    EXPECT_EQ(fx.EditSettings('B', source), 0);
    EXPECT_EQ(fx.services().createdFrames.at(0)->refCount, 0) << "unrendered picture given back";
    fx.services().failWith = 0x4002;
    EXPECT_EQ(fx.EditSettings('B', source), 0);

    void* b = nullptr;
    fx.effect()->ops->QueryInterface(fx.effect(), &kSettingsInterfaceBId, &b);
    auto* sb = static_cast<SettingsInterfaceB*>(b);
    EXPECT_EQ(sb->ops->EditSettings(sb, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(sb->ops->EditSettings(sb, fx.context().Host(), nullptr, nullptr, nullptr), 0);
    sb->ops->Release(sb);

    // Frames still render afterwards.
    fx.services().failWith = kOk;
    Frame in = AllValues(32);
    ASSERT_NE(run.Render(in), nullptr);
}

TEST_F(ColorCorrectTest, HostileValuesStillRenderEveryPixel) {
    const char* values[][2] = {{"Gamma red", "nan"},
                               {"Gamma green", "inf"},
                               {"Gamma blue", "-inf"},
                               {"Minimum red", "-2147483648"},
                               {"Maximum red", "2147483647"},
                               {"Minimum green", "2147483647"},
                               {"Maximum green", "-2147483648"}};
    for (const auto& v : values)
        run.Set(v[0], v[1]);
    const auto got = Render();
    ASSERT_EQ(got.size(), 256u);
    EXPECT_EQ(got[0][0], 0);      // (0^nan) is not a number: 0
    EXPECT_EQ(got[255][0], 128);  // 1^nan = 1: 255 + 2^31 over 2^32 - 1, rounded
    EXPECT_EQ(got[100][1], 128);  // (x/255)^inf = 0: 2^31 - 1 over 2^32 - 1, rounded
    EXPECT_EQ(got[100][2], 255);  // (x/255)^-inf = inf
}

TEST_F(ColorCorrectTest, EveryLayoutIsHandledRowByRowAndPackedFramesPassUnchanged) {
    for (const test::Layout& layout : test::kLayouts) {
        SCOPED_TRACE(layout.name);
        Frame in(FrameFormat{13, 5, layout.bitsPerPixel, layout.pixelFormat, layout.bottomUp,
                             layout.rowPadding});
        test::PaintTestPicture(in);
        Frame* out = run.Render(in);
        ASSERT_NE(out, nullptr);
        EXPECT_TRUE(test::PaddingUntouched(*out));
        const std::vector<uint8_t> src = in.Pixels(), dst = out->Pixels();
        const int n = in.BytesPerPixel();
        for (size_t i = 0; i < src.size(); ++i) {
            if (layout.pixelFormat) {
                ASSERT_EQ(dst[i], src[i]) << i;
            } else if (n == 3 || i % 4 != 3) {
                ASSERT_EQ(dst[i], src[i] <= 253 ? src[i] + 1 : 255) << i;
            }
        }
    }
}

TEST_F(ColorCorrectTest, MissingFramesAnswerWithoutRendering) {
    host::EffectInstance& fx = run.instance();
    EXPECT_EQ(fx.Render({nullptr}, nullptr), kNoFrame);
    for (const FrameFormat& format : test::HostileFormats()) {
        Frame in(format);
        test::PaintTestPicture(in);
        EXPECT_NE(run.Render(in), nullptr);
    }
    // Process with holders that yield nothing.
    host::FrameHolder empty;
    HostFrameHolder* holders[] = {empty.Host()};
    HostInputList inputs{1, holders};
    EffectInterface* e = fx.effect();
    EXPECT_EQ(e->ops->Process(e, empty.Host(), &inputs, fx.context().Host(), nullptr,
                              fx.services().Host()),
              kOk);
}

}  // namespace
}  // namespace vx
