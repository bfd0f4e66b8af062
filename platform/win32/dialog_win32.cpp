#include "platform/win32/dialog_win32.h"

#include <commctrl.h>

#include <vector>

namespace vx::platform::dialogs {

INT_PTR RunModal(void* module, int id, void* owner, DLGPROC procedure, void* object,
                 uint32_t* lastError) {
    // Up-down controls, trackbars and sliders live in the common controls.
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)registered;
    SetLastError(0);
    const INT_PTR result = DialogBoxParamW(static_cast<HINSTANCE>(module), MAKEINTRESOURCEW(id),
                                           static_cast<HWND>(owner), procedure, LPARAM(object));
    if (lastError) *lastError = GetLastError();
    return result;
}

void Attach(HWND dialog, LPARAM object) {
    SetWindowLongPtrW(dialog, GWLP_USERDATA, object);
}

std::string ControlText(HWND dialog, int id, int maxChars) {
    std::vector<char> text(size_t(maxChars) + 1, '\0');
    GetDlgItemTextA(dialog, id, text.data(), maxChars + 1);
    return text.data();
}

void SetControlText(HWND dialog, int id, const char* text) {
    SetDlgItemTextA(dialog, id, text);
}

}  // namespace vx::platform::dialogs
