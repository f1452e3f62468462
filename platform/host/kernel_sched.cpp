// Device threads, processes, programs and the clock.
//
// The threads the device starts are fibers that one host thread, the
// device's processor, runs one at a time, each until it waits; threads of
// the host that adopt a device identity (tests) wait on a futex of their
// own instead. One device clock moves only while every device thread waits,
// and then to the next due event, in three paces: virtual (at once, as fast
// as the work allows), live (held to the wall clock: never ahead of it, at
// most kSlackMs behind while the device waits) and manual (tests step it
// with AdvanceClock). The thread whose wait makes "every thread waits" true
// moves the clock itself and wakes only the threads whose deadline it
// reached; live, the processor then sleeps until the wall clock is due to
// move the device clock on, so the monitor's 1 ms timer wakes the host once
// per batch of kSlackMs arrivals instead of once per arrival. Events never
// fall in the pieces of time the rest of the system holds the processor
// (kernel_processor.cpp): they wait for the piece to end.
//
// BigLock is a recursive mutex that other areas may hold around calls into
// us; a wait releases it completely (however deep it is held) and takes it
// back to the same depth afterwards. The processor holds it once while it
// switches, and every fiber holds it exactly once at its switch points.

#include "kernel_sched.h"
#include "kernel.h"
#include "toolhelp.h"

#include "kernel_processor.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <future>
#include <map>
#include <queue>
#include <unordered_map>

#if defined(__SANITIZE_ADDRESS__)
#define DEVICE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DEVICE_ASAN 1
#endif
#endif
#ifndef DEVICE_ASAN
#define DEVICE_ASAN 0
#endif
#if DEVICE_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

#ifndef __GLIBC__
#error "the wait primitives read glibc's recursive mutex owner and count"
#endif

namespace dev {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Live, the host sleeps until the wall clock is this far past the device
// clock and then runs the batch of device events due up to the wall clock.
// A tap or a redraw 20 ms late is below what a person notices (about a frame
// of a 50 Hz display), and the monitor's 1 ms timer then wakes the host 50
// times a second instead of 1000: each wake-up costs the host more than the
// twenty arrivals it delivers.
const uint64_t kSlackMs = 20;

struct ScheduledAction {
    uint64_t at;
    uint64_t sequence;
    std::function<void()> action;
};
struct LaterFirst {
    bool operator()(const ScheduledAction &a, const ScheduledAction &b) const
    {
        return a.at != b.at ? a.at > b.at : a.sequence > b.sequence;
    }
};

struct ProgramRecord {
    std::u16string image, path;
    ProgramEntry entry;
    const uint8_t *resources;
    size_t resourceSize;
};

struct HandleRecord {
    std::shared_ptr<Thread> thread;
    std::shared_ptr<Process> process;
};

struct Kernel {
    Config config;
    SteadyClock::time_point realStart = SteadyClock::now();
    std::atomic<uint64_t> virtualNow{0};

    int running = 0; // device threads not waiting, plus clock holds
    int holds = 0;
    bool advancing = false;
    uint64_t idleGeneration = 0;
    std::vector<Thread *> threads;
    std::unordered_map<DWORD, std::shared_ptr<Thread>> byId;
    std::map<DWORD, std::shared_ptr<Process>> processes;
    DWORD processCount = 0;

    // The device's one processor: a host thread that runs the fibers of the
    // device's threads, one at a time, each until it waits.
    std::thread processorHost;
    bool processorStop = false;
    std::deque<Thread *> ready;             // woken fibers, in the order they woke
    std::atomic<uint32_t> processorWord{0}; // a futex: bumped to make an idle processor look again
    bool processorSleeping = false;
    void *processorSavedStack = nullptr;
    const void *processorStack = nullptr; // its stack, for the address sanitizer
    size_t processorStackSize = 0;
    std::vector<std::shared_ptr<Thread>> fibers; // whose stacks are still mapped
    std::vector<Thread *> unsettled;             // fibers run since their times were last settled
    uint64_t processorCpuMark = 0;               // the processor's thread clock at the last settling

    std::priority_queue<ScheduledAction, std::vector<ScheduledAction>, LaterFirst> actions;
    uint64_t actionSequence = 0;
    // Live: the waiting device thread that sleeps until the wall clock
    // reaches paceTarget and then moves the clock (any waiting thread will do).
    Thread *pacer = nullptr;
    uint64_t paceTarget = kNoDeadline;
    uint64_t wallSeen = 0; // the wall clock in device ms at its last reading

    std::condition_variable_any hostWake; // host threads waiting for replies and ends
    std::condition_variable_any idleWake; // Settle and AdvanceClock waiting for all threads to wait
    int idleWaiters = 0;

    std::vector<ProgramRecord> programs;
    std::unordered_map<uintptr_t, HandleRecord> handles;
    uintptr_t nextHandle = 0x100;
    std::vector<std::function<void()>> resetHooks;
};

Kernel &K()
{
    static Kernel *kernel = new Kernel; // never destroyed: device threads may outlive static destruction
    return *kernel;
}

// The running device thread of this host thread: on the processor thread,
// the fiber it runs now.
thread_local Thread *current = nullptr;
thread_local DWORD hostTid = 0;

void WaitWord(std::atomic<uint32_t> &word, uint32_t seen, SteadyClock::time_point until);

DWORD OwnTid()
{
    if (!hostTid) hostTid = (DWORD)syscall(SYS_gettid);
    return hostTid;
}

// How deep the calling thread holds BigLock (0: not at all).
int LockDepth()
{
    pthread_mutex_t *m = BigLock().native_handle();
    if ((DWORD)m->__data.__owner != OwnTid()) return 0;
    return (int)m->__data.__count;
}

// Leave the lock held exactly once; returns the depth to restore.
int HoldOnce()
{
    int depth = LockDepth();
    if (depth == 0) BigLock().lock();
    for (int i = 1; i < depth; i++)
        BigLock().unlock();
    return depth;
}

void RestoreDepth(int depth)
{
    if (depth == 0) BigLock().unlock();
    for (int i = 1; i < depth; i++)
        BigLock().lock();
}

} // namespace

