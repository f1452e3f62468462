// The desktop side of the device.h operations the monitor calls, and the
// tool-help adapter, checked against what Windows (or Wine) itself answers.
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

DWORD WINAPI ReturnAtOnce(LPVOID)
{
    return 0;
}

HANDLE parked;
DWORD WINAPI WaitParked(LPVOID)
{
    return WaitForSingleObject(parked, INFINITE);
}

} // namespace

CHECK_CASE(ProcAddressByWideName)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC expected = GetProcAddress(kernel, "GetTickCount");
    FARPROC found = DeviceGetProcAddress(kernel, L"GetTickCount");
    CHECK(found != NULL && found == expected, "got %p, kernel32 says %p", (void *)found, (void *)expected);
    found = DeviceGetProcAddress(kernel, L"GetTick\x00E7ount");
    CHECK(found == NULL, "a name that isn't ASCII resolved to %p", (void *)found);
    WCHAR longName[400] = {};
    wmemset(longName, L'A', 399);
    CHECK(DeviceGetProcAddress(kernel, longName) == NULL, "a name longer than any export resolved");
}

CHECK_CASE(ThreadTimesByIdentifier)
{
    volatile unsigned sink = 0; // some user time to read
    for (DWORD start = GetTickCount(); GetTickCount() - start < 200;)
        for (int i = 0; i < 100000; i++)
            sink = sink + i;
    FILETIME times[4], reference[4];
    memset(times, 0xAA, sizeof times);
    BOOL ok = DeviceGetThreadTimes(GetCurrentThreadId(), &times[0], &times[1], &times[2], &times[3]);
    ULONGLONG user = ((ULONGLONG)times[3].dwHighDateTime << 32) | times[3].dwLowDateTime;
    CHECK(ok && user > 0 && user < 10000000000ull, "own thread: ok %d, user time %llu", ok, user);
    GetThreadTimes(GetCurrentThread(), &reference[0], &reference[1], &reference[2], &reference[3]);
    CHECK(memcmp(&reference[0], &times[0], sizeof(FILETIME)) == 0, "creation time differs from the handle's");

    DWORD ended = 0;
    HANDLE thread = CreateThread(NULL, 0, ReturnAtOnce, NULL, 0, &ended);
    WaitForSingleObject(thread, INFINITE), CloseHandle(thread);
    memset(times, 0xAA, sizeof times);
    ok = DeviceGetThreadTimes(ended, &times[0], &times[1], &times[2], &times[3]);
    size_t untouched = 0;
    while (untouched < sizeof times && ((const unsigned char *)times)[untouched] == 0xAA)
        untouched++;
    CHECK(!ok && untouched == sizeof times, "ended thread: ok %d, first byte written at %u", ok, (unsigned)untouched);
}

CHECK_CASE(ProcessFileNameAndMemory)
{
    WCHAR own[MAX_PATH], path[MAX_PATH];
    GetModuleFileNameW(NULL, own, MAX_PATH);
    memset(path, 0xAA, sizeof path);
    DWORD length = DeviceGetProcessFileName(GetCurrentProcessId(), path, MAX_PATH);
    CHECK(length == wcslen(own) && _wcsicmp(path, own) == 0, "got %lu \"%ls\", module says \"%ls\"", length, path, own);
    memset(path, 0xAA, sizeof path);
    DeviceGetProcessFileName(GetCurrentProcessId(), path, 5);
    CHECK(wcsnlen(path, MAX_PATH) < 5, "5-unit buffer not terminated inside: %u units",
          (unsigned)wcsnlen(path, MAX_PATH));
    memset(path, 0xAA, sizeof path);
    length = DeviceGetProcessFileName(0xFFFFFFF1u, path, MAX_PATH); // never a process: not a multiple of 4
    CHECK(length == 0 && path[0] == 0, "no process: got %lu, first unit 0x%04x", length, path[0]);

    ULONGLONG total = 0, available = 0;
    BOOL ok = DeviceGetMemoryFigures(&total, &available);
    CHECK(ok && total >= (64ull << 20) && available > 0 && available <= total, "ok %d, available %llu of %llu", ok,
          available, total);
}

