// The desktop side of the device.h operations and the tool-help adapter,
// checked against what Windows (or Wine) itself answers.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <tlhelp32.h>
#include <string.h>
#include <wchar.h>

#include "platform/device.h"
#include "platform/win32/toolhelp/priority.h"
#include "check.h"

namespace {

bool EndsWithNoCase(const WCHAR *text, const WCHAR *tail)
{
    size_t length = wcslen(text), tailLength = wcslen(tail);
    return length >= tailLength && _wcsicmp(text + length - tailLength, tail) == 0;
}

// A thread that exists only long enough to hand out its identifier.
DWORD WINAPI ReturnAtOnce(LPVOID) { return 0; }

DWORD EndedThreadId(void)
{
    DWORD id = 0;
    HANDLE thread = CreateThread(NULL, 0, ReturnAtOnce, NULL, 0, &id);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return id;
}

} // namespace

CHECK_CASE(ProcAddressByWideName)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC expected = GetProcAddress(kernel, "GetTickCount");
    FARPROC found = DeviceGetProcAddress(kernel, L"GetTickCount");
    CHECK(found != NULL && found == expected, "got %p, kernel32 says %p", (void *)found, (void *)expected);

    struct { const WCHAR *name; const char *why; } missing[] = {
        {L"GetTickCountX", "no such export"},
        {L"GetTick\x00E7ount", "not ASCII"},
        {L"", "empty"},
    };
    for (auto &c : missing) {
        FARPROC address = DeviceGetProcAddress(kernel, c.name);
        CHECK(address == NULL, "%s: got %p", c.why, (void *)address);
    }
    WCHAR longName[400];
    for (int i = 0; i < 399; i++)
        longName[i] = L'A';
    longName[399] = 0;
    CHECK(DeviceGetProcAddress(kernel, longName) == NULL, "a name longer than any export resolved");
}

CHECK_CASE(ThreadTimesByIdentifier)
{
    // Spend some user time so that there is something to read.
    volatile unsigned sink = 0;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 200)
        for (int i = 0; i < 100000; i++)
            sink = sink + i;

    FILETIME times[4];
    memset(times, 0xAA, sizeof times);
    BOOL ok = DeviceGetThreadTimes(GetCurrentThreadId(), &times[0], &times[1], &times[2], &times[3]);
    ULONGLONG user = ((ULONGLONG)times[3].dwHighDateTime << 32) | times[3].dwLowDateTime;
    CHECK(ok, "own thread: failed, error %lu", GetLastError());
    CHECK(user > 0 && user < 10000000000ull, "own thread's user time %llu", user);

    FILETIME reference[4];
    GetThreadTimes(GetCurrentThread(), &reference[0], &reference[1], &reference[2], &reference[3]);
    CHECK(memcmp(&reference[0], &times[0], sizeof(FILETIME)) == 0, "creation time differs from the handle's");

    memset(times, 0xAA, sizeof times);
    DWORD ended = EndedThreadId();
    ok = DeviceGetThreadTimes(ended, &times[0], &times[1], &times[2], &times[3]);
    const unsigned char *bytes = (const unsigned char *)times;
    bool untouched = true;
    for (size_t i = 0; i < sizeof times; i++)
        untouched = untouched && bytes[i] == 0xAA;
    CHECK(!ok, "ended thread %lu: succeeded", ended);
    CHECK(untouched, "ended thread: outputs were written on failure");
}

