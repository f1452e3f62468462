// A device with fixed process and thread tables behind its "toolhelp"
// library, the test's thread adopted as a device thread, and the monitor's
// state fresh.
#pragma once

#include "app/monitor_state.h"
#include "platform/host/kernel.h"
#include "platform/host/toolhelp.h"
#include "platform/host/user.h"
#include "tests/support/device_fixture.h"
#include "threads/thread_snapshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace threads_test {

using support::Narrow;

// 100-nanosecond units in a tenth of a second.
const uint64_t tenth = 1000000;

class ThreadsTest : public support::DeviceTest {
protected:
    void SetUp() override
    {
        support::DeviceSetup setup;
        setup.shell = false;
        Boot(setup);
        AdoptAsMonitor();
        dev::RegisterSystemClasses();
        Use(tables);
    }

    void TearDown() override
    {
        dev::SetSystemSource(nullptr);
        support::DeviceTest::TearDown();
    }

    void Use(const dev::SystemTables &system)
    {
        tables = system;
        dev::SetSystemSource(&tables);
    }

    static dev::FakeThread Thread(DWORD id, DWORD owner, LONG priority = 3, uint64_t user = 0)
    {
        dev::FakeThread thread = {};
        thread.threadId = id;
        thread.ownerProcessId = owner;
        thread.basePriority = priority;
        thread.userTime100ns = user;
        return thread;
    }

    // The table's rows as "id owner priority tenths" lines, in table order.
    static std::vector<std::string> Rows()
    {
        std::vector<std::string> lines;
        for (int i = 0; i < monitorState.threadRowCount; i++) {
            const ThreadRow &row = monitorState.threadRows[i];
            lines.push_back(std::to_string(row.threadId) + " " + Narrow(row.ownerName) + " " +
                            Narrow(row.priorityName) + " " + std::to_string(row.userTenths));
        }
        return lines;
    }

    dev::SystemTables tables;
};

} // namespace threads_test
