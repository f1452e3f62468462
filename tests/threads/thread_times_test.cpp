// The thread snapshot and the Thread Times list, over fixed process and
// thread tables behind the device's "toolhelp" library.
#include "app/monitor_state.h"
#include "app/resource.h"
#include "platform/host/kernel.h"
#include "platform/host/toolhelp.h"
#include "platform/host/user.h"
#include "tests/support/device_fixture.h"
#include "threads/thread_snapshot.h"
#include "threads/thread_times.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

using support::Narrow;

namespace {

using Texts = std::vector<std::string>;

// 100-nanosecond units in a tenth of a second.
const uint64_t tenth = 1000000;

class ThreadsTest : public support::DeviceTest {
protected:
    void SetUp() override
    {
        support::DeviceSetup setup;
        setup.shell = false;
        Boot(setup);
        AdoptAsMonitor();
        dev::RegisterSystemClasses();
        Use(tables);
    }

    void TearDown() override
    {
        dev::SetSystemSource(nullptr);
        support::DeviceTest::TearDown();
    }

    void Use(const dev::SystemTables &system)
    {
        tables = system;
        dev::SetSystemSource(&tables);
    }

    static dev::FakeThread Thread(DWORD id, DWORD owner, LONG priority = 3, uint64_t user = 0)
    {
        return dev::FakeThread{id, owner, priority, user, 0, false};
    }

    // The table's rows as "id owner priority tenths" lines, in table order.
    static Texts Rows()
    {
        Texts lines;
        for (int i = 0; i < monitorState.threadRowCount; i++) {
            const ThreadRow &row = monitorState.threadRows[i];
            lines.push_back(std::to_string(row.threadId) + " " + Narrow(row.ownerName) + " " +
                            Narrow(row.priorityName) + " " + std::to_string(row.userTenths));
        }
        return lines;
    }

