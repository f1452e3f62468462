// Reading the machine's own processes and threads: the /proc walk alone, a
// whole toolhelp snapshot as a program takes it (create, both walks, close),
// one thread-times query, and the stat parser on one line. The counters
// show how many processes and threads this machine had.
#include "platform/host/kernel.h"
#include "platform/host/procfs.h"

#include <benchmark/benchmark.h>

#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

typedef HANDLE(WINAPI *CreateProc)(DWORD, DWORD);
typedef BOOL(WINAPI *CloseProc)(HANDLE);
typedef BOOL(WINAPI *ProcessProc)(HANDLE, LPPROCESSENTRY32W);
typedef BOOL(WINAPI *ThreadProc)(HANDLE, LPTHREADENTRY32);

template <typename Proc> Proc As(FARPROC address)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(address));
}

void ProcWalk(benchmark::State &state)
{
    procfs::Tables tables;
    for (auto _ : state) {
        procfs::ReadTables(procfs::LiveProcFiles(), "/proc", procfs::TicksPerSecond(), &tables);
        benchmark::DoNotOptimize(tables.threads.data());
    }
    state.counters["processes"] = double(tables.processes.size());
    state.counters["threads"] = double(tables.threads.size());
    if (tables.processes.empty() || tables.threads.empty())
        state.SkipWithError("the walk found no processes or threads");
}
BENCHMARK(ProcWalk)->Unit(benchmark::kMillisecond);

void ToolhelpSnapshot(benchmark::State &state)
{
    dev::ResetDevice(dev::Config());
    dev::AdoptCurrentThread();
    HMODULE library = LoadLibraryW(u"toolhelp");
    if (!library) {
        state.SkipWithError("toolhelp is not registered");
        dev::ReleaseCurrentThread();
        return;
    }
    auto create = As<CreateProc>(GetProcAddressW(library, u"CreateToolhelp32Snapshot"));
    auto close = As<CloseProc>(GetProcAddressW(library, u"CloseToolhelp32Snapshot"));
    auto processFirst = As<ProcessProc>(GetProcAddressW(library, u"Process32First"));
    auto processNext = As<ProcessProc>(GetProcAddressW(library, u"Process32Next"));
    auto threadFirst = As<ThreadProc>(GetProcAddressW(library, u"Thread32First"));
    auto threadNext = As<ThreadProc>(GetProcAddressW(library, u"Thread32Next"));
    size_t processes = 0, threads = 0;
    for (auto _ : state) {
        HANDLE snapshot = create(0x80000006, 0);
        PROCESSENTRY32W process;
        process.dwSize = sizeof process;
        processes = 0;
        for (BOOL more = processFirst(snapshot, &process); more; more = processNext(snapshot, &process))
            ++processes;
        THREADENTRY32 thread;
        thread.dwSize = sizeof thread;
        threads = 0;
        for (BOOL more = threadFirst(snapshot, &thread); more; more = threadNext(snapshot, &thread))
            ++threads;
        close(snapshot);
    }
    state.counters["processes"] = double(processes);
    state.counters["threads"] = double(threads);
    if (processes == 0 || threads == 0) state.SkipWithError("the snapshot listed no processes or threads");
    FreeLibrary(library);
    dev::ReleaseCurrentThread();
}
BENCHMARK(ToolhelpSnapshot)->Unit(benchmark::kMillisecond);

void ThreadTimesOfOneThread(benchmark::State &state)
{
    const DWORD self = DWORD(syscall(SYS_gettid));
    FILETIME creation, exitTime, kernel, user;
    BOOL ok = TRUE;
    for (auto _ : state) {
        ok &= DeviceGetThreadTimes(self, &creation, &exitTime, &kernel, &user);
        benchmark::DoNotOptimize(ok);
    }
    if (!ok) state.SkipWithError("the query failed");
}
BENCHMARK(ThreadTimesOfOneThread)->Unit(benchmark::kMicrosecond);

void ParseOneStatLine(benchmark::State &state)
{
    const std::string line = "4242 (x) (y) S 17 4242 4242 0 -1 4194304 1200 0 3 0 250 75 0 0 20 0 3 0 9000 "
                             "12345678 456 18446744073709551615 1 1 0 0 0 0 0 4096 17922 0 0 0 17 1 0 0 0 0 0\n";
    procfs::Stat stat;
    bool parsed = true;
    for (auto _ : state) {
        parsed &= procfs::ParseStat(line.data(), line.size(), &stat);
        benchmark::DoNotOptimize(parsed);
    }
    if (!parsed || stat.pid != 4242 || stat.comm != "x) (y" || stat.utimeTicks != 250)
        state.SkipWithError("the line was not parsed");
}
BENCHMARK(ParseOneStatLine);

} // namespace
