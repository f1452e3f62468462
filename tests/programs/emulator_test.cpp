// The emulator: its command line, whole runs with a stand-in for the monitor
// (what starts before it, the timed close, its exit code), the load log.
#include "platform/host/kernel.h"
#include "platform/host/shell.h"
#include "platform/programs/emulator.h"
#include "load/load_meter.h"
#include "programs_fixture.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace dev;

namespace {

ParseResult Parse(std::vector<const char *> args, EmulatorOptions *options, std::string *error) {
    args.insert(args.begin(), "perfmon");
    return ParseEmulatorOptions((int)args.size(), args.data(), options, error);
}

TEST(EmulatorOptions, EveryOptionAndHelp) {
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
}

// Each bad command line fails with one line that names the option: the
// first argument, up to any '='.
TEST(EmulatorOptions, BadCommandLinesNameTheOption) {
    const std::vector<const char *> cases[] = {
        {"--frobnicate"}, {"--headless=yes"}, {"--screenshot"}, {"--seconds", "5s"}, {"--seconds", "1e12"},
        {"--tick-start", "4294967296"}, {"--os-version", "3"}, {"--os-version", "3.0.1"},
        {"--tap", "240,5@1"}, {"--tap", "5,5@"},
    };
    for (const std::vector<const char *> &args : cases) {
        std::string named = std::string(args[0]).substr(0, std::string(args[0]).find('='));
        std::string line = named + (args.size() > 1 ? std::string(" ") + args[1] : "");
        EmulatorOptions options;
        std::string error;
        EXPECT_EQ(ParseError, Parse(args, &options, &error)) << line;
        EXPECT_NE(std::string::npos, error.find(named)) << line << " gave: " << error;
        EXPECT_EQ(std::string::npos, error.find('\n')) << line << " gave: " << error;
    }
}

struct Seen {
    std::string present; // the stand-ins and the helper library there when the monitor starts
    uint64_t closedAt = 0; // device time of the WM_CLOSE; 0 while never closed
    std::vector<uint64_t> downs, ups; // device times of the stylus on the dialog
    std::vector<std::pair<std::string, int>> iconsAtClose; // owner's class and left edge, shell order
} seen; // written by the stand-in, read once the run has ended

std::string Narrow(const WCHAR *name) { return std::string(name, name + wcslen(name)); }

INT_PTR CALLBACK FakeDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP)
        (message == WM_LBUTTONDOWN ? seen.downs : seen.ups).push_back(Now());
    if (message != WM_CLOSE)
        return message == WM_INITDIALOG;
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

int RunMessages() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return (int)msg.wParam;
}

// The monitor's stand-in: notes which programs are already there, then a
// "Performance Monitor" dialog with an icon, that exits with 7 when closed.
int FakeMonitor(HINSTANCE instance, LPWSTR) {
    for (const char16_t *name : {u"HHTaskBar", u"Halvane", u"Wexdock", u"HangDemo"})
        if (FindWindowW(name, nullptr))
            seen.present += (seen.present.empty() ? "" : " ") + Narrow(name);
    if (HMODULE library = LoadLibraryW(u"halvaneh"))
        seen.present += FreeLibrary(library) ? " halvaneh" : " halvaneh?";
    HWND dialog = programs_test::CreateMonitorStandIn(instance, FakeDialogProc);
    if (!dialog)
        return 99;
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data, data.hWnd = dialog, data.uID = 3000;
    Shell_NotifyIconW(NIM_ADD, &data);
    return RunMessages();
}

class EmulatorRun : public ::testing::Test {
protected:
    void TearDown() override {
        ResetMonitorState();
        programs_test::ResetManual();
        UnregisterLibrary(u"halvaneh");
    }
    // A headless run on virtual time with these options; the exit code.
    int Run(std::vector<const char *> args, int (*monitor)(HINSTANCE, LPWSTR) = FakeMonitor) {
        seen = Seen();
        args.insert(args.begin(), {"perfmon", "--headless", "--virtual-time"});
        EmulatorOptions options;
        std::string error;
        EXPECT_EQ(ParseRun, ParseEmulatorOptions((int)args.size(), args.data(), &options, &error)) << error;
        return RunEmulator(options, monitor, nullptr, 0);
    }
};

