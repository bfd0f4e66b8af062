// Ghost: declarations, the frames it takes from the clip and their weights,
// the frame-source interface, parameters out of range, frames it cannot get
// or that do not fit, every pixel layout, and references on what it borrows.
#include <gtest/gtest.h>

#include <memory>

#include "core/effect_base.h"
#include "host/standin_host.h"
#include "tests/declarations.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::CallLog;
using host::Frame;
using host::FrameFormat;

struct GhostTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEGhost"};
    std::vector<std::unique_ptr<Frame>> frames;
    CallLog log;

    host::Clip& clip() { return run.instance().clip(); }

    // A clip whose frame i is filled with values[i].
    void MakeClip(const std::vector<uint8_t>& values, FrameFormat format = {8, 4, 32}) {
        for (uint8_t v : values) {
            frames.push_back(std::make_unique<Frame>(format));
            frames.back()->Fill(v);
            clip().frames.push_back(frames.back().get());
        }
        clip().log = &log;
        run.instance().services().log = &log;
    }
    // Frame `index` of the clip rendered; the output's first byte, or -1.
    int RenderAt(int32_t index) {
        clip().current = index;
        Frame* out = run.Render(*frames[size_t(index)]);
        if (!out) return -1;
        const std::vector<uint8_t> px = out->Pixels();
        for (uint8_t b : px)
            if (b != px[0]) return -2;  // uniform frames blend to uniform frames
        return px[0];
    }
    void ExpectNothingBorrowed() {
        EXPECT_EQ(clip().Outstanding(), 0);
        EXPECT_EQ(clip().refCount, 0);  // the frame source is not counted
        EXPECT_EQ(run.instance().params().Outstanding(), 0);
        for (auto& made : run.instance().services().made)
            EXPECT_EQ(made->refCount, 1);
    }
};

TEST_F(GhostTest, Declarations) {
    const std::vector<std::string> expected = {
        "0 No. of Ghosts integer def=1 range=1..10 slider=0..5 step=1",
        "1 Space integer def=3 range=1..24 slider=1..10 step=1",
        "2 Visibility of ghosts real def=25 range=0..100 slider=0..100 step=1",
    };
    EXPECT_EQ(test::DeclarationLines(run.instance()), expected);
}

TEST_F(GhostTest, ThreeGhostsThreeFramesApartShareTheVisibility) {
    MakeClip({30, 0, 0, 20, 0, 0, 10, 0, 0, 200});
    ASSERT_EQ(run.instance().AttachClip(), kOk);
    run.Set("No. of Ghosts", "3").Set("Space", "3").Set("Visibility of ghosts", "30");
    // 200 x 0.7 + 10 x 0.1 + 20 x 0.1 + 30 x 0.1, each product truncated on
    // its own: 140 + 0 + 1 + 2 (0.3 / 3 lies just below 0.1), not 146.
    EXPECT_EQ(RenderAt(9), 143);
    const std::vector<std::string> expected = {
        "source.LocateFrame 3",
        "services.ClipFrame {6C1FA43A-8FEB-4788-B5FC-920E18569E32} " +
            std::to_string(clip().number) + " 6 0 0",
        "source.LocateFrame 6",
        "services.ClipFrame {6C1FA43A-8FEB-4788-B5FC-920E18569E32} " +
            std::to_string(clip().number) + " 3 0 0",
        "source.LocateFrame 9",
        "services.ClipFrame {6C1FA43A-8FEB-4788-B5FC-920E18569E32} " +
            std::to_string(clip().number) + " 0 0 0",
        "frame.Clear",
    };
    std::vector<std::string> got;
    for (const std::string& c : log.calls)
        if (!c.starts_with("services.CreateOutputFrame") && !c.starts_with("frame.GetInterface"))
            got.push_back(c);
    EXPECT_EQ(got, expected);
    ExpectNothingBorrowed();
}

