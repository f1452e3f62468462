// The hung-window watchdog: the once-a-second age check, the report's text,
// and the whole chain on the device with a thread that really stops
// answering, a manual clock and a user pressing OK.
#include "app/monitor_state.h"
#include "app/resource.h"
#include "platform/host/kernel.h"
#include "platform/programs/programs.h"
#include "tests/support/device_fixture.h"
#include "tests/support/wait_until.h"
#include "watchdog/watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

using support::WaitUntil;

const char16_t kTitle[] = u"Dead Window!";

std::u16string Message(const std::u16string &className, const std::u16string &program)
{
    return u"Whoops! One of the windows in the system seems to have become unresponsive. The window belongs to the " +
           className + u" class, and was created by the " + program + u" program.";
}

HWND FindReport()
{
    std::lock_guard<std::recursive_mutex> lock(dev::BigLock());
    HWND box = FindWindowW(DEVICE_DIALOG_CLASS, kTitle);
    return box && IsWindowVisible(box) ? box : nullptr;
}

std::u16string ReportText(HWND box)
{
    WCHAR text[600];
    text[0] = 0;
    HWND label = GetWindow(box, GW_CHILD);
    DefWindowProcW(label, WM_GETTEXT, 600, (LPARAM)text);
    return text;
}

// A popup of a class of its own, on the calling thread.
HWND NewWindow(const char16_t *className, WNDPROC proc = DefWindowProcW, const char16_t *title = u"")
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = proc;
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, className, title, WS_POPUP, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
}

// ------------------------------------------------------------ the check

class Watchdog : public support::DeviceTest {};

// A stall older than one second and not yet reported is reported, also
// across the tick count's wrap.
TEST_F(Watchdog, CheckReportsAStallOlderThanOneSecondOnce)
{
    const struct {
        const char *name;
        DWORD tickStart, elapsed; // device time before the check
        DWORD heartbeat, acknowledged;
        bool report;
    } cases[] = {{"fresh", 5000, 0, 5000, 0, false},
                 {"999 ms", 5000, 0, 4001, 0, false},
                 {"exactly 1000 ms", 5000, 0, 4000, 0, false},
                 {"1001 ms", 5000, 0, 3999, 0, true},
                 {"already reported", 5000, 0, 3999, 3999, false},
                 {"an older hang was reported", 5000, 0, 3999, 2000, true},
                 {"before the first heartbeat", 3000000, 5000, 0, 0, false},
                 // The tick count wraps to 0x200 at the check.
                 {"1024 ms across the wrap", 0xFFFFFF00u, 0x300, 0xFFFFFE00u, 0, true},
                 {"1000 ms across the wrap", 0xFFFFFF00u, 0x300, 0xFFFFFE18u, 0, false},
                 {"1001 ms across the wrap", 0xFFFFFF00u, 0x300, 0xFFFFFE17u, 0, true},
                 {"528 ms across the wrap", 0xFFFFFF00u, 0x300, 0xFFFFFFF0u, 0, false}};
    for (const auto &c : cases) {
        support::DeviceSetup setup;
        setup.tickStart = c.tickStart;
        setup.shell = false;
        ASSERT_NO_FATAL_FAILURE(Boot(setup));
        ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
        HWND dialog = NewWindow(u"CheckOwner");
        dev::AdvanceClock(c.elapsed);
        monitorState.heartbeatTick = c.heartbeat;
        monitorState.acknowledgedTick = c.acknowledged;

        EXPECT_EQ(CheckHeartbeat(dialog), 1) << c.name;
        int reports = 0;
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
            reports += message.message == WM_COMMAND && message.hwnd == dialog &&
                       message.wParam == (WPARAM)IDM_DEAD_WINDOW && message.lParam == 0;
        EXPECT_EQ(reports, c.report ? 1 : 0) << c.name << ": now " << GetTickCount() << ", heartbeat " << c.heartbeat;
        EXPECT_EQ(monitorState.acknowledgedTick, c.acknowledged) << c.name << ": the check never acknowledges";
        TearDown();
    }
}

// ------------------------------------------------------------ the report

