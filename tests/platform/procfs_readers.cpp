// The /proc readers on fixed texts and a fixed tree: names the kernel really
// produces, lines cut short, broken UTF-8, processes that vanish between the
// directory walk and the read, refused program links, and the conversions to
// device text and figures. The fuzz targets only look for crashes and broken
// bounds; the values are checked here.
#include "platform/host/procfs.h"
#include "tests/support/proc_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

using namespace procfs;

namespace {

// A stat line as the kernel writes it: pid 4242, parent 17, utime 250 ticks,
// stime 75, priority 20 + nice, 3 threads, start 9000 ticks, the policy last.
std::string StatLine(const std::string &name, int nice = 0)
{
    return "4242 (" + name + ") S 17 4242 4242 0 -1 4194304 1200 0 3 0 250 75 0 0 " + std::to_string(20 + nice) + " " +
           std::to_string(nice) +
           " 3 0 9000 12345678 456 18446744073709551615 1 1 0 0 0 0 0 4096 17922 0 0 "
           "0 17 1 0 0 0 0 0 0 0 0 0 0 0 0\n";
}

// Parse from a buffer of exactly the given bytes, so a read past the end
// lands outside the allocation (and the sanitizer build reports it).
bool ParseExact(const std::string &line, size_t size, Stat *out)
{
    std::vector<char> bytes(line.begin(), line.begin() + size);
    return ParseStat(bytes.empty() ? "" : bytes.data(), bytes.size(), out);
}

// Every field after the name, in line order, for one comparison.
std::string Fields(const Stat &s)
{
    std::ostringstream o;
    o << s.pid << ' ' << s.state << ' ' << s.ppid << ' ' << s.utimeTicks << ' ' << s.stimeTicks << ' ' << s.priority
      << ' ' << s.nice << ' ' << s.numThreads << ' ' << s.startTicks << ' ' << s.policy;
    return o.str();
}

std::string Narrow(const std::u16string &text)
{
    std::string out;
    char hex[8];
    for (char16_t c : text)
        out +=
            c >= 0x20 && c < 0x7F ? std::string(1, char(c)) : (snprintf(hex, sizeof hex, "\\u%04X", unsigned(c)), hex);
    return out;
}

const std::string cutUtf8 = "\xC3\x9C"
                            "berwachungsd\xC3"; // cut by the kernel at 15 bytes, mid-letter

} // namespace

TEST(StatLine, NameIsEverythingBetweenFirstOpenAndLastClose)
{
    // Spaces, parentheses, newlines, the 15-byte cut, and a cut letter.
    for (const std::string name : {"a b", "x) (y", ") S 1 2 3", "new\nline", "", "abcdefghijklmno", cutUtf8.c_str()}) {
        std::string line = StatLine(name);
        Stat stat;
        ASSERT_TRUE(ParseExact(line, line.size(), &stat)) << line;
        EXPECT_EQ(name, stat.comm);
        EXPECT_EQ("4242 S 17 250 75 20 0 3 9000 0", Fields(stat)) << ::testing::PrintToString(name);
    }
}

TEST(StatLine, CutShortAtEveryLengthIsRefusedOrKeepsWholeFields)
{
    const std::string line = StatLine("x) (y", -5);
    Stat full;
    ASSERT_TRUE(ParseExact(line, line.size(), &full));
    size_t at = line.rfind(')') + 1;
    for (int field = 3; field <= 20; ++field)
        at = line.find(' ', at + 1);
    const size_t needed = at + 1; // the space that ends field 20 (num_threads) must be there
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
        // Optional fields: either whole or the default, never a shorter number.
        Stat expected = full;
        if (stat.startTicks == 0) expected.startTicks = 0;
        if (stat.policy == 0) expected.policy = 0;
        EXPECT_EQ(Fields(expected), Fields(stat)) << "cut at " << size;
    }
}

TEST(StatLine, MalformedLinesAreRefused)
{
    std::string overflow = StatLine("ok");
    overflow.replace(overflow.find(" 250 "), 5, " 18446744073709551616 ");
    const std::string cases[] = {")4242 (ok S 17 4242 4242 0\n", "-42" + StatLine("ok").substr(4), overflow};
    for (const std::string &text : cases) {
        Stat stat;
        EXPECT_FALSE(ParseExact(text, text.size(), &stat)) << "'" << text << "'";
    }
}

TEST(CommFile, OneTrailingNewlineIsDropped)
{
    for (const auto &c : std::vector<std::pair<std::string, std::string>>{
             {"new\nline\n", "new\nline"}, {"x\n\n", "x\n"}, {"cut", "cut"}, {"\n", ""}})
        EXPECT_EQ(c.second, ParseComm(c.first.data(), c.first.size())) << "'" << c.first << "'";
}

