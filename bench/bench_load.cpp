// The load meter's periodic paths: the 1 ms arrival that stores nothing
// (up to a thousand a second), the stored and drawn sample (about three a
// second), and the full redraw on every position change. Each reports the
// heap allocations and device objects left per iteration, which must be 0.

#include "bench_support.h"
#include "load/load_meter.h"
#include "platform/host/kernel.h"

#include <benchmark/benchmark.h>

namespace {

// The graph bitmap's pixel at x, y.
COLORREF GraphPixel(int x, int y)
{
    HDC dc = CreateCompatibleDC(NULL);
    HGDIOBJ old = SelectObject(dc, monitorState.graphBitmap);
    COLORREF pixel = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return pixel;
}

void WhitenGraph()
{
    HDC dc = CreateCompatibleDC(NULL);
    HGDIOBJ old = SelectObject(dc, monitorState.graphBitmap);
    PatBlt(dc, 0, 0, GRAPH_WIDTH, GRAPH_HEIGHT, WHITENESS);
    SelectObject(dc, old);
    DeleteDC(dc);
}

// The sample path draws only with the dialog in front and shown.
bool DialogInFront(benchmark::State &state, HWND dialog)
{
    if (GetForegroundWindow() == dialog && IsWindowVisible(dialog) && monitorState.graphBitmap) return true;
    state.SkipWithError("the main dialog is not in front with its graph: nothing would be drawn");
    return false;
}

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
    int slot = monitorState.history.nextIndex;
    monitorState.lastTimerTick = now - 1;
    Leaks leaks;
    for (auto _ : state) {
        monitorState.lastTimerTick = now - 1;
        UpdateLoadEstimate();
    }
    benchmark::DoNotOptimize(monitorState.gapSum);
    leaks.Report(state);
    if (monitorState.lastTimerTick != now)
        state.SkipWithError("the arrival was not taken: the estimator kept its last tick");
    else if (monitorState.history.nextIndex != slot)
        state.SkipWithError("a sample was stored: not the path measured here");
}
BENCHMARK(AcceptedArrivalNoSampleDue);

// One sample due with the dialog in front: stored, scrolled and drawn.
void StoredAndDrawnSample(benchmark::State &state)
{
    HWND dialog = bench::MonitorDialog();
    if (!DialogInFront(state, dialog)) return;
    DWORD now = GetTickCount();
    WhitenGraph();
    int slot = monitorState.history.nextIndex;
    Leaks leaks;
    for (auto _ : state) {
        monitorState.nextSampleTick = now - 1;
        AppendLoadSample(60);
    }
    leaks.Report(state);
    // One sample stored per iteration, and the newest column drawn 60 % high.
    int stored = (int)(state.iterations() % LOAD_HISTORY_SLOTS);
    int column = GRAPH_HEIGHT * 60 / 100;
    if (monitorState.history.nextIndex != (slot + stored) % LOAD_HISTORY_SLOTS)
        state.SkipWithError("the samples were not stored one per iteration");
    else if (GraphPixel(GRAPH_WIDTH - 1, GRAPH_HEIGHT - column) == 0xFFFFFF ||
             GraphPixel(GRAPH_WIDTH - 1, GRAPH_HEIGHT - column - 1) != 0xFFFFFF)
        state.SkipWithError("the newest column is not drawn at the sample's height");
}
BENCHMARK(StoredAndDrawnSample);

void FullRedraw(benchmark::State &state)
{
    HWND dialog = bench::MonitorDialog();
    if (!DialogInFront(state, dialog)) return;
    for (int slot = 0; slot < LOAD_HISTORY_SLOTS; slot++)
        monitorState.history.samples[slot] = 25 + (slot * 37) % 75;
    WhitenGraph();
    Leaks leaks;
    for (auto _ : state)
        RedrawLoadGraph();
    leaks.Report(state);
    // Every column drawn from its sample: the newest at the right edge.
    for (int x = 0; x < GRAPH_WIDTH; x++) {
        int slot = (monitorState.history.nextIndex + x) % LOAD_HISTORY_SLOTS;
        int height = GRAPH_HEIGHT * monitorState.history.samples[slot] / 100;
        if (GraphPixel(x, GRAPH_HEIGHT - height) == 0xFFFFFF || GraphPixel(x, GRAPH_HEIGHT - height - 1) != 0xFFFFFF) {
            state.SkipWithError("a column of the graph does not show its sample");
            return;
        }
    }
}
BENCHMARK(FullRedraw);

} // namespace
