// The colour correction dialog for real, in the built VexEffects.fex: a
// second thread finds the dialog the effect opened, checks its controls
// against the template, types values, presses the arrow keys and the buttons,
// and photographs it; the main thread checks what came back in the
// parameters.  Windows only (runs under Wine with a virtual display).
//
//   vex_colorcorrect_dialog_test VexEffects.fex OUTPUT-FOLDER
// Exit status: the number of failed checks.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/standin_host.h"
#include "tests/test_frames.h"
#include "tests/window_photo.h"

namespace {

using vx::host::EffectInstance;
using vx::host::EffectLibrary;

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (ok) return;
    std::fprintf(stderr, "FAIL: %s\n", what.c_str());
    ++failures;
}

HWND WaitForWindow(const wchar_t* caption) {
    for (int i = 0; i < 600; ++i) {
        HWND w = FindWindowW(L"#32770", caption);
        if (w && IsWindowVisible(w)) return w;
        Sleep(100);
    }
    return nullptr;
}

std::string Text(HWND dialog, int id) {
    char text[128] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void Type(HWND dialog, int id, const char* text) {
    SetDlgItemTextA(dialog, id, text);
}

void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
}

// Every control of template 101: id (0 for the labels, found by text),
// window class, text, place in dialog units.
struct Control {
    int id;
    const char* cls;
    const char* text;
    RECT place;  // x, y, width, height
};
const Control kControls[] = {
    {IDOK, "Button", "OK", {105, 246, 50, 14}},
    {IDCANCEL, "Button", "Abbrechen", {196, 246, 50, 14}},
    {1013, "Static", "Red", {20, 12, 14, 8}},
    {0, "Static", "Green", {20, 87, 26, 8}},
    {0, "Static", "Blue", {20, 162, 14, 8}},
    {1001, "Static", "", {20, 20, 86, 60}},
    {1008, "Static", "", {20, 95, 86, 60}},
    {1009, "Static", "", {20, 170, 86, 60}},
    {1010, "Edit", nullptr, {151, 20, 26, 14}},
    {1015, "msctls_updown32", nullptr, {179, 20, 11, 14}},
    {1011, "Edit", nullptr, {151, 41, 25, 14}},
    {1016, "msctls_updown32", nullptr, {179, 41, 11, 14}},
    {1012, "Edit", nullptr, {151, 61, 26, 14}},
    {1019, "Edit", nullptr, {151, 96, 26, 14}},
    {1020, "msctls_updown32", nullptr, {179, 96, 11, 14}},
    {1017, "Edit", nullptr, {151, 117, 25, 14}},
    {1018, "msctls_updown32", nullptr, {179, 117, 11, 14}},
    {1014, "Edit", nullptr, {151, 137, 26, 14}},
    {1024, "Edit", nullptr, {151, 172, 26, 14}},
    {1025, "msctls_updown32", nullptr, {179, 172, 11, 14}},
    {1022, "Edit", nullptr, {151, 193, 25, 14}},
    {1023, "msctls_updown32", nullptr, {179, 193, 11, 14}},
    {1021, "Edit", nullptr, {151, 213, 26, 14}},
    {1026, "Static", "", {225, 75, 86, 60}},
    {1027, "Static", "", {225, 170, 86, 60}},
    {1028, "msctls_trackbar32", nullptr, {218, 48, 94, 15}},
    {1029, "Button", "automatic", {219, 20, 50, 14}},
    {1030, "Button", "update", {225, 144, 50, 14}},
    {0, "Static", "Time offset", {225, 36, 0, 0}},
    {0, "Static", "Input", {225, 67, 0, 0}},
    {0, "Static", "Output", {225, 162, 0, 0}},
};

HWND FindLabel(HWND dialog, const char* text, const RECT& place) {
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char t[64] = {};
        GetWindowTextA(c, t, sizeof t);
        RECT want = {place.left, place.top, place.left + 1, place.top + 1};
        MapDialogRect(dialog, &want);
        RECT got;
        GetWindowRect(c, &got);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
        if (std::string(t) == text && got.left == want.left && got.top == want.top) return c;
    }
    return nullptr;
}

