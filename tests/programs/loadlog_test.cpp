// The load log of a whole emulator run. The monitor's stand-in feeds the
// real estimator and history from a 1 ms timer and stops answering for
// 400 ms every 10 s, so the readings are not all alike: the log must put
// each high reading on a grid point inside a pause, keep every sample in
// order across the ring's wrap, and end with the ring the monitor holds.
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

const uint64_t pauseEveryMs = 10000;
const uint64_t pauseMs = 400; // longer than a sample period: a grid point always falls inside
const UINT_PTR sampleTimer = 1;

uint64_t nextPauseAt;

INT_PTR CALLBACK StandInProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        // As the monitor's dialog does: both baselines from one reading. No
        // mainDialog: the history keeps up without drawing a graph.
        monitorState.lastTimerTick = monitorState.nextSampleTick = GetTickCount();
        monitorState.history.nextIndex = 0;
        monitorState.idleGapSum = 450; // the starting floor on OS 3.0
        SetTimer(window, sampleTimer, 1, nullptr);
        return TRUE;
    case WM_TIMER:
        UpdateLoadEstimate();
        if (Now() >= nextPauseAt) {
            nextPauseAt += pauseEveryMs;
            Sleep((DWORD)pauseMs);
        }
        return TRUE;
    case WM_CLOSE:
        KillTimer(window, sampleTimer);
        DestroyWindow(window);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

int StandInMonitor(HINSTANCE instance, LPWSTR) {
    if (!programs_test::CreateMonitorStandIn(instance, StandInProc))
        return 99;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return (int)msg.wParam;
}

struct LoggedSample {
    uint64_t ms;
    int percent;
};

// A grid point's sample is taken by the first arrival after it: the one
// that ends a pause at T + 400 takes the points from T on, and the readings
// stay above 90 for about 20 arrivals more while the long gap decays.
bool InPause(uint64_t ms) {
    return ms >= pauseEveryMs && ms % pauseEveryMs <= pauseMs + 20;
}

TEST(LoadLog, EverySampleOnItsGridPointInOrderEndingWithTheRing) {
    const char *path = PERFMON_BINARY_DIR "/loadlog_test.txt";
    // 70 s: more than the ring's 200 samples, so the log crosses its wrap.
    const char *argv[] = {"perfmon", "--headless", "--virtual-time", "--seconds", "70", "--log-load", path};
    EmulatorOptions options;
    std::string error;
    ASSERT_EQ(ParseRun, ParseEmulatorOptions(7, argv, &options, &error)) << error;
    ASSERT_EQ(path, options.loadLog);
    std::remove(path);
    ResetMonitorState();
    std::fill(std::begin(monitorState.history.samples), std::end(monitorState.history.samples), 0xAA);
    nextPauseAt = pauseEveryMs;

    EXPECT_EQ(0, RunEmulator(options, StandInMonitor, nullptr, 0));

    std::ifstream file(path);
    ASSERT_TRUE(file.good()) << "no log at " << path;
    std::string line;
    ASSERT_TRUE(std::getline(file, line));
    EXPECT_EQ('#', line.empty() ? 0 : line[0]) << "header: " << line;
    std::vector<LoggedSample> samples;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        LoggedSample sample{};
        std::string rest;
        ASSERT_TRUE(fields >> sample.ms >> sample.percent) << "line " << samples.size() + 2 << ": " << line;
        EXPECT_FALSE(fields >> rest) << "extra text on line " << samples.size() + 2 << ": " << line;
        samples.push_back(sample);
    }

    // One sample per grid point from the dialog's start (device time 0) to
    // the close at 70 s, each high exactly when its grid point fell in a pause.
    ASSERT_EQ(70000u / SAMPLE_PERIOD_MS + 1, samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(i * SAMPLE_PERIOD_MS, samples[i].ms) << "sample " << i;
        EXPECT_EQ(InPause(samples[i].ms), samples[i].percent >= 90)
            << "sample " << i << " at " << samples[i].ms << " reads " << samples[i].percent;
    }

    const LoadHistory &ring = monitorState.history;
    for (int k = 0; k < LOAD_HISTORY_SLOTS; ++k) {
        int slot = (ring.nextIndex + k) % LOAD_HISTORY_SLOTS;
        const LoggedSample &logged = samples[samples.size() - LOAD_HISTORY_SLOTS + k];
        EXPECT_EQ(ring.samples[slot], logged.percent) << "ring slot " << slot << ", logged at " << logged.ms;
    }
    ResetMonitorState();
    Config manual;
    manual.manualClock = true;
    ResetDevice(manual);
}

} // namespace
