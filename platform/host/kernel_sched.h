// Private to the kernel and window core of the device (kernel*.cpp,
// user_*.cpp): device threads, their queues and the clock they wait on.
//
// Every device thread has one record. A thread is either running or waiting;
// the kernel keeps the number of running threads, and the virtual and manual
// clocks move only while it is zero. Whoever makes a waiting thread runnable
// again (a post, a reply, a due deadline) marks it running at once, before it
// actually wakes, so the clock cannot slip past it in between.
#pragma once

#include "kernel.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <string>
#include <vector>

namespace dev {

const uint64_t kNoDeadline = ~(uint64_t)0;

struct Process;
struct Window;
struct Timer;

// A message sent to another thread's window; the sender waits for done.
struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    struct Thread *sender; // null for a host thread or a notification nobody waits for
    bool done = false;
    bool abandoned = false; // the sender stopped waiting (timeout, termination)
    LRESULT result = 0;
    WINDOWPOS pos{}; // lParam points here for position news sent without waiting
};

// Stylus input waiting in a thread's queue, turned into mouse messages when
// the thread fetches it (hit testing runs on the window's own thread).
struct RawInput {
    HWND window; // target chosen when the input happened (capture or pixel owner)
    POINT screen;
    bool down;
    uint64_t time;
};

struct Thread {
    DWORD id = 0; // Linux thread id
    std::shared_ptr<Process> process;
    int priority = THREAD_PRIORITY_NORMAL;
    bool adopted = false;   // a host thread that called AdoptCurrentThread
    uint64_t startTime = 0; // device time at start

    // scheduling (guarded by BigLock)
    bool waiting = false;
    bool woken = false;
    uint64_t deadline = kNoDeadline;
    std::atomic<uint32_t> wakeWord{0}; // a futex: bumped by every Wake
    bool sleeping = false;             // between releasing BigLock and taking it back in a wait
    bool terminate = false;            // its process ended: leave at the next device call
    bool tearingDown = false;          // leaving: waits return at once, nothing throws
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD lastError = 0;
    std::function<DWORD()> body; // what a started thread runs
    bool mainThread = false;     // its return ends the process

    // A thread the kernel started runs as a fiber on the device's processor
    // thread: its own stack, switched to by the processor, never preempted.
    bool fiber = false;
    bool queued = false;        // in the processor's ready queue
    bool stackDone = false;     // left its stack for good: the processor frees it
    void *savedStack = nullptr; // its stack pointer while another runs
    void *stack = nullptr;
    size_t stackSize = 0;
    void *fakeStack = nullptr; // the address sanitizer's record of the stack
    uint64_t cpuNs = 0;        // host processor time spent running it
    uint64_t sliceNs = 0;      // wall time run since the processor last settled its time

    // queue (user_message.cpp)
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::deque<MSG> posted;
    std::deque<RawInput> input;
    std::deque<MSG> cookedInput; // input turned into mouse messages, not yet fetched
    bool inMessageWait = false;  // blocked in GetMessageW or WaitMessage
    HWND waitWindow = nullptr;   // the blocked fetch's filter: only its timers may end the wait
    UINT waitLow = 0, waitHigh = 0;
    bool quit = false;
    int quitCode = 0;
    DWORD lastMessageTime = 0;
    uint64_t lastPump = 0; // device time of the last GetMessage/PeekMessage
    int sendDepth = 0;     // inside a cross-thread SendMessage
    // Set whenever one of its windows gets a dirty frame or an update
    // region, so a fetch looks through its windows only when this is set.
    bool mayPaint = false;

    // windows and timers of the thread (user_*.cpp)
    std::vector<Window *> windows;
    std::vector<Timer *> timers;
    HWND active = nullptr;
    HWND focus = nullptr;
};

struct Process {
    DWORD id = 0;
    std::u16string image; // "PegHelp.exe"
    std::u16string path;  // "\\Windows\\PegHelp.exe"
    HINSTANCE module = nullptr;
    const uint8_t *resources = nullptr;
    size_t resourceSize = 0;
    std::vector<Thread *> threads; // live threads
    bool exiting = false;          // main entry returned: other threads are told to leave
    bool ended = false;            // no thread left
    int exitCode = STILL_ACTIVE;
    std::vector<std::pair<std::u16string, int>> libraries; // loads held, by library key
};

// Thrown at a device call of a thread whose process has ended; caught by the
// thread's own wrapper. The monitor's code never sees or catches it.
struct ThreadTerminated {};

// The calling thread's record, or null for a host thread.
Thread *CurrentThread();
Thread *FindThread(DWORD id);
std::shared_ptr<Process> FindProcess(DWORD id);
// All live device threads (BigLock held).
const std::vector<Thread *> &AllThreads();

// Throws ThreadTerminated when the calling device thread has to leave.
void CheckTerminate();

// Wait until woken or until device time reaches deadline (kNoDeadline: no
// deadline). Releases BigLock, however deep it is held, while waiting.
// Returns true when the deadline was reached. For a host thread it waits on
// the host condition instead (a reply, a thread's end), in real time.
bool BlockCurrent(uint64_t deadline);
// Make a waiting device thread run again (BigLock held); harmless otherwise.
void Wake(Thread *thread);
// Wake every waiting thread and host waiter: something they may wait for
// changed (a thread or process ended).
void WakeAll();
// Wake host threads waiting on the device (a reply to a host sender).
void NotifyHosts();

// The device clock in ms (64-bit, from device start).
inline uint64_t DeviceNow()
{
    return Now();
}
DWORD TickOf(uint64_t deviceTime);

// Release BigLock completely around a call into program code (a window
// procedure, a callback), and take it back to the same depth afterwards.
class Unlocked {
public:
    Unlocked();
    ~Unlocked();
    Unlocked(const Unlocked &) = delete;
    Unlocked &operator=(const Unlocked &) = delete;

private:
    int depth_;
};

// Kernel parts reset by ResetDevice (kernel_modules.cpp, kernel_system.cpp).
void ReleaseProcessLibraries(Process *process);
void ResetSystem();
void ResetObjectCounts();
// The memory source (a test's fixed figures or /proc/meminfo).
bool ReadMemoryFigures(uint64_t *totalPhys, uint64_t *availPhys);

// User hooks the kernel calls (user_*.cpp).
void DestroyThreadWindows(Thread *thread); // on the thread itself, with messages
void DropProcessWindows(DWORD processId);  // any thread, no messages
void ReleaseThreadQueue(Thread *thread);   // pending sends answered with 0, timers gone
void ResetUser();                          // all windows and classes gone
void RebuildScreen();                      // recompute pixel owners, paint the desktop
uint64_t NextTimerDue(Thread *thread);     // earliest timer its blocked fetch can take, or kNoDeadline

} // namespace dev
