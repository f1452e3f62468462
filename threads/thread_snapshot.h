// Thread snapshot: every process and thread of the system, through the
// "toolhelp" library, into one block of rows followed by their texts.
#pragma once

#include "../app/monitor_state.h"

// Rows the original table had room for; the table is now sized from the
// thread count, this is only its smallest size.
#define THREAD_ROW_SLOTS 128

struct ThreadRow {
    const WCHAR *priorityName; // static text from the priority-name table
    WCHAR *ownerName;          // copy of the owner's szExeFile in the table's text store
    DWORD userTenths;          // user time in tenths of a second, truncated
    DWORD threadId;
};

int LoadToolhelp(void);
int UnloadToolhelp(void);
HANDLE CallCreateSnapshot(DWORD flags, DWORD processId);
BOOL CallCloseSnapshot(HANDLE snapshot);
BOOL CallProcessFirst(HANDLE snapshot, PROCESSENTRY32W *entry);
BOOL CallProcessNext(HANDLE snapshot, PROCESSENTRY32W *entry);
BOOL CallThreadFirst(HANDLE snapshot, THREADENTRY32 *entry);
BOOL CallThreadNext(HANDLE snapshot, THREADENTRY32 *entry);
int SnapshotThreads(void);
const WCHAR *GetFileNamePart(const WCHAR *path);
const WCHAR *PriorityName(LONG basePriority);
