// A fresh device on the manual clock for every test.
#pragma once

#include "platform/host/kernel.h"
#include "platform/host/user.h"
#include "platform/host/gdi.h"
#include "platform/host/screen.h"
#include "platform/programs/programs.h"

#include <gtest/gtest.h>

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

} // namespace kt
