// The Thread Times list: what a user sees in its three columns after opening
// and after tapping a header, read back from the device's list view.
#include "threads_fixture.h"

#include "app/resource.h"
#include "threads/thread_times.h"

#include <string.h>

using namespace threads_test;

namespace {

class ThreadListTest : public ThreadsTest {
protected:
    // The dialog from the program's own template.
    void Open()
    {
        HRSRC resource = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(IDD_THREADS), RT_DIALOG);
        ASSERT_NE(resource, nullptr);
        dialog = CreateDialogIndirectParamW(
            monitorState.instance, (LPCDLGTEMPLATEW)LockResource(LoadResource(monitorState.instance, resource)), NULL,
            ThreadTimesDlgProc, 0);
        ASSERT_NE(dialog, nullptr);
        list = GetDlgItem(dialog, IDC_THREAD_LIST);
        ASSERT_EQ(monitorState.threadList, list);
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

    // A column's "title width", or "none" when there is no such column.
    std::string Header(int column)
    {
        WCHAR title[32];
        memset(title, 0xAA, sizeof(title));
        LVCOLUMNW info;
        memset(&info, 0, sizeof(info));
        info.mask = LVCF_TEXT | LVCF_WIDTH;
        info.pszText = title;
        info.cchTextMax = 32;
        if (!SendMessageW(list, LVM_GETCOLUMNW, column, (LPARAM)&info))
            return "none";
        return Narrow(title) + " " + std::to_string(info.cx);
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

// A thread identifier the walk repeats gives one item, the first.
TEST_F(ThreadListTest, OpensSortedByTimeWithOneDecimal)
{
    dev::SystemTables system;
    system.processes = {{7, u"\\Windows\\shell.exe"}};
    system.threads = {Thread(1, 7, 3, 0), Thread(2, 7, 3, 123456 * tenth), Thread(3, 7, 3, 123 * tenth),
                      // Single precision: 123456789 tenths show as 12345679.0, not 12345678.9.
                      Thread(4, 7, 3, 123456789ULL * tenth), Thread(3, 7, 3, 999 * tenth)};
    Use(system);
    ASSERT_NO_FATAL_FAILURE(Open());

    std::vector<std::string> expected = {"12345679.0", "12345.6", "12.3", " 0.0"};
    EXPECT_EQ(Column(0), expected);
    EXPECT_EQ(Cell(0, 1), "shell.exe");
    EXPECT_EQ(Cell(0, 2), "Normal");
}

TEST_F(ThreadListTest, EmptyTableShowsThreeHeaders)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(ItemCount(), 0);
    std::vector<std::string> headers = {Header(0), Header(1), Header(2), Header(3)};
    EXPECT_EQ(headers, (std::vector<std::string>{"Time 40", "Owner 90", "Priority 65", "none"}));
}

TEST_F(ThreadListTest, HeaderTapsSortByThatColumn)
{
    dev::SystemTables system;
    system.processes = {{1, u"\\Windows\\zeta.exe"}, {2, u"BETA.EXE"}, {3, u"\\x\\alpha.exe"}, {4, u"\\y\\Gamma.exe"}};
    LONG priorities[] = {3, 7, 0, 6, 2, 5, 4, 1, 8, -1};
    for (DWORD i = 0; i < 10; i++)
        system.threads.push_back(Thread(i + 1, 1 + i % 4, priorities[i], (uint64_t)(i * 7 % 10) * tenth));
    Use(system);
    ASSERT_NO_FATAL_FAILURE(Open());

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
    std::vector<std::string> byTime = {" 0.9", " 0.8", " 0.7", " 0.6", " 0.5", " 0.4", " 0.3", " 0.2", " 0.1", " 0.0"};
    EXPECT_EQ(first, byTime);
    EXPECT_EQ(TapColumn(0), TRUE);
    EXPECT_EQ(Column(0), first);

    // Other columns, notices and senders are not handled and sort nothing.
    EXPECT_EQ(TapColumn(3), FALSE);
    EXPECT_EQ(TapColumn(-1), FALSE);
    EXPECT_EQ(TapColumn(1, (UINT)NM_CLICK), FALSE);
    EXPECT_EQ(TapColumn(1, (UINT)LVN_COLUMNCLICK, IDC_THREAD_LIST + 1), FALSE);
    EXPECT_EQ(Column(0), first);
    EXPECT_EQ(ThreadTimesDlgProc(dialog, WM_COMMAND, IDOK, 0), FALSE);
}

TEST_F(ThreadListTest, EachOpeningTakesANewSnapshotOrShowsTheLastSortedByTime)
{
    dev::SystemTables system;
    system.processes = {{1, u"b.exe"}, {2, u"a.exe"}};
    system.threads = {Thread(1, 1, 3, 9 * tenth), Thread(2, 2, 3, 1 * tenth)};
    Use(system);
    ASSERT_NO_FATAL_FAILURE(Open());
    TapColumn(1);
    std::vector<std::string> owners = {"a.exe", "b.exe"};
    EXPECT_EQ(Column(1), owners);
    DestroyWindow(dialog);

    system.threads.push_back(Thread(3, 2, 3, 20 * tenth));
    Use(system);
    ASSERT_NO_FATAL_FAILURE(Open());
    std::vector<std::string> expected = {" 2.0", " 0.9", " 0.1"};
    EXPECT_EQ(Column(0), expected);
    TapColumn(1);
    DestroyWindow(dialog);

    // Without the library the last snapshot is shown again, sorted by time.
    dev::UnregisterLibrary(u"toolhelp");
    system.threads.push_back(Thread(4, 2, 3, 30 * tenth));
    Use(system);
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(Column(0), expected);
}

// A tap on the "Owner" header arrives from the list view itself and
// re-sorts; the close message ends the dialog.
TEST_F(ThreadListTest, TapOnTheRealHeaderSorts)
{
    dev::SystemTables system;
    system.processes = {{1, u"\\w\\b.exe"}, {2, u"\\w\\c.exe"}, {3, u"\\w\\a.exe"}};
    system.threads = {Thread(1, 1, 3, 5 * tenth), Thread(2, 2, 3, 9 * tenth), Thread(3, 3, 3, 1 * tenth)};
    Use(system);
    ASSERT_NO_FATAL_FAILURE(Open());
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

} // namespace
