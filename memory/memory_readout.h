// Memory readout: program memory and storage in use, in bytes, grouped by
// thousands, two lines in IDC_MEMORY_TEXT.
#pragma once

#include "../app/monitor_state.h"

int UpdateMemoryText(HWND window);
int GroupDigits(WCHAR *text);
