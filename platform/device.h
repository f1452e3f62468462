// Where the handheld platform and desktop Win32 part ways.
//
// Each operation here behaves as the handheld device does; platform/host/
// implements it for the emulated device and platform/win32/device_win32.cpp
// maps it onto desktop Win32 (and Wine). The monitor calls these and never
// the desktop-only or device-only functions they stand for.
#pragma once

#ifdef _WIN32
// The shell's taskbar: "HHTaskBar" on the device, "Shell_TrayWnd" on the desktop.
#define DEVICE_TASKBAR_CLASS TEXT("Shell_TrayWnd")
#else
#define DEVICE_TASKBAR_CLASS TEXT("HHTaskBar")
#endif

// The monitor's entry. The device passes a wide command line (always empty
// for the monitor); on the desktop the real entry point calls this one.
#ifdef _WIN32
#define WinMain DeviceWinMain
#endif
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

// The class of dialog windows: "Dialog" on the device, "#32770" on the desktop.
#ifdef _WIN32
#define DEVICE_DIALOG_CLASS TEXT("#32770")
#else
#define DEVICE_DIALOG_CLASS TEXT("Dialog")
#endif

// The help viewer program. Where it is missing, starting it quietly fails.
#define DEVICE_HELP_VIEWER TEXT("PegHelp.exe")

// The device resolves exports by wide name; the desktop only by narrow name.
FARPROC DeviceGetProcAddress(HMODULE module, LPCWSTR name);

// The device answers GetThreadTimes for a thread identifier in place of a
// handle; the desktop needs the thread opened first. Returns nonzero on
// success; on failure the four outputs are left untouched.
BOOL DeviceGetThreadTimes(DWORD threadId, FILETIME *creation, FILETIME *exitTime, FILETIME *kernel, FILETIME *user);

// The device answers GetModuleFileNameW for a process identifier in place of
// a module handle; the desktop needs the process opened first. Returns the
// length written (0 on failure); the buffer is always terminated when size > 0.
DWORD DeviceGetProcessFileName(DWORD processId, LPWSTR buffer, DWORD size);

// The device's GetWindowTextW is answered by the window's own thread, so it
// does not return while that thread is hung, in any process. The desktop reads
// a cached caption for other processes' windows; this sends WM_GETTEXT there.
int DeviceGetWindowText(HWND window, LPWSTR buffer, int size);

// Physical memory in bytes, full 64-bit counts (GlobalMemoryStatusEx where
// the platform has it).
BOOL DeviceGetMemoryFigures(ULONGLONG *totalPhys, ULONGLONG *availPhys);
