// Windows and their messages on real device threads and the manual clock.

#include "kernel_test_util.h"

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

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

Log *windowLog = nullptr;
std::mutex namesLock;
std::map<HWND, std::string> names; // caught at WM_NCCREATE, so logging never sends

std::string NameOf(HWND w)
{
    std::lock_guard<std::mutex> g(namesLock);
    auto it = names.find(w);
    return it == names.end() ? (w ? "?" : "0") : it->second;
}

// How a message shows in the log; empty for those not logged.
std::string Line(UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case WM_ACTIVATE:
        return "activate(" + std::to_string(LOWORD(wp)) + "," + NameOf((HWND)lp) + ")";
    case WM_LBUTTONDOWN:
        return "down(" + std::to_string(GET_X_LPARAM(lp)) + "," + std::to_string(GET_Y_LPARAM(lp)) + ")";
    case WM_TIMER:
        return "timer(" + std::to_string(wp) + ")";
    }
    static const std::map<UINT, std::string> plain = {
        {WM_DESTROY, "destroy"},     {WM_NCDESTROY, "ncdestroy"}, {WM_SETFOCUS, "setfocus"},
        {WM_KILLFOCUS, "killfocus"}, {WM_PAINT, "paint"},         {WM_QUIT, "quit"},
        {WM_USER + 1, "user1"},      {WM_USER + 2, "user2"},      {WM_USER + 3, "user3"}};
    auto found = plain.find(m);
    return found == plain.end() ? "" : found->second;
}

LRESULT CALLBACK Recorder(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_NCCREATE) {
        std::string s;
        for (LPCWSTR p = ((CREATESTRUCTW *)lp)->lpszName; p && *p; p++)
            s += (char)*p;
        std::lock_guard<std::mutex> g(namesLock);
        names[w] = s;
    }
    std::string line = Line(m, wp, lp);
    if (!line.empty() && windowLog) windowLog->Add(NameOf(w) + ":" + line);
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(w, &ps);
        EndPaint(w, &ps);
        return 0;
    }
    if (m == WM_USER + 3) return 333;
    // Asks the given window back while the sender waits for this answer.
    if (m == WM_USER + 2 && wp) return SendMessageW((HWND)wp, WM_USER + 3, 0, 0) + 1;
    return DefWindowProcW(w, m, wp, lp);
}

std::string UpdateRect(HWND w)
{
    RECT r;
    memset(&r, 0xAA, sizeof r);
    if (!GetUpdateRect(w, &r, FALSE)) return "none";
    return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

class Windows : public kt::DeviceTest {
protected:
    Log log;
    void SetUp() override
    {
        kt::DeviceTest::SetUp();
        windowLog = &log;
        dev::AdoptCurrentThread();
        WNDCLASSW wc{};
        wc.lpfnWndProc = Recorder;
        wc.cbWndExtra = DLGWINDOWEXTRA;
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        wc.lpszClassName = u"Rec";
        RegisterClassW(&wc); // instance 0: a class every process sees
    }
    void TearDown() override
    {
        kt::DeviceTest::TearDown();
        windowLog = nullptr;
    }
    static HWND Make(const WCHAR *name, DWORD style = WS_POPUP, int x = 0, int y = 0, int cx = 40, int cy = 40,
                     HWND parent = nullptr)
    {
        return CreateWindowExW(0, u"Rec", name, style, x, y, cx, cy, parent, nullptr, nullptr, nullptr);
    }
    // A window on a thread of another process that is hung for a while, then pumps.
    static HWND MakeElsewhere(const WCHAR *name, DWORD hungMs, DWORD style = WS_POPUP)
    {
        auto window = std::make_shared<std::atomic<HWND>>(nullptr);
        dev::StartDeviceThread(0, [=] {
            *window = Make(name, style, 0, 0, 100, 100);
            Sleep(hungMs);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
        });
        dev::AdvanceClock(0);
        return window->load();
    }
    // Fetches and dispatches what the thread has; the messages fetched.
    std::string Drain()
    {
        std::vector<std::string> fetched;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            std::string line = Line(msg.message, msg.wParam, msg.lParam);
            fetched.push_back(line.empty() ? std::to_string(msg.message) : line);
            if (msg.message != WM_QUIT) DispatchMessageW(&msg);
        }
        return kt::Join(fetched);
    }
    std::string Taken() { return kt::Join(log.Take()); }
};

using Messages = Windows;

TEST_F(Windows, DestroyingSendsDestroyParentFirstNcDestroyChildFirstAndFreesEveryWindow)
{
    long before = dev::LiveObjects(dev::KindWindow);
    HWND top = Make(u"top", WS_POPUP, 0, 0, 100, 100);
    HWND child = Make(u"child", WS_CHILD, 0, 0, 10, 10, top);
    HWND grandchild = Make(u"grandchild", WS_CHILD, 0, 0, 5, 5, child);
    SetTimer(child, 1, 10, nullptr);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), before + 3);
    log.Take();
    EXPECT_TRUE(DestroyWindow(top));
    EXPECT_EQ(Taken(),
              "top:destroy child:destroy grandchild:destroy grandchild:ncdestroy child:ncdestroy top:ncdestroy");
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), before);
    EXPECT_FALSE(IsWindow(top) || IsWindow(child) || IsWindow(grandchild));
    EXPECT_FALSE(DestroyWindow(top)) << "a stale handle fails";
    HWND again = Make(u"again");
    EXPECT_TRUE(again != top && again != child && again != grandchild) << "handles are not reused at once";
}

