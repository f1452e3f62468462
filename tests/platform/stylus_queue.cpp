// Stylus input that piles up while its thread is kept off the processor.

#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

namespace {

class StylusQueue : public support::DeviceTest {};

// A press and its release on the main dialog's close box, both queued
// before the monitor's thread gets to run (as when a busy device holds the
// processor across the whole tap): the release must be read after the press
// took the capture, so it ends the tracking and the monitor closes.
TEST_F(StylusQueue, PressAndReleaseQueuedTogetherStillClose)
{
    Boot();
    ASSERT_NE(StartMonitor(), 0u);
    {
        std::lock_guard<std::recursive_mutex> lock(dev::BigLock());
        dev::Tap(229, 10, true);
        dev::Tap(229, 10, false);
    }
    Advance(1000);
    EXPECT_FALSE(dev::ProgramRunning(monitorProcess)) << "the close box kept tracking a release it had already read";
}

} // namespace
