// Internal contracts between the areas of the emulated device. The monitor
// never includes this; it sees only platform.h. Each section names the file
// group that implements it.
#pragma once

#include "../platform.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace dev {

// ===================================================================== kernel
// (platform/host/kernel*.cpp)

// One lock guards all device state: windows, queues, timers, GDI objects.
// Device threads hold it only while they touch that state, never while they
// wait; waiting goes through the kernel's wait primitives below.
std::recursive_mutex &BigLock();

struct Config {
    bool virtualTime = false;   // clock jumps to the next due event when every device thread waits
    bool manualClock = false;   // clock moves only through AdvanceClock (tests)
    uint32_t tickStart = 0;     // GetTickCount at device start
    uint32_t osMajor = 3;       // what GetVersionExW reports
    uint32_t osMinor = 0;
    int screenWidth = 240;
    int screenHeight = 320;
};
// Reset the whole device (all windows, objects, programs, queues gone) and
// apply the configuration. Tests call it between cases; no device thread
// other than the caller may be running.
void ResetDevice(const Config &config);
const Config &CurrentConfig();
// Run an action at every ResetDevice, after the kernel and window state are
// cleared and the new configuration applies (so it may register classes,
// libraries and programs again). Registered once, kept across resets.
void OnReset(std::function<void()> action);
// A host thread that is not a device thread (the emulator's main thread while
// it starts programs) holds virtual time still between these two calls, as a
// running device thread does. Calls nest.
void HoldClock();
void ReleaseClock();

// Device time in milliseconds since device start (64-bit, never wraps);
// GetTickCount is tickStart plus this, truncated to 32 bits.
uint64_t Now();
// Manual clock (tests): move time forward event by event, letting every
// device thread run until it waits again after each step, then return.
void AdvanceClock(uint32_t milliseconds);
// Return once every device thread is waiting (for a message, a timer, a
// sleep or the answer to a sent message). Manual and virtual clocks only.
void Settle();
// Run an action (under the device lock) when device time reaches atMs; it
// counts as a due event for the virtual clock. Used for --tap, --seconds.
void ScheduleAt(uint64_t atMs, std::function<void()> action);
// Other programs take the processor from a thread for the given time
// (platform/host/kernel_load.cpp): none of its timers arrives before that
// much device time from now. Messages posted or sent to it still arrive.
void StallThread(DWORD threadId, uint32_t milliseconds);
// Make the calling host thread a device thread of the process (0: a new
// process named "test"), so a test can call the platform directly. While it
// runs it holds virtual time still, like any device thread.
DWORD AdoptCurrentThread(DWORD processId = 0);
void ReleaseCurrentThread();

// A program of the device: runs on its own device thread with its own
// process identifier and program path, like a process.
typedef int (*ProgramEntry)(HINSTANCE instance, LPWSTR commandLine);
// imageName is what CreateProcessW is given ("PegHelp.exe"); path the full
// program path reported by GetModuleFileNameW ("\\Windows\\PegHelp.exe").
// resources: the compiled .res bytes of the program image, or null.
void RegisterProgram(const std::u16string &imageName, const std::u16string &path, ProgramEntry entry,
                     const uint8_t *resources = nullptr, size_t resourceSize = 0);
// Start a registered program as CreateProcessW does; returns its process id or 0.
DWORD StartProgram(const std::u16string &imageName, const std::u16string &commandLine,
                   DWORD *mainThreadId = nullptr);
// Wait (in real host time, from outside the device) until the process has
// ended; true and its exit code, or false when timeoutMs passed first.
bool WaitProgram(DWORD processId, int *exitCode, uint32_t timeoutMs);
bool ProgramRunning(DWORD processId);

// Run a function on a new device thread belonging to the given process
// (0: a process of its own named "test"). Used by tests to act as a program.
DWORD StartDeviceThread(DWORD processId, std::function<void()> body);

// A library of the device's module registry, loadable by LoadLibraryW.
struct Export { std::u16string name; FARPROC address; };
void RegisterLibrary(const std::u16string &name, const std::vector<Export> &exports);
void UnregisterLibrary(const std::u16string &name);
bool LibraryLoaded(const std::u16string &name); // is its load count above 0

// The compiled resources (.res bytes) of a module, for FindResourceW.
bool ModuleResources(HMODULE module, const uint8_t **bytes, size_t *size);
DWORD ProcessOfModule(HMODULE module);
HINSTANCE ModuleOfProcess(DWORD processId);
std::u16string ProcessPath(DWORD processId);
DWORD CurrentProcess(); // process of the calling device thread
// The device's own processes (ids from 0x40000000 up) that are running now,
// and the device threads of one of them (their ids are Linux thread ids), for
// the "toolhelp" snapshot.
std::vector<DWORD> DeviceProcesses();
std::vector<DWORD> DeviceThreadsOf(DWORD processId);

