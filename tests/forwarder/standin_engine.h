// The stand-in effect engine of the forwarding-library tests: the four engine
// entry points over a simple picture operation, recording what they receive,
// with a dialog the test steers.  Its state is reached through the extra
// export StandinEngineProbe.
//
// Picture operation, per byte of blue, green and red (s = settings byte 1):
//   one input area (both input pointers equal): out = 255 - in + s
//   two input areas:                            out = in1 - in2 + s
// modulo 256; alpha is copied from input area 1.
#pragma once

#include <cstdint>

#include "forwarder/engine_abi.h"

namespace vx::engine {

inline constexpr uint32_t kProbeAreaBytes = 720 * 480 * 4;
inline constexpr int32_t kProbePreviews = 4;

struct EngineProbe {
    // Set by the test.
    int32_t openAnswer;            // OpenEffect's handle; 0 refuses
    int32_t dialogAnswer;          // DoExtDialog's result
    int32_t dialogSettingsLength;  // bytes of dialogSettings written into the settings block
    uint8_t dialogSettings[16];
    int32_t previewRequests;  // preview frames the dialog asks for, in this order
    uint32_t previewIndex[kProbePreviews];

    // Recorded by the engine.
    int32_t opened, closed, processed, dialogs;
    int32_t openNumber, closeHandle, closeNumber, processHandle, processThird, dialogNumber;
    void* dialogParent;
    int32_t previewAnswer[kProbePreviews];
    uint8_t
        record[sizeof(LongRecord) > sizeof(ShortRecord) ? sizeof(LongRecord) : sizeof(ShortRecord)];
    uint8_t settings[16];  // the settings block's first bytes at the last call
    // Input areas 1 and 2 at the last ProcessFrame, and in the last dialog on
    // entry and after its preview requests (when an area fits kProbeAreaBytes).
    uint8_t processArea[2][kProbeAreaBytes];
    uint8_t dialogAreaOnEntry[2][kProbeAreaBytes];
    uint8_t dialogAreaAfter[2][kProbeAreaBytes];
};

using StandinEngineProbeFn = EngineProbe*(VXCDECL*)();

}  // namespace vx::engine
