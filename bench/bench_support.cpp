#include "bench_support.h"

#include "app/main_dialog.h"
#include "app/resource.h"
#include "platform/host/kernel.h"
#include "platform/programs/programs.h"

#include <atomic>
#include <cstdlib>
#include <new>

extern const uint8_t perfmonResources[];
extern const size_t perfmonResourcesSize;

namespace {

std::atomic<uint64_t> allocations{0};
std::atomic<unsigned> resets{0};

int HolderEntry(HINSTANCE, LPWSTR)
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    }
    return 0;
}

HWND CreateDialogOnThisThread()
{
    dev::Config config;
    config.manualClock = true;
    dev::ResetDevice(config);
    dev::SetMemorySource([] { return dev::MemoryFigures{64ull << 20, 52ull << 20}; });
    dev::SetDiskSource([] { return dev::DiskFigures{true, 29ull << 20, 32ull << 20, 29ull << 20}; });
    dev::RegisterDevicePrograms();
    dev::RegisterProgram(u"perfmonres.exe", u"\\Windows\\perfmonres.exe", HolderEntry, perfmonResources,
                         perfmonResourcesSize);
    dev::HoldClock();
    dev::StartShell();
    DWORD holder = dev::StartProgram(u"perfmonres.exe", u"");
    dev::ReleaseClock();
    dev::Settle();
    dev::AdoptCurrentThread(holder);
    ResetMonitorState();
    monitorState.instance = dev::ModuleOfProcess(holder);
    HRSRC resource = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
    HWND dialog = CreateDialogIndirectParamW(
        monitorState.instance, (LPCDLGTEMPLATEW)LockResource(LoadResource(monitorState.instance, resource)), nullptr,
        MainDialogProc, 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    dev::Settle();
    return dialog;
}

} // namespace

void *operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace bench {

HWND MonitorDialog()
{
    static bool counting = (dev::OnReset([] { resets++; }), true);
    static HWND dialog = nullptr;
    static unsigned builtAfter = 0;
    (void)counting;
    if (!dialog || builtAfter != resets) {
        dialog = CreateDialogOnThisThread();
        builtAfter = resets;
    }
    return dialog;
}

unsigned DeviceResets()
{
    return resets;
}

uint64_t Allocations()
{
    return allocations.load(std::memory_order_relaxed);
}

} // namespace bench
