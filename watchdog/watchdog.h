// Hung-window watchdog: a background thread asks every top-level window for
// its text; the main thread checks the heartbeat once a second.
#pragma once

#include "../app/monitor_state.h"

// A heartbeat older than this many milliseconds is a stall.
#define HEARTBEAT_LIMIT_MS 1000

int StartWatchdog(void);
DWORD WINAPI WatchdogThreadMain(LPVOID parameter);
BOOL CALLBACK ProbeWindow(HWND window, LPARAM parameter);
int CheckHeartbeat(HWND window);
int HandleDeadWindowCommand(void);
int ReportDeadWindow(void);
