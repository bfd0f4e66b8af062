// The installer's windows on Windows: the language window and the main
// window with its welcome, licence, destination, progress and finish pages.
// The installation itself is the portable engine's.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/install.h"
#include "setup/engine/installer.h"
#include "setup/wizard.h"

namespace vx::setup {

namespace {

enum Page { kWelcome, kLicence, kDestination, kProgress };

enum ControlId {
    kLanguageList = 100,
    kLanguageOk,
    kLanguageCancel,
    kBack = 200,
    kNext,
    kCancel,
    kLink,
    kBrowse,
    kRestart,
};

constexpr int kMainWidth = 495, kMainHeight = 364;
constexpr int kSideWidth = 164, kSideHeight = 314;
constexpr COLORREF kLinkColour = RGB(0, 0, 255), kLinkHoverColour = RGB(255, 0, 0);

struct Wizard {
    explicit Wizard(std::string folder) : installer(std::move(folder)) {}

    Installer installer;
    SetupOptions options;
    HINSTANCE instance = nullptr;
    HFONT font = nullptr, bold = nullptr, linkFont = nullptr, linkHoverFont = nullptr;
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    HBITMAP sidePicture = nullptr;

    HWND languageWindow = nullptr, languageList = nullptr;
    HWND main = nullptr;
    HWND back = nullptr, next = nullptr, cancel = nullptr, link = nullptr;
    // Page controls: header (bitmap, title, subtitle) and the page's own.
    HWND pageBitmap = nullptr, title = nullptr, subtitle = nullptr, body = nullptr,
         bottomLine = nullptr;
    HWND licenceBox = nullptr, group = nullptr, destField = nullptr, browse = nullptr,
         spaceLine = nullptr, status = nullptr, progress = nullptr, restart = nullptr;

