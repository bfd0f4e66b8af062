// The background video dialog (template 110 of VexEffects.rc): the video
// file with its information line, the time offset, and the position and zoom
// sliders around the preview area.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <commdlg.h>

#include <string>

#include "platform/dialog.h"
#include "platform/win32/dialog_win32.h"

namespace vx::platform {
namespace {

constexpr int kTemplate = 110;
enum Control {
    kTimeOffset = 1028,
    kBrowse = 1030,
    kFileName = 1031,
    kHorizontal = 1033,
    kVertical = 1034,
    kZoomX = 1040,
    kZoomY = 1042,
    kInfoLine = 1043,
};

// The sliders in the model's order, with their ranges.
struct Slider {
    int id, min, max;
};
constexpr Slider kSliders[5] = {{kTimeOffset, 0, 100},
                                {kHorizontal, -100, 100},
                                {kVertical, -100, 100},
                                {kZoomX, -100, 100},
                                {kZoomY, -100, 100}};

// Pairs of name and pattern; the second, "Video", is offered first.
constexpr wchar_t kFilter[] = L"All\0*.*\0Video\0*.AVI;*.MPG\0Pictures\0*.JPG;*.BMP;*.TIF\0";
constexpr DWORD kVideoFilter = 2;
constexpr DWORD kPathUnits = 1024;

BackgroundDialogModel& ModelOf(HWND dialog) {
    return *dialogs::Attached<BackgroundDialogModel>(dialog);
}

void ShowFileInformation(HWND dialog, const char16_t* path) {
    const std::u16string line = ModelOf(dialog).DescribeFile(path);
    SetDlgItemTextW(dialog, kInfoLine, reinterpret_cast<LPCWSTR>(line.c_str()));
}

void Open(HWND dialog, LPARAM model) {
    dialogs::Attach(dialog, model);
    BackgroundDialogModel& m = ModelOf(dialog);
    for (int i = 0; i < 5; ++i) {
        // A trackbar takes its range by its own messages; a scroll-bar range
        // would leave it at 0..100.
        HWND slider = GetDlgItem(dialog, kSliders[i].id);
        SendMessageW(slider, TBM_SETRANGEMIN, FALSE, kSliders[i].min);
        SendMessageW(slider, TBM_SETRANGEMAX, FALSE, kSliders[i].max);
        SendMessageW(slider, TBM_SETPOS, TRUE, m.Slider(i));
    }
    SendDlgItemMessageW(dialog, kFileName, EM_LIMITTEXT, BackgroundDialogModel::kFileNameUnits - 1,
                        0);
    SetDlgItemTextW(dialog, kFileName, reinterpret_cast<LPCWSTR>(m.FileName()));
    ShowFileInformation(dialog, m.FileName());
}

// The information line then describes the chosen file, or the empty name
// when the choice was cancelled.
void Browse(HWND dialog) {
    wchar_t path[kPathUnits] = L"";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = dialog;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = kVideoFilter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = kPathUnits;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameW(&ofn))
        SetDlgItemTextW(dialog, kFileName, path);
    else
        path[0] = L'\0';
    ShowFileInformation(dialog, reinterpret_cast<const char16_t*>(path));
}

void Confirm(HWND dialog) {
    BackgroundDialogModel& m = ModelOf(dialog);
    for (int i = 0; i < 5; ++i)
        m.SetSlider(i, int32_t(SendDlgItemMessageW(dialog, kSliders[i].id, TBM_GETPOS, 0, 0)));
    wchar_t name[BackgroundDialogModel::kFileNameUnits] = L"";
    GetDlgItemTextW(dialog, kFileName, name, BackgroundDialogModel::kFileNameUnits);
    m.SetFileName(reinterpret_cast<const char16_t*>(name));
    EndDialog(dialog, kDialogConfirmed);
}

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            Open(dialog, lParam);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    Confirm(dialog);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, kDialogCancelled);
                    return TRUE;
                case kBrowse:
                    Browse(dialog);
                    return TRUE;
            }
            break;
        case WM_CLOSE:
            EndDialog(dialog, kDialogCancelled);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

int32_t RunBackgroundDialog(void* module, void* owner, BackgroundDialogModel& model) {
    const INT_PTR result = dialogs::RunModal(module, kTemplate, owner, Procedure, &model, nullptr);
    return result == kDialogConfirmed   ? kDialogConfirmed
           : result == kDialogCancelled ? kDialogCancelled
                                        : kDialogFailed;
}

}  // namespace vx::platform
