// A fresh device on the manual clock for every test, and logs joined into
// one line.
#pragma once

#include "platform/host/kernel.h"
#include "platform/host/user.h"
#include "platform/host/gdi.h"
#include "platform/host/screen.h"
#include "platform/programs/programs.h"

#include <gtest/gtest.h>

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

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { dev::ResetDevice(ManualConfig()); }
    void TearDown() override { dev::ResetDevice(dev::Config()); }
};

inline std::string Join(const std::vector<std::string> &lines)
{
    std::string out;
    for (const std::string &l : lines)
        out += (out.empty() ? "" : " ") + l;
    return out;
}

} // namespace kt
