// The handheld device's own answers to the operations of device.h that the
// kernel and window core give (the tool-help ones live with tool-help).

#include "kernel_sched.h"

FARPROC DeviceGetProcAddress(HMODULE module, LPCWSTR name)
{
    return GetProcAddressW(module, name);
}

int DeviceGetWindowText(HWND window, LPWSTR buffer, int size)
{
    // The device's GetWindowTextW already asks the window's own thread.
    return GetWindowTextW(window, buffer, size);
}

BOOL DeviceGetMemoryFigures(ULONGLONG *totalPhys, ULONGLONG *availPhys)
{
    uint64_t total = 0, avail = 0;
    if (!dev::ReadMemoryFigures(&total, &avail)) return FALSE;
    if (totalPhys) *totalPhys = total;
    if (availPhys) *availPhys = avail;
    return TRUE;
}
