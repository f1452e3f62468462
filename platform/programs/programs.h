// The device's own programs: how the emulator and tests start and watch
// them, and what they share among themselves (their entries, image names and
// windows). Every piece of state here is guarded by dev::BigLock().
#pragma once

#include "../platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dev {

// ---- starting and watching them (the emulator, tests)
// Register the device's own programs under their image names: the taskbar
// shell "explorer.exe", the help viewer "PegHelp.exe", the alternate taskbars
// "Halvane.exe" and "Wexdock.exe" and the test program "HangDemo.exe".
// ResetDevice forgets them; call again after it.
void RegisterDevicePrograms();
// Start one of them and wait (real time, at most a few seconds) until its
// main window exists. Each returns the process id, or 0 when it did not come
// up. StartAlternateTaskbar also registers the "halvaneh" library.
DWORD StartShell();
DWORD StartAlternateTaskbar();
DWORD StartWexdock();
DWORD StartHangDemo();
void RegisterHalvaneLibrary();

// The "Halvane" stand-in and its helper library "halvaneh".
struct HalvaneCall {
    std::string function; // "WDTICreateTransientIcon", "WDTIGetSetDelIcon" or "mtslen"
    HWND window;
    int icon;                    // icon argument (WDTIGetSetDelIcon)
    int operation;               // WDTIGetSetDelIcon
    int menuBytes;               // WDTICreateTransientIcon
    std::vector<uint8_t> record; // the record's bytes as passed (84), empty for none
    std::vector<uint8_t> menu;   // the menu bytes as passed (create) or the multi-string (mtslen)
    int result;
};
std::vector<HalvaneCall> HalvaneCalls(); // the latest calls (at least the last 500)
void ClearHalvaneCalls();
struct HalvaneIconEntry {
    int icon;    // the create call's result
    HWND window; // the window given at create; menu commands go there
    HICON image; // the library's own copy of the image, or null
    std::vector<std::u16string> menuTexts;
    std::vector<UINT> menuCommands;
    RECT place; // on the screen
};
std::vector<HalvaneIconEntry> HalvaneIcons();
HWND HalvaneWindow();
// The open icon menu (a popup of class "HalvaneMenu") and the screen rectangle
// of its entry, so a test can tap it; false when no menu is open.
bool HalvaneMenuItemRect(size_t index, RECT *screenRect);

// The "Wexdock" stand-in: the commands it received, in order.
struct WexdockCommand {
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<WexdockCommand> WexdockCommands();
HWND WexdockWindow();
HICON WexdockIcon(); // its own copy of the icon it shows, or null

// The hang demo: its window, and a trigger that presses "Freeze 10 s".
HWND HangDemoWindow();
bool FreezeHangDemo();

// ---- program entries (dev::ProgramEntry)
int TaskbarMain(HINSTANCE instance, LPWSTR commandLine);
int HelpViewerMain(HINSTANCE instance, LPWSTR commandLine);
int HalvaneMain(HINSTANCE instance, LPWSTR commandLine);
int WexdockMain(HINSTANCE instance, LPWSTR commandLine);
int HangDemoMain(HINSTANCE instance, LPWSTR commandLine);
int TrayGuestMain(HINSTANCE instance, LPWSTR commandLine);

// ---- image names and program paths
#define SHELL_IMAGE u"explorer.exe"
#define HELP_IMAGE u"PegHelp.exe"
#define HALVANE_IMAGE u"Halvane.exe"
#define WEXDOCK_IMAGE u"Wexdock.exe"
#define HANGDEMO_IMAGE u"HangDemo.exe"
#define TRAYGUEST_IMAGE u"TrayGuest.exe"

// ---- shared helpers
// The start-up every program shares: its window class (one of its own
// process), its main window recorded under the lock once it is ready to be
// used (StartShell and the others wait for that), and the message loop, which
// returns the WM_QUIT code as the program's exit code.
void RegisterProgramClass(HINSTANCE instance, LPCWSTR name, WNDPROC proc);
void PublishWindow(HWND *slot, HWND window);
int RunMessageLoop();
// The alternate taskbars are strips of this height just above the taskbar,
// in front of everything; null when the window could not be made.
const int stripHeight = 22;
HWND CreateStripWindow(HINSTANCE instance, LPCWSTR className, LPCWSTR title);
// Wait in real time until *slot (under the lock) holds a window; false on timeout.
bool WaitForWindowSlot(HWND *slot, DWORD processId, uint32_t timeoutMs);
// Draw text with the dialog font, transparent background.
void DrawLabel(HDC dc, LPCWSTR text, RECT *rect, UINT format, COLORREF color);

// Program windows, recorded by each program once created (under the lock).
struct ProgramWindows {
    HWND help = nullptr;
    HWND halvane = nullptr;
    HWND halvaneMenu = nullptr;
    HWND wexdock = nullptr;
    HWND hangDemo = nullptr;
    HWND trayGuest = nullptr;
};
ProgramWindows &Windows();

// Halvane's library state is reset when the Halvane program starts.
void ResetHalvaneState();

} // namespace dev
