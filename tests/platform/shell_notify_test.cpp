// The shell's notification area as a program sees it: Shell_NotifyIconW keyed
// by window and id, the shell's own copy of every icon, the taskbar's pixels
// read back through its device context, partial repaints, and taps that
// reach the icon's owner.
#include "../programs/programs_fixture.h"

using namespace dev;
using namespace programs_test;

namespace {

const UINT callbackMessage = WM_APP + 7;

class ShellNotify : public DeviceTest {
protected:
    HWND taskbar = nullptr;

    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(0u, StartShell());
        taskbar = TaskbarWindow();
        ASSERT_NE(nullptr, taskbar);
        // Let the first paint finish, so the bar paints only when a case asks.
        dev::Settle();
    }

    BOOL Notify(DWORD message, HWND owner, UINT id, UINT flags, HICON icon = nullptr, UINT callback = 0) {
        NOTIFYICONDATAW data;
        memset(&data, 0xAA, sizeof data);
        data.cbSize = NOTIFYICONDATAW_V1_SIZE;
        data.hWnd = owner;
        data.uID = id;
        data.uFlags = flags;
        data.uCallbackMessage = callback;
        data.hIcon = icon;
        return Shell_NotifyIconW(message, &data);
    }

    RECT Slot(HWND owner, UINT id) {
        for (const NotifyIconEntry &entry : NotifyIcons())
            if (entry.owner == owner && entry.id == id)
                return entry.slot;
        ADD_FAILURE() << "no icon " << id;
        return RECT{};
    }

    void Repaint() {
        InvalidateRect(taskbar, nullptr, FALSE);
        UpdateWindow(taskbar);
    }

    void Blacken() {
        HDC dc = GetDC(taskbar);
        PatBlt(dc, 0, 0, 240, 26, BLACKNESS);
        ReleaseDC(taskbar, dc);
    }
};

TEST_F(ShellNotify, TaskbarRunsAlongTheBottom) {
    RECT rc;
    GetWindowRect(taskbar, &rc);
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(320 - 26, rc.top);
    EXPECT_EQ(240, rc.right);
    EXPECT_EQ(320, rc.bottom);
    EXPECT_EQ(taskbar, FindWindowW(u"HHTaskBar", nullptr));
    EXPECT_TRUE(IsWindowVisible(taskbar));
    EXPECT_NE(0, GetWindowLongW(taskbar, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(ShellNotify, IconsAreKeyedByWindowAndId) {
    HWND a = NewWindow(), b = NewWindow();
    HICON icon = MakePatternIcon(1);
    EXPECT_TRUE(Notify(NIM_ADD, a, 3000, NIF_ICON, icon));
    EXPECT_FALSE(Notify(NIM_ADD, a, 3000, NIF_ICON, icon)) << "the same key twice";
    EXPECT_TRUE(Notify(NIM_ADD, b, 3000, NIF_ICON, icon)) << "same id, other window";
    EXPECT_TRUE(Notify(NIM_ADD, a, 3001, NIF_ICON, icon)) << "same window, other id";
    EXPECT_EQ(3u, NotifyIcons().size());

    EXPECT_FALSE(Notify(NIM_MODIFY, b, 3001, NIF_ICON, icon)) << "unknown key";
    EXPECT_FALSE(Notify(NIM_DELETE, b, 3001, 0)) << "unknown key";
    EXPECT_TRUE(Notify(NIM_DELETE, a, 3000, 0));
    EXPECT_FALSE(Notify(NIM_DELETE, a, 3000, 0)) << "deleted twice";
    std::vector<NotifyIconEntry> left = NotifyIcons();
    ASSERT_EQ(2u, left.size());
    EXPECT_EQ(b, left[0].owner);
    EXPECT_EQ(a, left[1].owner);
    EXPECT_EQ(3001u, left[1].id);
    EXPECT_FALSE(Notify(7, a, 3001, 0)) << "unknown message";
    DestroyIcon(icon);
}

TEST_F(ShellNotify, RecordMustBeAtLeastTheFirstVersion) {
    HWND owner = NewWindow();
    NOTIFYICONDATAW data = {};
    data.hWnd = owner;
    data.uID = 1;
    data.cbSize = NOTIFYICONDATAW_V1_SIZE - 1;
    EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &data));
    EXPECT_TRUE(NotifyIcons().empty());
    data.cbSize = sizeof data;
    EXPECT_TRUE(Shell_NotifyIconW(NIM_ADD, &data));
    EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, nullptr));
}