void CheckTemplate(HWND dialog) {
    char caption[64] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    Check(std::string(caption) == "VXEColorCorrect", "caption");
    RECT size = {0, 0, 339, 267}, client;
    MapDialogRect(dialog, &size);
    GetClientRect(dialog, &client);
    Check(client.right == size.right && client.bottom == size.bottom, "dialog size 339 x 267");
    for (const Control& c : kControls) {
        const std::string name = c.text && *c.text ? c.text : std::to_string(c.id);
        HWND w = c.id ? GetDlgItem(dialog, c.id) : FindLabel(dialog, c.text, c.place);
        Check(w != nullptr, "control " + name + " exists");
        if (!w) continue;
        char cls[64] = {};
        GetClassNameA(w, cls, sizeof cls);
        Check(lstrcmpiA(cls, c.cls) == 0, "class of " + name + ": " + cls);
        if (c.text) {
            char t[64] = {};
            GetWindowTextA(w, t, sizeof t);
            Check(std::string(t) == c.text, "text of " + name + ": " + t);
        }
        if (!c.place.right) continue;
        // Position and size convert from dialog units each on its own.  An
        // up-down control with a buddy takes the common controls' own width.
        RECT want = c.place;
        MapDialogRect(dialog, &want);
        RECT got;
        GetWindowRect(w, &got);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
        if (lstrcmpiA(c.cls, "msctls_updown32") == 0) want.right = got.right - got.left;
        Check(got.left == want.left && got.top == want.top && got.right - got.left == want.right &&
                  got.bottom - got.top == want.bottom,
              "place of " + name + ": " + std::to_string(got.left) + "," + std::to_string(got.top) +
                  " " + std::to_string(got.right - got.left) + "x" +
                  std::to_string(got.bottom - got.top) + ", want " + std::to_string(want.left) +
                  "," + std::to_string(want.top) + " " + std::to_string(want.right) + "x" +
                  std::to_string(want.bottom));
    }
    for (int upDown : {1015, 1016, 1020, 1018, 1025, 1023}) {
        int lo = -1, hi = -1;
        SendDlgItemMessageW(dialog, upDown, UDM_GETRANGE32, WPARAM(&lo), LPARAM(&hi));
        Check(lo == 0 && hi == 255, "up-down range 0..255 of " + std::to_string(upDown));
    }
    Check((GetWindowLongW(GetDlgItem(dialog, 1010), GWL_STYLE) & (ES_NUMBER | ES_RIGHT)) ==
              (ES_NUMBER | ES_RIGHT),
          "red minimum: digits only, right-aligned");
    Check((GetWindowLongW(GetDlgItem(dialog, 1014), GWL_STYLE) & ES_NUMBER) == 0,
          "green gamma takes any text");
}

// Opens the dialog through settings interface `form` while `drive` works it
// from another thread; answers what EditSettings answered.
int32_t RunDialog(EffectInstance& fx, char form, const std::function<void(HWND)>& drive) {
    vx::host::WindowSource source;
    source.parentWindow = nullptr;
    std::thread driver([&] {
        HWND dialog = WaitForWindow(L"VXEColorCorrect");
        Check(dialog != nullptr, "the dialog opens");
        if (dialog) drive(dialog);
    });
    const int32_t answer = fx.EditSettings(form, source);
    driver.join();
    return answer;
}

