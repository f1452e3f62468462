// A fresh device per test and a thread-safe message recorder.
#pragma once

#include "platform/host/kernel.h"
#include "platform/host/user.h"
#include "platform/host/gdi.h"
#include "platform/host/screen.h"
#include "platform/programs/programs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kt {

inline dev::Config ManualConfig()
{
    dev::Config c;
    c.manualClock = true;
    return c;
}

// Every test starts and ends with an empty device.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { dev::ResetDevice(Config()); }
    void TearDown() override { dev::ResetDevice(dev::Config()); }
    virtual dev::Config Config() { return ManualConfig(); }
};

// Messages seen by window procedures, in order, across threads.
struct Log {
    std::mutex lock;
    std::vector<std::string> lines;
    void Add(const std::string &line)
    {
        std::lock_guard<std::mutex> g(lock);
        lines.push_back(line);
    }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> g(lock);
        return std::exchange(lines, {});
    }
};

inline std::string Join(const std::vector<std::string> &lines)
{
    std::string out;
    for (const std::string &l : lines)
        out += (out.empty() ? "" : " ") + l;
    return out;
}

} // namespace kt
