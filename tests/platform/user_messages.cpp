// Queues, sent messages across threads, timers and the order of fetching,
// with real device threads on the manual clock.

#include "kernel_test_util.h"

#include <cstring>
#include <chrono>
#include <map>
#include <thread>

namespace {

using kt::DeviceTest;

kt::Log *logTarget = nullptr;

std::mutex namesLock;
std::map<HWND, std::string> names; // caught at WM_NCCREATE, so logging never sends

std::string Name(HWND w)
{
    std::lock_guard<std::mutex> g(namesLock);
    return names[w];
}

const char *MessageName(UINT m)
{
    switch (m) {
    case WM_DESTROY: return "destroy";
    case WM_NCDESTROY: return "ncdestroy";
    case WM_ACTIVATE: return "activate";
    case WM_PAINT: return "paint";
    case WM_TIMER: return "timer";
    case WM_LBUTTONDOWN: return "lbuttondown";
    case WM_LBUTTONUP: return "lbuttonup";
    case WM_CLOSE: return "close";
    case WM_GETTEXT: return "gettext";
    case WM_USER + 1: return "user1";
    case WM_USER + 2: return "user2";
    case WM_USER + 3: return "user3";
    default: return nullptr;
    }
}

LRESULT CALLBACK LoggingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_NCCREATE) {
        std::string s;
        for (LPCWSTR p = ((CREATESTRUCTW *)lp)->lpszName; p && *p; p++) s += (char)*p;
        std::lock_guard<std::mutex> g(namesLock);
        names[w] = s;
    }
    const char *name = MessageName(m);
    if (name && logTarget) {
        std::string line = Name(w) + ":" + name;
        if (m == WM_TIMER) line += "(" + std::to_string(wp) + ")";
        logTarget->Add(line);
    }
    if (m == WM_USER + 3) return 333;
    return DefWindowProcW(w, m, wp, lp);
}

class Messages : public DeviceTest {
protected:
    kt::Log log;
    void SetUp() override
    {
        DeviceTest::SetUp();
        logTarget = &log;
        dev::AdoptCurrentThread();
        Register();
    }
    void TearDown() override
    {
        DeviceTest::TearDown();
        logTarget = nullptr;
    }
    static void Register()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = LoggingProc;
        wc.lpszClassName = u"Logged";
        RegisterClassW(&wc); // instance 0: a class every process sees
    }
    static HWND Make(const WCHAR *name, DWORD style = WS_POPUP, int x = 0, int y = 0, int cx = 40, int cy = 40)
    {
        return CreateWindowExW(0, u"Logged", name, style, x, y, cx, cy, nullptr, nullptr, nullptr, nullptr);
    }
    // Pump what the calling thread has, dispatching; returns the messages fetched.
    std::vector<std::string> Drain(HWND filter = nullptr)
    {
        std::vector<std::string> fetched;
        MSG msg;
        while (PeekMessageW(&msg, filter, 0, 0, PM_REMOVE)) {
            const char *name = msg.message == WM_QUIT ? "quit" : MessageName(msg.message);
            fetched.push_back(name ? name : std::to_string(msg.message));
            if (msg.message != WM_QUIT) DispatchMessageW(&msg);
        }
        return fetched;
    }
};

