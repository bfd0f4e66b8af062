// Background video: its object and interfaces, the settings block, the alpha
// mix, and (natively, where pictures can be grabbed) the video in step with
// the clip.  BackgroundWithVideo and BackgroundStandIn run natively only:
// Wine's media detector cannot grab pictures, and the Windows build shows a
// real dialog.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "effects/colour/background.h"
#include "host/standin_host.h"
#include "platform/platform.h"
#include "platform/video_file.h"
#include "tests/background_test_support.h"
#include "tests/declarations.h"
#include "tests/file_test_support.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;

using test::BlockBytes;
using test::RealMix;

struct BackgroundTest : ::testing::Test {
    host::EffectLibrary library = host::EffectLibrary::Linked();
    test::EffectRun run{library, "VXEBackground"};
    BackgroundSettings settings = DefaultBackgroundSettings();

    host::ParameterRecord& Block() { return *run.instance().params().ByIndex(0); }
    void StoreBlock() { test::StoreBlock(run.instance(), settings); }
    void UseFile(const std::filesystem::path& path) {
        SetBackgroundFileName(settings, platform::WideFromNarrow(path.string().c_str()));
        StoreBlock();
    }
    // Renders at `seconds` into the clip (25 units a second).
    Frame* RenderAt(Frame& in, double seconds = 0) {
        run.instance().context().now = {int64_t(seconds * 25 + 0.5), 25, 1};
        return run.Render(in);
    }
    EffectInterface* Effect() { return run.instance().effect(); }
};

// ---------------------------------------------------------------- object

TEST_F(BackgroundTest, DeclaresTheSettingsBlockWithItsDefaults) {
    const auto& d = run.instance().params().Declared();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(test::DeclarationLine(*d[0]), "0 VXEBackground-Parm kind 3");
    ASSERT_EQ(d[0]->dataDefault.size(), 1044u);
    EXPECT_EQ(d[0]->data, d[0]->dataDefault);
    BackgroundSettings s;
    std::memcpy(&s, d[0]->data.data(), sizeof s);
    EXPECT_EQ(s.timeOffset, 0);
    EXPECT_EQ(s.horizontal, 50);
    EXPECT_EQ(s.vertical, 50);
    EXPECT_EQ(s.zoomX, 50);
    EXPECT_EQ(s.zoomY, 50);
    EXPECT_EQ(s.fileName[0], 0);
}

