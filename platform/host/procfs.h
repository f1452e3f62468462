// Readers of Linux's /proc for the device's live system data.
//
// The parsers are pure functions over the bytes of one file, so tests and
// fuzz targets can feed them any text; none of them reads past the size it
// is given or relies on a terminator. What the kernel writes there is not
// under our control: process names may hold spaces, parentheses, newlines
// and broken UTF-8, and a process may vanish between two reads. Every reader
// either yields a defined result or says no.
//
// The table builder at the end walks a whole /proc through a ProcFiles
// interface, the live one or a fixed tree from a test.
#pragma once

#include "api/types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace procfs {

// ---- /proc/<pid>/stat and /proc/<pid>/task/<tid>/stat

// Scheduling policies as the kernel numbers them (field 41).
enum { PolicyNormal = 0, PolicyFifo = 1, PolicyRoundRobin = 2, PolicyBatch = 3, PolicyIdle = 5, PolicyDeadline = 6 };

struct Stat {
    int64_t pid = 0;
    std::string comm; // raw bytes between the first '(' and the last ')'
    char state = '?';
    int64_t ppid = 0;
    uint64_t utimeTicks = 0;       // field 14, clock ticks
    uint64_t stimeTicks = 0;       // field 15
    int64_t priority = 20;         // field 18; negative for real-time policies
    int64_t nice = 0;              // field 19, -20..19
    int64_t numThreads = 1;        // field 20
    uint64_t startTicks = 0;       // field 22, ticks after boot; 0 when the line stops before it
    int64_t policy = PolicyNormal; // field 41; normal when the line stops before it
};

// Parse one stat line. Fields 1 to 20 must all be there, each ended by white
// space (the kernel ends the line with a newline), so a line cut short inside
// them is refused rather than read as a smaller number. Later fields are
// optional and keep the defaults above when missing or cut.
bool ParseStat(const char *text, size_t size, Stat *out);

// ---- /proc/<pid>/comm: the name and one newline. The kernel keeps at most
// 15 bytes of it, which may end inside a UTF-8 sequence.
std::string ParseComm(const char *text, size_t size);

// ---- /proc/meminfo: MemTotal and MemAvailable, in bytes. Kernels before
// 3.14 have no MemAvailable; MemFree + Buffers + Cached stands in for it then.
bool ParseMeminfo(const char *text, size_t size, uint64_t *totalBytes, uint64_t *availBytes);

// ---- /proc/stat: "btime", the boot time in seconds since 1970.
bool ParseBootTime(const char *text, size_t size, uint64_t *bootSeconds);

// ---- /proc/stat: the first line, "cpu", summed over every processor, in
// clock ticks. Busy is everything but idle and iowait; guest time is already
// inside user and nice, so it is not added twice. At least the first four
// fields must be there; the line must end with a newline.
struct CpuTimes {
    uint64_t busy = 0;
    uint64_t total = 0;
};
bool ParseCpuTimes(const char *text, size_t size, CpuTimes *out);

// ---- text for the device

// UTF-8 to UTF-16. Each invalid or cut sequence becomes one U+FFFD (overlong
// forms, surrogates and values past U+10FFFF included). Writes at most
// capacity - 1 units and a terminator, never half a surrogate pair; returns
// the units written, without the terminator. Nothing is written for capacity 0.
size_t Utf8ToWide(const char *bytes, size_t size, WCHAR *out, size_t capacity);
std::u16string Utf8ToWide(const char *bytes, size_t size);

// A process or thread name as the device shows it: UTF-8 decoded, and
// control characters (a newline in a name, say) shown as U+FFFD so a name is
// always one line of visible text.
std::u16string DeviceName(const std::string &bytes);

// The target of /proc/<pid>/exe as a device path. The device separates path
// parts with backslashes, so "/usr/bin/bash" becomes "\usr\bin\bash" and the
// monitor's file-name part ("bash") works on it.
std::u16string DevicePath(const char *link, size_t size);

// Copy text into a fixed record field of capacity units (MAX_PATH for
// szExeFile): at most capacity - 1 units, never half a surrogate pair, always
// terminated. Returns the units copied.
size_t CopyToField(const std::u16string &text, WCHAR *field, size_t capacity);

// ---- figures

// Clock ticks (sysconf(_SC_CLK_TCK) per second) to 100-ns units, without
// overflow for any tick count a 64-bit result can hold; saturates beyond.
uint64_t TicksTo100ns(uint64_t ticks, uint64_t ticksPerSecond);

// The device's priority scale runs from 0 (time-critical) to 7 (idle) with 3
// normal. Linux threads map onto it by policy and nice value: real-time and
// deadline policies and nice -20..-15 -> 0; -14..-10 -> 1; -9..-1 -> 2;
// 0 -> 3; 1..9 -> 4; 10..18 -> 5; 19 and the idle policy -> 7. Level 6 has
// no name on the device, so no Linux thread is put there.
LONG DevicePriority(int64_t nice, int64_t policy);

// ---- access to a /proc tree

class ProcFiles {
public:
    virtual ~ProcFiles() = default;
    // Whole contents of a small file; an errno value on failure (ENOENT for a
    // process that has gone, EACCES, ...), 0 on success.
    virtual int Read(const std::string &path, std::string *contents) = 0;
    virtual int ReadLink(const std::string &path, std::string *target) = 0;
    // Names in a directory, in the order the directory gives them.
    virtual int List(const std::string &path, std::vector<std::string> *names) = 0;
};
// The real file system under root ("/proc").
ProcFiles &LiveProcFiles();

struct ProcessInfo {
    DWORD pid;
    DWORD ppid;
    std::u16string exeFile; // device path of the program, or the name when that can't be read
    LONG basePriority;      // of the main thread
};
struct ThreadInfo {
    DWORD tid;
    DWORD pid;
    LONG basePriority;
    uint64_t user100ns;
    uint64_t kernel100ns;
};
struct Tables {
    std::vector<ProcessInfo> processes; // ascending pid
    std::vector<ThreadInfo> threads;    // by process, then ascending tid
};

// Read every process and thread under root. A process or thread whose stat
// can't be read or parsed (gone, refused, cut short) is left out, and so is a
// process none of whose threads could be read. ticksPerSecond converts times.
void ReadTables(ProcFiles &files, const std::string &root, uint64_t ticksPerSecond, Tables *out);

// The stat of one thread of any process: root/self/task/<tid>/stat, else
// root/<tid>/task/<tid>/stat. (root/<tid>/stat would do for the thread
// group's leader only: it adds up the times of all the group's threads.)
bool ReadThreadStat(ProcFiles &files, const std::string &root, DWORD tid, Stat *out);

// The program of a process as a device path, else its name; empty when the
// process can't be found.
std::u16string ReadProcessPath(ProcFiles &files, const std::string &root, DWORD pid);

// MemTotal and MemAvailable of root/meminfo, in bytes.
bool ReadMemory(ProcFiles &files, const std::string &root, uint64_t *totalBytes, uint64_t *availBytes);

// sysconf(_SC_CLK_TCK), 100 where it can't be had.
uint64_t TicksPerSecond();

} // namespace procfs