Unlocked::Unlocked() : depth_(LockDepth())
{
    for (int i = 0; i < depth_; i++)
        BigLock().unlock();
}

Unlocked::~Unlocked()
{
    for (int i = 0; i < depth_; i++)
        BigLock().lock();
}

namespace {

bool Live()
{
    return !K().config.virtualTime && !K().config.manualClock;
}

uint64_t WallMs()
{
    return (uint64_t)std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - K().realStart).count();
}

void NudgeProcessor()
{
    Kernel &k = K();
    k.processorWord.fetch_add(1, std::memory_order_release);
    if (k.processorSleeping) syscall(SYS_futex, &k.processorWord, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// Make a waiting thread look at the clock again without waking it for good
// (for a fiber, the processor does its looking).
void Nudge(Thread *t)
{
    if (t->fiber) {
        NudgeProcessor();
        return;
    }
    t->wakeWord.fetch_add(1, std::memory_order_release);
    if (t->sleeping) syscall(SYS_futex, &t->wakeWord, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

uint64_t EarliestEvent()
{
    Kernel &k = K();
    uint64_t next = kNoDeadline;
    for (Thread *t : k.threads)
        if (t->waiting && t->deadline < next) next = t->deadline;
    if (!k.actions.empty() && k.actions.top().at < next) next = k.actions.top().at;
    return next;
}

// Run the actions and wake the threads that are due at the current time.
void FireDue()
{
    Kernel &k = K();
    uint64_t now = k.virtualNow.load();
    while (!k.actions.empty() && k.actions.top().at <= now) {
        std::function<void()> action = k.actions.top().action;
        k.actions.pop();
        action();
    }
    for (Thread *t : k.threads)
        if (t->waiting && t->deadline <= now) Wake(t);
}

// Every device thread waits (BigLock held once).
void OnAllWaiting()
{
    Kernel &k = K();
    k.idleGeneration++;
    // Only when someone waits for it: this runs at every virtual clock step.
    if (k.idleWaiters) k.idleWake.notify_all();
    bool live = Live();
    if (k.config.manualClock || k.advancing || (!live && k.threads.empty())) return;
    k.advancing = true;
    // The wall clock is read only when an event lies past the last reading:
    // an older reading is never ahead of it, and a batch of twenty events
    // then reads it once or twice instead of twenty times.
    uint64_t &wall = k.wallSeen;
    if (!live) wall = kNoDeadline;
    while (k.running == 0) {
        uint64_t now = k.virtualNow.load();
        uint64_t next = EarliestEvent();
        if (next != kNoDeadline) next = ProcessorFreeAt(next > now ? next : now);
        if (live && next > wall) wall = WallMs();
        if (next == kNoDeadline || (live && next > wall)) {
            if (!live) break; // nothing due ever: wait for the outside world
            FollowHostShareIfDue();
            // Nothing more is due up to the wall clock: catch up with it, and
            // sleep until the next event or until it is a slack ahead again.
            if (wall > now) k.virtualNow.store(wall);
            uint64_t paceAt = wall + kSlackMs;
            k.paceTarget = next == kNoDeadline ? kNoDeadline : next > paceAt ? next : paceAt;
            Thread *me = current;
            if (me && me->waiting) {
                k.pacer = me; // about to sleep in BlockCurrent
            } else {
                // A thread ended or the host changed the schedule: hand the
                // watch to a waiting thread.
                if (!k.pacer || !k.pacer->waiting) {
                    k.pacer = nullptr;
                    for (Thread *t : k.threads)
                        if (t->waiting) k.pacer = t;
                }
                if (k.pacer) Nudge(k.pacer);
            }
            break;
        }
        if (next > now) k.virtualNow.store(next);
        FireDue();
    }
    k.advancing = false;
}

void RunningDown()
{
    if (--K().running == 0) OnAllWaiting();
}

std::u16string Lower(const std::u16string &s)
{
    std::u16string r = s;
    for (char16_t &c : r)
        if (c >= 'A' && c <= 'Z') c = (char16_t)(c + 32);
    return r;
}

std::u16string FilePart(const std::u16string &s)
{
    size_t slash = s.find_last_of(u"\\/");
    return slash == std::u16string::npos ? s : s.substr(slash + 1);
}

std::shared_ptr<Process> NewProcess(const std::u16string &image, const std::u16string &path)
{
    Kernel &k = K();
    auto p = std::make_shared<Process>();
    DWORD n = ++k.processCount;
    p->id = 0x40000000 + n;
    p->image = image;
    p->path = path;
    p->module = (HINSTANCE)(uintptr_t)(0x01000000 + (uintptr_t)n * 0x10000);
    k.processes[p->id] = p;
    return p;
}

void ProcessEnded(Process *p)
{
    p->ended = true;
    if (p->exitCode == STILL_ACTIVE) p->exitCode = 0;
    ReleaseProcessLibraries(p);
    WakeAll();
}

// Last steps of a device thread, on the thread itself (BigLock held once).
void FinishThread(const std::shared_ptr<Thread> &t, DWORD code)
{
    Kernel &k = K();
    t->tearingDown = true;
    DestroyThreadWindows(t.get());
    ReleaseThreadQueue(t.get());
    t->finished = true;
    t->exitCode = code;
    k.threads.erase(std::remove(k.threads.begin(), k.threads.end(), t.get()), k.threads.end());
    Process *p = t->process.get();
    p->threads.erase(std::remove(p->threads.begin(), p->threads.end(), t.get()), p->threads.end());
    auto it = k.byId.find(t->id);
    if (it != k.byId.end() && it->second == t) k.byId.erase(it);
    CountObject(KindThread, -1);
    if (k.pacer == t.get()) k.pacer = nullptr;
    if (p->threads.empty()) ProcessEnded(p);
    WakeAll();
    RunningDown();
}

// The program's entry returned: the process ends, as when a program's
// WinMain returns on the device; other threads leave at their next call.
void EndProcessFromMain(Process *p, int code)
{
    p->exiting = true;
    p->exitCode = code;
    for (Thread *t : p->threads) {
        if (t == current) continue;
        t->terminate = true;
        Wake(t);
    }
}

typedef std::function<DWORD()> Body;

// ------------------------------------------------------------ processor

} // namespace
} // namespace dev

#ifndef __x86_64__
#error "the device's processor switches stacks in x86-64 assembly"
#endif

// Saves the callee-saved registers and the floating-point control words on
// the current stack, stores the stack pointer in *save, and resumes the
// stack at load where it was saved (or a new fiber's prepared frame). No
// signal mask is saved or restored, unlike swapcontext: a system call less
// per switch, and the address sanitizer is told of each switch directly.
extern "C" void DeviceSwitchStack(void **save, void *load);
extern "C" void DeviceFiberThunk();
extern "C" void DeviceFiberStart(dev::Thread *t);
asm(R"(
    .text
    .globl DeviceSwitchStack
    .type DeviceSwitchStack, @function
DeviceSwitchStack:
    pushq %rbp
    pushq %rbx
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq $8, %rsp
    stmxcsr (%rsp)
    fnstcw 4(%rsp)
    movq %rsp, (%rdi)
    movq %rsi, %rsp
    ldmxcsr (%rsp)
    fldcw 4(%rsp)
    addq $8, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbx
    popq %rbp
    ret
    .size DeviceSwitchStack, .-DeviceSwitchStack

    .globl DeviceFiberThunk
    .type DeviceFiberThunk, @function
DeviceFiberThunk:
    movq %r12, %rdi
    call DeviceFiberStart@PLT
    ud2
    .size DeviceFiberThunk, .-DeviceFiberThunk
)");

namespace dev {
namespace {

// A fiber's stack: mapped as needed, as a host thread's is.
const size_t kFiberStackBytes = 8u << 20;
// Fiber runs between settlings of their times: under a second of an idle
// live device.
const int kRunsPerSettle = 64;

// The address sanitizer keeps its own record of which stack is in use.
void SwitchStart(void **fakeStack, const void *bottom, size_t size)
{
#if DEVICE_ASAN
    __sanitizer_start_switch_fiber(fakeStack, bottom, size);
#else
    (void)fakeStack, (void)bottom, (void)size;
#endif
}

void SwitchFinish(void *fakeStack, const void **bottomOld, size_t *sizeOld)
{
#if DEVICE_ASAN
    __sanitizer_finish_switch_fiber(fakeStack, bottomOld, sizeOld);
#else
    (void)fakeStack, (void)bottomOld, (void)sizeOld;
#endif
}

// CLOCK_THREAD_CPUTIME_ID (this host thread's processor time) or
// CLOCK_MONOTONIC (the wall clock), in ns.
uint64_t ClockNs(clockid_t clock)
{
    struct timespec at;
    if (clock_gettime(clock, &at) != 0) return 0;
    return (uint64_t)at.tv_sec * 1000000000u + (uint64_t)at.tv_nsec;
}

// The processor's thread clock is a system call to read (some microseconds,
// a fifth of a live batch of the 1 ms timer's arrivals); the wall clock is
// not. So each run of a fiber is timed on the wall clock, and every
// kRunsPerSettle runs the processor time used since the last settling is
// shared out among the fibers that ran, in proportion. The processor's own
// steps between runs go to the fibers with the rest, as they did when every
// run was read.
void SettleFiberTimes()
{
    Kernel &k = K();
    uint64_t now = ClockNs(CLOCK_THREAD_CPUTIME_ID);
    uint64_t used = now > k.processorCpuMark ? now - k.processorCpuMark : 0;
    k.processorCpuMark = now;
    uint64_t wall = 0;
    for (Thread *t : k.unsettled)
        wall += t->sliceNs;
    for (Thread *t : k.unsettled) {
        t->cpuNs += wall ? (uint64_t)((unsigned __int128)used * t->sliceNs / wall) : 0;
        t->sliceNs = 0;
    }
    k.unsettled.clear();
}

// On a fiber, BigLock held once: give the processor back. Returns when the
// processor runs the fiber again (never, when it has ended).
void LeaveFiber(Thread *t, bool ended)
{
    Kernel &k = K();
    SwitchStart(ended ? nullptr : &t->fakeStack, k.processorStack, k.processorStackSize);
    DeviceSwitchStack(&t->savedStack, k.processorSavedStack);
    SwitchFinish(t->fakeStack, &k.processorStack, &k.processorStackSize);
}

// Everything of the fiber's own that needs destroying lives in this frame,
// so it is gone before the fiber leaves its stack for good.
__attribute__((noinline)) void RunFiberBody(Thread *t)
{
    Kernel &k = K();
    BigLock().unlock(); // the processor runs a fiber holding it once
    DWORD code = 0;
    bool terminated = false;
    try {
        code = t->body();
    } catch (ThreadTerminated &) {
        terminated = true;
    }
    t->body = nullptr; // captured state goes before the final locked steps
    BigLock().lock();
    Process *p = t->process.get();
    if (terminated)
        code = p->exitCode == STILL_ACTIVE ? 0 : (DWORD)p->exitCode;
    else if (t->mainThread && !p->exiting)
        EndProcessFromMain(p, (int)code);
    for (const std::shared_ptr<Thread> &f : k.fibers)
        if (f.get() == t) {
            FinishThread(f, code);
            break;
        }
    t->stackDone = true;
}

} // namespace
} // namespace dev

extern "C" void DeviceFiberStart(dev::Thread *t)
{
    using namespace dev;
    Kernel &k = K();
    SwitchFinish(nullptr, &k.processorStack, &k.processorStackSize);
    RunFiberBody(t);
    LeaveFiber(t, true);
    __builtin_unreachable();
}

namespace dev {
namespace {

// A new fiber's stack as DeviceSwitchStack leaves a stack it switches away
// from: control words, the six saved registers (the thread in r12, for the
// thunk) and the address to return to, with the stack 16-byte aligned once
// that is popped, as a call needs.
void PrepareFiberStack(Thread *t)
{
    uintptr_t top = ((uintptr_t)t->stack + t->stackSize) & ~(uintptr_t)15;
    uint64_t *frame = (uint64_t *)(top - 80);
    uint32_t mxcsr = 0;
    uint16_t fpu = 0;
    asm volatile("stmxcsr %0" : "=m"(mxcsr));
    asm volatile("fnstcw %0" : "=m"(fpu));
    frame[0] = mxcsr | ((uint64_t)fpu << 32);
    frame[1] = frame[2] = frame[3] = 0; // r15, r14, r13
    frame[4] = (uint64_t)(uintptr_t)t;  // r12
    frame[5] = frame[6] = 0;            // rbx, rbp
    frame[7] = (uint64_t)(uintptr_t)DeviceFiberThunk;
    t->savedStack = frame;
}

void ReleaseFiber(Thread *t)
{
    Kernel &k = K();
    // A wake during its last steps may have queued it again.
    k.ready.erase(std::remove(k.ready.begin(), k.ready.end(), t), k.ready.end());
    // Its record may outlive the processor's next settling: its last runs
    // count at their wall time.
    k.unsettled.erase(std::remove(k.unsettled.begin(), k.unsettled.end(), t), k.unsettled.end());
    t->cpuNs += t->sliceNs;
    t->sliceNs = 0;
    munmap(t->stack, t->stackSize);
    t->stack = nullptr;
    for (size_t i = 0; i < k.fibers.size(); i++)
        if (k.fibers[i].get() == t) {
            k.fibers.erase(k.fibers.begin() + (long)i);
            break;
        }
    k.hostWake.notify_all();
}

// The device's processor. It runs the woken fibers in turn, each until it
// waits; a hand-over between device threads is then a switch of stacks on
// one host thread rather than a wake-up of another host thread, which cost
// the host several microseconds each time, and the device's threads
// cannot run side by side, as they cannot on the device. With nothing to
// run it sleeps until a fiber is woken (from a host thread: input, a
// signal, a test) or, live, until the wall clock is due to move the device
// clock on.
void ProcessorMain()
{
    Kernel &k = K();
    pthread_setname_np(pthread_self(), "device");
    std::recursive_mutex &m = BigLock();
    m.lock();
    k.processorCpuMark = ClockNs(CLOCK_THREAD_CPUTIME_ID);
    int runsUnsettled = 0;
    for (;;) {
        if (!k.ready.empty()) {
            Thread *t = k.ready.front();
            k.ready.pop_front();
            t->queued = false;
            current = t;
            void *fakeStack = nullptr;
            uint64_t start = ClockNs(CLOCK_MONOTONIC);
            SwitchStart(&fakeStack, t->stack, t->stackSize);
            DeviceSwitchStack(&k.processorSavedStack, t->savedStack);
            SwitchFinish(fakeStack, nullptr, nullptr);
            current = nullptr;
            if (t->sliceNs == 0) k.unsettled.push_back(t);
            t->sliceNs += ClockNs(CLOCK_MONOTONIC) - start + 1; // never 0 once it ran: it is listed
            if (t->stackDone) ReleaseFiber(t);
            // Until the next settling a reader sees the wall time of the runs.
            if (++runsUnsettled >= kRunsPerSettle) {
                SettleFiberTimes();
                runsUnsettled = 0;
            }
            continue;
        }
        if (k.processorStop && k.fibers.empty()) break;
        // The wall clock moved on (or the schedule changed): run what is due.
        if (Live() && k.running == 0) {
            OnAllWaiting();
            if (!k.ready.empty()) continue;
        }
        uint32_t seen = k.processorWord.load(std::memory_order_acquire);
        Thread *pacer = k.pacer;
        bool pacing = pacer && pacer->fiber && pacer->waiting && k.running == 0 && k.paceTarget != kNoDeadline;
        SteadyClock::time_point until =
            pacing ? k.realStart + std::chrono::milliseconds(k.paceTarget) : SteadyClock::time_point::max();
        k.processorSleeping = true;
        m.unlock();
        WaitWord(k.processorWord, seen, until);
        m.lock();
        k.processorSleeping = false;
    }
    m.unlock();
}

DWORD nextFiberId = 0x20000000; // never reused while the emulator runs

DWORD Launch(const std::shared_ptr<Process> &process, Body body, bool mainThread, std::shared_ptr<Thread> *out)
{
    Kernel &k = K();
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    void *stack = mmap(nullptr, kFiberStackBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED) return 0;
    mprotect(stack, 4096, PROT_NONE); // an overflow faults rather than writing over a neighbour
    auto t = std::make_shared<Thread>();
    t->process = process;
    t->startTime = Now();
    t->fiber = true;
    t->body = std::move(body);
    t->mainThread = mainThread;
    t->stack = stack;
    t->stackSize = kFiberStackBytes;
    nextFiberId += 4;
    t->id = nextFiberId;
    PrepareFiberStack(t.get());

    k.running++; // runs from this moment, so the clock cannot move before it starts
    k.threads.push_back(t.get());
    process->threads.push_back(t.get());
    k.byId[t->id] = t;
    k.fibers.push_back(t);
    CountObject(KindThread, 1);
    t->queued = true;
    k.ready.push_back(t.get());
    if (!k.processorHost.joinable()) {
        k.processorStop = false;
        k.processorHost = std::thread(ProcessorMain);
    }
    NudgeProcessor();
    if (out) *out = t;
    return t->id;
}

HANDLE NewHandle(HandleRecord record)
{
    Kernel &k = K();
    uintptr_t h = k.nextHandle;
    k.nextHandle += 4;
    k.handles[h] = std::move(record);
    return (HANDLE)h;
}

const HANDLE kCurrentThreadPseudo = (HANDLE)(LONG_PTR)-2;

std::shared_ptr<Thread> ThreadOfHandle(HANDLE h)
{
    if (h == kCurrentThreadPseudo) {
        if (!current) return nullptr;
        auto it = K().byId.find(current->id);
        return it == K().byId.end() ? nullptr : it->second;
    }
    auto it = K().handles.find((uintptr_t)h);
    if (it == K().handles.end()) return nullptr;
    return it->second.thread;
}

} // namespace

// ------------------------------------------------------------ shared state

std::recursive_mutex &BigLock()
{
    static std::recursive_mutex *lock = new std::recursive_mutex;
    return *lock;
}

Thread *CurrentThread()
{
    return current;
}

Thread *FindThread(DWORD id)
{
    auto it = K().byId.find(id);
    return it == K().byId.end() ? nullptr : it->second.get();
}

std::shared_ptr<Process> FindProcess(DWORD id)
{
    auto it = K().processes.find(id);
    return it == K().processes.end() ? nullptr : it->second;
}

const std::vector<Thread *> &AllThreads()
{
    return K().threads;
}

void CheckTerminate()
{
    Thread *t = current;
    if (t && t->terminate && !t->tearingDown && !t->adopted) throw ThreadTerminated();
}

void Wake(Thread *t)
{
    if (t && t->waiting) {
        t->waiting = false;
        t->woken = true;
        K().running++;
        if (t->fiber) {
            // A fiber that wakes itself (its own deadline, reached by the
            // clock its wait moved) is running already: it just goes on. This
            // is the 1 ms timer's path, so nothing else is done for it.
            if (!t->queued && t != current) {
                t->queued = true;
                K().ready.push_back(t);
                NudgeProcessor();
            }
            return;
        }
        t->wakeWord.fetch_add(1, std::memory_order_release);
        // Under the virtual clock a thread often wakes itself: no call then.
        if (t->sleeping) syscall(SYS_futex, &t->wakeWord, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    }
}

void WakeAll()
{
    for (Thread *t : K().threads)
        Wake(t);
    K().hostWake.notify_all();
}

void NotifyHosts()
{
    K().hostWake.notify_all();
}

namespace {

// Sleep while word still holds seen, until woken or until the given time
// of the steady clock (max: no limit). Spurious returns are for the caller
// to sort out.
void WaitWord(std::atomic<uint32_t> &word, uint32_t seen, SteadyClock::time_point until)
{
    if (until == SteadyClock::time_point::max()) {
        syscall(SYS_futex, &word, FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
        return;
    }
    // The steady clock is CLOCK_MONOTONIC, which an absolute
    // FUTEX_WAIT_BITSET measures against.
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
    if (ns < 0) ns = 0;
    struct timespec at = {(time_t)(ns / 1000000000), (long)(ns % 1000000000)};
    syscall(SYS_futex, &word, FUTEX_WAIT_BITSET_PRIVATE, seen, &at, nullptr, FUTEX_BITSET_MATCH_ANY);
}

} // namespace

bool BlockCurrent(uint64_t deadline)
{
    Kernel &k = K();
    Thread *t = current;
    std::recursive_mutex &m = BigLock();
    if (!t) {
        // A host thread: replies and ends are announced on hostWake. Device
        // time may not move for it, so time-outs are polled.
        int depth = HoldOnce();
        if (deadline == kNoDeadline)
            k.hostWake.wait(m);
        else if (Now() < deadline)
            k.hostWake.wait_for(m, std::chrono::milliseconds(Live() ? kSlackMs : 1));
        RestoreDepth(depth);
        return deadline != kNoDeadline && Now() >= deadline;
    }
    if (t->tearingDown) return true;
    CheckTerminate();
    if (deadline != kNoDeadline && Now() >= deadline) return true;
    int depth = HoldOnce();
    t->waiting = true;
    t->woken = false;
    t->deadline = deadline;
    RunningDown();
    if (t->woken && k.running > 1 && k.config.virtualTime && !k.config.manualClock) {
        // This wait stepped the virtual clock and woke other threads along
        // with this one. They go first, so due threads run in the same order
        // whether they are fibers or adopted host threads (which, running
        // beside them, would contend for BigLock and soon wait on them
        // anyway). Its deadline has passed, so it is the first event once
        // they all wait again.
        t->woken = false;
        t->waiting = true;
        k.running--;
    }
    if (t->fiber) {
        while (!t->woken)
            LeaveFiber(t, false);
        t->deadline = kNoDeadline;
        RestoreDepth(depth);
        CheckTerminate();
        return deadline != kNoDeadline && Now() >= deadline;
    }
    while (!t->woken) {
        // An adopted host thread: a bare futex rather than a condition
        // variable, whose internal mutex costs a second system call per
        // wake-up. Wake bumps the word under BigLock, so a wake between the
        // unlock and the wait makes the wait return at once.
        uint32_t seen = t->wakeWord.load(std::memory_order_acquire);
        bool pacing = k.pacer == t && k.running == 0 && k.paceTarget != kNoDeadline;
        SteadyClock::time_point until =
            pacing ? k.realStart + std::chrono::milliseconds(k.paceTarget) : SteadyClock::time_point::max();
        t->sleeping = true;
        m.unlock();
        WaitWord(t->wakeWord, seen, until);
        m.lock();
        t->sleeping = false;
        // The wall clock moved on (or the schedule changed): run what is due.
        if (!t->woken && Live() && k.running == 0) OnAllWaiting();
    }
    t->deadline = kNoDeadline;
    RestoreDepth(depth);
    CheckTerminate();
    return deadline != kNoDeadline && Now() >= deadline;
}

// ------------------------------------------------------------------ clock

uint64_t Now()
{
    return K().virtualNow.load(std::memory_order_relaxed);
}

DWORD TickOf(uint64_t deviceTime)
{
    return (DWORD)(K().config.tickStart + deviceTime);
}

void ScheduleAt(uint64_t atMs, std::function<void()> action)
{
    Kernel &k = K();
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    k.actions.push(ScheduledAction{atMs, k.actionSequence++, std::move(action)});
    if (k.running == 0 && !k.advancing) {
        int depth = HoldOnce();
        OnAllWaiting();
        RestoreDepth(depth);
    }
}

void HoldClock()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    K().holds++;
    K().running++;
}

void ReleaseClock()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    if (K().holds == 0) return;
    K().holds--;
    int depth = HoldOnce();
    RunningDown();
    RestoreDepth(depth);
}

namespace {

// The calling device thread stops counting as running while it drives the
// clock from outside (AdvanceClock, Settle); returns whether it did count.
bool StepAside()
{
    Thread *t = current;
    if (!t || t->waiting) return false;
    RunningDown();
    return true;
}

void StepBack(bool aside)
{
    if (aside) K().running++;
}

void WaitAllWaiting(std::recursive_mutex &m)
{
    K().idleWaiters++;
    while (K().running > 0)
        K().idleWake.wait(m);
    K().idleWaiters--;
}

} // namespace

void AdvanceClock(uint32_t milliseconds)
{
    Kernel &k = K();
    std::recursive_mutex &m = BigLock();
    std::lock_guard<std::recursive_mutex> lock(m);
    int depth = HoldOnce();
    bool aside = StepAside();
    uint64_t target = Now() + milliseconds;
    if (k.config.manualClock) {
        for (;;) {
            WaitAllWaiting(m);
            uint64_t next = EarliestEvent();
            if (next != kNoDeadline) next = ProcessorFreeAt(next > Now() ? next : Now());
            if (next == kNoDeadline || next > target) break;
            if (next > k.virtualNow.load()) k.virtualNow.store(next);
            FireDue();
        }
        if (target > k.virtualNow.load()) k.virtualNow.store(target);
        WaitAllWaiting(m);
    } else {
        // The clock runs by itself; an event at the target makes it get there.
        bool reached = false;
        k.actions.push(ScheduledAction{target, k.actionSequence++, [&reached] {
                                           reached = true;
                                           K().idleWake.notify_all();
                                       }});
        k.idleWaiters++;
        if (k.running == 0) OnAllWaiting();
        while (!reached) {
            if (!Live()) {
                k.idleWake.wait(m);
                continue;
            }
            // Live, no device thread may be left to pace the clock.
            k.idleWake.wait_for(m, std::chrono::milliseconds(kSlackMs));
            if (!reached && k.running == 0) OnAllWaiting();
        }
        k.idleWaiters--;
    }
    StepBack(aside);
    RestoreDepth(depth);
}

void Settle()
{
    Kernel &k = K();
    std::recursive_mutex &m = BigLock();
    std::lock_guard<std::recursive_mutex> lock(m);
    int depth = HoldOnce();
    bool aside = StepAside();
    uint64_t generation = k.idleGeneration;
    k.idleWaiters++;
    while (k.running > 0 && k.idleGeneration == generation)
        k.idleWake.wait(m);
    k.idleWaiters--;
    StepBack(aside);
    RestoreDepth(depth);
}

// ---------------------------------------------------------------- threads

DWORD AdoptCurrentThread(DWORD processId)
{
    Kernel &k = K();
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    if (current) return current->id;
    std::shared_ptr<Process> process =
        processId ? FindProcess(processId) : NewProcess(u"test.exe", u"\\Windows\\test.exe");
    if (!process || process->ended) return 0;
    auto t = std::make_shared<Thread>();
    t->process = process;
    t->adopted = true;
    t->startTime = Now();
    t->id = OwnTid();
    k.running++;
    k.threads.push_back(t.get());
    process->threads.push_back(t.get());
    k.byId[t->id] = t;
    CountObject(KindThread, 1);
    current = t.get();
    return t->id;
}

void ReleaseCurrentThread()
{
    Kernel &k = K();
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    Thread *t = current;
    if (!t || !t->adopted) return;
    int depth = HoldOnce();
    std::shared_ptr<Thread> keep = k.byId[t->id];
    FinishThread(keep, 0);
    current = nullptr;
    RestoreDepth(depth);
}

DWORD StartDeviceThread(DWORD processId, std::function<void()> body)
{
    std::shared_ptr<Process> process;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        process = processId ? FindProcess(processId) : NewProcess(u"test.exe", u"\\Windows\\test.exe");
        if (!process || process->ended || process->exiting) return 0;
    }
    return Launch(
        process,
        [body] {
            body();
            return (DWORD)0;
        },
        false, nullptr);
}

std::vector<DWORD> DeviceProcesses()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::vector<DWORD> ids;
    for (auto &entry : K().processes)
        if (!entry.second->ended) ids.push_back(entry.first);
    return ids;
}

std::vector<DWORD> DeviceThreadsOf(DWORD processId)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::vector<DWORD> ids;
    std::shared_ptr<Process> p = FindProcess(processId);
    if (p)
        for (Thread *t : p->threads)
            ids.push_back(t->id);
    return ids;
}

