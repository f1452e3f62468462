// wintool: a window inspector and driver for the runs under Wine.
//
// The Wine test scripts can't see windows from the Unix side, so this small
// program does it from inside the desktop: it starts programs and reports
// their exit codes, finds windows, dumps their controls (list views with
// their columns and rows), posts messages and presses buttons.
//
//   wintool [-o FILE] [-d DESKTOP] COMMAND ARGS...
//
//   run EXE [ARGS]                start EXE, wait for it, print "exit N"; the
//                                 exit code is also wintool's own; EXE writes
//                                 its standard output where wintool does
//   find CLASS TITLE [MS]         wait up to MS (default 0) for a top-level
//                                 window; print it; exit 0 if found, 1 if not
//   gone CLASS TITLE [MS]         wait up to MS for no such window; exit 0 when gone
//   dump CLASS TITLE              the window and every control in it
//   windows                       every top-level window of the desktop
//   close CLASS TITLE             post WM_CLOSE
//   post CLASS TITLE MSG [W [L]]  post a message (numbers: decimal or 0x..)
//   command CLASS TITLE ID        post WM_COMMAND with ID
//   press CLASS TITLE TEXT        click the button whose text is TEXT
//   taskbar                       the desktop's taskbar and its child windows
//   hung CLASS TITLE              ask whether the window's thread is hung
//   pixels CLASS TITLE X Y W H    the window's pixels as the platform reads
//                                 them back (GetDC, BitBlt, GetPixel), one
//                                 row of 0xBBGGRR values per line
//
// CLASS or TITLE "-" means any; "0x1234abcd" as CLASS names a window by handle.
// Text goes to stdout as UTF-8, or to FILE with -o (appended). With -d the
// tool works on the named desktop (a Wine virtual desktop that explorer
// keeps), and the programs it runs start there too.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "platform/device.h"

static HANDLE output = INVALID_HANDLE_VALUE;
static const wchar_t *desktopName = NULL;

static void Out(const wchar_t *format, ...)
{
    wchar_t text[2048];
    va_list args;
    va_start(args, format);
    int length = vswprintf(text, sizeof text / sizeof text[0], format, args);
    va_end(args);
    if (length < 0) length = (int)wcslen(text);
    char utf8[6144];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, sizeof utf8, NULL, NULL);
    DWORD written;
    if (output != INVALID_HANDLE_VALUE && output != NULL) WriteFile(output, utf8, (DWORD)bytes, &written, NULL);
}

static unsigned long long Number(const wchar_t *text)
{
    return wcstoull(text, NULL, 0);
}

static const wchar_t *AnyIsNull(const wchar_t *text)
{
    return wcscmp(text, L"-") == 0 ? NULL : text;
}

static HWND FindTopLevel(const wchar_t *className, const wchar_t *title)
{
    if (className[0] == L'0' && (className[1] == L'x' || className[1] == L'X'))
        return (HWND)(ULONG_PTR)wcstoull(className, NULL, 16);
    return FindWindowW(AnyIsNull(className), AnyIsNull(title));
}

static HWND WaitForWindow(const wchar_t *className, const wchar_t *title, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindTopLevel(className, title);
        if (window != NULL || GetTickCount() - start >= milliseconds) return window;
        Sleep(50);
    }
}

static void DescribeWindow(const wchar_t *label, HWND window, HWND origin)
{
    wchar_t className[128] = L"";
    wchar_t text[256] = L"";
    GetClassNameW(window, className, 128);
    // Read the text without waiting on a hung thread: the inspector must
    // never hang itself.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 256, (LPARAM)text, SMTO_ABORTIFHUNG, 500, &length))
        GetWindowTextW(window, text, 256);
    text[255] = 0;
    // One line per window: a line break shows as "|".
    wchar_t *to = text;
    for (const wchar_t *c = text; *c; c++) {
        if (*c == L'\r' && c[1] == L'\n') continue;
        *to++ = (*c == L'\r' || *c == L'\n') ? L'|' : *c;
    }
    *to = 0;
    RECT rect;
    GetWindowRect(window, &rect);
    if (origin != NULL) MapWindowPoints(HWND_DESKTOP, origin, (POINT *)&rect, 2);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    LONG style = GetWindowLongW(window, GWL_STYLE);
    Out(L"%ls %p class=\"%ls\" id=%d text=\"%ls\" rect=%ld,%ld,%ld,%ld size=%ldx%ld style=0x%08lx "
        L"visible=%d enabled=%d pid=%lu\n",
        label, (void *)window, className, GetDlgCtrlID(window), text, rect.left, rect.top, rect.right, rect.bottom,
        rect.right - rect.left, rect.bottom - rect.top, (unsigned long)style, IsWindowVisible(window) ? 1 : 0,
        IsWindowEnabled(window) ? 1 : 0, (unsigned long)processId);
}

