// The emulator: its command line, and whole runs with a stand-in for the
// monitor (what starts before it, the timed close, its exit code); and the
// "halvaneh" helper library's stand-in, which must not leak what it is handed.
#include "app/monitor_state.h"
#include "platform/programs/emulator.h"
#include "programs_fixture.h"
#include "tests/support/res_reader.h"

using namespace dev;
using support::Narrow;

namespace {

ParseResult Parse(std::vector<const char *> args, EmulatorOptions *options, std::string *error)
{
    args.insert(args.begin(), "perfmon");
    return ParseEmulatorOptions((int)args.size(), args.data(), options, error);
}

TEST(EmulatorOptions, EveryOptionAndHelp)
{
    EmulatorOptions options;
    options.osMajor = 0xAA; // poisoned: the parser must write every field
    options.headless = true;
    std::string error;
    ASSERT_EQ(ParseRun, Parse({}, &options, &error)) << error;
    EXPECT_FALSE(options.headless || options.haveSeconds || options.alternateTaskbar || options.haveAddIcon);
    EXPECT_EQ(3u, options.osMajor);
    EXPECT_EQ(0u, options.osMinor);

    ASSERT_EQ(ParseRun,
              Parse({"--headless", "--seconds", "5", "--virtual-time", "--tick-start", "4294967000", "--os-version",
                     "2.11", "--alternate-taskbar", "--wexdock", "--hang-demo", "--add-icon-before", "2.5", "--tap",
                     "10,300@1.5", "--tap=239,0@0", "--log-load", "x.txt"},
                    &options, &error))
        << error;
    EXPECT_TRUE(options.headless && options.haveSeconds && options.virtualTime && options.alternateTaskbar &&
                options.wexdock && options.hangDemo && options.haveAddIcon);
    EXPECT_EQ(5000u, options.closeAtMs);
    EXPECT_EQ(4294967000u, options.tickStart);
    EXPECT_EQ(2u, options.osMajor);
    EXPECT_EQ(11u, options.osMinor) << "decimal, not a fraction";
    EXPECT_EQ(2500u, options.addIconAtMs);
    EXPECT_EQ("x.txt", options.loadLog);
    ASSERT_EQ(2u, options.taps.size());
    EXPECT_EQ(300, options.taps[0].y);
    EXPECT_EQ(1500u, options.taps[0].atMs);
    EXPECT_EQ(239, options.taps[1].x);

    EXPECT_EQ(ParseHelp, Parse({"--headless", "--help"}, &options, &error)) << "help wins over the rest";

    // Numbers are read as a person writes them: leading zeros are decimal, hex is refused.
    ASSERT_EQ(ParseRun, Parse({"--tap", "010,010@1", "--tick-start", "010"}, &options, &error)) << error;
    EXPECT_TRUE(options.taps[0].x == 10 && options.taps[0].y == 10 && options.tickStart == 10)
        << options.taps[0].x << "," << options.taps[0].y << " tick start " << options.tickStart;
    for (const char *hex : {"--tick-start=0x10", "--tap=0x10,5@1"})
        EXPECT_EQ(ParseError, Parse({hex}, &options, &error)) << hex;
}

struct Seen {
    std::string present;              // the stand-ins and the helper library there when the monitor starts
    uint64_t closedAt = 0;            // device time of the WM_CLOSE; 0 while never closed
    std::vector<uint64_t> downs, ups; // device times of the stylus on the dialog
    std::vector<std::pair<std::string, int>> iconsAtClose; // owner's class and left edge, shell order
} seen;                                                    // written by the stand-in, read once the run has ended

INT_PTR CALLBACK FakeDialogProc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP)
        (message == WM_LBUTTONDOWN ? seen.downs : seen.ups).push_back(Now());
    if (message != WM_CLOSE) return message == WM_INITDIALOG;
    seen.closedAt = Now();
    for (const NotifyIconEntry &entry : NotifyIcons()) {
        WCHAR name[32] = {0};
        GetClassNameW(entry.owner, name, 32);
        seen.iconsAtClose.push_back({Narrow(name), (int)entry.slot.left});
    }
    DestroyWindow(window);
    PostQuitMessage(7);
    return TRUE;
}

