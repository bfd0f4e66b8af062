// Gear and Lighthouse: declarations, the shapes they cut or light, their
// turning over the clip, frames without alpha, packed frames and bad input.
#include <gtest/gtest.h>

#include "host/standin_host.h"
#include "tests/declarations.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;

std::vector<uint8_t> Px(Frame& f, int x, int y) {
    const int n = f.BytesPerPixel();
    return {f.Row(y) + n * x, f.Row(y) + n * x + n};
}

struct GearTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEGear"};
    // 200 x 200 with the centre at (100, 100): outer radius 100, inner 80;
    // ten teeth, each 0.628 radian with its gap.
    Frame in{FrameFormat{200, 200, 32}};
    void SetUp() override {
        test::PaintTestPicture(in);
        run.instance().context().duration = {2, 25, 1};  // frame 1 is the middle
    }
    bool Kept(Frame& out, int x, int y) {
        std::vector<uint8_t> p = Px(out, x, y);
        if (p == Px(in, x, y)) return true;
        // Transparent: only the alpha byte is written (the colour bytes keep
        // whatever the host's output frame held).
        EXPECT_EQ(p[3], 0) << x << "," << y;
        return false;
    }
};

TEST_F(GearTest, Declarations) {
    const std::vector<std::string> expected = {
        "0 Pos x real def=50 range=0..100 slider=0..100 step=0.1",
        "1 Pos y real def=50 range=0..100 slider=0..100 step=0.1",
        "2 Radius real def=50 range=1..100 slider=1..100 step=0.1",
        "3 Teeth integer def=10 range=3..20 slider=3..20 step=1",
        "4 Move real def=0 range=-10..10 slider=-10..10 step=0.1",
    };
    EXPECT_EQ(test::DeclarationLines(run.instance()), expected);
}

TEST_F(GearTest, TeethRiseStandAndFallAroundTheInnerDisc) {
    host::CallLog log;
    run.instance().services().log = &log;
    run.Set("Radius", "50");
    Frame* out = run.Render(in);
    EXPECT_EQ(log.Count("frame.PrepareAlpha 0"), 1u);
    EXPECT_TRUE(Kept(*out, 100, 100));
    EXPECT_TRUE(Kept(*out, 100, 179));   // inside the inner radius straight down
    EXPECT_FALSE(Kept(*out, 100, 190));  // the start of a rising flank, at radius 90
    EXPECT_TRUE(Kept(*out, 120, 188));   // 35 % into a tooth: its top
    EXPECT_FALSE(Kept(*out, 146, 178));  // 85 % into a tooth: the gap
    EXPECT_TRUE(Kept(*out, 136, 162));   // the gap, but inside the inner radius
    EXPECT_FALSE(Kept(*out, 1, 0));      // beyond the outer radius
}

TEST_F(GearTest, MoveTurnsTheWheelOverTheClip) {
    // At mid-clip Move 0.07 turns by 0.035 of a circle, 35 % of a tooth: the
    // tooth top now lies straight down; turning the other way puts the
    // falling flank there, which at radius 90 has already fallen.
    run.instance().context().SetFrame(1);
    run.Set("Move", "0.07");
    EXPECT_TRUE(Kept(*run.Render(in), 100, 190));
    run.Set("Move", "-0.07");
    EXPECT_FALSE(Kept(*run.Render(in), 100, 190));
    run.Set("Move", "0");
    EXPECT_FALSE(Kept(*run.Render(in), 100, 190));
}

TEST_F(GearTest, FramesWithoutAlphaShowBlackOutsideTheWheel) {
    Frame rgb(FrameFormat{20, 20, 24, 0, true, 3});
    test::PaintTestPicture(rgb);
    Frame* out = run.Render(rgb);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(Px(*out, 10, 10), Px(rgb, 10, 10));
    EXPECT_TRUE(test::PaddingUntouched(*out));
    Frame packed(FrameFormat{20, 20, 16, 1});
    test::PaintTestPicture(packed);
    out = run.Render(packed);
    EXPECT_EQ(Px(*out, 0, 0), (std::vector<uint8_t>{128, 16}));
    EXPECT_EQ(Px(*out, 1, 0), (std::vector<uint8_t>{128, 16}));
    EXPECT_EQ(Px(*out, 10, 10), Px(packed, 10, 10));
}

// The wheel's outline: the alpha byte of every pixel.
std::vector<uint8_t> Outline(Frame& out) {
    const std::vector<uint8_t> pixels = out.Pixels();
    std::vector<uint8_t> alpha;
    for (size_t i = 3; i < pixels.size(); i += 4)
        alpha.push_back(pixels[i]);
    return alpha;
}