TEST_F(EmulatorRun, TimedCloseGivesTheMonitorsExitCodeAfterTheAddedIcon) {
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

TEST_F(EmulatorRun, StandInsStartBeforeTheMonitor) {
    EXPECT_EQ(7, Run({"--seconds", "1", "--alternate-taskbar", "--wexdock", "--hang-demo"}));
    EXPECT_EQ("HHTaskBar Halvane Wexdock HangDemo halvaneh", seen.present);
}

// The load log's stand-in feeds the real estimator from a 1 ms timer and
// stops answering for 400 ms every 10 s, so the readings are not all alike.
const uint64_t pauseEveryMs = 10000;
const uint64_t pauseMs = 400; // longer than a sample period: a grid point always falls inside
uint64_t nextPauseAt;

INT_PTR CALLBACK LoadStandInProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        // As the monitor's dialog does: both baselines from one reading. No
        // mainDialog: the history keeps up without drawing a graph.
        monitorState.lastTimerTick = monitorState.nextSampleTick = GetTickCount();
        monitorState.history.nextIndex = 0;
        monitorState.idleGapSum = 450; // the starting floor on OS 3.0
        SetTimer(window, 1, 1, nullptr);
        return TRUE;
    case WM_TIMER:
        UpdateLoadEstimate();
        if (Now() >= nextPauseAt) {
            nextPauseAt += pauseEveryMs;
            Sleep((DWORD)pauseMs);
        }
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

int LoadStandIn(HINSTANCE instance, LPWSTR) {
    return programs_test::CreateMonitorStandIn(instance, LoadStandInProc) ? RunMessages() : 99;
}

// A grid point's sample is taken by the first arrival after it: the one
// that ends a pause at T + 400 takes the points from T on, and the readings
// stay above 90 for about 20 arrivals more while the long gap decays.
bool InPause(uint64_t ms) { return ms >= pauseEveryMs && ms % pauseEveryMs <= pauseMs + 20; }

TEST_F(EmulatorRun, LoadLogHasEverySampleOnItsGridPointInOrderEndingWithTheRing) {
    const char *path = PERFMON_BINARY_DIR "/loadlog_test.txt";
    std::remove(path);
    ResetMonitorState();
    std::fill(std::begin(monitorState.history.samples), std::end(monitorState.history.samples), 0xAA);
    nextPauseAt = pauseEveryMs;
    // 70 s: more than the ring's 200 samples, so the log crosses its wrap.
    EXPECT_EQ(0, Run({"--seconds", "70", "--log-load", path}, LoadStandIn));

    std::ifstream file(path);
    std::string line;
    ASSERT_TRUE(std::getline(file, line) && line[0] == '#') << "no log at " << path << " or header: " << line;
    std::vector<std::pair<uint64_t, int>> samples; // time, percent
    uint64_t ms;
    int percent;
    for (std::string rest; std::getline(file, line); samples.push_back({ms, percent})) {
        std::istringstream fields(line);
        ASSERT_TRUE(fields >> ms >> percent && !(fields >> rest)) << "line " << samples.size() + 2 << ": " << line;
    }

    // One sample per grid point from the dialog's start (device time 0) to
    // the close at 70 s, each high exactly when its grid point fell in a pause.
    ASSERT_EQ(70000u / SAMPLE_PERIOD_MS + 1, samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(i * SAMPLE_PERIOD_MS, samples[i].first) << "sample " << i;
        EXPECT_EQ(InPause(samples[i].first), samples[i].second >= 90)
            << "sample " << i << " at " << samples[i].first << " reads " << samples[i].second;
    }
    const LoadHistory &ring = monitorState.history;
    for (int k = 0; k < LOAD_HISTORY_SLOTS; ++k) {
        int slot = (ring.nextIndex + k) % LOAD_HISTORY_SLOTS;
        const auto &logged = samples[samples.size() - LOAD_HISTORY_SLOTS + k];
        EXPECT_EQ(ring.samples[slot], logged.second) << "ring slot " << slot << ", logged at " << logged.first;
    }
}

} // namespace
