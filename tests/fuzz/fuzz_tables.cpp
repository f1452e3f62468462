// A whole /proc tree made from the input: process and thread directories
// whose files hold arbitrary bytes, fail with an error or vanish.
#include "platform/host/procfs.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>

namespace {

class Tree : public procfs::ProcFiles {
public:
    std::map<std::string, std::string> files, links;
    std::map<std::string, std::vector<std::string>> dirs;
    std::map<std::string, int> errors;
    int Read(const std::string &path, std::string *out) override { return Get(files, path, out); }
    int ReadLink(const std::string &path, std::string *out) override { return Get(links, path, out); }
    int List(const std::string &path, std::vector<std::string> *out) override
    {
        if (errors.count(path)) return errors[path];
        auto found = dirs.find(path);
        if (found == dirs.end()) return ENOENT;
        *out = found->second;
        return 0;
    }

private:
    int Get(std::map<std::string, std::string> &map, const std::string &path, std::string *out)
    {
        if (errors.count(path)) return errors[path];
        auto found = map.find(path);
        if (found == map.end()) return ENOENT;
        *out = found->second;
        return 0;
    }
};

const int Errors[] = {ENOENT, EACCES, ESRCH, EPERM};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    Tree tree;
    int processes = input.ConsumeIntegralInRange(0, 6);
    for (int p = 0; p < processes; ++p) {
        std::string pid = input.ConsumeBool() ? std::to_string(input.ConsumeIntegralInRange(1, 40))
                                              : input.ConsumeRandomLengthString(12);
        tree.dirs["/proc"].push_back(pid);
        std::string dir = "/proc/" + pid;
        if (input.ConsumeBool()) tree.files[dir + "/stat"] = input.ConsumeRandomLengthString(300);
        if (input.ConsumeBool())
            tree.links[dir + "/exe"] = input.ConsumeRandomLengthString(300);
        else if (input.ConsumeBool())
            tree.errors[dir + "/exe"] = input.PickValueInArray(Errors);
        if (input.ConsumeBool()) tree.errors[dir + "/task"] = input.PickValueInArray(Errors);
        int threads = input.ConsumeIntegralInRange(0, 4);
        for (int t = 0; t < threads; ++t) {
            std::string tid = std::to_string(input.ConsumeIntegralInRange(1, 40));
            tree.dirs[dir + "/task"].push_back(tid);
            if (input.ConsumeBool()) tree.files[dir + "/task/" + tid + "/stat"] = input.ConsumeRandomLengthString(300);
        }
    }
    procfs::Tables tables;
    procfs::ReadTables(tree, "/proc", input.ConsumeIntegralInRange<uint64_t>(0, 1000), &tables);

    std::set<DWORD> pids;
    for (const procfs::ProcessInfo &process : tables.processes) {
        if (!pids.insert(process.pid).second) abort(); // listed once
        if (process.basePriority < 0 || process.basePriority > 7) abort();
    }
    for (const procfs::ThreadInfo &thread : tables.threads) {
        if (!pids.count(thread.pid)) abort(); // every thread has its process
        if (thread.basePriority < 0 || thread.basePriority > 7) abort();
    }
    return 0;
}
