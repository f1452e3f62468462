// Taskbar icon: a 16 by 16 mini graph of the load history, kept in the
// shell's notification area (or handed to the "Wexdock" window), and a probe
// that finds where the shell has drawn it so a refresh can repaint only that
// square and notice when the icon has moved.
//
//   RefreshTrayIcon     once a second: picture, two-pixel change test, hand on
//   FillNotifyIconData  the fixed fields of every shell request
//   AddTrayIcon         into the notification area, once
//   RemoveTrayIcon      out of it, once
//   FindTaskbar         the shell's taskbar unless a visible "Wexdock" hides it
//   ShowTrayIcon        put trayIcon wherever it is seen now
//   CreateTrayBitmaps   the three long-lived bitmaps and the first icon
//   ProbeIconLocation   black icon, white icon, exclusive-or, scan, walk
//   BuildTrayIcon       an icon from the two bitmaps
//
// Icon ownership: the shell copies every icon it is given, so the one built
// last second is ours to destroy once the next is built. An icon handed to
// the "Wexdock" window becomes that window's; the probe icons belong to the
// program's resources. spareTrayIcon tracks the one icon, if any, that is
// ours alone.
//
// Every operation returns 0 when a platform call it rests on failed, 1
// otherwise; a failed tick is simply made again a second later.
#include "tray_icon.h"

#include "helper_library.h"
#include "../load/load_meter.h"
#include "../app/resource.h"

#include <string.h>

// The alternate taskbar that takes the icon by message while it is visible.
#define WEXDOCK_CLASS TEXT("Wexdock")
// Commands sent to it: the icon left the notification area; here is the icon.
#define WEXDOCK_LEFT_TRAY 48004
#define WEXDOCK_SET_ICON 4000

// The icon rows between the brush-coloured top and bottom rows.
#define ICON_INNER_ROWS (ICON_SIZE - 2)
// Every fourth history slot is shown, one per column.
#define ICON_SLOT_STEP 4
// Slots that fall on a multiple of this are drawn as grid lines.
#define ICON_GRID_SLOTS 40

// The shell's taskbar window, whether or not a "Wexdock" covers it: the
// window whose pixels are read and whose size the capture takes.
static HWND ShellTaskbar(void)
{
    return FindWindowW(DEVICE_TASKBAR_CLASS, NULL);
}

int FillNotifyIconData(NOTIFYICONDATAW *record)
{
    memset(record, 0, sizeof(*record));
    record->cbSize = NOTIFYICONDATAW_V1_SIZE;
    record->hWnd = monitorState.mainDialog;
    record->uID = ID_TRAY_ICON;
    record->uFlags = NIF_MESSAGE | NIF_ICON;
    record->uCallbackMessage = WM_COMMAND;
    return 1;
}

int AddTrayIcon(void)
{
    if (monitorState.iconInTray) return 1;
    NOTIFYICONDATAW record;
    FillNotifyIconData(&record);
    record.hIcon = monitorState.trayIcon;
    BOOL added = Shell_NotifyIconW(NIM_ADD, &record);
    // The flag says we asked: while it is set the icon is modified, and a
    // modify the shell refuses brings the add back.
    monitorState.iconInTray = 1;
    return added ? 1 : 0;
}

int RemoveTrayIcon(void)
{
    if (!monitorState.iconInTray) return 1;
    NOTIFYICONDATAW record;
    FillNotifyIconData(&record);
    BOOL deleted = Shell_NotifyIconW(NIM_DELETE, &record);
    monitorState.iconInTray = 0;
    return deleted ? 1 : 0;
}

// The taskbar that shows the icon: the shell's, unless a visible "Wexdock"
// has taken the icon over.
HWND FindTaskbar(void)
{
    HWND taskbar = ShellTaskbar();
    HWND dock = FindWindowW(WEXDOCK_CLASS, NULL);
    if (dock && IsWindowVisible(dock)) return NULL;
    return taskbar;
}

