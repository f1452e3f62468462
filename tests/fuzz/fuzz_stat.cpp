// Any bytes as /proc/<pid>/stat or /proc/<pid>/task/<tid>/stat.
#include "platform/host/procfs.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    procfs::Stat stat;
    if (!procfs::ParseStat(text, size, &stat)) return 0;
    // The name is a piece of the input, between a '(' and a later ')'.
    if (stat.comm.size() + 2 > size) abort();
    const char *open = static_cast<const char *>(memchr(text, '(', size));
    if (!open || memcmp(open + 1, stat.comm.data(), stat.comm.size()) != 0) abort();
    if (open[1 + stat.comm.size()] != ')') abort();
    if (stat.pid < 0 || stat.policy < 0) abort();
    LONG priority = procfs::DevicePriority(stat.nice, stat.policy);
    if (priority < 0 || priority > 7 || priority == 6) abort();
    std::u16string name = procfs::DeviceName(stat.comm);
    for (char16_t c : name)
        if (c < 0x20) abort();
    procfs::TicksTo100ns(stat.utimeTicks, 100);
    procfs::TicksTo100ns(stat.stimeTicks, 3);
    return 0;
}
