// The shell's notification area as a program sees it: Shell_NotifyIconW keyed
// by window and id, the shell's own copy of every icon, and the taskbar's
// pixels read back through its device context after partial repaints. Taps
// and placement are driven through the monitor's tray icon (tests/trayicon).
#include "../programs/programs_fixture.h"

using namespace dev;
using namespace programs_test;

namespace {

class ShellNotify : public DeviceTest {
protected:
    HWND taskbar = nullptr;

    void SetUp() override
    {
        DeviceTest::SetUp();
        ASSERT_NE(0u, StartShell());
        taskbar = TaskbarWindow();
        ASSERT_NE(nullptr, taskbar);
        // Let the first paint finish, so the bar paints only when a case asks.
        dev::Settle();
    }

    BOOL Notify(DWORD message, HWND owner, UINT id, UINT flags, HICON icon = nullptr)
    {
        NOTIFYICONDATAW data;
        memset(&data, 0xAA, sizeof data);
        data.cbSize = NOTIFYICONDATAW_V1_SIZE;
        data.hWnd = owner;
        data.uID = id;
        data.uFlags = flags;
        data.hIcon = icon;
        return Shell_NotifyIconW(message, &data);
    }

    // Adds or modifies an icon with the given pattern and destroys the
    // caller's copy at once: the shell must draw from its own.
    void Put(DWORD message, HWND owner, UINT id, int seed)
    {
        HICON icon = MakePatternIcon(seed);
        ASSERT_TRUE(Notify(message, owner, id, NIF_ICON, icon));
        DestroyIcon(icon);
    }

    void Blacken()
    {
        HDC dc = GetDC(taskbar);
        PatBlt(dc, 0, 0, 240, 26, BLACKNESS);
        ReleaseDC(taskbar, dc);
    }

    // Counts the bar's pixels that are no longer black, inside and outside r.
    void Painted(const RECT &r, int *inside, int *outside)
    {
        int width = 0, height = 0;
        std::vector<COLORREF> pixels = ClientPixels(taskbar, &width, &height);
        *inside = *outside = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (pixels[y * width + x] != 0)
                    ++*(x >= r.left && x < r.right && y >= r.top && y < r.bottom ? inside : outside);
    }
};

TEST_F(ShellNotify, TaskbarShowsTheShellsOwnCopyAndModifiesRepaintOnlyItsSquare)
{
    RECT rc;
    GetWindowRect(taskbar, &rc);
    EXPECT_EQ("0,294 240,320", std::to_string(rc.left) + "," + std::to_string(rc.top) + " " + std::to_string(rc.right) +
                                   "," + std::to_string(rc.bottom));
    EXPECT_NE(0, GetWindowLongW(taskbar, GWL_EXSTYLE) & WS_EX_TOPMOST);

    HWND owner = NewWindow();
    Put(NIM_ADD, owner, 3000, 2);
    UpdateWindow(taskbar);
    ASSERT_EQ(1u, NotifyIcons().size());
    RECT slot = NotifyIcons()[0].slot;
    EXPECT_EQ(16, slot.right - slot.left);
    EXPECT_EQ(16, slot.bottom - slot.top);
    EXPECT_LE(slot.top, 13) << "the icon must cross the middle row";
    EXPECT_GT(slot.bottom, 13);
    EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, 2)) << "after destroying the added icon";
    HDC dc = GetDC(taskbar);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, slot.left - 2, 13)) << "the bar's, not the icon's";
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, slot.right + 1, 13));
    ReleaseDC(taskbar, dc);

    long icons = LiveObjects(KindIcon);
    int inside = 0, outside = 0;
    for (int seed = 3; seed <= 5; ++seed) {
        Blacken();
        Put(NIM_MODIFY, owner, 3000, seed);
        UpdateWindow(taskbar);
        EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, seed)) << "after destroying the modified icon";
        Painted(slot, &inside, &outside);
        EXPECT_EQ(0, outside) << "a modify repainted pixels outside the icon's square";
    }
    EXPECT_EQ(icons, LiveObjects(KindIcon)) << "each modify replaces the shell's copy";
}

TEST_F(ShellNotify, IconsGoWithTheirWindowAtTheNextPaintAndAllGoWithTheShell)
{
    long icons = LiveObjects(KindIcon);
    HWND stays = NewWindow(), goes = NewWindow();
    Put(NIM_ADD, stays, 1, 11);
    Put(NIM_ADD, goes, 1, 11);
    UpdateWindow(taskbar);
    EXPECT_EQ(icons + 2, LiveObjects(KindIcon));
    DestroyWindow(goes);
    EXPECT_EQ(2u, NotifyIcons().size()) << "nothing happens before the paint";
    InvalidateRect(taskbar, nullptr, FALSE);
    UpdateWindow(taskbar);
    ASSERT_EQ(1u, NotifyIcons().size());
    EXPECT_EQ(stays, NotifyIcons()[0].owner);
    EXPECT_EQ(icons + 1, LiveObjects(KindIcon));

    PostMessageW(taskbar, WM_CLOSE, 0, 0);
    dev::Settle();
    EXPECT_EQ(nullptr, TaskbarWindow());
    EXPECT_EQ(icons, LiveObjects(KindIcon));
    HICON icon = MakePatternIcon(13);
    EXPECT_FALSE(Notify(NIM_ADD, stays, 3, NIF_ICON, icon)) << "no shell, no icon";
    EXPECT_EQ(icons + 1, LiveObjects(KindIcon)) << "and no copy made";
    DestroyIcon(icon);
}

} // namespace