    Page page = kWelcome;
    bool finished = false, installing = false, showSide = true, linkHover = false;
};

Wizard* gWizard = nullptr;

void SetText(HWND w, const std::string& text) { SetWindowTextA(w, text.c_str()); }

std::string WindowText(HWND w) {
    int n = GetWindowTextLengthA(w);
    std::string s(size_t(n) + 1, '\0');
    GetWindowTextA(w, s.data(), n + 1);
    s.resize(size_t(n));
    return s;
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
           int id = 0, DWORD exStyle = 0) {
    HWND c = CreateWindowExA(exStyle, cls, text, WS_CHILD | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(INT_PTR(id)), gWizard->instance, nullptr);
    SendMessageA(c, WM_SETFONT, WPARAM(gWizard->font), TRUE);
    return c;
}

void Show(HWND w, bool visible) { ShowWindow(w, visible ? SW_SHOW : SW_HIDE); }

void SetPageBitmap(const char* name) {
    HBITMAP bmp = static_cast<HBITMAP>(LoadImageA(gWizard->instance, name, IMAGE_BITMAP, 0, 0, 0));
    HBITMAP old = reinterpret_cast<HBITMAP>(
        SendMessageA(gWizard->pageBitmap, STM_SETIMAGE, IMAGE_BITMAP, LPARAM(bmp)));
    if (old) DeleteObject(old);
}

DWORD CALLBACK StreamRtf(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
    auto* in = reinterpret_cast<std::istream*>(cookie);
    in->read(reinterpret_cast<char*>(buffer), size);
    *read = LONG(in->gcount());
    return 0;
}

// The whole of "setup.rtf" into the licence box; a missing file leaves it empty.
void LoadLicence() {
    Wizard& z = *gWizard;
    std::ifstream file(z.installer.Expand("%Installer%setup.rtf"), std::ios::binary);
    std::stringstream text;
    if (file) text << file.rdbuf();
    EDITSTREAM es = {};
    es.dwCookie = DWORD_PTR(&text);
    es.pfnCallback = StreamRtf;
    SendMessageA(z.licenceBox, EM_STREAMIN, SF_RTF, LPARAM(&es));
}

// Layout of the page area: side picture pages (welcome, finish) put their
// texts right of the picture, the others use a header.
void ShowPage(Page page) {
    Wizard& z = *gWizard;
    z.page = page;
    const bool side = page == kWelcome;
    z.showSide = side;
    const int x = side ? kSideWidth + 16 : 16;
    MoveWindow(z.pageBitmap, side ? kMainWidth - 70 : kMainWidth - 70, 6, 48, 48, TRUE);
    MoveWindow(z.title, x, 12, kMainWidth - x - 80, 18, TRUE);
    MoveWindow(z.subtitle, x + 8, 32, kMainWidth - x - 90, 28, TRUE);
    MoveWindow(z.body, x, 70, kMainWidth - x - 24, 170, TRUE);
    Show(z.subtitle, !side);
    Show(z.body, side);
    Show(z.bottomLine, page == kWelcome || page == kDestination);
    MoveWindow(z.bottomLine, x, page == kWelcome ? 250 : 230, kMainWidth - x - 24, 32, TRUE);
    Show(z.licenceBox, page == kLicence);
    for (HWND w : {z.group, z.destField, z.browse, z.spaceLine}) Show(w, page == kDestination);
    Show(z.status, page == kProgress);
    Show(z.progress, page == kProgress);
    Show(z.restart, false);
    InvalidateRect(z.main, nullptr, TRUE);
}

void ShowWelcome() {
    Wizard& z = *gWizard;
    const std::string& app = z.installer.script().appName;
    SetPageBitmap("WELCOME");
    SetText(z.title, z.installer.Text(4, app));
    SetText(z.body, z.installer.Text(5, app));
    SetText(z.bottomLine, z.installer.Text(6));
    EnableWindow(z.back, FALSE);
    SetText(z.next, z.installer.Text(2));
    ShowPage(kWelcome);
}

void ShowLicence() {
    Wizard& z = *gWizard;
    SetPageBitmap("LICENSE");
    SetText(z.title, z.installer.Text(7));
    SetText(z.subtitle, z.installer.Text(8, z.installer.script().appName));
    LoadLicence();
    EnableWindow(z.back, TRUE);
    SetText(z.next, z.installer.Text(9));
    ShowPage(kLicence);
}

void ShowDestination() {
    Wizard& z = *gWizard;
    const SetupScript& s = z.installer.script();
    SetPageBitmap("BROWSE");
    SetText(z.title, z.installer.Text(11));
    SetText(z.subtitle, z.installer.Text(12, s.appName));
    SetText(z.spaceLine, z.installer.Text(14, s.freeSpace));
    SetText(z.bottomLine, z.installer.Text(13));
    SetText(z.group, z.installer.Text(15));
    SetText(z.browse, z.installer.Text(16));
    SetText(z.next, z.installer.Text(2));
    SetText(z.destField, z.installer.destination());
    EnableWindow(z.destField, s.editDest);
    EnableWindow(z.browse, s.editDest);
    ShowPage(kDestination);
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class WindowObserver : public InstallObserver {
public:
    void Status(const std::string& text) override {
        SetText(gWizard->status, text);
        UpdateWindow(gWizard->main);
    }
    void Range(int maximum) override {
        SendMessageA(gWizard->progress, PBM_SETRANGE32, 0, maximum);
    }
    void Position(int position) override {
        SendMessageA(gWizard->progress, PBM_SETPOS, WPARAM(position), 0);
    }
    void ProcessMessages() override { PumpMessages(); }
    void ProgramStarted() override { SetForegroundWindow(gWizard->main); }
};

void ShowFinish() {
    Wizard& z = *gWizard;
    const SetupScript& s = z.installer.script();
    SetPageBitmap("FINISH");
    ShowPage(kWelcome);  // the side picture layout
    Show(z.bottomLine, false);
    SetText(z.title, z.installer.Text(25));
    SetText(z.cancel, z.installer.Text(29));
    EnableWindow(z.cancel, TRUE);
    z.finished = true;
    SetText(z.body, z.installer.Text(s.reboot ? 27 : 26, s.appName));
    if (s.reboot) {
        SetText(z.restart, z.installer.Text(28));
        SendMessageA(z.restart, BM_SETCHECK, BST_CHECKED, 0);
        Show(z.restart, true);
    }
}

void Install() {
    Wizard& z = *gWizard;
    const std::string destination = WindowText(z.destField);
    SetPageBitmap("SETUP");
    SetText(z.title, z.installer.Text(18));
    SetText(z.status, z.installer.Text(19));
    ShowPage(kProgress);
    for (HWND b : {z.back, z.next, z.cancel}) EnableWindow(b, FALSE);
    z.installing = true;
    WindowObserver observer;
    z.installer.Install(destination, observer);
    z.installing = false;
    ShowFinish();
    z.installer.FinishLog(observer);
}

void Browse() {
    Wizard& z = *gWizard;
    BROWSEINFOA bi = {};
    bi.hwndOwner = z.main;
    bi.lpszTitle = " ";
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&bi);
    if (!item) return;
    char path[MAX_PATH] = {0};
    if (SHGetPathFromIDListA(item, path)) {
        z.installer.SetDestination(WindowText(z.destField));
        SetText(z.destField, z.installer.BrowsedDestination(path));
    }
    CoTaskMemFree(item);
}

void CloseMain() {
    Wizard& z = *gWizard;
    if (z.installing) return;  // the installation finishes first
    if (z.finished) {
        const bool restart = IsWindowVisible(z.restart) &&
                             SendMessageA(z.restart, BM_GETCHECK, 0, 0) == BST_CHECKED;
        if (restart) platform::RestartSystem();
        DestroyWindow(z.main);
        return;
    }
    const std::string question = z.installer.Text(17, z.installer.script().appName);
    if (MessageBoxA(z.main, question.c_str(), WindowText(z.main).c_str(),
                    MB_ICONINFORMATION | MB_YESNO) == IDYES)
        DestroyWindow(z.main);
}

// The hyperlink label turns red and underlined while the pointer is over it.
LRESULT CALLBACK LinkProc(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    Wizard& z = *gWizard;
    if (msg == WM_MOUSEMOVE && !z.linkHover) {
        z.linkHover = true;
        SendMessageA(w, WM_SETFONT, WPARAM(z.linkHoverFont), TRUE);
        TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, w, 0};
        TrackMouseEvent(&t);
    } else if (msg == WM_MOUSELEAVE) {
        z.linkHover = false;
        SendMessageA(w, WM_SETFONT, WPARAM(z.linkFont), TRUE);
    } else if (msg == WM_SETCURSOR) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
    }
    return DefSubclassProc(w, msg, wp, lp);
}

