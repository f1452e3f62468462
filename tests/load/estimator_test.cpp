// The load estimator on the manual clock, across a gap of days and the
// tick count's wrap.

#include "load/load_meter.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const int kNone = -1;

class Estimator : public support::DeviceTest {
protected:
    void Start(uint32_t tickStart, DWORD floor)
    {
        support::DeviceSetup setup;
        setup.tickStart = tickStart;
        setup.shell = false;
        ASSERT_NO_FATAL_FAILURE(Boot(setup));
        ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
        // As the main dialog's start-up leaves them.
        monitorState.lastTimerTick = GetTickCount();
        monitorState.nextSampleTick = GetTickCount();
        monitorState.idleGapSum = floor;
    }

    // One timer arrival gap ms after the previous one. Returns the
    // percentage handed to the history, or kNone when none was: a sample is
    // made due just before, so whatever reaches the history is stored.
    int Arrive(uint32_t gap)
    {
        if (gap) dev::AdvanceClock(gap);
        monitorState.nextSampleTick = GetTickCount() - 1;
        LoadHistory &history = monitorState.history;
        int before = history.nextIndex;
        history.samples[(before + LOAD_HISTORY_SLOTS - 1) % LOAD_HISTORY_SLOTS] = 0xAAAA;
        UpdateLoadEstimate();
        if (history.nextIndex == before) return kNone;
        EXPECT_EQ(history.nextIndex, (before + 1) % LOAD_HISTORY_SLOTS) << "one sample per due step";
        return history.samples[before];
    }

    // Arrivals every gap ms until gapSum stops changing (at most limit).
    int Settle(uint32_t gap, int limit = 3000)
    {
        int percent = kNone;
        for (int i = 0; i < limit; i++) {
            DWORD before = monitorState.gapSum;
            percent = Arrive(gap);
            if (monitorState.gapSum == before && i > 0) break;
        }
        return percent;
    }
};

// After one arrival ('A') or once arrivals every gap ms stop changing
// gapSum ('S'): the three sums and the reading handed to the history.
struct Row {
    char how;
    uint32_t gap;
    DWORD gapSum, gapSumMin, idleGapSum;
    int percent;
};

struct Scenario {
    const char *name;
    DWORD floor; // the version class's starting floor
    std::vector<Row> rows;
};

// The worked example and its follow-on rows, a long pause, the starting
// floors of the 2.11 and older classes, and steady rates.
TEST_F(Estimator, ScenariosReadAsWorkedOut)
{
    const Scenario scenarios[] = {
        {"worked example",
         450,
         {{'A', 10, 960, 960, 450, 53},
          {'A', 10, 922, 922, 450, 51},
          {'A', 10, 885, 885, 450, 49},
          {'S', 10, 200, 200, 150, 25},
          {'A', 100, 290, 200, 150, 48},
          {'A', 10, 285, 200, 150, 47}}},
        {"long pause",
         450,
         {{'S', 10, 200, 200, 150, 25},
          {'A', 5000, 5190, 200, 150, 97},
          {'A', 10, 4940, 200, 150, 96},
          {'A', 10, 4703, 200, 150, 96},
          {'A', 10, 4477, 200, 150, 96}}},
        {"2.11 drops its floor at once", 900, {{'A', 10, 960, 960, 720, 25}}},
        {"older keeps 140 while the minimum is above 186",
         140,
         {{'A', 10, 960, 960, 140, 85}, {'S', 10, 200, 200, 140, 30}}},
        {"1 ms", 450, {{'S', 1, 20, 20, 15, 25}}},
        {"2 ms", 450, {{'S', 2, 40, 40, 30, 25}}},
        {"5 ms", 450, {{'S', 5, 100, 100, 75, 25}}},
        {"25 ms", 450, {{'S', 25, 500, 500, 375, 25}}},
        {"50 ms", 450, {{'S', 50, 1000, 1000, 450, 55}}},
    };
    for (const Scenario &scenario : scenarios) {
        ASSERT_NO_FATAL_FAILURE(Start(5000, scenario.floor));
        for (const Row &row : scenario.rows) {
            int got = row.how == 'S' ? Settle(row.gap) : Arrive(row.gap);
            EXPECT_TRUE(monitorState.gapSum == row.gapSum && monitorState.gapSumMin == row.gapSumMin &&
                        monitorState.idleGapSum == row.idleGapSum && got == row.percent)
                << scenario.name << ", after a gap of " << row.gap << ": gapSum " << monitorState.gapSum << ", min "
                << monitorState.gapSumMin << ", floor " << monitorState.idleGapSum << ", read " << got;
        }
    }
}

TEST_F(Estimator, ArrivalsWithinOneMillisecondChangeNothingAfterTheFirst)
{
    ASSERT_NO_FATAL_FAILURE(Start(0, 450));
    EXPECT_EQ(Arrive(0), kNone) << "an arrival at the start tick is ignored";
    ASSERT_EQ(Arrive(7), 52) << "(95700 - 45000) / 957";
    DWORD last = monitorState.lastTimerTick, sum = monitorState.gapSum, min = monitorState.gapSumMin;
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(Arrive(0), kNone) << "repeat " << i;
    EXPECT_TRUE(monitorState.lastTimerTick == last && monitorState.gapSum == sum && monitorState.gapSumMin == min &&
                monitorState.idleGapSum == 450)
        << "gapSum " << monitorState.gapSum << ", min " << monitorState.gapSumMin;
}