// Every byte value under every visibility in whole percent, for one to four
// ghosts: each contribution is the integer part of byte x weight.
TEST_F(GhostTest, EveryByteValueTakesItsTruncatedShareAtEveryVisibility) {
    const FrameFormat format{256, 1, 32};
    for (int i = 0; i < 13; ++i) {
        frames.push_back(std::make_unique<Frame>(format));
        for (int x = 0; x < 1024; ++x)
            frames.back()->Row(0)[x] = uint8_t(x / 4 * (i + 1) + i);
        clip().frames.push_back(frames.back().get());
    }
    clip().current = 12;
    ASSERT_EQ(run.instance().AttachClip(), kOk);
    run.Set("Space", "3");
    for (int ghosts = 1; ghosts <= 4; ++ghosts) {
        run.Set("No. of Ghosts", std::to_string(ghosts));
        for (int percent = 0; percent <= 100; ++percent) {
            run.Set("Visibility of ghosts", std::to_string(percent));
            const double w = percent * 0.01 / ghosts;
            double sum = 0;
            for (int k = 0; k < ghosts; ++k)
                sum += w;
            Frame* out = run.Render(*frames[12]);
            ASSERT_NE(out, nullptr);
            int wrong = 0;
            for (int x = 0; x < 1024; ++x) {
                int expected = int(frames[12]->Row(0)[x] * (1 - sum));
                for (int k = 1; k <= ghosts; ++k)
                    expected += int(frames[12 - 3 * k]->Row(0)[x] * w);
                wrong += out->Row(0)[x] != expected;
            }
            EXPECT_EQ(wrong, 0) << ghosts << " ghosts at " << percent << " %";
        }
    }
    ExpectNothingBorrowed();
}

TEST_F(GhostTest, VisibilityZeroKeepsTheFrameAndHundredShowsOnlyTheGhost) {
    MakeClip({11, 22, 33, 44, 55});
    ASSERT_EQ(run.instance().AttachClip(), kOk);
    run.Set("Visibility of ghosts", "0");
    EXPECT_EQ(RenderAt(4), 55);
    run.Set("Visibility of ghosts", "100");
    EXPECT_EQ(RenderAt(4), 22);  // the default: one ghost three frames back
    run.Set("Space", "1");
    EXPECT_EQ(RenderAt(4), 44);
    ExpectNothingBorrowed();
}

TEST_F(GhostTest, WithoutFrameSourceOrAfterResetTheFrameComesThrough) {
    MakeClip({100, 0, 0, 0, 0, 0, 40});
    run.Set("Visibility of ghosts", "50");
    EXPECT_EQ(RenderAt(6), 40);
    EXPECT_EQ(log.Count("source."), 0u);

    ASSERT_EQ(run.instance().AttachClip(), kOk);
    EXPECT_EQ(RenderAt(6), 20 + 0);  // frame 3 is 0
    clip().frames[3] = frames[0].get();
    EXPECT_EQ(RenderAt(6), 20 + 50);

    // Reset forgets the source but not the geometry of the last frame.
    EffectInterface* e = run.instance().effect();
    const EffectBase* base = EffectBase::FromEffect(e);
    e->ops->Reset(e);
    EXPECT_EQ(base->frameWidth, 8);
    EXPECT_EQ(base->frameHeight, 4);
    EXPECT_EQ(base->bytesPerPixel, 4);
    log.calls.clear();
    EXPECT_EQ(RenderAt(6), 40);
    EXPECT_EQ(log.Count("source."), 0u);
    ExpectNothingBorrowed();
}

TEST_F(GhostTest, FramesTheHostCannotDeliverAreLeftOutOfTheWeights) {
    MakeClip({0, 30, 0, 0, 60});
    ASSERT_EQ(run.instance().AttachClip(), kOk);
    run.Set("No. of Ghosts", "3").Set("Visibility of ghosts", "50");
    // Only frame 1 lies in the clip: it takes the whole half.
    EXPECT_EQ(RenderAt(4), 30 + 15);
    EXPECT_EQ(log.Count("source.LocateFrame"), 3u);
    EXPECT_EQ(log.Count("services.ClipFrame"), 1u);

    clip().missing = {1};
    EXPECT_EQ(RenderAt(4), 60);
    ExpectNothingBorrowed();
}

