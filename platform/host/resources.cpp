// Resources of the emulated device, read from the compiled .res bytes that
// the resource compiler wrote for the module: FindResourceW and friends,
// LoadBitmapW, and the DIB decoding that icons share.
//
// A .res file is a run of records, each DWORD aligned: DataSize, HeaderSize,
// TYPE and NAME (0xFFFF then an ordinal, or a zero-terminated UTF-16 string),
// DataVersion, MemoryFlags, LanguageId, Version, Characteristics, then the
// data. The first record is an empty one that marks the format.
//
// Not implemented: compressed DIBs (BI_RLE4, BI_RLE8), language selection
// (the first record of a type and name wins), system bitmaps (LoadBitmapW
// with a null instance).

#include "gdi_internal.h"
#include "kernel.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace dev {
namespace gdi {
namespace {

struct Record {
    const uint8_t *data;
    DWORD size;
};
// HRSRC points at one of these; keyed by the data, so looking a resource up
// again gives the same handle.
std::map<const uint8_t *, Record> records;
std::set<const Record *> validRecords;

uint32_t Read32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}
uint16_t Read16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

// Reads a TYPE or NAME field; false when it runs past the header.
bool ReadId(const uint8_t *p, size_t limit, size_t *at, ResId *id)
{
    if (*at + 2 > limit) return false;
    if (Read16(p + *at) == 0xFFFF) {
        if (*at + 4 > limit) return false;
        id->ordinal = Read16(p + *at + 2);
        id->name.clear();
        *at += 4;
        return true;
    }
    id->ordinal = -1;
    id->name.clear();
    while (*at + 2 <= limit) {
        char16_t c = Read16(p + *at);
        *at += 2;
        if (!c) return true;
        id->name += c;
    }
    return false;
}

char16_t Upper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? c - 32 : c;
}

} // namespace

ResId IdOf(LPCWSTR name)
{
    ResId id;
    if (IS_INTRESOURCE(name)) {
        id.ordinal = (int)(uintptr_t)name;
        return id;
    }
    // "#123" names the ordinal 123, as on the platform.
    if (name[0] == u'#') {
        int value = 0;
        for (const WCHAR *p = name + 1; *p >= u'0' && *p <= u'9'; p++)
            value = value * 10 + (*p - u'0');
        id.ordinal = value;
        return id;
    }
    for (const WCHAR *p = name; *p; p++)
        id.name += Upper(*p);
    return id;
}

bool SameId(const ResId &a, const ResId &b)
{
    if (a.ordinal >= 0 || b.ordinal >= 0) return a.ordinal == b.ordinal;
    if (a.name.size() != b.name.size()) return false;
    for (size_t i = 0; i < a.name.size(); i++)
        if (Upper(a.name[i]) != Upper(b.name[i])) return false;
    return true;
}

bool ParseRes(const uint8_t *bytes, size_t size, std::vector<ResEntry> *entries)
{
    entries->clear();
    size_t at = 0;
    while (at + 8 <= size) {
        uint32_t dataSize = Read32(bytes + at), headerSize = Read32(bytes + at + 4);
        if (headerSize < 8 + 4 + 4 + 16 || at + headerSize > size || dataSize > size - at - headerSize) return false;
        ResEntry e;
        size_t field = at + 8;
        if (!ReadId(bytes, at + headerSize, &field, &e.type) || !ReadId(bytes, at + headerSize, &field, &e.name))
            return false;
        field = (field + 3) & ~(size_t)3;
        if (field + 16 > at + headerSize) return false;
        e.language = Read16(bytes + field + 6);
        e.data = bytes + at + headerSize;
        e.size = dataSize;
        // The leading empty record has type and name ordinal 0 and no data.
        if (!(e.type.ordinal == 0 && e.name.ordinal == 0 && dataSize == 0)) entries->push_back(e);
        at = (at + headerSize + dataSize + 3) & ~(size_t)3;
    }
    return true;
}

