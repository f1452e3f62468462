// Where the icon goes and how it is found again: the two-pixel change test,
// the location probe on the shell's taskbar and on taskbars the test paints
// itself, the "Wexdock" hand-over, the repaint rectangle, and the icon
// handles when no taskbar is left.
#include "tray_fixture.h"

using namespace tray_test;

namespace {

// A device without the shell: the test makes its own taskbar when it wants one.
class BareTrayTest : public TrayTest {
protected:
    void SetUp() override { Start(false); }
};

// ------------------------------------------------------------ the change test

struct ChangeCase {
    const char *name;
    int squareLeft, squareTop, squareWidth;
    bool moved;
    long pixelReads; // with the probe out of the way
};

void PrintTo(const ChangeCase &c, std::ostream *os) { *os << c.name; }

class ChangeTest : public BareTrayTest, public ::testing::WithParamInterface<ChangeCase> {};

// A brush-coloured square on a taskbar of the test's own: the first tick
// after start-up (iconX = iconY = 0) looks at (0, 15) and (15, 15) only, and
// reads the second pair only when the first matched.
TEST_P(ChangeTest, BottomCornersDecide)
{
    const ChangeCase &c = GetParam();
    HWND bar = MakeFakeBar(0, 294, 240, 26);
    Bar().square = true;
    Bar().iconLeft = c.squareLeft;
    Bar().iconTop = c.squareTop;
    Bar().squareWidth = c.squareWidth;
    InvalidateRect(bar, NULL, FALSE);
    StartIcon();

    // The probe would find nothing on this bar and put the icon at its right end.
    Tick();
    EXPECT_EQ(monitorState.iconX, c.moved ? 240 : 0) << c.name;

    monitorState.iconX = monitorState.iconY = 0;
    monitorState.iconInTray = 0; // no probe: only the test's own reads count
    long before = dev::PixelReads();
    RefreshTrayIcon();
    EXPECT_EQ(dev::PixelReads() - before, c.pixelReads) << c.name;
    EXPECT_EQ(monitorState.iconX, 0);
}

INSTANTIATE_TEST_SUITE_P(Squares, ChangeTest,
                         ::testing::Values(ChangeCase{"both corners match", 0, 0, 16, false, 4},
                                           ChangeCase{"right corner differs", 0, 0, 15, true, 4},
                                           ChangeCase{"left corner differs", 1, 0, 16, true, 2}));

TEST_F(TrayTest, AlternateTaskbarReadsNoPixelAndBuildsNoIcon)
{
    ASSERT_NE(dev::StartAlternateTaskbar(), 0u);
    monitorState.alternateTaskbar = 1;
    StartIcon();
    EXPECT_EQ(monitorState.trayIcon, nullptr);
    dev::ClearHalvaneCalls();
    long reads = dev::PixelReads();

    for (int i = 0; i < 5; i++) {
        monitorState.history.samples[i] = 50;
        monitorState.history.nextIndex = i + 1;
        Tick();
    }
    EXPECT_EQ(monitorState.trayIcon, nullptr);
    EXPECT_EQ(monitorState.spareTrayIcon, nullptr);
    EXPECT_FALSE(OurShellIcon(nullptr));
    int updates = 0;
    for (const dev::HalvaneCall &call : dev::HalvaneCalls())
        updates += call.function == "WDTIGetSetDelIcon" && call.operation == 1;
    EXPECT_EQ(updates, 5);
    EXPECT_EQ(dev::PixelReads() - reads, 0);
}

TEST_F(TrayTest, MovedIconOutsideTheTrayRunsNoProbe)
{
    StartIcon();
    Tick();
    dev::NotifyIconEntry icon;
    ASSERT_TRUE(OurShellIcon(&icon));
    ASSERT_EQ(monitorState.iconX, icon.slot.left);
    int firstX = monitorState.iconX;

    // Out of the tray, another icon takes its place; ours comes back beside it.
    RemoveTrayIcon();
    AddOtherIcon(1);
    Settle();
    HICON before = monitorState.trayIcon;
    Tick();
    ASSERT_TRUE(OurShellIcon(&icon));
    EXPECT_NE(icon.slot.left, firstX);
    EXPECT_EQ(monitorState.iconX, firstX) << "a probe ran while the icon was not in the tray";
    EXPECT_NE(monitorState.trayIcon, before) << "no new icon was built";

    // Back in the tray: the next failed test finds it, also once dragged
    // back to the first place, and its bottom row is what the test looks at.
    for (int dragged = 0; dragged < 2; dragged++) {
        Tick();
        ASSERT_TRUE(OurShellIcon(&icon));
        EXPECT_EQ(monitorState.iconX, icon.slot.left) << "dragged " << dragged;
        EXPECT_EQ(monitorState.iconY, icon.slot.top) << "dragged " << dragged;
        EXPECT_EQ(TaskbarPixel(dev::TaskbarWindow(), icon.slot.left, icon.slot.top + 15), brushColor);
        EXPECT_EQ(TaskbarPixel(dev::TaskbarWindow(), icon.slot.left + 15, icon.slot.top + 15), brushColor);
        ASSERT_TRUE(dev::MoveNotifyIcon(monitorState.mainDialog, ID_TRAY_ICON, 0));
        Settle();
    }
}

// ------------------------------------------------------------ the probe

struct BarCase {
    int x, width, height; // the bar stands at the screen's bottom
    int iconLeft, iconTop;
    bool showIcon, flicker;
    int foundX, foundY;
};

void PrintTo(const BarCase &c, std::ostream *os)
{
    *os << "bar at x " << c.x << ", " << c.width << " by " << c.height << ", icon at " << c.iconLeft << ","
        << c.iconTop << (c.showIcon ? "" : " hidden") << (c.flicker ? " flickering" : "");
}

class ProbeSizes : public BareTrayTest, public ::testing::WithParamInterface<BarCase> {};

// Found in window coordinates; no difference gives the right end and the
// top; another change left of the icon is taken for its edge.
TEST_P(ProbeSizes, FindsTheFirstChangedPixel)
{
    const BarCase &c = GetParam();
    MakeFakeBar(c.x, 320 - c.height, c.width, c.height);
    Bar().iconLeft = c.iconLeft;
    Bar().iconTop = c.iconTop;
    Bar().showIcon = c.showIcon;
    Bar().flicker = c.flicker;
    StartIcon();
    ProbeIconLocation();
    EXPECT_EQ(monitorState.iconX, c.foundX);
    EXPECT_EQ(monitorState.iconY, c.foundY);
}

INSTANTIATE_TEST_SUITE_P(Bars, ProbeSizes,
                         ::testing::Values(BarCase{0, 240, 26, 1, 5, true, false, 1, 5},
                                           BarCase{0, 240, 26, 224, 10, true, false, 224, 10},
                                           BarCase{30, 180, 30, 150, 7, true, false, 150, 7},
                                           BarCase{0, 240, 16, 50, 0, true, false, 50, 0},
                                           BarCase{0, 240, 26, 100, 5, false, false, 240, 0},
                                           BarCase{0, 240, 26, 100, 5, true, true, 40, 13}));

TEST_F(BareTrayTest, WiderTaskbarIsClippedToTheCapture)
{
    HWND bar = MakeFakeBar(0, 294, 160, 26);
    StartIcon();
    SetWindowPos(bar, NULL, 0, 294, 240, 26, SWP_NOZORDER | SWP_NOACTIVATE);
    Bar().iconLeft = 200;
    Settle();
    ProbeIconLocation();
    EXPECT_EQ(monitorState.iconX, 160);
    EXPECT_EQ(monitorState.iconY, 0);
}

TEST_F(BareTrayTest, NoTaskbarAtStartUpProbesOnceItIsBack)
{
    StartIcon();
    EXPECT_EQ(monitorState.taskbarCapture, nullptr);
    Tick();
    Tick();
    EXPECT_EQ(monitorState.iconX, 0);
    EXPECT_EQ(monitorState.iconY, 0);

    ASSERT_NE(dev::StartShell(), 0u);
    Settle();
    for (int i = 0; i < 2; i++)
        Tick();
    dev::NotifyIconEntry icon;
    ASSERT_TRUE(OurShellIcon(&icon));
    EXPECT_NE(monitorState.taskbarCapture, nullptr);
    EXPECT_EQ(monitorState.iconX, icon.slot.left);
    EXPECT_EQ(monitorState.iconY, icon.slot.top);
}

// ------------------------------------------------------------ Wexdock

TEST_F(TrayTest, WexdockTakesTheIconWhileVisible)
{
    ASSERT_NE(dev::StartWexdock(), 0u);
    HWND dock = dev::WexdockWindow();
    ShowWindow(dock, SW_HIDE);
    Settle();
    StartIcon();
    Tick();
    ASSERT_TRUE(OurShellIcon(nullptr));
    ASSERT_TRUE(dev::WexdockCommands().empty());

    ShowWindow(dock, SW_SHOW);
    Settle();
    Tick();
    EXPECT_FALSE(OurShellIcon(nullptr));
    EXPECT_EQ(monitorState.iconInTray, 0);
    std::vector<dev::WexdockCommand> commands = dev::WexdockCommands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].wParam, 48004u);
    EXPECT_EQ(commands[0].lParam, 0);
    EXPECT_EQ(commands[1].wParam, 4000u);
    EXPECT_EQ(commands[1].lParam, (LPARAM)monitorState.trayIcon);
    // The monitor never destroys what the dock was handed, not even at the
    // next build; the dock releases it once it has a newer one.
    long icons = dev::LiveObjects(dev::KindIcon);
    Tick();
    commands = dev::WexdockCommands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[2].wParam, 4000u);
    EXPECT_EQ(commands[2].lParam, (LPARAM)monitorState.trayIcon);
    EXPECT_EQ(dev::WexdockIcon(), monitorState.trayIcon);
    EXPECT_EQ(dev::LiveObjects(dev::KindIcon), icons);

    ShowWindow(dock, SW_HIDE);
    Settle();
    Tick();
    EXPECT_TRUE(OurShellIcon(nullptr));
    EXPECT_EQ(dev::WexdockCommands().size(), 3u);
}

TEST_F(TrayTest, WithoutAnyTaskbarTheIconIsDeletedAndDestroyed)
{
    StartIcon();
    Tick();
    ASSERT_TRUE(OurShellIcon(nullptr));
    DWORD shell = 0;
    GetWindowThreadProcessId(dev::TaskbarWindow(), &shell);
    PostMessageW(dev::TaskbarWindow(), WM_CLOSE, 0, 0);
    Settle();
    int code = 0;
    ASSERT_TRUE(dev::WaitProgram(shell, &code, 2000));

    long icons = dev::LiveObjects(dev::KindIcon);
    Tick();
    EXPECT_EQ(monitorState.iconInTray, 0);
    ICONINFO info = {};
    EXPECT_FALSE(GetIconInfo(monitorState.trayIcon, &info)) << "the stale icon was not destroyed";
    // The previous icon went when this one was built, and this one too.
    EXPECT_EQ(dev::LiveObjects(dev::KindIcon), icons - 1);
    Tick();
    EXPECT_EQ(dev::LiveObjects(dev::KindIcon), icons - 1);
}

} // namespace