    dev::SystemTables tables;
};

// Each thread's base priority gives the row's name and its user time, in
// 100-nanosecond units, the row's whole tenths.
TEST_F(ThreadsTest, RowsNameThePriorityAndTruncateTheTimeToTenths)
{
    const struct {
        LONG priority;
        uint64_t units;
        bool timesFail; // the thread ended after the walk
        const char *name;
        DWORD tenths;
    } cases[] = {
        {0, 0, false, "Critical", 0},
        {1, 999999, false, "Highest", 0},
        {2, 1000000, false, "Above", 1},
        {3, 10000000000ULL, false, "Normal", 10000},
        {5, 70 * tenth, true, "Lowest", 0},
        {6, 70 * tenth, false, "Unknown", 70},
        {7, 0, false, "Idle", 0},
        {8, 0, false, "Unknown", 0},
        {-1, 0, false, "Unknown", 0},
        {(LONG)0x80000000, 0, false, "Unknown", 0},
        // Only the low 32 bits of the quotient are kept.
        {4, (4294967296ULL + 5) * tenth, false, "Below", 5},
    };
    const int count = (int)(sizeof(cases) / sizeof(cases[0]));
    dev::SystemTables system;
    system.processes = {{10, u"p.exe"}};
    for (int i = 0; i < count; i++) {
        system.threads.push_back(Thread(100 + i, 10, cases[i].priority, cases[i].units));
        system.threads.back().timesFail = cases[i].timesFail;
    }
    Use(system);

    ASSERT_EQ(SnapshotThreads(), 1);
    ASSERT_EQ(monitorState.threadRowCount, count);
    for (int i = 0; i < count; i++) {
        const ThreadRow &row = monitorState.threadRows[i];
        EXPECT_EQ(Narrow(row.priorityName), cases[i].name) << "base priority " << cases[i].priority;
        EXPECT_EQ(row.userTenths, cases[i].tenths) << cases[i].units << " units";
    }
}

TEST_F(ThreadsTest, RowsFollowTheWalkAndTextsFollowTheRows)
{
    std::u16string longest(MAX_PATH - 1, u'x');
    longest[0] = u'\\';
    dev::SystemTables system;
    system.processes = {{7, u"\\Windows\\shell.exe"}, {9, u"\\Windows\\app.exe"}, {7, u"dup.exe"}, {5, longest}};
    system.threads = {Thread(31, 9, 3, 12 * tenth),
                      Thread(17, 7, 1),
                      Thread(25, 9, 4),
                      Thread(2, 7, 7),
                      Thread(40, 8),
                      Thread(50, 5),
                      Thread(51, 5)};
    Use(system);

    ASSERT_EQ(SnapshotThreads(), 1);
    // The owner is the first process in walk order with the thread's id;
    // a thread whose process is gone gets an empty owner; the longest names
    // are copied whole.
    std::string x = Narrow(longest.c_str());
    Texts expected = {"31 \\Windows\\app.exe Normal 12",
                      "17 \\Windows\\shell.exe Highest 0",
                      "25 \\Windows\\app.exe Below 0",
                      "2 \\Windows\\shell.exe Idle 0",
                      "40  Normal 0",
                      "50 " + x + " Normal 0",
                      "51 " + x + " Normal 0"};
    ASSERT_EQ(Rows(), expected);

    // Every row its own copy, even two threads of one process: back to back
    // after the rows.
    const ThreadRow *rows = monitorState.threadRows;
    EXPECT_EQ(rows[0].ownerName, (const WCHAR *)(rows + THREAD_ROW_SLOTS));
    for (int i = 1; i < 7; i++)
        EXPECT_EQ(rows[i].ownerName, rows[i - 1].ownerName + wcslen(rows[i - 1].ownerName) + 1) << "row " << i;
}

TEST_F(ThreadsTest, ManyThreadsAllGetRows)
{
    dev::SystemTables system;
    for (DWORD p = 0; p < 50; p++) {
        std::string name = "\\Programs\\program" + std::to_string(p) + ".exe";
        system.processes.push_back({1000 + p, std::u16string(name.begin(), name.end())});
    }
    for (DWORD t = 0; t < 5000; t++)
        system.threads.push_back(Thread(t + 1, 1000 + t % 50, (LONG)(t % 8), (uint64_t)t * tenth));
    Use(system);

    ASSERT_EQ(SnapshotThreads(), 1);
    ASSERT_EQ(monitorState.threadRowCount, 5000);
    for (int i = 0; i < 5000; i += 499)
        EXPECT_EQ(Rows()[i], std::to_string(i + 1) + " \\Programs\\program" + std::to_string(i % 50) + ".exe " +
                                 Narrow(monitorState.threadRows[i].priorityName) + " " + std::to_string(i));
    // The texts start after all 5,000 rows, not after the first 128.
    EXPECT_GE((const void *)monitorState.threadRows[0].ownerName, (const void *)(monitorState.threadRows + 5000));
}

TEST_F(ThreadsTest, MissingLibraryOrEntryPointFailsAndReleasesTheLibrary)
{
    dev::UnregisterLibrary(u"toolhelp");
    EXPECT_EQ(SnapshotThreads(), 0);
    EXPECT_EQ(monitorState.threadRows, nullptr) << "a table without a snapshot";
    EXPECT_EQ(monitorState.threadRowCount, 0);
    dev::RegisterToolhelp({});

    dev::SystemTables system;
    system.processes = {{7, u"a.exe"}};
    system.threads = {Thread(1, 7), Thread(2, 7)};
    Use(system);
    ASSERT_EQ(SnapshotThreads(), 1);
    Texts before = Rows();
    system.threads.push_back(Thread(3, 7));
    Use(system);
    for (const char16_t *missing : {u"CreateToolhelp32Snapshot", u"CloseToolhelp32Snapshot", u"Process32First",
                                    u"Process32Next", u"Thread32First", u"Thread32Next"}) {
        dev::UnregisterLibrary(u"toolhelp");
        dev::RegisterToolhelp({missing});
        std::string name = Narrow(missing);
        EXPECT_EQ(SnapshotThreads(), 0) << name;
        EXPECT_EQ(LoadToolhelp(), 0) << name;
        EXPECT_FALSE(dev::LibraryLoaded(u"toolhelp")) << name;
        EXPECT_EQ(monitorState.toolhelpLibrary, nullptr) << name;
        EXPECT_EQ(Rows(), before) << name;
    }
}

// Storage refused for the process list, the thread list, then the table.
TEST_F(ThreadsTest, RefusedStorageReleasesWhatItTookAndKeepsThePreviousTable)
{
    for (long granted : {0L, 1L, 2L}) {
        dev::SystemTables system;
        system.processes = {{7, u"a.exe"}, {8, u"b.exe"}};
        system.threads = {Thread(1, 7, 3, 40 * tenth), Thread(2, 8)};
        Use(system);
        ASSERT_EQ(SnapshotThreads(), 1);
        Texts before = Rows();
        ThreadRow *table = monitorState.threadRows;
        long allocations = dev::LiveVirtualAllocations();

        system.threads.push_back(Thread(3, 8));
        Use(system);
        dev::RefuseVirtualAlloc(granted, 1);
        EXPECT_EQ(SnapshotThreads(), 0) << granted << " granted";
        dev::RefuseVirtualAlloc(0, 0);
        EXPECT_EQ(monitorState.threadRows, table) << granted << " granted";
        EXPECT_EQ(Rows(), before) << granted << " granted";
        EXPECT_EQ(dev::LiveVirtualAllocations(), allocations) << granted << " granted";
        EXPECT_EQ(dev::LiveToolhelpSnapshots(), 0) << granted << " granted";
        EXPECT_FALSE(dev::LibraryLoaded(u"toolhelp")) << granted << " granted";

        // Storage back: the next snapshot goes through, and only its table
        // stays: the scratch lists, the previous table, the snapshot and the
        // library are gone.
        EXPECT_EQ(SnapshotThreads(), 1);
        EXPECT_EQ(monitorState.threadRowCount, 3);
        EXPECT_EQ(dev::LiveVirtualAllocations(), allocations) << granted << " granted, then storage back";
        EXPECT_EQ(dev::LiveToolhelpSnapshots(), 0) << "the snapshot was not closed";
        EXPECT_FALSE(dev::LibraryLoaded(u"toolhelp"));
        EXPECT_EQ(monitorState.toolhelpLibrary, nullptr);
    }
}

// ------------------------------------------------------------ the list

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
        NMLISTVIEW notice = {};
        notice.hdr.hwndFrom = list;
        notice.hdr.idFrom = control;
        notice.hdr.code = code;
        notice.iItem = -1;
        notice.iSubItem = column;
        return ThreadTimesDlgProc(dialog, WM_NOTIFY, control, (LPARAM)&notice);
    }

    // A column's "title width", or "none" when there is no such column.
    std::string Header(int column)
    {
        WCHAR title[32];
        memset(title, 0xAA, sizeof(title));
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT | LVCF_WIDTH;
        info.pszText = title;
        info.cchTextMax = 32;
        if (!SendMessageW(list, LVM_GETCOLUMNW, column, (LPARAM)&info)) return "none";
        return Narrow(title) + " " + std::to_string(info.cx);
    }

    int ItemCount() { return (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); }

    // One column of the whole list, top to bottom.
    Texts Column(int subitem)
    {
        Texts texts;
        for (int i = 0; i < ItemCount(); i++) {
            WCHAR text[64];
            memset(text, 0xAA, sizeof(text)); // an unterminated copy shows
            LVITEMW cell = {};
            cell.mask = LVIF_TEXT;
            cell.iSubItem = subitem;
            cell.pszText = text;
            cell.cchTextMax = 64;
            SendMessageW(list, LVM_GETITEMTEXTW, i, (LPARAM)&cell);
            texts.push_back(Narrow(text));
        }
        return texts;
    }

    HWND dialog = NULL, list = NULL;
};

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
    EXPECT_EQ(Column(2), (Texts{"Above", "Below", "Critical", "Highest", "Idle", "Lowest", "Normal", "Unknown",
                                "Unknown", "Unknown"}));

    // The "Owner" header tapped with the stylus: the notice comes from the
    // list view itself.
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
    EXPECT_EQ(Column(1), (Texts{"alpha.exe", "alpha.exe", "BETA.EXE", "BETA.EXE", "BETA.EXE", "Gamma.exe", "Gamma.exe",
                                "zeta.exe", "zeta.exe", "zeta.exe"}));

    EXPECT_EQ(TapColumn(0), TRUE);
    Texts first = Column(0);
    EXPECT_EQ(first, (Texts{" 0.9", " 0.8", " 0.7", " 0.6", " 0.5", " 0.4", " 0.3", " 0.2", " 0.1", " 0.0"}));
    EXPECT_EQ(TapColumn(0), TRUE);
    EXPECT_EQ(Column(0), first);

    // Other columns, notices and senders are not handled and sort nothing.
    EXPECT_EQ(TapColumn(3), FALSE);
    EXPECT_EQ(TapColumn(-1), FALSE);
    EXPECT_EQ(TapColumn(1, (UINT)NM_CLICK), FALSE);
    EXPECT_EQ(TapColumn(1, (UINT)LVN_COLUMNCLICK, IDC_THREAD_LIST + 1), FALSE);
    EXPECT_EQ(Column(0), first);
    EXPECT_EQ(ThreadTimesDlgProc(dialog, WM_COMMAND, IDOK, 0), FALSE);
    EXPECT_EQ(ThreadTimesDlgProc(dialog, WM_CLOSE, 0, 0), TRUE);
}