// --------------------------------------------------------------- programs

void RegisterProgram(const std::u16string &imageName, const std::u16string &path, ProgramEntry entry,
                     const uint8_t *resources, size_t resourceSize)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    auto &programs = K().programs;
    for (ProgramRecord &p : programs) {
        if (Lower(p.image) == Lower(imageName)) {
            p = ProgramRecord{imageName, path, entry, resources, resourceSize};
            return;
        }
    }
    programs.push_back(ProgramRecord{imageName, path, entry, resources, resourceSize});
}

DWORD StartProgram(const std::u16string &imageName, const std::u16string &commandLine, DWORD *mainThreadId)
{
    std::shared_ptr<Process> process;
    ProgramRecord program{};
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        std::u16string wanted = Lower(imageName), wantedFile = Lower(FilePart(imageName));
        bool found = false;
        for (const ProgramRecord &p : K().programs) {
            if (Lower(p.image) == wanted || Lower(p.path) == wanted || Lower(p.image) == wantedFile) {
                program = p;
                found = true;
                break;
            }
        }
        if (!found) return 0;
        process = NewProcess(program.image, program.path);
        process->resources = program.resources;
        process->resourceSize = program.resourceSize;
    }
    HINSTANCE module = process->module;
    ProgramEntry entry = program.entry;
    std::u16string line = commandLine;
    DWORD tid = Launch(
        process,
        [entry, module, line]() mutable {
            std::vector<WCHAR> buffer(line.begin(), line.end());
            buffer.push_back(0);
            return (DWORD)entry(module, buffer.data());
        },
        true, nullptr);
    if (mainThreadId) *mainThreadId = tid;
    return process->id;
}