int ShowTrayIcon(void)
{
    HWND taskbar = FindTaskbar();
    if (taskbar) {
        int shown;
        if (monitorState.iconInTray) {
            NOTIFYICONDATAW record;
            FillNotifyIconData(&record);
            record.hIcon = monitorState.trayIcon;
            // Repaints the bar had pending before the modify are other
            // programs' and must happen; only a bar with none is counted as
            // painted, so that our modify never repaints the whole bar.
            BOOL othersPending = GetUpdateRect(taskbar, NULL, FALSE);
            if (Shell_NotifyIconW(NIM_MODIFY, &record)) {
                if (!othersPending) ValidateRect(taskbar, NULL);
                shown = 1;
            } else {
                // The shell no longer knows the icon (its taskbar program
                // started again): add it now, not never.
                monitorState.iconInTray = 0;
                shown = AddTrayIcon();
            }
        } else {
            shown = AddTrayIcon();
        }
        RECT square;
        square.left = monitorState.iconX - 1;
        square.top = monitorState.iconY - 1;
        square.right = monitorState.iconX + ICON_SIZE + 2;
        square.bottom = monitorState.iconY + ICON_SIZE + 2;
        InvalidateRect(taskbar, &square, FALSE);
        return shown;
    }

    BYTE wasInTray = monitorState.iconInTray;
    RemoveTrayIcon();
    HWND dock = FindWindowW(WEXDOCK_CLASS, NULL);
    if (dock && wasInTray) SendMessageW(dock, WM_COMMAND, WEXDOCK_LEFT_TRAY, 0);
    if (dock) {
        SendMessageW(dock, WM_COMMAND, WEXDOCK_SET_ICON, (LPARAM)monitorState.trayIcon);
        if (monitorState.trayIcon == monitorState.spareTrayIcon)
            monitorState.spareTrayIcon = NULL; // the dock keeps what it is handed
        return 1;
    }
    if (monitorState.trayIcon == monitorState.spareTrayIcon && monitorState.spareTrayIcon) {
        // Nobody shows it. The stale handle stays in trayIcon until the next build.
        DestroyIcon(monitorState.spareTrayIcon);
        monitorState.spareTrayIcon = NULL;
    }
    return 0; // shown nowhere
}

int CreateTrayBitmaps(void)
{
    RECT bar;
    SetRectEmpty(&bar);
    HWND taskbar = ShellTaskbar();
    if (taskbar) GetWindowRect(taskbar, &bar);
    int width = bar.right - bar.left;
    int height = bar.bottom - bar.top;

    HDC screen = GetDC(monitorState.mainDialog);
    if (!screen) return 0;
    HDC memory = CreateCompatibleDC(screen);
    // Without a taskbar there is nothing to size the capture by; the probe
    // makes it once a taskbar is there.
    monitorState.taskbarCapture =
        (taskbar && width > 0 && height > 0) ? CreateCompatibleBitmap(screen, width, height) : NULL;
    monitorState.iconColorBitmap = CreateCompatibleBitmap(screen, ICON_SIZE, ICON_SIZE);
    monitorState.iconMaskBitmap = CreateCompatibleBitmap(screen, ICON_SIZE, ICON_SIZE);

    HGDIOBJ previous = SelectObject(memory, monitorState.iconColorBitmap);
    FillWhite(memory, 0, 0, ICON_SIZE, ICON_SIZE);
    SelectObject(memory, monitorState.iconMaskBitmap);
    PatBlt(memory, 0, 0, ICON_SIZE, ICON_SIZE, BLACKNESS);

    int created = memory && monitorState.iconColorBitmap && monitorState.iconMaskBitmap;
    ReleaseDC(monitorState.mainDialog, screen);
    SelectObject(memory, previous);
    DeleteDC(memory);

    // No icon has been built yet; whatever the handle held is not ours.
    monitorState.spareTrayIcon = NULL;
    if (monitorState.alternateTaskbar)
        CreateHelperIcon(monitorState.mainDialog);
    else if (created && !BuildTrayIcon())
        created = 0;
    return created;
}

// Show one probe icon and copy the freshly repainted taskbar into the capture.
static void CaptureWithIcon(HWND taskbar, HDC taskbarDC, HDC capture, int width, int height, int iconId, DWORD rop)
{
    monitorState.trayIcon = LoadIconW(monitorState.instance, MAKEINTRESOURCEW(iconId));
    ShowTrayIcon();
    InvalidateRect(taskbar, NULL, FALSE);
    UpdateWindow(taskbar);
    BitBlt(capture, 0, 0, width, height, taskbarDC, 0, 0, rop);
}

int ProbeIconLocation(void)
{
    HWND taskbar = ShellTaskbar();
    // With the taskbar gone, or covered by a "Wexdock" that has the icon,
    // there is nothing to find, and showing the probe icons would hand them
    // to the dock; the next failed test, once the icon is back on the
    // taskbar, probes again.
    if (!taskbar || FindTaskbar() != taskbar) return 0;
    RECT bar;
    SetRectEmpty(&bar);
    GetWindowRect(taskbar, &bar);
    int width = bar.right - bar.left;
    int height = bar.bottom - bar.top;

    HDC taskbarDC = GetDC(taskbar);
    if (!taskbarDC) return 0;
    HDC capture = CreateCompatibleDC(taskbarDC);
    if (!monitorState.taskbarCapture) monitorState.taskbarCapture = CreateCompatibleBitmap(taskbarDC, width, height);
    HGDIOBJ previous = SelectObject(capture, monitorState.taskbarCapture);

    // Black then white, combined by exclusive-or: only the icon's pixels stay non-zero.
    CaptureWithIcon(taskbar, taskbarDC, capture, width, height, IDI_PROBE_A, SRCCOPY);
    CaptureWithIcon(taskbar, taskbarDC, capture, width, height, IDI_PROBE_B, SRCINVERT);

    int middle = height / 2;
    int x = 1;
    if (width > 1) {
        while (x < width && GetPixel(capture, x, middle) == 0)
            x++;
    }
    monitorState.iconX = x;
    int y = middle;
    while (y >= 0 && GetPixel(capture, monitorState.iconX, y) != 0)
        y--;
    monitorState.iconY = y + 1;

    ReleaseDC(taskbar, taskbarDC);
    SelectObject(capture, previous);
    DeleteDC(capture);
    return 1;
}

