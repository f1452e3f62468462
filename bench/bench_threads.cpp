// Opening the Thread Times list: a snapshot through "toolhelp" and the fill
// of the list, sorted by time, for 2,000 threads of fixed tables and for the
// machine's own threads.
#include "app/resource.h"
#include "bench_support.h"
#include "platform/host/toolhelp.h"
#include "platform/host/user.h"
#include "threads/thread_snapshot.h"
#include "threads/thread_times.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

HWND ThreadListHost()
{
    static HWND host = NULL;
    static unsigned builtAfter = 0;
    bench::MonitorDialog();
    if (host && builtAfter == bench::DeviceResets()) return host;
    builtAfter = bench::DeviceResets();
    dev::RegisterSystemClasses();
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = TEXT("BenchThreadTimes");
    RegisterClassW(&windowClass);
    host = CreateWindowExW(0, TEXT("BenchThreadTimes"), TEXT("Thread Times"), WS_POPUP | WS_VISIBLE, 0, 0, 230, 280,
                           NULL, NULL, NULL, NULL);
    CreateWindowExW(0, WC_LISTVIEWW, TEXT(""), WS_CHILD | WS_VISIBLE | LVS_REPORT, 5, 5, 220, 260, host,
                    (HMENU)(INT_PTR)IDC_THREAD_LIST, NULL, NULL);
    return host;
}

// expected: the rows the snapshot must give, or 0 for "any, but some".
void OpenThreadList(benchmark::State &state, int expected)
{
    HWND host = ThreadListHost();
    for (auto _ : state)
        InitThreadTimesDialog(host);
    int items = (int)SendMessageW(monitorState.threadList, LVM_GETITEMCOUNT, 0, 0);
    state.counters["threads"] = monitorState.threadRowCount;
    state.counters["items"] = items;
    if (monitorState.threadList != GetDlgItem(host, IDC_THREAD_LIST))
        state.SkipWithError("the list filled is not the one on the host window");
    else if (monitorState.threadRowCount <= 0 || (expected && monitorState.threadRowCount != expected))
        state.SkipWithError("the snapshot did not give the threads it was set up with");
    else if (items != monitorState.threadRowCount)
        state.SkipWithError("the list view does not hold one row per thread");
}

void FixedThreads(benchmark::State &state)
{
    ThreadListHost();
    dev::SystemTables tables;
    for (DWORD p = 0; p < 100; p++)
        tables.processes.push_back(
            {500 + p, u"\\Programs\\program" + std::u16string(1, (char16_t)(u'a' + p % 26)) + u".exe"});
    for (DWORD t = 0; t < (DWORD)state.range(0); t++) {
        dev::FakeThread thread = {};
        thread.threadId = 10000 + t;
        thread.ownerProcessId = 500 + t % 100;
        thread.basePriority = (LONG)(t % 8);
        thread.userTime100ns = (uint64_t)(t * 7919 % 100000) * 1000000;
        tables.threads.push_back(thread);
    }
    dev::SetSystemSource(&tables);
    OpenThreadList(state, (int)state.range(0));
    dev::SetSystemSource(nullptr);
}
BENCHMARK(FixedThreads)->Arg(2000)->Unit(benchmark::kMillisecond);

void MachineThreads(benchmark::State &state)
{
    ThreadListHost();
    dev::SetSystemSource(nullptr);
    OpenThreadList(state, 0);
}
BENCHMARK(MachineThreads)->Unit(benchmark::kMillisecond);

} // namespace