bool WaitProgram(DWORD processId, int *exitCode, uint32_t timeoutMs)
{
    Kernel &k = K();
    std::recursive_mutex &m = BigLock();
    std::lock_guard<std::recursive_mutex> lock(m);
    int depth = HoldOnce();
    auto until = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    bool ended = false;
    for (;;) {
        std::shared_ptr<Process> p = FindProcess(processId);
        if (!p || p->ended) {
            ended = true;
            if (exitCode) *exitCode = p ? p->exitCode : 0;
            break;
        }
        if (k.hostWake.wait_until(m, until) == std::cv_status::timeout && SteadyClock::now() >= until) break;
    }
    RestoreDepth(depth);
    return ended;
}

bool DeviceThreadFigures(DWORD threadId, uint64_t *user100ns, uint64_t *startMs, int *priority)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    Thread *t = FindThread(threadId);
    if (!t || !t->fiber) return false;
    if (user100ns) *user100ns = (t->cpuNs + t->sliceNs) / 100;
    if (startMs) *startMs = t->startTime;
    if (priority) *priority = t->priority;
    return true;
}

void LetOthersRun()
{
    Thread *t = current;
    if (!t || !t->fiber) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    CheckTerminate();
    Kernel &k = K();
    if (k.ready.empty()) return;
    int depth = HoldOnce();
    // Still running, so the clock stays where it is; back in the queue
    // behind the threads that are ready now.
    t->queued = true;
    k.ready.push_back(t);
    LeaveFiber(t, false);
    RestoreDepth(depth);
}