int RunMessages()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return (int)msg.wParam;
}

// The monitor's stand-in: notes which programs are already there, then a
// "Performance Monitor" dialog with an icon, that exits with 7 when closed.
int FakeMonitor(HINSTANCE instance, LPWSTR)
{
    for (const char16_t *name : {u"HHTaskBar", u"Halvane", u"Wexdock", u"HangDemo"})
        if (FindWindowW(name, nullptr)) seen.present += (seen.present.empty() ? "" : " ") + Narrow(name);
    if (HMODULE library = LoadLibraryW(u"halvaneh")) seen.present += FreeLibrary(library) ? " halvaneh" : " halvaneh?";
    HWND dialog = programs_test::CreateMonitorStandIn(instance, FakeDialogProc);
    if (!dialog) return 99;
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data, data.hWnd = dialog, data.uID = 3000;
    Shell_NotifyIconW(NIM_ADD, &data);
    return RunMessages();
}

class EmulatorRun : public ::testing::Test {
protected:
    void TearDown() override
    {
        ResetMonitorState();
        programs_test::ResetManual();
        UnregisterLibrary(u"halvaneh");
    }
    // A headless run on virtual time with these options; the exit code.
    int Run(std::vector<const char *> args, int (*monitor)(HINSTANCE, LPWSTR) = FakeMonitor)
    {
        seen = Seen();
        args.insert(args.begin(), {"perfmon", "--headless", "--virtual-time"});
        EmulatorOptions options;
        std::string error;
        EXPECT_EQ(ParseRun, ParseEmulatorOptions((int)args.size(), args.data(), &options, &error)) << error;
        return RunEmulator(options, monitor, nullptr, 0);
    }
};

TEST_F(EmulatorRun, TimedCloseGivesTheMonitorsExitCodeAfterTheAddedIcon)
{
    EXPECT_EQ(7, Run({"--seconds", "3", "--add-icon-before", "2", "--tap", "40,40@1"}));
    EXPECT_EQ("HHTaskBar", seen.present) << "the shell comes first; no helper library unless asked for";
    EXPECT_EQ(3000u, seen.closedAt);
    ASSERT_EQ(2u, seen.iconsAtClose.size());
    EXPECT_EQ("TrayGuest", seen.iconsAtClose[0].first) << "the guest's icon stands next to the clock";
    EXPECT_EQ("Dialog", seen.iconsAtClose[1].first);
    EXPECT_LT(seen.iconsAtClose[1].second, seen.iconsAtClose[0].second);
    // The scripted tap lands on the dialog at its device time and lifts before the close.
    ASSERT_EQ(1u, seen.downs.size());
    ASSERT_EQ(1u, seen.ups.size());
    EXPECT_EQ(1000u, seen.downs[0]);
    EXPECT_TRUE(seen.ups[0] > 1000 && seen.ups[0] < 3000) << "lifted at " << seen.ups[0];
}

TEST_F(EmulatorRun, StandInsStartBeforeTheMonitor)
{
    EXPECT_EQ(7, Run({"--seconds", "1", "--alternate-taskbar", "--wexdock", "--hang-demo"}));
    EXPECT_EQ("HHTaskBar Halvane Wexdock HangDemo halvaneh", seen.present);
}

// ------------------------------------------------------------ halvaneh

typedef int(WINAPI *CreateProc)(HWND, void *, int, const WCHAR *);
typedef int(WINAPI *GetSetDelProc)(HWND, int, void *, int);
typedef int(WINAPI *MtslenProc)(const WCHAR *);

// "Show / Hide", "a", "Close", each with its NUL, and the closing NUL.
const WCHAR menu[] = u"Show / Hide\0a\0Close\0";