namespace {

// Reads a TYPE or NAME field and tells whether it names `want`, without
// copying it: resources are looked up several times a second (the graph's
// ramp), and the lookup should cost no heap.
bool MatchId(const uint8_t *p, size_t limit, size_t *at, const ResId &want, bool *matches)
{
    if (*at + 2 > limit) return false;
    if (Read16(p + *at) == 0xFFFF) {
        if (*at + 4 > limit) return false;
        *matches = want.ordinal == Read16(p + *at + 2);
        *at += 4;
        return true;
    }
    *matches = want.ordinal < 0;
    size_t index = 0;
    while (*at + 2 <= limit) {
        char16_t c = Read16(p + *at);
        *at += 2;
        if (!c) {
            *matches = *matches && index == want.name.size();
            return true;
        }
        if (*matches && (index >= want.name.size() || Upper(c) != want.name[index])) *matches = false;
        index++;
    }
    return false;
}

} // namespace

bool FindIn(HMODULE module, LPCWSTR name, LPCWSTR type, const uint8_t **data, DWORD *size)
{
    if (!name || !type) return false;
    if (!module) module = ModuleOfProcess(CurrentProcess());
    const uint8_t *bytes = nullptr;
    size_t length = 0;
    if (!ModuleResources(module, &bytes, &length) || !bytes) return false;
    ResId wantName = IdOf(name), wantType = IdOf(type);
    // The same walk as ParseRes: what parsed before a damaged record still counts.
    size_t at = 0;
    while (at + 8 <= length) {
        uint32_t dataSize = Read32(bytes + at), headerSize = Read32(bytes + at + 4);
        if (headerSize < 8 + 4 + 4 + 16 || at + headerSize > length || dataSize > length - at - headerSize)
            return false;
        size_t field = at + 8;
        bool typeMatches = false, nameMatches = false;
        if (!MatchId(bytes, at + headerSize, &field, wantType, &typeMatches) ||
            !MatchId(bytes, at + headerSize, &field, wantName, &nameMatches))
            return false;
        field = (field + 3) & ~(size_t)3;
        if (field + 16 > at + headerSize) return false;
        bool leadingEmpty = wantType.ordinal == 0 && wantName.ordinal == 0 && dataSize == 0;
        if (typeMatches && nameMatches && !leadingEmpty) {
            *data = bytes + at + headerSize;
            *size = dataSize;
            return true;
        }
        at = (at + headerSize + dataSize + 3) & ~(size_t)3;
    }
    return false;
}