bool ProgramRunning(DWORD processId)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::shared_ptr<Process> p = FindProcess(processId);
    return p && !p->ended;
}

DWORD CurrentProcess()
{
    return current ? current->process->id : 0;
}

std::u16string ProcessPath(DWORD processId)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::shared_ptr<Process> p = FindProcess(processId);
    return p ? p->path : std::u16string();
}

HINSTANCE ModuleOfProcess(DWORD processId)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::shared_ptr<Process> p = FindProcess(processId);
    return p ? p->module : nullptr;
}

DWORD ProcessOfModule(HMODULE module)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    for (auto &entry : K().processes)
        if (entry.second->module == module) return entry.first;
    return 0;
}

bool ModuleResources(HMODULE module, const uint8_t **bytes, size_t *size)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    for (auto &entry : K().processes) {
        Process &p = *entry.second;
        if (p.module == module && p.resources) {
            *bytes = p.resources;
            *size = p.resourceSize;
            return true;
        }
    }
    return false;
}

// ------------------------------------------------------------------ reset

void OnReset(std::function<void()> action)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    K().resetHooks.push_back(std::move(action));
}

const Config &CurrentConfig()
{
    return K().config;
}

void ResetDevice(const Config &config)
{
    Kernel &k = K();
    ReleaseCurrentThread();
    std::thread processor;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        int depth = HoldOnce();
        for (Thread *t : k.threads)
            t->terminate = true;
        WakeAll();
        // The processor ends once every fiber has left.
        k.processorStop = true;
        NudgeProcessor();
        processor = std::move(k.processorHost);
        RestoreDepth(depth);
    }
    // A lock held by the caller would keep the threads from leaving.
    int depth = LockDepth();
    for (int i = 0; i < depth; i++)
        BigLock().unlock();
    if (processor.joinable()) processor.join();
    for (int i = 0; i < depth; i++)
        BigLock().lock();

    std::vector<std::function<void()>> hooks;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        k.processorStop = false;
        k.ready.clear();
        // Threads adopted by other host threads and never released.
        for (Thread *t : k.threads) {
            t->finished = true;
            CountObject(KindThread, -1);
        }
        k.threads.clear();
        k.byId.clear();
        ResetUser();
        ResetSystem();
        k.processes.clear();
        k.processCount = 0;
        k.handles.clear();
        k.programs.clear();
        while (!k.actions.empty())
            k.actions.pop();
        k.running = 0;
        k.holds = 0;
        k.advancing = false;
        k.pacer = nullptr;
        k.paceTarget = kNoDeadline;
        k.wallSeen = 0;
        ResetProcessor();
        k.config = config;
        k.realStart = SteadyClock::now();
        k.virtualNow.store(0);
        ResetObjectCounts();
        hooks = k.resetHooks;
    }
    for (auto &hook : hooks)
        hook();
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    RebuildScreen();
}

} // namespace dev

