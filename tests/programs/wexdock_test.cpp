// The "Wexdock" stand-in: the two commands a program sends it, the icon it
// shows from a copy of its own, and showing, hiding and closing it.
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

TEST_F(Wexdock, ShowsACopyAndNeverDestroysTheCallersIcon) {
    HICON icon = MakePatternIcon(2);
    SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)icon);
    HICON copy = WexdockIcon();
    ASSERT_NE(nullptr, copy);
    EXPECT_NE(icon, copy);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info)) << "the caller's icon must still be there";
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    DestroyIcon(icon);
    InvalidateRect(dock, nullptr, FALSE);
    UpdateWindow(dock);
    EXPECT_EQ("", PatternMismatch(dock, 64, 3, 2)) << "shown after the caller destroyed its icon";
}

TEST_F(Wexdock, EveryRedrawReplacesItsCopyWithoutLeaking) {
    HICON icon = MakePatternIcon(0);
    SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)icon);
    DestroyIcon(icon);
    long icons = LiveObjects(KindIcon), bitmaps = LiveObjects(KindBitmap);
    for (int seed = 1; seed <= 120; ++seed) {
        icon = MakePatternIcon(seed);
        SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)icon);
        DestroyIcon(icon);
    }
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
    DestroyIcon(icon);
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
    EXPECT_EQ(icons, LiveObjects(KindIcon)) << "its copy goes with it";
    DestroyIcon(icon);
}

} // namespace
