// The load estimator on the device's manual clock: the worked example and
// its follow-on rows, steady rates, repeated arrivals, the floor, the range
// of readings, and the tick count's wrap.

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
        if (gap)
            dev::AdvanceClock(gap);
        monitorState.nextSampleTick = GetTickCount() - 1;
        LoadHistory &history = monitorState.history;
        int before = history.nextIndex;
        history.samples[(before + LOAD_HISTORY_SLOTS - 1) % LOAD_HISTORY_SLOTS] = 0xAAAA;
        UpdateLoadEstimate();
        if (history.nextIndex == before)
            return kNone;
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
            if (monitorState.gapSum == before && i > 0)
                break;
        }
        return percent;
    }
};

struct Row {
    uint32_t gap;
    DWORD gapSum, gapSumMin, idleGapSum;
    int percent;
};

#define EXPECT_ROW(row, got)                                                                              \
    EXPECT_TRUE(monitorState.gapSum == (row).gapSum && monitorState.gapSumMin == (row).gapSumMin &&       \
                monitorState.idleGapSum == (row).idleGapSum && (got) == (row).percent)                    \
        << "after a gap of " << (row).gap << ": gapSum " << monitorState.gapSum << ", min "               \
        << monitorState.gapSumMin << ", floor " << monitorState.idleGapSum << ", read " << (got)

TEST_F(Estimator, WorkedExample)
{
    ASSERT_NO_FATAL_FAILURE(Start(5000, 450));
    EXPECT_EQ(Arrive(0), kNone) << "an arrival at the start tick is ignored";
    EXPECT_TRUE(monitorState.gapSum == 1000 && monitorState.gapSumMin == 1000 && monitorState.idleGapSum == 450);

    const Row rows[] = {{10, 960, 960, 450, 53}, {10, 922, 922, 450, 51}, {10, 885, 885, 450, 49}};
    for (const Row &row : rows) {
        int got = Arrive(row.gap);
        EXPECT_ROW(row, got);
    }
    int settled = Settle(10);
    EXPECT_ROW((Row{10, 200, 200, 150, 25}), settled);
    const Row after[] = {{100, 290, 200, 150, 48}, {10, 285, 200, 150, 47}};
    for (const Row &row : after) {
        int got = Arrive(row.gap);
        EXPECT_ROW(row, got);
    }
}

TEST_F(Estimator, LongPauseReadsHighThenDecays)
{
    ASSERT_NO_FATAL_FAILURE(Start(0, 450));
    Settle(10);
    ASSERT_EQ(monitorState.gapSum, 200u);
    const Row rows[] = {{5000, 5190, 200, 150, 97}, {10, 4940, 200, 150, 96}, {10, 4703, 200, 150, 96},
                        {10, 4477, 200, 150, 96}};
    for (const Row &row : rows) {
        int got = Arrive(row.gap);
        EXPECT_ROW(row, got);
    }
}

TEST_F(Estimator, StartingFloorOfEachVersionClass)
{
    // 2.11: the floor of 900 goes at the first arrival
    ASSERT_NO_FATAL_FAILURE(Start(0, 900));
    int got = Arrive(10);
    EXPECT_ROW((Row{10, 960, 960, 720, 25}), got);

    // older: 140 stands while the minimum stays above 186
    ASSERT_NO_FATAL_FAILURE(Start(0, 140));
    got = Arrive(10);
    EXPECT_ROW((Row{10, 960, 960, 140, 85}), got);
    got = Settle(10);
    EXPECT_ROW((Row{10, 200, 200, 140, 30}), got);
}

TEST_F(Estimator, SteadyRatesSettleAtTwentyGaps)
{
    for (uint32_t gap : {1u, 2u, 5u, 10u, 25u}) {
        ASSERT_NO_FATAL_FAILURE(Start(0, 450));
        int got = Settle(gap);
        EXPECT_ROW((Row{gap, 20 * gap, 20 * gap, 15 * gap, 25}), got);
    }
    ASSERT_NO_FATAL_FAILURE(Start(0, 450));
    int got = Settle(50);
    EXPECT_ROW((Row{50, 1000, 1000, 450, 55}), got);
}

TEST_F(Estimator, ArrivalsWithinOneMillisecondChangeNothingAfterTheFirst)
{
    ASSERT_NO_FATAL_FAILURE(Start(0, 450));
    ASSERT_EQ(Arrive(7), 52) << "(95700 - 45000) / 957";
    DWORD last = monitorState.lastTimerTick, sum = monitorState.gapSum, min = monitorState.gapSumMin;
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(Arrive(0), kNone) << "repeat " << i;
    EXPECT_TRUE(monitorState.lastTimerTick == last && monitorState.gapSum == sum && monitorState.gapSumMin == min &&
                monitorState.idleGapSum == 450)
        << "gapSum " << monitorState.gapSum << ", min " << monitorState.gapSumMin;
}

TEST_F(Estimator, FloorNeverRises)
{
    ASSERT_NO_FATAL_FAILURE(Start(0, 450));
    Settle(10);
    ASSERT_EQ(monitorState.idleGapSum, 150u);
    // slow arrivals: the sum rises, the best rate is remembered
    for (int i = 0; i < 300; i++) {
        int got = Arrive(40);
        EXPECT_TRUE(monitorState.gapSumMin == 200 && monitorState.idleGapSum == 150)
            << "arrival " << i << ": min " << monitorState.gapSumMin << ", floor " << monitorState.idleGapSum;
        if (i == 299) {
            EXPECT_GE(got, 80) << "a steady slower rate reads against the old minimum";
        }
    }
    // faster than ever: the floor comes down again
    Settle(5);
    EXPECT_TRUE(monitorState.gapSumMin == 100 && monitorState.idleGapSum == 75)
        << "min " << monitorState.gapSumMin << ", floor " << monitorState.idleGapSum;
}

TEST_F(Estimator, NoSequenceOfGapsLeavesTheRange)
{
    std::mt19937 random(20240611);
    for (DWORD floor : {900u, 450u, 140u}) {
        ASSERT_NO_FATAL_FAILURE(Start(0xFFFF0000u, floor));
        DWORD lastMin = monitorState.gapSumMin, lastFloor = monitorState.idleGapSum;
        for (int i = 0; i < 1500; i++) {
            uint32_t gap;
            switch (random() % 4) {
            case 0: gap = 1 + random() % 3; break;
            case 1: gap = 1 + random() % 50; break;
            case 2: gap = 1 + random() % 5000; break;
            default: gap = 1 + random() % (11 * 3600 * 1000); break; // under 12 hours
            }
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

} // namespace