using namespace dev;

// ---------------------------------------------------------------- Win32 side

DWORD GetTickCount(void)
{
    CheckTerminate();
    return TickOf(Now());
}

void Sleep(DWORD milliseconds)
{
    Thread *t = current;
    if (!t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds == INFINITE ? 0 : milliseconds));
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    CheckTerminate();
    if (milliseconds == 0) return;
    uint64_t deadline = milliseconds == INFINITE ? kNoDeadline : Now() + milliseconds;
    while (!BlockCurrent(deadline)) {
        if (t->tearingDown) return;
    }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    Kernel &k = K();
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    CheckTerminate();
    auto it = k.handles.find((uintptr_t)handle);
    if (it == k.handles.end()) {
        SetLastError(6); // ERROR_INVALID_HANDLE
        return WAIT_FAILED;
    }
    HandleRecord record = it->second;
    uint64_t deadline = milliseconds == INFINITE ? kNoDeadline : Now() + milliseconds;
    for (;;) {
        bool signalled = record.thread ? record.thread->finished : record.process->ended;
        if (signalled) return WAIT_OBJECT_0;
        if (deadline != kNoDeadline && Now() >= deadline) return WAIT_TIMEOUT;
        if (current && current->tearingDown) return WAIT_TIMEOUT;
        BlockCurrent(deadline);
    }
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                    LPDWORD threadId)
{
    if (!start) return nullptr;
    std::shared_ptr<Process> process;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        CheckTerminate();
        process = current ? current->process : NewProcess(u"test.exe", u"\\Windows\\test.exe");
        if (process->exiting) return nullptr;
    }
    std::shared_ptr<Thread> t;
    DWORD id = Launch(
        process, [start, parameter] { return start(parameter); }, false, &t);
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    if (threadId) *threadId = id;
    return NewHandle(HandleRecord{t, nullptr});
}