TEST_F(ShellNotify, TaskbarShowsTheIconExactlyAtItsSlot) {
    HWND owner = NewWindow();
    HICON icon = MakePatternIcon(2);
    ASSERT_TRUE(Notify(NIM_ADD, owner, 3000, NIF_ICON, icon));
    UpdateWindow(taskbar);
    RECT slot = Slot(owner, 3000);
    EXPECT_EQ(16, slot.right - slot.left);
    EXPECT_EQ(16, slot.bottom - slot.top);
    EXPECT_LE(slot.top, 13) << "the icon must cross the middle row";
    EXPECT_GT(slot.bottom, 13);
    EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, 2));
    // The pixels around it are the bar's, not the icon's.
    HDC dc = GetDC(taskbar);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, slot.left - 2, 13));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, slot.right + 1, 13));
    ReleaseDC(taskbar, dc);
    DestroyIcon(icon);
}

TEST_F(ShellNotify, ShellKeepsItsOwnCopy) {
    HWND owner = NewWindow();
    HICON first = MakePatternIcon(3);
    ASSERT_TRUE(Notify(NIM_ADD, owner, 3000, NIF_ICON, first));
    DestroyIcon(first);
    Repaint();
    RECT slot = Slot(owner, 3000);
    EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, 3)) << "after destroying the added icon";

    HICON second = MakePatternIcon(4);
    ASSERT_TRUE(Notify(NIM_MODIFY, owner, 3000, NIF_ICON, second));
    DestroyIcon(second);
    EXPECT_NE(second, NotifyIcons()[0].icon);
    Repaint();
    EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, 4)) << "after destroying the modified icon";
}

TEST_F(ShellNotify, ObjectCountsStayFlatOverManyModifies) {
    HWND owner = NewWindow();
    HICON icon = MakePatternIcon(0);
    ASSERT_TRUE(Notify(NIM_ADD, owner, 3000, NIF_ICON | NIF_MESSAGE, icon, callbackMessage));
    DestroyIcon(icon);
    UpdateWindow(taskbar);
    long icons = LiveObjects(KindIcon), bitmaps = LiveObjects(KindBitmap), dcs = LiveObjects(KindDC);
    for (int i = 1; i <= 300; ++i) {
        icon = MakePatternIcon(i);
        ASSERT_TRUE(Notify(NIM_MODIFY, owner, 3000, NIF_ICON, icon));
        DestroyIcon(icon);
        if (i % 50 == 0)
            UpdateWindow(taskbar);
    }
    EXPECT_EQ(icons, LiveObjects(KindIcon));
    EXPECT_EQ(bitmaps, LiveObjects(KindBitmap));
    EXPECT_EQ(dcs, LiveObjects(KindDC));
    ASSERT_TRUE(Notify(NIM_DELETE, owner, 3000, 0));
    EXPECT_EQ(icons - 1, LiveObjects(KindIcon)) << "the shell's copy goes with the icon";
}

