// Window device contexts: drawing lands on the screen at the window's place,
// only on the pixels the window shows; reading gives the screen's pixels.

#include "platform/host/kernel.h"
#include "platform/host/user.h"
#include "platform/host/gdi.h"
#include "platform/host/screen.h"

#include <gtest/gtest.h>

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

class WindowDc : public ::testing::Test {
protected:
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
        dev::AdoptCurrentThread();
        WNDCLASSW wc{};
        wc.lpfnWndProc = PlainProc;
        wc.lpszClassName = TEXT("GdiPlain");
        RegisterClassW(&wc);
        // A below B; C a child in A's top-left corner. Popups without
        // borders: the client area is the whole window.
        a = Make(WS_POPUP, 10, 10, 50, 40);
        b = Make(WS_POPUP, 30, 20, 50, 40);
        c = Make(WS_CHILD, 0, 0, 10, 10, a);
        SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ASSERT_TRUE(dev::PixelOwner(35, 25) == b && dev::PixelOwner(25, 25) == a && dev::PixelOwner(12, 12) == c);
        screen = GetDC(NULL);
        PatBlt(screen, 0, 0, dev::ScreenWidth(), dev::ScreenHeight(), WHITENESS);
    }
    // The reset forgets the windows and DCs a test leaves behind.
    void TearDown() override { dev::ResetDevice(dev::Config()); }
    static HWND Make(DWORD style, int x, int y, int width, int height, HWND parent = NULL) {
        return CreateWindowExW(0, TEXT("GdiPlain"), TEXT(""), style | WS_VISIBLE, x, y, width, height, parent, NULL,
                               NULL, NULL);
    }
    COLORREF At(int x, int y) { return GetPixel(screen, x, y); }
    HWND a = nullptr, b = nullptr, c = nullptr;
    HDC screen = nullptr;
};

TEST_F(WindowDc, DrawsOnlyOnPixelsTheWindowShows) {
    HDC dc = GetDC(a);
    ASSERT_NE(nullptr, dc);
    uint64_t generation = dev::screenGeneration;
    EXPECT_TRUE(PatBlt(dc, -5, -5, 100, 100, BLACKNESS));
    EXPECT_GT(dev::screenGeneration, generation);
    const struct {
        const char *what;
        int x, y;
        COLORREF expected;
    } probes[] = {
        {"A's own pixel", 25, 25, 0},        {"A's last pixel", 59, 19, 0}, {"under B", 35, 25, 0xFFFFFF},
        {"under child C", 12, 12, 0xFFFFFF}, {"left of A", 9, 25, 0xFFFFFF}, {"below A", 25, 50, 0xFFFFFF},
    };
    for (const auto &p : probes) EXPECT_EQ(p.expected, At(p.x, p.y)) << p.what << std::hex << " got " << At(p.x, p.y);

    // Reading through the DC: its own pixels, nothing where it does not show.
    EXPECT_EQ(0u, GetPixel(dc, 15, 15));
    for (POINT p : {POINT{25, 15} /* covered by B */, POINT{2, 2} /* the child's */, POINT{50, 0} /* beyond */})
        EXPECT_EQ(CLR_INVALID, GetPixel(dc, p.x, p.y)) << p.x << "," << p.y;
    EXPECT_EQ(CLR_INVALID, SetPixel(dc, 25, 15, RGB(1, 2, 3)));
    EXPECT_EQ(0xFFFFFFu, At(35, 25));
}

TEST_F(WindowDc, CopyingFromAWindowReadsTheScreen) {
    HDC dc = GetDC(a);
    SetPixel(screen, 35, 25, RGB(9, 8, 7)); // B's pixel over A
    SetPixel(screen, 15, 15, RGB(1, 2, 3)); // A's own
    HDC memory = CreateCompatibleDC(dc);
    SelectObject(memory, CreateCompatibleBitmap(dc, 50, 40));
    BitBlt(memory, 0, 0, 50, 40, dc, 0, 0, SRCCOPY);
    EXPECT_EQ(RGB(1, 2, 3), GetPixel(memory, 5, 5));
    EXPECT_EQ(RGB(9, 8, 7), GetPixel(memory, 25, 15)) << "what the screen shows there, though B's";
    // Copying back draws only on A's pixels.
    PatBlt(memory, 0, 0, 50, 40, BLACKNESS);
    BitBlt(dc, 0, 0, 50, 40, memory, 0, 0, SRCCOPY);
    EXPECT_TRUE(At(15, 25) == 0 && At(35, 25) == RGB(9, 8, 7)) << std::hex << At(15, 25) << " " << At(35, 25);
}

TEST_F(WindowDc, HiddenAndDestroyedWindowsDrawNothing) {
    HDC dc = GetDC(a);
    ShowWindow(a, SW_HIDE);
    PatBlt(screen, 0, 0, dev::ScreenWidth(), dev::ScreenHeight(), WHITENESS);
    PatBlt(dc, 0, 0, 50, 40, BLACKNESS);
    EXPECT_EQ(0xFFFFFFu, At(25, 25));
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 15, 15));
    ShowWindow(a, SW_SHOWNA);
    DestroyWindow(a);
    EXPECT_FALSE(PatBlt(dc, 0, 0, 50, 40, BLACKNESS));
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 15, 15));
    EXPECT_EQ(1, ReleaseDC(a, dc));
    EXPECT_EQ(nullptr, GetDC(a));
}

TEST_F(WindowDc, PaintDcIsClippedAndCounted) {
    long dcs = dev::LiveObjects(dev::KindDC);
    RECT clip{0, 0, 5, 5};
    HDC dc = dev::GetPaintDC(b, &clip);
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(dcs + 1, dev::LiveObjects(dev::KindDC));
    PatBlt(dc, 0, 0, 50, 40, BLACKNESS);
    EXPECT_TRUE(At(30, 20) == 0 && At(34, 24) == 0) << "inside the clip";
    EXPECT_TRUE(At(35, 20) == 0xFFFFFF && At(30, 25) == 0xFFFFFF) << "outside the clip";
    ReleaseDC(b, dc);
    EXPECT_EQ(dcs, dev::LiveObjects(dev::KindDC));
}

} // namespace
