// Windows: the tree, z-order and activation, finding and enumerating,
// window data, painting and the pixel owner map, object counts.

#include "kernel_test_util.h"

#include <cstring>
#include <map>

namespace {

using kt::DeviceTest;

kt::Log *windowLog = nullptr;
std::mutex namesLock;
std::map<HWND, std::string> names;

std::string NameOf(HWND w)
{
    std::lock_guard<std::mutex> g(namesLock);
    auto it = names.find(w);
    return it == names.end() ? (w ? "?" : "0") : it->second;
}

RECT lastPaint;

LRESULT CALLBACK Recorder(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_NCCREATE) {
        std::string s;
        for (LPCWSTR p = ((CREATESTRUCTW *)lp)->lpszName; p && *p; p++) s += (char)*p;
        std::lock_guard<std::mutex> g(namesLock);
        names[w] = s;
    }
    std::string line;
    switch (m) {
    case WM_ACTIVATE:
        line = "activate(" + std::to_string(LOWORD(wp)) + "," + NameOf((HWND)lp) + ")";
        break;
    case WM_DESTROY: line = "destroy"; break;
    case WM_NCDESTROY: line = "ncdestroy"; break;
    case WM_SETFOCUS: line = "setfocus"; break;
    case WM_KILLFOCUS: line = "killfocus"; break;
    case WM_LBUTTONDOWN: line = "down(" + std::to_string(GET_X_LPARAM(lp)) + "," + std::to_string(GET_Y_LPARAM(lp)) + ")"; break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(w, &ps);
        lastPaint = ps.rcPaint;
        EndPaint(w, &ps);
        line = "paint";
        break;
    }
    default: break;
    }
    if (!line.empty() && windowLog) windowLog->Add(NameOf(w) + ":" + line);
    if (m == WM_PAINT) return 0;
    return DefWindowProcW(w, m, wp, lp);
}

class Windows : public DeviceTest {
protected:
    kt::Log log;
    void SetUp() override
    {
        DeviceTest::SetUp();
        windowLog = &log;
        dev::AdoptCurrentThread();
        WNDCLASSW wc{};
        wc.lpfnWndProc = Recorder;
        wc.cbWndExtra = DLGWINDOWEXTRA;
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        wc.lpszClassName = u"Rec";
        RegisterClassW(&wc);
    }
    void TearDown() override
    {
        DeviceTest::TearDown();
        windowLog = nullptr;
    }
    static HWND Make(const WCHAR *name, DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr,
                     DWORD exStyle = 0, int id = 0)
    {
        return CreateWindowExW(exStyle, u"Rec", name, style, x, y, cx, cy, parent, (HMENU)(intptr_t)id, nullptr,
                               nullptr);
    }
    void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
};

// ------------------------------------------------------------ tree

TEST_F(Windows, ChildrenKeepCreationOrderAndIdsPopupsHaveOwners)
{
    HWND top = Make(u"top", WS_POPUP, 10, 20, 100, 100);
    HWND a = Make(u"a", WS_CHILD, 0, 0, 10, 10, top, 0, 101);
    HWND b = Make(u"b", WS_CHILD, 0, 0, 10, 10, top, 0, 102);
    HWND popup = Make(u"popup", WS_POPUP, 0, 0, 10, 10, a);
    EXPECT_EQ(GetWindow(top, GW_CHILD), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindowLongPtrW(b, GWLP_ID), 102);
    EXPECT_EQ(GetParent(a), top);
    EXPECT_EQ(GetWindow(popup, GW_OWNER), top) << "a popup is owned by the top-level window";
    EXPECT_EQ(GetParent(popup), top);
    EXPECT_TRUE(IsChild(top, a));
    EXPECT_FALSE(IsChild(top, popup));
    EXPECT_EQ(GetParent(top), nullptr);
    HWND windows[8];
    int count = 0;
    struct Collect {
        HWND *out;
        int *count;
    } collect{windows, &count};
    EnumChildWindows(top, [](HWND w, LPARAM p) -> BOOL {
        Collect *c = (Collect *)p;
        c->out[(*c->count)++] = w;
        return TRUE;
    }, (LPARAM)&collect);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(windows[0], a);
    EXPECT_EQ(windows[1], b);
}

TEST_F(Windows, DestroyingSendsDestroyParentFirstAndNcDestroyChildFirst)
{
    HWND top = Make(u"top", WS_POPUP, 0, 0, 100, 100);
    HWND child = Make(u"child", WS_CHILD, 0, 0, 10, 10, top);
    HWND grandchild = Make(u"grandchild", WS_CHILD, 0, 0, 5, 5, child);
    SetTimer(child, 1, 10, nullptr);
    log.Take();
    EXPECT_TRUE(DestroyWindow(top));
    EXPECT_EQ(kt::Join(log.Take()),
              "top:destroy child:destroy grandchild:destroy grandchild:ncdestroy child:ncdestroy top:ncdestroy");
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(grandchild));
    EXPECT_FALSE(DestroyWindow(top)) << "a stale handle fails";
    HWND again = Make(u"again", WS_POPUP, 0, 0, 1, 1);
    EXPECT_NE(again, top);
    EXPECT_NE(again, child);
    EXPECT_NE(again, grandchild);
}

