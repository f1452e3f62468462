// The device's "toolhelp" library and the system tables behind it
// (platform/host/toolhelp*.cpp, procfs*.cpp, device_threads.cpp).
#pragma once

#include "../platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dev {

// Register the "toolhelp" library (CreateToolhelp32Snapshot and the rest) in
// the module registry. ResetDevice forgets it; call again after it. Names in
// omit are left out, so tests can make single entry points missing; tests
// make the whole library absent with UnregisterLibrary(u"toolhelp").
void RegisterToolhelp(const std::vector<std::u16string> &omit = {});
// Fixed system tables in place of Linux's /proc and the device's programs.
struct FakeProcess {
    DWORD processId;
    std::u16string exeFile; // szExeFile, and what DeviceGetProcessFileName gives
};
struct FakeThread {
    DWORD threadId;
    DWORD ownerProcessId;
    LONG basePriority; // tpBasePri as given, not mapped
    uint64_t userTime100ns;
    uint64_t kernelTime100ns;
    bool timesFail; // thread-times queries fail, as for a thread that ended
};
struct SystemTables {
    std::vector<FakeProcess> processes; // in walk order
    std::vector<FakeThread> threads;    // in walk order
};
// Replace the live source with fixed tables; null goes back to the live one.
// Snapshots already taken keep what they read.
void SetSystemSource(const SystemTables *tables);
// Snapshots created and not yet closed, for leak tests.
long LiveToolhelpSnapshots();
// User and kernel time of a thread by its identifier (a Linux thread id, or a
// thread of the fixed tables); false when there is no such thread. The
// kernel's GetThreadTimes calls it for an identifier given in place of a handle.
bool LinuxThreadTimes(DWORD threadId, uint64_t *user100ns, uint64_t *kernel100ns);

} // namespace dev
