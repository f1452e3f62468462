// The device's kernel: version, memory and storage figures, virtual memory
// blocks, libraries, threads, processes, programs and the three clocks, with
// real device threads.

#include "kernel_test_util.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

using kt::DeviceTest;

class System : public DeviceTest {};

// The configured version itself reaches the monitor's dialog (tests/app).
TEST_F(System, VersionWithAWrongSizeIsRefusedAndNotWritten)
{
    OSVERSIONINFOW info;
    memset(&info, 0xAA, sizeof info);
    info.dwOSVersionInfoSize = sizeof info - 1;
    EXPECT_FALSE(GetVersionExW(&info));
    EXPECT_EQ(info.dwMajorVersion, 0xAAAAAAAAu);
}

TEST_F(System, MemoryFromLinuxOrTheSourceInFull64Bits)
{
    ULONGLONG t = 0, a = 0;
    EXPECT_TRUE(DeviceGetMemoryFigures(&t, &a));
    EXPECT_GT(t, 16u << 20) << "Linux's own figures by default";
    EXPECT_LE(a, t);

    const uint64_t total = 6ull << 30, avail = 1536ull << 20; // beyond 4 GiB
    dev::SetMemorySource([=] { return dev::MemoryFigures{total, avail}; });
    MEMORYSTATUS status;
    memset(&status, 0xAA, sizeof status);
    GlobalMemoryStatus(&status);
    EXPECT_EQ(status.dwLength, (DWORD)sizeof status);
    EXPECT_EQ(status.dwTotalPhys, (SIZE_T)total);
    EXPECT_EQ(status.dwAvailPhys, (SIZE_T)avail);
    EXPECT_EQ(status.dwMemoryLoad, 75u);
    MEMORYSTATUSEX ex;
    memset(&ex, 0xAA, sizeof ex);
    ex.dwLength = sizeof ex;
    ASSERT_TRUE(GlobalMemoryStatusEx(&ex));
    EXPECT_EQ(ex.ullTotalPhys, total);
    EXPECT_EQ(ex.ullAvailPhys, avail);
    ex.dwLength = 12;
    EXPECT_FALSE(GlobalMemoryStatusEx(&ex));
}

TEST_F(System, DiskOfTheRootOrTheSourceAndAFailureTouchesNothing)
{
    struct statvfs fs;
    ASSERT_EQ(statvfs("/", &fs), 0);
    ULARGE_INTEGER caller, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExW(nullptr, &caller, &total, &free));
    EXPECT_EQ(total.QuadPart, (uint64_t)fs.f_blocks * fs.f_frsize);
    EXPECT_LE(caller.QuadPart, free.QuadPart);

    dev::SetDiskSource([] { return dev::DiskFigures{true, 1000, 5000, 1200}; });
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &caller, &total, &free));
    EXPECT_EQ(caller.QuadPart, 1000u);
    EXPECT_EQ(total.QuadPart, 5000u);
    EXPECT_EQ(free.QuadPart, 1200u);
    EXPECT_TRUE(GetDiskFreeSpaceExW(nullptr, nullptr, &total, nullptr)) << "outputs are optional";
    dev::SetDiskSource([] { return dev::DiskFigures{false, 1, 2, 3}; });
    memset(&caller, 0xAA, sizeof caller);
    memset(&total, 0xAA, sizeof total);
    EXPECT_FALSE(GetDiskFreeSpaceExW(nullptr, &caller, &total, nullptr));
    EXPECT_EQ(caller.QuadPart, 0xAAAAAAAAAAAAAAAAull);
    EXPECT_EQ(total.QuadPart, 0xAAAAAAAAAAAAAAAAull);
}

