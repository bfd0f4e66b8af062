// The effect object: interfaces, reference counting, Prepare and Reset,
// the class factory, clip time.
#include <gtest/gtest.h>

#include "core/effect_base.h"
#include "core/frame.h"
#include "core/library.h"
#include "host/standin_host.h"
#include "tests/expected_effects.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::CallLog;
using host::Frame;
using host::FrameFormat;
using host::FrameHolder;

EffectInterface* NewTransform() { return CreateEffectByClass(&test::kExpectedEffects[16].classId); }

TEST(EffectObject, QueryInterfaceAnswersEffectAndSecondaryInterfaces) {
    EffectInterface* e = NewTransform();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ops->GetRefCount(e), 0);
    e->ops->AddRef(e);

    void* out = nullptr;
    EXPECT_EQ(e->ops->QueryInterface(e, &kEffectInterfaceId, &out), kOk);
    EXPECT_EQ(out, e);
    EXPECT_EQ(e->ops->QueryInterface(e, &kEffectInterfaceId2, &out), kOk);
    EXPECT_EQ(out, e);
    EXPECT_EQ(e->ops->GetRefCount(e), 3);

    EXPECT_EQ(e->ops->QueryInterface(e, &kSecondaryInterfaceId, &out), kOk);
    auto* s = static_cast<SecondaryInterface*>(out);
    ASSERT_NE(s, nullptr);
    EXPECT_NE(static_cast<void*>(s), static_cast<void*>(e));
    EXPECT_EQ(s->ops->GetRefCount(s), 4);
    int dummy = 7;
    EXPECT_EQ(s->ops->Answer4(s, &dummy), 1);
    EXPECT_EQ(s->ops->Answer5(s, nullptr), 0);
    EXPECT_EQ(s->ops->Answer6(s, &dummy), 0.0);
    EXPECT_EQ(s->ops->Answer7(s, nullptr), 0);
    // The secondary interface reaches the effect interface again.
    EXPECT_EQ(s->ops->QueryInterface(s, &kEffectInterfaceId, &out), kOk);
    EXPECT_EQ(out, e);

    Guid zero{};
    out = &dummy;
    EXPECT_EQ(e->ops->QueryInterface(e, &zero, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(e->ops->GetRefCount(e), 5);
    for (int i = 5; i > 1; --i) EXPECT_EQ(e->ops->Release(e), i - 1);
    EXPECT_EQ(e->ops->Release(e), 0);  // destroyed; ASan reports any use after this
}

TEST(EffectObject, FactoryMatchesWholeIdentifiersOnly) {
    for (const auto& expected : test::kExpectedEffects) {
        EffectInterface* a = CreateEffectByClass(&expected.classId);
        if (!a) continue;  // not part of this build yet
        EffectInterface* b = CreateEffectByClass(&expected.classId);
        EXPECT_NE(a, b) << expected.identifier;
        EXPECT_EQ(a->ops->GetRefCount(a), 0);
        void* out = nullptr;
        EXPECT_EQ(a->ops->QueryInterface(a, &kEffectInterfaceId, &out), kOk);
        EXPECT_EQ(out, a);
        EXPECT_EQ(a->ops->Release(a), 0);
        b->ops->AddRef(b);
        b->ops->Release(b);
    }
    Guid almost = test::kExpectedEffects[16].classId;
    almost.data4[7] ^= 1;
    EXPECT_EQ(CreateEffectByClass(&almost), nullptr);
    EXPECT_EQ(CreateEffectByClass(nullptr), nullptr);
}

struct PrepareFixture : ::testing::Test {
    CallLog log;
    host::Services services{&log};
    host::ParameterSet params;
    host::RenderContext context{&params};
    FrameHolder output;

    Status Prepare(EffectInterface* e, FrameHolder& input) {
        HostFrameHolder* list[1] = {input.Host()};
        HostInputList in{1, list};
        return e->ops->Prepare(e, output.Host(), &in, context.Host(), nullptr, services.Host());
    }
};

TEST_F(PrepareFixture, CachesGeometryAndAsksForAFrameOrTheSharedInput) {
    Frame frame(FrameFormat{64, 48, 24}, &log);
    FrameHolder input(&frame);

    EffectInterface* transform = NewTransform();
    transform->ops->AddRef(transform);
    ASSERT_EQ(Prepare(transform, input), kOk);
    auto* base = EffectBase::FromEffect(transform);
    EXPECT_EQ(base->frameWidth, 64);
    EXPECT_EQ(base->frameHeight, 48);
    EXPECT_EQ(base->bytesPerPixel, 3);
    EXPECT_EQ(log.Count("services.CreateOutputFrame {85935AD3-4D52-4B64-B3CB-1E43BFF0B411} 512 64"), 1u);
    ASSERT_NE(output.frame(), nullptr);
    EXPECT_NE(output.frame(), &frame);
    EXPECT_EQ(frame.refCount, 1) << "the frame interface must be released";

    transform->ops->Reset(transform);
    EXPECT_EQ(base->frameWidth, 0);
    EXPECT_EQ(base->frameHeight, 0);
    EXPECT_EQ(base->bytesPerPixel, 0);
    transform->ops->Release(transform);

    EffectInterface* adjust = CreateEffectByClass(&test::kExpectedEffects[1].classId);
    adjust->ops->AddRef(adjust);
    ASSERT_EQ(Prepare(adjust, input), kOk);
    EXPECT_EQ(output.frame(), &frame);
    EXPECT_EQ(log.Count("services.ShareInputFrame"), 1u);
    adjust->ops->Release(adjust);
}

TEST_F(PrepareFixture, MissingInputFrameOrRefusedOutputIsReported) {
    EffectInterface* e = NewTransform();
    e->ops->AddRef(e);
    Frame frame(FrameFormat{8, 6, 32});
    FrameHolder input(&frame);
    ASSERT_EQ(Prepare(e, input), kOk);

    FrameHolder empty;
    EXPECT_EQ(Prepare(e, empty), kNoFrame);
    auto* base = EffectBase::FromEffect(e);
    EXPECT_EQ(base->frameWidth, 8) << "geometry kept when no frame came";

    services.failWith = 0x1234;
    EXPECT_EQ(Prepare(e, input), 0x1234);
    EXPECT_EQ(frame.refCount, 1);
    e->ops->Release(e);
}

TEST(ClipTime, DifferenceConvertsTheEarlierTimeWithTruncation) {
    TimeValue earlier{10000001, 10000000, 400000};
    TimeValue later{30, 25, 1};
    TimeValue d = TimeDifference(earlier, later);
    // 10000001 * 25 / 10000000 = 25.0000025, truncated to 25.
    EXPECT_EQ(d.count, 5);
    EXPECT_EQ(d.unitsPerSecond, 25);
    EXPECT_EQ(d.unitsPerFrame, 1);
    EXPECT_EQ(TimeDifference({7, 25, 1}, {30, 25, 1}).count, 23);
}

TEST(ClipTime, ScaleKeepsTheFull64BitCount) {
    EXPECT_EQ(ScaleTime({10000000000LL, 10000000, 1}, 0.5).count, 5000000000LL);
    EXPECT_EQ(ScaleTime({3, 25, 1}, 0.5).count, 2);  // 1.5 + 0.5 truncated
    EXPECT_EQ(ScaleTime({3, 25, 1}, std::numeric_limits<double>::quiet_NaN()).count, 0);
}

TEST(ClipTime, ProgressRunsFromZeroAndSurvivesAZeroDuration) {
    host::ParameterSet params;
    host::RenderContext ctx(&params);
    ctx.start = {100, 25, 1};
    ctx.duration = {4, 1, 1};  // 4 seconds in other units
    ctx.now = {100, 25, 1};
    EXPECT_EQ(ReadClipPosition(ctx.Host()).progress, 0.0);
    ctx.now = {150, 25, 1};
    EXPECT_DOUBLE_EQ(ReadClipPosition(ctx.Host()).progress, 0.5);
    EXPECT_DOUBLE_EQ(ReadClipPosition(ctx.Host()).seconds, 2.0);
    ctx.duration = {0, 25, 1};
    EXPECT_EQ(ReadClipPosition(ctx.Host()).progress, 0.0);
}

TEST(Frames, RowZeroIsTheTopRowEitherWayRowsAreStored) {
    Frame up(FrameFormat{4, 480, 32, 0, true, 4});
    uint8_t* first = up.Host()->ops->Bits(up.Host());
    EXPECT_EQ(PixelRowAddress(up.Host(), 0), first + 479 * up.Pitch());
    EXPECT_EQ(PixelRowAddress(up.Host(), 479), first);
    Frame down(FrameFormat{4, 480, 24});
    EXPECT_EQ(PixelRowAddress(down.Host(), 2), down.Host()->ops->Bits(down.Host()) + 2 * 12);
    EXPECT_EQ(ViewFrame(up.Host()).Row(7), PixelRowAddress(up.Host(), 7));
}

}  // namespace
}  // namespace vx

