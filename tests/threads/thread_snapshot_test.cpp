// The thread snapshot: rows and owner texts in one block, the toolhelp
// library's lifetime, and what a snapshot does when parts of the system or
// of the storage are missing.
#include "threads_fixture.h"

#include <string.h>

using namespace threads_test;

namespace {

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
        {0, 0, false, "Critical", 0},        {1, 999999, false, "Highest", 0},
        {2, 1000000, false, "Above", 1},     {3, 10000000000ULL, false, "Normal", 10000},
        {5, 70 * tenth, true, "Lowest", 0},  {6, 70 * tenth, false, "Unknown", 70},
        {7, 0, false, "Idle", 0},            {8, 0, false, "Unknown", 0},
        {-1, 0, false, "Unknown", 0},        {(LONG)0x80000000, 0, false, "Unknown", 0},
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
    system.threads = {Thread(31, 9, 3, 12 * tenth), Thread(17, 7, 1), Thread(25, 9, 4), Thread(2, 7, 7),
                      Thread(40, 8), Thread(50, 5), Thread(51, 5)};
    Use(system);

    ASSERT_EQ(SnapshotThreads(), 1);
    // The owner is the first process in walk order with the thread's id;
    // a thread whose process is gone gets an empty owner; the longest names
    // are copied whole.
    std::string x = Narrow(longest.c_str());
    std::vector<std::string> expected = {"31 \\Windows\\app.exe Normal 12", "17 \\Windows\\shell.exe Highest 0",
                "25 \\Windows\\app.exe Below 0", "2 \\Windows\\shell.exe Idle 0", "40  Normal 0",
                "50 " + x + " Normal 0", "51 " + x + " Normal 0"};
    ASSERT_EQ(Rows(), expected);

    // Two threads of one process: each its own copy, back to back after the rows.
    const ThreadRow *rows = monitorState.threadRows;
    EXPECT_NE(rows[0].ownerName, rows[2].ownerName);
    const WCHAR *store = (const WCHAR *)(rows + THREAD_ROW_SLOTS);
    EXPECT_EQ(rows[0].ownerName, store);
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
    for (int i = 0; i < 5000; i += 499) {
        const ThreadRow &row = monitorState.threadRows[i];
        EXPECT_EQ(row.threadId, (DWORD)i + 1);
        EXPECT_EQ(row.userTenths, (DWORD)i);
        EXPECT_EQ(Narrow(row.ownerName), "\\Programs\\program" + std::to_string(i % 50) + ".exe") << "row " << i;
    }
    // The texts start after all 5,000 rows, not after the first 128.
    EXPECT_GE((const void *)monitorState.threadRows[0].ownerName, (const void *)(monitorState.threadRows + 5000));
}

TEST_F(ThreadsTest, LibraryIsLoadedOnlyDuringASnapshot)
{
    dev::SystemTables system;
    system.processes = {{7, u"a.exe"}};
    system.threads = {Thread(1, 7)};
    Use(system);
    long allocations = dev::LiveVirtualAllocations();

    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(SnapshotThreads(), 1) << "round " << round;
        EXPECT_FALSE(dev::LibraryLoaded(u"toolhelp")) << "round " << round;
        EXPECT_EQ(monitorState.toolhelpLibrary, nullptr);
        EXPECT_EQ(dev::LiveToolhelpSnapshots(), 0) << "the snapshot was not closed";
        // Only the table stays: the scratch lists and the previous table are gone.
        EXPECT_EQ(dev::LiveVirtualAllocations(), allocations + 1) << "round " << round;
    }
}

TEST_F(ThreadsTest, MissingLibraryBeforeAnySnapshotLeavesNoTable)
{
    dev::UnregisterLibrary(u"toolhelp");
    EXPECT_EQ(SnapshotThreads(), 0);
    EXPECT_EQ(monitorState.threadRows, nullptr);
    EXPECT_EQ(monitorState.threadRowCount, 0);
}

class MissingEntryPoint : public ThreadsTest, public ::testing::WithParamInterface<const char16_t *> {};

TEST_P(MissingEntryPoint, FailsAndReleasesTheLibrary)
{
    dev::SystemTables system;
    system.processes = {{7, u"a.exe"}};
    system.threads = {Thread(1, 7), Thread(2, 7)};
    Use(system);
    ASSERT_EQ(SnapshotThreads(), 1);
    std::vector<std::string> before = Rows();

    dev::UnregisterLibrary(u"toolhelp");
    dev::RegisterToolhelp({GetParam()});
    system.threads.push_back(Thread(3, 7));
    Use(system);
    EXPECT_EQ(SnapshotThreads(), 0);
    EXPECT_EQ(LoadToolhelp(), 0);
    EXPECT_FALSE(dev::LibraryLoaded(u"toolhelp"));
    EXPECT_EQ(monitorState.toolhelpLibrary, nullptr);
    EXPECT_EQ(Rows(), before);
}

INSTANTIATE_TEST_SUITE_P(EachOfSix, MissingEntryPoint,
                         ::testing::Values(u"CreateToolhelp32Snapshot", u"CloseToolhelp32Snapshot", u"Process32First",
                                           u"Process32Next", u"Thread32First", u"Thread32Next"));

// Storage refused for the process list, the thread list, then the table.
class RefusedStorage : public ThreadsTest, public ::testing::WithParamInterface<long> {};

TEST_P(RefusedStorage, ReleasesWhatItTookAndKeepsThePreviousTable)
{
    dev::SystemTables system;
    system.processes = {{7, u"a.exe"}, {8, u"b.exe"}};
    system.threads = {Thread(1, 7, 3, 40 * tenth), Thread(2, 8)};
    Use(system);
    ASSERT_EQ(SnapshotThreads(), 1);
    std::vector<std::string> before = Rows();
    ThreadRow *table = monitorState.threadRows;
    long allocations = dev::LiveVirtualAllocations();

    system.threads.push_back(Thread(3, 8));
    Use(system);
    dev::RefuseVirtualAlloc(GetParam(), 1);
    EXPECT_EQ(SnapshotThreads(), 0);
    dev::RefuseVirtualAlloc(0, 0);
    EXPECT_EQ(monitorState.threadRows, table);
    EXPECT_EQ(Rows(), before);
    EXPECT_EQ(dev::LiveVirtualAllocations(), allocations);
    EXPECT_EQ(dev::LiveToolhelpSnapshots(), 0);
    EXPECT_FALSE(dev::LibraryLoaded(u"toolhelp"));

    // Storage back: the next snapshot goes through.
    EXPECT_EQ(SnapshotThreads(), 1);
    EXPECT_EQ(monitorState.threadRowCount, 3);
}

INSTANTIATE_TEST_SUITE_P(EachRequest, RefusedStorage, ::testing::Values(0L, 1L, 2L));

} // namespace
