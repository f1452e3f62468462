// The device's "toolhelp" library over the real /proc, and its lookups by
// identifier.
#include "platform/host/kernel.h"
#include "platform/host/toolhelp.h"
#include "platform/host/procfs.h"
#include "tests/support/res_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

const DWORD kAll = 0x80000006; // processes and threads, as the monitor asks

using support::Narrow;

DWORD LinuxThreadId()
{
    return DWORD(syscall(SYS_gettid));
}

std::u16string SelfProgram()
{
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return length > 0 ? procfs::DevicePath(path, size_t(length)) : std::u16string();
}

struct Walked {
    std::map<DWORD, PROCESSENTRY32W> processes;
    std::map<DWORD, THREADENTRY32> threads;
    std::vector<DWORD> threadOrder;
};

template <typename Proc> Proc Resolve(HMODULE library, const char16_t *name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(DeviceGetProcAddress(library, name)));
}

class Toolhelp : public ::testing::Test {
protected:
    void SetUp() override
    {
        dev::ResetDevice(dev::Config());
        dev::AdoptCurrentThread();
        library = LoadLibraryW(u"toolhelp");
        ASSERT_NE(nullptr, library);
        create = Resolve<decltype(create)>(library, u"CreateToolhelp32Snapshot");
        close = Resolve<decltype(close)>(library, u"CloseToolhelp32Snapshot");
        processFirst = Resolve<decltype(processFirst)>(library, u"Process32First");
        processNext = Resolve<decltype(processNext)>(library, u"Process32Next");
        threadFirst = Resolve<decltype(threadFirst)>(library, u"Thread32First");
        threadNext = Resolve<decltype(threadNext)>(library, u"Thread32Next");
        ASSERT_TRUE(create && close && processFirst && processNext && threadFirst && threadNext);
    }
    void TearDown() override
    {
        dev::SetSystemSource(nullptr);
        if (library) FreeLibrary(library);
        dev::ReleaseCurrentThread();
    }

    // Both walks of a snapshot from their start; nothing may be listed twice.
    Walked Walk(HANDLE snapshot)
    {
        Walked walked;
        PROCESSENTRY32W process;
        process.dwSize = sizeof process;
        for (BOOL more = processFirst(snapshot, &process); more; more = processNext(snapshot, &process))
            EXPECT_TRUE(walked.processes.emplace(process.th32ProcessID, process).second) << process.th32ProcessID;
        THREADENTRY32 thread;
        thread.dwSize = sizeof thread;
        for (BOOL more = threadFirst(snapshot, &thread); more; more = threadNext(snapshot, &thread)) {
            EXPECT_TRUE(walked.threads.emplace(thread.th32ThreadID, thread).second) << thread.th32ThreadID;
            walked.threadOrder.push_back(thread.th32ThreadID);
        }
        return walked;
    }

    HMODULE library = nullptr;
    HANDLE(WINAPI *create)(DWORD, DWORD) = nullptr;
    BOOL(WINAPI *close)(HANDLE) = nullptr;
    BOOL(WINAPI *processFirst)(HANDLE, LPPROCESSENTRY32W) = nullptr;
    BOOL(WINAPI *processNext)(HANDLE, LPPROCESSENTRY32W) = nullptr;
    BOOL(WINAPI *threadFirst)(HANDLE, LPTHREADENTRY32) = nullptr;
    BOOL(WINAPI *threadNext)(HANDLE, LPTHREADENTRY32) = nullptr;
};

} // namespace

// The times that succeed are read through the monitor's thread table (tests/threads).
TEST_F(Toolhelp, LookupsByIdentifierFailUntouchedAndCutNamesTerminated)
{
    dev::SystemTables tables;
    tables.processes = {{77, u"\\usr\\bin\\bash"}};
    tables.threads = {{503, 77, 7, 9999999, 0, true}};
    dev::SetSystemSource(&tables);
    FILETIME creation, exitTime, kernel, user;
    for (DWORD id : {503u /* its times fail */, 12345u /* no such thread */}) {
        memset(&user, 0xAA, sizeof user);
        EXPECT_FALSE(DeviceGetThreadTimes(id, &creation, &exitTime, &kernel, &user)) << id;
        EXPECT_EQ(0xAAAAAAAAu, user.dwLowDateTime) << id << ": outputs are left untouched";
    }

    struct {
        DWORD pid, size, length;
        const char *text;
    } cases[] = {
        {77, MAX_PATH, 13, "\\usr\\bin\\bash"}, {77, 5, 4, "\\usr"}, {4321, MAX_PATH, 0, ""}, // not in the tables
    };
    WCHAR name[MAX_PATH + 1];
    for (const auto &c : cases) {
        memset(name, 0xAA, sizeof name);
        EXPECT_EQ(c.length, DeviceGetProcessFileName(c.pid, name, c.size)) << c.pid << " into " << c.size;
        EXPECT_EQ(c.text, Narrow(name)) << c.pid << " into " << c.size;
        EXPECT_EQ(0xAAAA, name[c.size]) << "wrote past " << c.size;
    }
}

