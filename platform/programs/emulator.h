// The emulator's own entry: its command-line options and the run of the
// device with the monitor in it. main.cpp is a thin caller, so
// the options and the run can be tested without a process of their own.
#pragma once

#include "../host/kernel.h"
#include "../host/kernel_processor.h"

#include <string>
#include <vector>

namespace dev {

struct TapAction {
    int x, y;      // screen pixel
    uint64_t atMs; // device time of the press
};

struct EmulatorOptions {
    bool headless = false;
    bool haveSeconds = false;
    uint64_t closeAtMs = 0; // --seconds, in device milliseconds
    bool virtualTime = false;
    std::string screenshot; // empty: none
    uint32_t tickStart = 0;
    uint32_t osMajor = 3, osMinor = 0;
    bool alternateTaskbar = false;
    bool wexdock = false;
    bool hangDemo = false;
    bool haveAddIcon = false;
    uint64_t addIconAtMs = 0; // --add-icon-before
    std::vector<TapAction> taps;
    bool dumpWindows = false;
    std::string loadLog;        // --log-load FILE; empty: none
    std::vector<LoadSpan> load; // --load: the rest of the system's share; empty: live, the host's
    bool help = false;
};

enum ParseResult { ParseRun, ParseHelp, ParseError };
// On ParseError, error holds one line naming the option (no newline).
ParseResult ParseEmulatorOptions(int argc, const char *const *argv, EmulatorOptions *options, std::string *error);
const char *EmulatorUsage();

// Configure the device, start the shell and the stand-ins that were asked
// for, then the monitor; present or run headless until the monitor's process
// ends. Returns the monitor's exit code.
int RunEmulator(const EmulatorOptions &options, ProgramEntry monitorEntry, const uint8_t *resources,
                size_t resourceSize);

// The load log (--log-load): from now until StopLoadLog, every sample the
// monitor stores in its load history goes to the file as one line "T P",
// T the device time in ms of its 300 ms grid point, P the percent, after a
// "#" header line. Start after ResetDevice and before the monitor; false when
// the file cannot be written. StopLoadLog writes what is left and closes it.
bool StartLoadLog(const std::string &path);
void StopLoadLog();
// Whether a write to the load log failed since StartLoadLog (its file is
// incomplete); read after StopLoadLog.
bool LoadLogFailed();
// Whether a file can be written at path, without leaving one behind that
// was not there before.
bool PathWritable(const std::string &path);

} // namespace dev