int Integer(EffectInstance& fx, const char* name) {
    return fx.params().ByName(name)->integer;
}
double Real(EffectInstance& fx, const char* name) {
    return fx.params().ByName(name)->real;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string output = argv[2];
    CreateDirectoryA(output.c_str(), nullptr);
    EffectLibrary lib = EffectLibrary::Load(argv[1]);
    if (!lib.ok()) {
        std::fprintf(stderr, "%s\n", lib.error().c_str());
        return 2;
    }
    EffectInstance fx(lib.CreateEffect(vx::test::ClassIdOf("VXEColorCorrect")));
    if (!fx.effect()) return 2;
    fx.DefineParameters();
    std::string error;
    for (auto [name, value] : {std::pair{"Minimum red", "20"},
                               {"Maximum red", "200"},
                               {"Gamma red", "0.5"},
                               {"Gamma green", "0.7"}})
        fx.SetValue(name, value, &error);
    fx.context().SetFrame(40);

    // Form B: the preview of frame 40 (blue = column, green = row, red = 40),
    // typed values, the arrow key, OK.
    int32_t answer = RunDialog(fx, 'B', [&](HWND d) {
        CheckTemplate(d);
        Check(Text(d, 1010) == "20" && Text(d, 1011) == "200" && Text(d, 1017) == "255",
              "limits shown");
        Check(Text(d, 1012) == "2.0" && Text(d, 1014) == "1.4" && Text(d, 1021) == "1.0",
              "gamma shown as 1/exponent: " + Text(d, 1012) + " " + Text(d, 1014));
        Type(d, 1011, "10");  // not above the red minimum: snaps
        Check(Text(d, 1011) == "21", "red maximum snaps to minimum + 1: " + Text(d, 1011));
        Type(d, 1017, "0");  // not above the green minimum: kept (255)
        Type(d, 1019, "77");
        Type(d, 1024, "40");
        Type(d, 1021, "0.5");                                  // blue exponent 2
        Type(d, 1014, "7");                                    // out of range: green exponent stays
        SendDlgItemMessageW(d, 1022, WM_KEYDOWN, VK_DOWN, 0);  // blue maximum 255 -> 254
        SendDlgItemMessageW(d, 1022, WM_KEYUP, VK_DOWN, 0);
        Check(Text(d, 1022) == "254", "arrow key steps the blue maximum: " + Text(d, 1022));
        RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        Sleep(500);
        const vx::test::WindowPhoto shot =
            vx::test::PhotographWindow(d, output + "\\colorcorrect_dialog.bmp");
        Check(shot.Count(d, 1001, RGB(255, 0, 0)) > 20, "red histogram drawn");
        Check(shot.Count(d, 1008, RGB(0, 255, 0)) > 20, "green histogram drawn");
        Check(shot.Count(d, 1009, RGB(0, 0, 255)) > 20, "blue histogram drawn");
        Check(shot.Count(d, 1001, RGB(255, 255, 255)) > 20, "histogram background white");
        Check(shot.Count(d, 1026, GetSysColor(COLOR_BTNFACE)) < 100, "input preview drawn");
        Press(d, IDOK);
    });
    Check(answer == 1, "OK answers 1");
    Check(Integer(fx, "Minimum red") == 20 && Integer(fx, "Maximum red") == 21,
          "red limits written");
    Check(Integer(fx, "Minimum green") == 77 && Integer(fx, "Maximum green") == 255,
          "green limits written: " + std::to_string(Integer(fx, "Maximum green")));
    Check(Integer(fx, "Minimum blue") == 40 && Integer(fx, "Maximum blue") == 254,
          "blue limits written");
    Check(Real(fx, "Gamma red") == 0.5 && Real(fx, "Gamma green") == 0.7 &&
              Real(fx, "Gamma blue") == 2.0,
          "exponents written; untouched ones unchanged by their one-decimal display");

    // Form A: typed values, then Cancel; nothing written.
    answer = RunDialog(fx, 'A', [&](HWND d) {
        Check(Text(d, 1019) == "77" && Text(d, 1021) == "0.5", "new values shown");
        Type(d, 1010, "5");
        Type(d, 1012, "1.5");
        Press(d, IDCANCEL);
    });
    Check(answer == 0, "Cancel answers 0");
    Check(Integer(fx, "Minimum red") == 20 && Real(fx, "Gamma red") == 0.5,
          "Cancel writes nothing");

    // "automatic" shows its box owned by the dialog; closing the window cancels.
    answer = RunDialog(fx, 'B', [&](HWND d) {
        Press(d, 1029);
        HWND box = WaitForWindow(L"auto");
        Check(box != nullptr && GetWindow(box, GW_OWNER) == d, "the auto box, owned by the dialog");
        if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 100 && IsWindow(box); ++i)
            Sleep(50);
        Type(d, 1010, "99");
        PostMessageW(d, WM_CLOSE, 0, 0);
    });
    Check(answer == 0, "closing the window answers 0");
    Check(Integer(fx, "Minimum red") == 20, "closing writes nothing");

    std::printf("%d failure(s); screenshot in %s\n", failures, output.c_str());
    return failures;
}
