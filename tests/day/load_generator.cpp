#include "load_generator.h"

namespace day {

namespace {

// The busy share at a time and when it next changes.
int BusyAt(const std::vector<LoadPhase> &phases, uint64_t now, uint64_t endMs, uint64_t *changeAt)
{
    uint64_t change = endMs;
    for (const LoadPhase &phase : phases) {
        if (now >= phase.fromMs && now < phase.toMs) {
            *changeAt = phase.toMs;
            return phase.busyPercent;
        }
        if (phase.fromMs > now && phase.fromMs < change)
            change = phase.fromMs;
    }
    *changeAt = change;
    return 0;
}

} // namespace

DWORD StartLoad(DWORD victimThread, const std::vector<LoadPhase> &phases, uint64_t endMs)
{
    return dev::StartDeviceThread(0, [victimThread, phases, endMs] {
        for (;;) {
            uint64_t now = dev::Now();
            if (now >= endMs)
                return;
            uint64_t changeAt = endMs;
            int busy = BusyAt(phases, now, endMs, &changeAt);
            if (busy <= 0) {
                // Idle: nothing to take until the next phase.
                Sleep((DWORD)(changeAt - now));
                continue;
            }
            uint32_t slice = kLoadSliceMs * (uint32_t)(busy > 100 ? 100 : busy) / 100;
            // Busy for the slice, then the thread gets the rest of it.
            dev::StallThread(victimThread, slice);
            Sleep(kLoadSliceMs);
        }
    });
}

} // namespace day
