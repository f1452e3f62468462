// One run of the device with the monitor in it: configure, start the shell
// and the stand-ins, start the monitor, drive the scripted taps and the
// timed close, and wait for the monitor's process to end.
#include "emulator.h"
#include "programs.h"
#include "../host/kernel.h"
#include "../host/user.h"
#include "../host/screen.h"

#include <atomic>
#include <csignal>
#include <cstdio>

namespace dev {

namespace {

const char16_t monitorImage[] = u"perfmon.exe";
const char16_t monitorPath[] = u"\\Windows\\perfmon.exe";
// A stylus press lasts a moment; buttons act on the release.
const uint64_t tapHoldMs = 50;

volatile std::sig_atomic_t closeSignals = 0;

void OnCloseSignal(int) { closeSignals = closeSignals + 1; }

struct RunState {
    const EmulatorOptions *options = nullptr;
    bool captured = false;
    std::atomic<bool> closePending{false};
};
RunState run;

// What the run shows at its end: the screenshot and the window dump, taken
// while the monitor is still on screen.
void CaptureEnd() {
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    if (run.captured)
        return;
    run.captured = true;
    if (!run.options->screenshot.empty() && !WriteScreenPng(run.options->screenshot.c_str()))
        std::fprintf(stderr, "perfmon: could not write %s\n", run.options->screenshot.c_str());
    if (run.options->dumpWindows) {
        std::string dump = DumpWindows();
        std::fwrite(dump.data(), 1, dump.size(), stdout);
        std::fflush(stdout);
    }
}

// Close the monitor the way a user does: WM_CLOSE to its main dialog. A
// request that comes before the dialog exists stays pending until it does.
void CloseMonitor() {
    CaptureEnd();
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    run.closePending = !CloseWindowNormally(DEVICE_DIALOG_CLASS, u"Performance Monitor");
}

} // namespace

int RunEmulator(const EmulatorOptions &options, ProgramEntry monitorEntry, const uint8_t *resources,
                size_t resourceSize) {
    run.options = &options;
    run.captured = false;
    run.closePending = false;
    closeSignals = 0;

    Config config;
    config.virtualTime = options.virtualTime;
    config.tickStart = options.tickStart;
    config.osMajor = options.osMajor;
    config.osMinor = options.osMinor;
    ResetDevice(config);
    RegisterDevicePrograms();
    RegisterProgram(monitorImage, monitorPath, monitorEntry, resources, resourceSize);
    if (!options.loadLog.empty() && !StartLoadLog(options.loadLog)) {
        std::fprintf(stderr, "perfmon: could not write %s\n", options.loadLog.c_str());
        return 1;
    }

    // Hold device time still while the programs come up, so the virtual
    // clock cannot run ahead before the monitor even exists.
    HoldClock();
    bool ready = StartShell() != 0;
    if (ready && options.alternateTaskbar)
        ready = StartAlternateTaskbar() != 0;
    if (ready && options.wexdock)
        ready = StartWexdock() != 0;
    if (ready && options.hangDemo)
        ready = StartHangDemo() != 0;
    DWORD monitor = ready ? StartProgram(monitorImage, u"") : 0;
    if (!monitor) {
        ReleaseClock();
        StopLoadLog();
        std::fprintf(stderr, "perfmon: the device's programs did not start\n");
        return 1;
    }
    for (const TapAction &tap : options.taps) {
        int x = tap.x, y = tap.y;
        ScheduleAt(tap.atMs, [x, y] { Tap(x, y, true); });
        ScheduleAt(tap.atMs + tapHoldMs, [x, y] { Tap(x, y, false); });
    }
    if (options.haveAddIcon)
        ScheduleAt(options.addIconAtMs, [] { StartProgram(TRAYGUEST_IMAGE, u""); });
    if (options.haveSeconds)
        ScheduleAt(options.closeAtMs, [] { CloseMonitor(); });
    ReleaseClock();

    struct sigaction action = {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    bool presenting = !options.headless && DisplayAvailable() && PresenterOpen();
    int exitCode = 0;
    std::sig_atomic_t handledSignals = 0;
    for (;;) {
        if (WaitProgram(monitor, &exitCode, presenting ? 16 : 100))
            break;
        bool closeRequested = false;
        if (presenting)
            PresenterPump(&closeRequested);
        if (closeSignals != handledSignals) {
            handledSignals = closeSignals;
            closeRequested = true;
        }
        // Each request posts the close again, as a user pressing close twice would.
        if (closeRequested || run.closePending)
            CloseMonitor();
    }
    StopLoadLog();
    if (presenting)
        PresenterShut();
    CaptureEnd(); // the monitor ended by itself: show what is left
    // End the device: every other program's threads leave at their next call.
    ResetDevice(config);
    return exitCode;
}

} // namespace dev
