// A whole /proc tree made from the input: process and thread directories
// whose files hold arbitrary bytes, fail with an error or vanish.
#include "tests/support/proc_tree.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <set>

const int Errors[] = {ENOENT, EACCES, ESRCH, EPERM};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    ProcTree tree;
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
