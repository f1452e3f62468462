// The meter after a gap of days: the smoothed sum must not wrap to a value
// below the best one seen, which would drag minimum and floor down for good
// and leave the meter at 100.
#include "load/load_meter.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

namespace {

class LongGap : public support::DeviceTest {};

TEST_F(LongGap, ReadingsStayInRangeAfterAGapOfDays)
{
    support::DeviceSetup setup;
    setup.shell = false;
    ASSERT_NO_FATAL_FAILURE(Boot(setup));
    ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
    monitorState.lastTimerTick = GetTickCount();
    monitorState.nextSampleTick = GetTickCount();
    monitorState.idleGapSum = 450;

    auto arrive = [](uint32_t gap) {
        dev::AdvanceClock(gap);
        monitorState.nextSampleTick = GetTickCount() - 1;
        int slot = monitorState.history.nextIndex;
        UpdateLoadEstimate();
        return monitorState.history.samples[slot];
    };
    for (int i = 0; i < 200; i++)
        arrive(10); // settled: gapSum 200, floor 150

    // About 62.8 hours: 19 x gapSum no longer fits 32 bits.
    int got = arrive(226050721);
    EXPECT_TRUE(got >= 25 && got <= 99) << "after the long gap read " << got;
    for (int i = 0; i < 300; i++) {
        got = arrive(1);
        ASSERT_TRUE(got >= 25 && got <= 99) << "arrival " << i << " after the long gap read " << got;
    }
}

} // namespace
