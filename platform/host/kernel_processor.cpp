// The device's one processor and the rest of the system's share of it.
//
// The rest of the system is modelled as one more thread of ordinary priority
// that always has work while its share says so. It gathers a claim at its
// share's rate while the device's threads have the processor; once the claim
// covers the free time that belongs with one quantum of its own (a share s
// takes a quantum after quantum x (1 - s) / s of free time), it takes the
// processor for one quantum. When the quantum ends the device's ready threads
// run before it takes the processor again, as in round-robin among equals, so
// even at a share of 100 % the device's threads get in between pieces.
// The free time before each piece varies from half to one and a half times
// its mean, as real work does: strictly periodic pieces would lock onto the
// meter's 300 ms sampling grid and show one phase of them forever. The
// variation comes from a fixed-seed generator and the arithmetic is in
// integers, so the same share history gives the same pieces on every run.

#include "kernel_processor.h"

#include "kernel_sched.h"
#include "procfs.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace dev {

namespace {

enum class ShareSource { Idle, Profile, Host };

struct Model {
    uint64_t time = 0;       // the model has run up to here
    uint64_t busyUntil = 0;  // the rest of the system holds the processor before this
    bool pieceEnded = false; // time is the end of a piece: the device's turn first
    uint64_t claim = 0;      // permille-milliseconds gathered towards the next piece
    uint32_t spread = 1000;  // this gap's length in permille of the mean gap
    uint32_t random = 0x2545F491;
};

// The next gap's spread: 500..1499 permille (xorshift32).
uint32_t NextSpread(Model &m)
{
    m.random ^= m.random << 13;
    m.random ^= m.random >> 17;
    m.random ^= m.random << 5;
    return 500 + m.random % 1000;
}

struct Processor {
    ShareSource source = ShareSource::Idle;
    std::vector<LoadSpan> profile;
    size_t cursor = 0; // profile stretch at or after the model's time
    Model model;
};

Processor processor;
std::atomic<int> hostPermille{0};

// The share at device time t and the time until which it holds.
int ShareAt(uint64_t t, uint64_t *until)
{
    *until = kNoDeadline;
    switch (processor.source) {
    case ShareSource::Idle:
        return 0;
    case ShareSource::Host:
        return hostPermille.load(std::memory_order_relaxed);
    case ShareSource::Profile:
        break;
    }
    const std::vector<LoadSpan> &spans = processor.profile;
    size_t &i = processor.cursor;
    while (i < spans.size() && spans[i].toMs <= t)
        i++;
    if (i == spans.size()) return 0;
    if (t < spans[i].fromMs) {
        *until = spans[i].fromMs;
        return 0;
    }
    *until = spans[i].toMs;
    return spans[i].percent * 10;
}

bool ParseDecimalSeconds(const std::string &text, uint64_t *ms)
{
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        text.find('.') != text.rfind('.') || text.front() == '.' || text.back() == '.' || text.size() > 12)
        return false;
    *ms = (uint64_t)(std::strtod(text.c_str(), nullptr) * 1000.0 + 0.5);
    return true;
}

} // namespace

bool ParseLoadProfile(const std::string &text, std::vector<LoadSpan> *spans, std::string *error)
{
    std::vector<LoadSpan> result;
    size_t at = 0;
    if (text.empty()) {
        *error = "empty load profile";
        return false;
    }
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        std::string item = text.substr(at, comma - at);
        size_t dash = item.find('-'), colon = item.find(':');
        if (dash == std::string::npos || colon == std::string::npos || colon < dash) {
            *error = "load profile stretch '" + item + "' is not FROM-TO:PERCENT";
            return false;
        }
        LoadSpan span{};
        std::string percent = item.substr(colon + 1);
        if (!ParseDecimalSeconds(item.substr(0, dash), &span.fromMs) ||
            !ParseDecimalSeconds(item.substr(dash + 1, colon - dash - 1), &span.toMs)) {
            *error = "load profile stretch '" + item + "' has a bad time (seconds, like 20 or 2.5)";
            return false;
        }
        if (percent.empty() || percent.size() > 3 || percent.find_first_not_of("0123456789") != std::string::npos ||
            std::atoi(percent.c_str()) > 100) {
            *error = "load profile stretch '" + item + "' has a bad percent (0 to 100)";
            return false;
        }
        span.percent = std::atoi(percent.c_str());
        if (span.toMs <= span.fromMs) {
            *error = "load profile stretch '" + item + "' ends before it starts";
            return false;
        }
        if (!result.empty() && span.fromMs < result.back().toMs) {
            *error = "load profile stretch '" + item + "' overlaps or comes before the one before it";
            return false;
        }
        result.push_back(span);
        at = comma + 1;
    }
    *spans = result;
    return true;
}