CHECK_CASE(ProcessFileNameByIdentifier)
{
    WCHAR own[MAX_PATH];
    GetModuleFileNameW(NULL, own, MAX_PATH);
    WCHAR path[MAX_PATH];
    memset(path, 0xAA, sizeof path);
    DWORD length = DeviceGetProcessFileName(GetCurrentProcessId(), path, MAX_PATH);
    CHECK(length == wcslen(own) && _wcsicmp(path, own) == 0, "got %lu \"%ls\", module says \"%ls\"",
          length, path, own);

    memset(path, 0xAA, sizeof path);
    length = DeviceGetProcessFileName(GetCurrentProcessId(), path, 5);
    CHECK(wcslen(path) < 5, "5-unit buffer not terminated inside: %u units", (unsigned)wcsnlen(path, MAX_PATH));

    // Process identifiers are multiples of four: this one is never a process.
    memset(path, 0xAA, sizeof path);
    length = DeviceGetProcessFileName(0xFFFFFFF1u, path, MAX_PATH);
    CHECK(length == 0 && path[0] == 0, "no process: got %lu, first unit 0x%04x", length, path[0]);
}

CHECK_CASE(MemoryFigures)
{
    ULONGLONG total = 0, available = 0;
    BOOL ok = DeviceGetMemoryFigures(&total, &available);
    CHECK(ok, "failed");
    CHECK(total >= (64ull << 20), "total %llu", total);
    CHECK(available > 0 && available <= total, "available %llu of %llu", available, total);
}