// A program whose one window has the class it is given.
std::u16string targetClass;
int TargetMain(HINSTANCE, LPWSTR)
{
    NewWindow(targetClass.c_str(), DefWindowProcW, u"target");
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

// The class and the program are named literally, however long or odd; a
// window gone before the report leaves both names empty.
TEST_F(Watchdog, ReportNamesClassAndProgramLiterally)
{
    const struct {
        const char *name;
        std::u16string className, programPath;
        bool vanished; // the window is gone before the report is built
    } cases[] = {{"longest names", std::u16string(63, u'C'), u"\\" + std::u16string(254, u'p') + u".exe", false},
                 {"format directives", u"Evil%s%n%ls%d", u"\\Windows\\%s%n.exe", false},
                 {"window gone", u"Gone", u"\\Windows\\gone.exe", true}};
    for (const auto &c : cases) {
        ASSERT_NO_FATAL_FAILURE(Boot());
        targetClass = c.className;
        dev::RegisterProgram(u"target.exe", c.programPath, TargetMain);
        ASSERT_NE(dev::StartProgram(u"target.exe", u""), 0u);
        HWND target = NULL;
        ASSERT_TRUE(WaitUntil([&] { return (target = FindWindowW(c.className.c_str(), NULL)) != NULL; }));
        if (c.vanished) {
            PostMessageW(target, WM_CLOSE, 0, 0);
            ASSERT_TRUE(WaitUntil([&] { return !IsWindow(target); }));
        }

        // The monitor's side on a device thread of its own: the box is modal.
        std::atomic<bool> done{false};
        std::atomic<HWND> dialog{NULL};
        dev::StartDeviceThread(0, [&] {
            monitorState.mainDialog = NewWindow(u"ReportOwner", DefWindowProcW, u"Performance Monitor");
            dialog = monitorState.mainDialog;
            monitorState.watchedWindow = target;
            ReportDeadWindow();
            done = true;
        });
        HWND box = NULL;
        ASSERT_TRUE(WaitUntil([&] { return (box = FindReport()) != NULL; })) << c.name;
        EXPECT_EQ(GetWindow(box, GW_OWNER), dialog.load());
        std::u16string expected = c.vanished ? Message(u"", u"") : Message(c.className, c.programPath);
        EXPECT_EQ(ReportText(box), expected) << c.name;
        EXPECT_FALSE(done) << "the report returned before it was dismissed";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
        TearDown();
    }
}

// ------------------------------------------------------------ the whole chain

// A window whose thread sleeps for wParam milliseconds when told to.
LRESULT CALLBACK StuckProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER) Sleep((DWORD)wParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

class WatchdogChain : public support::DeviceTest {
protected:
    void SetUp() override
    {
        Boot();
        ASSERT_NE(dev::StartHangDemo(), 0u);
        ASSERT_NE(StartMonitor(), 0u);
        dialog = FindMonitorDialog();
        ASSERT_NE(dialog, nullptr);
        demo = dev::HangDemoWindow();
        ASSERT_NE(demo, nullptr);
        DWORD process = 0;
        GetWindowThreadProcessId(demo, &process);
        demoPath = dev::ProcessPath(process);
        // A couple of passes over every window.
        Step(3000, 100);
    }

    // Move the clock in steps, counting the reports that appear; each one is
    // noted with the tick it appeared at and dismissed when `press` is set.
    void Step(DWORD total, DWORD step, bool press = true)
    {
        for (DWORD done = 0; done < total; done += step) {
            dev::AdvanceClock(step);
            dev::Settle();
            HWND box = FindReport();
            if (box && box != openBox)
                reports.push_back({GetTickCount(), ReportText(openBox = box), GetWindow(box, GW_OWNER)});
            if (box && press) {
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                dev::Settle();
            }
            if (!box) openBox = NULL;
        }
    }

    // Freeze the demo and wait, in 10 ms steps, for the watchdog to ask it:
    // the heartbeat of that request.
    DWORD FreezeDemoAndFindItsHeartbeat()
    {
        EXPECT_TRUE(dev::FreezeHangDemo());
        dev::Settle();
        for (int i = 0; i < 1000; i++) {
            if (monitorState.watchedWindow == demo) return monitorState.heartbeatTick;
            Step(10, 10);
        }
        ADD_FAILURE() << "the watchdog never asked the demo window";
        return 0;
    }

    HWND dialog = NULL;
    HWND demo = NULL;
    std::u16string demoPath;
    HWND openBox = NULL;
    struct Seen {
        DWORD tick;
        std::u16string text;
        HWND owner;
    };
    std::vector<Seen> reports;
};

// A hang is reported once however long it lasts; the next hang gets a
// report of its own, also while the monitor is hidden.
TEST_F(WatchdogChain, EachHangIsReportedWithinTwoSecondsOnce)
{
    EXPECT_EQ(reports.size(), 0u) << "a report while every window answered";
    DWORD heartbeat = FreezeDemoAndFindItsHeartbeat();
    Step(2500, 10);
    ASSERT_EQ(reports.size(), 1u);
    DWORD age = reports[0].tick - heartbeat;
    EXPECT_GT(age, 1000u);
    EXPECT_LE(age, 2000u);
    EXPECT_EQ(reports[0].text, Message(u"HangDemo", demoPath));
    EXPECT_EQ(reports[0].owner, dialog);

    // The rest of the ten seconds and a good while after: no second report.
    Step(20000, 100);
    EXPECT_EQ(reports.size(), 1u);

    std::atomic<HWND> stuck{NULL};
    dev::StartDeviceThread(0, [&stuck] {
        stuck = NewWindow(u"StuckWindow", StuckProc);
        MSG message;
        while (GetMessageW(&message, NULL, 0, 0) > 0)
            DispatchMessageW(&message);
    });
    ASSERT_TRUE(WaitUntil([&] { return stuck.load() != NULL; }));
    PostMessageW(stuck, WM_USER, 60000, 0);
    Step(65000, 100);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].text, Message(u"StuckWindow", u"\\Windows\\test.exe"));
    DWORD before = monitorState.heartbeatTick;
    Step(1000, 100);
    EXPECT_NE(monitorState.heartbeatTick, before) << "the watchdog stopped";

    // Hidden, the monitor still reports, and it samples on behind the open box.
    PostMessageW(dialog, WM_COMMAND, IDC_HIDE, 0);
    Step(200, 100);
    ASSERT_FALSE(IsWindowVisible(dialog));
    FreezeDemoAndFindItsHeartbeat();
    Step(2500, 10, false);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[2].owner, dialog);
    int index = monitorState.history.nextIndex;
    Step(3000, 100, false);
    EXPECT_NE(monitorState.history.nextIndex, index) << "sampling stopped behind the report";
    EXPECT_EQ(reports.size(), 3u);
    PostMessageW(openBox, WM_COMMAND, IDOK, 0);
    Step(1000, 100);
    EXPECT_EQ(FindReport(), nullptr);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(dev::ProgramRunning(monitorProcess));
}

} // namespace
