// Any bytes as /proc/stat, read for the machine's busy share.
#include "platform/host/procfs.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    procfs::CpuTimes times;
    if (!procfs::ParseCpuTimes(reinterpret_cast<const char *>(data), size, &times)) return 0;
    // Busy time is a part of all the time; a share above the whole would
    // make the device's processor busier than it can be.
    if (times.busy > times.total) abort();
    return 0;
}
