// The list view in report view: columns and items as the platform's list
// view keeps them (every text copied), its notifications, header taps, held
// back painting, the scroll bar and clipped cells. The Thread Times tests
// drive the columns and items as the monitor installs them.
#include "dialog_testing.h"

#include <algorithm>
#include <cstring>

using dialogtest::Pixel;
using dialogtest::Template;

namespace {

const int kListId = 1030;

struct Notice {
    UINT code;
    HWND from;
    UINT_PTR id;
    int item;
    int subItem;
};
std::vector<Notice> notices;
bool suppressDeleteItems = false;

INT_PTR CALLBACK ParentProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        const NMLISTVIEW *n = (const NMLISTVIEW *)lParam;
        notices.push_back({n->hdr.code, n->hdr.hwndFrom, n->hdr.idFrom, n->iItem, n->iSubItem});
        if (n->hdr.code == LVN_DELETEALLITEMS && suppressDeleteItems) {
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    }
    return message == WM_INITDIALOG;
}

// "name(item,subitem)" for each notice; "!" marks one not from the list.
std::string Codes(const std::vector<Notice> &list) {
    std::string out;
    for (const Notice &n : list) {
        const char *name = n.code == (UINT)LVN_INSERTITEM        ? "insert"
                           : n.code == (UINT)LVN_DELETEITEM      ? "delete"
                           : n.code == (UINT)LVN_DELETEALLITEMS  ? "deleteall"
                           : n.code == (UINT)LVN_COLUMNCLICK     ? "columnclick"
                                                                 : "other";
        out += (out.empty() ? "" : " ") + std::string(name) + "(" + std::to_string(n.item) + "," +
               std::to_string(n.subItem) + ")";
        if (n.id != (UINT_PTR)kListId || GetDlgCtrlID(n.from) != kListId) out += "!";
    }
    return out;
}

std::string ColumnClicks() {
    std::vector<Notice> clicks;
    for (const Notice &n : notices)
        if (n.code == (UINT)LVN_COLUMNCLICK) clicks.push_back(n);
    return Codes(clicks);
}

class ListView : public support::DeviceTest {
protected:
    void SetUp() override {
        notices.clear();
        suppressDeleteItems = false;
        Boot();
        AdoptAsMonitor();
        InitCommonControls();
    }
    // The Thread Times layout: one report-view list in a 157 by 162 dialog.
    HWND CreateList(DWORD extraStyle = 0) {
        Template t(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, 0, 157, 162,
                   u"List");
        t.Item(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | extraStyle, 7, 7, 143, 148, kListId, 0,
               u"List1", WC_LISTVIEWW);
        dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, ParentProc, 0);
        if (!dialog) return nullptr;
        SetForegroundWindow(dialog);
        UpdateWindow(dialog);
        Pump();
        notices.clear();
        return GetDlgItem(dialog, kListId);
    }
    LRESULT InsertColumn(HWND list, int index, const char16_t *title, int width, int order) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_ORDER;
        column.fmt = LVCFMT_LEFT;
        column.cx = width;
        column.pszText = (LPWSTR)title;
        column.iOrder = order;
        return SendMessageW(list, LVM_INSERTCOLUMNW, index, (LPARAM)&column);
    }
    void ThreadColumns(HWND list) {
        InsertColumn(list, 0, u"Time", 40, 0);
        InsertColumn(list, 1, u"Owner", 90, 1);
        InsertColumn(list, 2, u"Priority", 65, 2);
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
    // "title@order" of a column.
    std::u16string Title(HWND list, int index) {
        WCHAR buffer[32];
        std::memset(buffer, 0xAA, sizeof buffer);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_ORDER;
        column.pszText = buffer;
        column.cchTextMax = 32;
        column.iOrder = -99;
        if (!SendMessageW(list, LVM_GETCOLUMNW, index, (LPARAM)&column)) return u"<none>";
        std::string order = std::to_string(column.iOrder);
        return std::u16string(buffer) + u"@" + std::u16string(order.begin(), order.end());
    }
    void TapScreen(int x, int y) {
        dev::Tap(x, y, true);
        Pump();
        dev::Tap(x, y, false);
        Pump();
    }
    HWND dialog = nullptr;
};

