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
    std::string present; // the stand-ins and the helper library there when the monitor starts
    uint64_t closedAt = 0; // device time of the WM_CLOSE; 0 while never closed
    std::vector<std::pair<UINT, uint64_t>> taps; // message, device time
    std::vector<std::pair<std::string, int>> iconsAtClose; // owner's class and left edge, shell order
} seen;
std::mutex seenLock;

INT_PTR CALLBACK FakeDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message != WM_LBUTTONDOWN && message != WM_LBUTTONUP && message != WM_CLOSE)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(seenLock);
        if (message != WM_CLOSE) {
            seen.taps.push_back({message, Now()});
            return TRUE;
        }
        seen.closedAt = Now();
        for (const NotifyIconEntry &entry : NotifyIcons()) {
            WCHAR name[32] = {0};
            GetClassNameW(entry.owner, name, 32);
            seen.iconsAtClose.push_back({std::string(name, name + wcslen(name)), (int)entry.slot.left});
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
    std::string present;
    for (const char16_t *name : {u"HHTaskBar", u"Halvane", u"Wexdock", u"HangDemo"})
        if (FindWindowW(name, nullptr))
            present += std::string(present.empty() ? "" : " ") + std::string(name, name + wcslen(name));
    if (HMODULE library = LoadLibraryW(u"halvaneh")) {
        present += " halvaneh";
        FreeLibrary(library);
    }
    {
        std::lock_guard<std::mutex> lock(seenLock);
        seen.present = present;
    }
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
            std::lock_guard<std::mutex> lock(seenLock);
            seen = Seen();
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
    std::lock_guard<std::mutex> lock(seenLock);
    EXPECT_EQ("HHTaskBar", seen.present) << "the shell comes first; no helper library unless asked for";
    EXPECT_EQ(3000u, seen.closedAt);
    ASSERT_EQ(2u, seen.taps.size());
    EXPECT_EQ((UINT)WM_LBUTTONDOWN, seen.taps[0].first);
    EXPECT_EQ(1000u, seen.taps[0].second);
    EXPECT_EQ((UINT)WM_LBUTTONUP, seen.taps[1].first);
    EXPECT_GT(seen.taps[1].second, 1000u);
    EXPECT_LT(seen.taps[1].second, 3000u);

    ASSERT_EQ(2u, seen.iconsAtClose.size());
    EXPECT_EQ("TrayGuest", seen.iconsAtClose[0].first) << "the guest's icon stands next to the clock";
    EXPECT_EQ("Dialog", seen.iconsAtClose[1].first);
    EXPECT_LT(seen.iconsAtClose[1].second, seen.iconsAtClose[0].second);

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
    std::lock_guard<std::mutex> lock(seenLock);
    EXPECT_EQ("HHTaskBar Halvane Wexdock HangDemo halvaneh", seen.present);
}

} // namespace
