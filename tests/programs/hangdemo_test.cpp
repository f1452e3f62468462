// The hang demo really stops answering: a message sent to its window from
// another thread waits the full ten seconds of device time.
#include "programs_fixture.h"

#include <atomic>

using namespace dev;
using namespace programs_test;

namespace {

class HangDemo : public DeviceTest {
protected:
    // A device thread of its own sends WM_NULL to the demo and notes the
    // device time when the answer came.
    std::atomic<uint64_t> answeredAt{0};
    std::atomic<bool> answered{false};
    void SendFromAnotherThread(HWND demo) {
        answered = false;
        StartDeviceThread(0, [this, demo] {
            SendMessageW(demo, WM_NULL, 0, 0);
            answeredAt = Now();
            answered = true;
        });
        Settle();
    }
};

TEST_F(HangDemo, ButtonOrCallFreezesASentMessageForTenSeconds) {
    ASSERT_NE(0u, StartHangDemo());
    HWND demo = HangDemoWindow();
    ASSERT_NE(nullptr, demo);
    EXPECT_EQ(demo, FindWindowW(u"HangDemo", u"Hang Demo"));
    DWORD process = 0;
    GetWindowThreadProcessId(demo, &process);
    EXPECT_EQ(std::u16string(u"\\Windows\\HangDemo.exe"), ProcessPath(process));
    HWND button = GetWindow(demo, GW_CHILD);
    ASSERT_NE(nullptr, button) << "the freeze button";

    uint64_t start = Now();
    SendFromAnotherThread(demo);
    ASSERT_TRUE(answered) << "not frozen yet: answered at once";
    EXPECT_EQ(start, answeredAt.load());

    for (bool tap : {true, false}) {
        start = Now();
        if (tap) {
            RECT rc;
            GetWindowRect(button, &rc);
            TapCentre(rc);
        } else {
            ASSERT_TRUE(FreezeHangDemo());
            Settle();
        }
        SendFromAnotherThread(demo);
        AdvanceClock(9999);
        EXPECT_FALSE(answered) << (tap ? "tap" : "call") << ": answered at " << answeredAt.load() - start << " ms";
        AdvanceClock(1);
        EXPECT_TRUE(answered) << (tap ? "tap" : "call");
        EXPECT_EQ(start + 10000, answeredAt.load()) << (tap ? "tap" : "call");
    }
}

} // namespace