TEST_F(GhostTest, ParametersOutsideTheirRangesAreHeldToThem) {
    std::vector<uint8_t> values(30, 0);
    values[29] = 200, values[5] = 100;
    MakeClip(values, FrameFormat{2, 2, 24});
    ASSERT_EQ(run.instance().AttachClip(), kOk);
    // The offsets asked for, as "first..last" over however many there are.
    auto offsets = [&](const char* ghosts, const char* space) {
        run.Set("No. of Ghosts", ghosts).Set("Space", space);
        log.calls.clear();
        RenderAt(29);
        std::vector<std::string> asked;
        for (const std::string& c : log.calls)
            if (c.starts_with("source.LocateFrame ")) asked.push_back(c.substr(19));
        return asked.empty()
                   ? std::string("none")
                   : asked.front() + ".." + asked.back() + " x" + std::to_string(asked.size());
    };
    EXPECT_EQ(offsets("50", "1"), "1..10 x10");
    EXPECT_EQ(offsets("-3", "1"), "none");
    EXPECT_EQ(offsets("0", "1"), "none");
    EXPECT_EQ(offsets("2", "0"), "1..2 x2");
    EXPECT_EQ(offsets("2", "-7"), "1..2 x2");
    EXPECT_EQ(offsets("1", "99"), "24..24 x1");

    // Frame 5 is 24 frames back; visibility beyond 100 % would give the
    // current frame a negative weight and wrap the bytes.
    run.Set("Visibility of ghosts", "250");
    EXPECT_EQ(RenderAt(29), 100);
    run.Set("Visibility of ghosts", "-40");
    EXPECT_EQ(RenderAt(29), 200);
    run.Set("Visibility of ghosts", "nan");
    EXPECT_EQ(RenderAt(29), 200);
    ExpectNothingBorrowed();
}