// Live data sources; tests replace them with fixed figures.
struct MemoryFigures { uint64_t totalPhys, availPhys; };
struct DiskFigures { bool ok; uint64_t freeToCaller, total, totalFree; };
void SetMemorySource(std::function<MemoryFigures()> source); // null: Linux's /proc/meminfo
void SetDiskSource(std::function<DiskFigures()> source);     // null: statvfs("/")

// Live object counts, so tests can prove nothing leaks.
enum ObjectKind { KindWindow, KindDC, KindBitmap, KindBrush, KindPen, KindFont, KindIcon, KindImageList,
                  KindThread, KindModule, KindCount };
void CountObject(ObjectKind kind, int delta);
long LiveObjects(ObjectKind kind);
const char *ObjectKindName(ObjectKind kind);
// Blocks from VirtualAlloc not yet released.
long LiveVirtualAllocations();
// Storage that can't be had: after `grant` more successful VirtualAlloc
// calls, the next `refuse` calls fail (return null). Lives beside
// VirtualAlloc; ResetDevice clears it. Tests built before it exists skip.
void RefuseVirtualAlloc(long grant, long refuse);

// =================================================================== toolhelp
// (platform/host/toolhelp*.cpp, procfs*.cpp, device_threads.cpp)

// Register the "toolhelp" library (CreateToolhelp32Snapshot and the rest) in
// the module registry. ResetDevice forgets it; call again after it. Names in
// omit are left out, so tests can make single entry points missing; tests
// make the whole library absent with UnregisterLibrary(u"toolhelp").
void RegisterToolhelp(const std::vector<std::u16string> &omit = {});
// Fixed system tables in place of Linux's /proc and the device's programs.
struct FakeProcess {
    DWORD processId;
    std::u16string exeFile;   // szExeFile, and what DeviceGetProcessFileName gives
};
struct FakeThread {
    DWORD threadId;
    DWORD ownerProcessId;
    LONG basePriority;        // tpBasePri as given, not mapped
    uint64_t userTime100ns;
    uint64_t kernelTime100ns;
    bool timesFail;           // thread-times queries fail, as for a thread that ended
};
struct SystemTables {
    std::vector<FakeProcess> processes; // in walk order
    std::vector<FakeThread> threads;    // in walk order
};
// Replace the live source with fixed tables; null goes back to the live one.
// Snapshots already taken keep what they read.
void SetSystemSource(const SystemTables *tables);
// Snapshots created and not yet closed, for leak tests.
long LiveToolhelpSnapshots();
// User and kernel time of a thread by its identifier (a Linux thread id, or a
// thread of the fixed tables); false when there is no such thread. The
// kernel's GetThreadTimes calls it for an identifier given in place of a handle.
bool LinuxThreadTimes(DWORD threadId, uint64_t *user100ns, uint64_t *kernel100ns);

// ======================================================================= user
// (platform/host/user*.cpp)

// Screen geometry of a window: the rectangle of the whole window and of its
// client area, in screen coordinates. False for no such window.
bool WindowScreenRects(HWND window, RECT *windowRect, RECT *clientRect);
// The window that shows at a screen pixel (deepest visible child), or null
// for the desktop background. Device contexts of a window draw only on the
// pixels it owns.
HWND PixelOwner(int x, int y);
// Stylus input from the presenter or the --tap option, in screen pixels.
void Tap(int x, int y, bool down);
// Post WM_CLOSE to the first top-level window of the class and title.
bool CloseWindowNormally(LPCWSTR className, LPCWSTR title);
// One line per window, as a window spy shows them.
std::string DumpWindows();
// Per-class hook for --dump-windows (list views add columns and item count).
void SetDumpExtra(LPCWSTR className, std::string (*extra)(HWND window));