TEST_F(GearTest, TeethOutsideTheListAreHeldToIt) {
    host::ParameterRecord* teeth = run.instance().params().ByIndex(3);
    teeth->integer = 3;
    const std::vector<uint8_t> three = Outline(*run.Render(in));
    teeth->integer = 20;
    const std::vector<uint8_t> twenty = Outline(*run.Render(in));
    EXPECT_NE(three, twenty);
    for (int32_t n : {0, -5, INT32_MIN}) {
        teeth->integer = n;
        EXPECT_EQ(Outline(*run.Render(in)), three) << n;
    }
    teeth->integer = 1000;
    EXPECT_EQ(Outline(*run.Render(in)), twenty);
}

// The outline is kept between frames: the wheel's parameters, its turn over
// the clip and the frame size must each rebuild it.  (Frames without alpha:
// in four-byte frames the hidden pixels keep whatever colour the output
// frame held.)
TEST_F(GearTest, FollowsEveryChangeBetweenFrames) {
    using test::RenderStep;
    test::ExpectSameAsFreshInstances(
        library, "VXEGear",
        {RenderStep{{}, FrameFormat{41, 30, 24}}, RenderStep{{}, FrameFormat{41, 30, 24}},
         RenderStep{{{"Pos x", "30"}, {"Pos y", "60"}}, FrameFormat{41, 30, 24}},
         RenderStep{{{"Radius", "90"}}, FrameFormat{41, 30, 24}},
         RenderStep{{{"Teeth", "5"}}, FrameFormat{41, 30, 24}},
         RenderStep{{{"Move", "3"}, {"@frame", "10"}}, FrameFormat{41, 30, 24}},
         RenderStep{{{"@frame", "11"}}, FrameFormat{41, 30, 24}},
         RenderStep{{}, FrameFormat{40, 31, 24, 0, true, 3}},
         RenderStep{{}, FrameFormat{40, 31, 16, 1}}});
}

TEST_F(GearTest, HostileValuesStayInside) {
    for (const char* v : {"nan", "inf", "-inf", "1e300", "-1e300", "0"}) {
        for (const char* name : {"Pos x", "Radius", "Move"}) {
            run.Set(name, v);
            test::ExpectOddFramesStayInside(run, std::string(name) + "=" + v);
            run.Set(name, "50");
        }
    }
}

struct LighthouseTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXELighthouse"};
    // Uniform grey 200 with alpha 77; the centre is (50, 50).
    Frame in{FrameFormat{100, 100, 32}};
    void SetUp() override {
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                uint8_t* p = in.Row(y) + 4 * x;
                p[0] = p[1] = p[2] = 200;
                p[3] = 77;
            }
        run.Set("Color red", "10").Set("Color green", "20").Set("Color blue", "30");
        run.instance().context().duration = {4, 25, 1};
    }
    Frame* RenderCopy() {
        copy = std::make_unique<Frame>(in.Format());
        copy->SetPixels(in.Pixels());
        return run.Render(*copy);
    }
    std::unique_ptr<Frame> copy;
};

const std::vector<uint8_t> kGrey = {200, 200, 200, 77};
const std::vector<uint8_t> kBeam = {30, 20, 10, 255};

TEST_F(LighthouseTest, Declarations) {
    const std::vector<std::string> expected = {
        "0 Pos x real def=50 range=0..100 slider=0..100 step=0.1",
        "1 Pos y real def=50 range=0..100 slider=0..100 step=0.1",
        "2 Width Top real def=20 range=0..100 slider=0..100 step=0.1",
        "3 Width Bottom real def=20 range=0..100 slider=0..100 step=0.1",
        "4 Color red real def=255 range=0..255 slider=0..255 step=1",
        "5 Color green real def=255 range=0..255 slider=0..255 step=1",
        "6 Color blue real def=255 range=0..255 slider=0..255 step=1",
        "7 Change Color boolean def=false",
        "8 Turns real def=1 range=-5..5 slider=-5..5 step=0.1",
        "9 Angle 1 real def=0 range=0..360 slider=0..360 step=1",
        "10 Angle 2 real def=0 range=0..360 slider=0..360 step=1",
        "11 Angle 3 real def=0 range=0..360 slider=0..360 step=1",
        "12 Angle 4 real def=0 range=0..360 slider=0..360 step=1",
    };
    EXPECT_EQ(test::DeclarationLines(run.instance()), expected);
}