TEST_F(System, VirtualBlocksAreZeroedCountedAndRefusedOnRequest)
{
    long before = dev::LiveVirtualAllocations();
    BYTE *block = (BYTE *)VirtualAlloc(nullptr, 10000, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 10000; i++) ASSERT_EQ(block[i], 0) << "at " << i;
    EXPECT_EQ(dev::LiveVirtualAllocations(), before + 1);
    EXPECT_FALSE(VirtualFree(block, 10000, MEM_RELEASE)) << "release takes a size of 0";
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_EQ(dev::LiveVirtualAllocations(), before);

    dev::RefuseVirtualAlloc(1, 2); // let one through, refuse the next two
    void *got[4];
    for (void *&p : got) p = VirtualAlloc(nullptr, 16, MEM_COMMIT, PAGE_READWRITE);
    EXPECT_NE(got[0], nullptr);
    EXPECT_EQ(got[1], nullptr);
    EXPECT_EQ(got[2], nullptr);
    EXPECT_NE(got[3], nullptr);
    VirtualFree(got[0], 0, MEM_RELEASE);
    VirtualFree(got[3], 0, MEM_RELEASE);
}

INT_PTR WINAPI ExportA() { return 1; }
INT_PTR WINAPI ExportB() { return 2; }

TEST_F(System, LibrariesLoadByNameWithoutCaseOrExtension)
{
    dev::AdoptCurrentThread();
    dev::RegisterLibrary(u"halvaneh", {{u"mtslen", ExportA}, {u"WDTIGetSetDelIcon", ExportB}});
    EXPECT_EQ(LoadLibraryW(u"missing"), nullptr);
    HMODULE a = LoadLibraryW(u"HalvaneH.DLL");
    HMODULE b = LoadLibraryW(u"halvaneh");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(GetModuleHandleW(u"halvaneh.dll"), a);
    EXPECT_EQ(GetProcAddressW(a, u"mtslen"), (FARPROC)ExportA);
    EXPECT_EQ(DeviceGetProcAddress(a, u"WDTIGetSetDelIcon"), (FARPROC)ExportB);
    EXPECT_EQ(GetProcAddressW(a, u"MTSLEN"), nullptr) << "export names are exact";
    EXPECT_EQ(dev::LiveObjects(dev::KindModule), 2);
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_TRUE(dev::LibraryLoaded(u"halvaneh"));
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_FALSE(dev::LibraryLoaded(u"halvaneh"));
    EXPECT_FALSE(FreeLibrary(b)) << "more frees than loads";
    EXPECT_EQ(dev::LiveObjects(dev::KindModule), 0);
    EXPECT_EQ(GetModuleHandleW(u"halvaneh"), nullptr);
}

TEST_F(System, AProcessEndDropsItsLibraryLoadsAndLastErrorIsPerThread)
{
    dev::RegisterLibrary(u"toolhelp", {{u"CloseToolhelp32Snapshot", ExportA}});
    SetLastError(77);
    std::atomic<bool> loaded{false};
    std::atomic<DWORD> other{0xAAAA};
    dev::StartDeviceThread(0, [&] {
        loaded = LoadLibraryW(u"toolhelp.dll") != nullptr;
        SetLastError(5);
        other = GetLastError();
    });
    for (int i = 0; i < 1000 && dev::LiveObjects(dev::KindThread) > 0; i++) dev::AdvanceClock(0);
    EXPECT_TRUE(loaded.load());
    EXPECT_FALSE(dev::LibraryLoaded(u"toolhelp"));
    EXPECT_EQ(dev::LiveObjects(dev::KindModule), 0);
    EXPECT_EQ(other.load(), 5u);
    EXPECT_EQ(GetLastError(), 77u);
}

// ------------------------------------------------------------- threads

class Threads : public DeviceTest {};

TEST_F(Threads, IdentifiersAreLinuxThreadsAndProcessesAreTheDevicesOwn)
{
    std::atomic<DWORD> seenTid{0}, seenPid{0};
    std::atomic<bool> listed{false};
    DWORD tid = dev::StartDeviceThread(0, [&] {
        seenTid = GetCurrentThreadId();
        seenPid = GetCurrentProcessId();
        listed = access(("/proc/self/task/" + std::to_string(GetCurrentThreadId())).c_str(), F_OK) == 0;
    });
    ASSERT_NE(tid, 0u);
    dev::Settle();
    EXPECT_EQ(seenTid.load(), tid);
    EXPECT_TRUE(listed.load()) << "thread " << tid << " not in /proc";
    EXPECT_GE(seenPid.load(), 0x40000000u);
    EXPECT_NE(seenPid.load(), (DWORD)getpid());
}

