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
    int a;
    double f;
    const char *expected;
};

class FormatOneInt : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatOneInt, MatchesPrintf)
{
    const FormatCase &c = GetParam();
    WCHAR buffer[64];
    memset(buffer, 0xAA, sizeof buffer);
    int n = swprintf(buffer, 64, c.format, c.a);
    EXPECT_EQ(Narrow(buffer), c.expected) << "format " << Narrow(c.format);
    EXPECT_EQ(n, (int)strlen(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Integers, FormatOneInt,
                         ::testing::Values(FormatCase{u"%d", 0, 0, "0"}, FormatCase{u"%d", -42, 0, "-42"},
                                           FormatCase{u"%5d", 42, 0, "   42"}, FormatCase{u"%-5d|", 42, 0, "42   |"},
                                           FormatCase{u"%05d", -42, 0, "-0042"}, FormatCase{u"%+d", 7, 0, "+7"},
                                           FormatCase{u"% d", 7, 0, " 7"}, FormatCase{u"%.3d", 7, 0, "007"},
                                           FormatCase{u"%08.3d", 7, 0, "     007"},
                                           FormatCase{u"%u", -1, 0, "4294967295"},
                                           FormatCase{u"%x", 0xBEEF, 0, "beef"}, FormatCase{u"%X", 0xBEEF, 0, "BEEF"},
                                           FormatCase{u"%08X", 0x1234, 0, "00001234"},
                                           FormatCase{u"%lu", (int)3000000000u, 0, "3000000000"},
                                           FormatCase{u"%c", 'Q', 0, "Q"}, FormatCase{u"%3c", 'Q', 0, "  Q"},
                                           FormatCase{u"%d%%", 50, 0, "50%"},
                                           FormatCase{u"%i", -2147483647 - 1, 0, "-2147483648"}));

class FormatOneDouble : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatOneDouble, MatchesPrintf)
{
    const FormatCase &c = GetParam();
    WCHAR buffer[64];
    memset(buffer, 0xAA, sizeof buffer);
    int n = swprintf(buffer, 64, c.format, c.f);
    EXPECT_EQ(Narrow(buffer), c.expected) << "format " << Narrow(c.format);
    EXPECT_EQ(n, (int)strlen(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Floats, FormatOneDouble,
                         ::testing::Values(FormatCase{u"%4.1f", 0, 0.0, " 0.0"}, FormatCase{u"%4.1f", 0, 12.3, "12.3"},
                                           FormatCase{u"%4.1f", 0, 123.45, "123.5"},
                                           FormatCase{u"%4.1f", 0, 0.05, " 0.1"},
                                           FormatCase{u"%.2f", 0, 2.675, "2.67"}, // binary 2.67499...
                                           FormatCase{u"%f", 0, 1.5, "1.500000"},
                                           FormatCase{u"%06.1f", 0, -1.26, "-001.3"},
                                           FormatCase{u"%-6.1f|", 0, 3.0, "3.0   |"},
                                           FormatCase{u"%+.0f", 0, 2.6, "+3"}));

TEST(Format, WideStringsThroughBothSpellings)
{
    WCHAR buffer[64];
    memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(swprintf(buffer, 64, u"[%ls|%s]", u"ab", u"cd"), 7);
    EXPECT_EQ(Narrow(buffer), "[ab|cd]");
    EXPECT_EQ(swprintf(buffer, 64, u"[%5ls|%-4s|%.1ls]", u"ab", u"cd", u"xyz"), 14);
    EXPECT_EQ(Narrow(buffer), "[   ab|cd  |x]");
    EXPECT_EQ(swprintf(buffer, 64, u"%*d|%-*d|%.*f", 4, 1, 3, 2, 1, 0.25), 12);
    EXPECT_EQ(Narrow(buffer), "   1|2  |0.2");
}

TEST(Format, NonAsciiTextPassesThrough)
{
    WCHAR buffer[16];
    EXPECT_EQ(swprintf(buffer, 16, u"%ls\u00e9", u"\u4e2d"), 2);
    EXPECT_EQ(buffer[0], 0x4e2d);
    EXPECT_EQ(buffer[1], 0x00e9);
    EXPECT_EQ(buffer[2], 0);
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

TEST(Format, LongestDeadWindowReportFits)
{
    // The report with a 63-character class and a 259-character path.
    WCHAR cls[64], path[260], message[512];
    for (int i = 0; i < 63; i++) cls[i] = 'C';
    cls[63] = 0;
    for (int i = 0; i < 259; i++) path[i] = 'P';
    path[259] = 0;
    int n = swprintf(message, 512,
                     u"Whoops! One of the windows in the system seems to have become unresponsive. The window "
                     u"belongs to the %s class, and was created by the %s program.",
                     cls, path);
    EXPECT_EQ(n, 142 + 63 + 259);
    EXPECT_EQ((int)wcslen(message), n);
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
    EXPECT_EQ(buffer[2], 0);
    EXPECT_EQ(buffer[3], 0) << "wcsncpy pads to the count";
    EXPECT_EQ(buffer[4], 0xAAAA);
    memset(buffer, 0xAA, sizeof buffer);
    wcsncpy(buffer, u"abcdef", 3);
    EXPECT_EQ(buffer[3], 0xAAAA) << "a full copy is not terminated";
}

struct CompareCase {
    const WCHAR *a, *b;
    int exact;   // sign of wcscmp
    int folded;  // sign of _wcsicmp
};

int Sign(int v) { return (v > 0) - (v < 0); }

class Compare : public ::testing::TestWithParam<CompareCase> {};

TEST_P(Compare, Signs)
{
    const CompareCase &c = GetParam();
    EXPECT_EQ(Sign(wcscmp(c.a, c.b)), c.exact) << Narrow(c.a) << " vs " << Narrow(c.b);
    EXPECT_EQ(Sign(_wcsicmp(c.a, c.b)), c.folded) << Narrow(c.a) << " vs " << Narrow(c.b);
    EXPECT_EQ(Sign(wcscmp(c.b, c.a)), -c.exact);
}

INSTANTIATE_TEST_SUITE_P(Pairs, Compare,
                         ::testing::Values(CompareCase{u"abc", u"abc", 0, 0}, CompareCase{u"abc", u"abd", -1, -1},
                                           CompareCase{u"ab", u"abc", -1, -1}, CompareCase{u"ABC", u"abc", -1, 0},
                                           CompareCase{u"HHTaskBar", u"hhtaskbar", -1, 0},
                                           // folding goes to lower case: '_' (0x5F) sorts before 'a'
                                           CompareCase{u"_", u"A", 1, -1},
                                           CompareCase{u"\u00c9", u"\u00e9", -1, -1}, // only ASCII folds
                                           CompareCase{u"", u"", 0, 0}));

TEST(Text, BoundedCompare)
{
    EXPECT_EQ(wcsncmp(u"abcX", u"abcY", 3), 0);
    EXPECT_LT(wcsncmp(u"abcX", u"abcY", 4), 0);
    EXPECT_LT(wcsncmp(u"ab", u"abc", 5), 0);
    EXPECT_EQ(wcsncmp(u"ab", u"ab", 5), 0);
}

} // namespace