struct Record {
    uint8_t bytes[84] = {0};
    Record &Put(int offset, uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = (uint8_t)(value >> (8 * i));
        return *this;
    }
};

HIMAGELIST PatternList(int seed)
{
    HBITMAP image, mask;
    programs_test::PatternBitmaps(seed, &image, &mask);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK, 1, 1);
    ImageList_Add(list, image, mask);
    DeleteObject(image);
    DeleteObject(mask);
    return list;
}

// Only the low 32 bits of the list's handle fit in the record.
Record CreateRecord(HIMAGELIST list)
{
    Record r;
    r.Put(0, 84).Put(4, 143).Put(8, 65535).Put(12, 1).Put(16, (uint32_t)(uintptr_t)list).Put(20, 16).Put(24, 16);
    return r.Put(44, 1034).Put(48, 0).Put(52, 2);
}

Record UpdateRecord(HIMAGELIST list)
{
    return Record().Put(0, 84).Put(4, 2).Put(16, (uint32_t)(uintptr_t)list);
}

class Halvaneh : public programs_test::DeviceTest {
protected:
    CreateProc create = nullptr;
    GetSetDelProc getSetDel = nullptr;
    MtslenProc mtslen = nullptr;
    HWND owner = nullptr;
    void SetUp() override
    {
        DeviceTest::SetUp();
        RegisterHalvaneLibrary();
        HMODULE library = LoadLibraryW(u"halvaneh");
        create = (CreateProc)(void (*)())GetProcAddressW(library, u"WDTICreateTransientIcon");
        getSetDel = (GetSetDelProc)(void (*)())GetProcAddressW(library, u"WDTIGetSetDelIcon");
        mtslen = (MtslenProc)(void (*)())GetProcAddressW(library, u"mtslen");
        ASSERT_TRUE(create && getSetDel && mtslen);
        owner = NewWindow();
    }

    // Create (icon 0) or update an icon as the monitor does, destroying the list right after.
    int Put(int seed, int icon = 0)
    {
        HIMAGELIST list = PatternList(seed);
        int result = icon ? getSetDel(owner, icon, UpdateRecord(list).bytes, 1)
                          : create(owner, CreateRecord(list).bytes, 2 * mtslen(menu), menu);
        ImageList_Destroy(list);
        return result;
    }
};

TEST_F(Halvaneh, IconKeepsImageAndMenuOfItsOwnThroughUpdatesWithoutLeaks)
{
    EXPECT_EQ(21, mtslen(menu));
    long liveIcons = LiveObjects(KindIcon);
    int icon = Put(1);
    ASSERT_GE(icon, 1);
    EXPECT_EQ(liveIcons + 1, LiveObjects(KindIcon));
    std::vector<HalvaneIconEntry> icons = HalvaneIcons();
    ASSERT_EQ(1u, icons.size());
    EXPECT_EQ(owner, icons[0].window);
    ASSERT_NE(nullptr, icons[0].image) << "the image must survive the destroyed list";
    EXPECT_EQ((std::vector<UINT>{1034, 0, 2}), icons[0].menuCommands);

    long lists = LiveObjects(KindImageList), bitmaps = LiveObjects(KindBitmap);
    for (int seed = 2; seed < 200; ++seed)
        ASSERT_EQ(0, Put(seed, icon)) << seed;
    EXPECT_EQ(liveIcons + 1, LiveObjects(KindIcon));
    EXPECT_EQ(lists, LiveObjects(KindImageList));
    EXPECT_EQ(bitmaps, LiveObjects(KindBitmap));

    int second = Put(2);
    EXPECT_NE(icon, second);
    EXPECT_EQ(0, getSetDel(owner, icon, nullptr, 2));
    EXPECT_EQ(liveIcons + 1, LiveObjects(KindIcon)) << "the deleted icon's copy is released";
}

} // namespace
