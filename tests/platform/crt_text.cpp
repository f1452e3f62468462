// Wide text functions of the device's run-time library: the monitor's texts
// must come out character for character as the platform formats them.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>

namespace {

std::string Narrow(const WCHAR *text)
{
    std::string s;
    for (; *text; text++) s += *text < 128 ? (char)*text : '?';
    return s;
}

struct FormatCase {
    const WCHAR *format;
    bool real; // pass f instead of a
    int a;
    double f;
    const char *expected;
};

const FormatCase kFormats[] = {
    {u"%d", 0, 0, 0, "0"}, {u"%d", 0, -42, 0, "-42"}, {u"%5d", 0, 42, 0, "   42"}, {u"%-5d|", 0, 42, 0, "42   |"},
    {u"%05d", 0, -42, 0, "-0042"}, {u"%+d", 0, 7, 0, "+7"}, {u"% d", 0, 7, 0, " 7"}, {u"%.3d", 0, 7, 0, "007"},
    {u"%08.3d", 0, 7, 0, "     007"}, {u"%u", 0, -1, 0, "4294967295"}, {u"%x", 0, 0xBEEF, 0, "beef"},
    {u"%X", 0, 0xBEEF, 0, "BEEF"}, {u"%08X", 0, 0x1234, 0, "00001234"},
    {u"%lu", 0, (int)3000000000u, 0, "3000000000"}, {u"%c", 0, 'Q', 0, "Q"}, {u"%3c", 0, 'Q', 0, "  Q"},
    {u"%d%%", 0, 50, 0, "50%"}, {u"%i", 0, -2147483647 - 1, 0, "-2147483648"},
    {u"%4.1f", 1, 0, 0.0, " 0.0"}, {u"%4.1f", 1, 0, 12.3, "12.3"}, {u"%4.1f", 1, 0, 123.45, "123.5"},
    {u"%4.1f", 1, 0, 0.05, " 0.1"}, {u"%.2f", 1, 0, 2.675, "2.67"}, // binary 2.67499...
    {u"%f", 1, 0, 1.5, "1.500000"}, {u"%06.1f", 1, 0, -1.26, "-001.3"}, {u"%-6.1f|", 1, 0, 3.0, "3.0   |"},
    {u"%+.0f", 1, 0, 2.6, "+3"},
};

TEST(Format, OneValueMatchesPrintf)
{
    for (const FormatCase &c : kFormats) {
        WCHAR buffer[64];
        memset(buffer, 0xAA, sizeof buffer);
        int n = c.real ? swprintf(buffer, 64, c.format, c.f) : swprintf(buffer, 64, c.format, c.a);
        EXPECT_EQ(Narrow(buffer), c.expected) << "format " << Narrow(c.format);
        EXPECT_EQ(n, (int)strlen(c.expected)) << "format " << Narrow(c.format);
    }
}

TEST(Format, StringsStarsAndNonAscii)
{
    WCHAR buffer[64];
    memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(swprintf(buffer, 64, u"[%ls|%s]", u"ab", u"cd"), 7);
    EXPECT_EQ(Narrow(buffer), "[ab|cd]");
    EXPECT_EQ(swprintf(buffer, 64, u"[%5ls|%-4s|%.1ls]", u"ab", u"cd", u"xyz"), 14);
    EXPECT_EQ(Narrow(buffer), "[   ab|cd  |x]");
    EXPECT_EQ(swprintf(buffer, 64, u"%*d|%-*d|%.*f", 4, 1, 3, 2, 1, 0.25), 12);
    EXPECT_EQ(Narrow(buffer), "   1|2  |0.2");
    EXPECT_EQ(swprintf(buffer, 16, u"%ls\u00e9", u"\u4e2d"), 2);
    EXPECT_TRUE(buffer[0] == 0x4e2d && buffer[1] == 0x00e9 && buffer[2] == 0)
        << std::hex << buffer[0] << " " << buffer[1] << " " << buffer[2];
}

TEST(Format, TruncatesTerminatedAndReportsMinusOne)
{
    WCHAR buffer[8];
    memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(swprintf(buffer, 6, u"%d apples", 12), -1);
    EXPECT_EQ(Narrow(buffer), "12 ap");
    EXPECT_EQ(buffer[6], 0xAAAA) << "wrote past the count";

    // Exactly fitting: five characters and the terminator.
    memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(swprintf(buffer, 6, u"%ls", u"abcde"), 5);
    EXPECT_EQ(Narrow(buffer), "abcde");

    memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(swprintf(buffer, 1, u"x"), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0xAAAA);
}

TEST(Text, CopyConcatAndSearch)
{
    WCHAR buffer[16];
    memset(buffer, 0xAA, sizeof buffer);
    wcscpy(buffer, u"abc");
    wcscat(buffer, u"\\de\\f");
    EXPECT_EQ(Narrow(buffer), "abc\\de\\f");
    EXPECT_EQ(wcslen(buffer), 8u);
    EXPECT_EQ(wcschr(buffer, u'\\') - buffer, 3);
    EXPECT_EQ(wcsrchr(buffer, u'\\') - buffer, 6);
    EXPECT_EQ(wcschr(buffer, u'z'), nullptr);
    EXPECT_EQ(wcschr(buffer, 0) - buffer, 8) << "the terminator is part of the string";
    EXPECT_EQ(wcsrchr(buffer, u'z'), nullptr);

    memset(buffer, 0xAA, sizeof buffer);
    wcsncpy(buffer, u"ab", 4);
    EXPECT_TRUE(buffer[2] == 0 && buffer[3] == 0) << "wcsncpy pads to the count";
    EXPECT_EQ(buffer[4], 0xAAAA);
    memset(buffer, 0xAA, sizeof buffer);
    wcsncpy(buffer, u"abcdef", 3);
    EXPECT_EQ(buffer[3], 0xAAAA) << "a full copy is not terminated";
}

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(Text, CompareSigns)
{
    const struct {
        const WCHAR *a, *b;
        int exact, folded; // signs of wcscmp and _wcsicmp
        size_t n;
        int bounded; // sign of wcsncmp(a, b, n)
    } cases[] = {
        {u"abc", u"abc", 0, 0, 5, 0}, {u"abc", u"abd", -1, -1, 2, 0}, {u"ab", u"abc", -1, -1, 5, -1},
        {u"ABC", u"abc", -1, 0, 3, -1}, {u"HHTaskBar", u"hhtaskbar", -1, 0, 0, 0},
        // folding goes to lower case: '_' (0x5F) sorts before 'a'
        {u"_", u"A", 1, -1, 1, 1},
        {u"\u00c9", u"\u00e9", -1, -1, 1, -1}, // only ASCII folds
        {u"", u"", 0, 0, 1, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Sign(wcscmp(c.a, c.b)), c.exact) << Narrow(c.a) << " vs " << Narrow(c.b);
        EXPECT_EQ(Sign(wcscmp(c.b, c.a)), -c.exact) << Narrow(c.b) << " vs " << Narrow(c.a);
        EXPECT_EQ(Sign(_wcsicmp(c.a, c.b)), c.folded) << Narrow(c.a) << " vs " << Narrow(c.b);
        EXPECT_EQ(Sign(wcsncmp(c.a, c.b, c.n)), c.bounded) << Narrow(c.a) << " vs " << Narrow(c.b) << " n " << c.n;
    }
}

} // namespace
