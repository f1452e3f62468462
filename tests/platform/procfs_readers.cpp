// The /proc parsers on fixed texts: names the kernel really produces, lines
// cut short, broken UTF-8, and the conversions to device text and figures.
#include "platform/host/procfs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace procfs;

namespace {

// A stat line as the kernel writes it: pid 4242, parent 17, utime 250 ticks,
// stime 75, priority 20 + nice, 3 threads, start 9000 ticks, the policy last.
std::string StatLine(const std::string &name, int nice = 0, int policy = 0, int priority = -1000) {
    if (priority == -1000) priority = 20 + nice;
    return "4242 (" + name + ") S 17 4242 4242 0 -1 4194304 1200 0 3 0 250 75 0 0 " + std::to_string(priority) +
           " " + std::to_string(nice) + " 3 0 9000 12345678 456 18446744073709551615 1 1 0 0 0 0 0 4096 17922 0 0 "
           "0 17 1 0 " + std::to_string(policy) + " 0 0 0 0 0 0 0 0 0 0\n";
}

// Parse from a buffer of exactly the given bytes, so a read past the end
// lands outside the allocation (and the sanitizer build reports it).
bool ParseExact(const std::string &line, size_t size, Stat *out) {
    std::vector<char> bytes(line.begin(), line.begin() + size);
    return ParseStat(bytes.empty() ? "" : bytes.data(), bytes.size(), out);
}

std::string Narrow(const std::u16string &text) {
    std::string out;
    char hex[8];
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            snprintf(hex, sizeof hex, "\\u%04X", unsigned(c));
            out += hex;
        }
    }
    return out;
}

} // namespace

struct NameCase {
    const char *label;
    std::string name;
};

class StatNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(StatNames, NameIsEverythingBetweenFirstOpenAndLastClose) {
    const NameCase &c = GetParam();
    std::string line = StatLine(c.name);
    Stat stat;
    ASSERT_TRUE(ParseExact(line, line.size(), &stat)) << line;
    EXPECT_EQ(c.name, stat.comm);
    EXPECT_EQ(4242, stat.pid);
    EXPECT_EQ('S', stat.state);
    EXPECT_EQ(17, stat.ppid);
    EXPECT_EQ(250u, stat.utimeTicks);
    EXPECT_EQ(75u, stat.stimeTicks);
    EXPECT_EQ(20, stat.priority);
    EXPECT_EQ(0, stat.nice);
    EXPECT_EQ(3, stat.numThreads);
    EXPECT_EQ(9000u, stat.startTicks);
    EXPECT_EQ(0, stat.policy);
}

INSTANTIATE_TEST_SUITE_P(
    KernelNames, StatNames,
    ::testing::Values(NameCase{"plain", "bash"}, NameCase{"space", "a b"}, NameCase{"parentheses", "x) (y"},
                      NameCase{"close_then_fields", ") S 1 2 3"}, NameCase{"newline", "new\nline"},
                      NameCase{"empty", ""}, NameCase{"only_open", "((("}, NameCase{"only_close", ")))"},
                      NameCase{"fifteen_bytes", "abcdefghijklmno"},
                      // a name cut by the kernel at 15 bytes, inside a two-byte letter
                      NameCase{"cut_utf8", std::string("\xC3\x9C" "berwachungsd\xC3")}),
    [](const ::testing::TestParamInfo<NameCase> &info) { return std::string(info.param.label); });

TEST(StatLine, CutShortAtEveryLengthIsRefusedOrKeepsWholeFields) {
    const std::string line = StatLine("x) (y", -5, 0);
    Stat full;
    ASSERT_TRUE(ParseExact(line, line.size(), &full));
    // Fields 1..20 end with the space after "3" (num_threads): the 20th field.
    size_t close = line.rfind(')');
    size_t at = close + 1;
    for (int field = 3; field <= 20; ++field) at = line.find(' ', at + 1);
    const size_t needed = at + 1; // the space that ends field 20 must be there
    for (size_t size = 0; size <= line.size(); ++size) {
        Stat stat;
        stat.comm = "poison";
        bool ok = ParseExact(line, size, &stat);
        if (size < needed) {
            EXPECT_FALSE(ok) << "cut at " << size << ": '" << line.substr(0, size) << "'";
            EXPECT_EQ("poison", stat.comm) << "a refused line must leave the output alone, cut at " << size;
            continue;
        }
        ASSERT_TRUE(ok) << "cut at " << size;
        EXPECT_EQ(full.comm, stat.comm) << size;
        EXPECT_EQ(full.utimeTicks, stat.utimeTicks) << size;
        EXPECT_EQ(full.stimeTicks, stat.stimeTicks) << size;
        EXPECT_EQ(full.nice, stat.nice) << size;
        EXPECT_EQ(full.numThreads, stat.numThreads) << size;
        // Optional fields: either whole or the default, never a shorter number.
        EXPECT_TRUE(stat.startTicks == full.startTicks || stat.startTicks == 0) << size << ": " << stat.startTicks;
        EXPECT_TRUE(stat.policy == full.policy || stat.policy == 0) << size << ": " << stat.policy;
    }
}

