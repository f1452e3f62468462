// What the window core remembers between calls to save work (recent handle
// look-ups, which threads have something to paint) must never answer from a
// state that has since changed.

#include "kernel_test_util.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> *seen = nullptr; // the test thread's windows only

LRESULT CALLBACK Keeper(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_NCPAINT && seen) seen->push_back("ncpaint");
    if (m == WM_PAINT) {
        if (seen) seen->push_back("paint");
        PAINTSTRUCT ps;
        BeginPaint(w, &ps);
        EndPaint(w, &ps);
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

class Bookkeeping : public kt::DeviceTest {
protected:
    std::vector<std::string> log;
    void SetUp() override
    {
        kt::DeviceTest::SetUp();
        seen = &log;
        dev::AdoptCurrentThread();
        WNDCLASSW wc{};
        wc.lpfnWndProc = Keeper;
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        wc.lpszClassName = u"Keeper";
        RegisterClassW(&wc);
    }
    void TearDown() override
    {
        kt::DeviceTest::TearDown();
        seen = nullptr;
    }
    static HWND Make(DWORD style = WS_POPUP, int x = 0, int y = 0, int cx = 40, int cy = 40)
    {
        return CreateWindowExW(0, u"Keeper", u"", style, x, y, cx, cy, nullptr, nullptr, nullptr, nullptr);
    }
    std::string Drain()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return kt::Join(std::exchange(log, {}));
    }
};

TEST_F(Bookkeeping, HandleLookupsFollowDestructionAndNeighbours)
{
    HWND a = Make();
    SetWindowLongPtrW(a, GWLP_USERDATA, 1);
    // Enough windows after it that a later handle lands where a's look-ups are kept.
    for (int i = 0; i < 255; i++)
        Make();
    HWND b = Make();
    SetWindowLongPtrW(b, GWLP_USERDATA, 2);
    for (int round = 0; round < 2; round++) {
        EXPECT_EQ(GetWindowLongPtrW(a, GWLP_USERDATA), 1);
        EXPECT_EQ(GetWindowLongPtrW(b, GWLP_USERDATA), 2);
    }

    DestroyWindow(a);
    SetLastError(0);
    EXPECT_FALSE(IsWindow(a));
    EXPECT_EQ(GetWindowLongPtrW(a, GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), 1400u);
    EXPECT_EQ(GetWindowLongPtrW(b, GWLP_USERDATA), 2);
}

TEST_F(Bookkeeping, PaintMadeDueAfterAQuietFetchIsFetched)
{
    HWND w = Make(WS_POPUP | WS_VISIBLE | WS_BORDER, 10, 10, 60, 60);
    HWND cover = Make(WS_POPUP | WS_VISIBLE, 20, 20, 10, 10);
    const struct {
        const char *how;
        std::function<void()> act;
        const char *expected;
    } cases[] = {
        {"invalidated here", [&] { InvalidateRect(w, nullptr, TRUE); }, "paint"},
        {"invalidated by another thread",
         [&] {
             dev::StartDeviceThread(0, [&] { InvalidateRect(w, nullptr, FALSE); });
             dev::AdvanceClock(0);
         },
         "paint"},
        {"frame changed",
         [&] {
             SetWindowPos(w, nullptr, 0, 0, 0, 0,
                          SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
         },
         "ncpaint"},
        {"uncovered", [&] { ShowWindow(cover, SW_HIDE); }, "paint"},
    };
    for (const auto &c : cases) {
        Drain();
        EXPECT_EQ(Drain(), "") << c.how << ": nothing left before";
        c.act();
        EXPECT_EQ(Drain(), c.expected) << c.how;
    }
}

} // namespace
