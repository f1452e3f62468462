// The Thread Times list: what a user sees in its three columns after opening
// and after tapping a header, read back from the device's list view.
#include "threads_fixture.h"

#include "app/resource.h"
#include "threads/thread_times.h"

#include <string.h>

using namespace threads_test;

namespace {

// Messages the list received, as "name wParam" lines.
std::vector<std::string> listLog;
WNDPROC listProc;
std::vector<LVCOLUMNW> insertedColumns;
std::vector<std::u16string> insertedTitles;

LRESULT CALLBACK RecordingListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETREDRAW:
        listLog.push_back("redraw " + std::to_string(wParam));
        break;
    case LVM_DELETEALLITEMS:
        listLog.push_back("delete-all");
        break;
    case LVM_DELETECOLUMN:
        listLog.push_back("delete-column " + std::to_string(wParam));
        break;
    case LVM_INSERTCOLUMNW: {
        listLog.push_back("insert-column " + std::to_string(wParam));
        const LVCOLUMNW *column = (const LVCOLUMNW *)lParam;
        insertedColumns.push_back(*column);
        insertedTitles.push_back(column->pszText ? column->pszText : u"(null)");
        break;
    }
    case LVM_INSERTITEMW:
        listLog.push_back("insert-item");
        break;
    case LVM_SETITEMTEXTW:
        listLog.push_back("set-text");
        break;
    }
    return CallWindowProcW(listProc, window, message, wParam, lParam);
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_INITDIALOG && ThreadTimesDlgProc(window, message, wParam, lParam))
        return TRUE;
    return DefWindowProcW(window, message, wParam, lParam);
}

class ThreadListTest : public ThreadsTest {
protected:
    void SetUp() override
    {
        ThreadsTest::SetUp();
        listLog.clear();
        insertedColumns.clear();
        insertedTitles.clear();
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.lpszClassName = u"ThreadTimesHost";
        RegisterClassW(&windowClass);
    }

    // A window standing in for the dialog, with the list as its IDC_THREAD_LIST.
    HWND Open(bool record = false)
    {
        dialog = CreateWindowExW(0, u"ThreadTimesHost", u"Thread Times", WS_POPUP | WS_VISIBLE, 0, 0, 230, 280, NULL,
                                 NULL, NULL, NULL);
        list = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 5, 5, 220, 260, dialog,
                               (HMENU)(INT_PTR)IDC_THREAD_LIST, NULL, NULL);
        if (record)
            listProc = (WNDPROC)SetWindowLongPtrW(list, GWLP_WNDPROC, (LONG_PTR)RecordingListProc);
        EXPECT_EQ(ThreadTimesDlgProc(dialog, WM_INITDIALOG, 0, 0), TRUE);
        EXPECT_EQ(monitorState.threadList, list);
        return list;
    }

    INT_PTR TapColumn(int column, UINT code = (UINT)LVN_COLUMNCLICK, int control = IDC_THREAD_LIST)
    {
        NMLISTVIEW notice;
        memset(&notice, 0, sizeof(notice));
        notice.hdr.hwndFrom = list;
        notice.hdr.idFrom = control;
        notice.hdr.code = code;
        notice.iItem = -1;
        notice.iSubItem = column;
        return ThreadTimesDlgProc(dialog, WM_NOTIFY, control, (LPARAM)&notice);
    }

    std::string Cell(int item, int subitem)
    {
        WCHAR text[64];
        memset(text, 0xAA, sizeof(text));
        LVITEMW cell;
        memset(&cell, 0, sizeof(cell));
        cell.mask = LVIF_TEXT;
        cell.iSubItem = subitem;
        cell.pszText = text;
        cell.cchTextMax = 64;
        SendMessageW(list, LVM_GETITEMTEXTW, item, (LPARAM)&cell);
        return Narrow(text);
    }

    int ItemCount() { return (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); }

    // One column of the whole list, top to bottom.
    std::vector<std::string> Column(int subitem)
    {
        std::vector<std::string> texts;
        for (int i = 0; i < ItemCount(); i++)
            texts.push_back(Cell(i, subitem));
        return texts;
    }

    HWND dialog = NULL;
    HWND list = NULL;
};

TEST_F(ThreadListTest, OpensSortedByTimeWithOneDecimal)
{
    dev::SystemTables system;
    system.processes = {{7, u"\\Windows\\shell.exe"}};
    system.threads = {Thread(1, 7, 3, 0), Thread(2, 7, 3, 123456 * tenth), Thread(3, 7, 3, 123 * tenth),
                      // Single precision: 123456789 tenths show as 12345679.0, not 12345678.9.
                      Thread(4, 7, 3, 123456789ULL * tenth)};
    Use(system);
    Open();

    std::vector<std::string> expected = {"12345679.0", "12345.6", "12.3", " 0.0"};
    EXPECT_EQ(Column(0), expected);
    EXPECT_EQ(Cell(0, 1), "shell.exe");
    EXPECT_EQ(Cell(0, 2), "Normal");
}