TEST_F(GhostTest, FrameSourceInterfaceCountsOnTheEffectAndTakesTheSource) {
    EffectInterface* e = run.instance().effect();
    ASSERT_EQ(e->ops->GetRefCount(e), 1);
    void* out = nullptr;
    ASSERT_EQ(e->ops->QueryInterface(e, &kFrameSourceInterfaceId, &out), kOk);
    auto* fs = static_cast<FrameSourceInterface*>(out);
    ASSERT_NE(fs, nullptr);
    EXPECT_NE(out, static_cast<void*>(e));
    EXPECT_EQ(fs->ops->GetRefCount(fs), 2);
    EXPECT_EQ(fs->ops->AddRef(fs), 3);
    EXPECT_EQ(fs->ops->Release(fs), 2);
    EXPECT_EQ(fs->ops->QueryInterface(fs, &kEffectInterfaceId, &out), kOk);
    EXPECT_EQ(out, e);
    EXPECT_EQ(e->ops->Release(e), 2);

    // The secondary interface reaches it too; unknown identifiers still fail.
    ASSERT_EQ(e->ops->QueryInterface(e, &kSecondaryInterfaceId, &out), kOk);
    auto* s = static_cast<SecondaryInterface*>(out);
    EXPECT_EQ(s->ops->QueryInterface(s, &kFrameSourceInterfaceId, &out), kOk);
    EXPECT_EQ(out, fs);
    EXPECT_EQ(fs->ops->GetRefCount(fs), 4);
    Guid zero{};
    EXPECT_EQ(fs->ops->QueryInterface(fs, &zero, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);
    s->ops->Release(s);
    fs->ops->Release(fs);

    MakeClip({0, 80});
    int32_t out1 = 0, out2 = 0;
    EXPECT_EQ(fs->ops->SetFrameSource(fs, &out1, &out2, clip().Host()), kOk);
    EXPECT_EQ(out1, 20);
    EXPECT_EQ(out2, 20);
    EXPECT_EQ(fs->ops->SetFrameSource(fs, nullptr, nullptr, clip().Host()), kOk);
    run.Set("Space", "1").Set("Visibility of ghosts", "100");
    EXPECT_EQ(RenderAt(1), 0);  // frame 0 is 0
    clip().frames[0] = frames[1].get();
    EXPECT_EQ(RenderAt(1), 80);
    EXPECT_EQ(fs->ops->Release(fs), 1);
    ExpectNothingBorrowed();
}

TEST_F(GhostTest, EveryLayoutBlendsPixelForPixel) {
    for (const test::Layout& l : test::kLayouts) {
        SCOPED_TRACE(l.name);
        test::EffectRun r(library, "VXEGhost");
        const FrameFormat format{9, 5, l.bitsPerPixel, l.pixelFormat, l.bottomUp, l.rowPadding};
        Frame ghost(format), current(format);
        test::PaintTestPicture(ghost, 3);
        test::PaintTestPicture(current, 4);
        r.instance().clip().frames = {&ghost, &current, &current, &current};
        r.instance().clip().current = 3;
        ASSERT_EQ(r.instance().AttachClip(), kOk);
        r.Set("Visibility of ghosts", "100");
        Frame* out = r.Render(current);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->Pixels(), ghost.Pixels());
        EXPECT_TRUE(test::PaddingUntouched(*out));
        r.Set("Visibility of ghosts", "0");
        out = r.Render(current);
        EXPECT_EQ(out->Pixels(), current.Pixels());
        EXPECT_EQ(r.instance().clip().Outstanding(), 0);
    }
}

TEST_F(GhostTest, GhostsOfAnotherSizeAddOnlyWhereBothFramesReach) {
    MakeClip({0, 0, 0, 100}, FrameFormat{6, 4, 32, 0, false, 3});
    Frame small(FrameFormat{3, 2, 32, 0, true, 1}), large(FrameFormat{20, 9, 32});
    small.Fill(50);
    large.Fill(70);
    ASSERT_EQ(run.instance().AttachClip(), kOk);
    run.Set("Visibility of ghosts", "50").Set("Space", "3");
    for (Frame* ghost : {&small, &large}) {
        clip().frames[0] = ghost;
        clip().current = 3;
        Frame* out = run.Render(*frames[3]);
        ASSERT_NE(out, nullptr);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool covered = x < ghost->Format().width && y < ghost->Format().height;
                EXPECT_EQ(out->Row(y)[4 * x + 1], 50 + (covered ? ghost->Row(0)[0] / 2 : 0))
                    << x << "," << y;
            }
        EXPECT_TRUE(test::PaddingUntouched(*out));
        EXPECT_TRUE(test::PaddingUntouched(small));
    }
    ExpectNothingBorrowed();
}

TEST_F(GhostTest, GhostsOfAnotherPixelLayoutAreLeftOut) {
    MakeClip({0, 0, 0, 0, 0, 0, 120}, FrameFormat{4, 4, 32});
    Frame rgb(FrameFormat{4, 4, 24}), packed(FrameFormat{4, 4, 32, 1}), good(FrameFormat{4, 4, 32});
    rgb.Fill(10), packed.Fill(20), good.Fill(60);
    ASSERT_EQ(run.instance().AttachClip(), kOk);
    run.Set("No. of Ghosts", "3").Set("Space", "2").Set("Visibility of ghosts", "50");
    clip().frames[4] = &rgb;
    clip().frames[2] = &packed;
    clip().frames[0] = &good;
    EXPECT_EQ(RenderAt(6), 60 + 30);  // only the fitting ghost counts, with the whole half
    ExpectNothingBorrowed();
}

}  // namespace
}  // namespace vx