// A list view of another process only takes and fills buffers in its own
// address space: the records travel through memory taken there.
struct RemoteBuffer {
    HANDLE process;
    char *address;
};

static bool OpenRemote(HWND window, SIZE_T size, RemoteBuffer *remote)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    remote->process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (remote->process == NULL) return false;
    remote->address = (char *)VirtualAllocEx(remote->process, NULL, size, MEM_COMMIT, PAGE_READWRITE);
    if (remote->address == NULL) {
        CloseHandle(remote->process);
        return false;
    }
    return true;
}

static void CloseRemote(RemoteBuffer *remote)
{
    VirtualFreeEx(remote->process, remote->address, 0, MEM_RELEASE);
    CloseHandle(remote->process);
}

static void DumpListView(HWND list)
{
    const int TextChars = 128;
    RemoteBuffer remote;
    if (!OpenRemote(list, 4096, &remote)) {
        Out(L"  list: can't reach the owner's memory\n");
        return;
    }
    char *remoteRecord = remote.address;
    wchar_t *remoteText = (wchar_t *)(remote.address + 1024);
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    int columns = header ? (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) : 0;
    Out(L"  list columns=%d items=%d\n", columns, (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int c = 0; c < columns; c++) {
        LVCOLUMNW column;
        ZeroMemory(&column, sizeof column);
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = remoteText;
        column.cchTextMax = TextChars;
        wchar_t text[TextChars] = L"";
        WriteProcessMemory(remote.process, remoteRecord, &column, sizeof column, NULL);
        if (SendMessageW(list, LVM_GETCOLUMNW, c, (LPARAM)remoteRecord)) {
            ReadProcessMemory(remote.process, remoteRecord, &column, sizeof column, NULL);
            ReadProcessMemory(remote.process, remoteText, text, sizeof text, NULL);
            text[TextChars - 1] = 0;
        }
        Out(L"  column %d \"%ls\" width=%d fmt=%d\n", c, text, column.cx, column.fmt);
    }
    int items = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < items && i < 400; i++) {
        Out(L"  row %d", i);
        for (int c = 0; c < (columns > 0 ? columns : 1); c++) {
            LVITEMW item;
            ZeroMemory(&item, sizeof item);
            item.iSubItem = c;
            item.pszText = remoteText;
            item.cchTextMax = TextChars;
            wchar_t text[TextChars] = L"";
            WriteProcessMemory(remote.process, remoteRecord, &item, sizeof item, NULL);
            int length = (int)SendMessageW(list, LVM_GETITEMTEXTW, i, (LPARAM)remoteRecord);
            if (length > 0) {
                ReadProcessMemory(remote.process, remoteText, text, sizeof text, NULL);
                text[TextChars - 1] = 0;
            }
            Out(L" | %ls", text);
        }
        Out(L"\n");
    }
    CloseRemote(&remote);
}

struct DumpContext {
    HWND root;
    int count;
};

static BOOL CALLBACK DumpChild(HWND child, LPARAM parameter)
{
    DumpContext *context = (DumpContext *)parameter;
    if (GetAncestor(child, GA_PARENT) != context->root) return TRUE;
    context->count++;
    DescribeWindow(L" control", child, context->root);
    wchar_t className[64] = L"";
    GetClassNameW(child, className, 64);
    if (wcscmp(className, WC_LISTVIEWW) == 0) DumpListView(child);
    return TRUE;
}