TEST_F(BackgroundTest, SettingsInterfacesComeBeforeTheEffectInterface) {
    EffectInterface* e = Effect();
    auto* object = reinterpret_cast<char*>(e) - 2 * sizeof(void*);
    const struct {
        Guid iid;
        void* expected;
    } answers[] = {
        {kEffectInterfaceId, e},
        {kEffectInterfaceId2, e},
        {kSettingsInterfaceAId, object},
        {kSettingsInterfaceBId, object + sizeof(void*)},
        {kSecondaryInterfaceId, object + 5 * sizeof(void*)},
    };
    const int32_t count = e->ops->GetRefCount(e);
    for (const auto& a : answers) {
        void* out = nullptr;
        EXPECT_EQ(e->ops->QueryInterface(e, &a.iid, &out), kOk) << host::GuidText(a.iid);
        EXPECT_EQ(out, a.expected) << host::GuidText(a.iid);
    }
    EXPECT_EQ(e->ops->GetRefCount(e), count + 5);
    // Every interface counts on the same object, and asks the same questions.
    auto* a = static_cast<SettingsInterfaceA*>(answers[2].expected);
    auto* b = static_cast<SettingsInterfaceB*>(answers[3].expected);
    auto* s = static_cast<SecondaryInterface*>(answers[4].expected);
    EXPECT_EQ(a->ops->Release(a), count + 4);
    EXPECT_EQ(b->ops->Release(b), count + 3);
    EXPECT_EQ(s->ops->Release(s), count + 2);
    EXPECT_EQ(b->ops->GetRefCount(b), count + 2);
    void* out = nullptr;
    EXPECT_EQ(s->ops->QueryInterface(s, &kSettingsInterfaceBId, &out), kOk);
    EXPECT_EQ(out, b);
    EXPECT_EQ(s->ops->Answer4(s, nullptr), 1);
    EXPECT_EQ(s->ops->Answer6(s, nullptr), 0.0);
    const Guid none{};
    out = e;
    EXPECT_EQ(a->ops->QueryInterface(a, &none, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);
    for (int i = 0; i < 3; ++i)
        e->ops->Release(e);
    EXPECT_EQ(e->ops->GetRefCount(e), count);
}

TEST_F(BackgroundTest, ResetClearsTheGeometryAndPrepareAsksForANewFrame) {
    host::CallLog log;
    run.instance().services().log = &log;
    Frame in(FrameFormat{6, 4, 24});
    ASSERT_NE(run.Render(in), nullptr);
    EXPECT_EQ(log.Count("services.CreateOutputFrame {85935AD3-4D52-4B64-B3CB-1E43BFF0B411} 512 64"),
              1u);
    EXPECT_EQ(log.Count("services.ShareInputFrame"), 0u);
    run.instance().services().log = nullptr;
}

// ---------------------------------------------------------------- mix

TEST(BackgroundMix, EqualsTheRealSumForEveryByteAndAlpha) {
    int mismatches = 0;
    for (int a = 0; a < 256; ++a)
        for (int v = 0; v < 256; ++v)
            for (int s = 0; s < 256; ++s)
                if (BackgroundMix(v, s, a) != RealMix(v, s, a) && ++mismatches < 5)
                    ADD_FAILURE() << "video " << v << " source " << s << " alpha " << a << ": got "
                                  << int(BackgroundMix(v, s, a)) << ", expected "
                                  << RealMix(v, s, a);
    EXPECT_EQ(mismatches, 0);
}

// ---------------------------------------------------------------- without a video

TEST_F(BackgroundTest, AnEmptyBlockLeavesTheOutputUntouched) {
    Block().data.clear();
    Frame in(FrameFormat{9, 5, 32});
    test::PaintTestPicture(in);
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    for (uint8_t byte : out->Storage())
        ASSERT_EQ(byte, 0xCD);
}

TEST_F(BackgroundTest, WithoutAVideoEveryPixelIsMixedWithItself) {
    for (const test::Layout& layout : test::kLayouts) {
        if (layout.pixelFormat != 0) continue;
        SCOPED_TRACE(layout.name);
        Frame in(FrameFormat{11, 7, layout.bitsPerPixel, 0, layout.bottomUp, layout.rowPadding});
        test::PaintTestPicture(in, 3);
        UseFile(std::filesystem::temp_directory_path() / "vex-no-such-background.avi");
        Frame* out = RenderAt(in, 0.4);
        ASSERT_NE(out, nullptr);
        const int n = in.BytesPerPixel();
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 11; ++x) {
                const uint8_t* s = in.Row(y) + x * n;
                const uint8_t* d = out->Row(y) + x * n;
                const int a = n == 4 ? s[3] : (s[0] | s[1] | s[2]) ? 0 : 255;
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(d[c], RealMix(s[c], s[c], a));
                if (n == 4) ASSERT_EQ(d[3], 255);
            }
        EXPECT_TRUE(test::PaddingUntouched(*out));
    }
}

TEST_F(BackgroundTest, BadBlocksStillRender) {
    Frame in(FrameFormat{8, 6, 32});
    test::PaintTestPicture(in);
    // Shorter than the settings, longer, and a name without its terminator.
    std::vector<std::vector<uint8_t>> blocks = {{1, 2, 3}, BlockBytes(settings)};
    blocks[1].resize(3000, 'x');
    std::fill(std::begin(settings.fileName), std::end(settings.fileName), u'a');
    blocks.push_back(BlockBytes(settings));
    for (const auto& block : blocks) {
        Block().data = block;
        Frame* out = run.Render(in);
        ASSERT_NE(out, nullptr);
        EXPECT_NE(out->Row(0)[3], 0xCD);
        EXPECT_TRUE(test::PaddingUntouched(*out));
    }
}

TEST_F(BackgroundTest, PackedFramesPassThrough) {
    Frame in(FrameFormat{10, 4, 16, 1, false, 2});
    test::PaintTestPicture(in);
    Frame* out = run.Render(in);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->Pixels(), in.Pixels());
    EXPECT_TRUE(test::PaddingUntouched(*out));
}

// ---------------------------------------------------------------- settings dialog

struct DialogCall {
    void* owner = nullptr;
    int32_t sliders[5] = {};
    std::string fileName, info;
};
DialogCall lastDialog;
int32_t dialogAnswer = 2;

