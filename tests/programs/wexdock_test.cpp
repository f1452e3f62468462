// The "Wexdock" stand-in: the two commands a program sends it, the icon it
// takes over and shows, and showing, hiding and closing it.
#include "programs_fixture.h"

using namespace dev;
using namespace programs_test;

namespace {

class Wexdock : public DeviceTest {
protected:
    HWND dock = nullptr;
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(0u, StartWexdock());
        dock = WexdockWindow();
        ASSERT_NE(nullptr, dock);
        Settle(); // the first paint is done
    }
};

TEST_F(Wexdock, ReceivesCommandsInOrder) {
    EXPECT_EQ(dock, FindWindowW(u"Wexdock", nullptr));
    EXPECT_TRUE(IsWindowVisible(dock));
    HICON icon = MakePatternIcon(1);
    EXPECT_EQ(0, SendMessageW(dock, WM_COMMAND, 48004, 0));
    EXPECT_EQ(0, SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)icon));
    std::vector<WexdockCommand> got = WexdockCommands();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(48004u, got[0].wParam);
    EXPECT_EQ(0, got[0].lParam);
    EXPECT_EQ(4000u, got[1].wParam);
    EXPECT_EQ((LPARAM)icon, got[1].lParam);
    DestroyIcon(icon);
}

bool IconAlive(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

TEST_F(Wexdock, TakesOverTheIconsItIsHanded) {
    HICON first = MakePatternIcon(2);
    SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)first);
    EXPECT_EQ(first, WexdockIcon());
    UpdateWindow(dock);
    EXPECT_EQ("", PatternMismatch(dock, 64, 3, 2));

    HICON second = MakePatternIcon(5);
    SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)second);
    EXPECT_FALSE(IconAlive(first)) << "the dock releases the icon it no longer shows";
    EXPECT_TRUE(IconAlive(second));
    SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)second);
    EXPECT_TRUE(IconAlive(second)) << "the same icon handed twice stays";
    UpdateWindow(dock);
    EXPECT_EQ("", PatternMismatch(dock, 64, 3, 5));

    SendMessageW(dock, WM_CLOSE, 0, 0);
    Settle();
    EXPECT_FALSE(IconAlive(second)) << "closing the dock releases the last icon";
}

TEST_F(Wexdock, AFreshIconEverySecondDoesNotPileUp) {
    SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)MakePatternIcon(0));
    long icons = LiveObjects(KindIcon), bitmaps = LiveObjects(KindBitmap);
    for (int seed = 1; seed <= 120; ++seed)
        SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)MakePatternIcon(seed));
    EXPECT_EQ(icons, LiveObjects(KindIcon));
    EXPECT_EQ(bitmaps, LiveObjects(KindBitmap));
    UpdateWindow(dock);
    EXPECT_EQ("", PatternMismatch(dock, 64, 3, 120));
}

TEST_F(Wexdock, SomethingThatIsNoIconKeepsTheLastOne) {
    HICON icon = MakePatternIcon(3);
    SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)icon);
    HICON shown = WexdockIcon();
    SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)0x12345);
    SendMessageW(dock, WM_COMMAND, 4000, 0);
    EXPECT_EQ(shown, WexdockIcon());
    EXPECT_EQ(3u, WexdockCommands().size());
}

TEST_F(Wexdock, CanBeHiddenShownAndClosed) {
    ShowWindow(dock, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(dock));
    EXPECT_EQ(dock, FindWindowW(u"Wexdock", nullptr)) << "hidden, it still exists";
    ShowWindow(dock, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(dock));

    HICON icon = MakePatternIcon(4);
    long icons = LiveObjects(KindIcon);
    SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)icon);
    PostMessageW(dock, WM_CLOSE, 0, 0);
    Settle();
    EXPECT_EQ(nullptr, WexdockWindow());
    EXPECT_EQ(nullptr, FindWindowW(u"Wexdock", nullptr));
    EXPECT_EQ(icons - 1, LiveObjects(KindIcon)) << "the icon it was handed goes with it";
}

} // namespace
