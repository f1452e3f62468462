// A whole emulator run with a stand-in for the monitor: the programs that
// must exist before it starts, taps at their device time, the timed close
// through WM_CLOSE to the "Performance Monitor" dialog, the monitor's exit
// code, and what the run leaves behind (dump and screenshot).
#include "platform/programs/emulator.h"
#include "programs_fixture.h"

#include <cstdio>
#include <mutex>

using namespace dev;

namespace {

struct Seen {
    std::mutex lock;
    bool taskbar, halvane, wexdock, hangDemo, halvaneLibrary, closed;
    std::vector<std::pair<UINT, uint64_t>> taps; // message, device time
    uint64_t closedAt;
    std::vector<std::string> iconsAtClose; // class of each icon's owner, shell order
    std::vector<int> iconXAtClose;
} seen;

INT_PTR CALLBACK FakeDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message != WM_LBUTTONDOWN && message != WM_LBUTTONUP && message != WM_CLOSE)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(seen.lock);
        if (message != WM_CLOSE) {
            seen.taps.push_back({message, Now()});
            return TRUE;
        }
        seen.closed = true;
        seen.closedAt = Now();
        for (const NotifyIconEntry &entry : NotifyIcons()) {
            WCHAR name[32] = {0};
            GetClassNameW(entry.owner, name, 32);
            seen.iconsAtClose.push_back(std::string(name, name + wcslen(name)));
            seen.iconXAtClose.push_back(entry.slot.left);
        }
    }
    DestroyWindow(window);
    PostQuitMessage(7);
    return TRUE;
}

// The monitor's stand-in: notes which programs are already there, then a
// dialog titled "Performance Monitor" with an icon, that exits with 7 when
// closed.
int FakeMonitor(HINSTANCE instance, LPWSTR) {
    HMODULE library = LoadLibraryW(u"halvaneh");
    {
        std::lock_guard<std::mutex> lock(seen.lock);
        seen.taskbar = FindWindowW(u"HHTaskBar", nullptr) != nullptr;
        seen.halvane = FindWindowW(u"Halvane", nullptr) != nullptr;
        seen.wexdock = FindWindowW(u"Wexdock", nullptr) != nullptr;
        seen.hangDemo = FindWindowW(u"HangDemo", nullptr) != nullptr;
        seen.halvaneLibrary = library != nullptr;
    }
    if (library)
        FreeLibrary(library);
    HWND dialog = programs_test::CreateMonitorStandIn(instance, FakeDialogProc);
    if (!dialog)
        return 99;
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = dialog;
    data.uID = 3000;
    Shell_NotifyIconW(NIM_ADD, &data);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}

class EmulatorRun : public ::testing::Test {
protected:
    void TearDown() override {
        Config config;
        config.manualClock = true;
        ResetDevice(config);
        UnregisterLibrary(u"halvaneh");
    }
    // A headless run on virtual time with these options; the exit code.
    int Run(std::vector<const char *> args) {
        {
            std::lock_guard<std::mutex> lock(seen.lock);
            seen.taskbar = seen.halvane = seen.wexdock = seen.hangDemo = seen.halvaneLibrary = seen.closed = false;
            seen.closedAt = 0;
            seen.taps.clear();
            seen.iconsAtClose.clear();
            seen.iconXAtClose.clear();
        }
        args.insert(args.begin(), {"perfmon", "--headless", "--virtual-time"});
        EmulatorOptions options;
        std::string error;
        EXPECT_EQ(ParseRun, ParseEmulatorOptions((int)args.size(), args.data(), &options, &error)) << error;
        return RunEmulator(options, FakeMonitor, nullptr, 0);
    }
};

TEST_F(EmulatorRun, TimedCloseGivesTheMonitorsExitCodeAfterTapsIconDumpAndScreenshot) {
    const char *png = PERFMON_BINARY_DIR "/emulator_run_test.png";
    std::remove(png);
    testing::internal::CaptureStdout();
    int code = Run({"--seconds", "3", "--tap", "40,40@1", "--add-icon-before", "2", "--dump-windows",
                    "--screenshot", png});
    std::string dump = testing::internal::GetCapturedStdout();

    EXPECT_EQ(7, code);
    std::lock_guard<std::mutex> lock(seen.lock);
    EXPECT_TRUE(seen.taskbar) << "the shell comes first";
    EXPECT_FALSE(seen.halvane);
    EXPECT_FALSE(seen.halvaneLibrary) << "no helper library unless asked for";
    ASSERT_TRUE(seen.closed);
    EXPECT_EQ(3000u, seen.closedAt);
    ASSERT_EQ(2u, seen.taps.size());
    EXPECT_EQ((UINT)WM_LBUTTONDOWN, seen.taps[0].first);
    EXPECT_EQ(1000u, seen.taps[0].second);
    EXPECT_EQ((UINT)WM_LBUTTONUP, seen.taps[1].first);
    EXPECT_GT(seen.taps[1].second, 1000u);
    EXPECT_LT(seen.taps[1].second, 3000u);

    ASSERT_EQ(2u, seen.iconsAtClose.size());
    EXPECT_EQ("TrayGuest", seen.iconsAtClose[0]) << "the guest's icon stands next to the clock";
    EXPECT_EQ("Dialog", seen.iconsAtClose[1]);
    EXPECT_LT(seen.iconXAtClose[1], seen.iconXAtClose[0]);

    // The dump is taken before the close, so the dialog is in it.
    EXPECT_NE(std::string::npos, dump.find("Performance Monitor")) << dump;
    EXPECT_NE(std::string::npos, dump.find("HHTaskBar")) << dump;
    FILE *file = std::fopen(png, "rb");
    ASSERT_NE(nullptr, file);
    unsigned char signature[8] = {0};
    EXPECT_EQ(8u, std::fread(signature, 1, 8, file));
    std::fclose(file);
    EXPECT_EQ(0, memcmp(signature, "\x89PNG\r\n\x1a\n", 8));
}

TEST_F(EmulatorRun, StandInsStartBeforeTheMonitor) {
    EXPECT_EQ(7, Run({"--seconds", "1", "--alternate-taskbar", "--wexdock", "--hang-demo"}));
    std::lock_guard<std::mutex> lock(seen.lock);
    EXPECT_TRUE(seen.taskbar);
    EXPECT_TRUE(seen.halvane);
    EXPECT_TRUE(seen.halvaneLibrary);
    EXPECT_TRUE(seen.wexdock);
    EXPECT_TRUE(seen.hangDemo);
}

} // namespace
