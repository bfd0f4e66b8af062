// Opens the Background video dialog of the built plug-in through its
// settings interfaces, as the editor does, and drives it from a second
// thread with window messages: checks every control, its text, position and
// range, keeps a screenshot, then sets sliders and the file name and
// confirms, cancels, closes, and opens the file dialog.
//
//   background_dialog_driver LIBRARY SCREENSHOT.bmp
// Exit status 0 when every check passed.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "effects/colour/background.h"
#include "host/standin_host.h"
#include "tests/background_test_support.h"
#include "tests/window_photo.h"

namespace {

using namespace vx;

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "background_dialog_driver: %s\n", what.c_str());
        ++failures;
    }
}

std::string Narrow(const std::wstring& w) {
    return std::string(w.begin(), w.end());
}

HWND WaitForWindow(const wchar_t* caption, HWND except = nullptr) {
    for (int i = 0; i < 600; ++i) {
        HWND w = FindWindowW(L"#32770", caption);
        if (w && w != except && IsWindowVisible(w)) return w;
        Sleep(100);
    }
    return nullptr;
}

std::wstring Text(HWND w) {
    wchar_t buf[1024] = {0};
    GetWindowTextW(w, buf, 1024);
    return buf;
}

std::wstring ClassOf(HWND w) {
    wchar_t buf[128] = {0};
    GetClassNameW(w, buf, 128);
    return buf;
}

// The controls of template 110 in dialog units.
struct Expected {
    int id;  // -1: a label found by its text
    const wchar_t* cls;
    const wchar_t* text;
    RECT units;  // x, y, width, height
};
const Expected kControls[] = {
    {IDOK, L"Button", L"OK", {61, 186, 50, 14}},
    {IDCANCEL, L"Button", L"Abbrechen", {164, 186, 50, 14}},
    {-1, L"Static", L"Filename", {18, 21, 29, 8}},
    {1031, L"Edit", nullptr, {62, 19, 147, 14}},
    {1030, L"Button", L"browse", {217, 18, 42, 14}},
    {1043, L"Static", nullptr, {17, 40, 243, 8}},
    {-1, L"Static", L"Time offset", {15, 60, 37, 8}},
    {1028, TRACKBAR_CLASSW, nullptr, {61, 57, 111, 15}},
    {1032, L"Static", nullptr, {65, 88, 103, 69}},
    {1034, TRACKBAR_CLASSW, nullptr, {41, 83, 19, 71}},
    {1033, TRACKBAR_CLASSW, nullptr, {62, 161, 109, 15}},
    {1040, TRACKBAR_CLASSW, nullptr, {195, 85, 20, 73}},
    {-1, L"Static", L"Zoom x", {195, 162, 24, 8}},
    {1042, TRACKBAR_CLASSW, nullptr, {230, 82, 20, 77}},
    {-1, L"Static", L"Zoom y", {227, 162, 24, 8}},
};

HWND FindLabel(HWND dialog, const wchar_t* text) {
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (Text(c) == text) return c;
    return nullptr;
}

