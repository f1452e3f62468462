// The "Wexdock" stand-in: the two commands a program sends it, the icon it
// takes over and shows, and showing, hiding and closing it.
#include "programs_fixture.h"

using namespace dev;
using namespace programs_test;

namespace {

bool IconAlive(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

class Wexdock : public DeviceTest {
protected:
    HWND dock = nullptr;
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(0u, StartWexdock());
        dock = WexdockWindow();
        ASSERT_NE(nullptr, dock);
        EXPECT_EQ(dock, FindWindowW(u"Wexdock", nullptr));
        Settle(); // the first paint is done
    }
    void Hand(HICON icon) { EXPECT_EQ(0, SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)icon)); }
};

TEST_F(Wexdock, RecordsCommandsInOrderAndKeepsItsIconAgainstNonIcons) {
    EXPECT_EQ(0, SendMessageW(dock, WM_COMMAND, 48004, 0));
    HICON icon = MakePatternIcon(3);
    Hand(icon);
    Hand((HICON)0x12345);
    Hand(nullptr);
    std::vector<WexdockCommand> got = WexdockCommands();
    ASSERT_EQ(4u, got.size());
    EXPECT_EQ(48004u, got[0].wParam);
    EXPECT_EQ(0, got[0].lParam);
    EXPECT_EQ(4000u, got[1].wParam);
    EXPECT_EQ((LPARAM)icon, got[1].lParam);
    EXPECT_EQ((LPARAM)0x12345, got[2].lParam);
    EXPECT_EQ(icon, WexdockIcon()) << "something that is no icon keeps the last one";
    UpdateWindow(dock);
    EXPECT_EQ("", PatternMismatch(dock, 64, 3, 3));
}

TEST_F(Wexdock, TakesOverTheIconsItIsHandedAndLeaksNone) {
    HICON first = MakePatternIcon(0);
    Hand(first);
    long icons = LiveObjects(KindIcon), bitmaps = LiveObjects(KindBitmap);
    HICON last = nullptr;
    for (int seed = 1; seed <= 120; ++seed)
        Hand(last = MakePatternIcon(seed)); // as a program hands a fresh one every second
    EXPECT_FALSE(IconAlive(first)) << "the dock releases the icon it no longer shows";
    EXPECT_EQ(icons, LiveObjects(KindIcon));
    EXPECT_EQ(bitmaps, LiveObjects(KindBitmap));
    Hand(last);
    EXPECT_TRUE(IconAlive(last)) << "the same icon handed twice stays";
    EXPECT_EQ(last, WexdockIcon());
    UpdateWindow(dock);
    EXPECT_EQ("", PatternMismatch(dock, 64, 3, 120));
}

TEST_F(Wexdock, CanBeHiddenShownAndClosed) {
    EXPECT_TRUE(IsWindowVisible(dock));
    ShowWindow(dock, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(dock));
    EXPECT_EQ(dock, FindWindowW(u"Wexdock", nullptr)) << "hidden, it still exists";
    ShowWindow(dock, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(dock));

    HICON icon = MakePatternIcon(4);
    Hand(icon);
    PostMessageW(dock, WM_CLOSE, 0, 0);
    Settle();
    EXPECT_EQ(nullptr, WexdockWindow());
    EXPECT_EQ(nullptr, FindWindowW(u"Wexdock", nullptr));
    EXPECT_FALSE(IconAlive(icon)) << "the icon it was handed goes with it";
}

} // namespace
