// The device's "toolhelp" library as a program sees it: loaded by name,
// entry points resolved by name, walks over fixed system tables and over the
// real /proc, and the by-identifier lookups of thread times and program
// names.
#include "platform/host/internal.h"
#include "platform/host/procfs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
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

const char16_t *const kExports[] = {u"CreateToolhelp32Snapshot", u"CloseToolhelp32Snapshot", u"Process32First",
                                    u"Process32Next", u"Thread32First", u"Thread32Next"};
const DWORD kAll = 0x80000006; // processes and threads, as the monitor asks

std::string Narrow(const WCHAR *text) {
    std::string out;
    for (; *text; ++text) out += *text < 0x80 ? char(*text) : '?';
    return out;
}

DWORD LinuxThreadId() { return DWORD(syscall(SYS_gettid)); }

uint64_t Value(const FILETIME &t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

struct Walked {
    std::map<DWORD, PROCESSENTRY32W> processes;
    std::map<DWORD, THREADENTRY32> threads;
    std::vector<DWORD> threadOrder;
};

class ToolhelpBase : public ::testing::Test {
protected:
    virtual dev::Config Config() { return dev::Config(); }
    void SetUp() override {
        dev::ResetDevice(Config());
        dev::AdoptCurrentThread();
    }
    void TearDown() override {
        if (library) FreeLibrary(library);
        dev::ReleaseCurrentThread();
    }

    // Load the library and resolve the six names, as a program does.
    void Load() {
        library = LoadLibraryW(u"toolhelp");
        ASSERT_NE(nullptr, library);
        create = As<CreateProc>(DeviceGetProcAddress(library, kExports[0]));
        close = As<CloseProc>(DeviceGetProcAddress(library, kExports[1]));
        processFirst = As<ProcessProc>(DeviceGetProcAddress(library, kExports[2]));
        processNext = As<ProcessProc>(DeviceGetProcAddress(library, kExports[3]));
        threadFirst = As<ThreadProc>(DeviceGetProcAddress(library, kExports[4]));
        threadNext = As<ThreadProc>(DeviceGetProcAddress(library, kExports[5]));
        ASSERT_TRUE(create && close && processFirst && processNext && threadFirst && threadNext);
    }

    // Both walks of a snapshot from their start; nothing may be listed twice.
    Walked Walk(HANDLE snapshot) {
        Walked walked;
        PROCESSENTRY32W process;
        process.dwSize = sizeof process;
        for (BOOL more = processFirst(snapshot, &process); more; more = processNext(snapshot, &process))
            EXPECT_TRUE(walked.processes.emplace(process.th32ProcessID, process).second)
                << "process listed twice: " << process.th32ProcessID;
        THREADENTRY32 thread;
        thread.dwSize = sizeof thread;
        for (BOOL more = threadFirst(snapshot, &thread); more; more = threadNext(snapshot, &thread)) {
            EXPECT_TRUE(walked.threads.emplace(thread.th32ThreadID, thread).second)
                << "thread listed twice: " << thread.th32ThreadID;
            walked.threadOrder.push_back(thread.th32ThreadID);
        }
        return walked;
    }

    HMODULE library = nullptr;
    CreateProc create = nullptr;
    CloseProc close = nullptr;
    ProcessProc processFirst = nullptr, processNext = nullptr;
    ThreadProc threadFirst = nullptr, threadNext = nullptr;
};

// Over fixed tables, on the manual clock.
class Toolhelp : public ToolhelpBase {
protected:
    dev::Config Config() override {
        dev::Config config;
        config.manualClock = true;
        return config;
    }
    void SetUp() override {
        ToolhelpBase::SetUp();
        tables.processes = {{0x40000001, u"\\Windows\\shell32.exe"}, {77, u"\\usr\\bin\\bash"},
                            {88, std::u16string(300, u'L')}};
        tables.threads = {{501, 0x40000001, 3, 25000000, 4000000, false},
                          {502, 77, 0, 10000000, 0, false},
                          {503, 77, 7, 9999999, 0, true},
                          {504, 99, 5, 0, 0, false}};
        dev::SetSystemSource(&tables);
    }
    void TearDown() override {
        dev::SetSystemSource(nullptr);
        ToolhelpBase::TearDown();
    }
    dev::SystemTables tables;
};

} // namespace

