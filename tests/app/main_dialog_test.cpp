// The entry and the main dialog: the single-instance rule, help, the modal
// Thread Times, the version classes, hiding and showing, the placeholder,
// the close box, the close sequence and its exit code.

#include "app/main_dialog.h"
#include "app/resource.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using support::Narrow;

namespace {

// ------------------------------------------------------- whole program

class MonitorProgram : public support::DeviceTest {};

// One run: Help, a second copy, the modal Thread Times with the timers
// running behind it, and Cancel closing the same way as the close box:
// window and icon gone, exit 0.
TEST_F(MonitorProgram, ShowsHelpThreadTimesAndASecondCopyAndCancelClosesWithZero)
{
    ASSERT_NO_FATAL_FAILURE(Boot());
    ASSERT_NE(StartMonitor(), 0u);
    HWND dialog = FindMonitorDialog();
    EXPECT_TRUE(IsWindowVisible(dialog));
    WCHAR text[64] = {0};

    // Help puts another program's window in front first.
    PostMessageW(dialog, WM_COMMAND, IDC_HELP, 0);
    dev::Settle();
    HWND help = FindWindowW(nullptr, u"Help");
    ASSERT_NE(help, nullptr);
    ASSERT_NE(GetForegroundWindow(), dialog) << "the help viewer came up in front";
    DWORD viewer = 0;
    GetWindowThreadProcessId(help, &viewer);
    EXPECT_EQ(Narrow(dev::ProcessPath(viewer)), "\\Windows\\PegHelp.exe");
    // A second copy brings the first forward and ends with 0.
    DWORD second = dev::StartProgram(u"perfmon.exe", u"");
    ASSERT_NE(second, 0u);
    int code = -1;
    ASSERT_TRUE(dev::WaitProgram(second, &code, 5000));
    EXPECT_EQ(code, 0);
    dev::Settle();
    EXPECT_EQ(GetForegroundWindow(), dialog);

    PostMessageW(dialog, WM_COMMAND, IDC_THREADS, 0);
    dev::Settle();
    HWND threads = FindWindowW(DEVICE_DIALOG_CLASS, u"Thread Times");
    ASSERT_NE(threads, nullptr);
    EXPECT_EQ(GetWindow(threads, GW_OWNER), dialog);
    dev::SetMemorySource([] { return dev::MemoryFigures{64ull << 20, 63ull << 20}; });
    int index = monitorState.history.nextIndex;
    dev::AdvanceClock(1500);
    GetDlgItemTextW(dialog, IDC_MEMORY_TEXT, text, 64);
    EXPECT_EQ(Narrow(text), "1,048,576\\r\\n3,145,728") << "memory readout behind the modal dialog";
    EXPECT_NE(monitorState.history.nextIndex, index) << "load samples behind the modal dialog";
    PostMessageW(threads, WM_CLOSE, 0, 0);
    dev::Settle();

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    dev::Settle();
    ASSERT_TRUE(dev::WaitProgram(monitorProcess, &code, 5000));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(FindMonitorDialog(), nullptr);
    for (const dev::NotifyIconEntry &icon : dev::NotifyIcons())
        EXPECT_NE(icon.owner, dialog) << "the icon stayed on the taskbar";
}

// The caption close box under the stylus, both timers running: held past
// both periods and lifted off the box, then pressed and lifted over it.
TEST_F(MonitorProgram, CloseBoxClosesOnALiftOverItAndASlideOffCancels)
{
    ASSERT_NO_FATAL_FAILURE(Boot());
    ASSERT_NE(StartMonitor(), 0u);
    HWND dialog = FindMonitorDialog();
    RECT frame;
    GetWindowRect(dialog, &frame);
    POINT box = {frame.right - 13, frame.top + 10};

    // Held for longer than both timer periods, then lifted off the box.
    dev::Tap(box.x, box.y, true);
    dev::AdvanceClock(1200);
    dev::Tap(box.x - 80, box.y + 60, false);
    dev::AdvanceClock(10);
    ASSERT_TRUE(IsWindow(dialog)) << "a lift off the box closed the dialog";
    // The timers that waited during the press run again.
    int index = monitorState.history.nextIndex;
    dev::AdvanceClock(700);
    EXPECT_NE(monitorState.history.nextIndex, index) << "no load sample after the cancelled press";

    dev::Tap(box.x, box.y, true);
    dev::AdvanceClock(50);
    dev::Tap(box.x, box.y, false);
    int code = -1;
    ASSERT_TRUE(dev::WaitProgram(monitorProcess, &code, 5000)) << "the lift over the box did not close";
    EXPECT_EQ(code, 0);
    for (const dev::NotifyIconEntry &icon : dev::NotifyIcons())
        EXPECT_NE(icon.owner, dialog) << "the icon stayed on the taskbar";
}

// Without its dialog template the program cannot run: it must end at once
// with a failure code instead of waiting for a quit that never comes.
int ProgramWithoutResources(HINSTANCE instance, LPWSTR)
{
    WCHAR empty[1] = {0};
    return WinMain(instance, nullptr, empty, SW_SHOW);
}

TEST_F(MonitorProgram, WithoutItsDialogItEndsAtOnceWithAFailure)
{
    ASSERT_NO_FATAL_FAILURE(Boot());
    dev::RegisterProgram(u"bare.exe", u"\\Windows\\bare.exe", ProgramWithoutResources);
    DWORD process = dev::StartProgram(u"bare.exe", u"");
    ASSERT_NE(process, 0u);
    int code = 0;
    ASSERT_TRUE(dev::WaitProgram(process, &code, 5000)) << "still waiting for a quit message";
    EXPECT_NE(code, 0);
}

// The close sequence, seen from the helper library: the window is already
// gone when the icon is deleted.
int deletedIcon;
bool windowAliveAtDelete;

int WINAPI FakeCreate(HWND, void *, int, const WCHAR *)
{
    return 7;
}
int WINAPI FakeGetSetDel(HWND window, int icon, void *, int operation)
{
    if (operation == 2) {
        deletedIcon = icon;
        windowAliveAtDelete = IsWindow(window);
    }
    return 0;
}
int WINAPI FakeMtslen(const WCHAR *)
{
    return 21;
}

TEST_F(MonitorProgram, ClosingDestroysTheWindowBeforeTheIconGoes)
{
    support::DeviceSetup setup;
    setup.alternateTaskbar = true;
    ASSERT_NO_FATAL_FAILURE(Boot(setup));
    dev::RegisterLibrary(u"halvaneh", {{u"WDTICreateTransientIcon", (FARPROC)(void *)FakeCreate},
                                       {u"WDTIGetSetDelIcon", (FARPROC)(void *)FakeGetSetDel},
                                       {u"mtslen", (FARPROC)(void *)FakeMtslen}});
    deletedIcon = 0;
    windowAliveAtDelete = true;
    ASSERT_NE(StartMonitor(), 0u);
    EXPECT_EQ(monitorState.alternateTaskbar, 1);
    EXPECT_EQ(CloseMonitor(), 0);
    EXPECT_EQ(deletedIcon, 7) << "the icon was not deleted, or another one";
    EXPECT_FALSE(windowAliveAtDelete);
}

// ------------------------------------------- the test thread as the monitor

class MainDialog : public support::DeviceTest {
protected:
    void Open(uint32_t major = 3, uint32_t minor = 0)
    {
        support::DeviceSetup setup;
        setup.osMajor = major;
        setup.osMinor = minor;
        ASSERT_NO_FATAL_FAILURE(Boot(setup));
        ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
        dialog = CreateMonitorDialog();
        ASSERT_NE(dialog, nullptr);
    }

