// "TrayGuest.exe": a second program with a notification icon. It adds its
// icon and then stands it in front of (next to the clock, before) the icons
// already there, as a user dragging it would, so every other icon moves.
// The emulator starts it for --add-icon-before.
#include "programs.h"
#include "../host/kernel.h"
#include "../host/shell.h"

namespace dev {

namespace {

const LPCWSTR guestClass = u"TrayGuest";
const UINT guestIconId = 1;

// A blue square with a white cross: easy to tell from the monitor's graph.
HICON MakeGuestIcon()
{
    uint32_t color[16 * 16];
    uint8_t mask[16 * 2] = {0}; // monochrome rows of 2 bytes: all opaque
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            color[y * 16 + x] = (x == 7 || x == 8 || y == 7 || y == 8) ? 0x00FFFFFF : 0x002050C0;
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.xHotspot = info.yHotspot = 8;
    info.hbmColor = CreateBitmap(16, 16, 1, 32, color);
    info.hbmMask = CreateBitmap(16, 16, 1, 1, mask);
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return icon;
}

void FillRecord(NOTIFYICONDATAW *data, HWND window)
{
    *data = NOTIFYICONDATAW();
    data->cbSize = sizeof(NOTIFYICONDATAW);
    data->hWnd = window;
    data->uID = guestIconId;
}

LRESULT CALLBACK GuestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        NOTIFYICONDATAW data;
        FillRecord(&data, window);
        Shell_NotifyIconW(NIM_DELETE, &data);
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        if (Windows().trayGuest == window) Windows().trayGuest = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int TrayGuestMain(HINSTANCE instance, LPWSTR)
{
    RegisterProgramClass(instance, guestClass, GuestProc);
    HWND window =
        CreateWindowExW(0, guestClass, u"Tray Guest", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    PublishWindow(&Windows().trayGuest, window);
    NOTIFYICONDATAW data;
    FillRecord(&data, window);
    data.uFlags = NIF_ICON | NIF_MESSAGE;
    data.uCallbackMessage = WM_APP;
    data.hIcon = MakeGuestIcon();
    Shell_NotifyIconW(NIM_ADD, &data);
    DestroyIcon(data.hIcon); // the shell keeps a copy of its own
    MoveNotifyIcon(window, guestIconId, 0);

    return RunMessageLoop();
}

} // namespace dev
