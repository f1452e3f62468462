// A whole emulator run with a stand-in for the monitor: the programs that
// must exist before it starts, taps at their device time, the timed close
// through WM_CLOSE to the "Performance Monitor" dialog, the monitor's exit
// code, and what the run leaves behind (dump and screenshot).
#include "platform/programs/emulator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <vector>

using namespace dev;

namespace {

struct Seen {
    std::mutex lock;
    bool taskbar = false, halvane = false, wexdock = false, hangDemo = false;
    bool halvaneLibrary = false;
    std::vector<std::pair<UINT, uint64_t>> taps; // message, device time
    uint64_t closedAt = 0;
    bool closed = false;
    std::vector<std::string> iconsAtClose; // class of each icon's owner, shell order
    std::vector<int> iconXAtClose;
} seen;

INT_PTR CALLBACK FakeDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        std::lock_guard<std::mutex> lock(seen.lock);
        seen.taps.push_back({message, Now()});
        return TRUE;
    }
    case WM_CLOSE: {
        {
            std::lock_guard<std::mutex> lock(seen.lock);
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
    }
    return FALSE;
}

// The monitor's stand-in: a dialog titled "Performance Monitor" at the top
// of the screen that exits with 7 when closed.
int FakeMonitor(HINSTANCE instance, LPWSTR) {
    {
        std::lock_guard<std::mutex> lock(seen.lock);
        seen.taskbar = FindWindowW(u"HHTaskBar", nullptr) != nullptr;
        seen.halvane = FindWindowW(u"Halvane", nullptr) != nullptr;
        seen.wexdock = FindWindowW(u"Wexdock", nullptr) != nullptr;
        seen.hangDemo = FindWindowW(u"HangDemo", nullptr) != nullptr;
    }
    HMODULE library = LoadLibraryW(u"halvaneh");
    {
        std::lock_guard<std::mutex> lock(seen.lock);
        seen.halvaneLibrary = library != nullptr;
    }
    if (library)
        FreeLibrary(library);
    // A standard template: no items, no menu, the default class, the title.
    alignas(4) WORD templ[64] = {0};
    DLGTEMPLATE *header = (DLGTEMPLATE *)templ;
    header->style = WS_POPUP | WS_VISIBLE;
    header->cdit = 0;
    header->x = 0;
    header->y = 0;
    header->cx = 160;
    header->cy = 100;
    WORD *tail = templ + sizeof(DLGTEMPLATE) / 2;
    *tail++ = 0; // menu
    *tail++ = 0; // class
    for (const WCHAR *t = u"Performance Monitor"; *t; ++t)
        *tail++ = *t;
    *tail++ = 0;
    HWND dialog = CreateDialogIndirectParamW(instance, (LPCDLGTEMPLATEW)templ, nullptr, FakeDialogProc, 0);
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
    void SetUp() override {
        std::lock_guard<std::mutex> lock(seen.lock);
        seen.taskbar = seen.halvane = seen.wexdock = seen.hangDemo = seen.halvaneLibrary = false;
        seen.taps.clear();
        seen.iconsAtClose.clear();
        seen.iconXAtClose.clear();
        seen.closed = false;
        seen.closedAt = 0;
    }
    void TearDown() override {
        Config config;
        config.manualClock = true;
        ResetDevice(config);
        UnregisterLibrary(u"halvaneh");
    }
};

TEST_F(EmulatorRun, TimedCloseEndsTheRunWithTheMonitorsExitCode) {
    const char *argv[] = {"perfmon", "--headless", "--virtual-time", "--seconds", "3", "--tap", "40,40@1",
                          "--dump-windows", "--screenshot", PERFMON_BINARY_DIR "/emulator_run_test.png"};
    EmulatorOptions options;
    std::string error;
    ASSERT_EQ(ParseRun, ParseEmulatorOptions(10, argv, &options, &error)) << error;
    std::remove(PERFMON_BINARY_DIR "/emulator_run_test.png");

    testing::internal::CaptureStdout();
    int code = RunEmulator(options, FakeMonitor, nullptr, 0);
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

    // The dump is taken before the close, so the dialog is in it.
    EXPECT_NE(std::string::npos, dump.find("Performance Monitor")) << dump;
    EXPECT_NE(std::string::npos, dump.find("HHTaskBar")) << dump;
    FILE *png = std::fopen(PERFMON_BINARY_DIR "/emulator_run_test.png", "rb");
    ASSERT_NE(nullptr, png);
    unsigned char signature[8] = {0};
    EXPECT_EQ(8u, std::fread(signature, 1, 8, png));
    std::fclose(png);
    EXPECT_EQ(0x89, signature[0]);
    EXPECT_EQ('P', signature[1]);
}

TEST_F(EmulatorRun, StandInsStartBeforeTheMonitor) {
    const char *argv[] = {"perfmon", "--headless", "--virtual-time", "--seconds", "1", "--alternate-taskbar",
                          "--wexdock", "--hang-demo"};
    EmulatorOptions options;
    std::string error;
    ASSERT_EQ(ParseRun, ParseEmulatorOptions(8, argv, &options, &error)) << error;
    EXPECT_EQ(7, RunEmulator(options, FakeMonitor, nullptr, 0));
    std::lock_guard<std::mutex> lock(seen.lock);
    EXPECT_TRUE(seen.taskbar);
    EXPECT_TRUE(seen.halvane);
    EXPECT_TRUE(seen.halvaneLibrary);
    EXPECT_TRUE(seen.wexdock);
    EXPECT_TRUE(seen.hangDemo);
}

TEST_F(EmulatorRun, AddedIconStandsBeforeTheMonitors) {
    const char *argv[] = {"perfmon", "--headless", "--virtual-time", "--seconds", "2", "--add-icon-before", "1"};
    EmulatorOptions options;
    std::string error;
    ASSERT_EQ(ParseRun, ParseEmulatorOptions(7, argv, &options, &error)) << error;
    EXPECT_EQ(7, RunEmulator(options, FakeMonitor, nullptr, 0));
    std::lock_guard<std::mutex> lock(seen.lock);
    ASSERT_EQ(2u, seen.iconsAtClose.size());
    EXPECT_EQ("TrayGuest", seen.iconsAtClose[0]) << "the guest's icon stands next to the clock";
    EXPECT_EQ("Dialog", seen.iconsAtClose[1]);
    EXPECT_LT(seen.iconXAtClose[1], seen.iconXAtClose[0]);
}

} // namespace