void Load() {
    Wizard& z = *gWizard;
    std::string language = WindowText(z.languageList);
    z.installer.Load(language);
    const SetupScript& s = z.installer.script();
    SetText(z.back, z.installer.Text(1));
    SetText(z.next, z.installer.Text(2));
    SetText(z.cancel, z.installer.Text(3));
    SetText(z.main, s.windowName);
    SetText(z.link, s.linkName);
    if (z.options.hasDestination) z.installer.SetDestination(z.options.destination);
    ShowWelcome();
    if (z.installer.Refused()) {
        z.finished = true;
        MessageBoxA(z.main, z.installer.Text(10, s.appName).c_str(), s.windowName.c_str(),
                    MB_ICONERROR);
        CloseMain();
    }
}

void CreatePages(HWND w) {
    Wizard& z = *gWizard;
    RECT rc;
    GetClientRect(w, &rc);
    const int buttonsY = rc.bottom - 32;
    z.link = Child(w, "STATIC", "", WS_VISIBLE | SS_NOTIFY, 10, buttonsY + 5, 200, 16, kLink);
    SendMessageA(z.link, WM_SETFONT, WPARAM(z.linkFont), TRUE);
    SetWindowSubclass(z.link, LinkProc, 1, 0);
    z.back = Child(w, "BUTTON", "", WS_VISIBLE | WS_TABSTOP, 235, buttonsY, 75, 23, kBack);
    z.next = Child(w, "BUTTON", "", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 315, buttonsY, 75,
                   23, kNext);
    z.cancel = Child(w, "BUTTON", "", WS_VISIBLE | WS_TABSTOP, 400, buttonsY, 75, 23, kCancel);

    z.pageBitmap = Child(w, "STATIC", "", WS_VISIBLE | SS_BITMAP, 0, 0, 48, 48);
    z.title = Child(w, "STATIC", "", WS_VISIBLE, 0, 0, 10, 10);
    SendMessageA(z.title, WM_SETFONT, WPARAM(z.bold), TRUE);
    z.subtitle = Child(w, "STATIC", "", 0, 0, 0, 10, 10);
    z.body = Child(w, "STATIC", "", 0, 0, 0, 10, 10);
    z.bottomLine = Child(w, "STATIC", "", 0, 0, 0, 10, 10);
    z.licenceBox = Child(w, RICHEDIT_CLASSA, "",
                         WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 16,
                         66, kMainWidth - 40, 200);
    z.spaceLine = Child(w, "STATIC", "", 0, 24, 80, kMainWidth - 60, 16);
    z.group = Child(w, "BUTTON", "", BS_GROUPBOX, 16, 150, kMainWidth - 40, 60);
    z.destField = Child(w, "EDIT", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 28, 174,
                        kMainWidth - 150, 21);
    z.browse = Child(w, "BUTTON", "", WS_TABSTOP, kMainWidth - 112, 173, 75, 23, kBrowse);
    z.status = Child(w, "STATIC", "", 0, 24, 110, kMainWidth - 60, 16);
    z.progress = Child(w, PROGRESS_CLASSA, "", 0, 24, 134, kMainWidth - 60, 18);
    z.restart = Child(w, "BUTTON", "", BS_AUTOCHECKBOX | WS_TABSTOP, kSideWidth + 16, 250, 280, 20,
                      kRestart);
}

