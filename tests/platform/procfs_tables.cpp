// The table builder over a fixed /proc tree: processes that vanish between
// the directory walk and the read, threads that end, refused program links,
// kernel threads without a program, lines cut short.
#include "platform/host/procfs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>

using namespace procfs;

namespace {

class FixedTree : public ProcFiles {
public:
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> links;
    std::map<std::string, std::vector<std::string>> dirs;
    std::map<std::string, int> errors; // any path: fails with this errno
    std::vector<std::string> reads;

    int Read(const std::string &path, std::string *contents) override {
        reads.push_back(path);
        if (errors.count(path)) return errors[path];
        auto found = files.find(path);
        if (found == files.end()) return ENOENT;
        *contents = found->second;
        return 0;
    }
    int ReadLink(const std::string &path, std::string *target) override {
        if (errors.count(path)) return errors[path];
        auto found = links.find(path);
        if (found == links.end()) return ENOENT;
        *target = found->second;
        return 0;
    }
    int List(const std::string &path, std::vector<std::string> *names) override {
        if (errors.count(path)) return errors[path];
        auto found = dirs.find(path);
        if (found == dirs.end()) return ENOENT;
        *names = found->second;
        return 0;
    }

    // A thread stat: utime and stime in ticks, and its nice value.
    static std::string Stat(unsigned id, const std::string &name, unsigned utime, unsigned stime, int nice = 0,
                            int policy = 0) {
        return std::to_string(id) + " (" + name + ") S 1 1 1 0 -1 0 0 0 0 0 " + std::to_string(utime) + " " +
               std::to_string(stime) + " 0 0 " + std::to_string(20 + nice) + " " + std::to_string(nice) +
               " 1 0 500 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 " + std::to_string(policy) + " 0 0 0\n";
    }
    void Process(unsigned pid, const std::string &name, std::vector<unsigned> tids) {
        std::string dir = "/p/" + std::to_string(pid);
        dirs["/p"].push_back(std::to_string(pid));
        files[dir + "/stat"] = Stat(pid, name, 0, 0);
        for (unsigned tid : tids) {
            dirs[dir + "/task"].push_back(std::to_string(tid));
            files[dir + "/task/" + std::to_string(tid) + "/stat"] = Stat(tid, name, tid, 1);
        }
        if (tids.empty()) dirs[dir + "/task"];
    }
};

std::string Narrow(const std::u16string &text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
    return out;
}

} // namespace

TEST(ProcTables, VanishedRefusedAndBrokenEntries) {
    FixedTree tree;
    tree.dirs["/p"] = {"self", "meminfo", "0042x", "sys"};
    tree.Process(1, "systemd", {1});
    tree.links["/p/1/exe"] = "/usr/lib/systemd/systemd";
    tree.Process(2, "kthreadd", {2}); // a kernel thread: no program link at all
    tree.Process(100, "a b", {100, 101});
    tree.errors["/p/100/exe"] = EACCES; // another user's program
    tree.Process(150, "new\nline", {150});
    tree.errors["/p/150/exe"] = EACCES;
    tree.dirs["/p"].push_back("200"); // listed, then gone before its stat was read
    tree.Process(300, "worker", {300, 301, 302});
    tree.files.erase("/p/300/task/301/stat"); // that thread ended between the two walks
    tree.files["/p/300/task/302/stat"] = "302 (worker) S 1 1 1"; // cut short
    tree.Process(400, "cut", {400});
    tree.files["/p/400/stat"] = "400 (cut) R 1 1 1 0 -1 0 0 0 0 0 5 5 0 0 20 0"; // cut short
    tree.Process(500, "gone", {500});
    tree.errors["/p/500/task/500/stat"] = ESRCH; // its only thread is gone
    tree.Process(600, "hidden", {600});
    tree.errors["/p/600/task"] = EACCES;
    tree.Process(700, "niced", {});
    tree.dirs["/p/700/task"] = {"700", "."};
    tree.files["/p/700/task/700/stat"] = FixedTree::Stat(700, "niced", 300, 150, 12);
    tree.links["/p/700/exe"] = "/opt/x/niced";

    Tables tables;
    ReadTables(tree, "/p", 100, &tables);

    std::vector<DWORD> pids;
    for (const ProcessInfo &p : tables.processes) pids.push_back(p.pid);
    EXPECT_EQ((std::vector<DWORD>{1, 2, 100, 150, 300, 700}), pids);
    ASSERT_EQ(6u, tables.processes.size());
    EXPECT_EQ("\\usr\\lib\\systemd\\systemd", Narrow(tables.processes[0].exeFile));
    EXPECT_EQ("kthreadd", Narrow(tables.processes[1].exeFile));
    EXPECT_EQ("a b", Narrow(tables.processes[2].exeFile));
    EXPECT_EQ(u"new\uFFFDline", tables.processes[3].exeFile);
    EXPECT_EQ("worker", Narrow(tables.processes[4].exeFile));
    EXPECT_EQ("\\opt\\x\\niced", Narrow(tables.processes[5].exeFile));

    struct Expected { DWORD tid, pid; LONG priority; uint64_t user, kernel; };
    const Expected expected[] = {
        {1, 1, 3, 100000, 100000},     {2, 2, 3, 200000, 100000},     {100, 100, 3, 10000000, 100000},
        {101, 100, 3, 10100000, 100000}, {150, 150, 3, 15000000, 100000}, {300, 300, 3, 30000000, 100000},
        {700, 700, 5, 30000000, 15000000},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], tables.threads.size());
    for (size_t i = 0; i < tables.threads.size(); ++i) {
        const ThreadInfo &t = tables.threads[i];
        EXPECT_EQ(expected[i].tid, t.tid) << i;
        EXPECT_EQ(expected[i].pid, t.pid) << i;
        EXPECT_EQ(expected[i].priority, t.basePriority) << "thread " << t.tid;
        EXPECT_EQ(expected[i].user, t.user100ns) << "thread " << t.tid;
        EXPECT_EQ(expected[i].kernel, t.kernel100ns) << "thread " << t.tid;
    }
}

