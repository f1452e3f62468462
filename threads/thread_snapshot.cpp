// Thread snapshot: every process and thread of the system, read through the
// "toolhelp" library, turned into one block: the rows first, then the owner
// names they point to. The library is loaded for one snapshot at a time.
//
// Each list is walked twice, once to count and once to copy, so that every
// piece of storage is taken once at its final size. A snapshot that can't
// get its storage gives up whole and leaves the previous table in place.
//
// Rows whose owner is not in the process list (it ended between the two
// walks) get an empty owner name; rows whose times can't be read get 0.
#include "thread_snapshot.h"

#include <string.h>

// Whole system (the device's bit 0x80000000, unnamed on the desktop),
// processes and threads.
#define SNAPSHOT_ALL_PROCESSES 0x80000000
#define SNAPSHOT_FLAGS (SNAPSHOT_ALL_PROCESSES | TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD)
// 100-nanosecond units in a tenth of a second.
#define UNITS_PER_TENTH 1000000ULL
// Spare characters after the last owner name.
#define TEXT_STORE_SPARE 2

static const WCHAR *const priorityNames[] = {
    TEXT("Critical"), TEXT("Highest"), TEXT("Above"),   TEXT("Normal"),
    TEXT("Below"),    TEXT("Lowest"),  TEXT("Unknown"), TEXT("Idle"),
};
static const WCHAR unknownPriority[] = TEXT("Unknown");
static const WCHAR noOwner[] = TEXT("");

// Entry points come back as FARPROC; the plain function type in between
// keeps the compiler from warning about the cast to the real signature.
typedef void (*AnyProc)(void);

static FARPROC Resolve(const WCHAR *name)
{
    return DeviceGetProcAddress(monitorState.toolhelpLibrary, name);
}

int LoadToolhelp(void)
{
    MonitorState &s = monitorState;
    if (s.toolhelpLibrary) return 1;
    s.toolhelpLibrary = LoadLibraryW(TEXT("toolhelp"));
    if (!s.toolhelpLibrary) return 0;
    s.createSnapshotEntry = (CreateSnapshotProc)(AnyProc)Resolve(TEXT("CreateToolhelp32Snapshot"));
    s.closeSnapshotEntry = (CloseSnapshotProc)(AnyProc)Resolve(TEXT("CloseToolhelp32Snapshot"));
    s.processFirstEntry = (ProcessWalkProc)(AnyProc)Resolve(TEXT("Process32First"));
    s.processNextEntry = (ProcessWalkProc)(AnyProc)Resolve(TEXT("Process32Next"));
    s.threadFirstEntry = (ThreadWalkProc)(AnyProc)Resolve(TEXT("Thread32First"));
    s.threadNextEntry = (ThreadWalkProc)(AnyProc)Resolve(TEXT("Thread32Next"));
    if (s.createSnapshotEntry && s.closeSnapshotEntry && s.processFirstEntry && s.processNextEntry &&
        s.threadFirstEntry && s.threadNextEntry)
        return 1;
    UnloadToolhelp();
    return 0;
}

int UnloadToolhelp(void)
{
    MonitorState &s = monitorState;
    if (s.toolhelpLibrary) FreeLibrary(s.toolhelpLibrary);
    s.toolhelpLibrary = NULL;
    // The entry points went with the library.
    s.createSnapshotEntry = NULL;
    s.closeSnapshotEntry = NULL;
    s.processFirstEntry = NULL;
    s.processNextEntry = NULL;
    s.threadFirstEntry = NULL;
    s.threadNextEntry = NULL;
    return 1;
}

HANDLE CallCreateSnapshot(DWORD flags, DWORD processId)
{
    return monitorState.createSnapshotEntry(flags, processId);
}

BOOL CallCloseSnapshot(HANDLE snapshot)
{
    return monitorState.closeSnapshotEntry(snapshot);
}

BOOL CallProcessFirst(HANDLE snapshot, PROCESSENTRY32W *entry)
{
    return monitorState.processFirstEntry(snapshot, entry);
}

BOOL CallProcessNext(HANDLE snapshot, PROCESSENTRY32W *entry)
{
    return monitorState.processNextEntry(snapshot, entry);
}

BOOL CallThreadFirst(HANDLE snapshot, THREADENTRY32 *entry)
{
    return monitorState.threadFirstEntry(snapshot, entry);
}

BOOL CallThreadNext(HANDLE snapshot, THREADENTRY32 *entry)
{
    return monitorState.threadNextEntry(snapshot, entry);
}

const WCHAR *GetFileNamePart(const WCHAR *path)
{
    const WCHAR *part = path;
    const WCHAR *slash = wcschr(part, TEXT('\\'));
    while (slash) {
        part = slash + 1;
        slash = wcschr(part, TEXT('\\'));
    }
    return part;
}

const WCHAR *PriorityName(LONG basePriority)
{
    if (basePriority < 0 || basePriority >= (LONG)(sizeof(priorityNames) / sizeof(priorityNames[0])))
        return unknownPriority;
    return priorityNames[basePriority];
}

// Storage for count records, or null when count is 0 or none is to be had.
static void *TakeStorage(size_t bytes)
{
    if (bytes == 0) return NULL;
    return VirtualAlloc(NULL, bytes, MEM_COMMIT, PAGE_READWRITE);
}