TEST(StatLine, MalformedLinesAreRefused) {
    const std::string good = StatLine("ok");
    std::string utimeTooBig = good;
    utimeTooBig.replace(utimeTooBig.find(" 250 "), 5, " 18446744073709551616 ");
    std::string letters = good;
    letters.replace(letters.find(" 250 "), 5, " 2x0 ");
    std::string longState = good;
    longState.replace(longState.find(") S "), 4, ") SS ");
    const std::string cases[] = {
        "",
        "\n",
        "4242 ok) S 17\n",                      // no open parenthesis
        "4242 (ok S 17 4242\n",                 // no close parenthesis
        ")4242 (ok S 17 4242 4242 0\n",         // the only ')' comes before the '('
        "x42 " + good.substr(good.find('(')),   // pid not a number
        "-42 " + good.substr(good.find('(')),   // negative pid
        " " + good.substr(good.find('(')),      // no pid at all
        utimeTooBig,
        letters,
        longState,
    };
    for (const std::string &text : cases) {
        Stat stat;
        EXPECT_FALSE(ParseExact(text, text.size(), &stat)) << "'" << text << "'";
    }
    Stat stat;
    EXPECT_FALSE(ParseStat(nullptr, 10, &stat));
    EXPECT_FALSE(ParseStat(good.data(), good.size(), nullptr));
}

TEST(StatLine, RealTimeThreadsAndNiceValues) {
    Stat stat;
    std::string fifo = StatLine("irq/9-acpi", 0, 1, -51);
    ASSERT_TRUE(ParseExact(fifo, fifo.size(), &stat));
    EXPECT_EQ(-51, stat.priority);
    EXPECT_EQ(1, stat.policy);
    std::string niced = StatLine("khugepaged", 19, 0);
    ASSERT_TRUE(ParseExact(niced, niced.size(), &stat));
    EXPECT_EQ(19, stat.nice);
    EXPECT_EQ(39, stat.priority);
}

TEST(CommFile, OneTrailingNewlineIsDropped) {
    struct { std::string text, name; } cases[] = {
        {"bash\n", "bash"}, {"new\nline\n", "new\nline"}, {"x\n\n", "x\n"},
        {"cut", "cut"},     {"", ""},                     {"\n", ""},
        {"abcdefghijklmno\n", "abcdefghijklmno"},
    };
    for (const auto &c : cases) {
        std::vector<char> bytes(c.text.begin(), c.text.end());
        EXPECT_EQ(c.name, ParseComm(bytes.data(), bytes.size())) << "'" << c.text << "'";
    }
    EXPECT_EQ("", ParseComm(nullptr, 3));
}

struct Utf8Case {
    const char *label;
    std::string bytes;
    std::u16string text;
};

