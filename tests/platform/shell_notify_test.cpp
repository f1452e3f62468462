// The shell's notification area as a program sees it: Shell_NotifyIconW keyed
// by window and id, the shell's own copy of every icon, and the taskbar's
// pixels read back through its device context after partial repaints. Taps
// and placement are driven through the monitor's tray icon (tests/trayicon).
#include "platform/host/kernel.h"
#include "platform/host/user.h"
#include "platform/host/shell.h"
#include "platform/programs/programs.h"

#include <gtest/gtest.h>

using namespace dev;

namespace {

// Pixel (x, y) of pattern `seed`: never black, white or grey, unique per pixel.
inline COLORREF PatternColor(int seed, int x, int y)
{
    return RGB((seed * 37 + x * 13 + 7) & 0xFF, (y * 15 + 3) & 0xFF, (200 - x * 5 + seed * 11) & 0xFF);
}

// The pattern as an icon, every pixel opaque.
inline HICON MakePatternIcon(int seed)
{
    uint32_t bits[16 * 16];
    for (int i = 0; i < 256; ++i) {
        COLORREF c = PatternColor(seed, i % 16, i / 16);
        bits[i] = (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c);
    }
    uint8_t maskBits[16 * 2] = {0};
    ICONINFO info = {TRUE, 8, 8, CreateBitmap(16, 16, 1, 1, maskBits), CreateBitmap(16, 16, 1, 32, bits)};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return icon;
}

// The first pixel of the 16 by 16 square at (left, top) of a window's client
// area that differs from the pattern, as "x,y got G want W"; empty when all match.
inline std::string PatternMismatch(HWND window, int left, int top, int seed)
{
    std::string mismatch;
    HDC dc = GetDC(window);
    for (int i = 0; i < 256 && mismatch.empty(); ++i) {
        COLORREF got = GetPixel(dc, left + i % 16, top + i / 16), want = PatternColor(seed, i % 16, i / 16);
        if (got != want)
            mismatch = std::to_string(i % 16) + "," + std::to_string(i / 16) + " got " + std::to_string(got) +
                       " want " + std::to_string(want);
    }
    ReleaseDC(window, dc);
    return mismatch;
}

// A fresh device on the manual clock with the shell; the test's thread is a
// program of it.
class ShellNotify : public ::testing::Test {
protected:
    HWND taskbar = nullptr;

    void SetUp() override
    {
        Config config;
        config.manualClock = true;
        ResetDevice(config);
        RegisterDevicePrograms();
        AdoptCurrentThread();
        WNDCLASSW wc = {0, DefWindowProcW, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"ProgramsTestWindow"};
        RegisterClassW(&wc);
        ASSERT_NE(0u, StartShell());
        taskbar = TaskbarWindow();
        ASSERT_NE(nullptr, taskbar);
        // Let the first paint finish, so the bar paints only when a case asks.
        dev::Settle();
    }

    void TearDown() override
    {
        ReleaseCurrentThread();
        Config config;
        config.manualClock = true;
        ResetDevice(config);
    }

    // A hidden top-level window of the test's own.
    HWND NewWindow()
    {
        return CreateWindowExW(0, u"ProgramsTestWindow", u"test", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                               nullptr);
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

    // The bar's pixels outside r that are no longer black.
    int PaintedOutside(const RECT &r)
    {
        RECT all;
        GetClientRect(taskbar, &all);
        HDC dc = GetDC(taskbar);
        int outside = 0;
        for (int y = 0; y < all.bottom; ++y)
            for (int x = 0; x < all.right; ++x)
                outside += GetPixel(dc, x, y) != 0 && !(x >= r.left && x < r.right && y >= r.top && y < r.bottom);
        ReleaseDC(taskbar, dc);
        return outside;
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
    for (int seed = 3; seed <= 5; ++seed) {
        Blacken();
        Put(NIM_MODIFY, owner, 3000, seed);
        UpdateWindow(taskbar);
        EXPECT_EQ("", PatternMismatch(taskbar, slot.left, slot.top, seed)) << "after destroying the modified icon";
        EXPECT_EQ(0, PaintedOutside(slot)) << "a modify repainted pixels outside the icon's square";
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
