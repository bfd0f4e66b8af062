// What the library's dialogs share on Windows: running a template modally
// with an object attached to the window, and reading and writing the text of
// controls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace vx::platform::dialogs {

// Runs template `id` of `module` modally, owned by `owner`.  `object`
// reaches the procedure as the lParam of WM_INITDIALOG; Attach keeps it as
// the window's user data for Attached.  *lastError (when given) receives the
// system's error code as the dialog ended.
INT_PTR RunModal(void* module, int id, void* owner, DLGPROC procedure, void* object,
                 uint32_t* lastError);

void Attach(HWND dialog, LPARAM object);
template <class T>
T* Attached(HWND dialog) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

// The text of control `id`, at most `maxChars` characters.
std::string ControlText(HWND dialog, int id, int maxChars);
void SetControlText(HWND dialog, int id, const char* text);

}  // namespace vx::platform::dialogs
