// The list view in report view: held back painting, the scroll bar and
// clipped cells. The Thread Times tests drive the columns, items, texts and
// header taps as the monitor uses them.
#include "dialog_testing.h"

using dialogtest::Pixel;
using dialogtest::Template;

namespace {

const int kListId = 1030;

INT_PTR CALLBACK ParentProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class ListView : public support::DeviceTest {
protected:
    void SetUp() override {
        Boot();
        AdoptAsMonitor();
        InitCommonControls();
    }
    // The Thread Times layout: one report-view list in a 157 by 162 dialog.
    HWND CreateList() {
        Template t(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, 0, 157, 162,
                   u"List");
        t.Item(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT, 7, 7, 143, 148, kListId, 0,
               u"List1", WC_LISTVIEWW);
        dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, ParentProc, 0);
        if (!dialog) return nullptr;
        SetForegroundWindow(dialog);
        UpdateWindow(dialog);
        Pump();
        return GetDlgItem(dialog, kListId);
    }
    void ThreadColumns(HWND list) {
        const char16_t *titles[] = {u"Time", u"Owner", u"Priority"};
        int widths[] = {40, 90, 65};
        for (int i = 0; i < 3; ++i) {
            LVCOLUMNW column = {};
            column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_ORDER, column.fmt = LVCFMT_LEFT;
            column.cx = widths[i], column.pszText = (LPWSTR)titles[i], column.iOrder = i;
            SendMessageW(list, LVM_INSERTCOLUMNW, i, (LPARAM)&column);
        }
    }
    LRESULT InsertItem(HWND list, int index, const char16_t *text) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = (LPWSTR)text;
        return SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
    }
    void TapScreen(int x, int y) {
        dev::Tap(x, y, true);
        Pump();
        dev::Tap(x, y, false);
        Pump();
    }
    HWND dialog = nullptr;
};

TEST_F(ListView, CellsAreClippedPaintingIsHeldBackAndTheScrollBarScrolls) {
    HWND list = CreateList();
    ASSERT_NE(list, nullptr);
    ThreadColumns(list);
    RECT client = dialogtest::ClientScreenRectOf(list);
    uint32_t window = Pixel(GetSysColor(COLOR_WINDOW));
    auto snapshot = [&] {
        std::vector<uint32_t> pixels;
        for (int y = client.top; y < client.bottom; ++y)
            for (int x = client.left; x < client.right; ++x) pixels.push_back(ScreenPixel(x, y));
        return pixels;
    };
    InsertItem(list, 0, u"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    UpdateWindow(list);
    // Below the header (at most 20 pixels high), only the first column may have ink.
    int inkInFirst = 0, inkBeyond = 0;
    for (int y = client.top + 21; y < client.top + 40; ++y) {
        for (int x = client.left; x < client.left + 40; ++x) inkInFirst += ScreenPixel(x, y) != window;
        for (int x = client.left + 41; x < client.left + 130; ++x) inkBeyond += ScreenPixel(x, y) != window;
    }
    EXPECT_GT(inkInFirst, 0);
    EXPECT_EQ(inkBeyond, 0) << "a long cell must not run into the next column";
    int edge = client.right - 3;
    int middle = (client.top + client.bottom) / 2;
    EXPECT_EQ(ScreenPixel(edge, middle), window) << "one row fits: no scroll bar";

    std::vector<uint32_t> oneRow = snapshot();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (int i = 1; i < 60; ++i) InsertItem(list, i, u"1.0");
    UpdateWindow(list);
    Pump();
    EXPECT_TRUE(snapshot() == oneRow) << "nothing may be painted while painting is off";
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    UpdateWindow(list);
    EXPECT_FALSE(snapshot() == oneRow) << "turning painting on shows the rows";
    EXPECT_NE(ScreenPixel(edge, middle), window) << "sixty rows do not fit: a scroll bar";
    EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 0);

    TapScreen(edge, client.bottom - 4); // the down arrow
    EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 1);
    TapScreen(edge, client.top + 4); // the up arrow
    EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 0);
    TapScreen(edge, client.bottom - 20); // the track below the thumb: a page
    int page = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
    EXPECT_GT(page, 5);
    for (int i = 0; i < 20; ++i) TapScreen(edge, client.bottom - 20);
    int last = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
    EXPECT_LT(last, 60) << "scrolling stops with the last row in view";
    EXPECT_GT(last + page, 59);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 0);
}

} // namespace