TEST_F(Toolhelp, WalksReturnTheTablesInOrderEachKeepingItsOwnPlace) {
    Load();
    HANDLE snapshot = create(kAll, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);

    PROCESSENTRY32W process;
    memset(&process, 0xAA, sizeof process);
    process.dwSize = sizeof process;
    THREADENTRY32 thread;
    memset(&thread, 0xAA, sizeof thread);
    thread.dwSize = sizeof thread;
    ASSERT_TRUE(processFirst(snapshot, &process));
    EXPECT_EQ(564u, process.dwSize);
    EXPECT_EQ(0x40000001u, process.th32ProcessID);
    EXPECT_EQ("\\Windows\\shell32.exe", Narrow(process.szExeFile));
    EXPECT_EQ(0u, process.th32MemoryBase) << "every field is written, none left as it was";
    ASSERT_TRUE(threadFirst(snapshot, &thread));
    EXPECT_EQ(36u, thread.dwSize);
    EXPECT_EQ(501u, thread.th32ThreadID);
    EXPECT_EQ(0x40000001u, thread.th32OwnerProcessID);
    EXPECT_EQ(3, thread.tpBasePri);
    EXPECT_EQ(0, thread.tpDeltaPri);
    EXPECT_EQ(0x40000001u, thread.th32CurrentProcessID);
    ASSERT_TRUE(threadNext(snapshot, &thread));
    ASSERT_TRUE(processNext(snapshot, &process));
    EXPECT_EQ(77u, process.th32ProcessID);
    EXPECT_EQ(502u, thread.th32ThreadID);
    ASSERT_TRUE(processNext(snapshot, &process));
    EXPECT_EQ(88u, process.th32ProcessID);
    EXPECT_EQ(size_t(MAX_PATH - 1), std::u16string(process.szExeFile).size()) << "a long name is cut, terminated";
    EXPECT_FALSE(processNext(snapshot, &process));
    EXPECT_EQ(18u, GetLastError()) << "ERROR_NO_MORE_FILES";
    EXPECT_FALSE(processNext(snapshot, &process)) << "the end stays the end";
    ASSERT_TRUE(processFirst(snapshot, &process));
    EXPECT_EQ(0x40000001u, process.th32ProcessID) << "First starts the walk again";
    EXPECT_EQ((std::vector<DWORD>{501, 502, 503, 504}), Walk(snapshot).threadOrder);
    EXPECT_TRUE(close(snapshot));

    // The flags choose the lists.
    HANDLE processesOnly = create(TH32CS_SNAPPROCESS, 0);
    HANDLE threadsOnly = create(TH32CS_SNAPTHREAD | TH32CS_GETALLMODS, 0);
    Walked walked = Walk(processesOnly);
    EXPECT_EQ(3u, walked.processes.size());
    EXPECT_TRUE(walked.threads.empty());
    walked = Walk(threadsOnly);
    EXPECT_TRUE(walked.processes.empty());
    EXPECT_EQ(4u, walked.threads.size());
    close(processesOnly);
    close(threadsOnly);
}

TEST_F(Toolhelp, RecordTooSmallIsRefusedAndKeepsThePlace) {
    Load();
    HANDLE snapshot = create(kAll, 0);
    PROCESSENTRY32W process;
    memset(&process, 0xAA, sizeof process);
    process.dwSize = sizeof process - 1;
    EXPECT_FALSE(processFirst(snapshot, &process));
    EXPECT_EQ(24u, GetLastError()) << "ERROR_BAD_LENGTH";
    EXPECT_EQ(0xAAAAAAAAu, process.th32ProcessID) << "a refused record is not written";
    // Desktop-sized records (no memory base or access key) are too small for the device.
    process.dwSize = offsetof(PROCESSENTRY32W, th32MemoryBase);
    EXPECT_FALSE(processFirst(snapshot, &process));

    THREADENTRY32 thread;
    thread.dwSize = 28; // the desktop's thread record
    EXPECT_FALSE(threadFirst(snapshot, &thread));
    thread.dwSize = sizeof thread;
    ASSERT_TRUE(threadFirst(snapshot, &thread));
    thread.dwSize = 0;
    EXPECT_FALSE(threadNext(snapshot, &thread));
    thread.dwSize = sizeof thread;
    ASSERT_TRUE(threadNext(snapshot, &thread));
    EXPECT_EQ(502u, thread.th32ThreadID) << "the refused call did not move the walk";
    EXPECT_FALSE(threadNext(snapshot, nullptr));
    close(snapshot);
}