class Utf8Decoding : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, InvalidSequencesBecomeOneReplacementEach) {
    const Utf8Case &c = GetParam();
    EXPECT_EQ(Narrow(c.text), Narrow(Utf8ToWide(c.bytes.data(), c.bytes.size())));
    WCHAR buffer[64];
    memset(buffer, 0xAA, sizeof buffer);
    size_t written = Utf8ToWide(c.bytes.data(), c.bytes.size(), buffer, 64);
    EXPECT_EQ(c.text.size(), written);
    EXPECT_EQ(Narrow(c.text), Narrow(std::u16string(buffer, written)));
    EXPECT_EQ(0, buffer[written]);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Decoding,
    ::testing::Values(
        Utf8Case{"ascii", "init", u"init"}, Utf8Case{"two_bytes", "caf\xC3\xA9", u"caf\u00E9"},
        Utf8Case{"three_bytes", "\xE2\x82\xAC", u"\u20AC"},
        Utf8Case{"four_bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
        Utf8Case{"lone_continuation", "a\x80z", u"a\uFFFDz"}, Utf8Case{"ff", "\xFF", u"\uFFFD"},
        Utf8Case{"overlong_two", "\xC0\x80", u"\uFFFD\uFFFD"},
        Utf8Case{"overlong_three", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"past_max", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        Utf8Case{"cut_at_end", "ab\xE2\x82", u"ab\uFFFD"},
        Utf8Case{"cut_before_ascii", "\xE2\x82" "A", u"\uFFFDA"},
        Utf8Case{"nul_kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)}),
    [](const ::testing::TestParamInfo<Utf8Case> &info) { return std::string(info.param.label); });

TEST(Utf8Decoding, BoundedOutputNeverSplitsAPairAndAlwaysTerminates) {
    const std::string smiles = "ab\xF0\x9F\x98\x80";
    WCHAR buffer[8];
    memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(0u, Utf8ToWide(smiles.data(), smiles.size(), buffer, 0));
    EXPECT_EQ(0xAAAA, buffer[0]) << "capacity 0 must write nothing";

    EXPECT_EQ(0u, Utf8ToWide(smiles.data(), smiles.size(), buffer, 1));
    EXPECT_EQ(0, buffer[0]);

    memset(buffer, 0xAA, sizeof buffer);
    // Room for "ab" and one unit: the pair does not fit and is left out whole.
    EXPECT_EQ(2u, Utf8ToWide(smiles.data(), smiles.size(), buffer, 4));
    EXPECT_EQ(u'a', buffer[0]);
    EXPECT_EQ(u'b', buffer[1]);
    EXPECT_EQ(0, buffer[2]);
    EXPECT_EQ(0xAAAA, buffer[3]);

    EXPECT_EQ(4u, Utf8ToWide(smiles.data(), smiles.size(), buffer, 5));
    EXPECT_EQ(0xD83D, buffer[2]);
    EXPECT_EQ(0xDE00, buffer[3]);
    EXPECT_EQ(0, buffer[4]);
}

TEST(DeviceText, NamesAreOneVisibleLine) {
    EXPECT_EQ(Narrow(u"new\uFFFDline"), Narrow(DeviceName("new\nline")));
    EXPECT_EQ(Narrow(u"tab\uFFFDbell\uFFFDdel\uFFFD"), Narrow(DeviceName("tab\tbell\adel\x7F")));
    EXPECT_EQ(Narrow(u"x) (y"), Narrow(DeviceName("x) (y")));
    EXPECT_EQ(Narrow(u"\u00DCberwachungsd\uFFFD"), Narrow(DeviceName("\xC3\x9C" "berwachungsd\xC3")));
    EXPECT_EQ(Narrow(u"kworker/0:1"), Narrow(DeviceName("kworker/0:1"))) << "a name is not a path";
}

TEST(DeviceText, ProgramPathsUseBackslashes) {
    const std::string link = "/usr/lib/x86_64-linux-gnu/libexec/b\xFFz (deleted)";
    EXPECT_EQ(Narrow(u"\\usr\\lib\\x86_64-linux-gnu\\libexec\\b\uFFFDz (deleted)"),
              Narrow(DevicePath(link.data(), link.size())));
    EXPECT_EQ(u"", DevicePath(nullptr, 5));
}

TEST(DeviceText, FieldCopyKeepsRoomForTheTerminator) {
    WCHAR field[MAX_PATH + 4];
    memset(field, 0xAA, sizeof field);
    std::u16string longPath(400, u'p');
    EXPECT_EQ(size_t(MAX_PATH - 1), CopyToField(longPath, field, MAX_PATH));
    EXPECT_EQ(0, field[MAX_PATH - 1]);
    EXPECT_EQ(0xAAAA, field[MAX_PATH]) << "wrote past the field";

    // A pair that would straddle the last place is left out whole.
    std::u16string pairAtEnd(MAX_PATH - 2, u'q');
    pairAtEnd += u"\U0001F600";
    EXPECT_EQ(size_t(MAX_PATH - 2), CopyToField(pairAtEnd, field, MAX_PATH));
    EXPECT_EQ(0, field[MAX_PATH - 2]);

    EXPECT_EQ(3u, CopyToField(u"abc", field, MAX_PATH));
    EXPECT_EQ(u"abc", std::u16string(field));
    EXPECT_EQ(0u, CopyToField(u"abc", field, 1));
    EXPECT_EQ(0, field[0]);
}

TEST(Figures, ClockTicksTo100ns) {
    struct { uint64_t ticks, perSecond, expected; } cases[] = {
        {0, 100, 0},
        {1, 100, 100000},
        {150, 100, 15000000},         // 1.5 s
        {1, 300, 33333},              // a tick rate that doesn't divide 10^7
        {900, 300, 30000000},
        {7, 0, 700000},               // an unknown rate counts as 100
        {uint64_t(1) << 63, 100, UINT64_MAX},   // past what 64 bits of 100 ns hold
        {184467440737095ull, 100, 18446744073709500000ull},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, TicksTo100ns(c.ticks, c.perSecond)) << c.ticks << " ticks at " << c.perSecond;
}

TEST(Figures, PriorityRule) {
    struct { int64_t nice, policy; LONG expected; } cases[] = {
        {-20, PolicyNormal, 0}, {-15, PolicyNormal, 0}, {-14, PolicyNormal, 1}, {-10, PolicyNormal, 1},
        {-9, PolicyNormal, 2},  {-1, PolicyNormal, 2},  {0, PolicyNormal, 3},   {1, PolicyNormal, 4},
        {9, PolicyNormal, 4},   {10, PolicyNormal, 5},  {18, PolicyNormal, 5},  {19, PolicyNormal, 7},
        {0, PolicyFifo, 0},     {0, PolicyRoundRobin, 0}, {0, PolicyDeadline, 0}, {19, PolicyFifo, 0},
        {0, PolicyIdle, 7},     {-20, PolicyIdle, 7},   {5, PolicyBatch, 4},    {0, PolicyBatch, 3},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, DevicePriority(c.nice, c.policy)) << "nice " << c.nice << " policy " << c.policy;
    for (int nice = -20; nice <= 19; ++nice)
        EXPECT_NE(6, DevicePriority(nice, PolicyNormal)) << "level 6 has no name on the device; nice " << nice;
}

TEST(Meminfo, TotalAndAvailableInBytes) {
    const std::string text = "MemTotal:       24683736 kB\nMemFree:        23873120 kB\n"
                             "MemAvailable:   24255056 kB\nBuffers:           12 kB\nCached:   500 kB\n";
    uint64_t total = 1, avail = 1;
    ASSERT_TRUE(ParseMeminfo(text.data(), text.size(), &total, &avail));
    EXPECT_EQ(24683736ull * 1024, total);
    EXPECT_EQ(24255056ull * 1024, avail);
}

TEST(Meminfo, OldKernelsAndBrokenTexts) {
    uint64_t total = 1, avail = 1;
    const std::string old = "MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 20 kB\nCached: 300 kB\nSwapCached: 7 kB\n";
    ASSERT_TRUE(ParseMeminfo(old.data(), old.size(), &total, &avail));
    EXPECT_EQ(1000u * 1024, total);
    EXPECT_EQ(420u * 1024, avail) << "MemFree + Buffers + Cached without MemAvailable";

    const std::string inflated = "MemTotal: 10 kB\nMemAvailable: 99 kB\n";
    ASSERT_TRUE(ParseMeminfo(inflated.data(), inflated.size(), &total, &avail));
    EXPECT_EQ(total, avail) << "available is held to the total";

    const std::string cut = "MemTotal: 2048 kB\nMemAvailable: 10";
    ASSERT_TRUE(ParseMeminfo(cut.data(), cut.size(), &total, &avail));
    EXPECT_EQ(2048u * 1024, total);
    EXPECT_EQ(0u, avail) << "a cut last line is not read as a smaller number";

    total = avail = 77;
    const std::string refused[] = {"", "MemFree: 100 kB\n", "MemTotal: 12", "MemTotal: lots kB\n",
                                   "MemTotal: 12 MB\n", "MemTotal 12 kB\n"};
    for (const std::string &text : refused) {
        EXPECT_FALSE(ParseMeminfo(text.data(), text.size(), &total, &avail)) << "'" << text << "'";
        EXPECT_EQ(77u, total) << "'" << text << "'";
    }
}

TEST(BootTime, FromProcStat) {
    const std::string text = "cpu  1 2 3 4\nintr 5\nbtime 1700000000\nprocesses 9\n";
    uint64_t seconds = 0;
    ASSERT_TRUE(ParseBootTime(text.data(), text.size(), &seconds));
    EXPECT_EQ(1700000000u, seconds);
    const std::string cut = "cpu 1\nbtime 17000";
    EXPECT_FALSE(ParseBootTime(cut.data(), cut.size(), &seconds));
    const std::string none = "cpu 1\nbtimex 5\n";
    EXPECT_FALSE(ParseBootTime(none.data(), none.size(), &seconds));
}