TEST_F(Windows, DataIndicesAndExtraBytes)
{
    HWND w = Make(u"w", WS_POPUP, 0, 0, 10, 10);
    EXPECT_EQ(SetWindowLongPtrW(w, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 1234);
    EXPECT_EQ(SetWindowLongPtrW(w, DWLP_USER, (LONG_PTR)0x1122334455667788LL), 0);
    EXPECT_EQ(GetWindowLongPtrW(w, DWLP_USER), (LONG_PTR)0x1122334455667788LL);
    EXPECT_EQ(GetWindowLongPtrW(w, DWLP_MSGRESULT), 0) << "extra bytes start zeroed";
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrW(w, DLGWINDOWEXTRA - 4), 0);
    EXPECT_EQ(GetLastError(), 1413u) << "an index past the extra bytes fails";
    EXPECT_EQ((WNDPROC)GetWindowLongPtrW(w, GWLP_WNDPROC), Recorder);
    EXPECT_EQ(GetWindowLongPtrW(w, GWL_STYLE) & WS_POPUP, WS_POPUP);
    WCHAR cls[8];
    memset(cls, 0xAA, sizeof cls);
    EXPECT_EQ(GetClassNameW(w, cls, 8), 3);
    EXPECT_EQ(std::u16string(cls), u"Rec");
    EXPECT_EQ(GetClassNameW(w, cls, 2), 1);
    EXPECT_EQ(std::u16string(cls), u"R");
}

TEST_F(Windows, TextThroughTheWindowItself)
{
    HWND w = Make(u"first", WS_POPUP, 0, 0, 10, 10);
    WCHAR text[16];
    memset(text, 0xAA, sizeof text);
    EXPECT_EQ(GetWindowTextW(w, text, 16), 5);
    EXPECT_EQ(std::u16string(text), u"first");
    EXPECT_TRUE(SetWindowTextW(w, u"second title"));
    EXPECT_EQ(GetWindowTextLengthW(w), 12);
    memset(text, 0xAA, sizeof text);
    EXPECT_EQ(GetWindowTextW(w, text, 4), 3);
    EXPECT_EQ(std::u16string(text), u"sec");
    DestroyWindow(w);
    memset(text, 0xAA, sizeof text);
    EXPECT_EQ(GetWindowTextW(w, text, 16), 0);
    EXPECT_EQ(text[0], 0) << "a stale window still leaves a terminated text";
}

// ------------------------------------------------- finding, enumerating

TEST_F(Windows, EnumWindowsSeesHiddenWindowsOfEveryProcessFindWindowMatchesClassAndTitle)
{
    std::atomic<HWND> other{nullptr};
    dev::StartDeviceThread(0, [&] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = u"HHTaskBar";
        RegisterClassW(&wc);
        other = CreateWindowExW(0, u"HHTaskBar", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
        Sleep(INFINITE);
    });
    dev::AdvanceClock(0);
    HWND mine = Make(u"Performance Monitor", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    std::vector<HWND> seen;
    EnumWindows([](HWND w, LPARAM p) -> BOOL {
        ((std::vector<HWND> *)p)->push_back(w);
        return TRUE;
    }, (LPARAM)&seen);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], mine) << "z-order: the newer window is on top";
    EXPECT_EQ(seen[1], other.load());
    EXPECT_EQ(FindWindowW(u"hhtaskbar", nullptr), other.load()) << "class names compare without case";
    EXPECT_EQ(FindWindowW(u"Rec", u"Performance Monitor"), mine);
    EXPECT_EQ(FindWindowW(nullptr, u"Performance Monitor"), mine);
    EXPECT_EQ(FindWindowW(u"Rec", u"Other"), nullptr);
    EXPECT_EQ(FindWindowW(u"Dialog", u"Performance Monitor"), nullptr);
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(other, &pid);
    EXPECT_NE(pid, GetCurrentProcessId());
    EXPECT_NE(tid, GetCurrentThreadId());
    int visited = 0;
    EnumWindows([](HWND, LPARAM p) -> BOOL { return ++*(int *)p < 1; }, (LPARAM)&visited);
    EXPECT_EQ(visited, 1) << "a step returning zero stops the walk";
}