static void ReleaseStorage(void *block)
{
    if (block) VirtualFree(block, 0, MEM_RELEASE);
}

// The count pass, the storage, then the copy pass; false when storage failed.
static bool CopyProcesses(HANDLE snapshot, PROCESSENTRY32W **list, int *count)
{
    PROCESSENTRY32W entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    int total = 0;
    for (BOOL more = CallProcessFirst(snapshot, &entry); more; more = CallProcessNext(snapshot, &entry))
        total++;
    *list = (PROCESSENTRY32W *)TakeStorage(total * sizeof(PROCESSENTRY32W));
    *count = 0;
    if (total > 0 && !*list) return false;
    entry.dwSize = sizeof(entry);
    for (BOOL more = CallProcessFirst(snapshot, &entry); more && *count < total;
         more = CallProcessNext(snapshot, &entry))
        (*list)[(*count)++] = entry;
    return true;
}

static bool CopyThreads(HANDLE snapshot, THREADENTRY32 **list, int *count)
{
    THREADENTRY32 entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    int total = 0;
    for (BOOL more = CallThreadFirst(snapshot, &entry); more; more = CallThreadNext(snapshot, &entry))
        total++;
    *list = (THREADENTRY32 *)TakeStorage(total * sizeof(THREADENTRY32));
    *count = 0;
    if (total > 0 && !*list) return false;
    entry.dwSize = sizeof(entry);
    for (BOOL more = CallThreadFirst(snapshot, &entry); more && *count < total; more = CallThreadNext(snapshot, &entry))
        (*list)[(*count)++] = entry;
    return true;
}

// The first process in walk order with the thread's owner id, or null.
static const PROCESSENTRY32W *FindOwner(const PROCESSENTRY32W *processes, int processCount, const THREADENTRY32 *thread)
{
    for (int i = 0; i < processCount; i++) {
        if (processes[i].th32ProcessID == thread->th32OwnerProcessID) return &processes[i];
    }
    return NULL;
}

// Length of an owner's name; a name that fills its field without a
// terminator is cut at the field's end.
static size_t OwnerNameLength(const PROCESSENTRY32W *owner)
{
    if (!owner) return 0;
    const size_t limit = sizeof(owner->szExeFile) / sizeof(owner->szExeFile[0]);
    size_t length = 0;
    while (length < limit && owner->szExeFile[length])
        length++;
    return length;
}

static DWORD UserTenths(DWORD threadId)
{
    FILETIME creation, exitTime, kernel, user;
    memset(&user, 0, sizeof(user));
    // A thread that ended since the walk has no times: it shows 0.
    if (!DeviceGetThreadTimes(threadId, &creation, &exitTime, &kernel, &user)) return 0;
    ULONGLONG units = ((ULONGLONG)user.dwHighDateTime << 32) | user.dwLowDateTime;
    return (DWORD)(units / UNITS_PER_TENTH);
}

int SnapshotThreads(void)
{
    if (!LoadToolhelp()) return 0;
    HANDLE snapshot = CallCreateSnapshot(SNAPSHOT_FLAGS, 0);

    PROCESSENTRY32W *processes = NULL;
    THREADENTRY32 *threads = NULL;
    int processCount = 0;
    int threadCount = 0;
    ThreadRow *table = NULL;
    size_t rowSlots = 0;
    bool stored = CopyProcesses(snapshot, &processes, &processCount) && CopyThreads(snapshot, &threads, &threadCount);

    if (stored) {
        size_t textChars = TEXT_STORE_SPARE;
        for (int i = 0; i < threadCount; i++)
            textChars += OwnerNameLength(FindOwner(processes, processCount, &threads[i])) + 1;
        // Rows for every thread; never fewer than the table always had.
        rowSlots = threadCount > THREAD_ROW_SLOTS ? (size_t)threadCount : THREAD_ROW_SLOTS;
        table = (ThreadRow *)TakeStorage(rowSlots * sizeof(ThreadRow) + textChars * sizeof(WCHAR));
        stored = table != NULL;
    }

    if (stored) {
        ReleaseStorage(monitorState.threadRows);
        monitorState.threadRows = table;
        WCHAR *cursor = (WCHAR *)(table + rowSlots);
        for (int i = 0; i < threadCount; i++) {
            const PROCESSENTRY32W *owner = FindOwner(processes, processCount, &threads[i]);
            size_t length = OwnerNameLength(owner);
            ThreadRow &row = table[i];
            row.ownerName = cursor;
            memcpy(cursor, owner ? owner->szExeFile : noOwner, length * sizeof(WCHAR));
            cursor[length] = 0;
            cursor += length + 1;
            row.userTenths = UserTenths(threads[i].th32ThreadID);
            row.priorityName = PriorityName(threads[i].tpBasePri);
            row.threadId = threads[i].th32ThreadID;
        }
        monitorState.threadRowCount = threadCount;
    }

    CallCloseSnapshot(snapshot);
    UnloadToolhelp();
    ReleaseStorage(threads);
    ReleaseStorage(processes);
    return stored ? 1 : 0;
}
