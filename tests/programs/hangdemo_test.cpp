// The hang demo really stops answering: a message sent to its window from
// another thread waits the full ten seconds of device time.
#include "programs_fixture.h"

#include <atomic>

using namespace dev;
using namespace programs_test;

namespace {

class HangDemo : public DeviceTest {
protected:
    HWND demo = nullptr;
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(0u, StartHangDemo());
        demo = HangDemoWindow();
        ASSERT_NE(nullptr, demo);
    }

    // A device thread of its own sends WM_NULL to the demo and notes the
    // device time when the answer came.
    std::atomic<uint64_t> answeredAt{0};
    std::atomic<bool> answered{false};
    void SendFromAnotherThread() {
        StartDeviceThread(0, [this] {
            SendMessageW(demo, WM_NULL, 0, 0);
            answeredAt = Now();
            answered = true;
        });
        Settle();
    }
};

TEST_F(HangDemo, WindowHasItsOwnClassAndTheButton) {
    WCHAR name[32] = {0};
    GetClassNameW(demo, name, 32);
    EXPECT_EQ(std::u16string(u"HangDemo"), std::u16string(name));
    GetWindowTextW(demo, name, 32);
    EXPECT_EQ(std::u16string(u"Hang Demo"), std::u16string(name));
    EXPECT_EQ(demo, FindWindowW(u"HangDemo", u"Hang Demo"));
    HWND button = GetWindow(demo, GW_CHILD);
    ASSERT_NE(nullptr, button);
    GetWindowTextW(button, name, 32);
    EXPECT_EQ(std::u16string(u"Freeze 10 s"), std::u16string(name));
    DWORD process = 0;
    GetWindowThreadProcessId(demo, &process);
    EXPECT_EQ(std::u16string(u"\\Windows\\HangDemo.exe"), ProcessPath(process));
}

TEST_F(HangDemo, FreezeHoldsASentMessageForTenSeconds) {
    uint64_t start = Now();
    SendFromAnotherThread();
    ASSERT_TRUE(answered) << "not frozen yet: answered at once";
    EXPECT_EQ(start, answeredAt.load());
    answered = false;
    ASSERT_TRUE(FreezeHangDemo());
    Settle();
    SendFromAnotherThread();
    AdvanceClock(9999);
    EXPECT_FALSE(answered) << "answered at " << answeredAt.load() - start << " ms";
    AdvanceClock(1);
    EXPECT_TRUE(answered);
    EXPECT_EQ(start + 10000, answeredAt.load());
}

TEST_F(HangDemo, TappingTheButtonFreezesToo) {
    HWND button = GetWindow(demo, GW_CHILD);
    ASSERT_NE(nullptr, button);
    RECT rc;
    GetWindowRect(button, &rc);
    uint64_t start = Now();
    TapAt((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendFromAnotherThread();
    AdvanceClock(5000);
    EXPECT_FALSE(answered);
    AdvanceClock(5000);
    EXPECT_TRUE(answered);
    EXPECT_EQ(start + 10000, answeredAt.load());
}

} // namespace
