// Any bytes as /proc/<pid>/comm, decoded into a fixed record field of a
// size taken from the input.
#include "platform/host/procfs.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;
    size_t capacity = data[0] % 40; // small fields, so truncation is hit often
    const char *text = reinterpret_cast<const char *>(data + 1);
    std::string comm = procfs::ParseComm(text, size - 1);
    if (comm.size() > size - 1) abort();

    std::u16string whole = procfs::Utf8ToWide(comm.data(), comm.size());
    WCHAR field[41];
    memset(field, 0xAA, sizeof field);
    size_t written = procfs::Utf8ToWide(comm.data(), comm.size(), field, capacity);
    if (capacity == 0) {
        if (written != 0 || field[0] != 0xAAAA) abort();
        return 0;
    }
    // A terminated prefix of the whole text, no half pair at its end, and
    // nothing written past the field.
    if (written > capacity - 1 || field[written] != 0 || field[capacity] != 0xAAAA) abort();
    if (whole.compare(0, written, field, written) != 0) abort();
    if (written > 0 && field[written - 1] >= 0xD800 && field[written - 1] <= 0xDBFF) abort();
    if (written + 2 < capacity && written < whole.size()) abort(); // stopped with room to spare

    std::u16string name = procfs::DeviceName(comm);
    if (name.size() != whole.size()) abort();
    for (char16_t c : name)
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) abort();
    return 0;
}
