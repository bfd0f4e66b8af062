// Drives the setup wizard from outside, as a user with the keyboard would:
// Cancel in the language window ends the program; then language, welcome,
// licence, destination, progress and finish, and the close on the finish page.
// Each window and page is photographed into SHOTS-FOLDER as a BMP.
//
//   wizard_driver SETUP.EXE DESTINATION WINDOW-CAPTION SHOTS-FOLDER
// Exit status 0 when every step answered as expected.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/window_photo.h"

namespace {

int failures = 0;

void Fail(const char* what) {
    std::fprintf(stderr, "wizard_driver: %s\n", what);
    ++failures;
}

HWND WaitForWindow(const char* cls, bool visible) {
    for (int i = 0; i < 600; ++i) {
        HWND w = FindWindowA(cls, nullptr);
        if (w && (!visible || IsWindowVisible(w))) return w;
        Sleep(100);
    }
    return nullptr;
}

HANDLE Start(const char* program) {
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    std::string cmd = std::string("\"") + program + "\"";
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

bool Ended(HANDLE process) { return WaitForSingleObject(process, 60000) == WAIT_OBJECT_0; }

void Click(HWND window, int id) {
    DWORD_PTR result;
    SendMessageTimeoutA(window, WM_COMMAND, WPARAM(id), 0, SMTO_NORMAL, 300000, &result);
}

std::string Text(HWND w) {
    char buf[512] = {0};
    SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, LPARAM(buf), SMTO_NORMAL, 10000, nullptr);
    return buf;
}

HWND FindChild(HWND parent, const char* cls) {
    return FindWindowExA(parent, nullptr, cls, nullptr);
}

std::string shots;

// Lets the window paint, then keeps a photograph of it named after the page.
void Photograph(HWND window, const char* page) {
    DWORD_PTR result;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);  // idle again
    Sleep(300);
    const vx::test::WindowPhoto photo =
        vx::test::PhotographWindow(window, shots + "\\" + page + ".bmp");
    if (photo.width <= 0) Fail((std::string("no photograph of ") + page).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    shots = argv[4];
    CreateDirectoryA(shots.c_str(), nullptr);
    enum { kLanguageOk = 101, kLanguageCancel = 102, kNext = 201, kCancel = 202 };

    HANDLE first = Start(argv[1]);
    if (!first) return 2;
    HWND language = WaitForWindow("VexSetupLanguage", true);
    if (!language) Fail("no language window");
    Click(language, kLanguageCancel);
    if (!Ended(first)) Fail("Cancel in the language window did not end the program");

    HANDLE setup = Start(argv[1]);
    language = WaitForWindow("VexSetupLanguage", true);
    if (!language) return Fail("no language window the second time"), 1;
    if (Text(language) != "Language") Fail("language window caption");
    Photograph(language, "1-language");
    HWND list = FindChild(language, "ComboBox");
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    Click(language, kLanguageOk);
    HWND main = WaitForWindow("VexSetupMain", true);
    if (!main) return Fail("no main window"), 1;
    if (Text(main) != argv[3]) Fail("main window caption");
    Photograph(main, "2-welcome");
    Click(main, kNext);  // to the licence
    Photograph(main, "3-licence");
    Click(main, kNext);  // to the destination
    HWND field = FindChild(main, "Edit");
    SendMessageA(field, WM_SETTEXT, 0, LPARAM(argv[2]));
    Photograph(main, "4-destination");
    // Installs, then the finish page.  Cancel is disabled while the files
    // are copied: that is the progress page, if it lasts long enough to see.
    PostMessageA(main, WM_COMMAND, WPARAM(kNext), 0);
    HWND cancel = GetDlgItem(main, kCancel);
    for (int i = 0; i < 200 && IsWindowEnabled(cancel); ++i) Sleep(5);
    if (!IsWindowEnabled(cancel)) vx::test::PhotographWindow(main, shots + "\\5-progress.bmp");
    for (int i = 0; i < 600 && !IsWindowEnabled(cancel); ++i) Sleep(100);
    Photograph(main, "6-finish");
    if (!IsWindowEnabled(GetDlgItem(main, kCancel))) Fail("Cancel not enabled on the finish page");
    Click(main, kCancel);  // finished: closes without asking
    if (!Ended(setup)) Fail("the finish page did not close");
    return failures ? 1 : 0;
}
