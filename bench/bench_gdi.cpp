// The device's raster operations on the monitor's periodic paths: the graph's
// 199 by 40 one-pixel scroll within its bitmap (a few times a second), the
// taskbar capture through a window DC (each location probe), and single
// pixel reads (the icon's change test). Each reports the heap allocations
// per iteration, which must be 0.

#include "bench_support.h"
#include "platform/host/kernel.h"

#include <benchmark/benchmark.h>

namespace {

void FreshDevice() {
    dev::Config config;
    config.manualClock = true;
    dev::ResetDevice(config);
    dev::AdoptCurrentThread();
}

void ReportAllocations(benchmark::State &state, uint64_t before) {
    state.counters["allocs/iter"] = (double)(bench::Allocations() - before) / (double)state.iterations();
}

// The graph's scroll: an overlapping copy one pixel to the left.
void GraphScroll(benchmark::State &state) {
    FreshDevice();
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP graph = CreateCompatibleBitmap(screen, 200, 40);
    HGDIOBJ old = SelectObject(dc, graph);
    PatBlt(dc, 0, 0, 200, 40, WHITENESS);
    BitBlt(dc, 0, 0, 199, 40, dc, 1, 0, SRCCOPY); // first use sizes the scratch row
    uint64_t before = bench::Allocations();
    for (auto _ : state) {
        BitBlt(dc, 0, 0, 199, 40, dc, 1, 0, SRCCOPY);
        PatBlt(dc, 199, 0, 1, 20, WHITENESS);
    }
    ReportAllocations(state, before);
    benchmark::DoNotOptimize(GetPixel(dc, 0, 0));
    SelectObject(dc, old);
    DeleteObject(graph);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
}
BENCHMARK(GraphScroll);

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// A fresh device with a visible 240 by 26 bar along the bottom of the screen.
HWND FreshDeviceWithBar() {
    FreshDevice();
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = TEXT("BenchBar");
    RegisterClassW(&wc);
    return CreateWindowExW(0, TEXT("BenchBar"), TEXT(""), WS_POPUP | WS_VISIBLE, 0, 294, 240, 26, NULL, NULL, NULL,
                           NULL);
}

// A 240 by 26 bar along the bottom, half covered by another window, copied
// through its window DC and XORed a second time, as the probe does.
void TaskbarCapture(benchmark::State &state) {
    HWND bar = FreshDeviceWithBar();
    CreateWindowExW(0, TEXT("BenchBar"), TEXT(""), WS_POPUP | WS_VISIBLE, 0, 200, 120, 110, NULL, NULL, NULL, NULL);
    HDC taskbar = GetDC(bar);
    HDC dc = CreateCompatibleDC(taskbar);
    HBITMAP capture = CreateCompatibleBitmap(taskbar, 240, 26);
    HGDIOBJ old = SelectObject(dc, capture);
    BitBlt(dc, 0, 0, 240, 26, taskbar, 0, 0, SRCCOPY);
    uint64_t before = bench::Allocations();
    for (auto _ : state) {
        BitBlt(dc, 0, 0, 240, 26, taskbar, 0, 0, SRCCOPY);
        BitBlt(dc, 0, 0, 240, 26, taskbar, 0, 0, SRCINVERT);
    }
    ReportAllocations(state, before);
    SelectObject(dc, old);
    DeleteObject(capture);
    DeleteDC(dc);
    ReleaseDC(bar, taskbar);
    dev::ResetDevice(dev::Config());
}
BENCHMARK(TaskbarCapture);

// Drawing into the taskbar itself, where every pixel's owner is looked up.
void WindowFill(benchmark::State &state) {
    HWND bar = FreshDeviceWithBar();
    HDC taskbar = GetDC(bar);
    uint64_t before = bench::Allocations();
    for (auto _ : state) PatBlt(taskbar, 0, 0, 240, 26, WHITENESS);
    ReportAllocations(state, before);
    ReleaseDC(bar, taskbar);
    dev::ResetDevice(dev::Config());
}
BENCHMARK(WindowFill);

void PixelRead(benchmark::State &state) {
    FreshDevice();
    HDC screen = GetDC(NULL);
    uint64_t before = bench::Allocations();
    COLORREF sum = 0;
    for (auto _ : state) sum += GetPixel(screen, 17, 300);
    ReportAllocations(state, before);
    benchmark::DoNotOptimize(sum);
    ReleaseDC(NULL, screen);
    dev::ResetDevice(dev::Config());
}
BENCHMARK(PixelRead);

} // namespace
