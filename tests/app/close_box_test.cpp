// The main dialog's caption close box under the stylus, with both of the
// monitor's timers running: the close happens on the lift over the box, and
// a slide off before the lift cancels it.
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

namespace {

class CloseBox : public support::DeviceTest {};

TEST_F(CloseBox, SlidingOffCancelsAndALiftOverTheBoxCloses)
{
    ASSERT_NO_FATAL_FAILURE(Boot());
    ASSERT_NE(StartMonitor(), 0u);
    HWND dialog = FindMonitorDialog();
    RECT frame;
    GetWindowRect(dialog, &frame);
    POINT box = {frame.right - 13, frame.top + 10};

    // Held for longer than both timer periods, then lifted off the box.
    dev::Tap(box.x, box.y, true);
    dev::AdvanceClock(1200);
    dev::Tap(box.x - 80, box.y + 60, false);
    dev::AdvanceClock(10);
    ASSERT_TRUE(IsWindow(dialog)) << "a lift off the box closed the dialog";
    // The timers that waited during the press run again.
    int index = monitorState.history.nextIndex;
    dev::AdvanceClock(700);
    EXPECT_NE(monitorState.history.nextIndex, index) << "no load sample after the cancelled press";

    dev::Tap(box.x, box.y, true);
    dev::AdvanceClock(50);
    dev::Tap(box.x, box.y, false);
    int code = -1;
    ASSERT_TRUE(dev::WaitProgram(monitorProcess, &code, 5000)) << "the lift over the box did not close";
    EXPECT_EQ(code, 0);
    for (const dev::NotifyIconEntry &icon : dev::NotifyIcons())
        EXPECT_NE(icon.owner, dialog) << "the icon stayed on the taskbar";
}

} // namespace
