// The device's shell, "explorer.exe": the taskbar of class "HHTaskBar" along
// the bottom of the screen, with a start label at the left, the notification
// area and a clock at the right. The notification icons are kept by
// Shell_NotifyIconW (platform/host/shell.cpp); this window only paints them
// and turns taps into their owners' callback messages.
//
// The taskbar paints everything in its own WM_PAINT, clipped to the update
// region, so a program that validates and invalidates parts of it sees
// exactly the platform's behaviour when it reads the pixels back.
#include "programs.h"
#include "../host/kernel.h"
#include "../host/shell.h"

#include <algorithm>
#include <ctime>

namespace dev {

namespace {

const UINT_PTR clockTimer = 1;

// One record per taskbar window.
struct TaskbarInfo {
    long clockBaseSeconds = 0; // time of day at device time 0, in seconds
};
TaskbarInfo taskbarInfo;

int ClientWidth(HWND window)
{
    RECT rc;
    GetClientRect(window, &rc);
    return rc.right - rc.left;
}

// With a virtual or manual clock the day starts at 09:00, so runs and
// screenshots repeat; a live run shows the host's local time.
long ClockBaseSeconds()
{
    const Config &config = CurrentConfig();
    if (config.virtualTime || config.manualClock) return 9 * 3600;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    long seconds = local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
    return seconds - (long)(Now() / 1000 % 86400);
}

uint64_t DayMilliseconds()
{
    long base = taskbarInfo.clockBaseSeconds;
    int64_t ms = (int64_t)base * 1000 + (int64_t)Now();
    const int64_t day = 86400000;
    return (uint64_t)(((ms % day) + day) % day);
}

void ArmClockTimer(HWND window)
{
    UINT untilNextMinute = (UINT)(60000 - DayMilliseconds() % 60000);
    SetTimer(window, clockTimer, untilNextMinute, nullptr);
}

void DrawClock(HDC dc, int width)
{
    uint64_t minutes = DayMilliseconds() / 60000;
    WCHAR text[8];
    swprintf(text, 8, u"%d:%02d", (int)(minutes / 60), (int)(minutes % 60));
    RECT rc = TaskbarClockRect(width);
    DrawLabel(dc, text, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE, GetSysColor(COLOR_BTNTEXT));
}

// Icons whose owner window is gone are dropped when the bar is next painted,
// as the platform's shell finds out only then.
bool DropOrphanIcons()
{
    ShellState &shell = Shell();
    bool dropped = false;
    for (size_t i = 0; i < shell.icons.size();) {
        if (IsWindow(shell.icons[i].owner)) {
            ++i;
            continue;
        }
        if (shell.icons[i].icon) DestroyIcon(shell.icons[i].icon);
        shell.icons.erase(shell.icons.begin() + i);
        dropped = true;
    }
    return dropped;
}

void PaintTaskbar(HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    int width = ClientWidth(window);
    size_t before = Shell().icons.size();
    bool dropped = DropOrphanIcons();

    RECT bar = {0, 0, width, taskbarHeight};
    FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));
    RECT top = {0, 0, width, 1};
    FillRect(dc, &top, GetSysColorBrush(COLOR_BTNHIGHLIGHT));

    RECT start = TaskbarStartRect();
    DrawEdge(dc, &start, EDGE_RAISED, BF_RECT);
    RECT label = start;
    DrawLabel(dc, u"Start", &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE, GetSysColor(COLOR_BTNTEXT));

    const std::vector<ShellIcon> &icons = Shell().icons;
    RECT area = NotifyAreaRect(width, icons.size());
    DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT);
    size_t shown = std::min(icons.size(), NotifyIconCapacity(width));
    for (size_t i = 0; i < shown; ++i) {
        if (!icons[i].icon) continue;
        RECT slot = NotifyIconRect(width, i);
        DrawIconEx(dc, slot.left, slot.top, icons[i].icon, notifyIconSize, notifyIconSize, 0, nullptr, DI_NORMAL);
    }
    DrawClock(dc, width);
    EndPaint(window, &ps);

    // The icons left of a dropped one have moved; paint the area again.
    if (dropped) {
        RECT old = NotifyAreaRect(width, before);
        InvalidateRect(window, &old, FALSE);
    }
}

// The icon under a point of the taskbar, or -1. The whole slot counts, gap
// included, as a stylus is not that precise.
int IconAt(HWND window, int x, int y)
{
    int width = ClientWidth(window);
    size_t shown = std::min(Shell().icons.size(), NotifyIconCapacity(width));
    for (size_t i = 0; i < shown; ++i) {
        RECT slot = NotifyIconRect(width, i);
        if (x >= slot.left - 2 && x < slot.right + 2 && y >= 2 && y < taskbarHeight - 2) return (int)i;
    }
    return -1;
}

void Tapped(HWND window, LPARAM lParam, UINT mouseMessage)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    int index = IconAt(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    if (index < 0) return;
    const ShellIcon &icon = Shell().icons[index];
    if (icon.callbackMessage) PostMessageW(icon.owner, icon.callbackMessage, icon.id, mouseMessage);
}

void ReleaseAllIcons(HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    ShellState &shell = Shell();
    for (ShellIcon &icon : shell.icons)
        if (icon.icon) DestroyIcon(icon.icon);
    shell.icons.clear();
    if (shell.taskbar == window) shell.taskbar = nullptr;
}

LRESULT CALLBACK TaskbarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        ArmClockTimer(window);
        return 0;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers every pixel
    case WM_PAINT:
        PaintTaskbar(window);
        return 0;
    case WM_TIMER:
        if (wParam == clockTimer) {
            RECT clock = TaskbarClockRect(ClientWidth(window));
            InvalidateRect(window, &clock, FALSE);
            ArmClockTimer(window);
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        Tapped(window, lParam, message);
        return 0;
    case WM_DESTROY:
        KillTimer(window, clockTimer);
        ReleaseAllIcons(window);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int TaskbarMain(HINSTANCE instance, LPWSTR)
{
    RegisterProgramClass(instance, taskbarClass, TaskbarProc);

    {
        // Whatever an earlier device left here went with its objects.
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        Shell().icons.clear();
        taskbarInfo = TaskbarInfo();
        taskbarInfo.clockBaseSeconds = ClockBaseSeconds();
    }
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, taskbarClass, u"", WS_POPUP | WS_VISIBLE, 0,
                                  height - taskbarHeight, width, taskbarHeight, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    PublishWindow(&Shell().taskbar, window);
    return RunMessageLoop();
}

} // namespace dev
