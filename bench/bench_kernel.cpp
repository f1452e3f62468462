// The 1 ms timer under the virtual clock: how many timer arrivals the device
// delivers per second of host time. An hour of the monitor is 3.6 million
// arrivals, so this decides how fast simulated days run.

#include "platform/host/kernel.h"

#include <benchmark/benchmark.h>

namespace {

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeTimerWindow()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = u"BenchTimer";
    RegisterClassW(&wc);
    HWND window =
        CreateWindowExW(0, u"BenchTimer", u"bench", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetTimer(window, 1, 1, nullptr);
    return window;
}

void RunArrivals(benchmark::State &state)
{
    MSG msg;
    DWORD first = GetTickCount();
    for (auto _ : state) {
        do {
            GetMessageW(&msg, nullptr, 0, 0);
            DispatchMessageW(&msg);
        } while (msg.message != WM_TIMER);
    }
    state.SetItemsProcessed(state.iterations());
    DWORD elapsed = GetTickCount() - first;
    state.counters["device_ms"] = (double)elapsed;
    // A 1 ms timer: each arrival is a millisecond of device time.
    if ((int64_t)elapsed + 1 < (int64_t)state.iterations())
        state.SkipWithError("fewer device milliseconds passed than timer arrivals were counted");
}

// The monitor's thread alone: each arrival is a wait, a clock jump and a
// dispatch on the same thread.
void BM_VirtualTimerArrival(benchmark::State &state)
{
    dev::Config config;
    config.virtualTime = true;
    dev::ResetDevice(config);
    dev::AdoptCurrentThread();
    MakeTimerWindow();
    RunArrivals(state);
    dev::ResetDevice(dev::Config());
}
BENCHMARK(BM_VirtualTimerArrival);

// With a watchdog beside it: another thread that asks the window for its
// text every 100 ms, so the two threads hand the clock back and forth.
void BM_VirtualTimerArrivalWithWatchdog(benchmark::State &state)
{
    dev::Config config;
    config.virtualTime = true;
    dev::ResetDevice(config);
    dev::AdoptCurrentThread();
    HWND window = MakeTimerWindow();
    dev::StartDeviceThread(GetCurrentProcessId(), [window] {
        WCHAR text[260];
        for (;;) {
            GetWindowTextW(window, text, 260);
            Sleep(100);
        }
    });
    RunArrivals(state);
    dev::ResetDevice(dev::Config());
}
BENCHMARK(BM_VirtualTimerArrivalWithWatchdog);

} // namespace
