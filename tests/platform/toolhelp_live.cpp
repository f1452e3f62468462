// The "toolhelp" library over the real /proc: this test process shows up
// with its threads, device threads under their device process only, and a
// thread that ends after the snapshot has no times.
#include "platform/host/internal.h"
#include "platform/host/procfs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <thread>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

typedef HANDLE(WINAPI *CreateProc)(DWORD, DWORD);
typedef BOOL(WINAPI *CloseProc)(HANDLE);
typedef BOOL(WINAPI *ProcessProc)(HANDLE, LPPROCESSENTRY32W);
typedef BOOL(WINAPI *ThreadProc)(HANDLE, LPTHREADENTRY32);

template <typename Proc> Proc As(FARPROC address) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(address));
}

DWORD LinuxThreadId() { return DWORD(syscall(SYS_gettid)); }

struct Walked {
    std::map<DWORD, PROCESSENTRY32W> processes;
    std::map<DWORD, THREADENTRY32> threads;
    std::vector<DWORD> threadOrder;
};

// A parked host thread (not a device thread) whose id the test knows.
class ParkedThread {
public:
    ParkedThread() : worker([this] {
        id = LinuxThreadId();
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }) {
        while (!id) std::this_thread::yield();
    }
    ~ParkedThread() { End(); }
    void End() {
        stop = true;
        if (worker.joinable()) worker.join();
    }
    std::atomic<DWORD> id{0};

private:
    std::atomic<bool> stop{false};
    std::thread worker;
};

class ToolhelpLive : public ::testing::Test {
protected:
    void SetUp() override {
        dev::ResetDevice(dev::Config());
        dev::AdoptCurrentThread();
        library = LoadLibraryW(u"toolhelp");
        ASSERT_NE(nullptr, library);
    }
    void TearDown() override {
        if (library) FreeLibrary(library);
        dev::ReleaseCurrentThread();
    }

    Walked Snapshot() {
        Walked walked;
        auto create = As<CreateProc>(DeviceGetProcAddress(library, u"CreateToolhelp32Snapshot"));
        auto close = As<CloseProc>(DeviceGetProcAddress(library, u"CloseToolhelp32Snapshot"));
        auto processFirst = As<ProcessProc>(DeviceGetProcAddress(library, u"Process32First"));
        auto processNext = As<ProcessProc>(DeviceGetProcAddress(library, u"Process32Next"));
        auto threadFirst = As<ThreadProc>(DeviceGetProcAddress(library, u"Thread32First"));
        auto threadNext = As<ThreadProc>(DeviceGetProcAddress(library, u"Thread32Next"));
        HANDLE snapshot = create(0x80000006, 0);
        PROCESSENTRY32W process;
        process.dwSize = sizeof process;
        for (BOOL more = processFirst(snapshot, &process); more; more = processNext(snapshot, &process)) {
            EXPECT_EQ(0u, walked.processes.count(process.th32ProcessID)) << "process listed twice: "
                                                                         << process.th32ProcessID;
            walked.processes[process.th32ProcessID] = process;
        }
        THREADENTRY32 thread;
        thread.dwSize = sizeof thread;
        for (BOOL more = threadFirst(snapshot, &thread); more; more = threadNext(snapshot, &thread)) {
            EXPECT_EQ(0u, walked.threads.count(thread.th32ThreadID)) << "thread listed twice: " << thread.th32ThreadID;
            walked.threads[thread.th32ThreadID] = thread;
            walked.threadOrder.push_back(thread.th32ThreadID);
        }
        EXPECT_TRUE(close(snapshot));
        return walked;
    }

    HMODULE library = nullptr;
};

std::u16string SelfProgram() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return length > 0 ? procfs::DevicePath(path, size_t(length)) : std::u16string();
}

} // namespace

TEST_F(ToolhelpLive, ThisProcessAndItsThreadsAppear) {
    ParkedThread parked;
    Walked walked = Snapshot();
    const DWORD self = DWORD(getpid());

    ASSERT_EQ(1u, walked.processes.count(self)) << walked.processes.size() << " processes";
    const PROCESSENTRY32W &process = walked.processes[self];
    EXPECT_EQ(SelfProgram(), std::u16string(process.szExeFile));
    EXPECT_EQ(DWORD(getppid()), process.th32ParentProcessID);
    EXPECT_GE(walked.processes.size(), 2u) << "at least this process and its parent";

    ASSERT_EQ(1u, walked.threads.count(parked.id)) << "the parked thread " << parked.id;
    EXPECT_EQ(self, walked.threads[parked.id].th32OwnerProcessID);
    EXPECT_EQ(3, walked.threads[parked.id].tpBasePri) << "a thread at nice 0 is normal";

    // Every thread's owner is in the process list, and the counts agree.
    std::map<DWORD, DWORD> counted;
    for (const auto &entry : walked.threads) {
        EXPECT_EQ(1u, walked.processes.count(entry.second.th32OwnerProcessID)) << "thread " << entry.first;
        EXPECT_GE(entry.second.tpBasePri, 0);
        EXPECT_LE(entry.second.tpBasePri, 7);
        ++counted[entry.second.th32OwnerProcessID];
    }
    for (const auto &entry : walked.processes)
        EXPECT_EQ(counted[entry.first], entry.second.cntThreads) << "process " << entry.first;
}