TEST_F(Toolhelp, SnapshotsAreCountedClosedOnceAndKeepWhatTheyRead) {
    Load();
    const long before = dev::LiveToolhelpSnapshots();
    HANDLE first = create(kAll, 0);
    HANDLE second = create(kAll, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(before + 2, dev::LiveToolhelpSnapshots());
    EXPECT_TRUE(close(first));
    EXPECT_FALSE(close(first)) << "closed twice";
    EXPECT_EQ(6u, GetLastError());
    EXPECT_EQ(before + 1, dev::LiveToolhelpSnapshots());
    THREADENTRY32 thread;
    thread.dwSize = sizeof thread;
    EXPECT_FALSE(threadFirst(first, &thread)) << "a closed snapshot is not walked";
    EXPECT_FALSE(threadFirst(INVALID_HANDLE_VALUE, &thread));
    EXPECT_FALSE(close(nullptr));

    dev::SystemTables other;
    other.threads = {{9, 9, 3, 0, 0, false}};
    dev::SetSystemSource(&other);
    EXPECT_EQ((std::vector<DWORD>{501, 502, 503, 504}), Walk(second).threadOrder);
    HANDLE later = create(kAll, 0);
    EXPECT_EQ((std::vector<DWORD>{9}), Walk(later).threadOrder);
    EXPECT_TRUE(close(second));
    EXPECT_EQ(before + 1, dev::LiveToolhelpSnapshots());

    dev::ResetDevice(dev::Config()); // with `later` still open
    EXPECT_EQ(0, dev::LiveToolhelpSnapshots()) << "a reset forgets open snapshots";
    library = nullptr; // the reset unloaded it
    dev::AdoptCurrentThread();
}

TEST_F(Toolhelp, AnOmittedExportIsTheOnlyOneMissingAndAResetRegistersAllAgain) {
    for (int missing = 0; missing < 6; ++missing) {
        dev::RegisterToolhelp({kExports[missing]});
        HMODULE module = LoadLibraryW(u"toolhelp");
        ASSERT_NE(nullptr, module);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(i == missing, DeviceGetProcAddress(module, kExports[i]) == nullptr)
                << "export " << i << " with " << missing << " omitted";
        FreeLibrary(module);
    }
    dev::UnregisterLibrary(u"toolhelp");
    EXPECT_EQ(nullptr, LoadLibraryW(u"toolhelp"));
    dev::ReleaseCurrentThread();
    dev::ResetDevice(dev::Config());
    dev::AdoptCurrentThread();
    Load();
}

// The times that succeed are read through the monitor's thread table (tests/threads).
TEST_F(Toolhelp, ThreadTimesByIdentifierFromTheTables) {
    FILETIME creation, exitTime, kernel, user;
    for (DWORD id : {503u /* its times fail */, 12345u /* no such thread */, 0u}) {
        memset(&user, 0xAA, sizeof user);
        memset(&kernel, 0xAA, sizeof kernel);
        EXPECT_FALSE(DeviceGetThreadTimes(id, &creation, &exitTime, &kernel, &user)) << id;
        EXPECT_EQ(0xAAAAAAAAu, user.dwLowDateTime) << id << ": outputs are left untouched";
        EXPECT_EQ(0xAAAAAAAAu, kernel.dwHighDateTime) << id;
    }

    // The kernel's GetThreadTimes takes the identifier in place of a handle.
    ASSERT_TRUE(GetThreadTimes(reinterpret_cast<HANDLE>(uintptr_t(502)), &creation, &exitTime, &kernel, &user));
    EXPECT_EQ(10000000u, Value(user));
    uint64_t user100ns = 0, kernel100ns = 0;
    EXPECT_TRUE(dev::LinuxThreadTimes(501, &user100ns, &kernel100ns));
    EXPECT_EQ(25000000u, user100ns);
    EXPECT_FALSE(dev::LinuxThreadTimes(503, &user100ns, &kernel100ns));
}

TEST_F(Toolhelp, ProgramFileNamesByIdentifierAreCutAndTerminated) {
    struct { DWORD pid, size, length; const char *text; } cases[] = {
        {77, MAX_PATH, 13, "\\usr\\bin\\bash"}, {77, 5, 4, "\\usr"}, {4321, MAX_PATH, 0, ""}, // not in the tables
    };
    WCHAR name[MAX_PATH + 1];
    for (const auto &c : cases) {
        memset(name, 0xAA, sizeof name);
        EXPECT_EQ(c.length, DeviceGetProcessFileName(c.pid, name, c.size)) << c.pid << " into " << c.size;
        EXPECT_EQ(c.text, Narrow(name)) << c.pid << " into " << c.size;
        EXPECT_EQ(0xAAAA, name[c.size]) << "wrote past " << c.size;
    }
    memset(name, 0xAA, sizeof name);
    EXPECT_EQ(0u, DeviceGetProcessFileName(77, name, 0));
    EXPECT_EQ(0xAAAA, name[0]) << "size 0: nothing written";
    EXPECT_EQ(size_t(MAX_PATH - 1), size_t(DeviceGetProcessFileName(88, name, MAX_PATH)));
    EXPECT_EQ(0, name[MAX_PATH - 1]);
}

// ------------------------------------------------------------ the real /proc

namespace {

class ToolhelpLive : public ToolhelpBase {
protected:
    // A snapshot of everything, walked and closed.
    Walked Snapshot() {
        HANDLE snapshot = create(kAll, 0);
        Walked walked = Walk(snapshot);
        EXPECT_TRUE(close(snapshot));
        return walked;
    }
};

std::u16string SelfProgram() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return length > 0 ? procfs::DevicePath(path, size_t(length)) : std::u16string();
}

} // namespace

