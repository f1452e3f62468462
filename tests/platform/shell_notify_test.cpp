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

    // Adds or modifies an icon with the given pattern and destroys the
    // caller's copy at once: the shell must draw from its own.
    void Put(DWORD message, HWND owner, UINT id, int seed) {
        HICON icon = MakePatternIcon(seed);
        ASSERT_TRUE(Notify(message, owner, id, NIF_ICON, icon));
        DestroyIcon(icon);
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

    // Counts the bar's pixels that are no longer black, inside and outside r.
    void Painted(const RECT &r, int *inside, int *outside) {
        int width = 0, height = 0;
        std::vector<COLORREF> pixels = ClientPixels(taskbar, &width, &height);
        *inside = *outside = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (pixels[y * width + x] != 0)
                    ++*(x >= r.left && x < r.right && y >= r.top && y < r.bottom ? inside : outside);
    }
};

TEST_F(ShellNotify, IconsAreKeyedByWindowAndIdAndNeedAFirstVersionRecord) {
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

    NOTIFYICONDATAW data = {};
    data.hWnd = a;
    data.uID = 1;
    data.cbSize = NOTIFYICONDATAW_V1_SIZE - 1;
    EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &data));
    EXPECT_EQ(2u, NotifyIcons().size());
    data.cbSize = sizeof data;
    EXPECT_TRUE(Shell_NotifyIconW(NIM_ADD, &data));
    EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, nullptr));
}

TEST_F(ShellNotify, TaskbarAtTheBottomShowsTheShellsOwnCopyAtItsSlot) {
    RECT rc;
    GetWindowRect(taskbar, &rc);
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(320 - 26, rc.top);
    EXPECT_EQ(240, rc.right);
    EXPECT_EQ(320, rc.bottom);
    EXPECT_EQ(taskbar, FindWindowW(u"HHTaskBar", nullptr));
    EXPECT_TRUE(IsWindowVisible(taskbar));
    EXPECT_NE(0, GetWindowLongW(taskbar, GWL_EXSTYLE) & WS_EX_TOPMOST);

    HWND owner = NewWindow();
    Put(NIM_ADD, owner, 3000, 2);
    UpdateWindow(taskbar);
    RECT slot = Slot(owner, 3000);
    EXPECT_EQ(16, slot.right - slot.left);
    EXPECT_EQ(16, slot.bottom - slot.top);
    EXPECT_LE(slot.top, 13) << "the icon must cross the middle row";
    EXPECT_GT(slot.bottom, 13);
    EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, 2)) << "after destroying the added icon";
    // The pixels around it are the bar's, not the icon's.
    HDC dc = GetDC(taskbar);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, slot.left - 2, 13));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, slot.right + 1, 13));
    ReleaseDC(taskbar, dc);

    long icons = LiveObjects(KindIcon), bitmaps = LiveObjects(KindBitmap), dcs = LiveObjects(KindDC);
    for (int seed = 3; seed <= 12; ++seed) {
        Put(NIM_MODIFY, owner, 3000, seed);
        Repaint();
        EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, seed)) << "after destroying the modified icon";
    }
    EXPECT_EQ(icons, LiveObjects(KindIcon));
    EXPECT_EQ(bitmaps, LiveObjects(KindBitmap));
    EXPECT_EQ(dcs, LiveObjects(KindDC));
    ASSERT_TRUE(Notify(NIM_DELETE, owner, 3000, 0));
    EXPECT_EQ(icons - 1, LiveObjects(KindIcon)) << "the shell's copy goes with the icon";
}

TEST_F(ShellNotify, ChangesRepaintOnlyTheirOwnSquare) {
    HWND owner = NewWindow();
    Put(NIM_ADD, owner, 3000, 5);
    UpdateWindow(taskbar);
    RECT slot = Slot(owner, 3000);
    int inside = 0, outside = 0;

    Blacken();
    Put(NIM_MODIFY, owner, 3000, 6);
    UpdateWindow(taskbar);
    EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, 6));
    Painted(slot, &inside, &outside);
    EXPECT_EQ(0, outside) << "a modify repainted pixels outside the icon's square";

    // Validating the whole bar and invalidating a 19 by 19 square around the
    // icon repaints that square and nothing else.
    Blacken();
    ValidateRect(taskbar, nullptr);
    RECT square = {slot.left - 1, slot.top - 1, slot.left + 18, slot.top + 18};
    InvalidateRect(taskbar, &square, FALSE);
    UpdateWindow(taskbar);
    EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, 6));
    HDC dc = GetDC(taskbar);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, square.left, square.top));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, square.right - 1, square.bottom - 1));
    ReleaseDC(taskbar, dc);
    Painted(square, &inside, &outside);
    EXPECT_EQ(19 * 19, inside);
    EXPECT_EQ(0, outside);

    // The manual clock's day starts at 09:00; on the minute the clock repaints
    // only itself.
    Blacken();
    dev::AdvanceClock(60000);
    UpdateWindow(taskbar);
    Painted(TaskbarClockRect(240), &inside, &outside);
    EXPECT_GT(inside, 0) << "the clock did not repaint";
    EXPECT_EQ(0, outside);
}

