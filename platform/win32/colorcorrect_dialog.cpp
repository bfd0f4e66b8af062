// The colour correction dialog (template 101 of VexEffects.rc): three
// histograms of the previewed frame with the channel limits marked, edits for
// the limits and the gamma of each channel, and the previewed frame itself.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/dialog.h"
#include "platform/win32/dialog_win32.h"

namespace vx::platform {
namespace {

constexpr int kTemplate = 101;
enum Control {
    kRedHistogram = 1001,
    kGreenHistogram = 1008,
    kBlueHistogram = 1009,
    kInputPreview = 1026,
    kAutomatic = 1029,
    kUpdate = 1030,
};
constexpr int kTextLimit = 80;  // characters read from an edit

// The edit of each limit (red minimum, red maximum, green minimum, ...) and
// its up-down control.
struct LimitControls {
    int edit, upDown;
};
constexpr LimitControls kLimitControls[6] = {{1010, 1015}, {1011, 1016}, {1019, 1020},
                                             {1017, 1018}, {1024, 1025}, {1022, 1023}};
constexpr int kGammaEdits[3] = {1012, 1014, 1021};

struct HistogramStyle {
    int frame;
    COLORREF colour;
};
constexpr HistogramStyle kHistograms[3] = {
    {kRedHistogram, 0x0000FF}, {kGreenHistogram, 0x00FF00}, {kBlueHistogram, 0xFF0000}};

struct DialogState {
    ColorCorrectDialogModel* model;
    // Set while the dialog fills its own edits: those changes are not typing.
    bool filling;
};

void FillEdits(HWND dialog, const ColorCorrectDialogModel& model) {
    char text[32];
    for (int i = 0; i < 6; ++i) {
        std::snprintf(text, sizeof text, "%d", model.Limit(i));
        dialogs::SetControlText(dialog, kLimitControls[i].edit, text);
    }
    for (int c = 0; c < 3; ++c) {
        std::snprintf(text, sizeof text, "%.1f", 1 / model.Exponent(c));
        dialogs::SetControlText(dialog, kGammaEdits[c], text);
    }
}

// Client size of a control.
SIZE ClientSize(HWND control) {
    RECT r = {};
    GetClientRect(control, &r);
    return {r.right - r.left, r.bottom - r.top};
}

void DrawInputPreview(HWND dialog, const DialogPicture& picture) {
    HWND frame = GetDlgItem(dialog, kInputPreview);
    if (!frame || picture.width <= 0 || picture.height <= 0) return;
    // A device-independent bitmap wants its rows packed; bottom-up storage
    // is one too, read from its last stored row.
    const ptrdiff_t packed = ptrdiff_t(picture.width) * 4;
    std::vector<uint8_t> copy;
    const uint8_t* bits = picture.topRow;
    LONG height = -picture.height;
    if (picture.rowStep == -packed) {
        bits = picture.topRow + (picture.height - 1) * picture.rowStep;
        height = picture.height;
    } else if (picture.rowStep != packed) {
        copy.resize(size_t(packed) * size_t(picture.height));
        for (int32_t y = 0; y < picture.height; ++y)
            std::copy_n(picture.topRow + y * picture.rowStep, packed, copy.data() + y * packed);
        bits = copy.data();
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    const SIZE size = ClientSize(frame);
    HDC dc = GetDC(frame);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, 0, 0, size.cx + 1, size.cy + 1, 0, 0, picture.width, picture.height, bits,
                  &info, DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(frame, dc);
}

// Bins in pairs, one pixel column per pair, the tallest bin filling the
// height; then the channel's minimum and maximum as black marker lines.
void DrawHistogram(HWND dialog, const ColorCorrectDialogModel& model, int channel) {
    HWND frame = GetDlgItem(dialog, kHistograms[channel].frame);
    if (!frame) return;
    const SIZE size = ClientSize(frame);
    const int cy = size.cy;
    const uint32_t* counts = model.Histogram(channel);
    const double scale = model.HistogramScale(channel);
    HDC dc = GetDC(frame);
    RECT all = {0, 0, size.cx, size.cy};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

    const LOGBRUSH brush = {BS_SOLID, kHistograms[channel].colour, 0};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT, 1, &brush, 0, nullptr);
    HGDIOBJ previous = SelectObject(dc, pen);
    for (int b = 0; counts && b < 256; b += 2) {
        const double h = double(std::max(counts[b], counts[b + 1])) * cy * scale;
        MoveToEx(dc, b / 2, cy, nullptr);
        LineTo(dc, b / 2, int(cy - h));
    }
    SelectObject(dc, previous);
    DeleteObject(pen);
    for (int limit : {model.Limit(2 * channel), model.Limit(2 * channel + 1)}) {
        MoveToEx(dc, limit / 2, cy - 1, nullptr);
        LineTo(dc, limit / 2, 0);
    }
    ReleaseDC(frame, dc);
}

void Paint(HWND dialog, const ColorCorrectDialogModel& model) {
    PAINTSTRUCT ps;
    BeginPaint(dialog, &ps);
    EndPaint(dialog, &ps);
    const DialogPicture* preview = model.Preview();
    if (!preview) return;
    DrawInputPreview(dialog, *preview);
    for (int c = 0; c < 3; ++c)
        DrawHistogram(dialog, model, c);
}

// Text typed into one of the nine edits.
void EditChanged(HWND dialog, ColorCorrectDialogModel& model, int id) {
    const std::string text = dialogs::ControlText(dialog, id, kTextLimit);
    for (int i = 0; i < 6; ++i) {
        if (kLimitControls[i].edit != id) continue;
        int32_t shown = 0;
        if (model.TypeLimit(i, text.c_str(), &shown)) {
            char number[16];
            std::snprintf(number, sizeof number, "%d", shown);
            dialogs::SetControlText(dialog, id, number);
        }
    }
    for (int c = 0; c < 3; ++c)
        if (kGammaEdits[c] == id) model.TypeGamma(c, text.c_str());
    InvalidateRect(dialog, nullptr, TRUE);
}

bool IsValueEdit(int id) {
    return id >= kLimitControls[0].edit && id <= kLimitControls[4].edit;
}

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    DialogState* state = dialogs::Attached<DialogState>(dialog);
    switch (message) {
        case WM_INITDIALOG: {
            dialogs::Attach(dialog, l);
            state = reinterpret_cast<DialogState*>(l);
            for (const LimitControls& c : kLimitControls)
                SendDlgItemMessageW(dialog, c.upDown, UDM_SETRANGE32, 0, 255);
            state->filling = true;
            FillEdits(dialog, *state->model);
            state->filling = false;
            if (state->model->Preview()) state->model->ComputeHistograms();
            return TRUE;
        }
        case WM_PAINT:
            if (!state) break;
            Paint(dialog, *state->model);
            return TRUE;
        case WM_CLOSE:
            EndDialog(dialog, kDialogCancelled);
            return TRUE;
        case WM_COMMAND: {
            if (!state) break;
            const int id = LOWORD(w);
            if (IsValueEdit(id)) {
                // Only what the user changes counts: focus changes would re-read
                // a gamma shown to one decimal and move the exponent.
                if (HIWORD(w) == EN_CHANGE && !state->filling)
                    EditChanged(dialog, *state->model, id);
                return TRUE;
            }
            switch (id) {
                case IDOK:
                    EndDialog(dialog, kDialogConfirmed);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, kDialogCancelled);
                    return TRUE;
                case kUpdate:
                    if (state->model->Preview()) DrawInputPreview(dialog, *state->model->Preview());
                    return TRUE;
                case kAutomatic:
                    MessageBoxW(dialog, L"auto", L"auto", MB_OK);
                    return TRUE;
            }
            break;
        }
    }
    return FALSE;
}

}  // namespace

int32_t RunColorCorrectDialog(void* module, void* owner, ColorCorrectDialogModel& model,
                              uint32_t* lastError) {
    DialogState state = {&model, false};
    return int32_t(dialogs::RunModal(module, kTemplate, owner, Procedure, &state, lastError));
}

}  // namespace vx::platform
