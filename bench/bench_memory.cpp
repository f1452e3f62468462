// The once-a-second memory readout, and the digit grouping inside it.

#include "bench_support.h"
#include "memory/memory_readout.h"
#include "platform/host/kernel.h"

#include <benchmark/benchmark.h>

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
}
BENCHMARK(GroupTwentyDigits);

void MemoryReadout(benchmark::State &state)
{
    HWND dialog = bench::MonitorDialog();
    long windows = dev::LiveObjects(dev::KindWindow);
    for (auto _ : state)
        UpdateMemoryText(dialog);
    state.counters["objects left"] = (double)(dev::LiveObjects(dev::KindWindow) - windows);
}
BENCHMARK(MemoryReadout);

} // namespace