TEST(DeviceText, BrokenUtf8ControlsAndSlashes)
{
    struct {
        const char *label;
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"lone continuation", "a\x80z", u"a\uFFFDz"},
        {"overlong", "\xC0\x80", u"\uFFFD\uFFFD"},
        {"surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"cut before ascii", "\xE2\x82\x41", u"\uFFFDA"}, // \x41: the A
        {"kernel cut", cutUtf8, u"\u00DCberwachungsd\uFFFD"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Narrow(c.text), Narrow(Utf8ToWide(c.bytes.data(), c.bytes.size()))) << c.label;

    EXPECT_EQ(Narrow(u"new\uFFFDline"), Narrow(DeviceName("new\nline")));
    EXPECT_EQ("kworker/0:1", Narrow(DeviceName("kworker/0:1"))) << "a name is not a path";
    const std::string link = "/usr/libexec/b\xFFz (deleted)";
    EXPECT_EQ(Narrow(u"\\usr\\libexec\\b\uFFFDz (deleted)"), Narrow(DevicePath(link.data(), link.size())));
}

TEST(Figures, ClockTicksAndPriorities)
{
    struct {
        uint64_t ticks, perSecond, expected;
    } ticks[] = {// an unknown rate counts as 100
                 {1, 300, 33333},
                 {7, 0, 700000},
                 {uint64_t(1) << 63, 100, UINT64_MAX},
                 {184467440737095ull, 100, 18446744073709500000ull}};
    for (const auto &c : ticks)
        EXPECT_EQ(c.expected, TicksTo100ns(c.ticks, c.perSecond)) << c.ticks << " ticks at " << c.perSecond;

    // Every boundary of the nice ranges, and the policies that override nice.
    struct {
        int64_t nice, policy;
        LONG expected;
    } priorities[] = {
        {-15, PolicyNormal, 0},   {-14, PolicyNormal, 1}, {-10, PolicyNormal, 1}, {-9, PolicyNormal, 2},
        {-1, PolicyNormal, 2},    {0, PolicyNormal, 3},   {1, PolicyNormal, 4},   {9, PolicyNormal, 4},
        {10, PolicyNormal, 5},    {18, PolicyNormal, 5},  {19, PolicyNormal, 7},  {19, PolicyFifo, 0},
        {0, PolicyRoundRobin, 0}, {0, PolicyDeadline, 0}, {-20, PolicyIdle, 7},   {5, PolicyBatch, 4},
    };
    for (const auto &c : priorities)
        EXPECT_EQ(c.expected, DevicePriority(c.nice, c.policy)) << "nice " << c.nice << " policy " << c.policy;
}

TEST(Figures, MeminfoInBytesOnOldKernelsAndBrokenTexts)
{
    uint64_t total = 1, avail = 1;
    struct {
        const char *text, *why;
        uint64_t total, avail;
    } read[] = {
        {"MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 20 kB\nCached: 300 kB\nSwapCached: 7 kB\n",
         "MemFree + Buffers + Cached without MemAvailable", 1000, 420},
        {"MemTotal: 2048 kB\nMemAvailable: 10", "a cut last line is not read as a smaller number", 2048, 0},
    };
    for (const auto &c : read) {
        ASSERT_TRUE(ParseMeminfo(c.text, strlen(c.text), &total, &avail)) << c.why;
        EXPECT_EQ(c.total * 1024, total) << c.why;
        EXPECT_EQ(c.avail * 1024, avail) << c.why;
    }
    total = avail = 77;
    for (const char *text : {"MemFree: 100 kB\n", "MemTotal: 12", "MemTotal: 12 MB\n"})
        EXPECT_FALSE(ParseMeminfo(text, strlen(text), &total, &avail) || total != 77) << "'" << text << "' " << total;
}

// ---------------------------------------------------------- the tables

namespace {

struct FixedTree : ProcTree {
    // A thread stat: utime and stime in ticks, its nice value and policy.
    static std::string Stat(unsigned id, const std::string &name, unsigned utime, unsigned stime, int nice = 0,
                            int policy = 0)
    {
        return std::to_string(id) + " (" + name + ") S 1 1 1 0 -1 0 0 0 0 0 " + std::to_string(utime) + " " +
               std::to_string(stime) + " 0 0 " + std::to_string(20 + nice) + " " + std::to_string(nice) +
               " 1 0 500 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 " + std::to_string(policy) + " 0 0 0\n";
    }
    // Threads get utime = their id in ticks and stime 1.
    void Process(unsigned pid, const std::string &name, std::vector<unsigned> tids)
    {
        std::string dir = "/p/" + std::to_string(pid);
        dirs["/p"].push_back(std::to_string(pid));
        files[dir + "/stat"] = Stat(pid, name, 0, 0);
        dirs[dir + "/task"];
        for (unsigned tid : tids) {
            dirs[dir + "/task"].push_back(std::to_string(tid));
            files[dir + "/task/" + std::to_string(tid) + "/stat"] = Stat(tid, name, tid, 1);
        }
    }
};

} // namespace

TEST(ProcTables, VanishedRefusedAndBrokenEntries)
{
    FixedTree tree;
    tree.dirs["/p"] = {"self", "0042x"};
    tree.Process(1, "systemd", {1});
    tree.links["/p/1/exe"] = "/usr/lib/systemd/systemd";
    tree.Process(2, "kthreadd", {2}); // a kernel thread: no program link at all
    tree.Process(100, "a b", {100, 101});
    tree.errors["/p/100/exe"] = EACCES; // another user's program
    tree.Process(150, "new\nline", {150});
    tree.dirs["/p"].push_back("200"); // listed, then gone before its stat was read
    tree.Process(300, "worker", {300, 301, 302});
    tree.files.erase("/p/300/task/301/stat");                    // that thread ended between the two walks
    tree.files["/p/300/task/302/stat"] = "302 (worker) S 1 1 1"; // cut short
    tree.Process(400, "cut", {400});
    tree.files["/p/400/stat"] = "400 (cut) R 1 1 1 0 -1 0 0 0 0 0 5 5 0 0 20 0"; // cut short
    tree.Process(600, "hidden", {600});
    tree.errors["/p/600/task"] = EACCES;
    tree.Process(700, "niced", {});
    tree.dirs["/p/700/task"] = {"700", "."};
    tree.files["/p/700/task/700/stat"] = FixedTree::Stat(700, "niced", 300, 150, 12);
    tree.Process(800, "rt", {800, 801, 802});
    tree.files["/p/800/task/800/stat"] = FixedTree::Stat(800, "rt", 0, 0, 0, PolicyFifo);
    tree.files["/p/800/task/801/stat"] = FixedTree::Stat(801, "idle", 0, 0, 0, PolicyIdle);
    // A line that stops before the policy field still shows real time by its priority.
    tree.files["/p/800/task/802/stat"] = "802 (rt) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 -51 0 1 0 7\n";

    Tables tables;
    tables.processes.push_back({9, 0, u"stale", 3});
    ReadTables(tree, "/p", 100, &tables);

    std::string got;
    for (const ProcessInfo &p : tables.processes)
        got += std::to_string(p.pid) + ":" + Narrow(p.exeFile) + " ";
    EXPECT_EQ("1:\\usr\\lib\\systemd\\systemd 2:kthreadd 100:a b 150:new\\uFFFDline 300:worker 700:niced 800:rt ", got);
    got.clear();
    for (const ThreadInfo &t : tables.threads)
        got += std::to_string(t.tid) + "/" + std::to_string(t.pid) + " p" + std::to_string(t.basePriority) + " " +
               std::to_string(t.user100ns) + "+" + std::to_string(t.kernel100ns) + ", ";
    EXPECT_EQ("1/1 p3 100000+100000, 2/2 p3 200000+100000, 100/100 p3 10000000+100000, "
              "101/100 p3 10100000+100000, 150/150 p3 15000000+100000, 300/300 p3 30000000+100000, "
              "700/700 p5 30000000+15000000, 800/800 p0 0+0, 801/800 p7 0+0, 802/800 p0 0+0, ",
              got);

    FixedTree unreadable;
    ReadTables(unreadable, "/p", 100, &tables);
    EXPECT_TRUE(tables.processes.empty());
    EXPECT_TRUE(tables.threads.empty());
}

TEST(ProcTables, ThreadStatAndProgramPathOfAnyProcess)
{
    FixedTree tree;
    tree.files["/p/self/task/7/stat"] = FixedTree::Stat(7, "mine", 40, 2);
    tree.files["/p/9/task/9/stat"] = FixedTree::Stat(9, "other", 80, 4);
    // The process-wide file adds up the whole group: it must not be used.
    tree.files["/p/9/stat"] = FixedTree::Stat(9, "other", 999, 999);
    Stat stat;
    ASSERT_TRUE(ReadThreadStat(tree, "/p", 7, &stat));
    EXPECT_EQ(40u, stat.utimeTicks);
    ASSERT_TRUE(ReadThreadStat(tree, "/p", 9, &stat));
    EXPECT_EQ(80u, stat.utimeTicks);
    EXPECT_FALSE(ReadThreadStat(tree, "/p", 11, &stat));

    tree.errors["/p/2/exe"] = EACCES;
    tree.files["/p/2/comm"] = "sshd\n";
    tree.files["/p/3/comm"] = "\n"; // an empty name: the stat line's name is tried next
    tree.files["/p/3/stat"] = FixedTree::Stat(3, "x) (y", 0, 0);
    tree.links["/p/4/exe"] = "";
    tree.files["/p/4/comm"] = cutUtf8 + "\n";
    EXPECT_EQ("sshd", Narrow(ReadProcessPath(tree, "/p", 2)));
    EXPECT_EQ("x) (y", Narrow(ReadProcessPath(tree, "/p", 3)));
    EXPECT_EQ("\\u00DCberwachungsd\\uFFFD", Narrow(ReadProcessPath(tree, "/p", 4)));
    EXPECT_EQ("", Narrow(ReadProcessPath(tree, "/p", 5)));
}