// Reads what the dialog would show, then edits as a user would.
int32_t RecordDialog(void* owner, platform::BackgroundDialogModel& m) {
    lastDialog.owner = owner;
    for (int i = 0; i < 5; ++i)
        lastDialog.sliders[i] = m.Slider(i);
    lastDialog.fileName = host::Narrow(m.FileName());
    lastDialog.info = host::Narrow(m.DescribeFile(m.FileName()).c_str());
    if (dialogAnswer != 1) return dialogAnswer;
    m.SetSlider(0, 7);
    m.SetSlider(4, -100);
    m.SetFileName(u"C:\\clips\\chosen.avi");
    return dialogAnswer;
}

struct BackgroundDialogTest : BackgroundTest {
    host::WindowSource window;
    int32_t (*saved)(void*, platform::BackgroundDialogModel&) = ShowBackgroundDialog;
    void SetUp() override {
        ShowBackgroundDialog = RecordDialog;
        lastDialog = {};
    }
    void TearDown() override { ShowBackgroundDialog = saved; }
    int32_t Edit(char form) { return run.instance().EditSettings(form, window); }
};

TEST_F(BackgroundDialogTest, OkWritesTheEditedBlockBack) {
    settings.horizontal = -20;
    UseFile("/nowhere/clip.avi");
    dialogAnswer = 1;
    EXPECT_EQ(Edit('A'), 1);
    EXPECT_EQ(lastDialog.owner, window.parentWindow);
    EXPECT_EQ(lastDialog.sliders[0], 0);
    EXPECT_EQ(lastDialog.sliders[1], -20);
    EXPECT_EQ(lastDialog.sliders[2], 50);
    EXPECT_EQ(lastDialog.fileName, "/nowhere/clip.avi");
    EXPECT_TRUE(lastDialog.info.starts_with("no valid file selected (error: -")) << lastDialog.info;
    ASSERT_EQ(Block().data.size(), 1044u);
    BackgroundSettings written;
    std::memcpy(&written, Block().data.data(), sizeof written);
    EXPECT_EQ(written.timeOffset, 7);
    EXPECT_EQ(written.horizontal, -20);
    EXPECT_EQ(written.zoomY, -100);
    EXPECT_EQ(host::Narrow(written.fileName), "C:\\clips\\chosen.avi");
}

TEST_F(BackgroundDialogTest, CancelLeavesTheBlockAlone) {
    settings.vertical = 33;
    StoreBlock();
    const std::vector<uint8_t> before = Block().data;
    dialogAnswer = 2;
    EXPECT_EQ(Edit('B'), 0);
    EXPECT_EQ(lastDialog.sliders[2], 33);
    EXPECT_EQ(Block().data, before);
}

TEST_F(BackgroundDialogTest, AnEmptyBlockIsNotTaken) {
    dialogAnswer = 1;
    Edit('A');  // the object now holds 7 and -100
    Block().data.clear();
    dialogAnswer = 2;
    Edit('A');
    EXPECT_EQ(lastDialog.sliders[0], 7);
    Edit('B');
    EXPECT_EQ(lastDialog.sliders[0], 7);
    EXPECT_EQ(lastDialog.sliders[4], -100);
}

TEST_F(BackgroundTest, BlocksAreTakenWithinTheirSize) {
    BackgroundSettings s = DefaultBackgroundSettings();
    s.timeOffset = 9;
    s.horizontal = -3;
    s.vertical = 11;
    SetBackgroundFileName(s, u"abc");
    const std::vector<uint8_t> bytes = BlockBytes(s);
    BackgroundSettings shortBlock = TakeBackgroundBlock(bytes.data(), 8);
    EXPECT_EQ(shortBlock.timeOffset, 9);
    EXPECT_EQ(shortBlock.horizontal, -3);  // the bytes the block had
    EXPECT_EQ(shortBlock.vertical, 50);    // the default beyond them
    EXPECT_EQ(shortBlock.fileName[0], 0);
    std::vector<uint8_t> unterminated(2000, 'a');
    BackgroundSettings cut = TakeBackgroundBlock(unterminated.data(), 2000);
    EXPECT_EQ(cut.fileName[510], u'\x6161');
    EXPECT_EQ(cut.fileName[511], 0);
    EXPECT_EQ(TakeBackgroundBlock(nullptr, 1044).zoomX, 50);
}

}  // namespace
}  // namespace vx
