// The once-a-second memory readout, and the digit grouping inside it.

#include "app/resource.h"
#include "bench_support.h"
#include "memory/memory_readout.h"
#include "platform/host/kernel.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void GroupTwentyDigits(benchmark::State &state)
{
    WCHAR text[32];
    uint64_t before = bench::Allocations();
    for (auto _ : state) {
        for (int i = 0; i < 20; i++)
            text[i] = (WCHAR)(u'1' + i % 9);
        text[20] = 0;
        GroupDigits(text);
        benchmark::DoNotOptimize(text);
    }
    state.counters["allocs/iter"] = (double)(bench::Allocations() - before) / (double)state.iterations();
    const WCHAR grouped[] = u"12,345,678,912,345,678,912";
    if (std::char_traits<char16_t>::compare(text, grouped, sizeof grouped / sizeof grouped[0]) != 0)
        state.SkipWithError("the digits were not grouped");
}
BENCHMARK(GroupTwentyDigits);

void MemoryReadout(benchmark::State &state)
{
    HWND dialog = bench::MonitorDialog();
    long windows = dev::LiveObjects(dev::KindWindow);
    SetDlgItemTextW(dialog, IDC_MEMORY_TEXT, u"");
    for (auto _ : state)
        UpdateMemoryText(dialog);
    state.counters["objects left"] = (double)(dev::LiveObjects(dev::KindWindow) - windows);
    WCHAR text[64] = {};
    GetDlgItemTextW(dialog, IDC_MEMORY_TEXT, text, 64);
    const WCHAR expected[] = u"12,582,912\r\n3,145,728"; // the fixed figures of the benchmark device
    if (std::char_traits<char16_t>::compare(text, expected, sizeof expected / sizeof expected[0]) != 0)
        state.SkipWithError("the figures shown are not the device's");
}
BENCHMARK(MemoryReadout);

} // namespace