void SetLoadProfile(const std::vector<LoadSpan> &spans)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    processor.source = spans.empty() ? ShareSource::Idle : ShareSource::Profile;
    processor.profile = spans;
    processor.cursor = 0;
}

void FollowHostShare()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    processor.source = ShareSource::Host;
    processor.profile.clear();
}

int BusyPermille(uint64_t busyTicks, uint64_t totalTicks, uint64_t selfTicks)
{
    if (totalTicks == 0 || busyTicks > totalTicks) return 0;
    uint64_t others = busyTicks > selfTicks ? busyTicks - selfTicks : 0;
    return (int)(others * 1000 / totalTicks);
}

namespace {

// The start of /proc/stat (the all-processor line comes first), or 0. The
// file stays open: it is read several times a second for the life of the
// device, and opening it each time (a path walk and a file of its own)
// cost more than producing its text.
size_t ReadHostStat(char *buffer, size_t size)
{
    static int fd = open("/proc/stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    ssize_t n = pread(fd, buffer, size, 0);
    return n > 0 ? (size_t)n : 0;
}

// The emulator's own processor time in clock ticks, the unit of /proc/stat.
bool OwnTicks(uint64_t *ticks)
{
    struct timespec used;
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) != 0) return false;
    uint64_t ns = (uint64_t)used.tv_sec * 1000000000u + (uint64_t)used.tv_nsec;
    *ticks = ns / (1000000000u / (uint64_t)procfs::TicksPerSecond());
    return true;
}

struct HostReading {
    bool have = false;
    procfs::CpuTimes cpu;
    uint64_t selfTicks = 0;
    std::chrono::steady_clock::time_point at;
};
HostReading lastReading;
bool warned = false;

} // namespace

int SampleHostShare(uint64_t minIntervalMs)
{
    auto now = std::chrono::steady_clock::now();
    if (lastReading.have && now - lastReading.at < std::chrono::milliseconds(minIntervalMs)) return hostPermille.load();
    char stat[4096];
    size_t statSize = ReadHostStat(stat, sizeof stat);
    procfs::CpuTimes cpu;
    uint64_t selfTicks = 0;
    bool ok = statSize && procfs::ParseCpuTimes(stat, statSize, &cpu) && OwnTicks(&selfTicks);
    if (!ok) {
        if (!warned)
            std::fprintf(stderr, "perfmon: warning: cannot read the host's processor times from /proc/stat; "
                                 "the device runs as if the host were idle\n");
        warned = true;
        lastReading = HostReading();
        hostPermille.store(0);
        return 0;
    }
    int permille = 0;
    // Counters that went backwards (a wrapped or faked file) say nothing.
    if (lastReading.have && cpu.busy >= lastReading.cpu.busy && cpu.total >= lastReading.cpu.total &&
        selfTicks >= lastReading.selfTicks)
        permille = BusyPermille(cpu.busy - lastReading.cpu.busy, cpu.total - lastReading.cpu.total,
                                selfTicks - lastReading.selfTicks);
    lastReading.have = true;
    lastReading.cpu = cpu;
    lastReading.selfTicks = selfTicks;
    lastReading.at = now;
    hostPermille.store(permille);
    return permille;
}

void FollowHostShareIfDue()
{
    if (processor.source == ShareSource::Host) SampleHostShare(kHostSampleMs);
}

uint64_t ProcessorFreeAt(uint64_t t)
{
    Model &m = processor.model;
    for (;;) {
        if (m.time < m.busyUntil) {
            if (t < m.busyUntil) return m.busyUntil;
            m.time = m.busyUntil;
            m.pieceEnded = true;
        }
        uint64_t until;
        int share = ShareAt(m.time, &until);
        uint64_t threshold = kQuantumMs * (uint64_t)(1000 - share) * m.spread / 1000;
        if (share > 0 && m.claim >= threshold && !m.pieceEnded) {
            m.busyUntil = m.time + kQuantumMs;
            m.claim = 0;
            m.spread = NextSpread(m);
            continue;
        }
        if (t <= m.time) return t;
        uint64_t step = (until < t ? until : t) - m.time;
        if (share > 0 && m.claim < threshold) {
            uint64_t need = (threshold - m.claim + (uint64_t)share - 1) / (uint64_t)share;
            if (need < step) step = need;
        }
        if (step == 0) step = 1;
        m.claim += (uint64_t)share * step;
        m.time += step;
        m.pieceEnded = false;
    }
}

void ResetProcessor()
{
    processor = Processor();
    hostPermille.store(0);
    lastReading = HostReading();
}

} // namespace dev