TEST_F(ListView, ColumnsInsertShiftAndDeleteByIndex) {
    HWND list = CreateList();
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(SendMessageW(list, LVM_DELETECOLUMN, 0, 0)) << "a fresh list has no column to delete";
    // An index past the end appends.
    EXPECT_EQ(InsertColumn(list, 5, u"Time", 40, 0), 0);
    // Inserting at an index moves the later columns, order included.
    EXPECT_EQ(InsertColumn(list, 0, u"Owner", 90, 0), 0);
    EXPECT_EQ(Title(list, 0), u"Owner@0");
    EXPECT_EQ(Title(list, 1), u"Time@1");
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 90);
    EXPECT_EQ(Title(list, 2), u"<none>");

    EXPECT_TRUE(SendMessageW(list, LVM_DELETECOLUMN, 0, 0));
    EXPECT_EQ(Title(list, 0), u"Time@0");
    EXPECT_FALSE(SendMessageW(list, LVM_DELETECOLUMN, 1, 0));
}

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

    struct Case {
        const char *what;
        int iItem, iSubItem;
        LRESULT expected;
    } inserts[] = {
        {"past the end appends", 9, 0, 1},
        {"negative index", -1, 0, -1},
        {"subitem", 0, 1, -1},
        {"at the front", 0, 0, 0},
    };
    for (const Case &c : inserts) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = c.iItem;
        item.iSubItem = c.iSubItem;
        item.pszText = (LPWSTR)u"x";
        EXPECT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item), c.expected) << c.what;
    }
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(Text(list, 1, 0), u"first") << "inserting at the front moves the others down";
    EXPECT_EQ(Text(list, 1, 1), u"owner.exe");

    EXPECT_FALSE(SetText(list, 0, 5, u"no column")) << "subitems exist only under columns";
    EXPECT_FALSE(SetText(list, 7, 1, u"no item"));
    EXPECT_EQ(Text(list, 9, 0), u"<untouched>") << "no such item: the buffer is left alone";
    EXPECT_EQ(Text(list, 1, 2), u"") << "a cell never set reads empty";

    // A small buffer gets what fits, terminated.
    WCHAR small[4];
    std::memset(small, 0xAA, sizeof small);
    LVITEMW get = {};
    get.iSubItem = 1;
    get.pszText = small;
    get.cchTextMax = 3;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMTEXTW, 1, (LPARAM)&get), 2);
    EXPECT_EQ(std::u16string(small), u"ow");

    std::string dump = dev::DumpWindows();
    EXPECT_NE(dump.find("columns=\"Time\",\"Owner\",\"Priority\" items=3"), std::string::npos) << dump;

    // Deleting a column moves the later cells left; the first column goes
    // but its texts stay, as the platform's list view does.
    EXPECT_TRUE(SetText(list, 1, 2, u"Normal"));
    EXPECT_TRUE(SendMessageW(list, LVM_DELETECOLUMN, 1, 0));
    EXPECT_EQ(Text(list, 1, 0), u"first");
    EXPECT_EQ(Text(list, 1, 1), u"Normal");
    EXPECT_TRUE(SendMessageW(list, LVM_DELETECOLUMN, 0, 0));
    EXPECT_EQ(Text(list, 1, 0), u"first");
    EXPECT_EQ(Text(list, 1, 1), u"Normal");
}

TEST_F(ListView, TellsTheParentOfInsertedAndDeletedItems) {
    HWND list = CreateList();
    ASSERT_NE(list, nullptr);
    ThreadColumns(list);
    for (int i = 0; i < 3; ++i) InsertItem(list, i, u"row");
    EXPECT_EQ(Codes(notices), "insert(0,0) insert(1,0) insert(2,0)");
    notices.clear();
    EXPECT_FALSE(SendMessageW(list, LVM_DELETEITEM, 3, 0));
    EXPECT_TRUE(SendMessageW(list, LVM_DELETEITEM, 1, 0));
    EXPECT_TRUE(SendMessageW(list, LVM_DELETEALLITEMS, 0, 0));
    EXPECT_EQ(Codes(notices), "delete(1,0) deleteall(-1,0) delete(1,0) delete(0,0)")
        << "all items go from the last one up, each announced after the whole";
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);

    for (int i = 0; i < 3; ++i) InsertItem(list, i, u"row");
    notices.clear();
    suppressDeleteItems = true;
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(Codes(notices), "deleteall(-1,0)") << "a parent that answers TRUE to the whole is spared the items";
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
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
    } taps[] = {{5, 0}, {45, 1}, {129, 1}, {131, 2}, {190, 2}};
    for (const Case &c : taps) {
        notices.clear();
        TapScreen(client.left + c.x, y);
        EXPECT_EQ(ColumnClicks(), "columnclick(-1," + std::to_string(c.column) + ")") << "tap at x=" << c.x;
    }
    // Past the last column, and a press that lifts over another column.
    notices.clear();
    TapScreen(client.left + 200, y);
    dev::Tap(client.left + 5, y, true);
    Pump();
    dev::Tap(client.left + 60, y, false);
    Pump();
    EXPECT_EQ(ColumnClicks(), "");

    DestroyWindow(dialog);
    list = CreateList(LVS_NOSORTHEADER);
    ThreadColumns(list);
    TapScreen(client.left + 5, y);
    EXPECT_EQ(ColumnClicks(), "") << "LVS_NOSORTHEADER";
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
