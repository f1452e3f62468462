// The taskbar icon's once-a-second work: a refresh that finds the icon where
// it was (picture, two-pixel test, build, modify, repaint of its square),
// and the location probe on the 240 by 26 taskbar, which repaints the whole
// bar twice and reads it back.
#include "bench_support.h"
#include "platform/host/kernel.h"
#include "trayicon/tray_icon.h"

#include <benchmark/benchmark.h>

namespace {

void ReportAllocations(benchmark::State &state, uint64_t before)
{
    state.counters["allocs/iter"] = (double)(bench::Allocations() - before) / (double)state.iterations();
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    dev::Settle();
}

// The monitor with its icon found on the taskbar.
void IconInPlace()
{
    bench::MonitorDialog();
    for (int i = 0; i < 3; i++) {
        RefreshTrayIcon();
        Pump();
    }
}

void RefreshWithoutProbe(benchmark::State &state)
{
    IconInPlace();
    for (int k = 0; k < LOAD_HISTORY_SLOTS; k++)
        monitorState.history.samples[k] = 25 + k % 75;
    int x = monitorState.iconX, y = monitorState.iconY;
    uint64_t before = bench::Allocations();
    for (auto _ : state) {
        monitorState.history.nextIndex = (monitorState.history.nextIndex + 1) % LOAD_HISTORY_SLOTS;
        RefreshTrayIcon();
        // The shell repaints the square on its own thread; not part of the refresh.
        state.PauseTiming();
        Pump();
        state.ResumeTiming();
    }
    ReportAllocations(state, before);
    if (monitorState.iconX != x || monitorState.iconY != y)
        state.SkipWithError("the icon was probed again: not the path measured here");
}
BENCHMARK(RefreshWithoutProbe)->Unit(benchmark::kMicrosecond);

void ProbeOnTaskbar(benchmark::State &state)
{
    IconInPlace();
    HWND taskbar = FindWindowW(DEVICE_TASKBAR_CLASS, nullptr);
    RECT bar;
    GetWindowRect(taskbar, &bar);
    state.counters["width"] = bar.right - bar.left;
    state.counters["height"] = bar.bottom - bar.top;
    int x = monitorState.iconX, y = monitorState.iconY;
    for (auto _ : state)
        ProbeIconLocation();
    if (monitorState.iconX != x || monitorState.iconY != y)
        state.SkipWithError("the probe lost the icon");
    RefreshTrayIcon();
    Pump();
}
BENCHMARK(ProbeOnTaskbar)->Unit(benchmark::kMicrosecond);

} // namespace
