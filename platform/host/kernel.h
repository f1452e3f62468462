// The device's kernel as its other areas, the emulator and tests see it
// (platform/host/kernel*.cpp): the device lock, reset, the clock, threads,
// processes and programs, libraries, live data sources and object counts.
// Like every area header beside it, the monitor never includes it: the
// monitor sees only platform.h.
#pragma once

#include "../platform.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace dev {

// One lock guards all device state: windows, queues, timers, GDI objects.
// Device threads hold it only while they touch that state, never while they
// wait; waiting goes through the kernel's wait primitives below.
std::recursive_mutex &BigLock();

struct Config {
    bool virtualTime = false; // clock jumps to the next due event when every device thread waits
    bool manualClock = false; // clock moves only through AdvanceClock (tests)
    uint32_t tickStart = 0;   // GetTickCount at device start
    uint32_t osMajor = 3;     // what GetVersionExW reports
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
DWORD StartProgram(const std::u16string &imageName, const std::u16string &commandLine, DWORD *mainThreadId = nullptr);
// Wait (in real host time, from outside the device) until the process has
// ended; true and its exit code, or false when timeoutMs passed first.
bool WaitProgram(DWORD processId, int *exitCode, uint32_t timeoutMs);
bool ProgramRunning(DWORD processId);
// Let the device's other ready threads run until they wait, without moving
// the clock, before the calling device thread goes on; a host thread sleeps
// a millisecond instead.
void LetOthersRun();

// The processor time (all counted as user time) and start (device ms) of a
// thread the kernel started, and its priority. Those threads share one host
// thread, so the host's /proc cannot tell them apart; false for any other id.
bool DeviceThreadFigures(DWORD threadId, uint64_t *user100ns, uint64_t *startMs, int *priority);

// Run a function on a new device thread belonging to the given process
// (0: a process of its own named "test"). Used by tests to act as a program.
DWORD StartDeviceThread(DWORD processId, std::function<void()> body);

// A library of the device's module registry, loadable by LoadLibraryW.
struct Export {
    std::u16string name;
    FARPROC address;
};
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
struct MemoryFigures {
    uint64_t totalPhys, availPhys;
};
struct DiskFigures {
    bool ok;
    uint64_t freeToCaller, total, totalFree;
};
void SetMemorySource(std::function<MemoryFigures()> source); // null: Linux's /proc/meminfo
void SetDiskSource(std::function<DiskFigures()> source);     // null: statvfs("/")

// Live object counts, so tests can prove nothing leaks.
enum ObjectKind {
    KindWindow,
    KindDC,
    KindBitmap,
    KindBrush,
    KindPen,
    KindFont,
    KindIcon,
    KindImageList,
    KindThread,
    KindModule,
    KindCount
};
void CountObject(ObjectKind kind, int delta);
long LiveObjects(ObjectKind kind);
const char *ObjectKindName(ObjectKind kind);
// Blocks from VirtualAlloc not yet released.
long LiveVirtualAllocations();
// Storage that can't be had: after `grant` more successful VirtualAlloc
// calls, the next `refuse` calls fail (return null). Lives beside
// VirtualAlloc; ResetDevice clears it. Tests built before it exists skip.
void RefuseVirtualAlloc(long grant, long refuse);

} // namespace dev
