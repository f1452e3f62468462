// The device.h operations on desktop Win32 (Windows and Wine).
//
// Each function gives the monitor the handheld device's answer using the
// desktop's own calls: wide export names, lookups by identifier instead of
// by handle, a window-text request that waits for the window's thread.
#include "../platform.h"

FARPROC DeviceGetProcAddress(HMODULE module, LPCWSTR name)
{
    // An ordinal travels in the low word of the pointer on both platforms.
    if (IS_INTRESOURCE(name)) return GetProcAddress(module, (LPCSTR)name);
    // Export names are ASCII; a name with anything else can't match one.
    char narrow[256];
    size_t i = 0;
    for (; name[i] != 0; i++) {
        if (i + 1 >= sizeof narrow || name[i] > 0x7F) return NULL;
        narrow[i] = (char)name[i];
    }
    narrow[i] = 0;
    return GetProcAddress(module, narrow);
}

BOOL DeviceGetThreadTimes(DWORD threadId, FILETIME *creation, FILETIME *exitTime, FILETIME *kernel, FILETIME *user)
{
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
    if (thread == NULL) return FALSE;
    // Into locals first: a failed call must leave the caller's outputs alone.
    FILETIME times[4];
    BOOL ok = GetThreadTimes(thread, &times[0], &times[1], &times[2], &times[3]);
    CloseHandle(thread);
    if (!ok) return FALSE;
    if (creation) *creation = times[0];
    if (exitTime) *exitTime = times[1];
    if (kernel) *kernel = times[2];
    if (user) *user = times[3];
    return TRUE;
}

DWORD DeviceGetProcessFileName(DWORD processId, LPWSTR buffer, DWORD size)
{
    if (buffer == NULL || size == 0) return 0;
    buffer[0] = 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == NULL) return 0;
    DWORD length = size;
    if (!QueryFullProcessImageNameW(process, 0, buffer, &length)) {
        buffer[0] = 0;
        length = 0;
    }
    CloseHandle(process);
    buffer[size - 1] = 0;
    return length;
}

int DeviceGetWindowText(HWND window, LPWSTR buffer, int size)
{
    if (buffer == NULL || size <= 0) return 0;
    buffer[0] = 0;
    // GetWindowTextW would read another process's caption from the desktop's
    // cache and never wait; the device asks the window's own thread, which
    // is what lets a hung thread be noticed.
    LRESULT length = SendMessageW(window, WM_GETTEXT, (WPARAM)size, (LPARAM)buffer);
    if (length < 0) length = 0;
    if (length >= size) length = size - 1;
    buffer[length] = 0;
    return (int)length;
}

BOOL DeviceGetMemoryFigures(ULONGLONG *totalPhys, ULONGLONG *availPhys)
{
    MEMORYSTATUSEX status;
    ZeroMemory(&status, sizeof status);
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return FALSE;
    if (totalPhys) *totalPhys = status.ullTotalPhys;
    if (availPhys) *availPhys = status.ullAvailPhys;
    return TRUE;
}