    HWND dialog = nullptr;
};

TEST_F(MainDialog, VersionClassesSetTheFloorAndTheThreadsButton)
{
    const struct {
        uint32_t major, minor;
        int osClass;
        DWORD floor;
        bool threadsEnabled;
    } cases[] = {{2, 10, OS_CLASS_OLDER, 140, false},
                 {2, 11, OS_CLASS_2_11, 900, true},
                 {2, 12, OS_CLASS_OLDER, 140, false},
                 {3, 0, OS_CLASS_3_0, 450, true},
                 {5, 1, OS_CLASS_3_0, 450, true}};
    for (const auto &c : cases) {
        ASSERT_NO_FATAL_FAILURE(Open(c.major, c.minor));
        std::string version = std::to_string(c.major) + "." + std::to_string(c.minor);
        EXPECT_EQ(CheckOsVersion(), c.osClass) << version;
        EXPECT_EQ(monitorState.idleGapSum, c.floor) << version;
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, IDC_THREADS)) != 0, c.threadsEnabled) << version;
        TearDown();
    }
}

// Commands and timers it does not know (OK from the keyboard among them)
// are taken and change nothing: the dialog stays, nothing is posted.
TEST_F(MainDialog, UnlistedCommandsAndTimersDoNothing)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    auto state = [] {
        return std::vector<uint8_t>((const uint8_t *)&monitorState, (const uint8_t *)(&monitorState + 1));
    };
    for (UINT message : {(UINT)WM_COMMAND, (UINT)WM_TIMER}) {
        for (WPARAM id : {(WPARAM)IDOK, (WPARAM)1003, (WPARAM)ID_TRAY_ICON + 1, (WPARAM)0xFFFF}) {
            Pump();
            std::vector<uint8_t> before = state();
            EXPECT_EQ(MainDialogProc(dialog, message, id, 0), 1) << message << " " << id;
            MSG queued;
            EXPECT_FALSE(PeekMessageW(&queued, nullptr, WM_USER, 0xFFFF, PM_NOREMOVE) ||
                         PeekMessageW(&queued, nullptr, WM_QUIT, WM_COMMAND, PM_NOREMOVE))
                << "posted something for " << message << " " << id;
            EXPECT_TRUE(state() == before) << "state changed by " << message << " " << id;
            EXPECT_TRUE(IsWindowVisible(dialog) && GetForegroundWindow() == dialog) << message << " " << id;
        }
    }
}