#include "core/random.h"

namespace vx {
namespace {

TEST(Random, FollowsTheRuntimeGeneratorContract) {
    SeedRandom(1);
    // The first draws of the C runtime's generator after srand(1).
    EXPECT_EQ(NextRandom(), 41);
    EXPECT_EQ(NextRandom(), 18467);
    EXPECT_EQ(NextRandom(), 6334);
    SeedRandom(12345);
    int32_t lo = kRandomMax, hi = 0;
    for (int i = 0; i < 100000; ++i) {
        int32_t r = NextRandom();
        lo = r < lo ? r : lo;
        hi = r > hi ? r : hi;
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, kRandomMax);
}

}  // namespace
}  // namespace vx

#include "platform/platform.h"

namespace vx {
namespace {

TEST(LibraryEntry, MainPathGivesTheDescriptorFolderAndOverlongPathsFallBack) {
    const char* key = "SOFTWARE\\Pinnacle Systems\\Studio 10\\";
    if (!platform::WriteRegistryString(platform::kLocalMachine, key, u"Main path", u"C:\\Studio"))
        GTEST_SKIP() << "no registry to write to";
    AttachLibrary(nullptr);
    EXPECT_STREQ(DescriptorFolder, "C:\\Studio\\Plugins\\RTFx\\XML\\");

    // 346 characters, the 18 of "\Plugins\RTFx\XML\" and the terminator do not fit.
    std::u16string tooLong(346, u'x');
    platform::WriteRegistryString(platform::kLocalMachine, key, u"Main path", tooLong.c_str());
    AttachLibrary(nullptr);
    EXPECT_STREQ(DescriptorFolder, ".\\");
    std::u16string fits(345, u'x');
    platform::WriteRegistryString(platform::kLocalMachine, key, u"Main path", fits.c_str());
    AttachLibrary(nullptr);
    EXPECT_EQ(std::string(DescriptorFolder).size(), 363u);

    platform::WriteRegistryString(platform::kLocalMachine, key, u"Main path", u"");
    AttachLibrary(nullptr);
    EXPECT_STREQ(DescriptorFolder, ".\\");
}

}  // namespace
}  // namespace vx
