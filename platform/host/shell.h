// The device's shell: the notification area that Shell_NotifyIconW keeps and
// the taskbar geometry it is drawn in (platform/host/shell.cpp). The taskbar
// program (platform/programs/taskbar.cpp) paints this state and records its
// window here; stand-ins and tests read it. Every piece of state here is
// guarded by dev::BigLock().
#pragma once

#include "../platform.h"

#include <cstddef>
#include <vector>

namespace dev {

// The class of the shell's taskbar window.
const LPCWSTR taskbarClass = u"HHTaskBar";

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
// The taskbar window of the running shell, or null.
HWND TaskbarWindow();

// One icon of the notification area, in the order the shell shows them
// (index 0 stands next to the clock, later ones further left).
struct NotifyIconEntry {
    HWND owner;
    UINT id;
    UINT callbackMessage; // 0 when no NIF_MESSAGE was given
    HICON icon;           // the shell's own copy, or null
    RECT slot;            // where it is drawn, in taskbar client coordinates (16 by 16)
};
std::vector<NotifyIconEntry> NotifyIcons();
// Move an icon to another position of the notification area, as a user
// dragging it would; the shell repaints the area. False for an unknown icon.
bool MoveNotifyIcon(HWND owner, UINT id, size_t position);

// ---- taskbar layout, in taskbar client coordinates
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

// A copy of an icon that the caller owns (GetIconInfo + CreateIconIndirect),
// or null when the handle is no icon.
HICON CopyIconImage(HICON icon);

} // namespace dev
