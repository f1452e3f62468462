// Taskbar icon: the 16 by 16 mini graph, its place in the notification area
// (or with the "Wexdock" window), and the probe that finds it on the taskbar.
#pragma once

#include "../app/monitor_state.h"

#define ICON_SIZE 16

// The last built icon while no one but this program holds it (the shell keeps
// copies of what it is given): destroyed when the next one is built. Null
// once it went to the "Wexdock" window, which keeps it, or was destroyed.
// Tests set it to null along with ResetMonitorState.
extern HICON spareTrayIcon;

int RefreshTrayIcon(void);
int FillNotifyIconData(NOTIFYICONDATAW *record);
int AddTrayIcon(void);
int RemoveTrayIcon(void);
HWND FindTaskbar(void);
int ShowTrayIcon(void);
int CreateTrayBitmaps(void);
int ProbeIconLocation(void);
int BuildTrayIcon(void);
