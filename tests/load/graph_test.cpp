// The load history and its 200 by 40 graph, with the test thread as the
// monitor's main thread and the real main dialog.

#include "app/resource.h"
#include "load/load_meter.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);

class LoadGraph : public support::DeviceTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Boot());
        ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
        dialog = CreateMonitorDialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(IsWindowVisible(dialog));
        ASSERT_EQ(GetForegroundWindow(), dialog);
        // The ramp as the device loads it: the colours the columns must show.
        HBITMAP ramp = LoadBitmapW(monitorState.instance, MAKEINTRESOURCEW(IDB_GRAPH_FILL));
        rampRows = BitmapPixels(ramp, 1, GRAPH_HEIGHT);
        DeleteObject(ramp);
    }

    std::vector<COLORREF> Graph() { return BitmapPixels(monitorState.graphBitmap, GRAPH_WIDTH, GRAPH_HEIGHT); }

    // Height of column x, checking that it is ramp colour below and white above.
    int ColumnHeight(const std::vector<COLORREF> &graph, int x)
    {
        int height = 0;
        while (height < GRAPH_HEIGHT && graph[(GRAPH_HEIGHT - 1 - height) * GRAPH_WIDTH + x] != kWhite)
            height++;
        for (int y = 0; y < GRAPH_HEIGHT; y++) {
            COLORREF want = y >= GRAPH_HEIGHT - height ? rampRows[y] : kWhite;
            EXPECT_EQ(graph[y * GRAPH_WIDTH + x], want) << std::hex << "column " << std::dec << x << " row " << y;
        }
        return height;
    }

    // A call to the history with a sample just due.
    void AppendDue(int percent)
    {
        monitorState.nextSampleTick = GetTickCount() - 1;
        AppendLoadSample(percent);
    }

    HWND dialog = nullptr;
    std::vector<COLORREF> rampRows;
};

// The newest column after each sample; the control, of the bitmap's size,
// shows the bitmap on screen.
TEST_F(LoadGraph, ColumnsTakeTheRampRowsOfTheirHeightAndShowOnScreen)
{
    const struct {
        int percent, height;
    } cases[] = {{99, 39}, {25, 10}, {53, 21}, {97, 38}, {50, 20}, {0, 0}};
    for (auto c : cases) {
        AppendDue(c.percent);
        EXPECT_EQ(ColumnHeight(Graph(), GRAPH_WIDTH - 1), c.height) << c.percent << "%";
    }
    Pump();
    dev::Settle();
    RECT window = {}, client = {};
    ASSERT_TRUE(dev::WindowScreenRects(GetDlgItem(dialog, IDC_GRAPH), &window, &client));
    EXPECT_TRUE(client.right - client.left == GRAPH_WIDTH && client.bottom - client.top == GRAPH_HEIGHT);
    std::vector<COLORREF> graph = Graph();
    int differ = 0;
    for (int y = 0; y < GRAPH_HEIGHT; y++)
        for (int x = 0; x < GRAPH_WIDTH; x++)
            differ += support::FromRgb(ScreenPixel(client.left + x, client.top + y)) != graph[y * GRAPH_WIDTH + x];
    EXPECT_EQ(differ, 0);
}

