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

TEST(Format, NumbersAndStringsMatchPrintf)
{
    const struct {
        const WCHAR *format;
        bool real; // pass f instead of a
        int a;
        double f;
        const char *expected;
    } cases[] = {
        {u"%d", 0, -2147483647 - 1, 0, "-2147483648"}, {u"%-5d|", 0, 42, 0, "42   |"}, {u"%02d", 0, 7, 0, "07"},
        {u"%4.1f", 1, 0, 0.0, " 0.0"}, {u"%4.1f", 1, 0, 123.45, "123.5"}, {u"%4.1f", 1, 0, 0.05, " 0.1"},
        {u"%.2f", 1, 0, 2.675, "2.67"}, // binary 2.67499...
    };
    WCHAR buffer[64];
    for (const auto &c : cases) {
        memset(buffer, 0xAA, sizeof buffer);
        int n = c.real ? swprintf(buffer, 64, c.format, c.f) : swprintf(buffer, 64, c.format, c.a);
        EXPECT_EQ(Narrow(buffer), c.expected) << "format " << Narrow(c.format);
        EXPECT_EQ(n, (int)strlen(c.expected)) << "format " << Narrow(c.format);
    }
    memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(swprintf(buffer, 64, u"[%5ls|%-4s|%.1ls]", u"ab", u"cd", u"xyz"), 14);
    EXPECT_EQ(Narrow(buffer), "[   ab|cd  |x]");
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
}

TEST(Text, ConcatSearchAndCompare)
{
    WCHAR buffer[16];
    memset(buffer, 0xAA, sizeof buffer);
    buffer[0] = 0;
    wcscat(buffer, u"abc");
    wcscat(buffer, u"\\de");
    EXPECT_EQ(Narrow(buffer), "abc\\de");
    EXPECT_EQ(wcslen(buffer), 6u);
    EXPECT_EQ(wcschr(buffer, u'\\') - buffer, 3);
    EXPECT_EQ(wcschr(buffer, u'z'), nullptr);

    const struct {
        const WCHAR *a, *b;
        int exact, folded; // signs of wcscmp and _wcsicmp
    } cases[] = {
        {u"abc", u"abd", -1, -1}, {u"ab", u"abc", -1, -1}, {u"HHTaskBar", u"hhtaskbar", -1, 0},
        {u"_", u"A", 1, -1}, // folding goes to lower case: '_' (0x5F) sorts before 'a'
        {u"\u00c9", u"\u00e9", -1, -1}, // only ASCII folds
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const auto &c : cases) {
        EXPECT_EQ(sign(wcscmp(c.a, c.b)), c.exact) << Narrow(c.a) << " vs " << Narrow(c.b);
        EXPECT_EQ(sign(_wcsicmp(c.a, c.b)), c.folded) << Narrow(c.a) << " vs " << Narrow(c.b);
        EXPECT_EQ(sign(_wcsicmp(c.b, c.a)), -c.folded) << Narrow(c.b) << " vs " << Narrow(c.a);
    }
}

} // namespace
