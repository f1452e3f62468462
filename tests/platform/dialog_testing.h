// Helpers shared by the tests of the dialog manager, the controls and the
// list view: a writer of standard dialog templates, recorded messages that
// print whole on failure, a program body run on a device thread of its own
// while the test drives the device from outside, taps and screen pixels.
#pragma once

#include "platform/host/dialog_internal.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace dialogtest {

using Template = dev::TemplateWriter;

// One delivered message.
struct Seen { HWND window; UINT message; WPARAM wParam; LPARAM lParam; };

inline std::string Describe(const std::vector<Seen> &seen) {
    std::ostringstream out;
    for (const Seen &s : seen)
        out << std::hex << "  message 0x" << s.message << " wParam=0x" << s.wParam << " lParam=0x" << s.lParam << "\n";
    return out.str();
}

// Only the messages of interest, in order.
inline std::vector<Seen> Only(const std::vector<Seen> &seen, std::vector<UINT> messages) {
    std::vector<Seen> out;
    for (const Seen &s : seen)
        for (UINT m : messages)
            if (s.message == m) out.push_back(s);
    return out;
}

// Wait (real time, settling the device) until a condition holds.
inline bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        dev::Settle();
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Run a body on a device thread of its own process and wait (in real time)
// until it has finished, stepping nothing: the caller moves the clock.
class DeviceProgram {
public:
    explicit DeviceProgram(std::function<void()> body) : done_(std::make_shared<std::atomic<bool>>(false)) {
        auto done = done_;
        dev::StartDeviceThread(0, [body, done] {
            body();
            done->store(true);
        });
    }
    bool Done() const { return done_->load(); }
    // Settle the device until the body has finished; false on timeout.
    bool Wait(int timeoutMs = 5000) {
        return WaitUntil([this] { return Done(); }, timeoutMs);
    }

private:
    std::shared_ptr<std::atomic<bool>> done_;
};

// A stylus tap (down and up) at a screen point.
inline void TapAt(int x, int y) {
    dev::Tap(x, y, true);
    dev::Settle();
    dev::Tap(x, y, false);
    dev::Settle();
}

// A screen pixel as the device stores it, 0x00RRGGBB.
inline uint32_t Pixel(COLORREF color) {
    return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

inline RECT ScreenRectOf(HWND window) {
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    return rect;
}

inline RECT ClientScreenRectOf(HWND window) {
    RECT rect = {0, 0, 0, 0};
    GetClientRect(window, &rect);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    OffsetRect(&rect, origin.x, origin.y);
    return rect;
}

// A point well inside the close box on a window's caption; -1, -1 if none.
inline POINT CloseBoxPoint(HWND window) {
    RECT rect = ScreenRectOf(window);
    for (int y = rect.top; y < rect.top + 30; ++y)
        for (int x = rect.right - 1; x > rect.right - 40; --x)
            if (dev::NonClientHitTest(window, POINT{x, y}) == HTCLOSE) return POINT{x - 4, y + 4};
    return POINT{-1, -1};
}

// Dialog units to pixels with the device's dialog base units, rounding
// halves up as the platform's MulDiv does (units are never negative here).
inline int UnitsX(int units) {
    int x = 0, y = 0;
    dev::DialogBaseUnits(&x, &y);
    return (units * x + 2) / 4;
}
inline int UnitsY(int units) {
    int x = 0, y = 0;
    dev::DialogBaseUnits(&x, &y);
    return (units * y + 4) / 8;
}

} // namespace dialogtest