// The window-text request waits for a hung window's own thread, also in
// another process, where the desktop's GetWindowTextW answers from its cache.
CHECK_CASE(WindowTextWaitsForHungWindowOfAnotherProcess)
{
    WCHAR program[MAX_PATH];
    GetModuleFileNameW(NULL, program, MAX_PATH);
    WCHAR *slash = wcsrchr(program, L'\\');
    wcscpy(slash ? slash + 1 : program, L"hungwin.exe");
    WCHAR commandLine[MAX_PATH + 64];
    swprintf(commandLine, MAX_PATH + 64, L"\"%ls\" -t \"Layer Text Window\" -f 3", program);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    CHECK(started, "can't start %ls: error %lu", program, GetLastError());
    if (!started)
        return;
    WaitForInputIdle(process.hProcess, 10000);
    HWND window = NULL;
    for (int i = 0; i < 200 && window == NULL; i++) {
        window = FindWindowW(L"HungWindowTest", L"Layer Text Window");
        if (window == NULL)
            Sleep(50);
    }
    CHECK(window != NULL, "hungwin's window never appeared");
    if (window == NULL) {
        TerminateProcess(process.hProcess, 1);
        return;
    }

    WCHAR text[64];
    memset(text, 0xAA, sizeof text);
    int length = DeviceGetWindowText(window, text, 64);
    CHECK(length == 17 && wcscmp(text, L"Layer Text Window") == 0, "answering: got %d \"%ls\"", length, text);
    memset(text, 0xAA, sizeof text);
    length = DeviceGetWindowText(window, text, 6);
    CHECK(length == 5 && wcscmp(text, L"Layer") == 0, "6-unit buffer: got %d \"%ls\"", length, text);

    PostMessageW(window, WM_COMMAND, 101, 0); // hang for 3 seconds
    Sleep(300);
    DWORD before = GetTickCount();
    GetWindowTextW(window, text, 64);
    DWORD cached = GetTickCount() - before;
    before = GetTickCount();
    memset(text, 0xAA, sizeof text);
    length = DeviceGetWindowText(window, text, 64);
    DWORD waited = GetTickCount() - before;
    CHECK(cached < 500, "the desktop's GetWindowTextW took %lu ms", cached);
    CHECK(waited >= 2000, "returned after %lu ms while the window's thread was hung", waited);
    CHECK(length == 17 && wcscmp(text, L"Layer Text Window") == 0, "after the hang: got %d \"%ls\"", length, text);

    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = 99;
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 98);
    GetExitCodeProcess(process.hProcess, &code);
    CHECK(code == 0, "hungwin's exit code %lu", code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

CHECK_CASE(PriorityRules)
{
    struct { int level; long device; } levels[] = {
        {THREAD_PRIORITY_TIME_CRITICAL, 0}, {31, 0}, {14, 1}, {6, 1}, {3, 1},
        {THREAD_PRIORITY_HIGHEST, 1}, {THREAD_PRIORITY_ABOVE_NORMAL, 2}, {THREAD_PRIORITY_NORMAL, 3},
        {THREAD_PRIORITY_BELOW_NORMAL, 4}, {THREAD_PRIORITY_LOWEST, 5}, {-3, 6}, {-7, 6}, {-14, 6},
        {THREAD_PRIORITY_IDLE, 7}, {-31, 7},
    };
    for (auto &c : levels) {
        long device = DevicePriorityFromLevel(c.level);
        CHECK(device == c.device, "level %d: got %ld, want %ld", c.level, device, c.device);
    }
    struct { long base; long device; } bases[] = {
        {31, 0}, {16, 0}, {15, 0}, {14, 1}, {13, 1}, {10, 1}, {9, 2}, {8, 3},
        {7, 4}, {6, 5}, {5, 6}, {4, 6}, {2, 6}, {1, 7}, {0, 7}, {-3, 7},
    };
    for (auto &c : bases) {
        long device = DevicePriorityFromBase(c.base);
        CHECK(device == c.device, "base %ld: got %ld, want %ld", c.base, device, c.device);
    }
}

namespace {

struct Toolhelp {
    HMODULE library;
    HANDLE(WINAPI *create)(DWORD, DWORD);
    BOOL(WINAPI *close)(HANDLE);
    BOOL(WINAPI *processFirst)(HANDLE, PROCESSENTRY32W *);
    BOOL(WINAPI *processNext)(HANDLE, PROCESSENTRY32W *);
    BOOL(WINAPI *threadFirst)(HANDLE, THREADENTRY32 *);
    BOOL(WINAPI *threadNext)(HANDLE, THREADENTRY32 *);
};

template <typename Entry> void Resolve(HMODULE library, const WCHAR *name, Entry *entry)
{
    *entry = (Entry)(void *)DeviceGetProcAddress(library, name);
}

bool LoadAdapter(Toolhelp *t)
{
    // By the bare name, as the monitor asks for it: found next to the program.
    t->library = LoadLibraryW(L"toolhelp");
    CHECK(t->library != NULL, "LoadLibraryW(\"toolhelp\"): error %lu", GetLastError());
    if (t->library == NULL)
        return false;
    Resolve(t->library, L"CreateToolhelp32Snapshot", &t->create);
    Resolve(t->library, L"CloseToolhelp32Snapshot", &t->close);
    Resolve(t->library, L"Process32First", &t->processFirst);
    Resolve(t->library, L"Process32Next", &t->processNext);
    Resolve(t->library, L"Thread32First", &t->threadFirst);
    Resolve(t->library, L"Thread32Next", &t->threadNext);
    bool all = t->create && t->close && t->processFirst && t->processNext && t->threadFirst && t->threadNext;
    CHECK(all, "entry points %p %p %p %p %p %p", (void *)t->create, (void *)t->close, (void *)t->processFirst,
          (void *)t->processNext, (void *)t->threadFirst, (void *)t->threadNext);
    WCHAR path[MAX_PATH] = L"";
    GetModuleFileNameW(t->library, path, MAX_PATH);
    CHECK(EndsWithNoCase(path, L"\\toolhelp.dll"), "loaded from \"%ls\"", path);
    if (!all)
        FreeLibrary(t->library);
    return all;
}

// The adapter's base priority of one thread, or -100 when the walk misses it.
long AdapterPriorityOf(const Toolhelp &t, DWORD threadId)
{
    HANDLE snapshot = t.create(0x80000006, 0);
    long found = -100;
    THREADENTRY32 entry;
    memset(&entry, 0xAA, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = t.threadFirst(snapshot, &entry); more; more = t.threadNext(snapshot, &entry))
        if (entry.th32ThreadID == threadId)
            found = entry.tpBasePri;
    t.close(snapshot);
    return found;
}

HANDLE parked;
DWORD WINAPI WaitParked(LPVOID) { return WaitForSingleObject(parked, INFINITE); }

} // namespace

CHECK_CASE(ToolhelpAdapterWalks)
{
    Toolhelp t;
    if (!LoadAdapter(&t))
        return;
    HANDLE snapshot = t.create(0x80000006, 0);
    CHECK(snapshot != INVALID_HANDLE_VALUE, "snapshot failed: error %lu", GetLastError());
    DWORD handleFlags = 0xAAAAAAAA;
    GetHandleInformation(snapshot, &handleFlags);
    CHECK((handleFlags & HANDLE_FLAG_INHERIT) == 0, "the device's all-modules bit made the handle inheritable");

    PROCESSENTRY32W process;
    memset(&process, 0xAA, sizeof process);
    process.dwSize = sizeof process;
    int processes = 0;
    bool foundSelf = false;
    for (BOOL more = t.processFirst(snapshot, &process); more; more = t.processNext(snapshot, &process)) {
        processes++;
        if (process.th32ProcessID == GetCurrentProcessId()) {
            foundSelf = true;
            CHECK(EndsWithNoCase(process.szExeFile, L"win32_tests.exe"), "own process named \"%ls\"",
                  process.szExeFile);
        }
    }
    CHECK(processes >= 2, "%d processes", processes);
    CHECK(foundSelf, "own process %lu not in the walk", GetCurrentProcessId());

    THREADENTRY32 thread;
    memset(&thread, 0xAA, sizeof thread);
    thread.dwSize = sizeof thread;
    int threads = 0, outOfScale = 0;
    bool foundOwnThread = false;
    for (BOOL more = t.threadFirst(snapshot, &thread); more; more = t.threadNext(snapshot, &thread)) {
        threads++;
        if (thread.tpBasePri < 0 || thread.tpBasePri > 7)
            outOfScale++;
        if (thread.th32ThreadID == GetCurrentThreadId()) {
            foundOwnThread = true;
            CHECK(thread.th32OwnerProcessID == GetCurrentProcessId(), "own thread owned by %lu",
                  thread.th32OwnerProcessID);
            CHECK(thread.tpBasePri == 3, "own normal thread at device level %ld", thread.tpBasePri);
        }
    }
    CHECK(threads >= processes, "%d threads for %d processes", threads, processes);
    CHECK(outOfScale == 0, "%d threads outside the device scale", outOfScale);
    CHECK(foundOwnThread, "own thread %lu not in the walk", GetCurrentThreadId());
    CHECK(t.close(snapshot), "close failed");
    CHECK(!t.close(INVALID_HANDLE_VALUE), "closing no snapshot succeeded");
    FreeLibrary(t.library);
}

// Every thread level the desktop can set, seen through the adapter.
CHECK_CASE(ToolhelpAdapterPriorities)
{
    Toolhelp t;
    if (!LoadAdapter(&t))
        return;
    parked = CreateEventW(NULL, TRUE, FALSE, NULL);
    DWORD id = 0;
    HANDLE worker = CreateThread(NULL, 0, WaitParked, NULL, 0, &id);
    struct { int level; const char *name; long device; } table[] = {
        {THREAD_PRIORITY_TIME_CRITICAL, "time critical", 0},
        {THREAD_PRIORITY_HIGHEST, "highest", 1},
        {THREAD_PRIORITY_ABOVE_NORMAL, "above normal", 2},
        {THREAD_PRIORITY_NORMAL, "normal", 3},
        {THREAD_PRIORITY_BELOW_NORMAL, "below normal", 4},
        {THREAD_PRIORITY_LOWEST, "lowest", 5},
        {THREAD_PRIORITY_IDLE, "idle", 7},
    };
    for (auto &c : table) {
        BOOL set = SetThreadPriority(worker, c.level);
        long device = AdapterPriorityOf(t, id);
        CHECK(set && device == c.device, "%s: set %d, adapter says %ld, want %ld", c.name, set, device, c.device);
    }
    SetEvent(parked);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    CloseHandle(parked);
    FreeLibrary(t.library);
}