TEST_F(Windows, ProcessLocalClassesAreNotSeenElsewhere)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = u"Private";
    ASSERT_NE(RegisterClassW(&wc), 0);
    EXPECT_EQ(RegisterClassW(&wc), 0) << "registered twice";
    std::atomic<bool> created{true};
    dev::StartDeviceThread(0, [&] {
        created = CreateWindowExW(0, u"Private", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr) !=
                  nullptr;
    });
    dev::AdvanceClock(0);
    EXPECT_FALSE(created.load());
    HWND w = CreateWindowExW(0, u"private", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(w, nullptr);
    EXPECT_FALSE(UnregisterClassW(u"Private", wc.hInstance)) << "a class in use stays";
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassW(u"Private", wc.hInstance));
}

// ----------------------------------------------- z-order and activation

TEST_F(Windows, ShowingActivatesAndTheOtherWindowHearsItLostActivation)
{
    HWND a = Make(u"A", WS_POPUP, 0, 0, 50, 50);
    HWND b = Make(u"B", WS_POPUP, 0, 0, 50, 50);
    log.Take();
    ShowWindow(a, SW_SHOW);
    EXPECT_EQ(GetForegroundWindow(), a);
    EXPECT_EQ(GetActiveWindow(), a);
    EXPECT_EQ(GetFocus(), a);
    EXPECT_EQ(kt::Join(log.Take()), "A:activate(1,0) A:setfocus");
    ShowWindow(b, SW_SHOW);
    EXPECT_EQ(kt::Join(log.Take()), "A:activate(0,B) B:activate(1,A) A:killfocus B:setfocus");
    EXPECT_EQ(GetWindow(a, GW_HWNDFIRST), b);
    SetForegroundWindow(a);
    EXPECT_EQ(GetWindow(b, GW_HWNDFIRST), a) << "the foreground window comes to the top";
    log.Take();
    ShowWindow(a, SW_HIDE);
    EXPECT_EQ(GetForegroundWindow(), b) << "hiding passes activation to the next window";
    EXPECT_FALSE(IsWindowVisible(a));
    ShowWindow(a, SW_SHOWNA);
    EXPECT_EQ(GetForegroundWindow(), b) << "SW_SHOWNA does not activate";
}

TEST_F(Windows, TopmostWindowsStayAboveAndOwnedWindowsAboveTheirOwner)
{
    HWND bar = Make(u"bar", WS_POPUP | WS_VISIBLE, 0, 300, 240, 20, nullptr, WS_EX_TOPMOST);
    HWND main = Make(u"main", WS_POPUP | WS_VISIBLE, 0, 0, 240, 300);
    HWND box = Make(u"box", WS_POPUP | WS_VISIBLE, 20, 20, 100, 50, main);
    HWND other = Make(u"other", WS_POPUP | WS_VISIBLE, 0, 0, 240, 300);
    EXPECT_EQ(GetWindow(other, GW_HWNDFIRST), bar);
    EXPECT_EQ(GetWindow(bar, GW_HWNDNEXT), other);
    SetForegroundWindow(main);
    EXPECT_EQ(GetWindow(bar, GW_HWNDNEXT), box) << "the owned box comes up with its owner";
    EXPECT_EQ(GetWindow(box, GW_HWNDNEXT), main);
    EXPECT_EQ(GetWindow(main, GW_HWNDNEXT), other);
    log.Take();
    DestroyWindow(box);
    EXPECT_EQ(GetForegroundWindow(), main);
}

