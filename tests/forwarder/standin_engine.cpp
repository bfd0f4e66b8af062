// The stand-in engine (see standin_engine.h).  Built as Palettorium (long
// record, VX_ENGINE_LONG_RECORD=1) and as ZB25Engine (short record);
// VX_ENGINE_WITHOUT_DIALOG leaves out DoExtDialog.
#include "tests/forwarder/standin_engine.h"

#include <cstring>

namespace vx::engine {
namespace {

#if VX_ENGINE_LONG_RECORD
using Record = LongRecord;
#else
using Record = ShortRecord;
#endif

EngineProbe gProbe = [] {
    EngineProbe p{};
    p.openAnswer = 77;
    return p;
}();

uint32_t AreaBytes(const Record& r) {
    const int64_t bytes = int64_t(r.head.width) * r.head.height * 4;
    return bytes > 0 && bytes <= kProbeAreaBytes ? uint32_t(bytes) : 0;
}

void Snapshot(const Record& r, uint8_t (*to)[kProbeAreaBytes]) {
    const uint32_t bytes = AreaBytes(r);
    std::memcpy(gProbe.record, &r, sizeof r);
    if (r.settings) std::memcpy(gProbe.settings, r.settings, sizeof gProbe.settings);
    if (!bytes) return;
    if (r.input1) std::memcpy(to[0], r.input1, bytes);
    if (r.input2) std::memcpy(to[1], r.input2, bytes);
}

}  // namespace
}  // namespace vx::engine

using namespace vx::engine;

extern "C" {

VXEXPORT EngineProbe* VXCDECL StandinEngineProbe() {
    return &gProbe;
}

VXEXPORT int32_t VXCDECL OpenEffect(int32_t number) {
    ++gProbe.opened;
    gProbe.openNumber = number;
    return gProbe.openAnswer;
}

VXEXPORT int32_t VXCDECL CloseEffect(int32_t handle, int32_t number) {
    ++gProbe.closed;
    gProbe.closeHandle = handle;
    gProbe.closeNumber = number;
    return 0;
}

VXEXPORT int32_t VXCDECL ProcessFrame(int32_t handle, void* record, int32_t third) {
    const Record& r = *static_cast<const Record*>(record);
    ++gProbe.processed;
    gProbe.processHandle = handle;
    gProbe.processThird = third;
    Snapshot(r, gProbe.processArea);
    if (!r.input1 || !r.input2 || !r.output || r.head.width <= 0 || r.head.height <= 0) return 0;
    const uint8_t s = r.settings ? r.settings[1] : 0;
    const bool single = r.input1 == r.input2;
    const size_t pixels = size_t(r.head.width) * size_t(r.head.height);
    for (size_t i = 0; i < pixels * 4; i += 4) {
        for (size_t c = 0; c < 3; ++c)
            r.output[i + c] =
                uint8_t(single ? 255 - r.input1[i + c] + s : r.input1[i + c] - r.input2[i + c] + s);
        r.output[i + 3] = r.input1[i + 3];
    }
    return 0;
}

#if !VX_ENGINE_WITHOUT_DIALOG
VXEXPORT int32_t VXCDECL DoExtDialog(void* parent, void* record, int32_t number) {
    Record& r = *static_cast<Record*>(record);
    ++gProbe.dialogs;
    gProbe.dialogParent = parent;
    gProbe.dialogNumber = number;
    Snapshot(r, gProbe.dialogAreaOnEntry);
    for (int32_t i = 0; i < gProbe.previewRequests && i < kProbePreviews; ++i)
        gProbe.previewAnswer[i] =
            r.previewCallback ? r.previewCallback(0, gProbe.previewIndex[i], 0, r.previewContext)
                              : -1;
    Snapshot(r, gProbe.dialogAreaAfter);
    if (r.settings && gProbe.dialogSettingsLength > 0)
        std::memcpy(r.settings, gProbe.dialogSettings, size_t(gProbe.dialogSettingsLength));
    return gProbe.dialogAnswer;
}
#endif
}