TEST_F(ToolhelpLive, ThisProcessAndItsThreadsAppearAndAnEndedThreadHasNoTimes) {
    Load();
    // A parked host thread, not a device thread; no ASSERT may leave it running.
    std::atomic<bool> stop{false};
    std::atomic<DWORD> parked{0};
    std::thread worker([&] {
        parked = LinuxThreadId();
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!parked) std::this_thread::yield();
    const DWORD self = DWORD(getpid()), id = parked;
    Walked walked = Snapshot();

    EXPECT_EQ(1u, walked.processes.count(self)) << walked.processes.size() << " processes";
    const PROCESSENTRY32W &process = walked.processes[self];
    EXPECT_EQ(SelfProgram(), std::u16string(process.szExeFile));
    EXPECT_EQ(DWORD(getppid()), process.th32ParentProcessID);
    EXPECT_GE(walked.processes.size(), 2u) << "at least this process and its parent";

    EXPECT_EQ(1u, walked.threads.count(id)) << "the parked thread " << id;
    EXPECT_EQ(self, walked.threads[id].th32OwnerProcessID);
    EXPECT_EQ(3, walked.threads[id].tpBasePri) << "a thread at nice 0 is normal";

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

    FILETIME creation, exitTime, kernel, user;
    EXPECT_TRUE(DeviceGetThreadTimes(id, &creation, &exitTime, &kernel, &user)) << "still running";
    stop = true;
    worker.join();
    memset(&user, 0xAA, sizeof user);
    EXPECT_FALSE(DeviceGetThreadTimes(id, &creation, &exitTime, &kernel, &user)) << "thread " << id << " ended";
    EXPECT_EQ(0xAAAAAAAAu, user.dwLowDateTime);
}

TEST_F(ToolhelpLive, DeviceThreadsAreListedUnderTheirDeviceProcessOnly) {
    Load();
    // The test thread was adopted as a device thread of a new device process.
    const DWORD me = LinuxThreadId();
    const DWORD deviceProcess = GetCurrentProcessId();
    ASSERT_GE(deviceProcess, 0x40000000u);
    std::atomic<bool> stop{false}, finished{false};
    std::atomic<DWORD> worker{0};
    ASSERT_NE(0u, dev::StartDeviceThread(deviceProcess, [&] {
        worker = LinuxThreadId();
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        finished = true;
    }));
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

    // Program names by identifier, of Linux and of device processes.
    WCHAR name[MAX_PATH];
    ASSERT_GT(DeviceGetProcessFileName(DWORD(getpid()), name, MAX_PATH), 0u);
    EXPECT_EQ(SelfProgram(), std::u16string(name));
    ASSERT_GT(DeviceGetProcessFileName(deviceProcess, name, MAX_PATH), 0u);
    EXPECT_EQ(dev::ProcessPath(deviceProcess), std::u16string(name));
    for (DWORD missing : {0x3FFFFFFFu, 0x7FFFFFF0u}) {
        memset(name, 0xAA, sizeof name);
        EXPECT_EQ(0u, DeviceGetProcessFileName(missing, name, MAX_PATH)) << "no such process " << missing;
        EXPECT_EQ(0, name[0]);
    }
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
    EXPECT_GT(Value(after) + Value(kernel), Value(before)) << "user time did not move";
    EXPECT_EQ(0u, Value(exitTime));
    // Creation: after 2000-01-01 and not in the future, as a FILETIME.
    const uint64_t y2000 = 125911584000000000ull;
    const uint64_t nowFileTime = 116444736000000000ull + uint64_t(time(nullptr) + 1) * 10000000ull;
    EXPECT_GT(Value(creation), y2000);
    EXPECT_LE(Value(creation), nowFileTime);
}