TEST_F(Windows, PixelsBelongToTheDeepestVisibleWindowAndUncoveredPixelsRepaint)
{
    HWND low = Make(u"low", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND child = Make(u"child", WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, low);
    HWND high = Make(u"high", WS_POPUP | WS_VISIBLE, 50, 50, 100, 100);
    Drain();
    EXPECT_EQ(dev::PixelOwner(5, 5), low);
    EXPECT_EQ(dev::PixelOwner(15, 15), child);
    EXPECT_EQ(dev::PixelOwner(75, 75), high);
    EXPECT_EQ(dev::PixelOwner(200, 200), nullptr);
    uint32_t desktop = dev::ScreenPixels()[200 * dev::ScreenWidth() + 200];
    EXPECT_EQ(desktop, 0x00408080u) << "the desktop colour";
    EXPECT_EQ(UpdateRect(low), "none");
    ShowWindow(high, SW_HIDE);
    EXPECT_EQ(dev::PixelOwner(75, 75), low);
    EXPECT_EQ(UpdateRect(low), "50,50-100,100") << "only what was uncovered";
    DestroyWindow(low);
    EXPECT_EQ(dev::PixelOwner(15, 15), nullptr);
    EXPECT_EQ(dev::ScreenPixels()[15 * dev::ScreenWidth() + 15], desktop) << "the desktop shows again";
}

TEST_F(Messages, SendsToAHungThreadWaitUntilItFetchesUnlessTheyTimeOut)
{
    HWND target = MakeElsewhere(u"Stuck", 5000);
    std::atomic<LRESULT> answer{-1};
    std::atomic<int> length{-1}, outcome{-1};
    std::atomic<DWORD> answeredAt{0}, textAt{0}, gaveUpAt{0};
    WCHAR text[16];
    memset(text, 0xAA, sizeof text);
    dev::StartDeviceThread(0, [&] {
        answer = SendMessageW(target, WM_USER + 3, 0, 0);
        answeredAt = GetTickCount();
    });
    dev::StartDeviceThread(0, [&] {
        length = GetWindowTextW(target, text, 16);
        textAt = GetTickCount();
    });
    dev::StartDeviceThread(0, [&] {
        DWORD_PTR result = 0xAAAA;
        outcome = (int)SendMessageTimeoutW(target, WM_USER + 1, 0, 0, SMTO_NORMAL, 200, &result);
        gaveUpAt = GetTickCount();
    });
    dev::AdvanceClock(4999);
    EXPECT_EQ(answer.load(), -1) << "the send returned while the target did not fetch";
    EXPECT_EQ(length.load(), -1) << "the window text comes from the window itself";
    EXPECT_EQ(outcome.load(), 0);
    EXPECT_EQ(gaveUpAt.load(), 200u);
    dev::AdvanceClock(1);
    EXPECT_EQ(answer.load(), 333);
    EXPECT_EQ(answeredAt.load(), 5000u) << "answered at the target's first fetch after its sleep";
    EXPECT_EQ(length.load(), 5);
    EXPECT_EQ(std::u16string(text), u"Stuck");
    EXPECT_EQ(textAt.load(), 5000u);
}

TEST_F(Messages, SenderAnswersMessagesSentToItWhileItWaits)
{
    HWND mine = Make(u"Mine");
    HWND theirs = MakeElsewhere(u"Theirs", 0);
    ASSERT_NE(theirs, nullptr);
    EXPECT_EQ(SendMessageW(theirs, WM_USER + 2, (WPARAM)mine, 0), 334);
    EXPECT_EQ(Taken(), "Theirs:user2 Mine:user3");
}

TEST_F(Messages, OneTimerArrivalAfterABusyStretchAndThePeriodCountsFromIt)
{
    HWND w = Make(u"W");
    SetTimer(w, 7, 100, nullptr);
    dev::AdvanceClock(350); // the thread fetches nothing for three periods
    EXPECT_EQ(Drain(), "timer(7)");
    EXPECT_EQ(Taken(), "W:timer(7)");
    dev::AdvanceClock(99);
    EXPECT_EQ(Drain(), "");
    dev::AdvanceClock(1);
    EXPECT_EQ(Drain(), "timer(7)") << "due one period after the arrival it made";
    SetTimer(w, 7, 10, nullptr);
    dev::AdvanceClock(10);
    EXPECT_TRUE(KillTimer(w, 7));
    EXPECT_EQ(Drain(), "") << "killing a due timer takes back its arrival";
    EXPECT_FALSE(KillTimer(w, 7));
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
    EXPECT_EQ(Drain(), "user1 user2 down(5,5) quit paint timer(1)");
    EXPECT_EQ(log.Take().front(), "W:user3") << "sent messages are handled before anything is fetched";
    dev::AdvanceClock(0);
    EXPECT_EQ(sent.load(), 333);
}

} // namespace