TEST(ProcTables, UnreadableRootGivesEmptyTables) {
    FixedTree tree;
    Tables tables;
    tables.processes.push_back({9, 0, u"stale", 3});
    ReadTables(tree, "/p", 100, &tables);
    EXPECT_TRUE(tables.processes.empty());
    EXPECT_TRUE(tables.threads.empty());
}

TEST(ProcTables, RealTimePolicyAndNegativePriority) {
    FixedTree tree;
    tree.Process(10, "rt", {10, 11, 12});
    tree.files["/p/10/task/10/stat"] = FixedTree::Stat(10, "rt", 0, 0, 0, 1);
    tree.files["/p/10/task/11/stat"] = FixedTree::Stat(11, "idle", 0, 0, 0, 5);
    // A line that stops before the policy field still shows real time by its priority.
    tree.files["/p/10/task/12/stat"] = "12 (rt) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 -51 0 1 0 7\n";
    Tables tables;
    ReadTables(tree, "/p", 100, &tables);
    ASSERT_EQ(3u, tables.threads.size());
    EXPECT_EQ(0, tables.threads[0].basePriority);
    EXPECT_EQ(7, tables.threads[1].basePriority);
    EXPECT_EQ(0, tables.threads[2].basePriority);
}

TEST(ProcTables, ThreadStatOfAnyProcess) {
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
}

TEST(ProcTables, ProgramPathFallsBackToTheName) {
    FixedTree tree;
    tree.links["/p/1/exe"] = "/sbin/init";
    tree.errors["/p/2/exe"] = EACCES;
    tree.files["/p/2/comm"] = "sshd\n";
    tree.files["/p/3/comm"] = "\n"; // an empty name: the stat line's name is tried next
    tree.files["/p/3/stat"] = FixedTree::Stat(3, "x) (y", 0, 0);
    tree.links["/p/4/exe"] = "";
    tree.files["/p/4/comm"] = "\xC3\x9C" "berwachungsd\xC3\n";
    EXPECT_EQ("\\sbin\\init", Narrow(ReadProcessPath(tree, "/p", 1)));
    EXPECT_EQ("sshd", Narrow(ReadProcessPath(tree, "/p", 2)));
    EXPECT_EQ("x) (y", Narrow(ReadProcessPath(tree, "/p", 3)));
    EXPECT_EQ(u"\u00DCberwachungsd\uFFFD", ReadProcessPath(tree, "/p", 4));
    EXPECT_EQ(u"", ReadProcessPath(tree, "/p", 5));
}

TEST(ProcTables, MemoryFromMeminfo) {
    FixedTree tree;
    uint64_t total = 0, avail = 0;
    EXPECT_FALSE(ReadMemory(tree, "/p", &total, &avail));
    tree.files["/p/meminfo"] = "MemTotal: 4 kB\nMemAvailable: 1 kB\n";
    ASSERT_TRUE(ReadMemory(tree, "/p", &total, &avail));
    EXPECT_EQ(4096u, total);
    EXPECT_EQ(1024u, avail);
}
