// Where the icon goes and how it is found again: the notification record,
// the two-pixel change test, the location probe on the shell's taskbar and
// on taskbars the test paints itself, the "Wexdock" hand-over, the repaint
// rectangle, and the icon handles over many refreshes.
#include "tray_fixture.h"

using namespace tray_test;

namespace {

// A device without the shell: the test makes its own taskbar when it wants one.
class BareTrayTest : public TrayTest {
protected:
    void SetUp() override { Start(false); }
};

// ------------------------------------------------------------ the record

TEST_F(TrayTest, RecordCarriesTheFixedFields)
{
    NOTIFYICONDATAW record;
    memset(&record, 0xAA, sizeof(record));
    FillNotifyIconData(&record);
    EXPECT_EQ(record.cbSize, (DWORD)NOTIFYICONDATAW_V1_SIZE);
    EXPECT_EQ(record.hWnd, monitorState.mainDialog);
    EXPECT_EQ(record.uID, 3000u);
    EXPECT_EQ(record.uFlags, 3u);
    EXPECT_EQ(record.uCallbackMessage, 273u);
}

TEST_F(TrayTest, TapOnTheIconReachesTheMainDialog)
{
    StartIcon();
    Tick();
    dev::NotifyIconEntry icon;
    ASSERT_TRUE(OurShellIcon(&icon));
    EXPECT_EQ(icon.callbackMessage, (UINT)WM_COMMAND);
    RECT bar;
    GetWindowRect(dev::TaskbarWindow(), &bar);
    Owner().commands.clear();
    dev::Tap(bar.left + icon.slot.left + 8, bar.top + icon.slot.top + 8, true);
    dev::Tap(bar.left + icon.slot.left + 8, bar.top + icon.slot.top + 8, false);
    Settle();
    ASSERT_FALSE(Owner().commands.empty());
    EXPECT_EQ(Owner().commands[0].first, (WPARAM)ID_TRAY_ICON);
    EXPECT_EQ(Owner().commands[0].second, (LPARAM)WM_LBUTTONDOWN);
}

TEST_F(TrayTest, AddWhenInTrayAndRemoveWhenNotDoNothing)
{
    CreateTrayBitmaps();
    monitorState.iconInTray = 1;
    AddTrayIcon();
    EXPECT_FALSE(OurShellIcon(nullptr)) << "added although the flag was set";

    monitorState.iconInTray = 0;
    AddTrayIcon();
    EXPECT_TRUE(OurShellIcon(nullptr));
    EXPECT_EQ(monitorState.iconInTray, 1);

    monitorState.iconInTray = 0;
    RemoveTrayIcon();
    EXPECT_TRUE(OurShellIcon(nullptr)) << "deleted although the flag was clear";
    monitorState.iconInTray = 1;
    RemoveTrayIcon();
    EXPECT_FALSE(OurShellIcon(nullptr));
    EXPECT_EQ(monitorState.iconInTray, 0);
}

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

    // Back in the tray: the next failed test finds it.
    Tick();
    EXPECT_EQ(monitorState.iconX, icon.slot.left);
    EXPECT_EQ(monitorState.iconY, icon.slot.top);
}

// ------------------------------------------------------------ the probe

class ProbePlaces : public TrayTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(ProbePlaces, FindsTheIconWhereverTheShellPutsIt)
{
    for (UINT id = 1; id <= 3; id++)
        AddOtherIcon(id);
    StartIcon();
    ASSERT_TRUE(dev::MoveNotifyIcon(monitorState.mainDialog, ID_TRAY_ICON, GetParam()));
    Settle();
    Tick();
    dev::NotifyIconEntry icon;
    ASSERT_TRUE(OurShellIcon(&icon));
    EXPECT_EQ(monitorState.iconX, icon.slot.left) << "position " << GetParam();
    EXPECT_EQ(monitorState.iconY, icon.slot.top) << "position " << GetParam();
    // The icon's bottom row is what the next test finds there.
    EXPECT_EQ(TaskbarPixel(dev::TaskbarWindow(), icon.slot.left, icon.slot.top + 15), brushColor);
    EXPECT_EQ(TaskbarPixel(dev::TaskbarWindow(), icon.slot.left + 15, icon.slot.top + 15), brushColor);
}

INSTANTIATE_TEST_SUITE_P(Positions, ProbePlaces, ::testing::Values(0u, 1u, 2u, 3u));

TEST_F(TrayTest, IconDraggedAwayIsFoundAgainNextSecond)
{
    AddOtherIcon(1);
    StartIcon();
    Tick();
    dev::NotifyIconEntry icon;
    ASSERT_TRUE(OurShellIcon(&icon));
    ASSERT_EQ(monitorState.iconX, icon.slot.left);

    ASSERT_TRUE(dev::MoveNotifyIcon(monitorState.mainDialog, ID_TRAY_ICON, 0));
    Settle();
    Tick();
    ASSERT_TRUE(OurShellIcon(&icon));
    EXPECT_EQ(monitorState.iconX, icon.slot.left);
    EXPECT_EQ(monitorState.iconY, icon.slot.top);
}