TEST_F(ThreadListTest, EachOpeningTakesANewSnapshotSortedByTimeOrShowsTheLast)
{
    // No threads yet: the three headers alone.
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(ItemCount(), 0);
    EXPECT_EQ((Texts{Header(0), Header(1), Header(2), Header(3)}),
              (Texts{"Time 40", "Owner 90", "Priority 65", "none"}));
    DestroyWindow(dialog);

    // A thread identifier the walk repeats gives one item, the first.
    dev::SystemTables system;
    system.processes = {{1, u"a.exe"}, {2, u"b.exe"}};
    system.threads = {Thread(1, 1, 3, 0), Thread(2, 2, 3, 123456 * tenth), Thread(3, 1, 3, 123 * tenth),
                      // Single precision: 123456789 tenths show as 12345679.0, not 12345678.9.
                      Thread(4, 2, 3, 123456789ULL * tenth), Thread(3, 2, 3, 999 * tenth)};
    Use(system);
    ASSERT_NO_FATAL_FAILURE(Open());
    Texts expected = {"12345679.0", "12345.6", "12.3", " 0.0"};
    EXPECT_EQ(Column(0), expected);
    DestroyWindow(dialog);

    system.threads.push_back(Thread(5, 1, 3, 20 * tenth));
    Use(system);
    ASSERT_NO_FATAL_FAILURE(Open());
    expected.insert(expected.begin() + 3, " 2.0");
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

} // namespace
