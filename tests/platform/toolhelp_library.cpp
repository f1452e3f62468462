// The device's "toolhelp" library as a program sees it: loaded by name,
// entry points resolved by name, walks over fixed system tables; and the
// by-identifier lookups of thread times and program names.
#include "platform/host/internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

typedef HANDLE(WINAPI *CreateProc)(DWORD, DWORD);
typedef BOOL(WINAPI *CloseProc)(HANDLE);
typedef BOOL(WINAPI *ProcessProc)(HANDLE, LPPROCESSENTRY32W);
typedef BOOL(WINAPI *ThreadProc)(HANDLE, LPTHREADENTRY32);

template <typename Proc> Proc As(FARPROC address) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(address));
}

const char16_t *const kExports[] = {u"CreateToolhelp32Snapshot", u"CloseToolhelp32Snapshot", u"Process32First",
                                    u"Process32Next", u"Thread32First", u"Thread32Next"};

std::string Narrow(const WCHAR *text) {
    std::string out;
    for (; *text; ++text) out += *text < 0x80 ? char(*text) : '?';
    return out;
}

class Toolhelp : public ::testing::Test {
protected:
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
        dev::AdoptCurrentThread();
        dev::SystemTables tables;
        tables.processes = {{0x40000001, u"\\Windows\\shell32.exe"}, {77, u"\\usr\\bin\\bash"},
                            {88, std::u16string(300, u'L')}};
        tables.threads = {{501, 0x40000001, 3, 25000000, 4000000, false},
                          {502, 77, 0, 10000000, 0, false},
                          {503, 77, 7, 9999999, 0, true},
                          {504, 99, 5, 0, 0, false}};
        dev::SetSystemSource(&tables);
    }
    void TearDown() override {
        if (library) FreeLibrary(library);
        dev::SetSystemSource(nullptr);
        dev::ReleaseCurrentThread();
    }

    // Load the library and resolve the six names, as a program does.
    void Load() {
        library = LoadLibraryW(u"toolhelp");
        ASSERT_NE(nullptr, library);
        create = As<CreateProc>(DeviceGetProcAddress(library, kExports[0]));
        close = As<CloseProc>(DeviceGetProcAddress(library, kExports[1]));
        processFirst = As<ProcessProc>(DeviceGetProcAddress(library, kExports[2]));
        processNext = As<ProcessProc>(DeviceGetProcAddress(library, kExports[3]));
        threadFirst = As<ThreadProc>(DeviceGetProcAddress(library, kExports[4]));
        threadNext = As<ThreadProc>(DeviceGetProcAddress(library, kExports[5]));
        ASSERT_TRUE(create && close && processFirst && processNext && threadFirst && threadNext);
    }

    std::vector<DWORD> ThreadIds(HANDLE snapshot) {
        std::vector<DWORD> ids;
        THREADENTRY32 entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = threadFirst(snapshot, &entry); more; more = threadNext(snapshot, &entry))
            ids.push_back(entry.th32ThreadID);
        return ids;
    }

    HMODULE library = nullptr;
    CreateProc create = nullptr;
    CloseProc close = nullptr;
    ProcessProc processFirst = nullptr, processNext = nullptr;
    ThreadProc threadFirst = nullptr, threadNext = nullptr;
};

} // namespace

TEST_F(Toolhelp, WalksReturnTheTablesInOrderAndRestartAtFirst) {
    Load();
    HANDLE snapshot = create(0x80000006, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);

    PROCESSENTRY32W process;
    memset(&process, 0xAA, sizeof process);
    process.dwSize = sizeof process;
    ASSERT_TRUE(processFirst(snapshot, &process));
    EXPECT_EQ(564u, process.dwSize);
    EXPECT_EQ(0x40000001u, process.th32ProcessID);
    EXPECT_EQ("\\Windows\\shell32.exe", Narrow(process.szExeFile));
    EXPECT_EQ(0u, process.th32MemoryBase) << "every field is written, none left as it was";
    ASSERT_TRUE(processNext(snapshot, &process));
    EXPECT_EQ(77u, process.th32ProcessID);
    ASSERT_TRUE(processNext(snapshot, &process));
    EXPECT_EQ(88u, process.th32ProcessID);
    EXPECT_EQ(size_t(MAX_PATH - 1), std::u16string(process.szExeFile).size()) << "a long name is cut, terminated";
    EXPECT_FALSE(processNext(snapshot, &process));
    EXPECT_EQ(18u, GetLastError()) << "ERROR_NO_MORE_FILES";
    EXPECT_FALSE(processNext(snapshot, &process)) << "the end stays the end";
    ASSERT_TRUE(processFirst(snapshot, &process));
    EXPECT_EQ(0x40000001u, process.th32ProcessID) << "First starts the walk again";

    THREADENTRY32 thread;
    memset(&thread, 0xAA, sizeof thread);
    thread.dwSize = sizeof thread;
    ASSERT_TRUE(threadFirst(snapshot, &thread));
    EXPECT_EQ(36u, thread.dwSize);
    EXPECT_EQ(501u, thread.th32ThreadID);
    EXPECT_EQ(0x40000001u, thread.th32OwnerProcessID);
    EXPECT_EQ(3, thread.tpBasePri);
    EXPECT_EQ(0, thread.tpDeltaPri);
    EXPECT_EQ(0x40000001u, thread.th32CurrentProcessID);
    EXPECT_EQ((std::vector<DWORD>{501, 502, 503, 504}), ThreadIds(snapshot));
    EXPECT_TRUE(close(snapshot));
}