BOOL SetThreadPriority(HANDLE thread, int priority)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::shared_ptr<Thread> t = ThreadOfHandle(thread);
    if (!t || priority < THREAD_PRIORITY_TIME_CRITICAL || priority > THREAD_PRIORITY_IDLE) {
        SetLastError(t ? 87 : 6); // ERROR_INVALID_PARAMETER, ERROR_INVALID_HANDLE
        return FALSE;
    }
    t->priority = priority;
    return TRUE;
}

int GetThreadPriority(HANDLE thread)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::shared_ptr<Thread> t = ThreadOfHandle(thread);
    if (!t) {
        SetLastError(6);
        return 0x7FFFFFFF; // THREAD_PRIORITY_ERROR_RETURN
    }
    return t->priority;
}

DWORD GetCurrentThreadId(void)
{
    return current ? current->id : OwnTid();
}

DWORD GetCurrentProcessId(void)
{
    return current ? current->process->id : (DWORD)getpid();
}

HANDLE GetCurrentThread(void)
{
    return kCurrentThreadPseudo;
}

BOOL CloseHandle(HANDLE handle)
{
    if (handle == kCurrentThreadPseudo) return TRUE;
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    if (!K().handles.erase((uintptr_t)handle)) {
        SetLastError(6);
        return FALSE;
    }
    return TRUE;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::shared_ptr<Thread> t = ThreadOfHandle(thread);
    if (!t || !exitCode) {
        SetLastError(6);
        return FALSE;
    }
    *exitCode = t->finished ? t->exitCode : STILL_ACTIVE;
    return TRUE;
}

