// The shell's notification area: Shell_NotifyIconW, the icon list it keeps
// and the taskbar geometry the icons are placed in. Shell_NotifyIconW runs on
// the caller's thread and changes the list under the device lock; the taskbar
// program (platform/programs/taskbar.cpp) paints it on its own thread.
//
// Not implemented: tips (NIF_TIP is accepted and ignored, as the device's
// taskbar shows none), balloons, NIM_SETFOCUS and NIM_SETVERSION (answered
// FALSE, as a first-version shell does).
#include "shell.h"
#include "kernel.h"

#include <algorithm>

namespace dev {

namespace {

int TaskbarWidth(HWND taskbar)
{
    RECT rc;
    GetClientRect(taskbar, &rc);
    return rc.right - rc.left;
}

int FindIcon(const ShellState &shell, HWND owner, UINT id)
{
    for (size_t i = 0; i < shell.icons.size(); ++i)
        if (shell.icons[i].owner == owner && shell.icons[i].id == id) return (int)i;
    return -1;
}

void InvalidateArea(HWND taskbar, size_t count)
{
    RECT area = NotifyAreaRect(TaskbarWidth(taskbar), count);
    InvalidateRect(taskbar, &area, FALSE);
}

} // namespace

// ---- taskbar layout

RECT TaskbarStartRect()
{
    return RECT{2, 3, 50, taskbarHeight - 3};
}

RECT TaskbarClockRect(int taskbarWidth)
{
    return RECT{taskbarWidth - 38, 3, taskbarWidth - 3, taskbarHeight - 3};
}

RECT NotifyIconRect(int taskbarWidth, size_t index)
{
    int right = taskbarWidth - 40; // slot 0 ends where the clock's margin begins
    int left = right - notifySlotWidth * (int)(index + 1) + 2;
    int top = (taskbarHeight - notifyIconSize) / 2;
    return RECT{left, top, left + notifyIconSize, top + notifyIconSize};
}

size_t NotifyIconCapacity(int taskbarWidth)
{
    RECT start = TaskbarStartRect();
    size_t n = 0;
    while (NotifyIconRect(taskbarWidth, n).left - 4 >= start.right)
        ++n;
    return n;
}

RECT NotifyAreaRect(int taskbarWidth, size_t count)
{
    size_t shown = std::min(count, NotifyIconCapacity(taskbarWidth));
    int left = taskbarWidth - 42 - notifySlotWidth * (int)shown;
    return RECT{left, 2, taskbarWidth - 2, taskbarHeight - 2};
}

ShellState &Shell()
{
    static ShellState state;
    return state;
}

HWND LiveTaskbar()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HWND taskbar = Shell().taskbar;
    if (!taskbar || !IsWindow(taskbar)) return nullptr;
    WCHAR name[16] = {0};
    GetClassNameW(taskbar, name, 16);
    return wcscmp(name, taskbarClass) == 0 ? taskbar : nullptr;
}

HWND TaskbarWindow()
{
    return LiveTaskbar();
}

// ---- the notification area

HICON CopyIconImage(HICON icon)
{
    if (!icon) return nullptr;
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return nullptr;
    HICON copy = CreateIconIndirect(&info);
    // GetIconInfo hands out bitmaps of its own; CreateIconIndirect copied them.
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return copy;
}

std::vector<NotifyIconEntry> NotifyIcons()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::vector<NotifyIconEntry> list;
    HWND taskbar = LiveTaskbar();
    if (!taskbar) return list;
    int width = TaskbarWidth(taskbar);
    const ShellState &shell = Shell();
    for (size_t i = 0; i < shell.icons.size(); ++i) {
        const ShellIcon &icon = shell.icons[i];
        NotifyIconEntry entry{icon.owner, icon.id, icon.callbackMessage, icon.icon, NotifyIconRect(width, i)};
        list.push_back(entry);
    }
    return list;
}

bool MoveNotifyIcon(HWND owner, UINT id, size_t position)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HWND taskbar = LiveTaskbar();
    if (!taskbar) return false;
    ShellState &shell = Shell();
    int index = FindIcon(shell, owner, id);
    if (index < 0) return false;
    ShellIcon icon = shell.icons[index];
    shell.icons.erase(shell.icons.begin() + index);
    position = std::min(position, shell.icons.size());
    shell.icons.insert(shell.icons.begin() + position, icon);
    InvalidateArea(taskbar, shell.icons.size());
    return true;
}

} // namespace dev

using namespace dev;

BOOL Shell_NotifyIconW(DWORD message, PNOTIFYICONDATAW data)
{
    if (!data || data->cbSize < (DWORD)NOTIFYICONDATAW_V1_SIZE) return FALSE;
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HWND taskbar = LiveTaskbar();
    if (!taskbar) return FALSE; // no shell running: nobody to show the icon
    ShellState &shell = Shell();
    int index = FindIcon(shell, data->hWnd, data->uID);
    int width = TaskbarWidth(taskbar);

    switch (message) {
    case NIM_ADD: {
        if (index >= 0) return FALSE;
        ShellIcon icon = {data->hWnd, data->uID, 0, nullptr};
        if (data->uFlags & NIF_MESSAGE) icon.callbackMessage = data->uCallbackMessage;
        if (data->uFlags & NIF_ICON) icon.icon = CopyIconImage(data->hIcon);
        // New icons join at the far end, so the ones already shown keep their places.
        shell.icons.push_back(icon);
        InvalidateArea(taskbar, shell.icons.size());
        return TRUE;
    }
    case NIM_MODIFY: {
        if (index < 0) return FALSE;
        ShellIcon &icon = shell.icons[index];
        if (data->uFlags & NIF_MESSAGE) icon.callbackMessage = data->uCallbackMessage;
        if (data->uFlags & NIF_ICON) {
            HICON copy = CopyIconImage(data->hIcon);
            if (icon.icon) DestroyIcon(icon.icon);
            icon.icon = copy;
            RECT slot = NotifyIconRect(width, index);
            InvalidateRect(taskbar, &slot, FALSE);
        }
        return TRUE;
    }
    case NIM_DELETE: {
        if (index < 0) return FALSE;
        if (shell.icons[index].icon) DestroyIcon(shell.icons[index].icon);
        size_t before = shell.icons.size();
        shell.icons.erase(shell.icons.begin() + index);
        InvalidateArea(taskbar, before);
        return TRUE;
    }
    }
    return FALSE;
}
