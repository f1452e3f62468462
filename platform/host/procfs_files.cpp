// Walking a /proc tree: the live file system and the table builder.
#include "procfs.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace procfs {

namespace {

class LiveFiles : public ProcFiles {
public:
    int Read(const std::string &path, std::string *contents) override
    {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno;
        contents->clear();
        char buffer[4096];
        for (;;) {
            ssize_t got = read(fd, buffer, sizeof buffer);
            if (got < 0) {
                if (errno == EINTR) continue;
                int error = errno;
                close(fd);
                return error;
            }
            if (got == 0) break;
            contents->append(buffer, size_t(got));
            // The files read here are one record each, which /proc hands over
            // in one read when it fits; a second read only to see the end
            // would cost a sixth of a walk.
            if (size_t(got) < sizeof buffer) break;
        }
        close(fd);
        return 0;
    }
    int ReadLink(const std::string &path, std::string *target) override
    {
        std::string buffer(256, '\0');
        for (;;) {
            ssize_t got = readlink(path.c_str(), &buffer[0], buffer.size());
            if (got < 0) return errno;
            if (size_t(got) < buffer.size()) {
                target->assign(buffer.data(), size_t(got));
                return 0;
            }
            if (buffer.size() >= 65536) return ENAMETOOLONG;
            buffer.resize(buffer.size() * 2);
        }
    }
    int List(const std::string &path, std::vector<std::string> *names) override
    {
        DIR *dir = opendir(path.c_str());
        if (!dir) return errno;
        names->clear();
        while (dirent *entry = readdir(dir))
            names->push_back(entry->d_name);
        closedir(dir);
        return 0;
    }
};

// Directory names that are process or thread ids; the rest of /proc
// ("self", "meminfo", ...) is skipped.
std::vector<DWORD> NumericNames(const std::vector<std::string> &names)
{
    std::vector<DWORD> ids;
    ids.reserve(names.size());
    for (const std::string &name : names) {
        if (name.empty() || name.size() > 10) continue;
        uint64_t value = 0;
        bool digits = true;
        for (char c : name) {
            if (c < '0' || c > '9') {
                digits = false;
                break;
            }
            value = value * 10 + unsigned(c - '0');
        }
        if (digits && value > 0 && value <= UINT32_MAX) ids.push_back(DWORD(value));
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

bool ReadStat(ProcFiles &files, const std::string &path, std::string *scratch, Stat *out)
{
    return files.Read(path, scratch) == 0 && ParseStat(scratch->data(), scratch->size(), out);
}

// A stat line cut before field 41 still shows a real-time thread by its
// negative priority.
LONG PriorityOf(const Stat &stat)
{
    int64_t policy = stat.policy;
    if (policy == PolicyNormal && stat.priority < 0) policy = PolicyFifo;
    return DevicePriority(stat.nice, policy);
}

} // namespace

ProcFiles &LiveProcFiles()
{
    static LiveFiles files;
    return files;
}

uint64_t TicksPerSecond()
{
    long ticks = sysconf(_SC_CLK_TCK);
    return ticks > 0 ? uint64_t(ticks) : 100;
}

void ReadTables(ProcFiles &files, const std::string &root, uint64_t ticksPerSecond, Tables *out)
{
    out->processes.clear();
    out->threads.clear();
    std::vector<std::string> names;
    if (files.List(root, &names) != 0) return;
    std::vector<DWORD> pids = NumericNames(names);
    std::string scratch, link;
    for (DWORD pid : pids) {
        const std::string dir = root + "/" + std::to_string(pid);
        Stat stat;
        if (!ReadStat(files, dir + "/stat", &scratch, &stat)) continue;
        if (files.List(dir + "/task", &names) != 0) continue;
        size_t firstThread = out->threads.size();
        for (DWORD tid : NumericNames(names)) {
            Stat threadStat;
            if (!ReadStat(files, dir + "/task/" + std::to_string(tid) + "/stat", &scratch, &threadStat)) continue;
            out->threads.push_back({tid, pid, PriorityOf(threadStat),
                                    TicksTo100ns(threadStat.utimeTicks, ticksPerSecond),
                                    TicksTo100ns(threadStat.stimeTicks, ticksPerSecond)});
        }
        if (out->threads.size() == firstThread) continue;
        ProcessInfo process;
        process.pid = pid;
        process.ppid = stat.ppid > 0 && stat.ppid <= int64_t(UINT32_MAX) ? DWORD(stat.ppid) : 0;
        process.basePriority = PriorityOf(stat);
        // Kernel threads have no program, and other users' programs may be
        // refused (EACCES): their name stands in.
        if (files.ReadLink(dir + "/exe", &link) == 0 && !link.empty())
            process.exeFile = DevicePath(link.data(), link.size());
        else
            process.exeFile = DeviceName(stat.comm);
        out->processes.push_back(std::move(process));
    }
}

bool ReadThreadStat(ProcFiles &files, const std::string &root, DWORD tid, Stat *out)
{
    std::string scratch;
    const std::string id = std::to_string(tid);
    return ReadStat(files, root + "/self/task/" + id + "/stat", &scratch, out) ||
           ReadStat(files, root + "/" + id + "/task/" + id + "/stat", &scratch, out);
}

std::u16string ReadProcessPath(ProcFiles &files, const std::string &root, DWORD pid)
{
    const std::string dir = root + "/" + std::to_string(pid);
    std::string text;
    if (files.ReadLink(dir + "/exe", &text) == 0 && !text.empty()) return DevicePath(text.data(), text.size());
    if (files.Read(dir + "/comm", &text) == 0) {
        std::u16string name = DeviceName(ParseComm(text.data(), text.size()));
        if (!name.empty()) return name;
    }
    Stat stat;
    if (ReadStat(files, dir + "/stat", &text, &stat)) return DeviceName(stat.comm);
    return std::u16string();
}

bool ReadMemory(ProcFiles &files, const std::string &root, uint64_t *totalBytes, uint64_t *availBytes)
{
    std::string text;
    return files.Read(root + "/meminfo", &text) == 0 && ParseMeminfo(text.data(), text.size(), totalBytes, availBytes);
}

} // namespace procfs
