// Version, memory and storage figures, virtual memory blocks, the module
// registry and the object counts of the device.

#include "kernel_test_util.h"

#include <sys/statvfs.h>

#include <cstring>

namespace {

using kt::DeviceTest;

class System : public DeviceTest {};

struct VersionCase {
    uint32_t major, minor;
};

class Version : public DeviceTest, public ::testing::WithParamInterface<VersionCase> {
    dev::Config Config() override
    {
        dev::Config c = kt::ManualConfig();
        c.osMajor = GetParam().major;
        c.osMinor = GetParam().minor;
        return c;
    }
};

TEST_P(Version, ReportsTheConfiguredVersion)
{
    OSVERSIONINFOW info;
    memset(&info, 0xAA, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExW(&info));
    EXPECT_EQ(info.dwMajorVersion, GetParam().major);
    EXPECT_EQ(info.dwMinorVersion, GetParam().minor);
    EXPECT_EQ(info.szCSDVersion[0], 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, Version,
                         ::testing::Values(VersionCase{2, 11}, VersionCase{3, 0}, VersionCase{5, 2}, VersionCase{2, 10}));

TEST_F(System, VersionWithAWrongSizeFailsAndLeavesTheRecord)
{
    OSVERSIONINFOW info;
    memset(&info, 0xAA, sizeof info);
    info.dwOSVersionInfoSize = sizeof info - 1;
    EXPECT_FALSE(GetVersionExW(&info));
    EXPECT_EQ(info.dwMajorVersion, 0xAAAAAAAAu);
    EXPECT_EQ(info.dwOSVersionInfoSize, (DWORD)sizeof info - 1);
}

TEST_F(System, MemoryFiguresComeFromTheSourceInFull64Bits)
{
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
    ULONGLONG t = 0, a = 0;
    EXPECT_TRUE(DeviceGetMemoryFigures(&t, &a));
    EXPECT_EQ(t, total);
    EXPECT_EQ(a, avail);
    ex.dwLength = 12;
    EXPECT_FALSE(GlobalMemoryStatusEx(&ex));
}

TEST_F(System, LinuxMemoryByDefault)
{
    MEMORYSTATUS status;
    GlobalMemoryStatus(&status);
    EXPECT_GT(status.dwTotalPhys, (SIZE_T)(16u << 20));
    EXPECT_LE(status.dwAvailPhys, status.dwTotalPhys);
}

TEST_F(System, DiskFiguresFromTheSourceAndAFailureTouchesNothing)
{
    dev::SetDiskSource([] { return dev::DiskFigures{true, 1000, 5000, 1200}; });
    ULARGE_INTEGER caller, total, free;
    memset(&caller, 0xAA, sizeof caller);
    memset(&total, 0xAA, sizeof total);
    memset(&free, 0xAA, sizeof free);
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

TEST_F(System, DiskOfTheRootByDefault)
{
    struct statvfs fs;
    ASSERT_EQ(statvfs("/", &fs), 0);
    ULARGE_INTEGER caller, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExW(nullptr, &caller, &total, &free));
    EXPECT_EQ(total.QuadPart, (uint64_t)fs.f_blocks * fs.f_frsize);
    EXPECT_LE(caller.QuadPart, free.QuadPart);
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

    dev::RefuseVirtualAlloc(1, 2);
    void *first = VirtualAlloc(nullptr, 16, MEM_COMMIT, PAGE_READWRITE);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(VirtualAlloc(nullptr, 16, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(VirtualAlloc(nullptr, 16, MEM_COMMIT, PAGE_READWRITE), nullptr);
    void *later = VirtualAlloc(nullptr, 16, MEM_COMMIT, PAGE_READWRITE);
    EXPECT_NE(later, nullptr);
    VirtualFree(first, 0, MEM_RELEASE);
    VirtualFree(later, 0, MEM_RELEASE);
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
    EXPECT_TRUE(dev::LibraryLoaded(u"halvaneh"));
    EXPECT_EQ(dev::LiveObjects(dev::KindModule), 2);
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_TRUE(dev::LibraryLoaded(u"halvaneh"));
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_FALSE(dev::LibraryLoaded(u"halvaneh"));
    EXPECT_FALSE(FreeLibrary(b)) << "more frees than loads";
    EXPECT_EQ(dev::LiveObjects(dev::KindModule), 0);
    EXPECT_EQ(GetModuleHandleW(u"halvaneh"), nullptr);
}

TEST_F(System, AProcessEndDropsItsLibraryLoads)
{
    dev::RegisterLibrary(u"toolhelp", {{u"CloseToolhelp32Snapshot", ExportA}});
    std::atomic<bool> loaded{false};
    dev::StartDeviceThread(0, [&] { loaded = LoadLibraryW(u"toolhelp.dll") != nullptr; });
    dev::AdvanceClock(0);
    for (int i = 0; i < 1000 && dev::LiveObjects(dev::KindThread) > 0; i++) dev::AdvanceClock(0);
    EXPECT_TRUE(loaded.load());
    EXPECT_FALSE(dev::LibraryLoaded(u"toolhelp"));
    EXPECT_EQ(dev::LiveObjects(dev::KindModule), 0);
}

TEST_F(System, ObjectCountsByKind)
{
    EXPECT_STREQ(dev::ObjectKindName(dev::KindWindow), "window");
    EXPECT_STREQ(dev::ObjectKindName(dev::KindImageList), "imagelist");
    long before = dev::LiveObjects(dev::KindBrush);
    dev::CountObject(dev::KindBrush, 3);
    dev::CountObject(dev::KindBrush, -1);
    EXPECT_EQ(dev::LiveObjects(dev::KindBrush), before + 2);
    dev::CountObject(dev::KindBrush, -2);
}

TEST_F(System, LastErrorIsPerThread)
{
    SetLastError(77);
    std::atomic<DWORD> other{0xAAAA};
    dev::StartDeviceThread(0, [&] {
        SetLastError(5);
        other = GetLastError();
    });
    dev::AdvanceClock(0);
    EXPECT_EQ(other.load(), 5u);
    EXPECT_EQ(GetLastError(), 77u);
}

} // namespace
