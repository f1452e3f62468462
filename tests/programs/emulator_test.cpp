// The emulator's command line, and whole runs with a stand-in monitor.
#include "app/monitor_state.h"
#include "platform/programs/emulator.h"
#include "platform/host/dialog_internal.h"
#include "platform/host/shell.h"
#include "platform/programs/programs.h"
#include "tests/support/res_reader.h"

#include <gtest/gtest.h>

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
    TemplateWriter templ(WS_POPUP | WS_VISIBLE, 0, 0, 160, 100, u"Performance Monitor");
    HWND dialog = CreateDialogIndirectParamW(instance, templ.Get(), nullptr, FakeDialogProc, 0);
    if (!dialog) return 99;
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data, data.hWnd = dialog, data.uID = 3000;
    Shell_NotifyIconW(NIM_ADD, &data);
    return RunMessages();
}

// The same stand-in, 300 ms late with its dialog; if no close comes by
// 5 s it gives up with 8 instead of running on for ever.
int SlowMonitor(HINSTANCE instance, LPWSTR commandLine)
{
    Sleep(300);
    SetTimer(nullptr, 0, 5000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(8); });
    return FakeMonitor(instance, commandLine);
}

class EmulatorRun : public ::testing::Test {
protected:
    void TearDown() override
    {
        ResetMonitorState();
        Config config;
        config.manualClock = true;
        ResetDevice(config);
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

TEST_F(EmulatorRun, ACloseBeforeTheDialogExistsWaitsForIt)
{
    EXPECT_EQ(7, Run({"--seconds", "0.1"}, SlowMonitor));
    EXPECT_GE(seen.closedAt, 300u);
    EXPECT_LE(seen.closedAt, 400u) << "asked again soon after the dialog came";
}

TEST_F(EmulatorRun, StandInsStartBeforeTheMonitor)
{
    EXPECT_EQ(7, Run({"--seconds", "1", "--alternate-taskbar", "--wexdock", "--hang-demo"}));
    EXPECT_EQ("HHTaskBar Halvane Wexdock HangDemo halvaneh", seen.present);
}

} // namespace