TEST_F(Toolhelp, ProcessAndThreadWalksKeepTheirOwnPlace) {
    Load();
    HANDLE snapshot = create(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
    PROCESSENTRY32W process;
    process.dwSize = sizeof process;
    THREADENTRY32 thread;
    thread.dwSize = sizeof thread;
    ASSERT_TRUE(processFirst(snapshot, &process));
    ASSERT_TRUE(threadFirst(snapshot, &thread));
    ASSERT_TRUE(threadNext(snapshot, &thread));
    ASSERT_TRUE(processNext(snapshot, &process));
    EXPECT_EQ(77u, process.th32ProcessID);
    EXPECT_EQ(502u, thread.th32ThreadID);
    close(snapshot);
}

TEST_F(Toolhelp, RecordTooSmallIsRefusedAndKeepsThePlace) {
    Load();
    HANDLE snapshot = create(0x80000006, 0);
    PROCESSENTRY32W process;
    memset(&process, 0xAA, sizeof process);
    process.dwSize = sizeof process - 1;
    EXPECT_FALSE(processFirst(snapshot, &process));
    EXPECT_EQ(24u, GetLastError()) << "ERROR_BAD_LENGTH";
    EXPECT_EQ(0xAAAAAAAAu, process.th32ProcessID) << "a refused record is not written";
    // Desktop-sized records (no memory base or access key) are too small for the device.
    process.dwSize = offsetof(PROCESSENTRY32W, th32MemoryBase);
    EXPECT_FALSE(processFirst(snapshot, &process));

    THREADENTRY32 thread;
    thread.dwSize = 28; // the desktop's thread record
    EXPECT_FALSE(threadFirst(snapshot, &thread));
    thread.dwSize = sizeof thread;
    ASSERT_TRUE(threadFirst(snapshot, &thread));
    thread.dwSize = 0;
    EXPECT_FALSE(threadNext(snapshot, &thread));
    thread.dwSize = sizeof thread;
    ASSERT_TRUE(threadNext(snapshot, &thread));
    EXPECT_EQ(502u, thread.th32ThreadID) << "the refused call did not move the walk";
    EXPECT_FALSE(threadNext(snapshot, nullptr));
    close(snapshot);
}

TEST_F(Toolhelp, FlagsChooseTheLists) {
    Load();
    HANDLE processesOnly = create(TH32CS_SNAPPROCESS, 0);
    HANDLE threadsOnly = create(TH32CS_SNAPTHREAD | TH32CS_GETALLMODS, 0);
    PROCESSENTRY32W process;
    process.dwSize = sizeof process;
    EXPECT_TRUE(processFirst(processesOnly, &process));
    EXPECT_TRUE(ThreadIds(processesOnly).empty());
    EXPECT_FALSE(processFirst(threadsOnly, &process));
    EXPECT_EQ(4u, ThreadIds(threadsOnly).size());
    close(processesOnly);
    close(threadsOnly);
}

TEST_F(Toolhelp, SnapshotsAreCountedAndClosedOnce) {
    Load();
    const long before = dev::LiveToolhelpSnapshots();
    HANDLE first = create(0x80000006, 0);
    HANDLE second = create(0x80000006, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(before + 2, dev::LiveToolhelpSnapshots());
    EXPECT_TRUE(close(first));
    EXPECT_FALSE(close(first)) << "closed twice";
    EXPECT_EQ(6u, GetLastError());
    EXPECT_EQ(before + 1, dev::LiveToolhelpSnapshots());
    THREADENTRY32 thread;
    thread.dwSize = sizeof thread;
    EXPECT_FALSE(threadFirst(first, &thread)) << "a closed snapshot is not walked";
    EXPECT_FALSE(threadFirst(INVALID_HANDLE_VALUE, &thread));
    EXPECT_FALSE(close(nullptr));
    EXPECT_TRUE(close(second));
    EXPECT_EQ(before, dev::LiveToolhelpSnapshots());

    HANDLE leaked = create(0x80000006, 0);
    (void)leaked;
    EXPECT_EQ(before + 1, dev::LiveToolhelpSnapshots());
    dev::ResetDevice(dev::Config());
    EXPECT_EQ(0, dev::LiveToolhelpSnapshots()) << "a reset forgets open snapshots";
    library = nullptr; // the reset unloaded it
    dev::AdoptCurrentThread();
}

TEST_F(Toolhelp, ASnapshotKeepsWhatItReadWhenTheSystemChanges) {
    Load();
    HANDLE snapshot = create(0x80000006, 0);
    dev::SystemTables other;
    other.threads = {{9, 9, 3, 0, 0, false}};
    dev::SetSystemSource(&other);
    EXPECT_EQ((std::vector<DWORD>{501, 502, 503, 504}), ThreadIds(snapshot));
    HANDLE later = create(0x80000006, 0);
    EXPECT_EQ((std::vector<DWORD>{9}), ThreadIds(later));
    close(snapshot);
    close(later);
}

class MissingExport : public Toolhelp, public ::testing::WithParamInterface<int> {};

TEST_P(MissingExport, OnlyThatNameIsMissing) {
    const int missing = GetParam();
    dev::RegisterToolhelp({kExports[missing]});
    library = LoadLibraryW(u"toolhelp");
    ASSERT_NE(nullptr, library);
    for (int i = 0; i < 6; ++i) {
        FARPROC address = DeviceGetProcAddress(library, kExports[i]);
        if (i == missing)
            EXPECT_EQ(nullptr, address) << "export " << i;
        else
            EXPECT_NE(nullptr, address) << "export " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(EachName, MissingExport, ::testing::Range(0, 6));

TEST_F(Toolhelp, AbsentLibraryAndBackAfterReset) {
    dev::UnregisterLibrary(u"toolhelp");
    EXPECT_EQ(nullptr, LoadLibraryW(u"toolhelp"));
    dev::ReleaseCurrentThread();
    dev::ResetDevice(dev::Config());
    dev::AdoptCurrentThread();
    HMODULE again = LoadLibraryW(u"toolhelp");
    EXPECT_NE(nullptr, again) << "a reset registers the library again";
    if (again) FreeLibrary(again);
}

TEST_F(Toolhelp, ThreadTimesByIdentifierFromTheTables) {
    FILETIME creation, exitTime, kernel, user;
    memset(&user, 0xAA, sizeof user);
    ASSERT_TRUE(DeviceGetThreadTimes(501, &creation, &exitTime, &kernel, &user));
    EXPECT_EQ(25000000u, user.dwLowDateTime);
    EXPECT_EQ(0u, user.dwHighDateTime);
    EXPECT_EQ(4000000u, kernel.dwLowDateTime);

    struct { DWORD id; const char *why; } failing[] = {{503, "its times fail"}, {12345, "no such thread"},
                                                       {0, "no thread 0"}};
    for (const auto &c : failing) {
        memset(&user, 0xAA, sizeof user);
        memset(&kernel, 0xAA, sizeof kernel);
        EXPECT_FALSE(DeviceGetThreadTimes(c.id, &creation, &exitTime, &kernel, &user)) << c.why;
        EXPECT_EQ(0xAAAAAAAAu, user.dwLowDateTime) << c.why << ": outputs are left untouched";
        EXPECT_EQ(0xAAAAAAAAu, kernel.dwHighDateTime) << c.why;
    }

    // The kernel's GetThreadTimes takes the identifier in place of a handle.
    memset(&user, 0xAA, sizeof user);
    ASSERT_TRUE(GetThreadTimes(reinterpret_cast<HANDLE>(uintptr_t(502)), &creation, &exitTime, &kernel, &user));
    EXPECT_EQ(10000000u, user.dwLowDateTime);
    uint64_t user100ns = 0, kernel100ns = 0;
    EXPECT_TRUE(dev::LinuxThreadTimes(501, &user100ns, &kernel100ns));
    EXPECT_EQ(25000000u, user100ns);
    EXPECT_FALSE(dev::LinuxThreadTimes(503, &user100ns, &kernel100ns));
}

TEST_F(Toolhelp, ProgramFileNamesByIdentifier) {
    WCHAR name[MAX_PATH];
    memset(name, 0xAA, sizeof name);
    EXPECT_EQ(13u, DeviceGetProcessFileName(77, name, MAX_PATH));
    EXPECT_EQ("\\usr\\bin\\bash", Narrow(name));

    memset(name, 0xAA, sizeof name);
    EXPECT_EQ(4u, DeviceGetProcessFileName(77, name, 5)) << "cut to the buffer";
    EXPECT_EQ("\\usr", Narrow(name));
    EXPECT_EQ(0xAAAA, name[5]);

    memset(name, 0xAA, sizeof name);
    EXPECT_EQ(0u, DeviceGetProcessFileName(4321, name, MAX_PATH)) << "not in the tables";
    EXPECT_EQ(0, name[0]) << "failure leaves an empty terminated text";

    memset(name, 0xAA, sizeof name);
    EXPECT_EQ(0u, DeviceGetProcessFileName(77, name, 0));
    EXPECT_EQ(0xAAAA, name[0]) << "size 0: nothing written";

    EXPECT_EQ(size_t(MAX_PATH - 1), size_t(DeviceGetProcessFileName(88, name, MAX_PATH)));
    EXPECT_EQ(0, name[MAX_PATH - 1]);
}
