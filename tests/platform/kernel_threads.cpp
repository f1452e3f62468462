// Device threads, processes, programs and the clocks, with real device
// threads.

#include "kernel_test_util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

using kt::DeviceTest;

bool LinuxTaskExists(DWORD tid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/self/task/%u", (unsigned)tid);
    struct stat st;
    return stat(path, &st) == 0;
}

DWORD WINAPI ReturnParameter(LPVOID parameter) { return (DWORD)(uintptr_t)parameter; }

class Threads : public DeviceTest {};

TEST_F(Threads, IdentifiersAreLinuxThreadsAndProcessesAreTheDevicesOwn)
{
    std::atomic<DWORD> seenTid{0}, seenPid{0};
    std::atomic<bool> listed{false};
    DWORD tid = dev::StartDeviceThread(0, [&] {
        seenTid = GetCurrentThreadId();
        seenPid = GetCurrentProcessId();
        listed = LinuxTaskExists(GetCurrentThreadId());
    });
    ASSERT_NE(tid, 0u);
    dev::Settle();
    EXPECT_EQ(seenTid.load(), tid);
    EXPECT_TRUE(listed.load()) << "thread " << tid << " not in /proc";
    EXPECT_GE(seenPid.load(), 0x40000000u);
    EXPECT_NE(seenPid.load(), (DWORD)getpid());
}

TEST_F(Threads, HandleSignalledWhenTheThreadEndsWithItsExitCode)
{
    dev::AdoptCurrentThread();
    DWORD id = 0;
    HANDLE h = CreateThread(nullptr, 0, ReturnParameter, (LPVOID)(uintptr_t)42, 0, &id);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(id, 0u);
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

TEST_F(Threads, WaitWithTimeoutOnARunningThreadTimesOutInDeviceTime)
{
    dev::AdoptCurrentThread();
    DWORD id;
    HANDLE h = CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
        Sleep(1000);
        return 5;
    }, nullptr, 0, &id);
    std::atomic<DWORD> result{0xAAAA};
    // The wait runs on another device thread; the manual clock drives both.
    dev::StartDeviceThread(GetCurrentProcessId(), [&] { result = WaitForSingleObject(h, 300); });
    dev::AdvanceClock(299);
    EXPECT_EQ(result.load(), 0xAAAAu) << "returned before its time-out";
    dev::AdvanceClock(1);
    EXPECT_EQ(result.load(), (DWORD)WAIT_TIMEOUT);
    dev::AdvanceClock(700);
    DWORD code = 0;
    GetExitCodeThread(h, &code);
    EXPECT_EQ(code, 5u);
    CloseHandle(h);
}

class ManualClock : public DeviceTest {};

TEST_F(ManualClock, StepsEventByEventAndWaitsForThreadsToSettle)
{
    std::vector<DWORD> wakes;
    std::mutex lock;
    dev::StartDeviceThread(0, [&] {
        for (int i = 0; i < 5; i++) {
            Sleep(100);
            std::lock_guard<std::mutex> g(lock);
            wakes.push_back(GetTickCount());
        }
    });
    dev::AdvanceClock(250);
    {
        std::lock_guard<std::mutex> g(lock);
        EXPECT_EQ(wakes, (std::vector<DWORD>{100, 200}));
    }
    EXPECT_EQ(dev::Now(), 250u);
    dev::AdvanceClock(250);
    std::lock_guard<std::mutex> g(lock);
    EXPECT_EQ(wakes, (std::vector<DWORD>{100, 200, 300, 400, 500}));
}

TEST_F(ManualClock, ScheduledActionsRunAtTheirTime)
{
    std::vector<uint64_t> ran;
    dev::ScheduleAt(30, [&] { ran.push_back(dev::Now()); });
    dev::ScheduleAt(10, [&] { ran.push_back(dev::Now()); });
    dev::AdvanceClock(20);
    EXPECT_EQ(ran, (std::vector<uint64_t>{10}));
    dev::AdvanceClock(20);
    EXPECT_EQ(ran, (std::vector<uint64_t>{10, 30}));
}

