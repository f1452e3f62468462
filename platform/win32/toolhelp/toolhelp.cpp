// "toolhelp.dll": the device's tool-help library for the desktop.
//
// The device keeps tool-help in a library of its own, with a close function
// of its own; the desktop has the same walks in kernel32. The monitor loads
// "toolhelp" by name and resolves the device's six names, which toolhelp.def
// maps onto the functions here. The records keep the desktop's layout (the
// monitor sizes them with the desktop's sizeof); only the thread's base
// priority is moved onto the device's scale (priority.h).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <tlhelp32.h>

#include "priority.h"

// Device-only flag bits: 0x80000000 asks the device for all modules but would
// make the desktop's handle inheritable; 0x40000000 leaves out heaps.
static const DWORD DeviceOnlyFlags = 0x80000000u | 0x40000000u;

extern "C" {

HANDLE WINAPI AdapterCreateSnapshot(DWORD flags, DWORD processId)
{
    return CreateToolhelp32Snapshot(flags & ~DeviceOnlyFlags, processId);
}

BOOL WINAPI AdapterCloseSnapshot(HANDLE snapshot)
{
    if (snapshot == NULL || snapshot == INVALID_HANDLE_VALUE) return FALSE;
    return CloseHandle(snapshot);
}

BOOL WINAPI AdapterProcessFirst(HANDLE snapshot, PROCESSENTRY32W *entry)
{
    return Process32FirstW(snapshot, entry);
}

BOOL WINAPI AdapterProcessNext(HANDLE snapshot, PROCESSENTRY32W *entry)
{
    return Process32NextW(snapshot, entry);
}

static BOOL OnDeviceScale(BOOL found, THREADENTRY32 *entry)
{
    if (!found) return found;
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry->th32ThreadID);
    int level = THREAD_PRIORITY_ERROR_RETURN;
    if (thread != NULL) {
        level = GetThreadPriority(thread);
        CloseHandle(thread);
    }
    entry->tpBasePri = level != THREAD_PRIORITY_ERROR_RETURN ? DevicePriorityFromLevel(level)
                                                             : DevicePriorityFromBase(entry->tpBasePri);
    return found;
}

BOOL WINAPI AdapterThreadFirst(HANDLE snapshot, THREADENTRY32 *entry)
{
    return OnDeviceScale(Thread32First(snapshot, entry), entry);
}

BOOL WINAPI AdapterThreadNext(HANDLE snapshot, THREADENTRY32 *entry)
{
    return OnDeviceScale(Thread32Next(snapshot, entry), entry);
}

} // extern "C"
