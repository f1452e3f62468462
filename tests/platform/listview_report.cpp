// The list view in report view: items as the platform's list view keeps
// them (every text copied), header taps at column edges, held back painting,
// the scroll bar and clipped cells. The Thread Times tests drive the columns
// and items as the monitor installs them.
#include "dialog_testing.h"

#include <algorithm>
#include <cstring>

using dialogtest::Pixel;
using dialogtest::Template;

namespace {

const int kListId = 1030;

// "column" of each header tap the parent heard of; "!" marks one not from the list.
std::string clicks;

INT_PTR CALLBACK ParentProc(HWND, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        const NMLISTVIEW *n = (const NMLISTVIEW *)lParam;
        if (n->hdr.code == (UINT)LVN_COLUMNCLICK)
            clicks += (clicks.empty() ? "" : " ") + std::to_string(n->iSubItem) +
                      (n->hdr.idFrom != (UINT_PTR)kListId || GetDlgCtrlID(n->hdr.hwndFrom) != kListId ? "!" : "");
        return FALSE;
    }
    return message == WM_INITDIALOG;
}

class ListView : public support::DeviceTest {
protected:
    void SetUp() override {
        clicks.clear();
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
    LRESULT SetText(HWND list, int index, int sub, const char16_t *text) {
        LVITEMW item = {};
        item.iSubItem = sub;
        item.pszText = (LPWSTR)text;
        return SendMessageW(list, LVM_SETITEMTEXTW, index, (LPARAM)&item);
    }
    std::u16string Text(HWND list, int index, int sub) {
        WCHAR buffer[64];
        std::memset(buffer, 0xAA, sizeof buffer);
        LVITEMW item = {};
        item.iSubItem = sub;
        item.pszText = buffer;
        item.cchTextMax = 64;
        LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, index, (LPARAM)&item);
        if (buffer[0] == 0xAAAA) return u"<untouched>";
        std::u16string text(buffer);
        if ((LRESULT)text.size() != length) return u"<length mismatch>";
        return text;
    }
    void TapScreen(int x, int y) {
        dev::Tap(x, y, true);
        Pump();
        dev::Tap(x, y, false);
        Pump();
    }
    HWND dialog = nullptr;
};

TEST_F(ListView, ItemsKeepCopiesOfTheirTexts) {
    HWND list = CreateList();
    ASSERT_NE(list, nullptr);
    ThreadColumns(list);
    WCHAR source[16] = u"first";
    EXPECT_EQ(InsertItem(list, 0, source), 0);
    std::memcpy(source, u"XXXXX", 12);
    EXPECT_EQ(Text(list, 0, 0), u"first") << "the list must copy the text it is given";

    WCHAR cell[16] = u"owner.exe";
    EXPECT_TRUE(SetText(list, 0, 1, cell));
    std::memcpy(cell, u"XXXXXXXXX", 18);
    EXPECT_EQ(Text(list, 0, 1), u"owner.exe");

    EXPECT_EQ(InsertItem(list, 9, u"x"), 1) << "past the end appends";
    EXPECT_EQ(InsertItem(list, 0, u"x"), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(Text(list, 1, 0), u"first") << "inserting at the front moves the others down";
    EXPECT_EQ(Text(list, 1, 1), u"owner.exe");
    EXPECT_EQ(Text(list, 1, 2), u"") << "a cell never set reads empty";
}

TEST_F(ListView, HeaderTapsNameTheColumn) {
    HWND list = CreateList();
    ASSERT_NE(list, nullptr);
    ThreadColumns(list);
    UpdateWindow(list);
    RECT client = dialogtest::ClientScreenRectOf(list);
    int y = client.top + 3;
    struct Case {
        int x;
        int column;
    } taps[] = {{5, 0}, {45, 1}, {129, 1}, {131, 2}};
    for (const Case &c : taps) {
        clicks.clear();
        TapScreen(client.left + c.x, y);
        EXPECT_EQ(clicks, std::to_string(c.column)) << "tap at x=" << c.x;
    }
    // Past the last column, and a press that lifts over another column.
    clicks.clear();
    TapScreen(client.left + 200, y);
    dev::Tap(client.left + 5, y, true);
    Pump();
    dev::Tap(client.left + 60, y, false);
    Pump();
    EXPECT_EQ(clicks, "");
}

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