TEST_F(Threads, WaitsEndAtTheirTimeOutOrWhenTheThreadEndsWithItsExitCode)
{
    dev::AdoptCurrentThread();
    DWORD id = 0;
    HANDLE h = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
        Sleep(1000);
        return (DWORD)(uintptr_t)p;
    }, (LPVOID)42, 0, &id);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(id, 0u);
    std::atomic<DWORD> timed{0xAAAA}, endless{0xAAAA};
    // The waits run on other device threads; the manual clock drives them all.
    dev::StartDeviceThread(GetCurrentProcessId(), [&] { timed = WaitForSingleObject(h, 300); });
    dev::StartDeviceThread(GetCurrentProcessId(), [&] { endless = WaitForSingleObject(h, INFINITE); });
    dev::AdvanceClock(299);
    EXPECT_EQ(timed.load(), 0xAAAAu) << "returned before its time-out";
    dev::AdvanceClock(1);
    EXPECT_EQ(timed.load(), (DWORD)WAIT_TIMEOUT);
    dev::AdvanceClock(699);
    EXPECT_EQ(endless.load(), 0xAAAAu) << "returned before the thread ended";
    dev::AdvanceClock(1);
    EXPECT_EQ(endless.load(), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), (DWORD)WAIT_OBJECT_0);
    DWORD code = 0xAAAAAAAA;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h)) << "a closed handle is gone";
    EXPECT_EQ(WaitForSingleObject(h, 0), (DWORD)WAIT_FAILED);
}

TEST_F(Threads, PriorityOnTheDevicesScale)
{
    dev::AdoptCurrentThread();
    HANDLE self = GetCurrentThread();
    EXPECT_EQ(GetThreadPriority(self), THREAD_PRIORITY_NORMAL);
    EXPECT_TRUE(SetThreadPriority(self, THREAD_PRIORITY_IDLE));
    EXPECT_EQ(GetThreadPriority(self), 7);
    EXPECT_FALSE(SetThreadPriority(self, 8));
    EXPECT_FALSE(SetThreadPriority(self, -1));
    EXPECT_EQ(GetThreadPriority(self), 7);
}

// ------------------------------------------------------------- clocks

class Clocks : public DeviceTest {};

TEST_F(Clocks, ManualClockStepsEventByEventAndWaitsForThreadsToSettle)
{
    std::vector<uint64_t> wakes;
    std::mutex lock;
    auto seen = [&] {
        std::lock_guard<std::mutex> g(lock);
        return wakes;
    };
    dev::StartDeviceThread(0, [&] {
        for (int i = 0; i < 5; i++) {
            Sleep(100);
            std::lock_guard<std::mutex> g(lock);
            wakes.push_back(GetTickCount());
        }
    });
    dev::ScheduleAt(30, [&] {
        std::lock_guard<std::mutex> g(lock);
        wakes.push_back(dev::Now() + 1000);
    });
    dev::AdvanceClock(250);
    EXPECT_EQ(seen(), (std::vector<uint64_t>{1030, 100, 200}));
    EXPECT_EQ(dev::Now(), 250u);
    dev::AdvanceClock(250);
    EXPECT_EQ(seen(), (std::vector<uint64_t>{1030, 100, 200, 300, 400, 500}));
}

TEST_F(Clocks, TickCountStartsWhereAskedAndWrapsAt32Bits)
{
    dev::ResetDevice(kt::ManualConfig(0xFFFFFF00u));
    EXPECT_EQ(GetTickCount(), 0xFFFFFF00u);
    dev::AdvanceClock(0xFF);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFFFu);
    dev::AdvanceClock(1);
    EXPECT_EQ(GetTickCount(), 0u);
    dev::AdvanceClock(0x100);
    EXPECT_EQ(GetTickCount(), 0x100u);
    EXPECT_EQ(dev::Now(), 0x200u) << "device time itself never wraps";
}