// A change repaints nothing by itself beyond the icon's own square.
TEST_F(ShellNotify, ModifyRepaintsOnlyTheIconsSquare) {
    HWND owner = NewWindow();
    HICON icon = MakePatternIcon(5);
    ASSERT_TRUE(Notify(NIM_ADD, owner, 3000, NIF_ICON, icon));
    UpdateWindow(taskbar);
    RECT slot = Slot(owner, 3000);
    Blacken();
    HICON next = MakePatternIcon(6);
    ASSERT_TRUE(Notify(NIM_MODIFY, owner, 3000, NIF_ICON, next));
    UpdateWindow(taskbar);
    EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, 6));
    int width = 0, height = 0;
    std::vector<COLORREF> pixels = ClientPixels(taskbar, &width, &height);
    int repainted = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool inside = x >= slot.left && x < slot.right && y >= slot.top && y < slot.bottom;
            if (!inside && pixels[y * width + x] != 0)
                ++repainted;
        }
    EXPECT_EQ(0, repainted) << "pixels outside the icon's square repainted";
    DestroyIcon(icon);
    DestroyIcon(next);
}

// Validating the whole bar and invalidating a 19 by 19 square around the
// icon repaints that square and nothing else.
TEST_F(ShellNotify, InvalidatedSquareIsAllThatRepaints) {
    HWND owner = NewWindow();
    HICON icon = MakePatternIcon(7);
    ASSERT_TRUE(Notify(NIM_ADD, owner, 3000, NIF_ICON, icon));
    UpdateWindow(taskbar);
    RECT slot = Slot(owner, 3000);
    int width = 0, height = 0;
    std::vector<COLORREF> reference = ClientPixels(taskbar, &width, &height);
    ASSERT_EQ(240, width);
    ASSERT_EQ(26, height);

    Blacken();
    ValidateRect(taskbar, nullptr);
    RECT square = {slot.left - 1, slot.top - 1, slot.left + 18, slot.top + 18};
    InvalidateRect(taskbar, &square, FALSE);
    UpdateWindow(taskbar);

    std::vector<COLORREF> pixels = ClientPixels(taskbar, &width, &height);
    int wrongInside = 0, wrongOutside = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool inside = x >= square.left && x < square.right && y >= square.top && y < square.bottom;
            COLORREF got = pixels[y * width + x];
            if (inside && got != reference[y * width + x])
                ++wrongInside;
            if (!inside && got != 0)
                ++wrongOutside;
        }
    EXPECT_EQ(0, wrongInside);
    EXPECT_EQ(0, wrongOutside);
    DestroyIcon(icon);
}

TEST_F(ShellNotify, NewIconsJoinOnTheFarSideAndMovesShiftOthers) {
    HWND owner = NewWindow();
    HICON icon = MakePatternIcon(9);
    ASSERT_TRUE(Notify(NIM_ADD, owner, 1, NIF_ICON, icon));
    RECT first = Slot(owner, 1);
    ASSERT_TRUE(Notify(NIM_ADD, owner, 2, NIF_ICON, icon));
    RECT firstAfter = Slot(owner, 1), second = Slot(owner, 2);
    EXPECT_EQ(first.left, firstAfter.left) << "an added icon must not move the others";
    EXPECT_LE(second.right + 2, first.left) << "icons stand apart";
    EXPECT_EQ(first.top, second.top);

    ASSERT_TRUE(MoveNotifyIcon(owner, 2, 0));
    EXPECT_EQ(first.left, Slot(owner, 2).left);
    EXPECT_EQ(second.left, Slot(owner, 1).left);
    EXPECT_FALSE(MoveNotifyIcon(owner, 99, 0));

    UpdateWindow(taskbar);
    EXPECT_EQ("", PatternMismatch(taskbar, second.left, second.top, 9));
    DestroyIcon(icon);
}