// One call stores every grid step it missed, 651 ms after one (three), and
// after a stall of more than the whole ring it ends as the full loop would.
TEST_F(LoadGraph, OneCallCatchesUpEveryGridStepItMissed)
{
    const int stall = 3 * LOAD_HISTORY_SLOTS + 17;
    for (int missed : {3, stall}) {
        AppendDue(99);
        DWORD grid = GetTickCount();
        monitorState.nextSampleTick = grid;
        int index = monitorState.history.nextIndex;
        dev::AdvanceClock(SAMPLE_PERIOD_MS * (missed - 1) + (missed == 3 ? 51 : 1));
        AppendLoadSample(50);
        EXPECT_EQ(monitorState.nextSampleTick, grid + SAMPLE_PERIOD_MS * missed);
        EXPECT_EQ(monitorState.history.nextIndex, (index + missed) % LOAD_HISTORY_SLOTS);
        std::vector<COLORREF> graph = Graph();
        int stored = std::min(missed, (int)LOAD_HISTORY_SLOTS);
        for (int k = 0; k < stored; k++)
            ASSERT_EQ(monitorState.history.samples[(index + missed - 1 - k) % LOAD_HISTORY_SLOTS], 50) << k;
        for (int x = GRAPH_WIDTH - stored; x < GRAPH_WIDTH; x++)
            ASSERT_EQ(ColumnHeight(graph, x), 20) << "missed " << missed << ", column " << x;
        if (missed == 3) {
            EXPECT_EQ(ColumnHeight(graph, GRAPH_WIDTH - 4), 39) << "scrolled three pixels";
        }
    }
}

TEST_F(LoadGraph, NothingIsStoredUntilTheTickCountPassesTheGridPointAndNothingLeaks)
{
    AppendDue(60);
    std::vector<COLORREF> before = Graph();
    LoadHistory history = monitorState.history;
    long dcs = dev::LiveObjects(dev::KindDC), bitmaps = dev::LiveObjects(dev::KindBitmap);

    DWORD now = GetTickCount();
    for (DWORD due : {now + 300, now + 1, now}) {
        monitorState.nextSampleTick = due;
        AppendLoadSample(99);
        EXPECT_EQ(monitorState.nextSampleTick, due);
        EXPECT_EQ(monitorState.history.nextIndex, history.nextIndex) << "due at now + " << due - now;
    }
    EXPECT_TRUE(Graph() == before);
    EXPECT_TRUE(memcmp(&history, &monitorState.history, sizeof(history)) == 0);

    // Drawing releases everything it takes.
    for (int i = 0; i < 20; i++) {
        AppendDue(30 + i);
        RedrawLoadGraph();
    }
    EXPECT_EQ(dev::LiveObjects(dev::KindDC), dcs);
    EXPECT_EQ(dev::LiveObjects(dev::KindBitmap), bitmaps);
}

// While the dialog is hidden or behind another window the ring keeps
// filling and the picture keeps still, until the next position change
// rebuilds it from the ring.
TEST_F(LoadGraph, OutOfSightTheRingFillsAndThePictureWaits)
{
    // Any other top-level window in front will do.
    HWND other = CreateWindowExW(0, DEVICE_DIALOG_CLASS, u"other", WS_POPUP, 0, 0, 240, 320, nullptr, nullptr,
                                 monitorState.instance, nullptr);
    ASSERT_NE(other, nullptr);
    int percent = 60;
    for (bool hidden : {true, false}) {
        AppendDue(40);
        if (hidden) {
            ShowWindow(dialog, SW_HIDE);
        } else {
            ShowWindow(other, SW_SHOW);
            SetForegroundWindow(other);
        }
        Pump();
        std::vector<COLORREF> before = Graph();
        int index = monitorState.history.nextIndex;
        long dcs = dev::LiveObjects(dev::KindDC);
        percent += 15;
        for (int i = 0; i < 3; i++)
            AppendDue(percent);
        EXPECT_EQ(monitorState.history.nextIndex, index + 3) << (hidden ? "hidden" : "behind");
        EXPECT_TRUE(Graph() == before) << (hidden ? "drawn while hidden" : "drawn while behind another window");
        EXPECT_EQ(dev::LiveObjects(dev::KindDC), dcs);

        if (hidden)
            ShowWindow(dialog, SW_SHOW);
        else
            SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        Pump();
        std::vector<COLORREF> graph = Graph();
        for (int x = GRAPH_WIDTH - 3; x < GRAPH_WIDTH; x++)
            EXPECT_EQ(ColumnHeight(graph, x), 40 * percent / 100) << x;
        EXPECT_EQ(ColumnHeight(graph, GRAPH_WIDTH - 4), 16);
    }
    DestroyWindow(other);
}

} // namespace