// Polls a condition in host time, up to five seconds.
template <typename F> bool Within5s(F done)
{
    auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(5)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST_F(Clocks, VirtualClockJumpsToTheNextEventWhenEveryThreadWaits)
{
    dev::ResetDevice(kt::VirtualConfig());
    std::atomic<DWORD> after{0};
    dev::StartDeviceThread(0, [&] {
        Sleep(60 * 60 * 1000); // an hour
        after = GetTickCount();
    });
    EXPECT_TRUE(Within5s([&] { return after.load() != 0; })) << "an hour of device time took host time";
    EXPECT_EQ(after.load(), 3600000u);
}

TEST_F(Clocks, VirtualClockHeldStillByARunningThread)
{
    dev::ResetDevice(kt::VirtualConfig());
    std::atomic<bool> release{false};
    std::atomic<DWORD> busyStart{0}, busyEnd{0}, sleeperWoke{0};
    dev::HoldClock();
    dev::StartDeviceThread(0, [&] {
        busyStart = GetTickCount();
        // Busy without any device call: no time may pass meanwhile.
        while (!release.load()) std::this_thread::yield();
        busyEnd = GetTickCount();
    });
    dev::StartDeviceThread(0, [&] {
        Sleep(10);
        sleeperWoke = GetTickCount();
    });
    dev::ReleaseClock();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sleeperWoke.load(), 0u) << "time moved while a thread ran";
    EXPECT_EQ(dev::Now(), 0u);
    release = true;
    dev::Settle();
    Within5s([&] { return sleeperWoke.load() != 0; });
    EXPECT_EQ(busyStart.load(), busyEnd.load());
    EXPECT_EQ(sleeperWoke.load(), 10u);
}

TEST_F(Clocks, RealClockRunsScheduledActionsAndSleepsInHostTime)
{
    dev::ResetDevice(dev::Config());
    std::atomic<uint64_t> ranAt{0};
    dev::ScheduleAt(30, [&] { ranAt = dev::Now(); });
    std::atomic<DWORD> slept{0};
    dev::StartDeviceThread(0, [&] {
        DWORD before = GetTickCount();
        Sleep(20);
        slept = GetTickCount() - before;
    });
    Within5s([&] { return ranAt.load() && slept.load(); });
    EXPECT_GE(ranAt.load(), 30u);
    EXPECT_GE(slept.load(), 20u);
}

// ------------------------------------------------------------- programs

std::atomic<int> helperLeft{0};

int WINAPI ProgramWithHelperThread(HINSTANCE instance, LPWSTR commandLine)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = u"ProgWnd";
    RegisterClassW(&wc);
    CreateWindowExW(0, u"ProgWnd", commandLine, WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, instance,
                    nullptr);
    DWORD id;
    CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
        MSG msg;
        // A pump of its own that never sees a quit: the process end stops it.
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        helperLeft = 1;
        return 0;
    }, nullptr, 0, &id);
    Sleep(50);
    return 7;
}

class Programs : public DeviceTest {};

TEST_F(Programs, EndOfEntryEndsTheProcessItsWindowsAndItsOtherThreads)
{
    helperLeft = 0;
    dev::RegisterProgram(u"Prog.exe", u"\\Windows\\Prog.exe", ProgramWithHelperThread);
    DWORD tid = 0;
    DWORD pid = dev::StartProgram(u"prog.EXE", u"hello", &tid);
    ASSERT_NE(pid, 0u);
    EXPECT_NE(tid, 0u);
    dev::AdvanceClock(10);
    HWND w = FindWindowW(u"ProgWnd", u"hello");
    EXPECT_NE(w, nullptr) << "the command line reaches the entry";
    EXPECT_EQ(dev::DeviceThreadsOf(pid).size(), 2u);
    EXPECT_TRUE(dev::ProgramRunning(pid));
    dev::AdvanceClock(100);
    int code = -1;
    ASSERT_TRUE(dev::WaitProgram(pid, &code, 5000));
    EXPECT_EQ(code, 7);
    EXPECT_FALSE(dev::ProgramRunning(pid));
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(dev::DeviceThreadsOf(pid).empty());
    EXPECT_EQ(helperLeft.load(), 0) << "the helper thread ran on past the process end";
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), 0);
    EXPECT_EQ(dev::LiveObjects(dev::KindThread), 0);
    EXPECT_EQ(dev::ProcessPath(pid), u"\\Windows\\Prog.exe") << "the path outlives the process";
}

