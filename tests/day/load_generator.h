// A program of the device that keeps the processor busy on a schedule, so a
// thread's 1 ms timer arrives late the way it does on a loaded handheld.
#pragma once

#include "platform/host/kernel.h"
#include "platform/host/user.h"
#include "platform/host/screen.h"
#include "platform/host/shell.h"
#include "platform/programs/programs.h"

#include <cstdint>
#include <vector>

namespace day {

// From fromMs to toMs of device time, other work takes busyPercent of the
// processor away from the thread, in slices of kLoadSliceMs.
struct LoadPhase {
    uint64_t fromMs;
    uint64_t toMs;
    int busyPercent; // 0 to 100
};

const uint32_t kLoadSliceMs = 20;

// Start the load as a device program of its own; it ends by itself at endMs.
// Phases should not overlap. Returns its thread id (0 when it could not start).
DWORD StartLoad(DWORD victimThread, const std::vector<LoadPhase> &phases, uint64_t endMs);

} // namespace day
