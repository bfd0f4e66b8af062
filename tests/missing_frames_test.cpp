// Every effect when the host's holders deliver no frame: a clear status or
// nothing rendered, never a crash.
#include <gtest/gtest.h>

#include "core/library.h"
#include "host/standin_host.h"
#include "tests/test_frames.h"

namespace vx {
namespace {

using host::Frame;
using host::FrameFormat;
using host::FrameHolder;

TEST(MissingFrames, EveryEffectSurvivesHoldersWithoutFrames) {
    const host::EffectLibrary library = host::EffectLibrary::Linked();
    for (const EffectEntry& entry : EffectTable()) {
        if (!entry.create) continue;
        SCOPED_TRACE(entry.identifier);
        host::EffectInstance instance(library.CreateEffect(entry.classId));
        ASSERT_EQ(instance.DefineParameters(), kOk);

        // Prepare without an input frame.
        Frame* output = nullptr;
        EXPECT_NE(instance.Render({nullptr}, &output), kOk);

        // Process after a good Prepare, with holders that have lost their frames.
        Frame input(FrameFormat{16, 9, 32});
        test::PaintTestPicture(input, 5);
        ASSERT_EQ(instance.Render({&input}, &output), kOk);
        FrameHolder noOutput, noInput;
        HostFrameHolder* inputs[] = {noInput.Host(), noInput.Host()};
        HostInputList list{2, inputs};
        EffectInterface* effect = instance.effect();
        effect->ops->Process(effect, noOutput.Host(), &list, instance.context().Host(), nullptr,
                             instance.services().Host());
        FrameHolder withOutput(output);
        effect->ops->Process(effect, withOutput.Host(), &list, instance.context().Host(), nullptr,
                             instance.services().Host());
    }
}

}  // namespace
}  // namespace vx