// The window-text request waits for a hung window's own thread, also in
// another process, where the desktop's GetWindowTextW answers from its cache.
CHECK_CASE(WindowTextWaitsForHungWindowOfAnotherProcess)
{
    WCHAR program[MAX_PATH], commandLine[MAX_PATH + 64];
    GetModuleFileNameW(NULL, program, MAX_PATH);
    WCHAR *slash = wcsrchr(program, L'\\');
    wcscpy(slash ? slash + 1 : program, L"hungwin.exe");
    swprintf(commandLine, MAX_PATH + 64, L"\"%ls\" -t \"Layer Text Window\" -f 3", program);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    CHECK(started, "can't start %ls: error %lu", program, GetLastError());
    if (!started) return;
    WaitForInputIdle(process.hProcess, 10000);
    HWND window = NULL;
    for (int i = 0; i < 200 && (window = FindWindowW(L"HungWindowTest", L"Layer Text Window")) == NULL; i++)
        Sleep(50);
    CHECK(window != NULL, "hungwin's window never appeared");
    if (window == NULL) {
        TerminateProcess(process.hProcess, 1);
        return;
    }

    WCHAR text[64];
    memset(text, 0xAA, sizeof text);
    int length = DeviceGetWindowText(window, text, 6);
    CHECK(length == 5 && wcscmp(text, L"Layer") == 0, "6-unit buffer: got %d \"%.5ls\"", length, text);

    PostMessageW(window, WM_COMMAND, 101, 0); // hang for 3 seconds
    Sleep(300);
    DWORD before = GetTickCount();
    memset(text, 0xAA, sizeof text);
    length = DeviceGetWindowText(window, text, 64);
    DWORD waited = GetTickCount() - before;
    CHECK(waited >= 2000, "returned after %lu ms while the window's thread was hung", waited);
    CHECK(length == 17 && wcscmp(text, L"Layer Text Window") == 0, "after the hang: got %d \"%.17ls\"", length, text);

    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = 99;
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 98);
    GetExitCodeProcess(process.hProcess, &code);
    CHECK(code == 0, "hungwin's exit code %lu", code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// Threads of other processes can't be opened: the adapter falls back to their
// base priority. Each step of the device scale, at both of its ends.
CHECK_CASE(PriorityFromBase)
{
    long bases[][2] = {{16, 0}, {15, 0}, {14, 1}, {10, 1}, {9, 2}, {8, 3},
                       {7, 4},  {6, 5},  {5, 6},  {2, 6},  {1, 7}, {-3, 7}};
    for (auto &c : bases)
        CHECK(DevicePriorityFromBase(c[0]) == c[1], "base %ld: got %ld, want %ld", c[0], DevicePriorityFromBase(c[0]),
              c[1]);
}

namespace {

struct Toolhelp {
    HMODULE library;
    HANDLE(WINAPI *create)(DWORD, DWORD);
    BOOL(WINAPI *close)(HANDLE);
    BOOL(WINAPI *processFirst)(HANDLE, PROCESSENTRY32W *), (WINAPI * processNext)(HANDLE, PROCESSENTRY32W *);
    BOOL(WINAPI *threadFirst)(HANDLE, THREADENTRY32 *), (WINAPI * threadNext)(HANDLE, THREADENTRY32 *);
};

bool LoadAdapter(Toolhelp *t)
{
    // By the bare name, as the monitor asks for it: found next to the program.
    t->library = LoadLibraryW(L"toolhelp");
    CHECK(t->library != NULL, "LoadLibraryW(\"toolhelp\"): error %lu", GetLastError());
    if (t->library == NULL) return false;
#define RESOLVE(field, name) t->field = (decltype(t->field))(void *)DeviceGetProcAddress(t->library, name)
    RESOLVE(create, L"CreateToolhelp32Snapshot");
    RESOLVE(close, L"CloseToolhelp32Snapshot");
    RESOLVE(processFirst, L"Process32First");
    RESOLVE(processNext, L"Process32Next");
    RESOLVE(threadFirst, L"Thread32First");
    RESOLVE(threadNext, L"Thread32Next");
#undef RESOLVE
    bool all = t->create && t->close && t->processFirst && t->processNext && t->threadFirst && t->threadNext;
    CHECK(all, "entry points %p %p %p %p %p %p", (void *)t->create, (void *)t->close, (void *)t->processFirst,
          (void *)t->processNext, (void *)t->threadFirst, (void *)t->threadNext);
    if (!all) FreeLibrary(t->library);
    return all;
}

} // namespace

CHECK_CASE(ToolhelpAdapterWalks)
{
    Toolhelp t;
    if (!LoadAdapter(&t)) return;
    HANDLE snapshot = t.create(0x80000006, 0);
    DWORD handleFlags = 0xAAAAAAAA;
    GetHandleInformation(snapshot, &handleFlags);
    CHECK(snapshot != INVALID_HANDLE_VALUE && (handleFlags & HANDLE_FLAG_INHERIT) == 0,
          "snapshot %p, handle flags 0x%lx (the device's all-modules bit must not make it inheritable)", snapshot,
          handleFlags);

    PROCESSENTRY32W process;
    memset(&process, 0xAA, sizeof process);
    process.dwSize = sizeof process;
    int processes = 0, self = 0;
    for (BOOL more = t.processFirst(snapshot, &process); more; more = t.processNext(snapshot, &process), processes++)
        if (process.th32ProcessID == GetCurrentProcessId())
            self += EndsWithNoCase(process.szExeFile, L"win32_tests.exe") ? 1 : 100;
    CHECK(processes >= 2 && self == 1, "%d processes, own process found named right %d times", processes, self);

    THREADENTRY32 thread;
    memset(&thread, 0xAA, sizeof thread);
    thread.dwSize = sizeof thread;
    int threads = 0, outOfScale = 0, own = 0;
    for (BOOL more = t.threadFirst(snapshot, &thread); more; more = t.threadNext(snapshot, &thread), threads++) {
        outOfScale += thread.tpBasePri < 0 || thread.tpBasePri > 7;
        if (thread.th32ThreadID == GetCurrentThreadId())
            own += thread.th32OwnerProcessID == GetCurrentProcessId() && thread.tpBasePri == 3 ? 1 : 100;
    }
    CHECK(threads >= processes && outOfScale == 0, "%d threads for %d processes, %d outside the device scale", threads,
          processes, outOfScale);
    CHECK(own == 1, "own normal thread found with its process and device level 3: %d", own);
    CHECK(t.close(snapshot), "close failed");
    CHECK(!t.close(INVALID_HANDLE_VALUE), "closing no snapshot succeeded");

    // Every thread level the desktop can set, seen through the adapter.
    parked = CreateEventW(NULL, TRUE, FALSE, NULL);
    DWORD id = 0;
    HANDLE worker = CreateThread(NULL, 0, WaitParked, NULL, 0, &id);
    struct {
        int level;
        long device;
    } table[] = {
        {THREAD_PRIORITY_TIME_CRITICAL, 0}, {THREAD_PRIORITY_HIGHEST, 1},      {THREAD_PRIORITY_ABOVE_NORMAL, 2},
        {THREAD_PRIORITY_NORMAL, 3},        {THREAD_PRIORITY_BELOW_NORMAL, 4}, {THREAD_PRIORITY_LOWEST, 5},
        {THREAD_PRIORITY_IDLE, 7},
    };
    for (auto &c : table) {
        BOOL set = SetThreadPriority(worker, c.level);
        long device = -100;
        snapshot = t.create(0x80000006, 0);
        memset(&thread, 0xAA, sizeof thread);
        thread.dwSize = sizeof thread;
        for (BOOL more = t.threadFirst(snapshot, &thread); more; more = t.threadNext(snapshot, &thread))
            if (thread.th32ThreadID == id) device = thread.tpBasePri;
        t.close(snapshot);
        CHECK(set && device == c.device, "level %d: set %d, adapter says %ld, want %ld", c.level, set, device,
              c.device);
    }
    SetEvent(parked);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker), CloseHandle(parked);
    FreeLibrary(t.library);
}