// Non-client frame (platform/host/user_nonclient.cpp). Insets are the frame's
// thickness on each side (left, top, right, bottom): the client area is the
// window rectangle shrunk by them. The kernel paints the frame on WM_NCPAINT
// and activation changes with PaintNonClient, answers WM_NCHITTEST with
// NonClientHitTest, and hands WM_NCLBUTTONDOWN to NonClientButtonDown, which
// tracks a press on the close box and sends WM_SYSCOMMAND SC_CLOSE on release.
void FrameInsets(DWORD style, DWORD exStyle, RECT *insets);
void PaintNonClient(HWND window);
LRESULT NonClientHitTest(HWND window, POINT screenPoint);
LRESULT NonClientButtonDown(HWND window, WPARAM hitTest, LPARAM screenPoint);
// The system window classes "Dialog" (DEVICE_DIALOG_CLASS), "Static",
// "Button", "Edit" and "SysListView32" (platform/host/dialog*.cpp,
// control_*.cpp, listview*.cpp), global to every process of the device.
// ResetDevice forgets all classes; call this again after it.
void RegisterSystemClasses();

// ======================================================================== gdi
// (platform/host/gdi*.cpp)

// The screen: 32-bit pixels 0x00RRGGBB, row-major, top row first.
uint32_t *ScreenPixels();
int ScreenWidth();
int ScreenHeight();
bool WriteScreenPng(const char *path);
// BeginPaint's device context: the window's client DC clipped to clip
// (client coordinates).
HDC GetPaintDC(HWND window, const RECT *clip);
// GetPixel calls made since device start (every call counts, inside a bitmap
// or not), so tests can prove which pixels a routine reads, or that it reads
// none. Lives beside GetPixel. Tests built before it exists skip.
long PixelReads();
// Called whenever pixels of the screen change, so the presenter can show them.
extern volatile uint64_t screenGeneration;

// The dialog font ("MS Sans Serif" 8 point stands in as a real TrueType face
// from the distribution) and its dialog base units.
HFONT DialogFont();
void DialogBaseUnits(int *x, int *y);

// =================================================================== programs
// (platform/host/shell*.cpp, platform/programs/*.cpp)

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

// The taskbar window of the running shell, or null.
HWND TaskbarWindow();
// One icon of the notification area, in the order the shell shows them
// (index 0 stands next to the clock, later ones further left).
struct NotifyIconEntry {
    HWND owner;
    UINT id;
    UINT callbackMessage; // 0 when no NIF_MESSAGE was given
    HICON icon;           // the shell's own copy, or null
    RECT slot;            // where it is drawn, in taskbar client coordinates (16 by 16)
};
std::vector<NotifyIconEntry> NotifyIcons();
// Move an icon to another position of the notification area, as a user
// dragging it would; the shell repaints the area. False for an unknown icon.
bool MoveNotifyIcon(HWND owner, UINT id, size_t position);

// The "Halvane" stand-in and its helper library "halvaneh".
struct HalvaneCall {
    std::string function;          // "WDTICreateTransientIcon", "WDTIGetSetDelIcon" or "mtslen"
    HWND window;
    int icon;                      // icon argument (WDTIGetSetDelIcon)
    int operation;                 // WDTIGetSetDelIcon
    int menuBytes;                 // WDTICreateTransientIcon
    std::vector<uint8_t> record;   // the record's bytes as passed (84), empty for none
    std::vector<uint8_t> menu;     // the menu bytes as passed (create) or the multi-string (mtslen)
    int result;
};
std::vector<HalvaneCall> HalvaneCalls(); // the latest calls (at least the last 500)
void ClearHalvaneCalls();
struct HalvaneIconEntry {
    int icon;                      // the create call's result
    HWND window;                   // the window given at create; menu commands go there
    HICON image;                   // the library's own copy of the image, or null
    std::vector<std::u16string> menuTexts;
    std::vector<UINT> menuCommands;
    RECT place;                    // on the screen
};
std::vector<HalvaneIconEntry> HalvaneIcons();
HWND HalvaneWindow();
// The open icon menu (a popup of class "HalvaneMenu") and the screen rectangle
// of its entry, so a test can tap it; false when no menu is open.
bool HalvaneMenuItemRect(size_t index, RECT *screenRect);

// The "Wexdock" stand-in: the commands it received, in order.
struct WexdockCommand { WPARAM wParam; LPARAM lParam; };
std::vector<WexdockCommand> WexdockCommands();
HWND WexdockWindow();
HICON WexdockIcon(); // its own copy of the icon it shows, or null

// The hang demo: its window, and a trigger that presses "Freeze 10 s".
HWND HangDemoWindow();
bool FreezeHangDemo();

// The load log (--log-load): from now until StopLoadLog, every sample the
// monitor stores in its load history goes to the file as one line "T P",
// T the device time in ms of its 300 ms grid point, P the percent, after a
// "#" header line. Start after ResetDevice and before the monitor; false when
// the file cannot be written. StopLoadLog writes what is left and closes it.
bool StartLoadLog(const std::string &path);
void StopLoadLog();

} // namespace dev