LRESULT CALLBACK MainProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    Wizard& z = *gWizard;
    switch (msg) {
        case WM_CREATE: CreatePages(w); return 0;
        case WM_SHOWWINDOW:
            if (wp && z.languageWindow) Load();
            return 0;
        case WM_ERASEBKGND: {
            RECT rc;
            GetClientRect(w, &rc);
            FillRect(HDC(wp), &rc, z.white);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(w, &ps);
            if (z.showSide && z.sidePicture) {
                HDC mem = CreateCompatibleDC(dc);
                HGDIOBJ old = SelectObject(mem, z.sidePicture);
                BitBlt(dc, 0, 0, kSideWidth, kSideHeight, mem, 0, 0, SRCCOPY);
                SelectObject(mem, old);
                DeleteDC(mem);
            }
            EndPaint(w, &ps);
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            HDC dc = HDC(wp);
            SetBkColor(dc, RGB(255, 255, 255));
            if (HWND(lp) == z.link) SetTextColor(dc, z.linkHover ? kLinkHoverColour : kLinkColour);
            return LRESULT(z.white);
        }
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case kLink:
                    if (HIWORD(wp) == STN_CLICKED)
                        ShellExecuteA(nullptr, "open", z.installer.script().site.c_str(), nullptr,
                                      nullptr, SW_SHOWNORMAL);
                    return 0;
                case kNext:
                    if (z.page == kWelcome) ShowLicence();
                    else if (z.page == kLicence) ShowDestination();
                    else if (z.page == kDestination) Install();
                    return 0;
                case kBack:
                    if (z.page == kLicence) ShowWelcome();
                    else if (z.page == kDestination) ShowLicence();
                    return 0;
                case kBrowse: Browse(); return 0;
                case kCancel: CloseMain(); return 0;
            }
            break;
        case WM_CLOSE: CloseMain(); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

LRESULT CALLBACK LanguageProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    Wizard& z = *gWizard;
    switch (msg) {
        case WM_CTLCOLORSTATIC: return LRESULT(GetSysColorBrush(COLOR_BTNFACE));
        case WM_COMMAND:
            if (LOWORD(wp) == kLanguageOk) {
                ShowWindow(w, SW_HIDE);
                ShowWindow(z.main, SW_SHOW);
                UpdateWindow(z.main);
                return 0;
            }
            if (LOWORD(wp) == kLanguageCancel) {
                z.finished = true;
                DestroyWindow(w);
                DestroyWindow(z.main);
                return 0;
            }
            break;
        case WM_CLOSE: return 0;  // no Close command: OK or Cancel decide
    }
    return DefWindowProcA(w, msg, wp, lp);
}

