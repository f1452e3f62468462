// Parsers of /proc texts and the conversions to the device's text and
// figures. Pure functions: no file access here (that is procfs_files.cpp).
#include "procfs.h"

#include <cstring>

namespace procfs {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// Signed decimal over [text, text + size); false for anything else,
// including an empty text and a value that does not fit.
bool ParseInteger(const char *text, size_t size, int64_t *value)
{
    size_t i = 0;
    bool negative = false;
    if (i < size && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == size) return false;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; i < size; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        unsigned digit = unsigned(text[i] - '0');
        if (magnitude > (limit - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    *value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return true;
}

bool ParseUnsigned(const char *text, size_t size, uint64_t *value)
{
    if (size == 0) return false;
    uint64_t result = 0;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        unsigned digit = unsigned(text[i] - '0');
        if (result > (UINT64_MAX - digit) / 10) return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

// Splits the fields after the name. A field counts only when white space
// follows it: at the end of the text it may have been cut.
struct FieldCursor {
    const char *text;
    size_t size;
    size_t at;
    bool Next(const char **field, size_t *length)
    {
        while (at < size && IsSpace(text[at]))
            ++at;
        size_t start = at;
        while (at < size && !IsSpace(text[at]))
            ++at;
        if (at == start || at == size) return false;
        *field = text + start;
        *length = at - start;
        return true;
    }
};

bool IsControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void PutUnit(std::u16string *out, char32_t cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out->push_back(char16_t(0xD800 + (cp >> 10)));
        out->push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
        out->push_back(char16_t(cp));
    }
}

// Decodes one code point at text[*at], advancing past it; an invalid or cut
// sequence gives U+FFFD and advances past its longest valid start only, so
// the byte that broke it is decoded afresh.
char32_t DecodeOne(const unsigned char *text, size_t size, size_t *at)
{
    unsigned char lead = text[*at];
    if (lead < 0x80) {
        ++*at;
        return lead;
    }
    int need;
    unsigned char low = 0x80, high = 0xBF;
    char32_t cp;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;  // overlong
        if (lead == 0xED) high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;  // overlong
        if (lead == 0xF4) high = 0x8F; // past U+10FFFF
    } else {
        ++*at;
        return 0xFFFD;
    }
    size_t i = *at + 1;
    for (int k = 0; k < need; ++k, ++i) {
        if (i >= size || text[i] < low || text[i] > high) {
            *at = i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (text[i] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *at = i;
    return cp;
}

} // namespace

bool ParseStat(const char *text, size_t size, Stat *out)
{
    if (!text || !out) return false;
    const char *open = static_cast<const char *>(memchr(text, '(', size));
    if (!open) return false;
    const char *close = nullptr;
    for (size_t i = size; i > size_t(open - text) + 1; --i) {
        if (text[i - 1] == ')') {
            close = text + i - 1;
            break;
        }
    }
    if (!close) return false;

    Stat stat;
    size_t pidStart = 0, pidEnd = size_t(open - text);
    while (pidStart < pidEnd && IsSpace(text[pidStart]))
        ++pidStart;
    while (pidEnd > pidStart && IsSpace(text[pidEnd - 1]))
        --pidEnd;
    if (!ParseInteger(text + pidStart, pidEnd - pidStart, &stat.pid) || stat.pid < 0) return false;
    stat.comm.assign(open + 1, close);

    FieldCursor cursor{text, size, size_t(close - text) + 1};
    const char *field;
    size_t length;
    // Fields 3 to 20 are all needed; a failure among them refuses the line.
    for (int number = 3; number <= 20; ++number) {
        if (!cursor.Next(&field, &length)) return false;
        bool ok = true;
        int64_t ignored;
        switch (number) {
        case 3:
            ok = length == 1;
            stat.state = field[0];
            break;
        case 4:
            ok = ParseInteger(field, length, &stat.ppid);
            break;
        case 14:
            ok = ParseUnsigned(field, length, &stat.utimeTicks);
            break;
        case 15:
            ok = ParseUnsigned(field, length, &stat.stimeTicks);
            break;
        case 18:
            ok = ParseInteger(field, length, &stat.priority);
            break;
        case 19:
            ok = ParseInteger(field, length, &stat.nice);
            break;
        case 20:
            ok = ParseInteger(field, length, &stat.numThreads);
            break;
        default:
            ok = ParseInteger(field, length, &ignored);
            break;
        }
        if (!ok) return false;
    }
    // Later fields: the start time and the policy, when they are there whole.
    for (int number = 21; number <= 41; ++number) {
        if (!cursor.Next(&field, &length)) break;
        if (number == 22) {
            if (!ParseUnsigned(field, length, &stat.startTicks)) break;
        } else if (number == 41) {
            int64_t policy;
            if (ParseInteger(field, length, &policy) && policy >= 0) stat.policy = policy;
        }
    }
    *out = std::move(stat);
    return true;
}

std::string ParseComm(const char *text, size_t size)
{
    if (!text) return std::string();
    if (size > 0 && text[size - 1] == '\n') --size;
    return std::string(text, size);
}

bool ParseMeminfo(const char *text, size_t size, uint64_t *totalBytes, uint64_t *availBytes)
{
    if (!text) return false;
    struct Entry {
        const char *key;
        uint64_t value;
        bool seen;
    };
    Entry entries[] = {{"MemTotal", 0, false},
                       {"MemAvailable", 0, false},
                       {"MemFree", 0, false},
                       {"Buffers", 0, false},
                       {"Cached", 0, false}};
    size_t at = 0;
    while (at < size) {
        const char *line = text + at;
        const char *newline = static_cast<const char *>(memchr(line, '\n', size - at));
        if (!newline) break; // a last line without its newline may have been cut
        size_t length = size_t(newline - line);
        at += length + 1;
        const char *colon = static_cast<const char *>(memchr(line, ':', length));
        if (!colon) continue;
        size_t keyLength = size_t(colon - line);
        size_t i = keyLength + 1;
        while (i < length && IsSpace(line[i]))
            ++i;
        size_t digits = i;
        while (i < length && line[i] >= '0' && line[i] <= '9')
            ++i;
        uint64_t value;
        if (!ParseUnsigned(line + digits, i - digits, &value)) continue;
        while (i < length && IsSpace(line[i]))
            ++i;
        size_t unit = length - i;
        if (unit == 2 && line[i] == 'k' && line[i + 1] == 'B') {
            value = value > UINT64_MAX / 1024 ? UINT64_MAX : value * 1024;
        } else if (unit != 0) {
            continue;
        }
        for (Entry &entry : entries) {
            if (!entry.seen && strlen(entry.key) == keyLength && memcmp(entry.key, line, keyLength) == 0) {
                entry.value = value;
                entry.seen = true;
            }
        }
    }
    if (!entries[0].seen) return false;
    uint64_t avail;
    if (entries[1].seen) {
        avail = entries[1].value;
    } else {
        avail = entries[2].value;
        for (int i = 3; i < 5; ++i)
            avail = avail > UINT64_MAX - entries[i].value ? UINT64_MAX : avail + entries[i].value;
    }
    // What is available never exceeds what there is, whatever the text says.
    if (avail > entries[0].value) avail = entries[0].value;
    if (totalBytes) *totalBytes = entries[0].value;
    if (availBytes) *availBytes = avail;
    return true;
}

bool ParseBootTime(const char *text, size_t size, uint64_t *bootSeconds)
{
    if (!text) return false;
    size_t at = 0;
    while (at < size) {
        const char *line = text + at;
        const char *newline = static_cast<const char *>(memchr(line, '\n', size - at));
        if (!newline) return false;
        size_t length = size_t(newline - line);
        at += length + 1;
        if (length > 6 && memcmp(line, "btime ", 6) == 0) {
            uint64_t value;
            if (!ParseUnsigned(line + 6, length - 6, &value)) return false;
            if (bootSeconds) *bootSeconds = value;
            return true;
        }
    }
    return false;
}

bool ParseCpuTimes(const char *text, size_t size, CpuTimes *out)
{
    if (!text || size < 4 || memcmp(text, "cpu ", 4) != 0) return false;
    const char *newline = static_cast<const char *>(memchr(text, '\n', size));
    if (!newline) return false;
    FieldCursor cursor{text, size_t(newline - text) + 1, 4};
    // user nice system idle iowait irq softirq steal guest guest_nice
    uint64_t fields[10] = {};
    int count = 0;
    const char *field;
    size_t length;
    while (count < 10 && cursor.Next(&field, &length)) {
        if (!ParseUnsigned(field, length, &fields[count])) return false;
        ++count;
    }
    if (count < 4) return false;
    uint64_t busy = 0, total = 0;
    for (int i = 0; i < 8; ++i) {
        // Sums of kernel counters never come near 2^64; a line that does is not one.
        if (total > UINT64_MAX - fields[i]) return false;
        total += fields[i];
        if (i != 3 && i != 4) busy += fields[i];
    }
    out->busy = busy;
    out->total = total;
    return true;
}

std::u16string Utf8ToWide(const char *bytes, size_t size)
{
    std::u16string out;
    if (!bytes) return out;
    out.reserve(size);
    const unsigned char *text = reinterpret_cast<const unsigned char *>(bytes);
    size_t at = 0;
    while (at < size)
        PutUnit(&out, DecodeOne(text, size, &at));
    return out;
}

size_t Utf8ToWide(const char *bytes, size_t size, WCHAR *out, size_t capacity)
{
    if (!out || capacity == 0) return 0;
    size_t written = 0;
    const unsigned char *text = reinterpret_cast<const unsigned char *>(bytes);
    size_t at = 0;
    while (bytes && at < size) {
        char32_t cp = DecodeOne(text, size, &at);
        size_t units = cp >= 0x10000 ? 2 : 1;
        if (written + units > capacity - 1) break;
        if (units == 2) {
            out[written++] = WCHAR(0xD800 + ((cp - 0x10000) >> 10));
            out[written++] = WCHAR(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out[written++] = WCHAR(cp);
        }
    }
    out[written] = 0;
    return written;
}

std::u16string DeviceName(const std::string &bytes)
{
    std::u16string name = Utf8ToWide(bytes.data(), bytes.size());
    for (char16_t &c : name)
        if (IsControl(c)) c = 0xFFFD;
    return name;
}

std::u16string DevicePath(const char *link, size_t size)
{
    std::u16string path = DeviceName(std::string(link ? link : "", link ? size : 0));
    for (char16_t &c : path)
        if (c == u'/') c = u'\\';
    return path;
}

size_t CopyToField(const std::u16string &text, WCHAR *field, size_t capacity)
{
    if (!field || capacity == 0) return 0;
    size_t count = text.size() < capacity - 1 ? text.size() : capacity - 1;
    if (count > 0 && count < text.size() && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF) --count;
    memcpy(field, text.data(), count * sizeof(WCHAR));
    field[count] = 0;
    return count;
}

uint64_t TicksTo100ns(uint64_t ticks, uint64_t ticksPerSecond)
{
    const uint64_t unitsPerSecond = 10000000;
    if (ticksPerSecond == 0) ticksPerSecond = 100;
    uint64_t seconds = ticks / ticksPerSecond, rest = ticks % ticksPerSecond;
    if (seconds > UINT64_MAX / unitsPerSecond) return UINT64_MAX;
    uint64_t whole = seconds * unitsPerSecond;
    // rest < ticksPerSecond, so rest * 10^7 overflows only for absurd tick rates.
    uint64_t part = rest <= UINT64_MAX / unitsPerSecond
                        ? rest * unitsPerSecond / ticksPerSecond
                        : uint64_t((unsigned __int128)rest * unitsPerSecond / ticksPerSecond);
    return whole > UINT64_MAX - part ? UINT64_MAX : whole + part;
}

LONG DevicePriority(int64_t nice, int64_t policy)
{
    if (policy == PolicyFifo || policy == PolicyRoundRobin || policy == PolicyDeadline) return 0;
    if (policy == PolicyIdle) return 7;
    if (nice <= -15) return 0;
    if (nice <= -10) return 1;
    if (nice <= -1) return 2;
    if (nice == 0) return 3;
    if (nice <= 9) return 4;
    if (nice <= 18) return 5;
    return 7;
}

} // namespace procfs
