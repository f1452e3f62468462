// The taskbar icon: its 16 by 16 picture, where it goes and how it is found
// again, the "Wexdock" hand-over, and the icon when the taskbar program
// restarts, other programs repaint or platform calls fail.
#include "tray_fixture.h"

using namespace tray_test;

namespace {

// A device without the shell: the test makes its own taskbar when it wants one.
class BareTrayTest : public TrayTest {
protected:
    void SetUp() override { Start(false); }

    // Starts afresh on a bar of the test's own that paints the given look.
    HWND Restart(FakeBar look, int x, int y, int width, int height)
    {
        TearDown();
        Start(false);
        HWND bar = MakeFakeBar(x, y, width, height);
        look.paints = Bar().paints;
        Bar() = look;
        return bar;
    }
};

// ------------------------------------------------------------ the change test

// A brush-coloured square on a taskbar of the test's own: the first tick
// after start-up (iconX = iconY = 0) looks at (0, 15) and (15, 15) only, and
// reads the second pair only when the first matched.
TEST_F(BareTrayTest, BottomCornersDecideTheChangeTest)
{
    const struct {
        const char *name;
        int squareLeft, squareWidth;
        bool moved;
        long pixelReads; // with the probe out of the way
    } cases[] = {{"both corners match", 0, 16, false, 4},
                 {"right corner differs", 0, 15, true, 4},
                 {"left corner differs", 1, 16, true, 2}};
    for (const auto &c : cases) {
        HWND bar = Restart({true, false, true, c.squareLeft, 0, c.squareWidth, 0}, 0, 294, 240, 26);
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
        EXPECT_EQ(monitorState.iconX, 0) << c.name;
    }
}

TEST_F(TrayTest, AlternateTaskbarReadsNoPixelAndBuildsNoIcon)
{
    ASSERT_NE(dev::StartAlternateTaskbar(), 0u);
    monitorState.alternateTaskbar = 1;
    StartIcon();
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

// ------------------------------------------------------------ the probe

// Found in window coordinates; no difference gives the right end and the
// top; another change left of the icon is taken for its edge.
TEST_F(BareTrayTest, ProbeFindsTheFirstChangedPixel)
{
    const struct {
        int x, width, height; // the bar stands at the screen's bottom
        int iconLeft, iconTop;
        bool showIcon, flicker;
        int foundX, foundY;
    } cases[] = {{0, 240, 26, 1, 5, true, false, 1, 5},      {0, 240, 26, 224, 10, true, false, 224, 10},
                 {30, 180, 30, 150, 7, true, false, 150, 7}, {0, 240, 16, 50, 0, true, false, 50, 0},
                 {0, 240, 26, 100, 5, false, false, 240, 0}, {0, 240, 26, 100, 5, true, true, 40, 13}};
    for (const auto &c : cases) {
        Restart({c.showIcon, c.flicker, false, c.iconLeft, c.iconTop, 16, 0}, c.x, 320 - c.height, c.width, c.height);
        StartIcon();
        ProbeIconLocation();
        EXPECT_TRUE(monitorState.iconX == c.foundX && monitorState.iconY == c.foundY)
            << "bar at x " << c.x << ", " << c.width << " by " << c.height << ", icon at " << c.iconLeft << ","
            << c.iconTop << (c.showIcon ? "" : " hidden") << (c.flicker ? " flickering" : "") << ": found "
            << monitorState.iconX << "," << monitorState.iconY;
    }
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

TEST_F(BareTrayTest, NoTaskbarAtStartUpReadsNoPixelAndProbesOnceItIsBack)
{
    StartIcon();
    EXPECT_EQ(monitorState.taskbarCapture, nullptr);
    monitorState.iconInTray = 1;
    long reads = dev::PixelReads();
    EXPECT_EQ(RefreshTrayIcon(), 0) << "an icon shown nowhere reported as shown";
    EXPECT_EQ(dev::PixelReads() - reads, 0) << "the screen was read for a taskbar that is not there";
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
    ASSERT_EQ(DockCommands(), "");

    ShowWindow(dock, SW_SHOW);
    Settle();
    Tick();
    EXPECT_FALSE(OurShellIcon(nullptr));
    EXPECT_EQ(monitorState.iconInTray, 0);
    EXPECT_EQ(DockCommands(), "48004:0 4000:icon");
    // The monitor never destroys what the dock was handed, not even at the
    // next build; the dock releases it once it has a newer one.
    long icons = dev::LiveObjects(dev::KindIcon);
    std::string commands = "48004:0 4000:" + std::to_string((LPARAM)monitorState.trayIcon) + " 4000:icon";
    Tick();
    EXPECT_EQ(DockCommands(), commands);
    EXPECT_EQ(dev::WexdockIcon(), monitorState.trayIcon);
    EXPECT_EQ(dev::LiveObjects(dev::KindIcon), icons);

    ShowWindow(dock, SW_HIDE);
    Settle();
    Tick();
    EXPECT_TRUE(OurShellIcon(nullptr));
    EXPECT_EQ(dev::WexdockCommands().size(), 3u);
}

// The shell's taskbar program closes and ends, as when it is restarted.
static bool EndTaskbarProgram()
{
    DWORD shell = 0;
    GetWindowThreadProcessId(dev::TaskbarWindow(), &shell);
    PostMessageW(dev::TaskbarWindow(), WM_CLOSE, 0, 0);
    dev::Settle();
    int code = 0;
    return dev::WaitProgram(shell, &code, 2000);
}

TEST_F(TrayTest, WithoutAnyTaskbarTheIconIsDeletedAndDestroyed)
{
    StartIcon();
    Tick();
    ASSERT_TRUE(OurShellIcon(nullptr));
    ASSERT_TRUE(EndTaskbarProgram());

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

// ------------------------------------------------------------ recovery

TEST_F(TrayTest, TheIconComesBackWhenTheTaskbarProgramStartsAgain)
{
    StartIcon();
    Tick();
    ASSERT_TRUE(OurShellIcon(nullptr));

    // Between two ticks the taskbar program ends and starts again; the
    // monitor still believes its icon is in the tray.
    ASSERT_TRUE(EndTaskbarProgram());
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
        if (entry.owner == otherOwner) other = entry.slot;
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
    ASSERT_TRUE(AddOtherIcon(77, NIM_MODIFY, IDI_PROBE_A));
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
    EXPECT_EQ(DockCommands(), "48004:0 4000:icon");
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

// ------------------------------------------------------------ the picture

const int G = -1; // a grid column

// The picture as text, one line per row: 'b' brush colour, '.' white,
// 'r' the ramp's colour of that row, '?' anything else.
std::vector<std::string> Render(const std::vector<COLORREF> &picture, const std::vector<COLORREF> &ramp)
{
    std::vector<std::string> lines;
    for (int y = 0; y < ICON_SIZE; y++) {
        std::string line;
        for (int x = 0; x < ICON_SIZE; x++) {
            COLORREF c = picture[y * ICON_SIZE + x];
            line += c == brushColor ? 'b' : c == white ? '.' : c == ramp[y] ? 'r' : '?';
        }
        lines.push_back(line);
    }
    return lines;
}

// What a user should see for these column heights (G for a grid column).
std::vector<std::string> Expected(const int heights[ICON_SIZE])
{
    std::vector<std::string> lines;
    for (int y = 0; y < ICON_SIZE; y++) {
        std::string line;
        for (int x = 0; x < ICON_SIZE; x++) {
            int h = heights[x];
            if (y == ICON_SIZE - 1 || h == G)
                line += 'b';
            else if (y >= ICON_SIZE - 1 - h)
                line += 'r';
            else
                line += y == 0 ? 'b' : '.';
        }
        lines.push_back(line);
    }
    return lines;
}

class PictureTest : public TrayTest {
protected:
    void SetUp() override
    {
        TrayTest::SetUp();
        HBITMAP loaded = LoadBitmapW(monitorState.instance, MAKEINTRESOURCEW(IDB_ICON_FILL));
        ramp = BitmapPixels(loaded, 1, ICON_SIZE);
        DeleteObject(loaded);
        ASSERT_EQ(ramp.size(), (size_t)ICON_SIZE) << "the icon ramp resource";
        StartIcon();
    }
    std::vector<COLORREF> IconPicture() { return BitmapPixels(monitorState.iconColorBitmap, ICON_SIZE, ICON_SIZE); }
    std::vector<COLORREF> ramp;
};

// Every shown slot k (a multiple of 4) holds the load for a bar of
// (k / 4) mod 16 rows, so each column's height tells which slot it shows;
// the slots in between hold 99, so showing one of them is plain to see.
// Before any of it the first icon is all white.
TEST_F(PictureTest, ColumnsShowEveryFourthSlotEndingAtTheNewest)
{
    const struct {
        int nextIndex;
        int heights[ICON_SIZE];
    } cases[] = {{0, {2, 3, 4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0, 1}},
                 {1, {3, 4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0, 1, G}},
                 {4, {3, 4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0, 1, G}},
                 {5, {4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0, 1, G, 1}},
                 {196, {1, 2, 3, 4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0}}};
    ASSERT_NE(monitorState.trayIcon, nullptr);
    EXPECT_EQ(Render(IconPicture(), ramp), std::vector<std::string>(ICON_SIZE, std::string(ICON_SIZE, '.')))
        << "the first icon, before any sample";
    for (int k = 0; k < LOAD_HISTORY_SLOTS; k++)
        monitorState.history.samples[k] = k % 4 ? 99 : (k / 4 % 16 * 100 + 15) / 16; // least load for that bar
    for (const auto &c : cases) {
        monitorState.history.nextIndex = c.nextIndex;
        Tick();
        EXPECT_EQ(Render(IconPicture(), ramp), Expected(c.heights)) << "nextIndex " << c.nextIndex;
    }
}

// Out-of-range loads never cover the bottom grid row.
TEST_F(PictureTest, BarsKeepTheRampFixedToTheRows)
{
    const struct {
        int load, height;
    } cases[] = {{0, 0}, {6, 0}, {7, 1}, {50, 8}, {93, 14}, {94, 15}, {99, 15}, {-40, 0}, {250, 15}};
    for (auto c : cases) {
        for (int &sample : monitorState.history.samples)
            sample = c.load;
        monitorState.history.nextIndex = 0;
        Tick();
        int heights[ICON_SIZE];
        for (int x = 0; x < ICON_SIZE; x++)
            heights[x] = x == 6 ? G : c.height;
        EXPECT_EQ(Render(IconPicture(), ramp), Expected(heights)) << "load " << c.load;
    }
}

} // namespace
