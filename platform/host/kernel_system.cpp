// Memory and storage figures, the version, virtual memory blocks, the last
// error and the live object counts of the device.
//
// The figures come from Linux (/proc/meminfo, statvfs of "/") unless a test
// has put fixed sources in their place.

#include "kernel_sched.h"
#include "procfs.h"
#include "kernel.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statvfs.h>

#include <atomic>
#include <map>

namespace dev {

void ResetSystemModules(); // kernel_modules.cpp

namespace {

struct SystemState {
    std::function<MemoryFigures()> memorySource;
    std::function<DiskFigures()> diskSource;
    std::map<void *, size_t> virtualBlocks;
    long grantBeforeRefusal = 0; // successful allocations still granted before refusing
    long refusals = 0;           // allocations to refuse after that
};

SystemState &S()
{
    static SystemState *state = new SystemState;
    return *state;
}

std::atomic<long> objectCounts[KindCount];

// Host threads only: the device's threads share one host thread and keep
// their own in their records.
thread_local DWORD hostLastError = 0;

// Through the tested reader: it falls back to MemFree + Buffers + Cached on
// kernels without MemAvailable and never reports more available than total.
MemoryFigures LinuxMemory()
{
    MemoryFigures figures{0, 0};
    if (!procfs::ReadMemory(procfs::LiveProcFiles(), "/proc", &figures.totalPhys, &figures.availPhys))
        figures = MemoryFigures{0, 0};
    return figures;
}

DiskFigures LinuxDisk()
{
    struct statvfs fs;
    if (statvfs("/", &fs) != 0) return DiskFigures{false, 0, 0, 0};
    return DiskFigures{true, (uint64_t)fs.f_bavail * fs.f_frsize, (uint64_t)fs.f_blocks * fs.f_frsize,
                       (uint64_t)fs.f_bfree * fs.f_frsize};
}

MemoryFigures ReadMemory()
{
    std::function<MemoryFigures()> source;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        source = S().memorySource;
    }
    return source ? source() : LinuxMemory();
}

const size_t kPage = 4096;

} // namespace

void SetMemorySource(std::function<MemoryFigures()> source)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    S().memorySource = std::move(source);
}

void SetDiskSource(std::function<DiskFigures()> source)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    S().diskSource = std::move(source);
}

bool ReadMemoryFigures(uint64_t *total, uint64_t *avail)
{
    MemoryFigures figures = ReadMemory();
    *total = figures.totalPhys;
    *avail = figures.availPhys;
    return true;
}

void CountObject(ObjectKind kind, int delta)
{
    if (kind >= 0 && kind < KindCount) objectCounts[kind] += delta;
}

long LiveObjects(ObjectKind kind)
{
    return kind >= 0 && kind < KindCount ? objectCounts[kind].load() : 0;
}

const char *ObjectKindName(ObjectKind kind)
{
    static const char *const names[KindCount] = {"window", "dc",   "bitmap",    "brush",  "pen",
                                                 "font",   "icon", "imagelist", "thread", "module"};
    return kind >= 0 && kind < KindCount ? names[kind] : "unknown";
}

void ResetObjectCounts()
{
    for (auto &count : objectCounts)
        count = 0;
}

long LiveVirtualAllocations()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    return (long)S().virtualBlocks.size();
}

void RefuseVirtualAlloc(long grant, long refuse)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    S().grantBeforeRefusal = grant < 0 ? 0 : grant;
    S().refusals = refuse < 0 ? 0 : refuse;
}

void ResetSystem()
{
    SystemState &s = S();
    s.grantBeforeRefusal = 0;
    s.refusals = 0;
    s.memorySource = nullptr;
    s.diskSource = nullptr;
    for (auto &block : s.virtualBlocks)
        free(block.first);
    s.virtualBlocks.clear();
    ResetSystemModules();
}

} // namespace dev

using namespace dev;

DWORD GetLastError(void)
{
    Thread *t = CurrentThread();
    return t ? t->lastError : hostLastError;
}

void SetLastError(DWORD error)
{
    Thread *t = CurrentThread();
    (t ? t->lastError : hostLastError) = error;
}

