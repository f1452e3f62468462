#include "device_fixture.h"

#include "app/main_dialog.h"
#include "app/resource.h"

#include <chrono>
#include <thread>

namespace support {

namespace {

const char16_t kMonitorImage[] = u"perfmon.exe";
const char16_t kHolderImage[] = u"perfmonres.exe";

int MonitorEntry(HINSTANCE instance, LPWSTR)
{
    WCHAR empty[1] = {0};
    return WinMain(instance, nullptr, empty, SW_SHOW);
}

// Holds the monitor's resources for an adopted test thread; waits for ever.
int HolderEntry(HINSTANCE, LPWSTR)
{
    for (MSG message; GetMessageW(&message, nullptr, 0, 0) > 0;) {
    }
    return 0;
}

// Reads pixels of a bitmap through a memory device context.
template <class Read> void ReadBitmap(HBITMAP bitmap, Read read)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    read(dc);
    SelectObject(dc, previous);
    DeleteDC(dc);
}

} // namespace

void DeviceTest::TearDown()
{
    if (adopted_) dev::ReleaseCurrentThread();
    adopted_ = false;
    // Ends every program and thread the test left.
    dev::ResetDevice(dev::Config());
    dev::SetMemorySource(nullptr);
    dev::SetDiskSource(nullptr);
    ResetMonitorState();
}

void DeviceTest::Boot(const DeviceSetup &setup)
{
    ResetMonitorState();
    dev::Config config;
    config.manualClock = true;
    config.tickStart = setup.tickStart;
    config.osMajor = setup.osMajor, config.osMinor = setup.osMinor;
    dev::ResetDevice(config);
    dev::SetMemorySource([] { return dev::MemoryFigures{kFixedTotalPhys, kFixedAvailPhys}; });
    dev::SetDiskSource([] { return dev::DiskFigures{true, kFixedDiskFree, kFixedDiskTotal, kFixedDiskFree}; });
    dev::RegisterDevicePrograms();
    dev::RegisterProgram(kMonitorImage, u"\\Windows\\perfmon.exe", MonitorEntry, perfmonResources,
                         perfmonResourcesSize);
    dev::RegisterProgram(kHolderImage, u"\\Windows\\perfmonres.exe", HolderEntry, perfmonResources,
                         perfmonResourcesSize);
    dev::HoldClock();
    bool shell = !setup.shell || dev::StartShell() != 0;
    bool alternate = !setup.alternateTaskbar || dev::StartAlternateTaskbar() != 0;
    dev::ReleaseClock();
    dev::Settle();
    ASSERT_TRUE(shell && alternate) << "taskbar started: " << shell << ", alternate taskbar: " << alternate;
}

HWND DeviceTest::FindMonitorDialog()
{
    std::lock_guard<std::recursive_mutex> lock(dev::BigLock());
    return FindWindowW(DEVICE_DIALOG_CLASS, TEXT("Performance Monitor"));
}

DWORD DeviceTest::StartMonitor()
{
    monitorProcess = dev::StartProgram(kMonitorImage, u"");
    if (!monitorProcess) return 0;
    // The device runs on its own threads: wait for the dialog in real time.
    bool up = false;
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
         !up && std::chrono::steady_clock::now() < deadline;) {
        dev::Settle();
        HWND dialog = FindMonitorDialog();
        up = (dialog && monitorState.mainDialog == dialog) || !dev::ProgramRunning(monitorProcess);
        if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    dev::Settle();
    return up && dev::ProgramRunning(monitorProcess) ? monitorProcess : 0;
}

int DeviceTest::CloseMonitor()
{
    {
        std::lock_guard<std::recursive_mutex> lock(dev::BigLock());
        dev::CloseWindowNormally(DEVICE_DIALOG_CLASS, TEXT("Performance Monitor"));
    }
    dev::Settle();
    int code = -1000;
    return dev::WaitProgram(monitorProcess, &code, 5000) ? code : -1000;
}

void DeviceTest::AdoptAsMonitor()
{
    DWORD holder = dev::StartProgram(kHolderImage, u"");
    ASSERT_NE(holder, 0u);
    dev::Settle();
    ASSERT_NE(dev::AdoptCurrentThread(holder), 0u);
    adopted_ = true;
    monitorState.instance = dev::ModuleOfProcess(holder);
}

HWND DeviceTest::CreateMonitorDialog()
{
    HRSRC resource = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
    if (!resource) return nullptr;
    auto dialogTemplate = (LPCDLGTEMPLATEW)LockResource(LoadResource(monitorState.instance, resource));
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance, dialogTemplate, nullptr, MainDialogProc, 0);
    Pump();
    dev::Settle();
    return dialog;
}

void DeviceTest::Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void DeviceTest::Advance(uint32_t milliseconds)
{
    if (!adopted_) {
        dev::AdvanceClock(milliseconds);
        return;
    }
    for (uint32_t i = 0; i < milliseconds; i++) {
        dev::AdvanceClock(1);
        Pump();
    }
    dev::Settle();
}

uint32_t DeviceTest::ScreenPixel(int x, int y)
{
    std::lock_guard<std::recursive_mutex> lock(dev::BigLock());
    if (x < 0 || y < 0 || x >= dev::ScreenWidth() || y >= dev::ScreenHeight()) return 0xFFFFFFFF;
    return dev::ScreenPixels()[y * dev::ScreenWidth() + x];
}

COLORREF DeviceTest::BitmapPixel(HBITMAP bitmap, int x, int y)
{
    COLORREF color = 0;
    ReadBitmap(bitmap, [&](HDC dc) { color = GetPixel(dc, x, y); });
    return color;
}

std::vector<COLORREF> DeviceTest::BitmapPixels(HBITMAP bitmap, int width, int height)
{
    std::vector<COLORREF> pixels;
    ReadBitmap(bitmap, [&](HDC dc) {
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                pixels.push_back(GetPixel(dc, x, y));
    });
    return pixels;
}

} // namespace support
