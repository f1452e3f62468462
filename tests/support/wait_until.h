// For tests that drive the device from outside while its programs run.
#pragma once

#include "platform/host/kernel.h"

#include <chrono>
#include <functional>
#include <thread>

namespace support {

// Settles the device until the condition holds; false once timeoutMs of real time have passed.
inline bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (dev::Settle(); !condition(); dev::Settle()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace support
