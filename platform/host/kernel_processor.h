// The device's one processor, shared between the device's own threads and
// "the rest of the system".
//
// The rest of the system takes the processor in pieces of one quantum. While
// it holds the processor no device thread runs: a thread whose wait ends in
// that time is ready but waits for the piece to end, exactly the delay a
// handheld's timer arrivals show under load. How often a piece comes follows
// the system's share of the processor: from a load profile (virtual and manual
// time, tests) or, live, from the host's own busy time. Everything here runs
// under BigLock except the share sampler's reading of /proc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dev {

// The device's usual scheduling quantum: the longest a piece of the rest of
// the system's work keeps the device's threads off the processor.
const uint64_t kQuantumMs = 100;

// One stretch of a load profile: from fromMs to toMs of device time the rest
// of the system wants percent of the processor. Outside every stretch: 0.
struct LoadSpan {
    uint64_t fromMs;
    uint64_t toMs;
    int percent;
};

// "FROM-TO:PERCENT,..." in seconds (decimals allowed) and whole percent,
// stretches in rising order without overlap. On failure *error names the
// problem in one line.
bool ParseLoadProfile(const std::string &text, std::vector<LoadSpan> *spans, std::string *error);

// The share source. ResetDevice makes the device idle (no profile, no host
// share); the emulator or a test sets one afterwards.
void SetLoadProfile(const std::vector<LoadSpan> &spans);
// Live: the rest of the system's share follows SampleHostShare.
void FollowHostShare();
// Read /proc/stat and this process's processor time and, when at least
// minIntervalMs of wall time passed since the last reading, make the busy
// share of the machine's processors without this process the system's share. Returns the
// share in permille. Unreadable or garbled files give 0 and one warning line.
int SampleHostShare(uint64_t minIntervalMs);
// Live, between batches of device events: SampleHostShare(kHostSampleMs)
// when the share follows the host. The kernel writes all of /proc/stat, every
// interrupt's count with it, for each read: some 70 us here, which ten reads
// a second made a fifth of the idle monitor's cost. Four a second still
// follow a change within one of the meter's 300 ms samples.
const uint64_t kHostSampleMs = 250;
void FollowHostShareIfDue();
// The host's busy share between two readings, without this process's own
// ticks, in permille of all processors' time (0 on nonsense).
int BusyPermille(uint64_t busyTicks, uint64_t totalTicks, uint64_t selfTicks);

// The scheduler's side (kernel_sched.cpp, BigLock held). The first instant at
// or after t when the device's threads may run; runs the model up to t.
uint64_t ProcessorFreeAt(uint64_t t);
void ResetProcessor();

} // namespace dev
