// The whole monitor running across the tick count's 2^32 wrap: the meter
// keeps reading and the graph keeps scrolling, sample by sample.

#include "load/load_meter.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

namespace {

class AcrossTheWrap : public support::DeviceTest {};

TEST_F(AcrossTheWrap, MeterAndGraphKeepMoving)
{
    support::DeviceSetup setup;
    setup.tickStart = 0xFFFFFFFFu - 4000; // wraps four seconds in
    ASSERT_NO_FATAL_FAILURE(Boot(setup));
    ASSERT_NE(StartMonitor(), 0u);
    ASSERT_EQ(GetForegroundWindow(), FindMonitorDialog());

    for (int second = 0; second < 10; second++) {
        int index = monitorState.history.nextIndex;
        DWORD last = monitorState.lastTimerTick;
        DWORD due = monitorState.nextSampleTick;
        dev::AdvanceClock(1000);
        int stored = (monitorState.history.nextIndex - index + LOAD_HISTORY_SLOTS) % LOAD_HISTORY_SLOTS;
        EXPECT_TRUE(stored == 3 || stored == 4) << "second " << second << ": " << stored << " samples";
        EXPECT_EQ(monitorState.nextSampleTick - due, (DWORD)(SAMPLE_PERIOD_MS * stored)) << "second " << second;
        EXPECT_NE(monitorState.lastTimerTick, last) << "second " << second << ": no arrival accepted";
        int newest = monitorState.history.samples[(monitorState.history.nextIndex + 199) % LOAD_HISTORY_SLOTS];
        EXPECT_TRUE(newest >= 25 && newest <= 99) << "second " << second << " read " << newest;
    }
    EXPECT_LT(GetTickCount(), 10000u) << "the run crossed the wrap";

    // 33 or 34 samples in ten seconds, each drawn at the right edge
    std::vector<COLORREF> graph = BitmapPixels(monitorState.graphBitmap, GRAPH_WIDTH, GRAPH_HEIGHT);
    for (int x = GRAPH_WIDTH - 33; x < GRAPH_WIDTH; x++)
        EXPECT_NE(graph[(GRAPH_HEIGHT - 1) * GRAPH_WIDTH + x], RGB(255, 255, 255)) << "column " << x;
    EXPECT_EQ(graph[(GRAPH_HEIGHT - 1) * GRAPH_WIDTH + GRAPH_WIDTH - 36], RGB(255, 255, 255));
    EXPECT_EQ(CloseMonitor(), 0);
}

} // namespace
