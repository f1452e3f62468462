// Registration and start-up of the device's own programs, and the small
// helpers they share.
#include "programs.h"
#include "../host/kernel.h"
#include "../host/gdi.h"
#include "../host/shell.h"

#include <chrono>
#include <thread>

namespace dev {

ProgramWindows &Windows()
{
    static ProgramWindows windows;
    return windows;
}

namespace {

void RegisterPrograms()
{
    RegisterProgram(SHELL_IMAGE, u"\\Windows\\explorer.exe", TaskbarMain);
    RegisterProgram(HELP_IMAGE, u"\\Windows\\PegHelp.exe", HelpViewerMain);
    RegisterProgram(HALVANE_IMAGE, u"\\Program Files\\Halvane\\Halvane.exe", HalvaneMain);
    RegisterProgram(WEXDOCK_IMAGE, u"\\Program Files\\Wexdock\\Wexdock.exe", WexdockMain);
    RegisterProgram(HANGDEMO_IMAGE, u"\\Windows\\HangDemo.exe", HangDemoMain);
    RegisterProgram(TRAYGUEST_IMAGE, u"\\Windows\\TrayGuest.exe", TrayGuestMain);
}

// A reset took every window and object with it; what the programs kept of
// them is stale.
void ForgetProgramState()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    Shell() = ShellState();
    Windows() = ProgramWindows();
    ResetHalvaneState();
}

} // namespace

void RegisterDevicePrograms()
{
    static std::once_flag hooked;
    std::call_once(hooked, [] {
        OnReset([] {
            ForgetProgramState();
            RegisterPrograms();
        });
    });
    RegisterPrograms();
}

bool WaitForWindowSlot(HWND *slot, DWORD processId, uint32_t timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> lock(BigLock());
            DWORD owner = 0;
            if (*slot && IsWindow(*slot)) {
                GetWindowThreadProcessId(*slot, &owner);
                if (owner == processId) return true;
            }
        }
        if (!ProgramRunning(processId) || std::chrono::steady_clock::now() >= deadline) return false;
        // From a device thread: the program it started needs the processor.
        LetOthersRun();
    }
}

namespace {

// Programs come up within milliseconds; this only bounds a broken start.
const uint32_t startTimeoutMs = 5000;

DWORD StartAndWait(const char16_t *image, HWND *slot)
{
    DWORD processId = StartProgram(image, u"");
    if (!processId) return 0;
    return WaitForWindowSlot(slot, processId, startTimeoutMs) ? processId : 0;
}

} // namespace

DWORD StartShell()
{
    return StartAndWait(SHELL_IMAGE, &Shell().taskbar);
}

DWORD StartAlternateTaskbar()
{
    RegisterHalvaneLibrary();
    return StartAndWait(HALVANE_IMAGE, &Windows().halvane);
}

DWORD StartWexdock()
{
    return StartAndWait(WEXDOCK_IMAGE, &Windows().wexdock);
}

DWORD StartHangDemo()
{
    return StartAndWait(HANGDEMO_IMAGE, &Windows().hangDemo);
}

void RegisterProgramClass(HINSTANCE instance, LPCWSTR name, WNDPROC proc)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

void PublishWindow(HWND *slot, HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    *slot = window;
}

HWND CreateStripWindow(HINSTANCE instance, LPCWSTR className, LPCWSTR title)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    return CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, className, title, WS_POPUP | WS_VISIBLE, 0,
                           height - taskbarHeight - stripHeight, width, stripHeight, nullptr, nullptr, instance,
                           nullptr);
}

int RunMessageLoop()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}

void DrawLabel(HDC dc, LPCWSTR text, RECT *rect, UINT format, COLORREF color)
{
    HGDIOBJ oldFont = SelectObject(dc, DialogFont());
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = SetTextColor(dc, color);
    DrawTextW(dc, text, -1, rect, format | DT_NOPREFIX);
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

} // namespace dev
