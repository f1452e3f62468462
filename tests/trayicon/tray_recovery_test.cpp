// The icon when the world around it changes: a taskbar program that starts
// again, another program's icon repainting in the same second, a "Wexdock"
// there from the start, and platform calls that fail.
#include "tray_fixture.h"

using namespace tray_test;

namespace {

class BareTray : public TrayTest {
protected:
    void SetUp() override { Start(false); }
};

TEST_F(TrayTest, TheIconComesBackWhenTheTaskbarProgramStartsAgain)
{
    StartIcon();
    Tick();
    ASSERT_TRUE(OurShellIcon(nullptr));

    // Between two ticks the taskbar program ends and starts again; the
    // monitor still believes its icon is in the tray.
    DWORD shell = 0;
    GetWindowThreadProcessId(dev::TaskbarWindow(), &shell);
    PostMessageW(dev::TaskbarWindow(), WM_CLOSE, 0, 0);
    Settle();
    int code = 0;
    ASSERT_TRUE(dev::WaitProgram(shell, &code, 2000));
    ASSERT_NE(dev::StartShell(), 0u);
    Settle();
    ASSERT_EQ(monitorState.iconInTray, 1);

    Tick();
    dev::NotifyIconEntry icon;
    ASSERT_TRUE(OurShellIcon(&icon)) << "the icon did not come back at the next tick";
    Tick();
    EXPECT_EQ(monitorState.iconX, icon.slot.left);
    EXPECT_EQ(monitorState.iconY, icon.slot.top);
    // Found, the probe stops: only the change test's pixels are read.
    long reads = dev::PixelReads();
    Tick();
    EXPECT_LE(dev::PixelReads() - reads, 4);
}

TEST_F(TrayTest, OurTickKeepsOtherProgramsRepaintsAndAddsOnlyItsSquare)
{
    StartIcon();
    Tick();
    Tick();
    AddOtherIcon(77);
    Settle();
    HWND bar = dev::TaskbarWindow();
    RECT other = {};
    for (const dev::NotifyIconEntry &entry : dev::NotifyIcons())
        if (entry.owner == otherOwner)
            other = entry.slot;
    ASSERT_FALSE(IsRectEmpty(&other));

    // The taskbar's thread paints as soon as it can: the device lock keeps it
    // from painting between our tick and the look at what is pending.
    std::unique_lock<std::recursive_mutex> taskbarStill(dev::BigLock());
    // Nothing else pending: the tick leaves only the icon's square to repaint.
    RefreshTrayIcon();
    RECT pending;
    ASSERT_TRUE(GetUpdateRect(bar, &pending, FALSE));
    RECT square = {monitorState.iconX - 1, monitorState.iconY - 1, monitorState.iconX + ICON_SIZE + 2,
                   monitorState.iconY + ICON_SIZE + 2};
    RECT clipped;
    IntersectRect(&clipped, &square, &pending);
    EXPECT_TRUE(EqualRect(&pending, &clipped)) << "more than the icon's square is repainted";
    taskbarStill.unlock();
    Settle();
    taskbarStill.lock();

    // The other program's icon changes just before our tick.
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = otherOwner;
    data.uID = 77;
    data.uFlags = NIF_ICON;
    data.hIcon = LoadIconW(monitorState.instance, MAKEINTRESOURCEW(IDI_PROBE_A));
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &data));
    RefreshTrayIcon();
    ASSERT_TRUE(GetUpdateRect(bar, &pending, FALSE));
    RECT both;
    UnionRect(&both, &pending, &other);
    EXPECT_TRUE(EqualRect(&both, &pending)) << "the other icon's repaint was dropped";
}

TEST_F(TrayTest, AWexdockThereFromTheStartGetsOnlyTheRealIcon)
{
    ASSERT_NE(dev::StartWexdock(), 0u);
    Settle();
    ASSERT_TRUE(IsWindowVisible(dev::WexdockWindow()));
    StartIcon();
    ASSERT_TRUE(OurShellIcon(nullptr));
    HICON probeA = LoadIconW(monitorState.instance, MAKEINTRESOURCEW(IDI_PROBE_A));
    HICON probeB = LoadIconW(monitorState.instance, MAKEINTRESOURCEW(IDI_PROBE_B));

    Tick();
    EXPECT_FALSE(OurShellIcon(nullptr));
    std::vector<dev::WexdockCommand> commands = dev::WexdockCommands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].wParam, 48004u);
    EXPECT_EQ(commands[1].wParam, 4000u);
    EXPECT_EQ(commands[1].lParam, (LPARAM)monitorState.trayIcon);
    EXPECT_NE(monitorState.trayIcon, probeA);
    EXPECT_NE(monitorState.trayIcon, probeB);
    EXPECT_EQ(monitorState.iconX, 0) << "a place was recorded with nothing to probe";
    EXPECT_EQ(monitorState.iconY, 0);
}

TEST_F(TrayTest, AFailedBuildKeepsTheLastIconAndSaysSo)
{
    StartIcon();
    Tick();
    HICON last = monitorState.trayIcon;
    HBITMAP mask = monitorState.iconMaskBitmap;
    monitorState.iconMaskBitmap = NULL; // CreateIconIndirect refuses an icon without a mask
    EXPECT_EQ(BuildTrayIcon(), 0);
    monitorState.iconMaskBitmap = mask;
    EXPECT_EQ(monitorState.trayIcon, last);
    ICONINFO info = {};
    EXPECT_TRUE(GetIconInfo(last, &info)) << "the last icon was destroyed";
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST_F(BareTray, WithoutATaskbarNoPixelIsRead)
{
    StartIcon();
    monitorState.iconInTray = 1;
    long reads = dev::PixelReads();
    EXPECT_EQ(RefreshTrayIcon(), 0) << "an icon shown nowhere reported as shown";
    EXPECT_EQ(dev::PixelReads() - reads, 0) << "the screen was read for a taskbar that is not there";
}

} // namespace
