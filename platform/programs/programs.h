// What the device's own programs share among themselves: their entries, the
// shell's notification-area state (Shell_NotifyIconW writes it from the
// caller's thread, the taskbar paints it on its own) and the taskbar layout.
// Every piece of state here is guarded by dev::BigLock().
#pragma once

#include "../host/internal.h"

#include <string>
#include <vector>

namespace dev {

// ---- program entries (dev::ProgramEntry)
int TaskbarMain(HINSTANCE instance, LPWSTR commandLine);
int HelpViewerMain(HINSTANCE instance, LPWSTR commandLine);
int HalvaneMain(HINSTANCE instance, LPWSTR commandLine);
int WexdockMain(HINSTANCE instance, LPWSTR commandLine);
int HangDemoMain(HINSTANCE instance, LPWSTR commandLine);
int TrayGuestMain(HINSTANCE instance, LPWSTR commandLine);

// ---- image names and program paths
#define SHELL_IMAGE u"explorer.exe"
#define HELP_IMAGE u"PegHelp.exe"
#define HALVANE_IMAGE u"Halvane.exe"
#define WEXDOCK_IMAGE u"Wexdock.exe"
#define HANGDEMO_IMAGE u"HangDemo.exe"
#define TRAYGUEST_IMAGE u"TrayGuest.exe"

// ---- the notification area
struct ShellIcon {
    HWND owner;
    UINT id;
    UINT callbackMessage; // 0: the owner asked for no callback
    HICON icon;           // the shell's own copy; null when none was given
};
struct ShellState {
    HWND taskbar = nullptr;
    std::vector<ShellIcon> icons; // index 0 next to the clock
};
ShellState &Shell();
// The running taskbar, or null (checked by class, so a stale handle from an
// earlier device never counts).
HWND LiveTaskbar();

// Taskbar layout, in taskbar client coordinates.
const int taskbarHeight = 26;
const int notifyIconSize = 16;
const int notifySlotWidth = 20; // icon plus a 4-pixel gap
RECT TaskbarStartRect();
RECT TaskbarClockRect(int taskbarWidth);
// The 16 by 16 square of the icon at index, vertically centred.
RECT NotifyIconRect(int taskbarWidth, size_t index);
// The sunken box around the icons and the clock.
RECT NotifyAreaRect(int taskbarWidth, size_t count);
// How many icons fit between the start button and the clock.
size_t NotifyIconCapacity(int taskbarWidth);

// ---- shared helpers
// A copy of an icon that the caller owns (GetIconInfo + CreateIconIndirect),
// or null when the handle is no icon.
HICON CopyIconImage(HICON icon);
// Wait in real time until *slot (under the lock) holds a window; false on timeout.
bool WaitForWindowSlot(HWND *slot, DWORD processId, uint32_t timeoutMs);
// Draw text with the dialog font, transparent background.
void DrawLabel(HDC dc, LPCWSTR text, RECT *rect, UINT format, COLORREF color);

// Program windows, recorded by each program once created (under the lock).
struct ProgramWindows {
    HWND help = nullptr;
    HWND halvane = nullptr;
    HWND halvaneMenu = nullptr;
    HWND wexdock = nullptr;
    HWND hangDemo = nullptr;
    HWND trayGuest = nullptr;
};
ProgramWindows &Windows();

// Halvane's library state is reset when the Halvane program starts.
void ResetHalvaneState();

} // namespace dev