BOOL GetThreadTimes(HANDLE thread, LPFILETIME creation, LPFILETIME exitTime, LPFILETIME kernel, LPFILETIME user)
{
    DWORD id;
    uint64_t start = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        std::shared_ptr<Thread> t = ThreadOfHandle(thread);
        // As on the device, a thread identifier may stand in for a handle.
        id = t ? t->id : (DWORD)(uintptr_t)thread;
        Thread *live = FindThread(id);
        if (live) start = live->startTime;
    }
    uint64_t user100ns = 0, kernel100ns = 0;
    if (!DeviceThreadFigures(id, &user100ns, nullptr, nullptr) && !LinuxThreadTimes(id, &user100ns, &kernel100ns)) {
        SetLastError(6);
        return FALSE;
    }
    auto put = [](LPFILETIME f, uint64_t v) {
        if (f) {
            f->dwLowDateTime = (DWORD)v;
            f->dwHighDateTime = (DWORD)(v >> 32);
        }
    };
    put(creation, start * 10000);
    put(exitTime, 0);
    put(kernel, kernel100ns);
    put(user, user100ns);
    return TRUE;
}

BOOL CreateProcessW(LPCWSTR imageName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                    LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION processInformation)
{
    CheckTerminate();
    if (!imageName) {
        SetLastError(2); // ERROR_FILE_NOT_FOUND
        return FALSE;
    }
    DWORD tid = 0;
    DWORD pid = StartProgram(imageName, commandLine ? std::u16string(commandLine) : std::u16string(), &tid);
    if (!pid) {
        SetLastError(2);
        return FALSE;
    }
    if (processInformation) {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        Kernel &k = K();
        auto thread = k.byId.count(tid) ? k.byId[tid] : nullptr;
        processInformation->hProcess = NewHandle(HandleRecord{nullptr, FindProcess(pid)});
        processInformation->hThread = thread ? NewHandle(HandleRecord{thread, nullptr}) : nullptr;
        processInformation->dwProcessId = pid;
        processInformation->dwThreadId = tid;
    }
    return TRUE;
}
