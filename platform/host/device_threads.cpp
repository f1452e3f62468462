// Thread times and program file names looked up by identifier, as the
// device answers GetThreadTimes and GetModuleFileNameW given an id in place
// of a handle. Thread ids are the device's own for the threads its programs
// start, Linux thread ids for the rest;
// process ids are the device's own (0x40000000 and up) or Linux pids.
#include "kernel.h"
#include "toolhelp.h"
#include "procfs.h"

#include <memory>

#include <unistd.h>

namespace dev {

// toolhelp.cpp: the fixed tables of SetSystemSource, or null.
std::shared_ptr<const SystemTables> FixedSystemTables();

namespace {

const DWORD FirstDeviceProcess = 0x40000000;
// 1601-01-01 to 1970-01-01 in 100-ns units: FILETIME's epoch to Linux's.
const uint64_t UnixEpochAsFileTime = 116444736000000000ull;

struct Times {
    uint64_t creation, user, kernel;
};

// Boot time in seconds since 1970; it doesn't change while we run.
uint64_t BootSeconds()
{
    static const uint64_t seconds = [] {
        std::string text;
        uint64_t value = 0;
        if (procfs::LiveProcFiles().Read("/proc/stat", &text) == 0)
            procfs::ParseBootTime(text.data(), text.size(), &value);
        return value;
    }();
    return seconds;
}

bool ThreadTimes(DWORD threadId, Times *times)
{
    if (std::shared_ptr<const SystemTables> fixed = FixedSystemTables()) {
        for (const FakeThread &thread : fixed->threads) {
            if (thread.threadId != threadId) continue;
            if (thread.timesFail) return false;
            *times = {0, thread.userTime100ns, thread.kernelTime100ns};
            return true;
        }
        return false;
    }
    procfs::Stat stat;
    uint64_t ticks = procfs::TicksPerSecond();
    uint64_t user100ns = 0, startMs = 0;
    if (DeviceThreadFigures(threadId, &user100ns, &startMs, nullptr)) {
        // Started with the device, which started with this process.
        if (!procfs::ReadThreadStat(procfs::LiveProcFiles(), "/proc", (DWORD)getpid(), &stat)) return false;
        times->user = user100ns;
        times->kernel = 0;
        times->creation = UnixEpochAsFileTime + BootSeconds() * 10000000ull +
                          procfs::TicksTo100ns(stat.startTicks, ticks) + startMs * 10000;
        return true;
    }
    if (threadId == 0 || !procfs::ReadThreadStat(procfs::LiveProcFiles(), "/proc", threadId, &stat)) return false;
    times->user = procfs::TicksTo100ns(stat.utimeTicks, ticks);
    times->kernel = procfs::TicksTo100ns(stat.stimeTicks, ticks);
    times->creation = UnixEpochAsFileTime + BootSeconds() * 10000000ull + procfs::TicksTo100ns(stat.startTicks, ticks);
    return true;
}

void SetFileTime(FILETIME *time, uint64_t value)
{
    if (!time) return;
    time->dwLowDateTime = DWORD(value);
    time->dwHighDateTime = DWORD(value >> 32);
}

} // namespace

bool LinuxThreadTimes(DWORD threadId, uint64_t *user100ns, uint64_t *kernel100ns)
{
    Times times;
    if (!ThreadTimes(threadId, &times)) return false;
    if (user100ns) *user100ns = times.user;
    if (kernel100ns) *kernel100ns = times.kernel;
    return true;
}

} // namespace dev

BOOL DeviceGetThreadTimes(DWORD threadId, FILETIME *creation, FILETIME *exitTime, FILETIME *kernel, FILETIME *user)
{
    dev::Times times;
    if (!dev::ThreadTimes(threadId, &times)) return FALSE;
    dev::SetFileTime(creation, times.creation);
    dev::SetFileTime(exitTime, 0); // still running: it was there to be read
    dev::SetFileTime(kernel, times.kernel);
    dev::SetFileTime(user, times.user);
    return TRUE;
}

DWORD DeviceGetProcessFileName(DWORD processId, LPWSTR buffer, DWORD size)
{
    if (!buffer || size == 0) return 0;
    buffer[0] = 0;
    std::u16string path;
    std::shared_ptr<const dev::SystemTables> fixed = dev::FixedSystemTables();
    bool found = false;
    if (fixed) {
        for (const dev::FakeProcess &process : fixed->processes) {
            if (process.processId == processId) {
                path = process.exeFile;
                found = true;
                break;
            }
        }
    }
    if (!found && processId >= dev::FirstDeviceProcess)
        path = dev::ProcessPath(processId);
    else if (!found && !fixed && processId != 0)
        path = procfs::ReadProcessPath(procfs::LiveProcFiles(), "/proc", processId);
    return DWORD(procfs::CopyToField(path, buffer, size));
}
