// One run of the device with the monitor in it: configure, start the shell
// and the stand-ins, start the monitor, drive the scripted taps and the
// timed close, and wait for the monitor's process to end.
#include "emulator.h"
#include "programs.h"
#include "../host/kernel.h"
#include "../host/user.h"
#include "../host/screen.h"

#include <cerrno>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace dev {

namespace {

const char16_t monitorImage[] = u"perfmon.exe";
const char16_t monitorPath[] = u"\\Windows\\perfmon.exe";
// A stylus press lasts a moment; buttons act on the release.
const uint64_t tapHoldMs = 50;

// A handheld's figures for virtual-time runs: 32 MiB of program memory with
// 20 MiB in use, 32 MiB of storage with 10 MiB in use.
const uint64_t virtualMemoryTotal = 32ull << 20, virtualMemoryAvailable = 12ull << 20;
const uint64_t virtualStorageTotal = 32ull << 20, virtualStorageFree = 22ull << 20;
// A close asked for before the monitor's dialog exists is asked again
// this often, in device time, until the dialog is there.
const uint64_t closeRetryMs = 50;

volatile std::sig_atomic_t closeSignals = 0;
// The handler may take no lock, so it only writes a byte here; a host
// thread of the run reads it and closes the monitor. The pipe lives as
// long as the process: a handler never writes to a descriptor being closed.
int closePipe[2] = {-1, -1};
const char closeByte = 'c', stopByte = 'q';

// The first SIGINT or SIGTERM closes the monitor the normal way; a second
// one means the user has stopped waiting for that, so the process ends at
// once, whatever state the device is in.
void OnCloseSignal(int signal)
{
    int savedErrno = errno;
    closeSignals = closeSignals + 1;
    if (closeSignals < 2) {
        ssize_t ignored = write(closePipe[1], &closeByte, 1);
        (void)ignored;
        errno = savedErrno;
        return;
    }
    static const char interrupted[] = "perfmon: interrupted again, ending at once\n";
    static const char terminated[] = "perfmon: terminated again, ending at once\n";
    const char *line = signal == SIGINT ? interrupted : terminated;
    ssize_t ignored = write(STDERR_FILENO, line, std::strlen(line));
    (void)ignored;
    _exit(128 + signal);
}

bool CatchCloseSignals()
{
    if (closePipe[0] < 0 && pipe2(closePipe, O_CLOEXEC) != 0) return false;
    // Bytes of a signal that came after the last run's end.
    fcntl(closePipe[0], F_SETFL, O_NONBLOCK);
    char stale;
    while (read(closePipe[0], &stale, 1) == 1) {
    }
    fcntl(closePipe[0], F_SETFL, 0);
    struct sigaction action = {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

struct RunState {
    const EmulatorOptions *options = nullptr;
    bool captured = false;
    bool outputFailed = false;  // the screenshot could not be written
    bool closeRetrying = false; // a close waits for the dialog to exist
};
RunState run;

// What the run shows at its end: the screenshot and the window dump, taken
// while the monitor is still on screen.
void CaptureEnd()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    if (run.captured) return;
    run.captured = true;
    if (!run.options->screenshot.empty() && !WriteScreenPng(run.options->screenshot.c_str())) {
        std::fprintf(stderr, "perfmon: could not write %s\n", run.options->screenshot.c_str());
        run.outputFailed = true;
    }
    if (run.options->dumpWindows) {
        std::string dump = DumpWindows();
        std::fwrite(dump.data(), 1, dump.size(), stdout);
        std::fflush(stdout);
    }
}

// Close the monitor the way a user does: WM_CLOSE to its main dialog. A
// request that comes before the dialog exists is made again until it does.
void CloseMonitor()
{
    CaptureEnd();
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    if (CloseWindowNormally(DEVICE_DIALOG_CLASS, u"Performance Monitor") || run.closeRetrying) return;
    run.closeRetrying = true;
    ScheduleAt(Now() + closeRetryMs, [] {
        run.closeRetrying = false;
        CloseMonitor();
    });
}

// Blocks in a read until a signal's byte comes: a run waiting for its
// monitor to end wakes the host for nothing else.
void CloseOnSignals()
{
    pthread_setname_np(pthread_self(), "signals");
    for (;;) {
        char byte;
        ssize_t n = read(closePipe[0], &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1 || byte == stopByte) return;
        CloseMonitor();
    }
}

} // namespace

bool PathWritable(const std::string &path)
{
    struct stat before;
    bool existed = stat(path.c_str(), &before) == 0;
    if (existed && S_ISDIR(before.st_mode)) return false;
    // Appending leaves an existing file as it is.
    std::FILE *file = std::fopen(path.c_str(), "ab");
    if (!file) return false;
    std::fclose(file);
    if (!existed) std::remove(path.c_str());
    return true;
}

int RunEmulator(const EmulatorOptions &options, ProgramEntry monitorEntry, const uint8_t *resources,
                size_t resourceSize)
{
    run.options = &options;
    run.captured = false;
    run.outputFailed = false;
    run.closeRetrying = false;
    closeSignals = 0;
    // Before any device thread exists, so that a signal in the first
    // moments closes the run normally.
    if (!CatchCloseSignals()) {
        std::fprintf(stderr, "perfmon: cannot make a pipe for the close signals\n");
        return 1;
    }

    // Outputs that cannot be written are refused before the run, not found
    // out after it.
    if (!options.screenshot.empty() && !PathWritable(options.screenshot)) {
        std::fprintf(stderr, "perfmon: cannot write the screenshot to %s\n", options.screenshot.c_str());
        return 2;
    }

    Config config;
    config.virtualTime = options.virtualTime;
    config.tickStart = options.tickStart;
    config.osMajor = options.osMajor;
    config.osMinor = options.osMinor;
    ResetDevice(config);
    if (!options.load.empty())
        SetLoadProfile(options.load);
    else if (!options.virtualTime)
        FollowHostShare();
    // A virtual-time run repeats to the pixel; the host's free memory moves
    // from one run to the next, so the device keeps figures of its own.
    if (options.virtualTime) {
        SetMemorySource([] { return MemoryFigures{virtualMemoryTotal, virtualMemoryAvailable}; });
        SetDiskSource([] { return DiskFigures{true, virtualStorageFree, virtualStorageTotal, virtualStorageFree}; });
    }
    RegisterDevicePrograms();
    RegisterProgram(monitorImage, monitorPath, monitorEntry, resources, resourceSize);
    if (!options.loadLog.empty() && !StartLoadLog(options.loadLog)) {
        std::fprintf(stderr, "perfmon: cannot write the load log to %s\n", options.loadLog.c_str());
        return 2;
    }

    // Before any device thread runs: the window system's start-up may fork
    // (a message-bus launcher), and a child forked while another thread
    // holds the allocator's lock (under the address sanitizer) never gets it.
    bool presenting = !options.headless && DisplayAvailable() && PresenterOpen();

    // Hold device time still while the programs come up, so the virtual
    // clock cannot run ahead before the monitor even exists.
    HoldClock();
    bool ready = StartShell() != 0;
    if (ready && options.alternateTaskbar) ready = StartAlternateTaskbar() != 0;
    if (ready && options.wexdock) ready = StartWexdock() != 0;
    if (ready && options.hangDemo) ready = StartHangDemo() != 0;
    DWORD monitor = ready ? StartProgram(monitorImage, u"") : 0;
    if (!monitor) {
        ReleaseClock();
        StopLoadLog();
        if (presenting) PresenterShut();
        std::fprintf(stderr, "perfmon: the device's programs did not start\n");
        return 1;
    }
    for (const TapAction &tap : options.taps) {
        int x = tap.x, y = tap.y;
        ScheduleAt(tap.atMs, [x, y] { Tap(x, y, true); });
        ScheduleAt(tap.atMs + tapHoldMs, [x, y] { Tap(x, y, false); });
    }
    if (options.haveAddIcon) ScheduleAt(options.addIconAtMs, [] { StartProgram(TRAYGUEST_IMAGE, u""); });
    if (options.haveSeconds) ScheduleAt(options.closeAtMs, [] { CloseMonitor(); });
    ReleaseClock();

    std::thread signalWatch(CloseOnSignals);
    int exitCode = 0;
    for (;;) {
        // Headless, nothing but the monitor's end needs this thread.
        if (WaitProgram(monitor, &exitCode, presenting ? 16 : UINT32_MAX)) break;
        bool closeRequested = false;
        if (presenting) PresenterPump(&closeRequested);
        if (closeRequested) CloseMonitor();
    }
    ssize_t stopped = write(closePipe[1], &stopByte, 1);
    (void)stopped;
    signalWatch.join();
    StopLoadLog();
    bool logFailed = !options.loadLog.empty() && LoadLogFailed();
    if (logFailed)
        std::fprintf(stderr, "perfmon: writing the load log to %s failed; it is incomplete\n", options.loadLog.c_str());
    if (presenting) PresenterShut();
    CaptureEnd(); // the monitor ended by itself: show what is left
    // End the device: every other program's threads leave at their next call.
    ResetDevice(config);
    if ((logFailed || run.outputFailed) && exitCode == 0) return 1;
    return exitCode;
}

} // namespace dev
