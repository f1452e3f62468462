// MonitorState: the one record of process-wide state. Every field is zero at
// start except gapSum and gapSumMin, which start at 1000 from the program
// image. Each field names the part of the program that owns it.
#pragma once

#include "../platform/platform.h"

// Samples in the load history: one minute at one sample per 300 ms.
#define LOAD_HISTORY_SLOTS 200

struct LoadHistory {
    int samples[LOAD_HISTORY_SLOTS]; // load in percent, 25..99 as delivered; 0 in slots never written
    int nextIndex;                   // slot written next; the newest sample is at (nextIndex + 199) % 200
};

struct ThreadRow; // threads/thread_snapshot.h

// Tool-help entry points, resolved by name from the "toolhelp" library.
typedef HANDLE(WINAPI *CreateSnapshotProc)(DWORD flags, DWORD processId);
typedef BOOL(WINAPI *CloseSnapshotProc)(HANDLE snapshot);
typedef BOOL(WINAPI *ProcessWalkProc)(HANDLE snapshot, PROCESSENTRY32W *entry);
typedef BOOL(WINAPI *ThreadWalkProc)(HANDLE snapshot, THREADENTRY32 *entry);

// Exports of the alternate taskbar's helper library "halvaneh".
typedef int(WINAPI *CreateTransientIconProc)(HWND window, void *record, int menuBytes, const WCHAR *menu);
typedef int(WINAPI *GetSetDelIconProc)(HWND window, int icon, void *record, int operation);
typedef int(WINAPI *MtslenProc)(const WCHAR *multiString);

struct MonitorState {
    // entry and main window
    HINSTANCE instance; // the program's module; every resource load goes through it
    HWND mainDialog;    // the main dialog, set first thing in its WM_INITDIALOG

    // load estimator; unsigned 32-bit arithmetic throughout
    DWORD lastTimerTick; // tick count of the last accepted timer arrival
    DWORD gapSum;        // smoothed sum of arrival gaps (keeps 19/20, adds the new gap)
    DWORD gapSumMin;     // smallest gapSum ever seen; never rises
    DWORD idleGapSum;    // floor subtracted before the percentage; never rises

    // load history and graph
    LoadHistory history;
    DWORD nextSampleTick; // when the next sample is due, on a fixed 300 ms grid
    HBITMAP graphBitmap;  // 200 by 40 picture shown by IDC_GRAPH
    HBRUSH gridBrush;     // 0x00E0A0A0: the icon's frame and grid lines

    // notification icon and probe
    HBITMAP iconColorBitmap; // 16 by 16 picture of the icon
    HBITMAP iconMaskBitmap;  // 16 by 16, all black: the icon is opaque
    HBITMAP taskbarCapture;  // the probe's work area, the taskbar's size at start-up
    HICON trayIcon;          // icon last built (or a probe icon, for a moment)
    HICON spareTrayIcon;     // built icon only we hold (the shell copies what it shows); destroyed at the next build
    int iconX;               // icon's left edge in the taskbar's coordinates, from the probe
    int iconY;               // icon's top edge
    BYTE iconInTray;         // added to the notification area and not deleted since

    // alternate taskbar helper library
    BYTE alternateTaskbar; // a "Halvane" window existed at start-up
    HMODULE helperLibrary; // "halvaneh", loaded on first use
    CreateTransientIconProc createTransientIconEntry;
    GetSetDelIconProc getSetDelIconEntry;
    MtslenProc mtslenEntry;
    int helperIcon; // the create call's result; -1 without the library

    // thread snapshot
    HMODULE toolhelpLibrary; // loaded only while a snapshot is taken
    CreateSnapshotProc createSnapshotEntry;
    CloseSnapshotProc closeSnapshotEntry;
    ProcessWalkProc processFirstEntry;
    ProcessWalkProc processNextEntry;
    ThreadWalkProc threadFirstEntry;
    ThreadWalkProc threadNextEntry;
    ThreadRow *threadRows; // the current table block, rows first then texts; null before the first snapshot
    int threadRowCount;

    // Thread Times dialog
    HWND threadList; // list view of the open (or last) Thread Times dialog

    // watchdog: the watchdog thread writes the first two, whole aligned
    // words read by the main thread without a lock
    HWND volatile watchedWindow;  // window being asked for its text, or asked last
    volatile DWORD heartbeatTick; // tick count taken just before that request
    DWORD acknowledgedTick;       // heartbeat already reported
    HANDLE watchdogThread;        // never closed
};

extern MonitorState monitorState;

// Back to the values of a freshly loaded program image (for tests).
void ResetMonitorState(void);
