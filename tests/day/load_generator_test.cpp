// Load on the device: a thread held back gets its timers late and its
// messages at once, and the load generator takes the share it is given.
#include "tests/day/load_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

struct Arrival {
    uint64_t at;
    UINT message;
};

// The test's own thread runs a window with a 1 ms timer under the virtual
// clock, as the monitor's main thread does.
class HeldBack : public ::testing::Test {
protected:
    void SetUp() override
    {
        dev::Config config;
        config.virtualTime = true;
        dev::ResetDevice(config);
        self = dev::AdoptCurrentThread();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PlainProc;
        wc.lpszClassName = u"LoadTestWindow";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, u"LoadTestWindow", u"load", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                 nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        dev::ReleaseCurrentThread();
        dev::ResetDevice(dev::Config());
    }

    // Timer arrivals and posted messages until device time reaches untilMs.
    std::vector<Arrival> Run(uint64_t untilMs)
    {
        std::vector<Arrival> arrivals;
        MSG msg;
        while (dev::Now() < untilMs && GetMessageW(&msg, nullptr, 0, 0) > 0)
            if (msg.message == WM_TIMER || msg.message == WM_USER)
                arrivals.push_back(Arrival{dev::Now(), msg.message});
        return arrivals;
    }

    DWORD self = 0;
    HWND window = nullptr;
};

TEST_F(HeldBack, TimerArrivesLateMessagesAtOnce)
{
    SetTimer(window, 1, 1, nullptr);
    DWORD target = self;
    HWND to = window;
    ASSERT_NE(dev::StartDeviceThread(0, [target, to] {
                  Sleep(100);
                  dev::StallThread(target, 50);
                  Sleep(20);
                  PostMessageW(to, WM_USER, 0, 0);
              }),
              0u);
    std::vector<Arrival> arrivals = Run(160);
    std::vector<uint64_t> timers;
    std::vector<uint64_t> posted;
    for (const Arrival &a : arrivals)
        (a.message == WM_TIMER ? timers : posted).push_back(a.at);

    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0], 120u) << "a message posted to a held-back thread waits for nothing";
    // Every millisecond up to the stall (the one at 100 races with it),
    // nothing while held back, then every millisecond again.
    std::vector<uint64_t> want;
    for (uint64_t t = 1; t < 100; t++)
        want.push_back(t);
    if (std::find(timers.begin(), timers.end(), 100u) != timers.end())
        want.push_back(100);
    for (uint64_t t = 150; t <= 160 && t <= timers.back(); t++)
        want.push_back(t);
    EXPECT_EQ(timers, want);
    EXPECT_GE(timers.back(), 159u);
}

TEST_F(HeldBack, StallOfAnUnknownThreadIsHarmless)
{
    dev::StallThread(0x7FFFFFF0, 100);
    SetTimer(window, 1, 1, nullptr);
    std::vector<Arrival> arrivals = Run(10);
    ASSERT_FALSE(arrivals.empty());
    EXPECT_EQ(arrivals.front().at, 1u);
}

class LoadShare : public HeldBack, public ::testing::WithParamInterface<int> {};

// The time between arrivals beyond the timer's own millisecond is the
// time the load took.
TEST_P(LoadShare, TakesTheShareItIsGivenAndEndsOnTime)
{
    const int busy = GetParam();
    SetTimer(window, 1, 1, nullptr);
    ASSERT_NE(day::StartLoad(self, {day::LoadPhase{1000, 5000, busy}}, 6000), 0u);
    std::vector<Arrival> arrivals = Run(7000);
    ASSERT_FALSE(arrivals.empty());

    uint64_t taken[3] = {0, 0, 0}; // before, during and after the phase
    uint64_t previous = 0;
    for (const Arrival &a : arrivals) {
        uint64_t lost = a.at - previous - 1;
        int part = a.at <= 1000 ? 0 : a.at <= 5000 + day::kLoadSliceMs ? 1 : 2;
        taken[part] += lost;
        previous = a.at;
    }
    EXPECT_EQ(taken[0], 0u) << "load before its phase";
    EXPECT_EQ(taken[2], 0u) << "load after its phase";
    double share = 100.0 * (double)taken[1] / 4000.0;
    // One slice in twenty loses or gains the millisecond it shares with the timer.
    EXPECT_NEAR(share, busy, 100.0 / day::kLoadSliceMs + 0.5) << busy << " % asked";
}

INSTANTIATE_TEST_SUITE_P(Shares, LoadShare, ::testing::Values(0, 10, 25, 50, 90, 100));

} // namespace