TEST_F(Messages, SentToAnotherThreadWaitsUntilItFetches)
{
    std::atomic<HWND> target{nullptr};
    std::atomic<bool> pump{false};
    DWORD process = 0;
    dev::StartDeviceThread(0, [&] {
        target = Make(u"T");
        while (!pump.load()) Sleep(1000); // not fetching: a hung program
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    dev::AdvanceClock(0);
    ASSERT_NE(target.load(), nullptr);
    GetWindowThreadProcessId(target, &process);
    std::atomic<LRESULT> answer{-1};
    std::atomic<DWORD> answeredAt{0};
    dev::StartDeviceThread(0, [&] {
        answer = SendMessageW(target, WM_USER + 3, 0, 0);
        answeredAt = GetTickCount();
    });
    dev::AdvanceClock(5000);
    EXPECT_EQ(answer.load(), -1) << "the send returned while the target did not fetch";
    EXPECT_TRUE(log.Take().empty());
    pump = true;
    dev::AdvanceClock(1000);
    EXPECT_EQ(answer.load(), 333);
    EXPECT_EQ(answeredAt.load(), 6000u) << "answered at the target's first fetch after its sleep";
    EXPECT_EQ(kt::Join(log.Take()), "T:user3");
}

TEST_F(Messages, WindowTextOfAHungThreadsWindowDoesNotReturnUntilItPumps)
{
    std::atomic<HWND> target{nullptr};
    dev::StartDeviceThread(0, [&] {
        target = Make(u"Stuck");
        Sleep(10000);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    dev::AdvanceClock(0);
    std::atomic<int> length{-1};
    WCHAR text[260];
    memset(text, 0xAA, sizeof text);
    dev::StartDeviceThread(0, [&] { length = GetWindowTextW(target, text, 260); });
    dev::AdvanceClock(9999);
    EXPECT_EQ(length.load(), -1);
    dev::AdvanceClock(1);
    EXPECT_EQ(length.load(), 5);
    EXPECT_EQ(std::u16string(text), u"Stuck");
    EXPECT_EQ(kt::Join(log.Take()), "Stuck:gettext");
}

LRESULT CALLBACK EchoProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    // Asks the sender's window back while the sender waits for this answer.
    if (m == WM_USER + 2) return SendMessageW((HWND)wp, WM_USER + 3, 0, 0) + 1;
    return DefWindowProcW(w, m, wp, lp);
}

TEST_F(Messages, SenderAnswersMessagesSentToItWhileItWaits)
{
    HWND mine = Make(u"Mine");
    std::atomic<HWND> theirs{nullptr};
    dev::StartDeviceThread(0, [&] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = EchoProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = u"Echo";
        RegisterClassW(&wc);
        theirs = CreateWindowExW(0, u"Echo", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    dev::AdvanceClock(0);
    ASSERT_NE(theirs.load(), nullptr);
    EXPECT_EQ(SendMessageW(theirs, WM_USER + 2, (WPARAM)mine, 0), 334);
    EXPECT_EQ(kt::Join(log.Take()), "Mine:user3");
}

TEST_F(Messages, SendTimeoutGivesUpOnAHungThread)
{
    std::atomic<HWND> target{nullptr};
    dev::StartDeviceThread(0, [&] {
        target = Make(u"Slow");
        Sleep(60000);
    });
    dev::AdvanceClock(0);
    std::atomic<int> outcome{-1};
    std::atomic<DWORD> at{0};
    dev::StartDeviceThread(0, [&] {
        DWORD_PTR result = 0xAAAA;
        outcome = (int)SendMessageTimeoutW(target, WM_USER + 3, 0, 0, SMTO_NORMAL, 200, &result);
        at = GetTickCount();
    });
    dev::AdvanceClock(300);
    EXPECT_EQ(outcome.load(), 0);
    EXPECT_EQ(at.load(), 200u);
}

TEST_F(Messages, OneTimerArrivalAfterABusyStretchNotOnePerPeriod)
{
    HWND w = Make(u"W");
    SetTimer(w, 7, 1, nullptr);
    dev::AdvanceClock(50); // the thread fetches nothing for 50 ms
    EXPECT_EQ(kt::Join(Drain()), "timer");
    EXPECT_EQ(kt::Join(log.Take()), "W:timer(7)");
    dev::AdvanceClock(1);
    EXPECT_EQ(kt::Join(Drain()), "timer") << "due one period after the arrival it made";
    dev::AdvanceClock(0);
    EXPECT_EQ(kt::Join(Drain()), "");
}

TEST_F(Messages, TimerPeriodCountsFromTheArrival)
{
    HWND w = Make(u"W");
    SetTimer(w, 1, 100, nullptr);
    dev::AdvanceClock(150);
    EXPECT_EQ(kt::Join(Drain()), "timer"); // made at 150
    dev::AdvanceClock(99);
    EXPECT_EQ(kt::Join(Drain()), "");
    dev::AdvanceClock(1);
    EXPECT_EQ(kt::Join(Drain()), "timer");
    // Setting it again restarts it; killing it stops it.
    SetTimer(w, 1, 10, nullptr);
    dev::AdvanceClock(10);
    EXPECT_TRUE(KillTimer(w, 1));
    EXPECT_EQ(kt::Join(Drain()), "");
    EXPECT_FALSE(KillTimer(w, 1));
}

TEST_F(Messages, FetchOrderSentPostedInputQuitPaintTimer)
{
    HWND w = Make(u"W", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40);
    Drain(); // the first paint
    log.Take();
    SetTimer(w, 1, 1, nullptr);
    PostMessageW(w, WM_USER + 1, 0, 0);
    PostMessageW(w, WM_USER + 2, 0, 0);
    dev::Tap(5, 5, true);
    RECT r{0, 0, 10, 10};
    InvalidateRect(w, &r, FALSE);
    PostQuitMessage(3);
    std::atomic<LRESULT> sent{0};
    dev::StartDeviceThread(0, [&] { sent = SendMessageW(w, WM_USER + 3, 0, 0); });
    dev::AdvanceClock(5);
    std::vector<std::string> fetched = Drain();
    EXPECT_EQ(kt::Join(fetched), "user1 user2 lbuttondown quit paint timer");
    EXPECT_EQ(log.Take().front(), "W:user3") << "sent messages are handled before anything is fetched";
    dev::AdvanceClock(0);
    EXPECT_EQ(sent.load(), 333);
}

TEST_F(Messages, TimerWaitsWhileOtherMessagesAreQueued)
{
    HWND w = Make(u"W");
    SetTimer(w, 1, 1, nullptr);
    for (int i = 0; i < 3; i++) PostMessageW(w, WM_USER + 1, 0, 0);
    dev::AdvanceClock(10);
    MSG msg;
    std::vector<UINT> seen;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) seen.push_back(msg.message);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 1, WM_USER + 1, WM_USER + 1, WM_TIMER}));
}

TEST_F(Messages, FiltersByWindowAndRangeAndNoRemoveLeavesItQueued)
{
    HWND a = Make(u"A"), b = Make(u"B");
    PostMessageW(a, WM_USER + 1, 0, 0);
    PostMessageW(b, WM_USER + 2, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_USER + 3, 0, 0);
    MSG msg;
    memset(&msg, 0xAA, sizeof msg);
    ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_USER + 2);
    EXPECT_EQ(msg.hwnd, b);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, (UINT)WM_USER + 1);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, (UINT)WM_USER + 2) << "PM_NOREMOVE left it in place";
    PostQuitMessage(9);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.wParam, 9u);
}