static void DumpWindow(HWND window)
{
    DescribeWindow(L"window", window, NULL);
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    Out(L" client origin=%ld,%ld size=%ldx%ld\n", origin.x, origin.y, client.right, client.bottom);
    DumpContext context = {window, 0};
    EnumChildWindows(window, DumpChild, (LPARAM)&context);
    Out(L" controls=%d\n", context.count);
}

static BOOL CALLBACK ListTopLevel(HWND window, LPARAM)
{
    DescribeWindow(L"window", window, NULL);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t path[MAX_PATH] = L"";
    DeviceGetProcessFileName(processId, path, MAX_PATH);
    Out(L"  program \"%ls\"\n", path);
    return TRUE;
}

static BOOL CALLBACK ListTaskbarChild(HWND child, LPARAM parameter)
{
    DescribeWindow(L" child", child, (HWND)parameter);
    return TRUE;
}

// Read back through a copy, as the monitor's probe does: what a program of
// the desktop can see of another program's window.
static int DumpPixels(HWND window, int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0 || width > 1024 || height > 1024) return 2;
    HDC source = GetDC(window);
    HDC copy = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, width, height, source, x, y, SRCCOPY);
    for (int row = 0; row < height; row++) {
        Out(L"%4d:", y + row);
        for (int column = 0; column < width; column++)
            Out(L" %06lX", (unsigned long)(GetPixel(copy, column, row) & 0xFFFFFF));
        Out(L"\n");
    }
    SelectObject(copy, old);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(window, source);
    return 0;
}

