// The device's raster operations on the monitor's periodic paths: the graph's
// 199 by 40 one-pixel scroll within its bitmap (a few times a second), the
// taskbar capture through a window DC (each location probe), and single
// pixel reads (the icon's change test). Each reports the heap allocations
// per iteration, which must be 0.

#include "bench_support.h"
#include "platform/host/kernel.h"

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

void FreshDevice()
{
    dev::Config config;
    config.manualClock = true;
    dev::ResetDevice(config);
    dev::AdoptCurrentThread();
}

void ReportAllocations(benchmark::State &state, uint64_t before)
{
    state.counters["allocs/iter"] = (double)(bench::Allocations() - before) / (double)state.iterations();
}

// The graph's scroll: an overlapping copy one pixel to the left.
void GraphScroll(benchmark::State &state)
{
    FreshDevice();
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP graph = CreateCompatibleBitmap(screen, 200, 40);
    HGDIOBJ old = SelectObject(dc, graph);
    PatBlt(dc, 0, 0, 200, 40, WHITENESS);
    BitBlt(dc, 0, 0, 199, 40, dc, 1, 0, SRCCOPY); // first use sizes the scratch row
    // A black lower right column: each scroll carries it one pixel further left.
    PatBlt(dc, 199, 20, 1, 20, BLACKNESS);
    uint64_t before = bench::Allocations();
    for (auto _ : state) {
        BitBlt(dc, 0, 0, 199, 40, dc, 1, 0, SRCCOPY);
        PatBlt(dc, 199, 0, 1, 20, WHITENESS);
    }
    ReportAllocations(state, before);
    int reached = 199 - (int)std::min<int64_t>(state.iterations(), 199);
    if (GetPixel(dc, reached, 39) != 0 || (reached > 0 && GetPixel(dc, reached - 1, 39) != 0xFFFFFF) ||
        GetPixel(dc, 199, 0) != 0xFFFFFF)
        state.SkipWithError("the scrolls did not move the picture one pixel each");
    SelectObject(dc, old);
    DeleteObject(graph);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
}
BENCHMARK(GraphScroll);

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// A fresh device with a visible 240 by 26 bar along the bottom of the screen.
HWND FreshDeviceWithBar()
{
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
void TaskbarCapture(benchmark::State &state)
{
    HWND bar = FreshDeviceWithBar();
    CreateWindowExW(0, TEXT("BenchBar"), TEXT(""), WS_POPUP | WS_VISIBLE, 0, 200, 120, 110, NULL, NULL, NULL, NULL);
    HDC taskbar = GetDC(bar);
    HDC dc = CreateCompatibleDC(taskbar);
    HBITMAP capture = CreateCompatibleBitmap(taskbar, 240, 26);
    HGDIOBJ old = SelectObject(dc, capture);
    BitBlt(dc, 0, 0, 240, 26, taskbar, 0, 0, SRCCOPY);
    PatBlt(dc, 0, 0, 240, 26, WHITENESS);
    uint64_t before = bench::Allocations();
    for (auto _ : state) {
        BitBlt(dc, 0, 0, 240, 26, taskbar, 0, 0, SRCCOPY);
        BitBlt(dc, 0, 0, 240, 26, taskbar, 0, 0, SRCINVERT);
    }
    ReportAllocations(state, before);
    // The bar combined with itself: black wherever the copy reached.
    if (GetPixel(dc, 200, 13) != 0) state.SkipWithError("the capture did not read the taskbar");
    SelectObject(dc, old);
    DeleteObject(capture);
    DeleteDC(dc);
    ReleaseDC(bar, taskbar);
    dev::ResetDevice(dev::Config());
}
BENCHMARK(TaskbarCapture);

// Drawing into the taskbar itself, where every pixel's owner is looked up.
void WindowFill(benchmark::State &state)
{
    HWND bar = FreshDeviceWithBar();
    HDC taskbar = GetDC(bar);
    PatBlt(taskbar, 0, 0, 240, 26, BLACKNESS);
    uint64_t before = bench::Allocations();
    for (auto _ : state)
        PatBlt(taskbar, 0, 0, 240, 26, WHITENESS);
    ReportAllocations(state, before);
    HDC screen = GetDC(NULL);
    if (GetPixel(screen, 120, 307) != 0xFFFFFF) state.SkipWithError("the fill did not reach the screen");
    ReleaseDC(NULL, screen);
    ReleaseDC(bar, taskbar);
    dev::ResetDevice(dev::Config());
}
BENCHMARK(WindowFill);

void PixelRead(benchmark::State &state)
{
    FreshDevice();
    HDC screen = GetDC(NULL);
    uint64_t before = bench::Allocations();
    COLORREF sum = 0;
    COLORREF pixel = GetPixel(screen, 17, 300);
    for (auto _ : state)
        sum += GetPixel(screen, 17, 300);
    ReportAllocations(state, before);
    if (pixel == CLR_INVALID || sum != (COLORREF)(pixel * (COLORREF)state.iterations()))
        state.SkipWithError("the reads did not return the screen's pixel");
    benchmark::DoNotOptimize(sum);
    ReleaseDC(NULL, screen);
    dev::ResetDevice(dev::Config());
}
BENCHMARK(PixelRead);

} // namespace
