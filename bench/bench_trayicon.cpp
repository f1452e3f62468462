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

// The monitor with its icon found on a 240 by 26 taskbar; false, with the
// benchmark skipped, when there is no such taskbar or the icon is not on it.
bool IconInPlace(benchmark::State &state)
{
    bench::MonitorDialog();
    for (int i = 0; i < 3; i++) {
        RefreshTrayIcon();
        Pump();
    }
    HWND taskbar = FindWindowW(DEVICE_TASKBAR_CLASS, nullptr);
    RECT bar;
    SetRectEmpty(&bar);
    if (taskbar) GetWindowRect(taskbar, &bar);
    state.counters["width"] = bar.right - bar.left;
    state.counters["height"] = bar.bottom - bar.top;
    if (!taskbar || bar.right - bar.left != 240 || bar.bottom - bar.top != 26) {
        state.SkipWithError("no 240 by 26 taskbar");
        return false;
    }
    int x = monitorState.iconX, y = monitorState.iconY;
    if (!monitorState.iconInTray || x < 0 || x > 240 - 16 || y < 0 || y > 26 - 16) {
        state.SkipWithError("the icon was not found on the taskbar");
        return false;
    }
    return true;
}

void RefreshWithoutProbe(benchmark::State &state)
{
    if (!IconInPlace(state)) return;
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
    if (!IconInPlace(state)) return;
    int x = monitorState.iconX, y = monitorState.iconY;
    // Overwritten by every walk of the probe, so a probe that returned early shows.
    monitorState.iconX = monitorState.iconY = -1;
    for (auto _ : state)
        ProbeIconLocation();
    if (monitorState.iconX != x || monitorState.iconY != y)
        state.SkipWithError("the probe did not find the icon where it is");
    RefreshTrayIcon();
    Pump();
}
BENCHMARK(ProbeOnTaskbar)->Unit(benchmark::kMicrosecond);

} // namespace
