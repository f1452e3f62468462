// Taskbar icon: the 16 by 16 mini graph, its place in the notification area
// (or with the "Wexdock" window), and the probe that finds it on the taskbar.
#pragma once

#include "../app/monitor_state.h"

#define ICON_SIZE 16

int RefreshTrayIcon(void);
int FillNotifyIconData(NOTIFYICONDATAW *record);
int AddTrayIcon(void);
int RemoveTrayIcon(void);
HWND FindTaskbar(void);
int ShowTrayIcon(void);
int CreateTrayBitmaps(void);
int ProbeIconLocation(void);
int BuildTrayIcon(void);