TEST_F(ThreadListTest, InstallsThreeColumnsAndFillsWithRepaintingOff)
{
    dev::SystemTables system;
    system.processes = {{7, u"a.exe"}};
    system.threads = {Thread(1, 7), Thread(2, 7)};
    Use(system);
    Open(true);

    std::vector<std::string> expected = {
        "delete-column 0", "insert-column 0", "delete-column 1", "insert-column 1",
        "delete-column 2", "insert-column 2", "redraw 0",        "delete-all",
        "insert-item",     "set-text",        "set-text",        "insert-item",
        "set-text",        "set-text",        "redraw 1",
    };
    EXPECT_EQ(listLog, expected);
    ASSERT_EQ(insertedColumns.size(), 3u);
    const struct {
        const char16_t *title;
        int width;
    } columns[] = {{u"Time", 40}, {u"Owner", 90}, {u"Priority", 65}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(insertedTitles[i], columns[i].title);
        EXPECT_EQ(insertedColumns[i].mask, (UINT)(LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_ORDER)) << "column " << i;
        EXPECT_EQ(insertedColumns[i].fmt, LVCFMT_LEFT);
        EXPECT_EQ(insertedColumns[i].cx, columns[i].width) << "column " << i;
        EXPECT_EQ(insertedColumns[i].iOrder, i);
    }
}

TEST_F(ThreadListTest, ColumnsInstalledAgainReplaceTheFirstOnes)
{
    Open();
    const ListColumnSpec columns[] = {{u"A", 10}, {u"B", 20}};
    InsertListColumns(list, 2, columns);

    const char *expected[] = {"A", "B", "Priority"};
    for (int i = 0; i < 3; i++) {
        WCHAR title[32];
        memset(title, 0xAA, sizeof(title));
        LVCOLUMNW column;
        memset(&column, 0, sizeof(column));
        column.mask = LVCF_TEXT;
        column.pszText = title;
        column.cchTextMax = 32;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, (LPARAM)&column)) << "column " << i;
        EXPECT_EQ(Narrow(title), expected[i]);
    }
    LVCOLUMNW fourth;
    memset(&fourth, 0, sizeof(fourth));
    fourth.mask = LVCF_WIDTH;
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 3, (LPARAM)&fourth));
}

TEST_F(ThreadListTest, EmptyTableShowsHeadersOnly)
{
    Open();
    EXPECT_EQ(ItemCount(), 0);
    for (int i = 0; i < 3; i++) {
        LVCOLUMNW column;
        memset(&column, 0, sizeof(column));
        column.mask = LVCF_WIDTH;
        EXPECT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, (LPARAM)&column)) << "column " << i;
    }
}

TEST_F(ThreadListTest, HeaderTapsSortByThatColumn)
{
    dev::SystemTables system;
    system.processes = {{1, u"\\Windows\\zeta.exe"}, {2, u"BETA.EXE"}, {3, u"\\x\\alpha.exe"}, {4, u"\\y\\Gamma.exe"}};
    LONG priorities[] = {3, 7, 0, 6, 2, 5, 4, 1, 8, -1};
    for (DWORD i = 0; i < 10; i++)
        system.threads.push_back(Thread(i + 1, 1 + i % 4, priorities[i], (uint64_t)(i * 7 % 10) * tenth));
    Use(system);
    Open();

    EXPECT_EQ(TapColumn(2), TRUE);
    std::vector<std::string> byPriority = {"Above",  "Below",  "Critical", "Highest", "Idle",
                                           "Lowest", "Normal", "Unknown",  "Unknown", "Unknown"};
    EXPECT_EQ(Column(2), byPriority);

    EXPECT_EQ(TapColumn(1), TRUE);
    std::vector<std::string> owners = Column(1);
    std::vector<std::string> byOwner = {"alpha.exe", "alpha.exe", "BETA.EXE", "BETA.EXE", "BETA.EXE",
                                        "Gamma.exe", "Gamma.exe", "zeta.exe", "zeta.exe", "zeta.exe"};
    EXPECT_EQ(owners, byOwner);

    EXPECT_EQ(TapColumn(0), TRUE);
    std::vector<std::string> first = Column(0);
    std::vector<std::string> byTime = {"0.9", "0.8", "0.7", "0.6", "0.5", "0.4", "0.3", "0.2", "0.1", "0.0"};
    for (std::string &text : byTime)
        text = " " + text;
    EXPECT_EQ(first, byTime);
    EXPECT_EQ(TapColumn(0), TRUE);
    EXPECT_EQ(Column(0), first);
}

