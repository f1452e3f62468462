// The load log (--log-load FILE): the monitor's load history written out as
// it grows, so a script can set the meter's readings beside a load it makes
// itself. A scheduled action looks at the history ring three times per
// sample period and writes every slot filled since its last look, stamped
// with the device time of the sample's grid point.
//
// The monitor's main thread writes the ring without the device lock. Under
// the virtual clock the action runs only while every device thread waits, so
// it reads a still ring; in real time a look that falls between the storing
// of a sample and the move of the next due tick stamps that one line 300 ms
// early, a window a few instructions wide.
#include "../host/kernel.h"
#include "emulator.h"
#include "../../app/monitor_state.h"

#include <cstdio>

namespace dev {

namespace {

const uint64_t lookPeriodMs = 100;
const uint32_t samplePeriodMs = 300;

struct LoadLog {
    std::FILE *file = nullptr;
    int lastIndex = 0;       // ring slot after the last one written out
    unsigned generation = 0; // a look scheduled for an earlier log does nothing
    bool failed = false;     // a write or the close failed: the log is incomplete
};
LoadLog loadLog;

// Device time of a tick count near now: the tick count is 32 bits and wraps.
uint64_t DeviceTimeOfTick(DWORD tick)
{
    uint64_t now = Now();
    DWORD nowTick = (DWORD)(CurrentConfig().tickStart + now);
    int64_t time = (int64_t)now + (int32_t)(tick - nowTick);
    return time < 0 ? 0 : (uint64_t)time;
}

void WriteNewSamples()
{
    const LoadHistory &history = monitorState.history;
    int next = history.nextIndex;
    DWORD nextDue = monitorState.nextSampleTick;
    if (next < 0 || next >= LOAD_HISTORY_SLOTS) return;
    int fresh = (next - loadLog.lastIndex + LOAD_HISTORY_SLOTS) % LOAD_HISTORY_SLOTS;
    for (int k = fresh; k >= 1; --k) {
        int slot = (next - k + LOAD_HISTORY_SLOTS) % LOAD_HISTORY_SLOTS;
        // The slot just before nextIndex was stored for the grid point before nextSampleTick.
        DWORD gridTick = nextDue - (DWORD)k * samplePeriodMs;
        std::fprintf(loadLog.file, "%llu %d\n", (unsigned long long)DeviceTimeOfTick(gridTick), history.samples[slot]);
    }
    loadLog.lastIndex = next;
    if (fresh > 0 && std::ferror(loadLog.file)) loadLog.failed = true;
}

void Look(unsigned generation)
{
    if (generation != loadLog.generation || !loadLog.file) return;
    WriteNewSamples();
    ScheduleAt(Now() + lookPeriodMs, [generation] { Look(generation); });
}

} // namespace

bool StartLoadLog(const std::string &path)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    StopLoadLog();
    loadLog.failed = false;
    loadLog.file = std::fopen(path.c_str(), "w");
    if (!loadLog.file) return false;
    // A line at a time, so a script can follow the file while the run goes on.
    std::setvbuf(loadLog.file, nullptr, _IOLBF, 0);
    // The heading goes out at once, so a file that takes nothing (a full
    // device) is refused before the run rather than found empty after it.
    if (std::fputs("# device_ms percent\n", loadLog.file) < 0 || std::fflush(loadLog.file) != 0) {
        std::fclose(loadLog.file);
        loadLog.file = nullptr;
        return false;
    }
    // The log starts before the monitor, whose dialog starts the ring at slot 0.
    loadLog.lastIndex = 0;
    unsigned generation = ++loadLog.generation;
    ScheduleAt(Now() + lookPeriodMs, [generation] { Look(generation); });
    return true;
}

void StopLoadLog()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    ++loadLog.generation;
    if (!loadLog.file) return;
    WriteNewSamples();
    if (std::fclose(loadLog.file) != 0) loadLog.failed = true;
    loadLog.file = nullptr;
}

bool LoadLogFailed()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    return loadLog.failed;
}

} // namespace dev
