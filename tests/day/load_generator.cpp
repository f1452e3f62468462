#include "load_generator.h"

namespace day {

namespace {

// One slice of a phase: the victim is held back for its busy part, and the
// next slice is booked while this one is still the time it starts at. Each
// slice is a clock event rather than a wake-up of the generator's thread, so
// a busy hour (180,000 slices) costs no host thread switch: switching host
// threads, not the work, was what made long simulated days slow.
void Slice(DWORD victimThread, uint64_t startMs, uint64_t toMs, uint32_t busyMs)
{
    dev::StallThread(victimThread, busyMs);
    uint64_t next = startMs + kLoadSliceMs;
    if (next < toMs)
        dev::ScheduleAt(next, [=] { Slice(victimThread, next, toMs, busyMs); });
}

} // namespace

DWORD StartLoad(DWORD victimThread, const std::vector<LoadPhase> &phases, uint64_t endMs)
{
    return dev::StartDeviceThread(0, [victimThread, phases, endMs] {
        for (const LoadPhase &phase : phases) {
            if (phase.busyPercent <= 0 || phase.toMs <= phase.fromMs)
                continue;
            uint32_t busy = kLoadSliceMs * (uint32_t)(phase.busyPercent > 100 ? 100 : phase.busyPercent) / 100;
            uint64_t from = phase.fromMs < dev::Now() ? dev::Now() : phase.fromMs;
            if (from < phase.toMs)
                dev::ScheduleAt(from, [=] { Slice(victimThread, from, phase.toMs, busy); });
        }
        // The program stays for the whole plan, as the busy programs would.
        uint64_t now = dev::Now();
        if (now < endMs)
            Sleep((DWORD)(endMs - now));
    });
}

} // namespace day
