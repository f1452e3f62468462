// perfmon on Linux: the emulated handheld device with the monitor in it.
// The options and the run live in emulator*.cpp beside it; this file
// only ties them to the monitor's entry and its compiled resources.
#include "emulator.h"

#include <cstdio>
#include <cstdlib>

extern const uint8_t perfmonResources[];
extern const size_t perfmonResourcesSize;

namespace {

// The device hands every program its command line; the monitor always gets
// an empty one and is shown normally.
int MonitorEntry(HINSTANCE instance, LPWSTR)
{
    WCHAR empty[1] = {0};
    return WinMain(instance, nullptr, empty, SW_SHOW);
}

} // namespace

int main(int argc, char **argv)
{
    dev::EmulatorOptions options;
    std::string error;
    switch (dev::ParseEmulatorOptions(argc, argv, &options, &error)) {
    case dev::ParseHelp:
        std::fputs(dev::EmulatorUsage(), stdout);
        return 0;
    case dev::ParseError:
        std::fprintf(stderr, "perfmon: %s\n", error.c_str());
        std::fputs(dev::EmulatorUsage(), stderr);
        return 2;
    case dev::ParseRun:
        break;
    }
    int code = dev::RunEmulator(options, MonitorEntry, perfmonResources, perfmonResourcesSize);
    std::fflush(stdout);
    std::fflush(stderr);
    // Device threads may still be parked in their waits; leave without
    // running static destructors under them.
    std::_Exit(code);
}
