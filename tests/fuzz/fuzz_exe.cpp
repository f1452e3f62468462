// Any bytes as the target of /proc/<pid>/exe, made into a device path and
// copied into a process record.
#include "platform/host/procfs.h"
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::u16string path = procfs::DevicePath(reinterpret_cast<const char *>(data), size);
    for (char16_t c : path)
        if (c == u'/' || c < 0x20) abort();
    PROCESSENTRY32W record;
    memset(&record, 0xAA, sizeof record);
    record.th32MemoryBase = 0x5A5A5A5A;
    size_t copied = procfs::CopyToField(path, record.szExeFile, MAX_PATH);
    if (copied > MAX_PATH - 1 || record.szExeFile[copied] != 0) abort();
    if (record.th32MemoryBase != 0x5A5A5A5A) abort(); // the field after szExeFile
    if (path.compare(0, copied, record.szExeFile, copied) != 0) abort();
    return 0;
}
