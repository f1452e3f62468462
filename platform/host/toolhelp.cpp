// The device's "toolhelp" library: snapshots of every process and thread.
//
// A snapshot reads the whole system once, when it is created, and the walks
// then only copy out of memory, so a walk sees one consistent moment however
// slowly it goes. The system is Linux's /proc plus the device's own programs;
// the device's threads are real Linux threads of this host process, so they
// are listed under their device process and not a second time under the host
// process. Tests put fixed tables in place of all of it.
//
// Not implemented: heap and module lists (TH32CS_SNAPHEAPLIST,
// TH32CS_SNAPMODULE) are always empty, as there are no Heap32/Module32
// exports; the process id argument, which only those lists use, is ignored.
#include "kernel.h"
#include "toolhelp.h"
#include "procfs.h"

#include <cstring>
#include <map>
#include <memory>
#include <unordered_set>
#include <unistd.h>

namespace dev {

namespace {

const DWORD ErrorInvalidHandle = 6;
const DWORD ErrorNoMoreFiles = 18;
const DWORD ErrorBadLength = 24;
const DWORD ErrorInvalidParameter = 87;

struct Snapshot {
    std::vector<PROCESSENTRY32W> processes;
    std::vector<THREADENTRY32> threads;
    size_t nextProcess = 0;
    size_t nextThread = 0;
};

struct State {
    std::mutex lock;
    std::shared_ptr<const SystemTables> fixed; // null: the live system
    std::map<uintptr_t, std::unique_ptr<Snapshot>> snapshots;
    uintptr_t nextHandle = 0;
};

State &Toolhelp()
{
    static State state;
    return state;
}

// Snapshot handles live in a range of their own, so a stale or foreign handle
// is recognised as not one of ours.
const uintptr_t HandleBase = 0x7E000000;

PROCESSENTRY32W ProcessRecord(DWORD pid, DWORD parent, LONG basePriority, const std::u16string &exeFile)
{
    PROCESSENTRY32W record;
    memset(&record, 0, sizeof record);
    record.dwSize = sizeof record;
    record.cntUsage = 1;
    record.th32ProcessID = pid;
    record.th32ParentProcessID = parent;
    record.pcPriClassBase = basePriority;
    procfs::CopyToField(exeFile, record.szExeFile, MAX_PATH);
    return record;
}

THREADENTRY32 ThreadRecord(DWORD tid, DWORD owner, LONG basePriority)
{
    THREADENTRY32 record;
    memset(&record, 0, sizeof record);
    record.dwSize = sizeof record;
    record.cntUsage = 1;
    record.th32ThreadID = tid;
    record.th32OwnerProcessID = owner;
    record.tpBasePri = basePriority;
    // Threads of the device run in their own process: no calls across.
    record.th32CurrentProcessID = owner;
    return record;
}

void FillFromFixed(const SystemTables &tables, Snapshot *snapshot)
{
    for (const FakeProcess &process : tables.processes)
        snapshot->processes.push_back(ProcessRecord(process.processId, 0, THREAD_PRIORITY_NORMAL, process.exeFile));
    for (const FakeThread &thread : tables.threads)
        snapshot->threads.push_back(ThreadRecord(thread.threadId, thread.ownerProcessId, thread.basePriority));
}

void FillFromSystem(Snapshot *snapshot)
{
    procfs::Tables host;
    procfs::ReadTables(procfs::LiveProcFiles(), "/proc", procfs::TicksPerSecond(), &host);
    const DWORD hostPid = DWORD(getpid());

    // The device's programs first: they are the device's own processes.
    std::unordered_set<DWORD> deviceThreads;
    for (DWORD pid : DeviceProcesses()) {
        std::vector<DWORD> tids = DeviceThreadsOf(pid);
        size_t firstThread = snapshot->threads.size();
        for (DWORD tid : tids) {
            int devicePriority = 0;
            if (DeviceThreadFigures(tid, nullptr, nullptr, &devicePriority)) {
                snapshot->threads.push_back(ThreadRecord(tid, pid, devicePriority));
                continue;
            }
            procfs::Stat stat;
            // A thread that ended since the kernel listed it is left out.
            if (!procfs::ReadThreadStat(procfs::LiveProcFiles(), "/proc", tid, &stat)) continue;
            LONG priority =
                procfs::DevicePriority(stat.nice, stat.priority < 0 ? int64_t(procfs::PolicyFifo) : stat.policy);
            snapshot->threads.push_back(ThreadRecord(tid, pid, priority));
            deviceThreads.insert(tid);
        }
        PROCESSENTRY32W record = ProcessRecord(pid, 0, THREAD_PRIORITY_NORMAL, ProcessPath(pid));
        record.cntThreads = DWORD(snapshot->threads.size() - firstThread);
        snapshot->processes.push_back(record);
    }

    size_t thread = 0;
    for (const procfs::ProcessInfo &process : host.processes) {
        PROCESSENTRY32W record = ProcessRecord(process.pid, process.ppid, process.basePriority, process.exeFile);
        for (; thread < host.threads.size() && host.threads[thread].pid == process.pid; ++thread) {
            const procfs::ThreadInfo &info = host.threads[thread];
            if (process.pid == hostPid && deviceThreads.count(info.tid)) continue;
            snapshot->threads.push_back(ThreadRecord(info.tid, info.pid, info.basePriority));
            ++record.cntThreads;
        }
        snapshot->processes.push_back(record);
    }
}

Snapshot *Find(State &state, HANDLE handle)
{
    auto found = state.snapshots.find(uintptr_t(handle));
    return found == state.snapshots.end() ? nullptr : found->second.get();
}

HANDLE WINAPI CreateSnapshot(DWORD flags, DWORD /*processId*/)
{
    State &state = Toolhelp();
    std::shared_ptr<const SystemTables> fixed;
    {
        std::lock_guard<std::mutex> hold(state.lock);
        fixed = state.fixed;
    }
    // Reading /proc takes a while; no lock is held meanwhile.
    auto snapshot = std::make_unique<Snapshot>();
    if (fixed)
        FillFromFixed(*fixed, snapshot.get());
    else
        FillFromSystem(snapshot.get());
    if (!(flags & TH32CS_SNAPPROCESS)) snapshot->processes.clear();
    if (!(flags & TH32CS_SNAPTHREAD)) snapshot->threads.clear();

    std::lock_guard<std::mutex> hold(state.lock);
    state.nextHandle += 4;
    uintptr_t handle = HandleBase + state.nextHandle;
    state.snapshots[handle] = std::move(snapshot);
    return HANDLE(handle);
}

BOOL WINAPI CloseSnapshot(HANDLE handle)
{
    State &state = Toolhelp();
    std::lock_guard<std::mutex> hold(state.lock);
    if (state.snapshots.erase(uintptr_t(handle)) == 0) {
        SetLastError(ErrorInvalidHandle);
        return FALSE;
    }
    return TRUE;
}

// One step of a walk: first (restart) or next. The record must have room for
// the whole entry; a refused call leaves the walk where it was.
template <typename Record>
BOOL Walk(HANDLE handle, Record *entry, bool restart, std::vector<Record> Snapshot::*list, size_t Snapshot::*cursor)
{
    if (!entry) {
        SetLastError(ErrorInvalidParameter);
        return FALSE;
    }
    if (entry->dwSize < sizeof(Record)) {
        SetLastError(ErrorBadLength);
        return FALSE;
    }
    State &state = Toolhelp();
    std::lock_guard<std::mutex> hold(state.lock);
    Snapshot *snapshot = Find(state, handle);
    if (!snapshot) {
        SetLastError(ErrorInvalidHandle);
        return FALSE;
    }
    size_t &at = snapshot->*cursor;
    if (restart) at = 0;
    const std::vector<Record> &records = snapshot->*list;
    if (at >= records.size()) {
        SetLastError(ErrorNoMoreFiles);
        return FALSE;
    }
    DWORD size = entry->dwSize;
    *entry = records[at++];
    entry->dwSize = size;
    return TRUE;
}

BOOL WINAPI ProcessFirst(HANDLE handle, LPPROCESSENTRY32W entry)
{
    return Walk(handle, entry, true, &Snapshot::processes, &Snapshot::nextProcess);
}
BOOL WINAPI ProcessNext(HANDLE handle, LPPROCESSENTRY32W entry)
{
    return Walk(handle, entry, false, &Snapshot::processes, &Snapshot::nextProcess);
}
BOOL WINAPI ThreadFirst(HANDLE handle, LPTHREADENTRY32 entry)
{
    return Walk(handle, entry, true, &Snapshot::threads, &Snapshot::nextThread);
}
BOOL WINAPI ThreadNext(HANDLE handle, LPTHREADENTRY32 entry)
{
    return Walk(handle, entry, false, &Snapshot::threads, &Snapshot::nextThread);
}

// An export is handed out as FARPROC and cast back to its own type by the
// caller, as GetProcAddress results are.
template <typename Function> FARPROC AsExport(Function *function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// A device reset empties the module registry and forgets fixed tables and
// open snapshots, as it does the other objects; the library comes back whole.
// The hook's list is a function-local static of the kernel, so registering
// during static initialisation is safe.
const bool resetHooked = (OnReset([] {
                              State &state = Toolhelp();
                              {
                                  std::lock_guard<std::mutex> hold(state.lock);
                                  state.fixed = nullptr;
                                  state.snapshots.clear();
                              }
                              RegisterToolhelp();
                          }),
                          true);

} // namespace

void RegisterToolhelp(const std::vector<std::u16string> &omit)
{
    const Export all[] = {
        {u"CreateToolhelp32Snapshot", AsExport(&CreateSnapshot)},
        {u"CloseToolhelp32Snapshot", AsExport(&CloseSnapshot)},
        {u"Process32First", AsExport(&ProcessFirst)},
        {u"Process32Next", AsExport(&ProcessNext)},
        {u"Thread32First", AsExport(&ThreadFirst)},
        {u"Thread32Next", AsExport(&ThreadNext)},
    };
    std::vector<Export> exports;
    for (const Export &entry : all) {
        bool left = false;
        for (const std::u16string &name : omit)
            left = left || name == entry.name;
        if (!left) exports.push_back(entry);
    }
    RegisterLibrary(u"toolhelp", exports);
}

void SetSystemSource(const SystemTables *tables)
{
    State &state = Toolhelp();
    std::lock_guard<std::mutex> hold(state.lock);
    state.fixed = tables ? std::make_shared<const SystemTables>(*tables) : nullptr;
}

std::shared_ptr<const SystemTables> FixedSystemTables()
{
    State &state = Toolhelp();
    std::lock_guard<std::mutex> hold(state.lock);
    return state.fixed;
}

long LiveToolhelpSnapshots()
{
    State &state = Toolhelp();
    std::lock_guard<std::mutex> hold(state.lock);
    return long(state.snapshots.size());
}

} // namespace dev