BOOL GetVersionExW(LPOSVERSIONINFOW info)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        SetLastError(122); // ERROR_INSUFFICIENT_BUFFER; the record is left as it was
        return FALSE;
    }
    const Config &config = CurrentConfig();
    info->dwMajorVersion = config.osMajor;
    info->dwMinorVersion = config.osMinor;
    info->dwBuildNumber = 0;
    info->dwPlatformId = 3; // VER_PLATFORM_WIN32_CE
    memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

void GlobalMemoryStatus(LPMEMORYSTATUS buffer)
{
    if (!buffer) return;
    MemoryFigures figures = ReadMemory();
    buffer->dwLength = sizeof(MEMORYSTATUS);
    buffer->dwMemoryLoad =
        figures.totalPhys ? (DWORD)((figures.totalPhys - figures.availPhys) * 100 / figures.totalPhys) : 0;
    buffer->dwTotalPhys = (SIZE_T)figures.totalPhys;
    buffer->dwAvailPhys = (SIZE_T)figures.availPhys;
    // The device has no page file and gives each process a 32 MB slot.
    buffer->dwTotalPageFile = 0;
    buffer->dwAvailPageFile = 0;
    buffer->dwTotalVirtual = 32u << 20;
    buffer->dwAvailVirtual = 32u << 20;
}

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX buffer)
{
    if (!buffer || buffer->dwLength != sizeof(MEMORYSTATUSEX)) {
        SetLastError(87); // ERROR_INVALID_PARAMETER
        return FALSE;
    }
    MemoryFigures figures = ReadMemory();
    buffer->dwMemoryLoad =
        figures.totalPhys ? (DWORD)((figures.totalPhys - figures.availPhys) * 100 / figures.totalPhys) : 0;
    buffer->ullTotalPhys = figures.totalPhys;
    buffer->ullAvailPhys = figures.availPhys;
    buffer->ullTotalPageFile = 0;
    buffer->ullAvailPageFile = 0;
    buffer->ullTotalVirtual = 32u << 20;
    buffer->ullAvailVirtual = 32u << 20;
    buffer->ullAvailExtendedVirtual = 0;
    return TRUE;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes)
{
    std::function<DiskFigures()> source;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        source = S().diskSource;
    }
    DiskFigures figures = source ? source() : LinuxDisk();
    if (!figures.ok) {
        SetLastError(21); // ERROR_NOT_READY
        return FALSE;
    }
    if (freeToCaller) freeToCaller->QuadPart = figures.freeToCaller;
    if (totalBytes) totalBytes->QuadPart = figures.total;
    if (totalFreeBytes) totalFreeBytes->QuadPart = figures.totalFree;
    return TRUE;
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect)
{
    // Only fresh committed read-write blocks: what a program asks for when it
    // wants zeroed memory of its own.
    if (address || size == 0 || !(allocationType & MEM_COMMIT) || protect != PAGE_READWRITE) {
        SetLastError(87);
        return nullptr;
    }
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        SystemState &s = S();
        if (s.refusals > 0) {
            if (s.grantBeforeRefusal > 0) {
                s.grantBeforeRefusal--;
            } else {
                s.refusals--;
                SetLastError(8); // ERROR_NOT_ENOUGH_MEMORY
                return nullptr;
            }
        }
    }
    size_t rounded = (size + kPage - 1) / kPage * kPage;
    void *block = aligned_alloc(kPage, rounded);
    if (!block) {
        SetLastError(8); // ERROR_NOT_ENOUGH_MEMORY
        return nullptr;
    }
    memset(block, 0, rounded);
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    S().virtualBlocks[block] = rounded;
    return block;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    auto it = S().virtualBlocks.find(address);
    // Releasing takes the block's start and a size of 0, as on the platform.
    if (it == S().virtualBlocks.end() || freeType != MEM_RELEASE || size != 0) {
        SetLastError(87);
        return FALSE;
    }
    free(it->first);
    S().virtualBlocks.erase(it);
    return TRUE;
}