static int Run(int count, wchar_t **args)
{
    // The command line: the program, then its arguments, each quoted.
    wchar_t commandLine[2048] = L"";
    for (int i = 0; i < count; i++) {
        if (wcslen(commandLine) + wcslen(args[i]) + 4 >= 2048) return 2;
        wcscat(commandLine, i ? L" \"" : L"\"");
        wcscat(commandLine, args[i]);
        wcscat(commandLine, L"\"");
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.lpDesktop = (LPWSTR)desktopName;
    // A console program (the Windows-side tests) writes where this tool
    // writes, without a console window of its own.
    HANDLE inherited = INVALID_HANDLE_VALUE;
    if (output != INVALID_HANDLE_VALUE && output != NULL &&
        DuplicateHandle(GetCurrentProcess(), output, GetCurrentProcess(), &inherited, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = NULL;
        startup.hStdOutput = inherited;
        startup.hStdError = inherited;
    }
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessW(NULL, commandLine, NULL, NULL, inherited != INVALID_HANDLE_VALUE, CREATE_NO_WINDOW,
                                  NULL, NULL, &startup, &process);
    if (inherited != INVALID_HANDLE_VALUE) CloseHandle(inherited);
    if (!started) {
        Out(L"run: can't start %ls (error %lu)\n", args[0], GetLastError());
        return 3;
    }
    Out(L"started pid=%lu\n", process.dwProcessId);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Out(L"exit %lu\n", code);
    return (int)code;
}

static int Usage(void)
{
    Out(L"usage: wintool [-o FILE] [-d DESKTOP] run|find|gone|dump|windows|close|post|command|press|taskbar|hung|pixels ...\n");
    return 2;
}

static HWND FindButton(HWND window, const wchar_t *text)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t caption[128] = L"";
        GetWindowTextW(child, caption, 128);
        // Buttons may carry an accelerator mark: compare without it.
        wchar_t plain[128];
        int n = 0;
        for (int i = 0; caption[i] && n < 127; i++)
            if (caption[i] != L'&') plain[n++] = caption[i];
        plain[n] = 0;
        if (_wcsicmp(plain, text) == 0) return child;
    }
    return NULL;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    output = GetStdHandle(STD_OUTPUT_HANDLE);
    int a = 1;
    for (; a + 1 < argc && argv[a][0] == L'-' && argv[a][2] == 0; a += 2) {
        if (argv[a][1] == L'o') {
            output = CreateFileW(argv[a + 1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
        } else if (argv[a][1] == L'd') {
            desktopName = argv[a + 1];
            HDESK desktop = OpenDesktopW(desktopName, 0, FALSE, GENERIC_ALL);
            if (desktop == NULL || !SetThreadDesktop(desktop)) {
                Out(L"can't use desktop \"%ls\" (error %lu)\n", desktopName, GetLastError());
                return 2;
            }
        } else {
            return Usage();
        }
    }
    if (a >= argc) return Usage();
    const wchar_t *command = argv[a];
    int rest = argc - a - 1;
    wchar_t **args = argv + a + 1;

    if (wcscmp(command, L"run") == 0 && rest >= 1) return Run(rest, args);
    if (wcscmp(command, L"windows") == 0) {
        EnumWindows(ListTopLevel, 0);
        return 0;
    }
    if (wcscmp(command, L"taskbar") == 0) {
        HWND taskbar = FindWindowW(L"Shell_TrayWnd", NULL);
        if (taskbar == NULL) {
            Out(L"no taskbar\n");
            return 1;
        }
        DescribeWindow(L"taskbar", taskbar, NULL);
        EnumChildWindows(taskbar, ListTaskbarChild, (LPARAM)taskbar);
        return 0;
    }
    if (rest < 2) return Usage();
    const wchar_t *className = args[0];
    const wchar_t *title = args[1];

    if (wcscmp(command, L"find") == 0) {
        HWND window = WaitForWindow(className, title, rest >= 3 ? (DWORD)Number(args[2]) : 0);
        if (window == NULL) {
            Out(L"not found: class \"%ls\" title \"%ls\"\n", className, title);
            return 1;
        }
        DescribeWindow(L"window", window, NULL);
        return 0;
    }
    if (wcscmp(command, L"gone") == 0) {
        DWORD limit = rest >= 3 ? (DWORD)Number(args[2]) : 0;
        DWORD start = GetTickCount();
        while (FindTopLevel(className, title) != NULL) {
            if (GetTickCount() - start >= limit) {
                Out(L"still there: class \"%ls\" title \"%ls\"\n", className, title);
                return 1;
            }
            Sleep(50);
        }
        Out(L"gone\n");
        return 0;
    }

    HWND window = FindTopLevel(className, title);
    if (window == NULL) {
        Out(L"not found: class \"%ls\" title \"%ls\"\n", className, title);
        return 1;
    }
    if (wcscmp(command, L"dump") == 0) {
        DumpWindow(window);
        return 0;
    }
    if (wcscmp(command, L"close") == 0) return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    if (wcscmp(command, L"post") == 0 && rest >= 3) {
        UINT message = (UINT)Number(args[2]);
        WPARAM wParam = rest >= 4 ? (WPARAM)Number(args[3]) : 0;
        LPARAM lParam = rest >= 5 ? (LPARAM)Number(args[4]) : 0;
        return PostMessageW(window, message, wParam, lParam) ? 0 : 1;
    }
    if (wcscmp(command, L"command") == 0 && rest >= 3)
        return PostMessageW(window, WM_COMMAND, (WPARAM)Number(args[2]), 0) ? 0 : 1;
    if (wcscmp(command, L"press") == 0 && rest >= 3) {
        HWND button = FindButton(window, args[2]);
        if (button == NULL) {
            Out(L"no button \"%ls\"\n", args[2]);
            return 1;
        }
        WPARAM wParam = MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED);
        return PostMessageW(window, WM_COMMAND, wParam, (LPARAM)button) ? 0 : 1;
    }
    if (wcscmp(command, L"pixels") == 0 && rest >= 6)
        return DumpPixels(window, (int)Number(args[2]), (int)Number(args[3]), (int)Number(args[4]),
                          (int)Number(args[5]));
    if (wcscmp(command, L"hung") == 0) {
        DWORD_PTR result = 0;
        BOOL answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 1000, &result) != 0;
        Out(L"%ls\n", answered ? L"answering" : L"hung");
        return answered ? 1 : 0;
    }
    return Usage();
}