// Hide flips the window; a tap on the icon (its button going down, not up)
// and a plain activation show it.
TEST_F(MainDialog, HideTrayTapAndActivationShowOrHideTheWindow)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool shownBefore, shownAfter;
    } cases[] = {
        {WM_COMMAND, IDC_HIDE, 0, true, false},
        {WM_COMMAND, IDC_HIDE, 0, false, true},
        {WM_COMMAND, ID_TRAY_ICON, WM_LBUTTONUP, false, false},
        {WM_COMMAND, ID_TRAY_ICON, WM_LBUTTONDOWN, false, true},
        {WM_COMMAND, ID_TRAY_ICON, WM_LBUTTONDOWN, true, true},
        {WM_ACTIVATE, WA_CLICKACTIVE, 0, false, false},
        {WM_ACTIVATE, WA_INACTIVE, 0, false, false},
        {WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 1), 0, false, false},
        {WM_ACTIVATE, WA_ACTIVE, 0, false, true},
        {WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0, false, true},
    };
    for (auto c : cases) {
        ShowWindow(dialog, c.shownBefore ? SW_SHOW : SW_HIDE);
        if (c.shownBefore) SetForegroundWindow(dialog);
        Pump();
        EXPECT_EQ(MainDialogProc(dialog, c.message, c.wParam, c.lParam), 1);
        Pump();
        std::string what = std::to_string(c.message) + " " + std::to_string(c.wParam) + " " + std::to_string(c.lParam) +
                           (c.shownBefore ? " when shown" : " when hidden");
        EXPECT_EQ(IsWindowVisible(dialog) != 0, c.shownAfter) << what;
        // Activation's own effect on the foreground is not the dialog's doing.
        if (c.message == WM_COMMAND) {
            EXPECT_EQ(GetForegroundWindow() == dialog, c.shownAfter) << what;
        }
    }
}

TEST_F(MainDialog, ThePlaceholderIsNeverOnScreen)
{
    // Watch the text at the moment the window is first shown.
    static std::string textWhenShown;
    textWhenShown = "never shown";
    DLGPROC spy = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_SHOWWINDOW && wParam && textWhenShown == "never shown") {
            WCHAR text[64] = {0};
            GetDlgItemTextW(window, IDC_MEMORY_TEXT, text, 64);
            textWhenShown = Narrow(text);
        }
        return MainDialogProc(window, message, wParam, lParam);
    };
    ASSERT_NO_FATAL_FAILURE(Boot());
    ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
    HRSRC resource = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
    HWND window = CreateDialogIndirectParamW(
        monitorState.instance, (LPCDLGTEMPLATEW)LockResource(LoadResource(monitorState.instance, resource)), nullptr,
        spy, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(textWhenShown, "12,582,912\\r\\n3,145,728");
}

} // namespace
