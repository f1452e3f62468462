// A /proc tree held in maps, for the readers' tests and fuzz targets: files,
// program links and directories by path, and paths that fail with an errno.
#pragma once

#include "platform/host/procfs.h"

#include <cerrno>
#include <map>
#include <string>
#include <vector>

struct ProcTree : procfs::ProcFiles {
    std::map<std::string, std::string> files, links;
    std::map<std::string, std::vector<std::string>> dirs;
    std::map<std::string, int> errors;

    int Read(const std::string &path, std::string *contents) override { return Find(files, path, contents); }
    int ReadLink(const std::string &path, std::string *target) override { return Find(links, path, target); }
    int List(const std::string &path, std::vector<std::string> *names) override { return Find(dirs, path, names); }
    template <typename T> int Find(const std::map<std::string, T> &in, const std::string &path, T *out)
    {
        auto found = in.find(path);
        return errors.count(path) ? errors[path] : found == in.end() ? ENOENT : (*out = found->second, 0);
    }
};