HFONT Font(int weight, bool underline) {
    return CreateFontA(-11, 0, 0, 0, weight, FALSE, underline, FALSE, 204, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Tahoma");
}

void CreateLanguageWindow() {
    Wizard& z = *gWizard;
    RECT screen;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
    z.languageWindow = CreateWindowExA(
        WS_EX_DLGMODALFRAME, "VexSetupLanguage", "Language", WS_POPUP | WS_CAPTION | WS_SYSMENU,
        (screen.right - 248) / 2, (screen.bottom - 130) / 2, 248, 130, nullptr, nullptr,
        z.instance, nullptr);
    HMENU menu = GetSystemMenu(z.languageWindow, FALSE);
    DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
    HWND pic = Child(z.languageWindow, "STATIC", "LANG", WS_VISIBLE | SS_BITMAP, 8, 8, 48, 48);
    SendMessageA(pic, STM_SETIMAGE, IMAGE_BITMAP,
                 LPARAM(LoadImageA(z.instance, "LANG", IMAGE_BITMAP, 0, 0, 0)));
    Child(z.languageWindow, "STATIC", "Please select a Language:", WS_VISIBLE, 64, 8, 170, 16);
    z.languageList = Child(z.languageWindow, "COMBOBOX", "",
                           WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_SORT, 64,
                           28, 165, 200, kLanguageList);
    for (const std::string& name : z.installer.Languages())
        SendMessageA(z.languageList, CB_ADDSTRING, 0, LPARAM(name.c_str()));
    if (z.options.hasLanguage)
        SendMessageA(z.languageList, CB_SELECTSTRING, WPARAM(-1), LPARAM(z.options.language.c_str()));
    Child(z.languageWindow, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 64, 64, 75,
          23, kLanguageOk);
    Child(z.languageWindow, "BUTTON", "Cancel", WS_VISIBLE | WS_TABSTOP, 150, 64, 75, 23,
          kLanguageCancel);
}

void RegisterClasses() {
    WNDCLASSA wc = {};
    wc.hInstance = gWizard->instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.lpfnWndProc = MainProc;
    wc.lpszClassName = "VexSetupMain";
    RegisterClassA(&wc);
    wc.lpfnWndProc = LanguageProc;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = "VexSetupLanguage";
    RegisterClassA(&wc);
}

}  // namespace

int RunWizard(const std::string& installerFolder, const SetupOptions& options) {
    Wizard wizard(installerFolder);
    gWizard = &wizard;
    wizard.options = options;
    wizard.instance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    LoadLibraryA("riched20.dll");
    CoInitialize(nullptr);
    wizard.font = Font(FW_NORMAL, false);
    wizard.bold = Font(FW_BOLD, false);
    wizard.linkFont = Font(FW_BOLD, false);
    wizard.linkHoverFont = Font(FW_BOLD, true);
    wizard.sidePicture = static_cast<HBITMAP>(
        LoadImageA(nullptr, (installerFolder + "setup.bmp").c_str(), IMAGE_BITMAP, 0, 0,
                   LR_LOADFROMFILE));
    RegisterClasses();

    RECT screen;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
    wizard.main = CreateWindowExA(0, "VexSetupMain", "", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU |
                                                             WS_MINIMIZEBOX,
                                  (screen.right - kMainWidth) / 2, (screen.bottom - kMainHeight) / 2,
                                  kMainWidth, kMainHeight, nullptr, nullptr, wizard.instance, nullptr);
    CreateLanguageWindow();
    ShowWindow(wizard.languageWindow, SW_SHOW);
    SetForegroundWindow(wizard.languageWindow);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        HWND active = IsWindowVisible(wizard.languageWindow) ? wizard.languageWindow : wizard.main;
        if (IsDialogMessageA(active, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    gWizard = nullptr;
    CoUninitialize();
    return 0;
}

}  // namespace vx::setup
