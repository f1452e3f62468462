// Hung-window watchdog. A background thread asks every top-level window in
// turn for its text; the request is answered by the window's own thread, so a
// hung thread blocks it. Just before each request the thread stores which
// window it asks and when (the heartbeat). Once a second the main thread
// looks at the heartbeat's age and, for a stall it has not reported yet,
// posts itself IDM_DEAD_WINDOW, whose handler shows the report.
//
// The two threads share watchedWindow and heartbeatTick: whole aligned words
// written only by the watchdog, read by the main thread without a lock. A
// stale read costs one timer period.
#include "watchdog.h"

#include "../app/resource.h"

// Buffers of one report. The class name limit is the platform's.
#define REPORT_CLASS_CHARS 64
#define REPORT_FILE_CHARS MAX_PATH
#define REPORT_MESSAGE_CHARS 512
// The watchdog's own text buffer; what it reads is thrown away.
#define PROBE_TEXT_CHARS 260
// Time given to each window, so the watchdog costs next to nothing.
#define PROBE_PAUSE_MS 100

#define DEAD_WINDOW_FORMAT                                                                          \
    TEXT("Whoops! One of the windows in the system seems to have become unresponsive. The window ") \
    TEXT("belongs to the %ls class, and was created by the %ls program.")
#define DEAD_WINDOW_TITLE TEXT("Dead Window!")

// The longest report: the fixed text (less its two "%ls"), the longest class
// name and file name, and the terminator.
static_assert(sizeof(DEAD_WINDOW_FORMAT) / sizeof(WCHAR) - 1 - 2 * 3 + (REPORT_CLASS_CHARS - 1) +
                      (REPORT_FILE_CHARS - 1) + 1 <=
                  REPORT_MESSAGE_CHARS,
              "the longest report fits its buffer");

int StartWatchdog(void)
{
    DWORD threadId;
    monitorState.watchdogThread = CreateThread(NULL, 0, WatchdogThreadMain, NULL, 0, &threadId);
    SetThreadPriority(monitorState.watchdogThread, THREAD_PRIORITY_NORMAL);
    return 1;
}

DWORD WINAPI WatchdogThreadMain(LPVOID parameter)
{
    (void)parameter;
    MSG message;
    for (;;) {
        // Nothing is meant for this thread; whatever arrives is dropped.
        if (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) continue;
        DWORD before = monitorState.heartbeatTick;
        EnumWindows(ProbeWindow, 0);
        // A pass that found no window at all would otherwise spin.
        if (monitorState.heartbeatTick == before) Sleep(PROBE_PAUSE_MS);
    }
}

BOOL CALLBACK ProbeWindow(HWND window, LPARAM parameter)
{
    (void)parameter;
    WCHAR text[PROBE_TEXT_CHARS];
    // Window first, then the time: a heartbeat never names an older window.
    monitorState.watchedWindow = window;
    monitorState.heartbeatTick = GetTickCount();
    DeviceGetWindowText(window, text, PROBE_TEXT_CHARS);
    Sleep(PROBE_PAUSE_MS);
    return TRUE;
}

int CheckHeartbeat(HWND window)
{
    DWORD now = GetTickCount();
    DWORD heartbeat = monitorState.heartbeatTick;
    // Unsigned difference: right across the wrap of the tick count.
    DWORD age = now - heartbeat;
    if (age > HEARTBEAT_LIMIT_MS && monitorState.acknowledgedTick != heartbeat)
        PostMessageW(window, WM_COMMAND, IDM_DEAD_WINDOW, 0);
    return 1;
}

int HandleDeadWindowCommand(void)
{
    // Acknowledge first: this hang is reported once, however long it lasts.
    monitorState.acknowledgedTick = monitorState.heartbeatTick;
    SetForegroundWindow(monitorState.mainDialog);
    ReportDeadWindow();
    return 1;
}

int ReportDeadWindow(void)
{
    WCHAR className[REPORT_CLASS_CHARS];
    WCHAR fileName[REPORT_FILE_CHARS];
    WCHAR message[REPORT_MESSAGE_CHARS];
    HWND window = monitorState.watchedWindow;

    // The window may be gone by now: every query that fails leaves an empty text.
    if (GetClassNameW(window, className, REPORT_CLASS_CHARS) <= 0) className[0] = 0;
    className[REPORT_CLASS_CHARS - 1] = 0;

    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    fileName[0] = 0;
    if (processId == 0 || DeviceGetProcessFileName(processId, fileName, REPORT_FILE_CHARS) == 0) fileName[0] = 0;
    fileName[REPORT_FILE_CHARS - 1] = 0;

    // Both names are data from other programs: arguments, never the format.
    swprintf(message, REPORT_MESSAGE_CHARS, DEAD_WINDOW_FORMAT, className, fileName);
    MessageBoxW(monitorState.mainDialog, message, DEAD_WINDOW_TITLE, MB_OK);
    return 1;
}