bool DecodeDib(const uint8_t *dib, size_t size, int rowsWanted, Pixmap *out, size_t *bitsEnd)
{
    if (size < 12) return false;
    uint32_t headerSize = Read32(dib);
    int width, height, bits;
    uint32_t compression = BI_RGB, colorsUsed = 0;
    bool core = headerSize == 12;
    if (core) {
        width = Read16(dib + 4);
        height = (int16_t)Read16(dib + 6);
        bits = Read16(dib + 10);
    } else {
        if (headerSize < 40 || headerSize > size) return false;
        width = (int32_t)Read32(dib + 4);
        height = (int32_t)Read32(dib + 8);
        bits = Read16(dib + 14);
        compression = Read32(dib + 16);
        colorsUsed = Read32(dib + 32);
    }
    bool topDown = height < 0;
    int rows = rowsWanted > 0 ? rowsWanted : std::abs(height);
    if (width <= 0 || width > 4096 || rows <= 0 || rows > 4096 || rows > std::abs(height)) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    const uint32_t kBitfields = 3;
    if (compression != BI_RGB && !(compression == kBitfields && (bits == 16 || bits == 32))) return false;

    size_t at = headerSize;
    uint32_t masks[3] = {0, 0, 0};
    if (compression == kBitfields) {
        if (headerSize == 40) {
            if (at + 12 > size) return false;
            for (int i = 0; i < 3; i++)
                masks[i] = Read32(dib + at + 4 * i);
            at += 12;
        } else {
            for (int i = 0; i < 3; i++)
                masks[i] = Read32(dib + 40 + 4 * i);
        }
    } else if (bits == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    uint32_t palette[256] = {};
    if (bits <= 8) {
        uint32_t count = colorsUsed ? std::min<uint32_t>(colorsUsed, 1u << bits) : 1u << bits;
        int entrySize = core ? 3 : 4;
        if (at + (size_t)count * entrySize > size) return false;
        for (uint32_t i = 0; i < count; i++) {
            const uint8_t *q = dib + at + (size_t)i * entrySize;
            palette[i] = q[0] | q[1] << 8 | (uint32_t)q[2] << 16;
        }
        at += (size_t)(colorsUsed && !core ? colorsUsed : count) * entrySize;
    }
    size_t stride = ((size_t)width * bits + 31) / 32 * 4;
    if (at + stride * rows > size) return false;

    // A channel from a bit mask, widened to 8 bits.
    auto channel = [](uint32_t value, uint32_t mask) -> uint32_t {
        if (!mask) return 0;
        int shift = 0;
        while (!(mask >> shift & 1))
            shift++;
        uint32_t max = mask >> shift, v = (value & mask) >> shift;
        return max ? v * 255 / max : 0;
    };
    out->width = width;
    out->height = rows;
    out->mono = false;
    out->pixels.assign((size_t)width * rows, 0);
    for (int line = 0; line < rows; line++) {
        const uint8_t *row = dib + at + stride * line;
        int y = topDown ? line : rows - 1 - line;
        uint32_t *o = &out->pixels[(size_t)y * width];
        for (int x = 0; x < width; x++) {
            switch (bits) {
            case 1:
                o[x] = palette[row[x >> 3] >> (7 - (x & 7)) & 1];
                break;
            case 4:
                o[x] = palette[(x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4];
                break;
            case 8:
                o[x] = palette[row[x]];
                break;
            case 16: {
                uint32_t v = Read16(row + 2 * x);
                o[x] = channel(v, masks[0]) << 16 | channel(v, masks[1]) << 8 | channel(v, masks[2]);
                break;
            }
            case 24:
                o[x] = row[3 * x] | row[3 * x + 1] << 8 | (uint32_t)row[3 * x + 2] << 16;
                break;
            case 32: {
                uint32_t v = Read32(row + 4 * x);
                o[x] = compression == kBitfields
                           ? channel(v, masks[0]) << 16 | channel(v, masks[1]) << 8 | channel(v, masks[2])
                           : v & 0x00FFFFFF;
                break;
            }
            }
        }
    }
    if (bitsEnd) *bitsEnd = at + stride * rows;
    return true;
}

void ResetResources()
{
    records.clear();
    validRecords.clear();
}

} // namespace gdi
} // namespace dev

using namespace dev;
using namespace dev::gdi;

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    Lock lock(BigLock());
    const uint8_t *data;
    DWORD size;
    if (!FindIn(module, name, type, &data, &size)) return nullptr;
    Record &record = records[data];
    record = Record{data, size};
    validRecords.insert(&record);
    return (HRSRC)&record;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource)
{
    Lock lock(BigLock());
    const Record *record = (const Record *)resource;
    if (!validRecords.count(record)) return nullptr;
    return (HGLOBAL)record->data;
}

LPVOID LockResource(HGLOBAL data)
{
    return data;
}

DWORD SizeofResource(HMODULE, HRSRC resource)
{
    Lock lock(BigLock());
    const Record *record = (const Record *)resource;
    if (!validRecords.count(record)) return 0;
    return record->size;
}

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name)
{
    Lock lock(BigLock());
    const uint8_t *data;
    DWORD size;
    if (!instance || !FindIn(instance, name, RT_BITMAP, &data, &size)) return nullptr;
    // Decoded straight into the new bitmap, in the screen's format, so a
    // recycled bitmap's storage is used again.
    HBITMAP handle = NewBitmap(1, 1, false);
    Bitmap *bitmap = GetBitmap(handle);
    if (!bitmap) return nullptr;
    if (!DecodeDib(data, size, 0, &bitmap->pix, nullptr)) {
        RemoveObject(handle);
        return nullptr;
    }
    return handle;
}