void CheckLayout(HWND dialog) {
    Check(Text(dialog) == L"Background Video", "caption");
    RECT client;
    GetClientRect(dialog, &client);
    RECT size = {0, 0, 279, 207};
    MapDialogRect(dialog, &size);
    Check(client.right == size.right && client.bottom == size.bottom,
          "dialog size " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
    for (const Expected& e : kControls) {
        const std::string name = e.text ? Narrow(e.text) : std::to_string(e.id);
        HWND c = e.id < 0 ? FindLabel(dialog, e.text) : GetDlgItem(dialog, e.id);
        if (!c) {
            Check(false, "no control " + name);
            continue;
        }
        Check(ClassOf(c) == e.cls, name + " is a " + Narrow(ClassOf(c)));
        if (e.text) Check(Text(c) == e.text, name + " reads " + Narrow(Text(c)));
        // Windows places a control at the mapped position with the mapped
        // size, each rounded on its own.
        RECT want = e.units;
        MapDialogRect(dialog, &want);
        want.right += want.left;
        want.bottom += want.top;
        RECT got;
        GetWindowRect(c, &got);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
        Check(EqualRect(&want, &got), name + " at " + std::to_string(got.left) + "," +
                                          std::to_string(got.top) + " " +
                                          std::to_string(got.right - got.left) + "x" +
                                          std::to_string(got.bottom - got.top));
    }
    Check((GetWindowLongW(GetDlgItem(dialog, IDOK), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON,
          "OK is the default button");
    Check((GetWindowLongW(GetDlgItem(dialog, 1032), GWL_STYLE) & SS_TYPEMASK) == SS_BLACKFRAME,
          "the preview area is a black frame");
    for (int id : {1034, 1040, 1042})
        Check(GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & TBS_VERT,
              std::to_string(id) + " is vertical");
}

int Pos(HWND dialog, int id) {
    return int(SendDlgItemMessageW(dialog, id, TBM_GETPOS, 0, 0));
}

void CheckSliders(HWND dialog, const BackgroundSettings& s) {
    const struct {
        int id, min, max, value;
    } sliders[] = {{1028, 0, 100, s.timeOffset},
                   {1033, -100, 100, s.horizontal},
                   {1034, -100, 100, s.vertical},
                   {1040, -100, 100, s.zoomX},
                   {1042, -100, 100, s.zoomY}};
    for (const auto& sl : sliders) {
        const int lo = int(SendDlgItemMessageW(dialog, sl.id, TBM_GETRANGEMIN, 0, 0));
        const int hi = int(SendDlgItemMessageW(dialog, sl.id, TBM_GETRANGEMAX, 0, 0));
        Check(lo == sl.min && hi == sl.max,
              std::to_string(sl.id) + " range " + std::to_string(lo) + ".." + std::to_string(hi));
        Check(Pos(dialog, sl.id) == sl.value,
              std::to_string(sl.id) + " at " + std::to_string(Pos(dialog, sl.id)));
    }
}

using test::StoreBlock;

// Runs `edit` (which shows the dialog) while `drive` works on the dialog
// from another thread; answers what `edit` answered.
Bool32 WithDialog(const std::function<Bool32()>& edit, const std::function<void(HWND)>& drive) {
    std::thread driver([&] {
        HWND dialog = WaitForWindow(L"Background Video");
        Check(dialog != nullptr, "the dialog did not open");
        if (dialog) drive(dialog);
    });
    const Bool32 answer = edit();
    driver.join();
    return answer;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    host::EffectLibrary library = host::EffectLibrary::Load(argv[1]);
    if (!library.ok()) return std::fprintf(stderr, "%s\n", library.error().c_str()), 2;
    host::EffectInstance instance(
        library.CreateEffect(GuidFromString("{DFC1C1B1-CFA9-4B02-8BDA-9090BE0B3E13}")));
    if (!instance.effect() || instance.DefineParameters() != kOk) return 2;
    EffectInterface* effect = instance.effect();
    void* a = nullptr;
    void* b = nullptr;
    effect->ops->QueryInterface(effect, &kSettingsInterfaceAId, &a);
    effect->ops->QueryInterface(effect, &kSettingsInterfaceBId, &b);
    auto* formA = static_cast<SettingsInterfaceA*>(a);
    auto* formB = static_cast<SettingsInterfaceB*>(b);
    host::WindowSource window;
    window.parentWindow = nullptr;  // owned by the desktop
    HostRenderContext* context = instance.context().Host();

    BackgroundSettings start = DefaultBackgroundSettings();
    start.timeOffset = 10;
    start.horizontal = -20;
    start.zoomX = 75;
    SetBackgroundFileName(start, u"C:\\nowhere\\clip.avi");
    StoreBlock(instance, start);

    // Form A: everything shown as the block says, then new values and OK.
    const Bool32 confirmed = WithDialog(
        [&] { return formA->ops->EditSettings(formA, context, nullptr, window.Host()); },
        [&](HWND dialog) {
            CheckLayout(dialog);
            CheckSliders(dialog, start);
            Check(Text(GetDlgItem(dialog, 1031)) == L"C:\\nowhere\\clip.avi", "file name shown");
            const std::wstring info = Text(GetDlgItem(dialog, 1043));
            Check(info.rfind(L"no valid file selected (error: ", 0) == 0,
                  "information line: " + Narrow(info));
            const test::WindowPhoto photo = test::PhotographWindow(dialog, argv[2]);
            Check(photo.width > 0, "no screenshot");
            const int values[][2] = {{1028, 40}, {1033, -75}, {1034, 90}, {1040, -5}, {1042, 100}};
            for (const auto& v : values)
                SendDlgItemMessageW(dialog, v[0], TBM_SETPOS, TRUE, v[1]);
            SetDlgItemTextW(dialog, 1031, L"D:\\clips\\new.avi");
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        });
    Check(confirmed == 1, "OK answered " + std::to_string(confirmed));
    const BackgroundSettings written = test::StoredBlock(instance);
    Check(instance.params().ByIndex(0)->data.size() == 1044, "block size after OK");
    Check(written.timeOffset == 40 && written.horizontal == -75 && written.vertical == 90 &&
              written.zoomX == -5 && written.zoomY == 100,
          "slider values written back: " + std::to_string(written.timeOffset) + " " +
              std::to_string(written.horizontal) + " " + std::to_string(written.vertical) + " " +
              std::to_string(written.zoomX) + " " + std::to_string(written.zoomY));
    Check(host::Narrow(written.fileName) == "D:\\clips\\new.avi",
          "file name written back: " + host::Narrow(written.fileName));

    // Form B: changes then Cancel leave the block; so does closing the window.
    const std::vector<uint8_t> before = instance.params().ByIndex(0)->data;
    for (UINT how : {UINT(WM_COMMAND), UINT(WM_CLOSE)}) {
        const Bool32 answer = WithDialog(
            [&] {
                return formB->ops->EditSettings(formB, context, nullptr, nullptr, window.Host());
            },
            [&](HWND dialog) {
                CheckSliders(dialog, written);
                SendDlgItemMessageW(dialog, 1028, TBM_SETPOS, TRUE, 3);
                SetDlgItemTextW(dialog, 1031, L"E:\\other.avi");
                PostMessageW(dialog, how, how == WM_COMMAND ? IDCANCEL : 0, 0);
            });
        Check(answer == 0, "cancel answered " + std::to_string(answer));
        Check(instance.params().ByIndex(0)->data == before, "cancel left the block alone");
    }

    // "browse" opens the file dialog; cancelling it describes the empty name.
    WithDialog(
        [&] { return formA->ops->EditSettings(formA, context, nullptr, window.Host()); },
        [&](HWND dialog) {
            SetDlgItemTextW(dialog, 1043, L"");
            PostMessageW(dialog, WM_COMMAND, 1030, 0);
            HWND files = nullptr;
            for (int i = 0; i < 600 && !files; ++i) {
                Sleep(100);
                HWND w = GetWindow(GetDesktopWindow(), GW_CHILD);
                for (; w; w = GetWindow(w, GW_HWNDNEXT))
                    if (w != dialog && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == dialog)
                        files = w;
            }
            Check(files != nullptr, "the file dialog did not open");
            if (files) {
                // The second filter pair is selected.
                HWND types = GetDlgItem(files, 0x470);
                if (types) {
                    const int sel = int(SendMessageW(types, CB_GETCURSEL, 0, 0));
                    wchar_t item[64] = {0};
                    SendMessageW(types, CB_GETLBTEXT, sel, LPARAM(item));
                    Check(std::wstring(item).rfind(L"Video", 0) == 0,
                          "selected filter " + Narrow(item));
                }
                PostMessageW(files, WM_COMMAND, IDCANCEL, 0);
            }
            std::wstring info;
            for (int i = 0; i < 600 && info.empty(); ++i) {
                Sleep(100);
                info = Text(GetDlgItem(dialog, 1043));
            }
            Check(info.rfind(L"no valid file selected (error: ", 0) == 0,
                  "information line after browse: " + Narrow(info));
            Check(Text(GetDlgItem(dialog, 1031)) == L"D:\\clips\\new.avi",
                  "a cancelled browse keeps the file name");
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });

    formA->ops->Release(formA);
    formB->ops->Release(formB);
    std::printf("background_dialog_driver: %d failures\n", failures);
    return failures ? 1 : 0;
}