// Whatever the gaps, the reading stays in 25..99 and neither the best sum
// nor the floor ever rises.
TEST_F(Estimator, NoSequenceOfGapsLeavesTheRange)
{
    std::mt19937 random(20240611);
    for (DWORD floor : {900u, 450u, 140u}) {
        ASSERT_NO_FATAL_FAILURE(Start(0xFFFF0000u, floor));
        DWORD lastMin = monitorState.gapSumMin, lastFloor = monitorState.idleGapSum;
        for (int i = 0; i < 1500; i++) {
            // Bursts, steady rates, pauses and gaps of hours (under 12).
            const uint32_t spans[] = {3, 50, 5000, 11 * 3600 * 1000};
            uint32_t span = spans[random() % 4];
            uint32_t gap = 1 + random() % span;
            int got = Arrive(gap);
            ASSERT_TRUE(got >= 25 && got <= 99) << "floor " << floor << ", arrival " << i << " after " << gap
                                                << " ms read " << got << " (gapSum " << monitorState.gapSum << ")";
            ASSERT_LE(monitorState.gapSumMin, lastMin);
            ASSERT_LE(monitorState.idleGapSum, lastFloor);
            ASSERT_LE(4 * monitorState.idleGapSum, 3 * monitorState.gapSumMin);
            lastMin = monitorState.gapSumMin;
            lastFloor = monitorState.idleGapSum;
        }
    }
}

// The same arrivals read the same across the 2^32 wrap of the tick count as
// anywhere else.
TEST_F(Estimator, GoesStraightAcrossTheWrap)
{
    const uint32_t gaps[] = {10, 10, 10, 3, 250, 10, 10, 1, 1, 40};
    std::vector<int> away, across;
    ASSERT_NO_FATAL_FAILURE(Start(100000, 450));
    for (uint32_t gap : gaps)
        away.push_back(Arrive(gap));
    ASSERT_NO_FATAL_FAILURE(Start(0xFFFFFFFFu - 20, 450));
    for (uint32_t gap : gaps)
        across.push_back(Arrive(gap));
    EXPECT_LT(GetTickCount(), 1000u) << "the run crossed the wrap";
    EXPECT_EQ(across, away);
}

// After a gap of days the smoothed sum must not wrap below the best one seen:
// that would drag minimum and floor down for good and pin the meter at 100.
TEST_F(Estimator, ReadingsStayInRangeAfterAGapOfDays)
{
    ASSERT_NO_FATAL_FAILURE(Start(0, 450));
    ASSERT_EQ(Settle(10), 25);
    // About 62.8 hours: 19 x gapSum no longer fits 32 bits.
    int got = Arrive(226050721);
    EXPECT_TRUE(got >= 25 && got <= 99) << "after the long gap read " << got;
    for (int i = 0; i < 300; i++) {
        got = Arrive(1);
        ASSERT_TRUE(got >= 25 && got <= 99) << "arrival " << i << " after the long gap read " << got;
    }
}

// The whole monitor across the wrap: the meter keeps reading and the graph
// keeps scrolling, sample by sample.
TEST_F(Estimator, MonitorRunsOnAcrossTheWrap)
{
    support::DeviceSetup setup;
    setup.tickStart = 0xFFFFFFFFu - 4000; // wraps four seconds in
    ASSERT_NO_FATAL_FAILURE(Boot(setup));
    ASSERT_NE(StartMonitor(), 0u);
    ASSERT_EQ(GetForegroundWindow(), FindMonitorDialog());
    for (int second = 0; second < 10; second++) {
        int index = monitorState.history.nextIndex;
        DWORD last = monitorState.lastTimerTick, due = monitorState.nextSampleTick;
        dev::AdvanceClock(1000);
        int stored = (monitorState.history.nextIndex - index + LOAD_HISTORY_SLOTS) % LOAD_HISTORY_SLOTS;
        int newest = monitorState.history.samples[(monitorState.history.nextIndex + 199) % LOAD_HISTORY_SLOTS];
        DWORD moved = monitorState.nextSampleTick - due;
        EXPECT_TRUE((stored == 3 || stored == 4) && moved == (DWORD)(SAMPLE_PERIOD_MS * stored) &&
                    monitorState.lastTimerTick != last && newest >= 25 && newest <= 99)
            << "second " << second << ": " << stored << " samples, due moved " << moved << ", last arrival "
            << monitorState.lastTimerTick << ", read " << newest;
    }
    EXPECT_LT(GetTickCount(), 10000u) << "the run crossed the wrap";
    // 33 or 34 samples in ten seconds, each drawn at the right edge.
    std::vector<COLORREF> graph = BitmapPixels(monitorState.graphBitmap, GRAPH_WIDTH, GRAPH_HEIGHT);
    const COLORREF *bottom = &graph[(GRAPH_HEIGHT - 1) * GRAPH_WIDTH];
    for (int x = GRAPH_WIDTH - 33; x < GRAPH_WIDTH; x++)
        EXPECT_NE(bottom[x], RGB(255, 255, 255)) << "column " << x;
    EXPECT_EQ(bottom[GRAPH_WIDTH - 36], RGB(255, 255, 255));
    EXPECT_EQ(CloseMonitor(), 0);
}

} // namespace
