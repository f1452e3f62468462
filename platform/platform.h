// The one header through which the monitor reaches its platform.
//
// On Windows (and under Wine) this is the real Win32 API. On Linux it is the
// emulated device in platform/host/, which declares the same names, types and
// record layouts. Where the old handheld platform and desktop Win32 differ,
// the monitor calls the device.h operations below instead of either side's
// own function, so the difference lives in exactly one place.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#else
#include "host/api/types.h"
#include "host/api/kernel.h"
#include "host/api/user.h"
#include "host/api/gdi.h"
#include "host/api/commctrl.h"
#include "host/api/shell.h"
#include "host/api/toolhelp.h"
#include "host/api/crt.h"
#endif

#include "device.h"