TEST_F(Programs, CreateProcessStartsRegisteredImagesAndModuleNamesAreCutAndTerminated)
{
    dev::AdoptCurrentThread();
    dev::RegisterProgram(u"PegHelp.exe", u"\\Windows\\PegHelp.exe",
                         [](HINSTANCE, LPWSTR line) { return line[0] == u'M' ? 3 : 4; });
    PROCESS_INFORMATION pi;
    memset(&pi, 0xAA, sizeof pi);
    EXPECT_FALSE(CreateProcessW(u"Nothing.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_EQ(pi.dwProcessId, 0xAAAAAAAAu) << "a failed start fills nothing";
    WCHAR line[] = u"Mirel.htc";
    ASSERT_TRUE(CreateProcessW(u"PegHelp.exe", line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), (DWORD)WAIT_OBJECT_0);
    int code = 0;
    EXPECT_TRUE(dev::WaitProgram(pi.dwProcessId, &code, 1000));
    EXPECT_EQ(code, 3);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    HMODULE module = (HMODULE)(uintptr_t)pi.dwProcessId;
    WCHAR path[MAX_PATH];
    memset(path, 0xAA, sizeof path);
    EXPECT_EQ(GetModuleFileNameW(module, path, MAX_PATH), 20u);
    EXPECT_EQ(std::u16string(path), u"\\Windows\\PegHelp.exe");
    memset(path, 0xAA, sizeof path);
    EXPECT_EQ(GetModuleFileNameW(module, path, 8), 8u);
    EXPECT_EQ(std::u16string(path), u"\\Window");
    memset(path, 0xAA, sizeof path);
    EXPECT_EQ(GetModuleFileNameW((HMODULE)(uintptr_t)0x7FFFFFF0, path, 4), 0u);
    EXPECT_EQ(path[0], 0) << "a failed lookup leaves an empty text";
}

TEST_F(Programs, ResetEndsEveryThreadHungOrWaitingAndForgetsEverything)
{
    std::atomic<HWND> hung{nullptr};
    dev::RegisterProgram(u"Hung.exe", u"\\Windows\\Hung.exe", [](HINSTANCE, LPWSTR) {
        Sleep(INFINITE);
        return 0;
    });
    DWORD pid = dev::StartProgram(u"Hung.exe", u"");
    dev::StartDeviceThread(0, [&] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"Frozen";
        RegisterClassW(&wc);
        hung = CreateWindowExW(0, u"Frozen", u"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                               nullptr);
        Sleep(INFINITE);
    });
    dev::AdvanceClock(0);
    dev::StartDeviceThread(0, [&] { SendMessageW(hung, WM_USER, 0, 0); });
    dev::StartDeviceThread(0, [&] {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    dev::AdvanceClock(100);
    EXPECT_EQ(dev::LiveObjects(dev::KindThread), 4);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), 1);
    dev::ResetDevice(kt::ManualConfig());
    EXPECT_EQ(dev::LiveObjects(dev::KindThread), 0);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), 0);
    EXPECT_FALSE(dev::ProgramRunning(pid));
    EXPECT_EQ(FindWindowW(u"Frozen", nullptr), nullptr);
    EXPECT_EQ(dev::StartProgram(u"Hung.exe", u""), 0u) << "programs are forgotten";
    EXPECT_TRUE(dev::DeviceProcesses().empty());
}

} // namespace