TEST_F(Toolhelp, LinuxAndDeviceThreadsUnderTheirOwnersAndAnEndedThreadHasNoTimes)
{
    // The test thread was adopted as a device thread of a new device process.
    const DWORD me = LinuxThreadId(), self = DWORD(getpid()), deviceProcess = GetCurrentProcessId();
    ASSERT_GE(deviceProcess, 0x40000000u);
    EXPECT_EQ(me, GetCurrentThreadId()) << "an adopted thread keeps its Linux thread id";
    // A parked host thread, not a device thread; no ASSERT may leave it running.
    std::atomic<bool> stop{false};
    std::atomic<DWORD> parked{0};
    std::thread worker([&] {
        parked = LinuxThreadId();
        while (!stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!parked)
        std::this_thread::yield();
    const DWORD id = parked;
    HANDLE snapshot = create(kAll, 0);
    Walked walked = Walk(snapshot);
    EXPECT_TRUE(close(snapshot));

    EXPECT_EQ(SelfProgram(), std::u16string(walked.processes[self].szExeFile));
    EXPECT_EQ(dev::ProcessPath(deviceProcess), std::u16string(walked.processes[deviceProcess].szExeFile));
    EXPECT_EQ(self, walked.threads[id].th32OwnerProcessID) << "the parked thread " << id;
    EXPECT_EQ(3, walked.threads[id].tpBasePri) << "a thread at nice 0 is normal";
    EXPECT_EQ(deviceProcess, walked.threads[me].th32OwnerProcessID) << "listed under its device process only";
    ASSERT_FALSE(walked.threadOrder.empty());
    EXPECT_GE(walked.threads[walked.threadOrder.front()].th32OwnerProcessID, 0x40000000u)
        << "the device's programs come first in the walk";

    WCHAR name[MAX_PATH];
    ASSERT_GT(DeviceGetProcessFileName(self, name, MAX_PATH), 0u);
    EXPECT_EQ(SelfProgram(), std::u16string(name));
    memset(name, 0xAA, sizeof name);
    EXPECT_EQ(0u, DeviceGetProcessFileName(0x7FFFFFF0u, name, MAX_PATH)) << "no such process";
    EXPECT_EQ(0, name[0]);

    FILETIME creation, exitTime, kernel, user;
    EXPECT_TRUE(DeviceGetThreadTimes(id, &creation, &exitTime, &kernel, &user)) << "still running";
    stop = true;
    worker.join();
    memset(&user, 0xAA, sizeof user);
    EXPECT_FALSE(DeviceGetThreadTimes(id, &creation, &exitTime, &kernel, &user)) << "thread " << id << " ended";
    EXPECT_EQ(0xAAAAAAAAu, user.dwLowDateTime);
}

// Threads the device starts share one host thread, so their figures come
// from the device: each its own priority, processor time and last error.
TEST_F(Toolhelp, StartedThreadsKeepTheirOwnPriorityTimesAndLastError)
{
    std::atomic<DWORD> busyId{0}, idleId{0};
    std::atomic<int> errorSeen{0};
    DWORD process = GetCurrentProcessId();
    auto waitForMessage = [] {
        MSG msg;
        GetMessageW(&msg, nullptr, 0, 0);
    };
    dev::StartDeviceThread(process, [&] {
        SetThreadPriority(GetCurrentThread(), 1);
        SetLastError(111);
        auto used = [] {
            struct timespec t;
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
        };
        for (int64_t start = used(); used() - start < 30000000;) {
        }
        busyId = GetCurrentThreadId();
        waitForMessage(); // the idle thread runs meanwhile and sets its own error
        errorSeen = (int)GetLastError();
    });
    dev::StartDeviceThread(process, [&] {
        SetLastError(222);
        idleId = GetCurrentThreadId();
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        }
    });
    for (int i = 0; i < 5000 && !(busyId && idleId); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(busyId && idleId);

    HANDLE snapshot = create(kAll, 0);
    Walked walked = Walk(snapshot);
    EXPECT_TRUE(close(snapshot));
    EXPECT_EQ(process, walked.threads[busyId].th32OwnerProcessID);
    EXPECT_EQ(1, walked.threads[busyId].tpBasePri);
    EXPECT_EQ(3, walked.threads[idleId].tpBasePri);
    FILETIME creation, exitTime, kernel, busyUser, idleUser;
    ASSERT_TRUE(DeviceGetThreadTimes(busyId, &creation, &exitTime, &kernel, &busyUser));
    ASSERT_TRUE(DeviceGetThreadTimes(idleId, &creation, &exitTime, &kernel, &idleUser));
    EXPECT_GE(busyUser.dwLowDateTime, 250000u) << "30 ms of work, in 100 ns units";
    EXPECT_LT(idleUser.dwLowDateTime, busyUser.dwLowDateTime / 2);
    // Many short runs of the idle thread, so the processor's time is shared
    // out among the threads that ran: the work stays the busy thread's.
    for (int i = 0; i < 150; i++) {
        PostThreadMessageW(idleId, WM_USER, 0, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    dev::Settle();
    ASSERT_TRUE(DeviceGetThreadTimes(busyId, &creation, &exitTime, &kernel, &busyUser));
    ASSERT_TRUE(DeviceGetThreadTimes(idleId, &creation, &exitTime, &kernel, &idleUser));
    EXPECT_GE(busyUser.dwLowDateTime, 250000u) << "after the processor's time was shared out";
    EXPECT_LT(idleUser.dwLowDateTime, busyUser.dwLowDateTime / 2);

    PostThreadMessageW(busyId, WM_USER, 0, 0);
    PostThreadMessageW(idleId, WM_QUIT, 0, 0);
    for (int i = 0; i < 5000 && !errorSeen; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(111, errorSeen);
    for (int i = 0; i < 5000 && DeviceGetThreadTimes(idleId, &creation, &exitTime, &kernel, &idleUser); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(DeviceGetThreadTimes(busyId, &creation, &exitTime, &kernel, &busyUser)) << "ended";
}
