// The load meter's periodic paths: the 1 ms arrival that stores nothing
// (up to a thousand a second), the stored and drawn sample (about three a
// second), and the full redraw on every position change. Each reports the
// heap allocations and device objects left per iteration, which must be 0.

#include "bench_support.h"
#include "load/load_meter.h"
#include "platform/host/kernel.h"

#include <benchmark/benchmark.h>

namespace {

struct Leaks {
    uint64_t allocations = bench::Allocations();
    long dcs = dev::LiveObjects(dev::KindDC);
    long bitmaps = dev::LiveObjects(dev::KindBitmap);

    void Report(benchmark::State &state) const
    {
        double n = (double)state.iterations();
        state.counters["allocs/iter"] = (double)(bench::Allocations() - allocations) / n;
        state.counters["objects left"] =
            (double)(dev::LiveObjects(dev::KindDC) - dcs + dev::LiveObjects(dev::KindBitmap) - bitmaps);
    }
};

// An arrival one millisecond after the last accepted one, with the next
// sample far ahead: the estimator's arithmetic and the history's tick check.
void AcceptedArrivalNoSampleDue(benchmark::State &state)
{
    bench::MonitorDialog();
    DWORD now = GetTickCount();
    monitorState.nextSampleTick = now + 1000000;
    Leaks leaks;
    for (auto _ : state) {
        monitorState.lastTimerTick = now - 1;
        UpdateLoadEstimate();
    }
    benchmark::DoNotOptimize(monitorState.gapSum);
    leaks.Report(state);
}
BENCHMARK(AcceptedArrivalNoSampleDue);

// One sample due with the dialog in front: stored, scrolled and drawn.
void StoredAndDrawnSample(benchmark::State &state)
{
    bench::MonitorDialog();
    DWORD now = GetTickCount();
    Leaks leaks;
    for (auto _ : state) {
        monitorState.nextSampleTick = now - 1;
        AppendLoadSample(60);
    }
    leaks.Report(state);
}
BENCHMARK(StoredAndDrawnSample);

void FullRedraw(benchmark::State &state)
{
    bench::MonitorDialog();
    for (int slot = 0; slot < LOAD_HISTORY_SLOTS; slot++)
        monitorState.history.samples[slot] = 25 + (slot * 37) % 75;
    Leaks leaks;
    for (auto _ : state)
        RedrawLoadGraph();
    leaks.Report(state);
}
BENCHMARK(FullRedraw);

} // namespace
