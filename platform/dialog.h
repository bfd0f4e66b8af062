// Settings dialogs of the effect library.
//
// The dialogs are templates in the library's resources
// (platform/win32/VexEffects.rc), run modally by platform/win32.  Linux has
// no dialogs: every Run...Dialog leaves the values it was given unchanged and
// answers kDialogCancelled, so an effect's settings stay as they were; the
// command-line host sets the same values directly as parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vx::platform {

// How a modal dialog ended: the OK button, or Cancel and closing the window.
// A dialog that cannot be shown at all answers kDialogFailed.
enum DialogResult : int32_t { kDialogFailed = -1, kDialogConfirmed = 1, kDialogCancelled = 2 };

// A picture a dialog shows: 4 bytes per pixel (blue, green, red, unused).
struct DialogPicture {
    const uint8_t* topRow;  // row 0, the top of the picture
    int32_t width;
    int32_t height;
    ptrdiff_t rowStep;  // bytes from one row to the row below; negative when stored bottom-up
};

// What the colour correction dialog (template 101) shows and edits.  The
// effect owns the values and the rules for typed text; the dialog only moves
// text between its controls and these operations.
class ColorCorrectDialogModel {
  public:
    // Limit 0..5: red minimum, red maximum, green minimum, green maximum, blue
    // minimum, blue maximum.
    virtual int32_t Limit(int index) const = 0;
    // Curve exponent of channel 0 red, 1 green, 2 blue; the dialog shows 1/e.
    virtual double Exponent(int channel) const = 0;
    // Text typed into the edit of limit `index`.  True when the edit must
    // show `*shown` instead of what was typed.
    virtual bool TypeLimit(int index, const char* text, int32_t* shown) = 0;
    // Text typed into the gamma edit of a channel.
    virtual void TypeGamma(int channel, const char* text) = 0;
    // The picture of the clip the dialog previews; null when there is none.
    virtual const DialogPicture* Preview() const = 0;
    // Counts the preview's channel values; then Histogram(c)[0..255] are the
    // counts of channel c and HistogramScale(c) makes the largest count 1.
    virtual void ComputeHistograms() = 0;
    virtual const uint32_t* Histogram(int channel) const = 0;
    virtual double HistogramScale(int channel) const = 0;

  protected:
    ~ColorCorrectDialogModel() = default;
};

// What the background video dialog (template 110) shows and edits: the five
// slider values and the file name of the effect's settings, and the
// information line for a file name (the effect opens the file to tell).
class BackgroundDialogModel {
  public:
    // Slider 0 time offset, 1 horizontal position, 2 vertical position,
    // 3 zoom x, 4 zoom y.
    virtual int32_t Slider(int index) const = 0;
    virtual void SetSlider(int index, int32_t value) = 0;
    // The file name, zero-terminated, at most kFileNameUnits units with the
    // terminator.
    static constexpr int kFileNameUnits = 512;
    virtual const char16_t* FileName() const = 0;
    virtual void SetFileName(const char16_t* name) = 0;
    virtual std::u16string DescribeFile(const char16_t* path) = 0;

  protected:
    ~BackgroundDialogModel() = default;
};

// Runs the background video dialog of `module`'s resources, owned by the
// window `owner`; the model receives the values only when it ends with OK.
int32_t RunBackgroundDialog(void* module, void* owner, BackgroundDialogModel& model);

// Runs the colour correction dialog of `module`'s resources, owned by the
// window `owner`.  *lastError receives the system's error code as the dialog
// ended (0 on Linux).
int32_t RunColorCorrectDialog(void* module, void* owner, ColorCorrectDialogModel& model,
                              uint32_t* lastError);

}  // namespace vx::platform
