// The interface between a forwarding library and the maker's effect engine
// library (Palettorium.dll, ZB25Engine.dll): four exported entry points, the
// frame record handed to them, and the preview callback the engine calls while
// its dialog is open.
//
// Every engine entry point and the preview callback use the C calling
// convention (VXCDECL: the caller removes the arguments), so that the engine
// exports them under their plain names.
//
// The records are laid out for 32-bit pointers, as the engines expect them;
// the static_asserts pin every field to its byte offset there.  A 64-bit build
// (the native test build) keeps the same fields in the same order with wider
// pointers, which only the stand-in engine of the tests ever reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/callconv.h"

namespace vx::engine {

// Called by the engine with the index of the preview frame it wants in the
// input area(s) and the context from the record; answers 1 after a render (or
// a render found unnecessary), 0 when nothing could be rendered.
using PreviewCallback = int32_t(VXCDECL*)(int32_t unused1, uint32_t index, int32_t unused3,
                                          void* context);

using OpenEffectFn = int32_t(VXCDECL*)(int32_t effectNumber);
using CloseEffectFn = int32_t(VXCDECL*)(int32_t handle, int32_t effectNumber);
using ProcessFrameFn = int32_t(VXCDECL*)(int32_t handle, void* record, int32_t zero);
// Answers 1 when the user accepted new settings (the engine has then changed
// the settings block in place).
using DoExtDialogFn = int32_t(VXCDECL*)(void* parentWindow, void* record, int32_t effectNumber);

inline constexpr const char* kOpenEffect = "OpenEffect";
inline constexpr const char* kCloseEffect = "CloseEffect";
inline constexpr const char* kProcessFrame = "ProcessFrame";
inline constexpr const char* kDoExtDialog = "DoExtDialog";

inline constexpr uint32_t kSettingsSize = 32768;
inline constexpr uint32_t kSettingsFileHeaderSize = 32;
inline constexpr uint32_t kBottomRowFirst = 0x01000000;

// Row selection: which rows of the picture the input and output areas hold.
enum RowSelection : int32_t {
    kBottomParityRows = 1,
    kSecondParityRows = 2,
    kAllRows = 3,
};

// The fields both layouts share, offsets 0x00 to 0x3F.
struct RecordHead {
    int32_t reserved00;
    int32_t rate;      // 0x04: frames per second
    int32_t length;    // 0x08: frames (fields while processing)
    int32_t position;  // 0x0C
    int32_t reserved10;
    int32_t rowSelection;  // 0x14
    int32_t reserved18[2];
    int32_t rowSelection2;    // 0x20: the same value again
    uint32_t storage;         // 0x24: kBottomRowFirst or 0
    int32_t singleInputFlag;  // 0x28: short layout only (ZestBLENDER 2.5F while processing)
    int32_t width;            // 0x2C
    int32_t height;           // 0x30: the full frame height
    int32_t rowLength[3];     // 0x34, 0x38, 0x3C: pixels, all equal to width
};
static_assert(sizeof(RecordHead) == 0x40);
static_assert(offsetof(RecordHead, rowSelection2) == 0x20 && offsetof(RecordHead, width) == 0x2C);

// The Palettorium engine's record (144 bytes).
struct LongRecord {
    RecordHead head;
    int32_t reserved40[4];
    double fieldNumber;  // 0x50
    uint8_t* input1;     // 0x58
    uint8_t* input2;     // 0x5C
    uint8_t* output;     // 0x60
    int32_t reserved64;
    uint8_t* settings;  // 0x68
    int32_t reserved6C;
    void* previewContext;             // 0x70: dialog only
    PreviewCallback previewCallback;  // 0x74: dialog only
    int32_t reserved78[6];
};

// The ZestBLENDER engine's record (112 bytes).
struct ShortRecord {
    RecordHead head;
    uint8_t* input1;  // 0x40: ZestBLENDER 2.5: the transition's second input
    uint8_t* input2;  // 0x44: ZestBLENDER 2.5: the first input
    uint8_t* output;  // 0x48
    int32_t reserved4C;
    uint8_t* settings;  // 0x50
    int32_t reserved54;
    void* previewContext;             // 0x58: dialog only
    PreviewCallback previewCallback;  // 0x5C: dialog only
    int32_t reserved60[2];
    double fieldNumber;  // 0x68
};

// Byte offsets as the engines read them, where pointers are 32 bits wide.
template <class R, size_t kSize>
constexpr bool LaidOutFor32Bits() {
    return sizeof(void*) != 4 || sizeof(R) == kSize;
}
static_assert(LaidOutFor32Bits<LongRecord, 144>());
static_assert(LaidOutFor32Bits<ShortRecord, 112>());
static_assert(sizeof(void*) != 4 ||
              (offsetof(LongRecord, fieldNumber) == 0x50 && offsetof(LongRecord, input1) == 0x58 &&
               offsetof(LongRecord, input2) == 0x5C && offsetof(LongRecord, output) == 0x60 &&
               offsetof(LongRecord, settings) == 0x68 &&
               offsetof(LongRecord, previewContext) == 0x70 &&
               offsetof(LongRecord, previewCallback) == 0x74));
static_assert(sizeof(void*) != 4 ||
              (offsetof(ShortRecord, input1) == 0x40 && offsetof(ShortRecord, input2) == 0x44 &&
               offsetof(ShortRecord, output) == 0x48 && offsetof(ShortRecord, settings) == 0x50 &&
               offsetof(ShortRecord, previewContext) == 0x58 &&
               offsetof(ShortRecord, previewCallback) == 0x5C &&
               offsetof(ShortRecord, fieldNumber) == 0x68));

}  // namespace vx::engine
