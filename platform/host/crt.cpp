// Run-time text functions for 16-bit WCHAR text.
//
// Linux's own wide functions work on 32-bit wchar_t, so the device supplies
// these. Formatting follows the platform's run-time library: %s and %ls both
// take wide text (as its wide printf family does), "l" on integers means a
// 32-bit long (LLP64), and a call that does not fit returns -1 and leaves a
// terminated, truncated text.
//
// Not implemented: %n, %a, the "h" width on strings (narrow text). An
// unknown conversion is copied through as written.

#include "../platform.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

size_t wcslen(const WCHAR *text)
{
    const WCHAR *p = text;
    while (*p)
        p++;
    return (size_t)(p - text);
}

WCHAR *wcscpy(WCHAR *dest, const WCHAR *source)
{
    WCHAR *d = dest;
    while ((*d++ = *source++) != 0) {
    }
    return dest;
}

WCHAR *wcsncpy(WCHAR *dest, const WCHAR *source, size_t count)
{
    size_t i = 0;
    for (; i < count && source[i]; i++)
        dest[i] = source[i];
    for (; i < count; i++)
        dest[i] = 0; // pads with zeros, and does not terminate a full copy
    return dest;
}

WCHAR *wcscat(WCHAR *dest, const WCHAR *source)
{
    wcscpy(dest + wcslen(dest), source);
    return dest;
}

const WCHAR *wcschr(const WCHAR *text, WCHAR c)
{
    for (;; text++) {
        if (*text == c) return text; // finds the terminator when c is 0
        if (!*text) return nullptr;
    }
}

WCHAR *wcschr(WCHAR *text, WCHAR c)
{
    return const_cast<WCHAR *>(wcschr(const_cast<const WCHAR *>(text), c));
}

const WCHAR *wcsrchr(const WCHAR *text, WCHAR c)
{
    const WCHAR *found = nullptr;
    for (;; text++) {
        if (*text == c) found = text;
        if (!*text) return found;
    }
}

WCHAR *wcsrchr(WCHAR *text, WCHAR c)
{
    return const_cast<WCHAR *>(wcsrchr(const_cast<const WCHAR *>(text), c));
}

int wcscmp(const WCHAR *a, const WCHAR *b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return (int)*a - (int)*b;
}

int wcsncmp(const WCHAR *a, const WCHAR *b, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        if (a[i] != b[i] || !a[i]) return (int)a[i] - (int)b[i];
    }
    return 0;
}

