// "HangDemo.exe": a program whose window stops answering on request. Its
// "Freeze 10 s" button makes the window's own thread sleep for ten seconds
// without fetching messages, so anything sent to the window waits, exactly
// like a program that has really hung.
#include "programs.h"
#include "../host/kernel.h"
#include "../host/user.h"

namespace dev {

namespace {

const LPCWSTR hangDemoClass = u"HangDemo";
const int freezeButton = 100;
const DWORD freezeMs = 10000;

void Paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT all;
    GetClientRect(window, &all);
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    RECT text = {8, 34, all.right - 8, all.bottom - 4};
    DrawLabel(dc, u"The button stops this window from answering for 10 seconds.", &text, DT_LEFT | DT_WORDBREAK,
              GetSysColor(COLOR_BTNTEXT));
    EndPaint(window, &ps);
}

LRESULT CALLBACK HangDemoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == freezeButton && HIWORD(wParam) == BN_CLICKED)
            Sleep(freezeMs); // on purpose: no messages are fetched meanwhile
        return 0;
    case WM_DESTROY: {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        if (Windows().hangDemo == window) Windows().hangDemo = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

HWND HangDemoWindow()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HWND window = Windows().hangDemo;
    return window && IsWindow(window) ? window : nullptr;
}

bool FreezeHangDemo()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HWND window = HangDemoWindow();
    if (!window) return false;
    HWND button = GetDlgItem(window, freezeButton);
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(freezeButton, BN_CLICKED), (LPARAM)button) != 0;
}

int HangDemoMain(HINSTANCE instance, LPWSTR)
{
    RegisterProgramClass(instance, hangDemoClass, HangDemoProc);
    HWND window = CreateWindowExW(0, hangDemoClass, u"Hang Demo", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 20,
                                  150, 200, 100, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    RegisterSystemClasses(); // "Button" is there only once a dialog was made
    CreateWindowExW(0, u"Button", u"Freeze 10 s", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 8, 6, 90, 22,
                    window, (HMENU)(UINT_PTR)freezeButton, instance, nullptr);
    PublishWindow(&Windows().hangDemo, window);
    return RunMessageLoop();
}

} // namespace dev