TEST_F(Messages, TimerProcedureRunsFromDispatch)
{
    static std::atomic<int> calls;
    calls = 0;
    HWND w = Make(u"W");
    SetTimer(w, 4, 5, [](HWND, UINT m, UINT_PTR id, DWORD) {
        if (m == WM_TIMER && id == 4) calls++;
    });
    dev::AdvanceClock(5);
    Drain();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(log.Take().empty()) << "the window procedure does not see it";
}

TEST_F(Messages, ADestroyedWindowsTimerAndPostedMessagesGoWithIt)
{
    HWND w = Make(u"W");
    SetTimer(w, 1, 1, nullptr);
    PostMessageW(w, WM_USER + 1, 0, 0);
    DestroyWindow(w);
    dev::AdvanceClock(5);
    EXPECT_EQ(kt::Join(Drain()), "");
    EXPECT_FALSE(SetTimer(w, 1, 1, nullptr));
    EXPECT_FALSE(PostMessageW(w, WM_USER + 1, 0, 0));
    EXPECT_EQ(SendMessageW(w, WM_USER + 3, 0, 0), 0);
}

} // namespace

namespace {

class VirtualMessages : public kt::DeviceTest {
    dev::Config Config() override { return kt::VirtualConfig(); }
};

TEST_F(VirtualMessages, ASendToAHungThreadWaitsOutItsSleepAndTheClockJumpsThere)
{
    std::atomic<HWND> target{nullptr};
    std::atomic<DWORD> answeredAt{0};
    dev::HoldClock();
    dev::StartDeviceThread(0, [&] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"Sleepy";
        RegisterClassW(&wc);
        target = CreateWindowExW(0, u"Sleepy", u"zzz", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        Sleep(10000);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    dev::StartDeviceThread(0, [&] {
        while (!target.load()) Sleep(1);
        WCHAR text[8];
        GetWindowTextW(target, text, 8);
        answeredAt = GetTickCount();
    });
    dev::ReleaseClock();
    for (int i = 0; i < 5000 && !answeredAt.load(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(answeredAt.load(), 10000u);
}

TEST_F(VirtualMessages, ClosingNormallyPostsCloseToTheNamedWindow)
{
    dev::RegisterProgram(u"Closer.exe", u"\\Windows\\Closer.exe", [](HINSTANCE instance, LPWSTR) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_DESTROY) PostQuitMessage(12);
            return DefWindowProcW(w, m, wp, lp);
        };
        wc.hInstance = instance;
        wc.lpszClassName = u"CloseMe";
        RegisterClassW(&wc);
        CreateWindowExW(0, u"CloseMe", u"Title", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, instance,
                        nullptr);
        SetTimer(nullptr, 0, 1000, nullptr); // keeps the clock moving
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        return (int)msg.wParam;
    });
    dev::HoldClock();
    DWORD pid = dev::StartProgram(u"Closer.exe", u"");
    dev::ScheduleAt(5000, [] { dev::CloseWindowNormally(u"closeme", u"Title"); });
    dev::ReleaseClock();
    int code = -1;
    ASSERT_TRUE(dev::WaitProgram(pid, &code, 5000));
    EXPECT_EQ(code, 12);
    EXPECT_GE(dev::Now(), 5000u);
    EXPECT_LT(dev::Now(), 6000u);
}

TEST_F(VirtualMessages, DumpListsEveryWindowWithItsProgram)
{
    dev::AdoptCurrentThread();
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"Dumped";
    RegisterClassW(&wc);
    HWND top = CreateWindowExW(0, u"Dumped", u"Top", WS_POPUP | WS_VISIBLE, 1, 2, 30, 40, nullptr, nullptr, nullptr,
                               nullptr);
    CreateWindowExW(0, u"Dumped", u"Kid", WS_CHILD, 0, 0, 5, 5, top, (HMENU)77, nullptr, nullptr);
    dev::SetDumpExtra(u"dumped", [](HWND) { return std::string("extra!"); });
    std::string dump = dev::DumpWindows();
    EXPECT_NE(dump.find("class=\"Dumped\" text=\"Top\" program=\"\\Windows\\test.exe\" extra!"), std::string::npos)
        << dump;
    EXPECT_NE(dump.find("rect=(1,2)-(31,42) visible enabled"), std::string::npos) << dump;
    EXPECT_NE(dump.find("id=77"), std::string::npos) << dump;
    EXPECT_NE(dump.find("hidden"), std::string::npos) << "the child was never shown: " << dump;
    dev::SetDumpExtra(u"dumped", nullptr);
}

} // namespace