// The C locale folds only ASCII letters, and folds to lower case: "_" sorts
// after "Z" but before "a".
static int FoldAscii(WCHAR c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

int _wcsicmp(const WCHAR *a, const WCHAR *b)
{
    for (;; a++, b++) {
        int ca = FoldAscii(*a), cb = FoldAscii(*b);
        if (ca != cb || !ca) return ca - cb;
    }
}

namespace {

// Output that never writes past count and remembers whether anything was cut.
struct Sink {
    WCHAR *buffer;
    size_t count;
    size_t length = 0;
    bool overflow = false;

    void Put(WCHAR c)
    {
        if (length + 1 < count)
            buffer[length++] = c;
        else
            overflow = true;
    }
    void Repeat(WCHAR c, int n)
    {
        for (int i = 0; i < n; i++)
            Put(c);
    }
};

struct Directive {
    bool left = false, zero = false, space = false, plus = false, alt = false;
    int width = 0;
    int precision = -1;
};

// Lays out sign/prefix, zero or space padding and the digits as printf does.
void EmitNumber(Sink &out, const Directive &directive, const char *prefix, const char *digits, bool allowZeroPad)
{
    int prefixLen = (int)strlen(prefix), digitLen = (int)strlen(digits);
    int zeros = 0;
    if (directive.precision > digitLen) zeros = directive.precision - digitLen;
    int body = prefixLen + zeros + digitLen;
    int pad = directive.width > body ? directive.width - body : 0;
    if (!directive.left && !(directive.zero && allowZeroPad)) out.Repeat(u' ', pad);
    for (int i = 0; i < prefixLen; i++)
        out.Put((WCHAR)prefix[i]);
    if (!directive.left && directive.zero && allowZeroPad) out.Repeat(u'0', pad);
    out.Repeat(u'0', zeros);
    for (int i = 0; i < digitLen; i++)
        out.Put((WCHAR)digits[i]);
    if (directive.left) out.Repeat(u' ', pad);
}

void FormatInteger(Sink &out, const Directive &directive, WCHAR conv, uint64_t magnitude, bool negative)
{
    char digits[32];
    int n = 0;
    unsigned base = (conv == 'x' || conv == 'X') ? 16 : (conv == 'o' ? 8 : 10);
    const char *set = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char reversed[32];
    // Precision 0 with the value 0 prints no digits at all.
    if (!(magnitude == 0 && directive.precision == 0)) {
        do {
            reversed[n++] = set[magnitude % base];
            magnitude /= base;
        } while (magnitude);
    }
    for (int i = 0; i < n; i++)
        digits[i] = reversed[n - 1 - i];
    digits[n] = 0;

    char prefix[4] = {0};
    bool isSigned = conv == 'd' || conv == 'i';
    if (isSigned) {
        if (negative)
            strcpy(prefix, "-");
        else if (directive.plus)
            strcpy(prefix, "+");
        else if (directive.space)
            strcpy(prefix, " ");
    } else if (directive.alt && base == 16 && n > 0) {
        strcpy(prefix, conv == 'X' ? "0X" : "0x");
    }
    // A precision turns zero padding off, as in printf.
    EmitNumber(out, directive, prefix, digits, directive.precision < 0);
}

void FormatFloat(Sink &out, const Directive &directive, WCHAR conv, double value)
{
    // The host's printf rounds exactly; only the layout is rebuilt here so the
    // flags behave the same as for integers.
    char format[32];
    char text[512];
    int precision = directive.precision < 0 ? 6 : directive.precision;
    if (precision > 100) precision = 100;
    snprintf(format, sizeof format, "%%%s%s%s%s.%d%c", directive.plus ? "+" : "", directive.space ? " " : "",
             directive.alt ? "#" : "", "", precision, (char)conv);
    snprintf(text, sizeof text, format, value);
    const char *digits = text;
    char prefix[2] = {0};
    if (*digits == '-' || *digits == '+' || *digits == ' ') {
        prefix[0] = *digits;
        digits++;
    }
    bool finite = value == value && value - value == 0;
    Directive layout = directive;
    layout.precision = -1;
    EmitNumber(out, layout, prefix, digits, finite);
}

void FormatText(Sink &out, const Directive &directive, const WCHAR *text)
{
    static const WCHAR nullText[] = u"(null)";
    if (!text) text = nullText;
    int length = 0;
    while (text[length] && (directive.precision < 0 || length < directive.precision))
        length++;
    int pad = directive.width > length ? directive.width - length : 0;
    if (!directive.left) out.Repeat(u' ', pad);
    for (int i = 0; i < length; i++)
        out.Put(text[i]);
    if (directive.left) out.Repeat(u' ', pad);
}

} // namespace

int vswprintf(WCHAR *buffer, size_t count, const WCHAR *format, va_list args)
{
    if (!buffer || count == 0) return -1;
    Sink out{buffer, count};
    va_list ap;
    va_copy(ap, args);
    const WCHAR *f = format;
    while (*f) {
        if (*f != '%') {
            out.Put(*f++);
            continue;
        }
        const WCHAR *start = f++;
        if (*f == '%') {
            out.Put(u'%');
            f++;
            continue;
        }
        Directive directive;
        for (;; f++) {
            if (*f == '-')
                directive.left = true;
            else if (*f == '0')
                directive.zero = true;
            else if (*f == ' ')
                directive.space = true;
            else if (*f == '+')
                directive.plus = true;
            else if (*f == '#')
                directive.alt = true;
            else
                break;
        }
        if (*f == '*') {
            directive.width = va_arg(ap, int);
            if (directive.width < 0) {
                directive.left = true;
                directive.width = -directive.width;
            }
            f++;
        } else {
            while (*f >= '0' && *f <= '9')
                directive.width = directive.width * 10 + (*f++ - '0');
        }
        if (*f == '.') {
            f++;
            directive.precision = 0;
            if (*f == '*') {
                directive.precision = va_arg(ap, int);
                if (directive.precision < 0) directive.precision = -1;
                f++;
            } else {
                while (*f >= '0' && *f <= '9')
                    directive.precision = directive.precision * 10 + (*f++ - '0');
            }
        }
        // Length: "l" is 32 bits on this platform (LLP64); "ll" and "I64" are 64.
        bool wide64 = false;
        if (f[0] == 'l' && f[1] == 'l') {
            wide64 = true;
            f += 2;
        } else if (f[0] == 'I' && f[1] == '6' && f[2] == '4') {
            wide64 = true;
            f += 3;
        } else if (f[0] == 'z' || f[0] == 'j' || f[0] == 't') {
            wide64 = true;
            f++;
        } else if (f[0] == 'l' || f[0] == 'h' || f[0] == 'w')
            f++;

        WCHAR conv = *f;
        if (!conv) break;
        f++;
        switch (conv) {
        case 'd':
        case 'i': {
            int64_t v = wide64 ? va_arg(ap, long long) : va_arg(ap, int);
            uint64_t magnitude = v < 0 ? (uint64_t)0 - (uint64_t)v : (uint64_t)v;
            FormatInteger(out, directive, conv, magnitude, v < 0);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            uint64_t v = wide64 ? va_arg(ap, unsigned long long) : va_arg(ap, unsigned int);
            FormatInteger(out, directive, conv, v, false);
            break;
        }
        case 'p': {
            Directive p = directive;
            p.precision = 16;
            FormatInteger(out, p, 'X', (uint64_t)(uintptr_t)va_arg(ap, void *), false);
            break;
        }
        case 'c': {
            WCHAR c[2] = {(WCHAR)va_arg(ap, int), 0};
            Directive s = directive;
            s.precision = -1;
            if (!c[0]) {
                // The character 0 is written, which ends the visible text.
                int pad = s.width > 1 ? s.width - 1 : 0;
                if (!s.left) out.Repeat(u' ', pad);
                out.Put(0);
                if (s.left) out.Repeat(u' ', pad);
            } else {
                FormatText(out, s, c);
            }
            break;
        }
        case 's':
        case 'S':
            FormatText(out, directive, va_arg(ap, const WCHAR *));
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
            FormatFloat(out, directive, conv, va_arg(ap, double));
            break;
        default:
            while (start < f)
                out.Put(*start++);
            break;
        }
    }
    va_end(ap);
    buffer[out.length] = 0;
    return out.overflow ? -1 : (int)out.length;
}

int swprintf(WCHAR *buffer, size_t count, const WCHAR *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vswprintf(buffer, count, format, args);
    va_end(args);
    return n;
}
