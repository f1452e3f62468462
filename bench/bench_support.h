// Shared by the monitor's benchmarks: the device with the monitor's main
// dialog on the benchmark thread, and a count of heap allocations.
#pragma once

#include "app/monitor_state.h"

#include <cstdint>

namespace bench {

// Device with a manual clock and the main dialog built by the real start-up,
// on the calling thread; built again when another benchmark has reset the
// device since (a dialog of a device that is gone measures nothing).
HWND MonitorDialog();
// How many times the device has been reset: whatever was built on it
// before a reset is gone.
unsigned DeviceResets();
// Heap allocations (operator new) made by this process so far.
uint64_t Allocations();

} // namespace bench
