// The device's kernel: Linux's figures, virtual memory, libraries and
// program ends.

#include "kernel_test_util.h"

#include <sys/statvfs.h>

#include <atomic>
#include <cstring>

namespace {

using kt::DeviceTest;

class System : public DeviceTest {};

// The figures from a source reach the monitor's readout (tests/memory).
TEST_F(System, MemoryAndStorageDefaultToLinuxsOwnFigures)
{
    ULONGLONG t = 0, a = 0;
    EXPECT_TRUE(DeviceGetMemoryFigures(&t, &a));
    EXPECT_GT(t, 16u << 20);
    EXPECT_LE(a, t);
    struct statvfs fs;
    ASSERT_EQ(statvfs("/", &fs), 0);
    ULARGE_INTEGER caller, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &caller, &total, &free));
    EXPECT_EQ(total.QuadPart, (uint64_t)fs.f_blocks * fs.f_frsize);
    EXPECT_LE(caller.QuadPart, free.QuadPart);
}

TEST_F(System, VirtualBlocksAreZeroedAndCounted)
{
    long before = dev::LiveVirtualAllocations();
    BYTE *block = (BYTE *)VirtualAlloc(nullptr, 10000, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 10000; i++)
        ASSERT_EQ(block[i], 0) << "at " << i;
    EXPECT_EQ(dev::LiveVirtualAllocations(), before + 1);
    EXPECT_FALSE(VirtualFree(block, 10000, MEM_RELEASE)) << "release takes a size of 0";
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_EQ(dev::LiveVirtualAllocations(), before);
}

INT_PTR WINAPI ExportA()
{
    return 1;
}

TEST_F(System, LibrariesAreCountedPerLoadAndDroppedAtTheProcessEnd)
{
    dev::RegisterLibrary(u"halvaneh", {{u"mtslen", ExportA}});
    std::atomic<bool> loaded{false};
    dev::StartDeviceThread(0, [&] { loaded = LoadLibraryW(u"halvaneh") != nullptr; });
    for (int i = 0; i < 1000 && dev::LiveObjects(dev::KindThread) > 0; i++)
        dev::AdvanceClock(0);
    EXPECT_TRUE(loaded.load());
    EXPECT_FALSE(dev::LibraryLoaded(u"halvaneh")) << "a load outlived its process";

    dev::AdoptCurrentThread();
    HMODULE a = LoadLibraryW(u"HalvaneH.DLL");
    HMODULE b = LoadLibraryW(u"halvaneh");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(GetProcAddressW(a, u"mtslen"), (FARPROC)ExportA);
    EXPECT_EQ(GetProcAddressW(a, u"MTSLEN"), nullptr) << "export names are exact";
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_TRUE(dev::LibraryLoaded(u"halvaneh"));
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_FALSE(dev::LibraryLoaded(u"halvaneh"));
    EXPECT_FALSE(FreeLibrary(b)) << "more frees than loads";
    EXPECT_EQ(dev::LiveObjects(dev::KindModule), 0);
}

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
    CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            MSG msg;
            // A pump of its own that never sees a quit: the process end stops it.
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
            helperLeft = 1;
            return 0;
        },
        nullptr, 0, &id);
    Sleep(50);
    return 7;
}

class Programs : public DeviceTest {};

TEST_F(Programs, EndOfEntryEndsTheProcessItsWindowsAndItsOtherThreads)
{
    helperLeft = 0;
    dev::RegisterProgram(u"Prog.exe", u"\\Windows\\Prog.exe", ProgramWithHelperThread);
    DWORD pid = dev::StartProgram(u"prog.EXE", u"hello");
    ASSERT_NE(pid, 0u);
    dev::AdvanceClock(10);
    HWND w = FindWindowW(u"ProgWnd", u"hello");
    EXPECT_NE(w, nullptr) << "the command line reaches the entry";
    EXPECT_EQ(dev::DeviceThreadsOf(pid).size(), 2u);
    dev::AdvanceClock(100);
    int code = -1;
    ASSERT_TRUE(dev::WaitProgram(pid, &code, 5000));
    EXPECT_EQ(code, 7);
    EXPECT_FALSE(dev::ProgramRunning(pid));
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(helperLeft.load(), 0) << "the helper thread ran on past the process end";
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), 0);
    EXPECT_EQ(dev::LiveObjects(dev::KindThread), 0);
    EXPECT_EQ(dev::ProcessPath(pid), u"\\Windows\\Prog.exe") << "the path outlives the process";
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
        hung = CreateWindowExW(0, u"Frozen", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        Sleep(INFINITE);
    });
    dev::AdvanceClock(0);
    dev::StartDeviceThread(0, [&] { SendMessageW(hung, WM_USER, 0, 0); });
    dev::StartDeviceThread(0, [&] {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
    });
    dev::AdvanceClock(100);
    EXPECT_EQ(dev::LiveObjects(dev::KindThread), 4);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), 1);
    dev::ResetDevice(kt::ManualConfig());
    EXPECT_EQ(dev::LiveObjects(dev::KindThread), 0);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), 0);
    EXPECT_FALSE(dev::ProgramRunning(pid));
    EXPECT_EQ(dev::StartProgram(u"Hung.exe", u""), 0u) << "programs are forgotten";
    EXPECT_TRUE(dev::DeviceProcesses().empty());
}

} // namespace