int BuildTrayIcon(void)
{
    ICONINFO info;
    memset(&info, 0, sizeof(info));
    info.fIcon = TRUE;
    info.xHotspot = ICON_SIZE / 2;
    info.yHotspot = ICON_SIZE / 2;
    info.hbmMask = monitorState.iconMaskBitmap;
    info.hbmColor = monitorState.iconColorBitmap;
    HICON icon = CreateIconIndirect(&info);
    // Without a new icon the last one stays, still shown and still ours.
    if (!icon) return 0;
    // The shell drew last second's icon from its own copy.
    if (monitorState.spareTrayIcon) DestroyIcon(monitorState.spareTrayIcon);
    monitorState.spareTrayIcon = icon;
    monitorState.trayIcon = icon;
    return 1;
}

// Background, then one column per fourth history slot, newest on the right.
static void DrawIconPicture(HDC icon, HDC fill)
{
    PatBlt(icon, 0, 0, ICON_SIZE, 1, PATCOPY);
    FillWhite(icon, 0, 1, ICON_SIZE, ICON_INNER_ROWS);
    PatBlt(icon, 0, ICON_SIZE - 1, ICON_SIZE, 1, PATCOPY);

    const LoadHistory &history = monitorState.history;
    int newest = (history.nextIndex + LOAD_HISTORY_SLOTS - 1) % LOAD_HISTORY_SLOTS;
    int base = newest - newest % ICON_SLOT_STEP;
    for (int j = 0; j < ICON_SIZE; j++) {
        int x = ICON_SIZE - 1 - j;
        int slot = (base + LOAD_HISTORY_SLOTS - ICON_SLOT_STEP * j) % LOAD_HISTORY_SLOTS;
        if (slot % ICON_GRID_SLOTS != 0) {
            int height = (ICON_SIZE * history.samples[slot]) / 100;
            // Row 15 must stay brush-coloured whatever a sample holds.
            if (height < 0) height = 0;
            if (height > ICON_SIZE - 1) height = ICON_SIZE - 1;
            int top = ICON_SIZE - 1 - height;
            if (height > 0) BitBlt(icon, x, top, 1, height, fill, 0, top, SRCCOPY);
        } else {
            PatBlt(icon, x, 0, 1, ICON_SIZE - 1, PATCOPY);
        }
    }
}

int RefreshTrayIcon(void)
{
    HWND taskbar = ShellTaskbar();
    // No taskbar, no pixels to test: a device context of no window would
    // read the whole screen. The picture is still drawn and handed on.
    HDC taskbarDC = taskbar ? GetDC(taskbar) : GetDC(monitorState.mainDialog);
    if (!taskbarDC) return 0;
    HDC icon = CreateCompatibleDC(taskbarDC);
    HDC fill = CreateCompatibleDC(taskbarDC);
    HGDIOBJ previousBitmap = SelectObject(icon, monitorState.iconColorBitmap);
    HGDIOBJ previousBrush = SelectObject(icon, monitorState.gridBrush);
    HBITMAP ramp = LoadBitmapW(monitorState.instance, MAKEINTRESOURCEW(IDB_ICON_FILL));
    HGDIOBJ previousFill = SelectObject(fill, ramp);

    DrawIconPicture(icon, fill);

    // The icon's bottom row is always the brush colour: if the taskbar no
    // longer shows it at the last known place, the icon has moved.
    BOOL moved = FALSE;
    if (!monitorState.alternateTaskbar && taskbar) {
        int bottom = monitorState.iconY + ICON_SIZE - 1;
        if (GetPixel(taskbarDC, monitorState.iconX, bottom) != GetPixel(icon, 0, ICON_SIZE - 1))
            moved = TRUE;
        else if (GetPixel(taskbarDC, monitorState.iconX + ICON_SIZE - 1, bottom) !=
                 GetPixel(icon, ICON_SIZE - 1, ICON_SIZE - 1))
            moved = TRUE;
    }

    ReleaseDC(taskbar ? taskbar : monitorState.mainDialog, taskbarDC);
    SelectObject(icon, previousBitmap);
    SelectObject(icon, previousBrush);
    DeleteDC(icon);
    SelectObject(fill, previousFill);
    DeleteDC(fill);
    DeleteObject(ramp);

    if (monitorState.alternateTaskbar) {
        UpdateHelperIcon();
        return 1;
    }
    if (moved && monitorState.iconInTray) ProbeIconLocation();
    // A failed build leaves the last icon, which is shown again.
    int built = BuildTrayIcon();
    int shown = ShowTrayIcon();
    return built && shown;
}
