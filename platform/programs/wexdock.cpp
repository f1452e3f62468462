// "Wexdock": an alternate taskbar, a strip above the shell's taskbar. While
// it is visible, programs hand it their icon by message instead of putting
// it in the notification area:
//   WM_COMMAND 48004, 0        the icon has left the notification area
//   WM_COMMAND 4000, icon      show this icon
// It takes over the icon it is handed: the sender never destroys it, so the
// dock destroys the one it held when a new one arrives and when it closes.
// That keeps a program that hands it a fresh icon every second from piling
// them up.
#include "programs.h"
#include "../host/kernel.h"
#include "../host/shell.h"

namespace dev {

namespace {

const LPCWSTR wexdockClass = u"Wexdock";
const WORD commandLeftTray = 48004;
const WORD commandShowIcon = 4000;
const RECT iconPlace = {64, 3, 80, 19};

// One record for the window.
struct WexdockInfo {
    std::vector<WexdockCommand> commands;
    HICON icon = nullptr; // the last icon handed over, now the dock's
};
WexdockInfo wexdock;

void Command(HWND window, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    wexdock.commands.push_back(WexdockCommand{wParam, lParam});
    if (LOWORD(wParam) != commandShowIcon) return;
    HICON handed = (HICON)lParam;
    ICONINFO info;
    if (!handed || !GetIconInfo(handed, &info)) return; // not an icon: keep showing the last one
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    if (wexdock.icon && wexdock.icon != handed) DestroyIcon(wexdock.icon);
    wexdock.icon = handed;
    InvalidateRect(window, &iconPlace, FALSE);
}

void Paint(HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT all;
    GetClientRect(window, &all);
    HBRUSH background = CreateSolidBrush(RGB(32, 88, 48));
    FillRect(dc, &all, background);
    DeleteObject(background);
    RECT label = {4, 0, iconPlace.left - 4, stripHeight};
    DrawLabel(dc, u"Wexdock", &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE, RGB(255, 255, 255));
    if (wexdock.icon)
        DrawIconEx(dc, iconPlace.left, iconPlace.top, wexdock.icon, notifyIconSize, notifyIconSize, 0, nullptr,
                   DI_NORMAL);
    EndPaint(window, &ps);
}

LRESULT CALLBACK WexdockProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_COMMAND:
        Command(window, wParam, lParam);
        return 0;
    case WM_DESTROY: {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        if (wexdock.icon) DestroyIcon(wexdock.icon);
        wexdock.icon = nullptr;
        if (Windows().wexdock == window) Windows().wexdock = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

std::vector<WexdockCommand> WexdockCommands()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    return wexdock.commands;
}

HWND WexdockWindow()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HWND window = Windows().wexdock;
    return window && IsWindow(window) ? window : nullptr;
}

HICON WexdockIcon()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    return wexdock.icon;
}

int WexdockMain(HINSTANCE instance, LPWSTR)
{
    RegisterProgramClass(instance, wexdockClass, WexdockProc);
    {
        // An earlier device's icon went with its objects.
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        wexdock = WexdockInfo();
    }
    HWND window = CreateStripWindow(instance, wexdockClass, u"Wexdock");
    if (!window) return 1;
    PublishWindow(&Windows().wexdock, window);
    return RunMessageLoop();
}

} // namespace dev