struct BarCase {
    int x, width, height; // the bar stands at the screen's bottom
    int iconLeft, iconTop;
};

void PrintTo(const BarCase &c, std::ostream *os)
{
    *os << "bar at x " << c.x << ", " << c.width << " by " << c.height << ", icon at " << c.iconLeft << "," << c.iconTop;
}

class ProbeSizes : public BareTrayTest, public ::testing::WithParamInterface<BarCase> {};

TEST_P(ProbeSizes, FindsTheIconInWindowCoordinates)
{
    const BarCase &c = GetParam();
    MakeFakeBar(c.x, 320 - c.height, c.width, c.height);
    Bar().iconLeft = c.iconLeft;
    Bar().iconTop = c.iconTop;
    StartIcon();
    ProbeIconLocation();
    EXPECT_EQ(monitorState.iconX, c.iconLeft) << c.width << " by " << c.height;
    EXPECT_EQ(monitorState.iconY, c.iconTop) << c.width << " by " << c.height;
}

INSTANTIATE_TEST_SUITE_P(Bars, ProbeSizes,
                         ::testing::Values(BarCase{0, 240, 26, 182, 5}, BarCase{0, 240, 26, 1, 5},
                                           BarCase{0, 240, 26, 224, 10}, BarCase{30, 180, 30, 150, 7},
                                           BarCase{60, 120, 20, 60, 2}, BarCase{0, 240, 16, 50, 0}));

TEST_F(BareTrayTest, NoDifferenceGivesTheRightEndAndTheTop)
{
    MakeFakeBar(0, 294, 240, 26);
    Bar().showIcon = false;
    StartIcon();
    ProbeIconLocation();
    EXPECT_EQ(monitorState.iconX, 240);
    EXPECT_EQ(monitorState.iconY, 0);
}

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

TEST_F(BareTrayTest, OtherChangeLeftOfTheIconIsTakenForItsEdge)
{
    MakeFakeBar(0, 294, 240, 26);
    Bar().flicker = true;
    StartIcon();
    ProbeIconLocation();
    EXPECT_EQ(monitorState.iconX, 40);
    EXPECT_EQ(monitorState.iconY, 13);
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

// ------------------------------------------------------------ repainting

struct RepaintCase {
    BYTE inTray;
    int iconX, iconY;
    RECT pending; // what is left to repaint, clipped to the bar
};

void PrintTo(const RepaintCase &c, std::ostream *os)
{
    *os << (c.inTray ? "in tray" : "not in tray") << ", icon at " << c.iconX << "," << c.iconY;
}

class Repaint : public BareTrayTest, public ::testing::WithParamInterface<RepaintCase> {};

TEST_P(Repaint, OnlyTheIconsSquareIsRepainted)
{
    const RepaintCase &c = GetParam();
    HWND bar = MakeFakeBar(0, 294, 240, 26);
    StartIcon();
    Settle();
    monitorState.iconInTray = c.inTray;
    monitorState.iconX = c.iconX;
    monitorState.iconY = c.iconY;
    InvalidateRect(bar, NULL, FALSE); // a modify would repaint the whole bar
    ShowTrayIcon();
    RECT pending;
    memset(&pending, 0xAA, sizeof(pending));
    GetUpdateRect(bar, &pending, FALSE);
    EXPECT_EQ(pending.left, c.pending.left);
    EXPECT_EQ(pending.top, c.pending.top);
    EXPECT_EQ(pending.right, c.pending.right);
    EXPECT_EQ(pending.bottom, c.pending.bottom);
}

INSTANTIATE_TEST_SUITE_P(Squares, Repaint,
                         ::testing::Values(RepaintCase{1, 0, 0, {0, 0, 18, 18}},
                                           RepaintCase{1, 100, 5, {99, 4, 118, 23}},
                                           // An add keeps what was pending.
                                           RepaintCase{0, 100, 5, {0, 0, 240, 26}}));

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

// ------------------------------------------------------------ handles

TEST_F(TrayTest, ObjectCountsStayFlatOverManyRefreshes)
{
    AddOtherIcon(1);
    StartIcon();
    Tick();
    Tick();
    const dev::ObjectKind kinds[] = {dev::KindIcon, dev::KindBitmap, dev::KindDC, dev::KindBrush};
    long before[4];
    for (int k = 0; k < 4; k++)
        before[k] = dev::LiveObjects(kinds[k]);

    for (int i = 0; i < 300; i++) {
        monitorState.history.samples[i % LOAD_HISTORY_SLOTS] = 25 + i % 75;
        monitorState.history.nextIndex = (i + 1) % LOAD_HISTORY_SLOTS;
        // Now and then the icon is dragged, so the probe runs too.
        if (i % 25 == 0)
            dev::MoveNotifyIcon(monitorState.mainDialog, ID_TRAY_ICON, (i / 25) % 2);
        Tick();
    }
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(dev::LiveObjects(kinds[k]), before[k]) << dev::ObjectKindName(kinds[k]);
    EXPECT_EQ(monitorState.spareTrayIcon, monitorState.trayIcon);
}

} // namespace