TEST_F(Windows, ActivationOfAnotherThreadsWindowArrivesWhenItPumps)
{
    std::atomic<HWND> theirs{nullptr};
    std::atomic<bool> stop{false};
    dev::StartDeviceThread(0, [&] {
        theirs = Make(u"theirs", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
        Sleep(5000); // hung for a while
        MSG msg;
        while (!stop.load() && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    dev::AdvanceClock(0);
    Make(u"mine", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    log.Take();
    EXPECT_TRUE(SetForegroundWindow(theirs)) << "does not wait for the hung thread";
    EXPECT_EQ(GetForegroundWindow(), theirs.load());
    EXPECT_EQ(kt::Join(log.Take()), "mine:activate(0,theirs) mine:killfocus");
    dev::AdvanceClock(5000);
    EXPECT_EQ(kt::Join(log.Take()), "theirs:activate(0,mine) theirs:killfocus theirs:activate(1,mine) theirs:setfocus theirs:paint");
    stop = true;
}

TEST_F(Windows, TapActivatesByClickAndDeliversClientCoordinates)
{
    HWND a = Make(u"A", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND child = Make(u"child", WS_CHILD | WS_VISIBLE, 10, 10, 30, 30, a);
    HWND b = Make(u"B", WS_POPUP | WS_VISIBLE, 120, 0, 100, 100);
    Pump();
    log.Take();
    ASSERT_EQ(GetForegroundWindow(), b);
    dev::Tap(15, 17, true);
    dev::Tap(15, 17, false);
    Pump();
    std::vector<std::string> lines = log.Take();
    EXPECT_EQ(kt::Join(lines), "B:activate(0,A) A:activate(2,B) B:killfocus A:setfocus child:down(5,7)");
    EXPECT_EQ(GetForegroundWindow(), a);
    EnableWindow(child, FALSE);
    dev::Tap(15, 17, true);
    Pump();
    EXPECT_EQ(kt::Join(log.Take()), "A:down(15,17)") << "a disabled child lets the tap through to its parent";
    (void)child;
}

// ---------------------------------------------------------- painting

TEST_F(Windows, InvalidatingASmallSquareRepaintsOnlyThatSquare)
{
    HWND w = Make(u"w", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    Pump();
    log.Take();
    RECT r;
    EXPECT_FALSE(GetUpdateRect(w, &r, FALSE));
    RECT square{40, 60, 59, 79};
    InvalidateRect(w, &square, FALSE);
    memset(&r, 0xAA, sizeof r);
    EXPECT_TRUE(GetUpdateRect(w, &r, FALSE));
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right, 59);
    EXPECT_EQ(r.bottom, 79);
    memset(&lastPaint, 0xAA, sizeof lastPaint);
    UpdateWindow(w);
    EXPECT_EQ(kt::Join(log.Take()), "w:paint") << "UpdateWindow paints before it returns";
    EXPECT_EQ(lastPaint.left, 40);
    EXPECT_EQ(lastPaint.right, 59);
    EXPECT_EQ(lastPaint.bottom, 79);
    EXPECT_FALSE(GetUpdateRect(w, &r, FALSE));
    UpdateWindow(w);
    EXPECT_TRUE(log.Take().empty()) << "nothing to paint, no WM_PAINT";
}

TEST_F(Windows, ValidatingPartOfTheRegionLeavesTheRest)
{
    HWND w = Make(u"w", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    Pump();
    RECT all{0, 0, 100, 20}, left{0, 0, 60, 20}, r;
    InvalidateRect(w, &all, FALSE);
    ValidateRect(w, &left);
    EXPECT_TRUE(GetUpdateRect(w, &r, FALSE));
    EXPECT_EQ(r.left, 60);
    EXPECT_EQ(r.right, 100);
    ValidateRect(w, nullptr);
    EXPECT_FALSE(GetUpdateRect(w, &r, FALSE));
}

TEST_F(Windows, PixelsBelongToTheDeepestVisibleWindowAndUncoveredPixelsRepaint)
{
    HWND low = Make(u"low", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND child = Make(u"child", WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, low);
    HWND high = Make(u"high", WS_POPUP | WS_VISIBLE, 50, 50, 100, 100);
    Pump();
    EXPECT_EQ(dev::PixelOwner(5, 5), low);
    EXPECT_EQ(dev::PixelOwner(15, 15), child);
    EXPECT_EQ(dev::PixelOwner(75, 75), high);
    EXPECT_EQ(dev::PixelOwner(200, 200), nullptr);
    uint32_t desktop = dev::ScreenPixels()[200 * dev::ScreenWidth() + 200];
    EXPECT_EQ(desktop, 0x00408080u) << "the desktop colour";
    RECT r;
    EXPECT_FALSE(GetUpdateRect(low, &r, FALSE));
    ShowWindow(high, SW_HIDE);
    EXPECT_EQ(dev::PixelOwner(75, 75), low);
    ASSERT_TRUE(GetUpdateRect(low, &r, FALSE));
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right, 100);
    EXPECT_EQ(r.bottom, 100) << "only what was uncovered";
    DestroyWindow(low);
    EXPECT_EQ(dev::PixelOwner(15, 15), nullptr);
    EXPECT_EQ(dev::ScreenPixels()[15 * dev::ScreenWidth() + 15], desktop) << "the desktop shows again";
}

TEST_F(Windows, MovingAWindowMovesItsPixelsAndRepaintsIt)
{
    HWND w = Make(u"w", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    Pump();
    log.Take();
    MoveWindow(w, 100, 100, 60, 40, TRUE);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.right, 160);
    EXPECT_EQ(r.bottom, 140);
    EXPECT_EQ(dev::PixelOwner(10, 10), nullptr);
    EXPECT_EQ(dev::PixelOwner(159, 139), w);
    POINT p{110, 105};
    ScreenToClient(w, &p);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 5);
    Pump();
    EXPECT_EQ(kt::Join(log.Take()), "w:paint");
}

// ------------------------------------------------------------ accounting

TEST_F(Windows, WindowCountReturnsToZero)
{
    long before = dev::LiveObjects(dev::KindWindow);
    HWND top = Make(u"top", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    for (int i = 0; i < 5; i++) Make(u"c", WS_CHILD, 0, 0, 1, 1, top);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), before + 6);
    DestroyWindow(top);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), before);
}

} // namespace