TEST_F(LighthouseTest, WorksInPlaceWithTheBeamColourOnItsAxisFadingToItsEdge) {
    Frame* out = RenderCopy();
    EXPECT_EQ(out, copy.get());
    EXPECT_EQ(Px(*out, 50, 90), kBeam);        // straight down: on the axis
    const uint8_t half = Px(*out, 54, 90)[0];  // 0.0997 radian off a 0.2 half-width
    EXPECT_GE(half, 110);
    EXPECT_LE(half, 120);
    EXPECT_EQ(Px(*out, 54, 90)[3], 77);
    EXPECT_EQ(Px(*out, 70, 90), kGrey);  // 0.46 radian off: outside
    EXPECT_EQ(Px(*out, 50, 10), kGrey);  // straight up
    run.Set("Width Bottom", "0");
    out = RenderCopy();
    EXPECT_EQ(Px(*out, 50, 90), kBeam);  // still 0.002 radian wide
    EXPECT_EQ(Px(*out, 51, 90), kGrey);
}

TEST_F(LighthouseTest, TheWidthDependsOnWhereTheBeamPoints) {
    run.Set("Width Top", "50").Set("Width Bottom", "5").Set("Angle 1", "180");
    Frame* out = RenderCopy();
    EXPECT_EQ(Px(*out, 50, 10), kBeam);
    EXPECT_NE(Px(*out, 62, 10), kGrey);  // 0.29 radian off the up beam: inside
    EXPECT_EQ(Px(*out, 62, 90), kGrey);  // 0.29 radian off the down beams: outside
    EXPECT_NE(Px(*out, 51, 90), kGrey);
}

TEST_F(LighthouseTest, TurnsAndColourChangeFollowTheClip) {
    run.instance().context().SetFrame(2);  // half way: Turns 1 points the beams up
    Frame* out = RenderCopy();
    EXPECT_EQ(Px(*out, 50, 10), kBeam);
    EXPECT_EQ(Px(*out, 50, 90), kGrey);
    run.instance().context().SetFrame(1);  // a quarter: Turns -1 points them to the left
    run.Set("Turns", "-1");
    out = RenderCopy();
    EXPECT_EQ(Px(*out, 10, 50), kBeam);
    // Half way round the colour circle red becomes cyan.
    run.Set("Turns", "0").Set("Change Color", "true").Set("Color red", "255");
    run.Set("Color green", "0").Set("Color blue", "0");
    run.instance().context().SetFrame(2);
    EXPECT_EQ(Px(*RenderCopy(), 50, 90), (std::vector<uint8_t>{255, 255, 0, 255}));
    run.instance().context().SetFrame(0);
    EXPECT_EQ(Px(*RenderCopy(), 50, 90), (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST_F(LighthouseTest, PackedAndThreeByteFramesBlendTheirOwnBytes) {
    run.Set("Color red", "255").Set("Color green", "255").Set("Color blue", "255");
    Frame packed(FrameFormat{20, 20, 16, 1});
    packed.Fill(60);
    Frame* out = run.Render(packed);
    EXPECT_EQ(Px(*out, 10, 18), (std::vector<uint8_t>{128, 235}));  // white: Y 235
    EXPECT_EQ(Px(*out, 0, 18), (std::vector<uint8_t>{60, 60}));
    Frame rgb(FrameFormat{20, 20, 24, 0, true, 3});
    rgb.Fill(60);
    out = run.Render(rgb);
    EXPECT_EQ(Px(*out, 10, 18), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_TRUE(test::PaddingUntouched(*out));
}

// The pixel directions are kept between frames: the centre and the frame
// size must rebuild them.
TEST_F(LighthouseTest, FollowsEveryChangeBetweenFrames) {
    using test::RenderStep;
    test::ExpectSameAsFreshInstances(
        library, "VXELighthouse",
        {RenderStep{{{"Angle 2", "100"}, {"Width Top", "40"}}, FrameFormat{41, 30, 32}},
         RenderStep{{{"@frame", "20"}}, FrameFormat{41, 30, 32}},
         RenderStep{{{"Pos x", "30"}}, FrameFormat{41, 30, 32}},
         RenderStep{{{"Pos y", "80"}}, FrameFormat{41, 30, 32}},
         RenderStep{{}, FrameFormat{40, 31, 32}},
         RenderStep{{}, FrameFormat{40, 31, 24, 0, true, 3}},
         RenderStep{{}, FrameFormat{40, 31, 16, 1}}});
}

TEST_F(LighthouseTest, HostileValuesStayInside) {
    for (const char* v : {"nan", "inf", "-inf", "1e300", "-1e300", "0"}) {
        for (const char* name : {"Pos y", "Width Top", "Turns", "Angle 2", "Color red"}) {
            run.Set(name, v).Set("Change Color", "true");
            run.instance().context().SetFrame(3);
            test::ExpectOddFramesStayInside(run, std::string(name) + "=" + v);
            run.Set(name, "20");
        }
    }
}

}  // namespace
}  // namespace vx
