// The taskbar icon's fixture: the shell's taskbar or one the test paints,
// and a plain window standing in for the main dialog.
#pragma once

#include "app/monitor_state.h"
#include "app/resource.h"
#include "platform/host/kernel.h"
#include "platform/host/gdi.h"
#include "platform/host/screen.h"
#include "platform/host/shell.h"
#include "platform/programs/programs.h"
#include "tests/support/device_fixture.h"
#include "trayicon/tray_icon.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

namespace tray_test {

const COLORREF brushColor = 0x00E0A0A0;
const COLORREF white = 0x00FFFFFF;

// A window of the taskbar's class that the test paints: a grey bar, the
// current trayIcon (or, with square set, a brush-coloured square of the
// given width) at (iconLeft, iconTop) when showIcon is set, and, with flicker
// set, pixel (40, 13) changing colour on every paint.
struct FakeBar {
    bool showIcon = true, flicker = false, square = false;
    int iconLeft = 100, iconTop = 5, squareWidth = 16;
    int paints = 0;
};
inline FakeBar &Bar()
{
    static FakeBar bar;
    return bar;
}

inline void FillWith(HDC dc, RECT rect, COLORREF color)
{
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

inline LRESULT CALLBACK FakeBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND) return 1;
    if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
    FakeBar &bar = Bar();
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT all;
    GetClientRect(window, &all);
    FillWith(dc, all, 0x00C0C0C0);
    if (bar.square)
        FillWith(dc, {bar.iconLeft, bar.iconTop, bar.iconLeft + bar.squareWidth, bar.iconTop + ICON_SIZE}, brushColor);
    else if (bar.showIcon && monitorState.trayIcon)
        DrawIconEx(dc, bar.iconLeft, bar.iconTop, monitorState.trayIcon, ICON_SIZE, ICON_SIZE, 0, NULL, DI_NORMAL);
    if (bar.flicker) SetPixel(dc, 40, 13, bar.paints % 2 ? 0x00000000 : 0x00FFFFFF);
    bar.paints++;
    EndPaint(window, &paint);
    return 0;
}

class TrayTest : public support::DeviceTest {
protected:
    void SetUp() override { Start(true); }

    void Start(bool shell)
    {
        support::DeviceSetup setup;
        setup.shell = shell;
        Boot(setup);
        AdoptAsMonitor();
        monitorState.spareTrayIcon = NULL;
        Bar() = FakeBar();

        WNDCLASSW owner = {};
        owner.lpfnWndProc = DefWindowProcW;
        owner.hInstance = monitorState.instance;
        owner.lpszClassName = u"TrayTestOwner";
        RegisterClassW(&owner);
        monitorState.mainDialog = CreateWindowExW(0, u"TrayTestOwner", u"Performance Monitor", WS_POPUP, 0, 0, 100, 60,
                                                  NULL, NULL, monitorState.instance, NULL);
        monitorState.gridBrush = CreateSolidBrush(brushColor);
        Settle();
    }

    // A taskbar of the test's own making (no shell running).
    HWND MakeFakeBar(int x, int y, int width, int height)
    {
        WNDCLASSW barClass = {};
        barClass.lpfnWndProc = FakeBarProc;
        barClass.hInstance = monitorState.instance;
        barClass.lpszClassName = DEVICE_TASKBAR_CLASS;
        RegisterClassW(&barClass);
        HWND bar = CreateWindowExW(WS_EX_TOPMOST, DEVICE_TASKBAR_CLASS, u"", WS_POPUP | WS_VISIBLE, x, y, width, height,
                                   NULL, NULL, monitorState.instance, NULL);
        UpdateWindow(bar);
        return bar;
    }

    // The start-up steps of the main dialog that concern the icon.
    void StartIcon()
    {
        CreateTrayBitmaps();
        if (!monitorState.alternateTaskbar) AddTrayIcon();
        Settle();
    }

    // Let the test's own windows and every other program handle what is queued.
    void Settle()
    {
        for (int round = 0; round < 3; round++) {
            Pump();
            dev::Settle();
        }
    }

    void Tick()
    {
        RefreshTrayIcon();
        Settle();
    }

    // The shell's entry for the monitor's icon, or null.
    static bool OurShellIcon(dev::NotifyIconEntry *found)
    {
        for (const dev::NotifyIconEntry &entry : dev::NotifyIcons()) {
            if (entry.owner == monitorState.mainDialog && entry.id == ID_TRAY_ICON) {
                if (found) *found = entry;
                return true;
            }
        }
        return false;
    }

    // Another program's icon in the notification area, to push ours around,
    // or a change of its picture.
    BOOL AddOtherIcon(UINT id, DWORD message = NIM_ADD, int picture = IDI_PROGRAM)
    {
        if (!otherOwner)
            otherOwner = CreateWindowExW(0, u"TrayTestOwner", u"other", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                         monitorState.instance, NULL);
        NOTIFYICONDATAW data = {};
        data.cbSize = sizeof(data);
        data.hWnd = otherOwner;
        data.uID = id;
        data.uFlags = NIF_ICON;
        data.hIcon = LoadIconW(monitorState.instance, MAKEINTRESOURCEW(picture));
        return Shell_NotifyIconW(message, &data);
    }

    // The commands the dock received, as "wParam:lParam ..." with the
    // current icon's handle written as "icon".
    static std::string DockCommands()
    {
        std::string text;
        for (const dev::WexdockCommand &command : dev::WexdockCommands())
            text += (text.empty() ? "" : " ") + std::to_string(command.wParam) + ":" +
                    (command.lParam == (LPARAM)monitorState.trayIcon ? "icon" : std::to_string(command.lParam));
        return text;
    }

    HWND otherOwner = NULL;
};

} // namespace tray_test
