// A fresh device on a manual clock with fixed memory and storage figures,
// and the monitor as a program of it.
#pragma once

#include "app/monitor_state.h"
#include "platform/host/kernel.h"
#include "platform/host/toolhelp.h"
#include "platform/host/user.h"
#include "platform/host/gdi.h"
#include "platform/host/screen.h"
#include "platform/host/shell.h"
#include "platform/programs/programs.h"
#include "res_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace support {

// Figures the fixture installs; tests may set others with dev::SetMemorySource.
const uint64_t kFixedTotalPhys = 64ull << 20; // 64 MiB of RAM
const uint64_t kFixedAvailPhys = 52ull << 20; // 12 MiB in use: "12,582,912"
const uint64_t kFixedDiskTotal = 32ull << 20; // 32 MiB of storage
const uint64_t kFixedDiskFree = 29ull << 20;  // 3 MiB in use: "3,145,728"

struct DeviceSetup {
    uint32_t tickStart = 0;
    uint32_t osMajor = 3, osMinor = 0;
    bool shell = true;             // the taskbar shell "HHTaskBar"
    bool alternateTaskbar = false; // "Halvane" with its library "halvaneh"
};

class DeviceTest : public ::testing::Test {
protected:
    void TearDown() override;
    // The device, the programs the setup asks for, MonitorState reset.
    void Boot(const DeviceSetup &setup = DeviceSetup());
    // The process id once the main dialog is up and all threads wait; 0 on failure.
    DWORD StartMonitor();
    // WM_CLOSE to the main dialog; the exit code, or -1000 when it did not end.
    int CloseMonitor();
    DWORD monitorProcess = 0;
    // The test thread becomes the main thread of a process with the monitor's resources.
    void AdoptAsMonitor();
    // On the adopted thread: the main dialog as WinMain creates it.
    HWND CreateMonitorDialog();
    // On the adopted thread: dispatch what its queue holds.
    void Pump();
    // Move the clock; when adopted, pump after each millisecond.
    void Advance(uint32_t milliseconds);

    uint32_t ScreenPixel(int x, int y); // 0x00RRGGBB
    COLORREF BitmapPixel(HBITMAP bitmap, int x, int y);
    std::vector<COLORREF> BitmapPixels(HBITMAP bitmap, int width, int height); // row by row
    // The main dialog of the running monitor (any thread).
    HWND FindMonitorDialog();

private:
    bool adopted_ = false;
};

// A COLORREF (0x00BBGGRR) from #RRGGBB.
inline COLORREF FromRgb(uint32_t rgb)
{
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

} // namespace support
