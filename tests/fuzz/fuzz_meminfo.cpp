// Any bytes as /proc/meminfo (and as /proc/stat for the boot time).
#include "platform/host/procfs.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    uint64_t total = 0, avail = 0;
    if (procfs::ParseMeminfo(text, size, &total, &avail) && avail > total) abort();
    uint64_t boot = 0;
    procfs::ParseBootTime(text, size, &boot);
    return 0;
}