TEST_F(ShellNotify, TapPostsTheCallbackToTheOwner) {
    HWND owner = NewWindow(), silent = NewWindow();
    HICON icon = MakePatternIcon(10);
    ASSERT_TRUE(Notify(NIM_ADD, owner, 3000, NIF_ICON | NIF_MESSAGE, icon, callbackMessage));
    ASSERT_TRUE(Notify(NIM_ADD, silent, 5, NIF_ICON, icon));
    UpdateWindow(taskbar);
    RECT bar;
    GetWindowRect(taskbar, &bar);

    RECT slot = Slot(owner, 3000);
    TapAt(bar.left + slot.left + 8, bar.top + slot.top + 8);
    std::vector<MSG> got = Drain(owner, callbackMessage, callbackMessage);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(3000u, got[0].wParam);
    EXPECT_EQ(WM_LBUTTONDOWN, (UINT)got[0].lParam);
    EXPECT_EQ(3000u, got[1].wParam);
    EXPECT_EQ(WM_LBUTTONUP, (UINT)got[1].lParam);

    // No NIF_MESSAGE, no callback; a tap beside every icon reaches nobody.
    RECT quiet = Slot(silent, 5);
    TapAt(bar.left + quiet.left + 8, bar.top + quiet.top + 8);
    TapAt(bar.left + 100, bar.top + 13);
    EXPECT_TRUE(Drain(silent, 0, 0xFFFF).empty());
    EXPECT_TRUE(Drain(owner, callbackMessage, callbackMessage).empty());

    // A later NIF_MESSAGE turns the callback on.
    ASSERT_TRUE(Notify(NIM_MODIFY, silent, 5, NIF_MESSAGE, nullptr, callbackMessage));
    TapAt(bar.left + quiet.left + 8, bar.top + quiet.top + 8);
    EXPECT_EQ(2u, Drain(silent, callbackMessage, callbackMessage).size());
    DestroyIcon(icon);
}

TEST_F(ShellNotify, IconOfADestroyedWindowGoesAtTheNextPaint) {
    HWND stays = NewWindow(), goes = NewWindow();
    HICON icon = MakePatternIcon(11);
    ASSERT_TRUE(Notify(NIM_ADD, stays, 1, NIF_ICON, icon));
    ASSERT_TRUE(Notify(NIM_ADD, goes, 1, NIF_ICON, icon));
    DestroyIcon(icon);
    UpdateWindow(taskbar);
    long icons = LiveObjects(KindIcon);
    DestroyWindow(goes);
    EXPECT_EQ(2u, NotifyIcons().size()) << "nothing happens before the paint";
    Repaint();
    std::vector<NotifyIconEntry> left = NotifyIcons();
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(stays, left[0].owner);
    EXPECT_EQ(icons - 1, LiveObjects(KindIcon));
}

TEST_F(ShellNotify, ClosingTheShellReleasesItsCopies) {
    long icons = LiveObjects(KindIcon);
    HWND owner = NewWindow();
    HICON icon = MakePatternIcon(13);
    ASSERT_TRUE(Notify(NIM_ADD, owner, 1, NIF_ICON, icon));
    ASSERT_TRUE(Notify(NIM_ADD, owner, 2, NIF_ICON, icon));
    EXPECT_EQ(icons + 3, LiveObjects(KindIcon));
    PostMessageW(taskbar, WM_CLOSE, 0, 0);
    dev::Settle();
    EXPECT_EQ(nullptr, TaskbarWindow());
    EXPECT_EQ(icons + 1, LiveObjects(KindIcon));
    // No shell, no icon, and no copy made.
    EXPECT_FALSE(Notify(NIM_ADD, owner, 3, NIF_ICON, icon));
    EXPECT_EQ(icons + 1, LiveObjects(KindIcon));
    DestroyIcon(icon);
}

TEST_F(ShellNotify, ClockTurnsOverOnTheMinute) {
    // The manual clock's day starts at 09:00; the clock repaints only itself.
    RECT clock = TaskbarClockRect(240);
    UpdateWindow(taskbar);
    Blacken();
    dev::AdvanceClock(60000);
    UpdateWindow(taskbar);
    int width = 0, height = 0;
    std::vector<COLORREF> pixels = ClientPixels(taskbar, &width, &height);
    int inside = 0, outside = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool in = x >= clock.left && x < clock.right && y >= clock.top && y < clock.bottom;
            if (pixels[y * width + x] != 0)
                (in ? inside : outside)++;
        }
    EXPECT_GT(inside, 0) << "the clock did not repaint";
    EXPECT_EQ(0, outside);
}

} // namespace