class TickWrap : public DeviceTest {
    dev::Config Config() override { return kt::ManualConfig(0xFFFFFF00u); }
};

TEST_F(TickWrap, TickCountStartsWhereAskedAndWrapsAt32Bits)
{
    EXPECT_EQ(GetTickCount(), 0xFFFFFF00u);
    dev::AdvanceClock(0xFF);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFFFu);
    dev::AdvanceClock(1);
    EXPECT_EQ(GetTickCount(), 0u);
    dev::AdvanceClock(0x100);
    EXPECT_EQ(GetTickCount(), 0x100u);
    EXPECT_EQ(dev::Now(), 0x200u) << "device time itself never wraps";
}

class VirtualClock : public DeviceTest {
    dev::Config Config() override { return kt::VirtualConfig(); }
};

TEST_F(VirtualClock, JumpsToTheNextEventWhenEveryThreadWaits)
{
    std::atomic<DWORD> after{0};
    auto start = std::chrono::steady_clock::now();
    dev::StartDeviceThread(0, [&] {
        Sleep(60 * 60 * 1000); // an hour
        after = GetTickCount();
    });
    while (after.load() == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(after.load(), 3600000u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(VirtualClock, ARunningThreadHoldsTimeStill)
{
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
    for (int i = 0; i < 1000 && sleeperWoke.load() == 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(busyStart.load(), busyEnd.load());
    EXPECT_EQ(sleeperWoke.load(), 10u);
}

// ------------------------------------------------------------- programs

std::atomic<int> helperLeft{0};

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

int WINAPI ProgramWithHelperThread(HINSTANCE instance, LPWSTR commandLine)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
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

TEST_F(Programs, CreateProcessStartsRegisteredImagesAndQuietlyFailsOthers)
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
    WCHAR path[MAX_PATH];
    memset(path, 0xAA, sizeof path);
    DWORD n = GetModuleFileNameW((HMODULE)(uintptr_t)pi.dwProcessId, path, MAX_PATH);
    EXPECT_EQ(n, 20u);
    EXPECT_EQ(std::u16string(path), u"\\Windows\\PegHelp.exe");
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    // Without a start-up record or process information, as the monitor calls it.
    EXPECT_TRUE(CreateProcessW(u"PegHelp.exe", line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(Programs, ModuleFileNameTruncatesAndTerminates)
{
    dev::RegisterProgram(u"LongName.exe", u"\\Windows\\LongName.exe", [](HINSTANCE, LPWSTR) { return 0; });
    DWORD pid = dev::StartProgram(u"LongName.exe", u"");
    WCHAR small[8];
    memset(small, 0xAA, sizeof small);
    EXPECT_EQ(GetModuleFileNameW((HMODULE)(uintptr_t)pid, small, 8), 8u);
    EXPECT_EQ(std::u16string(small), u"\\Window");
    WCHAR none[4];
    memset(none, 0xAA, sizeof none);
    EXPECT_EQ(GetModuleFileNameW((HMODULE)(uintptr_t)0x7FFFFFF0, none, 4), 0u);
    EXPECT_EQ(none[0], 0) << "a failed lookup leaves an empty text";
}

} // namespace

namespace {

class RealClock : public kt::DeviceTest {
    dev::Config Config() override { return dev::Config(); }
};

TEST_F(RealClock, ScheduledActionsRunFromTheClockThreadAndThreadsSleepInHostTime)
{
    std::atomic<uint64_t> ranAt{0};
    dev::ScheduleAt(30, [&] { ranAt = dev::Now(); });
    std::atomic<DWORD> slept{0};
    dev::StartDeviceThread(0, [&] {
        DWORD before = GetTickCount();
        Sleep(20);
        slept = GetTickCount() - before;
    });
    auto start = std::chrono::steady_clock::now();
    while ((!ranAt.load() || !slept.load()) && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(ranAt.load(), 30u);
    EXPECT_GE(slept.load(), 20u);
}

class Reset : public kt::DeviceTest {};

TEST_F(Reset, EndsEveryThreadHungOrWaitingAndForgetsEverything)
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
