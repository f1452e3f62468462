// The alternate taskbar "Halvane" and its helper library "halvaneh", which
// host the icon and its menu instead of the notification area.
#pragma once

#include "../app/monitor_state.h"

// Record handed to the library's icon calls: 84 bytes of little-endian words.
#define HELPER_RECORD_BYTES 84

int IsAlternateTaskbarPresent(void);
int LoadHelperLibrary(void);
int CallCreateTransientIcon(HWND window, void *record, int menuBytes, const WCHAR *menu);
int CallGetSetDelIcon(HWND window, int icon, void *record, int operation);
int CallMtslen(const WCHAR *multiString);
HIMAGELIST MakeIconImageList(void);
int CreateHelperIcon(HWND window);
int UpdateHelperIcon(void);