TEST_F(ThreadListTest, OtherNotificationsAreNotHandled)
{
    dev::SystemTables system;
    system.processes = {{1, u"b.exe"}, {2, u"a.exe"}};
    system.threads = {Thread(1, 1, 3, 9 * tenth), Thread(2, 2, 3, 1 * tenth)};
    Use(system);
    Open();
    std::vector<std::string> owners = Column(1);

    EXPECT_EQ(TapColumn(3), FALSE);
    EXPECT_EQ(TapColumn(-1), FALSE);
    EXPECT_EQ(TapColumn(1, (UINT)NM_CLICK), FALSE);
    EXPECT_EQ(TapColumn(1, (UINT)LVN_COLUMNCLICK, IDC_THREAD_LIST + 1), FALSE);
    EXPECT_EQ(Column(1), owners);
    EXPECT_EQ(ThreadTimesDlgProc(dialog, WM_COMMAND, IDOK, 0), FALSE);
}

TEST_F(ThreadListTest, RepeatedThreadIdentifierGivesOneItem)
{
    dev::SystemTables system;
    system.processes = {{1, u"a.exe"}};
    system.threads = {Thread(5, 1, 3, 3 * tenth), Thread(6, 1, 3, 2 * tenth), Thread(5, 1, 3, 1 * tenth),
                      Thread(7, 1, 3, 0)};
    Use(system);
    Open();

    ASSERT_EQ(ItemCount(), 3);
    std::vector<std::string> expected = {" 0.3", " 0.2", " 0.0"};
    EXPECT_EQ(Column(0), expected);
}

TEST_F(ThreadListTest, SecondOpeningTakesANewSnapshotSortedByTime)
{
    dev::SystemTables system;
    system.processes = {{1, u"b.exe"}, {2, u"a.exe"}};
    system.threads = {Thread(1, 1, 3, 9 * tenth), Thread(2, 2, 3, 1 * tenth)};
    Use(system);
    Open();
    TapColumn(1);
    std::vector<std::string> owners = {"a.exe", "b.exe"};
    EXPECT_EQ(Column(1), owners);
    DestroyWindow(dialog);

    system.threads.push_back(Thread(3, 2, 3, 20 * tenth));
    Use(system);
    Open();
    std::vector<std::string> expected = {" 2.0", " 0.9", " 0.1"};
    EXPECT_EQ(Column(0), expected);
}

// The dialog from the program's own template: a tap on the "Owner" header
// arrives from the list view itself and re-sorts; the close message ends it.
TEST_F(ThreadListTest, TapOnTheRealHeaderSorts)
{
    dev::SystemTables system;
    system.processes = {{1, u"\\w\\b.exe"}, {2, u"\\w\\c.exe"}, {3, u"\\w\\a.exe"}};
    system.threads = {Thread(1, 1, 3, 5 * tenth), Thread(2, 2, 3, 9 * tenth), Thread(3, 3, 3, 1 * tenth)};
    Use(system);
    HRSRC resource = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(IDD_THREADS), RT_DIALOG);
    ASSERT_NE(resource, nullptr);
    dialog = CreateDialogIndirectParamW(monitorState.instance,
                                        (LPCDLGTEMPLATEW)LockResource(LoadResource(monitorState.instance, resource)),
                                        NULL, ThreadTimesDlgProc, 0);
    ASSERT_NE(dialog, nullptr);
    list = GetDlgItem(dialog, IDC_THREAD_LIST);
    EXPECT_EQ(monitorState.threadList, list);
    std::vector<std::string> byTime = {"c.exe", "b.exe", "a.exe"};
    EXPECT_EQ(Column(1), byTime);

    ShowWindow(dialog, SW_SHOW);
    Pump();
    POINT header = {40 + 45, 6}; // the middle of "Owner", in the header row
    ClientToScreen(list, &header);
    ASSERT_EQ(WindowFromPoint(header), list);
    for (bool down : {true, false}) {
        dev::Tap(header.x, header.y, down);
        dev::Settle();
        Pump();
    }
    std::vector<std::string> byOwner = {"a.exe", "b.exe", "c.exe"};
    EXPECT_EQ(Column(1), byOwner);
    EXPECT_EQ(ThreadTimesDlgProc(dialog, WM_CLOSE, 0, 0), TRUE);
}

TEST_F(ThreadListTest, WithoutToolhelpThePreviousSnapshotIsShown)
{
    dev::SystemTables system;
    system.processes = {{1, u"a.exe"}};
    system.threads = {Thread(1, 1, 3, 1 * tenth), Thread(2, 1, 3, 5 * tenth)};
    Use(system);
    ASSERT_EQ(SnapshotThreads(), 1);
    dev::UnregisterLibrary(u"toolhelp");

    Open();
    std::vector<std::string> expected = {" 0.5", " 0.1"};
    EXPECT_EQ(Column(0), expected);
}

} // namespace
