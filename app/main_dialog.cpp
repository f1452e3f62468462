// The main dialog. Its procedure only routes: start-up builds every part in
// a fixed order, the two timers drive all periodic work whether the window
// is shown or not, and each command has a small function of its own.
//
//   MainDialogProc   messages -> OnInitDialog, OnActivate, OnClose,
//                    RedrawLoadGraph, OnCommand, OnTimer
//   OnCommand        commands -> RequestClose, HandleDeadWindowCommand,
//                    StartHelpViewer, OpenThreadTimes, ToggleShown,
//                    OnTrayIconMessage
//   OnTimer          timers   -> OnSecondTimer, UpdateLoadEstimate
//   CheckOsVersion   version class at start-up
#include "main_dialog.h"
#include "resource.h"
#include "../load/load_meter.h"
#include "../memory/memory_readout.h"
#include "../threads/thread_snapshot.h"
#include "../threads/thread_times.h"
#include "../trayicon/helper_library.h"
#include "../trayicon/tray_icon.h"
#include "../watchdog/watchdog.h"

#include <string.h>

#define MAIN_TIMER_SECOND_MS 1000
#define MAIN_TIMER_SAMPLE_MS 1

// Starting floors of the load estimator, per version class: the older
// systems deliver the 1 ms timer at different best rates.
#define IDLE_FLOOR_2_11 900
#define IDLE_FLOOR_3_0 450
#define IDLE_FLOOR_OLDER 140

// Helper library operation that deletes the icon.
#define HELPER_DELETE_ICON 2

int CheckOsVersion(void)
{
    OSVERSIONINFOW version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    // A failed query leaves the record zero: the older class.
    GetVersionExW(&version);

    if (version.dwMajorVersion == 2 && version.dwMinorVersion == 11) return OS_CLASS_2_11;
    if (version.dwMajorVersion >= 3) return OS_CLASS_3_0;
    return OS_CLASS_OLDER;
}

static void ApplyOsVersion(HWND window)
{
    switch (CheckOsVersion()) {
    case OS_CLASS_2_11:
        monitorState.idleGapSum = IDLE_FLOOR_2_11;
        break;
    case OS_CLASS_3_0:
        monitorState.idleGapSum = IDLE_FLOOR_3_0;
        break;
    default:
        // The older systems have no thread times to show.
        EnableWindow(GetDlgItem(window, IDC_THREADS), FALSE);
        monitorState.idleGapSum = IDLE_FLOOR_OLDER;
        break;
    }
}

static INT_PTR OnInitDialog(HWND window)
{
    monitorState.mainDialog = window;
    SnapshotThreads();
    monitorState.alternateTaskbar = (BYTE)IsAlternateTaskbarPresent();
    CreateTrayBitmaps();
    if (!monitorState.alternateTaskbar) AddTrayIcon();
    CreateGraphResources();
    InitCommonControls();
    SetTimer(window, ID_TIMER_SECOND, MAIN_TIMER_SECOND_MS, NULL);
    SetTimer(window, ID_TIMER_SAMPLE, MAIN_TIMER_SAMPLE_MS, NULL);
    // Before showing, so the template's placeholder figures are never seen.
    UpdateMemoryText(window);
    ShowWindow(window, SW_SHOW);

    // Both baselines from one reading, taken once the window is up.
    DWORD now = GetTickCount();
    monitorState.lastTimerTick = now;
    monitorState.nextSampleTick = now;
    memset(monitorState.history.samples, 0, sizeof(monitorState.history.samples));
    monitorState.history.nextIndex = 0;

    ApplyOsVersion(window);
    return TRUE;
}

static void OnActivate(HWND window, WPARAM wParam)
{
    // Only a plain activation shows the window; a click activation (2)
    // and deactivation (0) leave it as it is.
    if (LOWORD(wParam) == WA_ACTIVE) ShowWindow(window, SW_SHOW);
}

static void OnClose(HWND window)
{
    DestroyWindow(window);
    if (monitorState.alternateTaskbar)
        CallGetSetDelIcon(window, monitorState.helperIcon, NULL, HELPER_DELETE_ICON);
    else
        RemoveTrayIcon();
    PostQuitMessage(0);
}

static void RequestClose(HWND window)
{
    PostMessageW(window, WM_CLOSE, 0, 0);
}

static void StartHelpViewer(void)
{
    // The viewer may write into its command line, so it gets a copy.
    WCHAR commandLine[] = TEXT("Mirel.htc");
#ifdef _WIN32
    // The desktop insists on both records; the device takes neither.
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    memset(&startup, 0, sizeof(startup));
    memset(&process, 0, sizeof(process));
    startup.cb = sizeof(startup);
    if (CreateProcessW(DEVICE_HELP_VIEWER, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
#else
    CreateProcessW(DEVICE_HELP_VIEWER, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, NULL, NULL);
#endif
}

static void OpenThreadTimes(HWND window)
{
    HINSTANCE instance = monitorState.instance;
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(IDD_THREADS), RT_DIALOG);
    if (resource == NULL) return;
    LPCDLGTEMPLATEW dialogTemplate = (LPCDLGTEMPLATEW)LockResource(LoadResource(instance, resource));
    if (dialogTemplate == NULL) return;
    DialogBoxIndirectParamW(instance, dialogTemplate, window, ThreadTimesDlgProc, 0);
}

static void ToggleShown(HWND window)
{
    if (IsWindowVisible(window)) {
        ShowWindow(window, SW_HIDE);
    } else {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
    }
}

static void OnTrayIconMessage(HWND window, LPARAM mouseMessage)
{
    // A tap shows the window, also when it is already shown; the button
    // coming up again is not a second request.
    if (mouseMessage == WM_LBUTTONDOWN) {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
    }
}

static void OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        RequestClose(window);
        break;
    case IDM_DEAD_WINDOW:
        HandleDeadWindowCommand();
        break;
    case IDC_HELP:
        StartHelpViewer();
        break;
    case IDC_THREADS:
        OpenThreadTimes(window);
        break;
    case IDC_HIDE:
        ToggleShown(window);
        break;
    case ID_TRAY_ICON:
        OnTrayIconMessage(window, lParam);
        break;
    default:
        break;
    }
}

static void OnSecondTimer(HWND window)
{
    CheckHeartbeat(window);
    UpdateMemoryText(window);
    RefreshTrayIcon();
}

static void OnTimer(HWND window, WPARAM timer)
{
    switch (timer) {
    case ID_TIMER_SECOND:
        OnSecondTimer(window);
        break;
    case ID_TIMER_SAMPLE:
        UpdateLoadEstimate();
        break;
    default:
        break;
    }
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ACTIVATE:
        OnActivate(window, wParam);
        return TRUE;
    case WM_CLOSE:
        OnClose(window);
        return TRUE;
    case WM_WINDOWPOSCHANGED:
        RedrawLoadGraph();
        return TRUE;
    case WM_INITDIALOG:
        return OnInitDialog(window);
    case WM_COMMAND:
        OnCommand(window, wParam, lParam);
        return TRUE;
    case WM_TIMER:
        OnTimer(window, wParam);
        return TRUE;
    default:
        return FALSE;
    }
}
