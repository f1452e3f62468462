// The main dialog: the hub that builds every part at start-up and drives
// the periodic work from its two timers.
#pragma once

#include "monitor_state.h"

// Version classes decided once at start-up.
#define OS_CLASS_OLDER 0
#define OS_CLASS_2_11 1
#define OS_CLASS_3_0 2

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int CheckOsVersion(void);