TEST_F(ToolhelpLive, DeviceThreadsAreListedUnderTheirDeviceProcessOnly) {
    // The test thread was adopted as a device thread of a new device process.
    const DWORD me = LinuxThreadId();
    const DWORD deviceProcess = GetCurrentProcessId();
    ASSERT_GE(deviceProcess, 0x40000000u);
    std::atomic<bool> stop{false};
    std::atomic<DWORD> worker{0};
    std::atomic<bool> finished{false};
    DWORD started = dev::StartDeviceThread(deviceProcess, [&] {
        worker = LinuxThreadId();
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        finished = true;
    });
    ASSERT_NE(0u, started);
    while (!worker) std::this_thread::yield();

    Walked walked = Snapshot();
    stop = true;
    ASSERT_EQ(1u, walked.processes.count(deviceProcess));
    EXPECT_EQ(dev::ProcessPath(deviceProcess), std::u16string(walked.processes[deviceProcess].szExeFile));
    for (DWORD tid : {me, DWORD(worker)}) {
        ASSERT_EQ(1u, walked.threads.count(tid)) << "device thread " << tid;
        EXPECT_EQ(deviceProcess, walked.threads[tid].th32OwnerProcessID) << "device thread " << tid;
    }
    EXPECT_EQ(me, GetCurrentThreadId()) << "device thread ids are Linux thread ids";
    // The device's programs come first in the walk.
    ASSERT_FALSE(walked.threadOrder.empty());
    EXPECT_GE(walked.threads[walked.threadOrder.front()].th32OwnerProcessID, 0x40000000u);
    while (!finished) std::this_thread::yield();
}

TEST_F(ToolhelpLive, AThreadThatEndedHasNoTimes) {
    ParkedThread parked;
    const DWORD id = parked.id;
    Walked walked = Snapshot();
    ASSERT_EQ(1u, walked.threads.count(id));
    FILETIME creation, exitTime, kernel, user;
    ASSERT_TRUE(DeviceGetThreadTimes(id, &creation, &exitTime, &kernel, &user)) << "still running";
    parked.End();
    memset(&user, 0xAA, sizeof user);
    EXPECT_FALSE(DeviceGetThreadTimes(id, &creation, &exitTime, &kernel, &user)) << "thread " << id << " ended";
    EXPECT_EQ(0xAAAAAAAAu, user.dwLowDateTime);
}

TEST_F(ToolhelpLive, TimesOfARealThreadGrowWithWork) {
    FILETIME creation, exitTime, kernel, before, after;
    const DWORD me = LinuxThreadId();
    ASSERT_TRUE(DeviceGetThreadTimes(me, &creation, &exitTime, &kernel, &before));
    // Burn about 50 ms of processor time: a clock tick is 10 ms.
    timespec start, now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    volatile uint64_t sink = 0;
    do {
        for (int i = 0; i < 100000; ++i) sink = sink + uint64_t(i);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    } while ((now.tv_sec - start.tv_sec) * 1000000000L + (now.tv_nsec - start.tv_nsec) < 50000000L);
    ASSERT_TRUE(DeviceGetThreadTimes(me, &creation, &exitTime, &kernel, &after));
    auto value = [](const FILETIME &t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    EXPECT_GT(value(after) + value(kernel), value(before)) << "user time did not move";
    EXPECT_EQ(0u, value(exitTime));
    // Creation: after 2000-01-01 and not in the future, as a FILETIME.
    const uint64_t y2000 = 125911584000000000ull;
    const uint64_t nowFileTime = 116444736000000000ull + uint64_t(time(nullptr) + 1) * 10000000ull;
    EXPECT_GT(value(creation), y2000);
    EXPECT_LE(value(creation), nowFileTime);
}

TEST_F(ToolhelpLive, ProgramFileNamesOfLinuxAndDeviceProcesses) {
    WCHAR name[MAX_PATH];
    ASSERT_GT(DeviceGetProcessFileName(DWORD(getpid()), name, MAX_PATH), 0u);
    EXPECT_EQ(SelfProgram(), std::u16string(name));
    ASSERT_GT(DeviceGetProcessFileName(GetCurrentProcessId(), name, MAX_PATH), 0u);
    EXPECT_EQ(dev::ProcessPath(GetCurrentProcessId()), std::u16string(name));
    memset(name, 0xAA, sizeof name);
    EXPECT_EQ(0u, DeviceGetProcessFileName(0x3FFFFFFF, name, MAX_PATH)) << "no such process";
    EXPECT_EQ(0, name[0]);
    EXPECT_EQ(0u, DeviceGetProcessFileName(0x7FFFFFF0, name, MAX_PATH)) << "no such device process";
    EXPECT_EQ(0, name[0]);
}
