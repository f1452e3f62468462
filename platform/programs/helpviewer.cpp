// "PegHelp.exe": the help viewer. It stands in for the device's viewer with
// a small window titled "Help" that names the file it was asked to open; its
// close box ends it. A second start shows the new file in the same window.
#include "programs.h"
#include "../host/kernel.h"

namespace dev {

namespace {

const LPCWSTR helpClass = u"PegHelp";

// One record for the window.
struct HelpInfo {
    std::u16string file;
};
HelpInfo help;

void Paint(HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT all;
    GetClientRect(window, &all);
    FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
    RECT heading = {6, 6, all.right - 6, 22};
    DrawLabel(dc, u"Help file:", &heading, DT_LEFT | DT_SINGLELINE, GetSysColor(COLOR_WINDOWTEXT));
    RECT name = {6, 24, all.right - 6, all.bottom - 6};
    DrawLabel(dc, help.file.empty() ? u"(none)" : help.file.c_str(), &name, DT_LEFT | DT_WORDBREAK,
              GetSysColor(COLOR_WINDOWTEXT));
    EndPaint(window, &ps);
}

LRESULT CALLBACK HelpProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_DESTROY: {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        if (Windows().help == window) Windows().help = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int HelpViewerMain(HINSTANCE instance, LPWSTR commandLine)
{
    std::u16string file = commandLine ? commandLine : u"";
    if (HWND open = FindWindowW(helpClass, nullptr)) {
        {
            std::lock_guard<std::recursive_mutex> lock(BigLock());
            help.file = file;
        }
        InvalidateRect(open, nullptr, TRUE);
        SetForegroundWindow(open);
        return 0;
    }
    RegisterProgramClass(instance, helpClass, HelpProc);
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        help.file = file;
    }
    HWND window = CreateWindowExW(0, helpClass, u"Help", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 30, 70, 180,
                                  110, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    PublishWindow(&Windows().help, window);
    SetForegroundWindow(window);
    return RunMessageLoop();
}

} // namespace dev