TEST_F(ShellNotify, NewIconsJoinOnTheFarSideAndMovesShiftOthers) {
    HWND owner = NewWindow();
    Put(NIM_ADD, owner, 1, 9);
    RECT first = Slot(owner, 1);
    Put(NIM_ADD, owner, 2, 9);
    RECT second = Slot(owner, 2);
    EXPECT_EQ(first.left, Slot(owner, 1).left) << "an added icon must not move the others";
    EXPECT_LE(second.right + 2, first.left) << "icons stand apart";
    EXPECT_EQ(first.top, second.top);

    ASSERT_TRUE(MoveNotifyIcon(owner, 2, 0));
    EXPECT_EQ(first.left, Slot(owner, 2).left);
    EXPECT_EQ(second.left, Slot(owner, 1).left);
    EXPECT_FALSE(MoveNotifyIcon(owner, 99, 0));
    UpdateWindow(taskbar);
    EXPECT_EQ("", PatternMismatch(taskbar, second.left, second.top, 9));
}

// The press reaching the monitor's own dialog is checked with the tray icon.
TEST_F(ShellNotify, TapPostsPressAndLiftOnlyWhenTheOwnerAskedForThem) {
    HWND owner = NewWindow();
    Put(NIM_ADD, owner, 5, 10);
    UpdateWindow(taskbar);
    RECT bar, slot = Slot(owner, 5);
    GetWindowRect(taskbar, &bar);
    TapAt(bar.left + slot.left + 8, bar.top + slot.top + 8);
    EXPECT_TRUE(Drain(owner, 0, 0xFFFF).empty()) << "no NIF_MESSAGE, no callback";
    ASSERT_TRUE(Notify(NIM_MODIFY, owner, 5, NIF_MESSAGE, nullptr, callbackMessage));
    TapAt(bar.left + 100, bar.top + 13);
    EXPECT_TRUE(Drain(owner, 0, 0xFFFF).empty()) << "a tap beside the icon";
    TapAt(bar.left + slot.left + 8, bar.top + slot.top + 8);
    std::vector<MSG> got = Drain(owner, callbackMessage, callbackMessage);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(5u, got[0].wParam);
    EXPECT_EQ(WM_LBUTTONDOWN, (UINT)got[0].lParam);
    EXPECT_EQ(5u, got[1].wParam);
    EXPECT_EQ(WM_LBUTTONUP, (UINT)got[1].lParam);
}

TEST_F(ShellNotify, IconsGoWithTheirWindowAtTheNextPaintAndAllGoWithTheShell) {
    long icons = LiveObjects(KindIcon);
    HWND stays = NewWindow(), goes = NewWindow();
    Put(NIM_ADD, stays, 1, 11);
    Put(NIM_ADD, stays, 2, 11);
    Put(NIM_ADD, goes, 1, 11);
    UpdateWindow(taskbar);
    EXPECT_EQ(icons + 3, LiveObjects(KindIcon));
    DestroyWindow(goes);
    EXPECT_EQ(3u, NotifyIcons().size()) << "nothing happens before the paint";
    Repaint();
    std::vector<NotifyIconEntry> left = NotifyIcons();
    ASSERT_EQ(2u, left.size());
    EXPECT_EQ(stays, left[0].owner);
    EXPECT_EQ(icons + 2, LiveObjects(KindIcon));

    PostMessageW(taskbar, WM_CLOSE, 0, 0);
    dev::Settle();
    EXPECT_EQ(nullptr, TaskbarWindow());
    EXPECT_EQ(icons, LiveObjects(KindIcon));
    // No shell, no icon, and no copy made.
    HICON icon = MakePatternIcon(13);
    EXPECT_FALSE(Notify(NIM_ADD, stays, 3, NIF_ICON, icon));
    EXPECT_EQ(icons + 1, LiveObjects(KindIcon));
    DestroyIcon(icon);
}

} // namespace
