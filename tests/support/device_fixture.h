// The emulated device for tests: a fresh device with a manual clock and fixed
// memory and storage figures, the monitor as a program of it (or the test
// thread acting as the monitor's main thread), and ways to step the clock and
// read pixels.
//
//   class LoadGraph : public support::DeviceTest {};
//   TEST_F(LoadGraph, Something) {
//       Boot();                 // device, shell, MonitorState reset
//       AdoptAsMonitor();       // this thread is the monitor's main thread
//       HWND dialog = CreateMonitorDialog();
//       dev::AdvanceClock(300); // or Advance(300), which also pumps
//   }
#pragma once

#include "app/monitor_state.h"
#include "platform/host/internal.h"
#include "res_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace support {

// Figures the fixture installs; tests may set others with dev::SetMemorySource.
const uint64_t kFixedTotalPhys = 64ull << 20;  // 64 MiB of RAM
const uint64_t kFixedAvailPhys = 52ull << 20;  // 12 MiB in use: "12,582,912"
const uint64_t kFixedDiskTotal = 32ull << 20;  // 32 MiB of storage
const uint64_t kFixedDiskFree = 29ull << 20;   // 3 MiB in use: "3,145,728"

struct DeviceSetup {
    uint32_t tickStart = 0;
    uint32_t osMajor = 3;
    uint32_t osMinor = 0;
    bool shell = true;            // the taskbar shell "HHTaskBar"
    bool alternateTaskbar = false; // "Halvane" with its library "halvaneh"
};

class DeviceTest : public ::testing::Test {
protected:
    void TearDown() override;

    // A new device with a manual clock and the fixed figures, the programs
    // the setup asks for running, and MonitorState as the program image has it.
    void Boot(const DeviceSetup &setup = DeviceSetup());

    // Start the monitor program; returns once its main dialog is up and every
    // device thread waits. Returns the process id (0 on failure).
    DWORD StartMonitor();
    // WM_CLOSE to the main dialog, as the emulator's --seconds does; returns
    // the exit code, or -1000 when the program did not end.
    int CloseMonitor();
    DWORD monitorProcess = 0;

    // Make the test thread a device thread of a process that has the
    // monitor's resources, and point monitorState.instance at them, so the
    // test can act as the monitor's main thread.
    void AdoptAsMonitor();
    // On the adopted thread: create the main dialog from IDD_MAIN with
    // MainDialogProc, exactly as WinMain does; the whole start-up runs.
    HWND CreateMonitorDialog();
    // On the adopted thread: dispatch what its queue holds.
    void Pump();
    // Move the manual clock; on the adopted thread, pump after each
    // millisecond so timers arrive as they would (coalesced when the
    // thread was late).
    void Advance(uint32_t milliseconds);

    // Screen pixel as 0x00RRGGBB.
    uint32_t ScreenPixel(int x, int y);
    // A pixel of a bitmap, through a memory device context.
    COLORREF BitmapPixel(HBITMAP bitmap, int x, int y);
    // All pixels of a width by height bitmap, row by row from the top.
    std::vector<COLORREF> BitmapPixels(HBITMAP bitmap, int width, int height);
    // The main dialog of the running monitor (any thread).
    HWND FindMonitorDialog();

private:
    bool adopted_ = false;
};

// A COLORREF (0x00BBGGRR) from #RRGGBB.
inline COLORREF FromRgb(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

} // namespace support
