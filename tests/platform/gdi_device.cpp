// The device's GDI: the live object counts every leak check relies on,
// raster operations and clipping on known pixels, and window device contexts
// that draw only on the pixels their window shows.

#include "kernel_test_util.h"

#include <cstdint>
#include <vector>

namespace {

class Gdi : public kt::DeviceTest {
protected:
    void SetUp() override
    {
        kt::DeviceTest::SetUp();
        screen = GetDC(NULL);
    }
    // A memory DC with a new screen-format bitmap of the size selected.
    HDC Memory(int width, int height)
    {
        HDC dc = CreateCompatibleDC(screen);
        SelectObject(dc, CreateCompatibleBitmap(screen, width, height));
        return dc;
    }
    static void Fill(HDC dc, int width, int height, COLORREF color)
    {
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                SetPixel(dc, x, y, color);
    }
    HDC screen = nullptr;
};

TEST_F(Gdi, LiveCountsFollowCreationAndRelease)
{
    // Device contexts, bitmaps, brushes.
    auto live = [] {
        return std::vector<long>{dev::LiveObjects(dev::KindDC), dev::LiveObjects(dev::KindBitmap),
                                 dev::LiveObjects(dev::KindBrush)};
    };
    const std::vector<long> before = live();
    HDC window = GetDC(NULL);
    HDC memory = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, 3, 3);
    HBRUSH brush = CreateSolidBrush(0);
    GetStockObject(GRAY_BRUSH); // stock objects are not counted
    EXPECT_EQ(live(), (std::vector<long>{before[0] + 2, before[1] + 1, before[2] + 1}));
    DeleteObject(brush);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, window);
    EXPECT_EQ(live(), before);

    // A reset forgets every object; stock objects come back.
    brush = CreateSolidBrush(RGB(1, 2, 3));
    memory = CreateCompatibleDC(NULL);
    dev::ResetDevice(kt::ManualConfig());
    EXPECT_TRUE(dev::LiveObjects(dev::KindBrush) == 0 && dev::LiveObjects(dev::KindDC) == 0);
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_FALSE(DeleteDC(memory));
    EXPECT_NE(nullptr, GetStockObject(WHITE_BRUSH));
}

// Destination, source and brush chosen so every channel tells the bitwise
// operation apart.
const COLORREF kDest = RGB(0xCC, 0x33, 0x55), kSource = RGB(0xF0, 0x0F, 0xAA), kBrush = RGB(0x12, 0x34, 0x56);

TEST_F(Gdi, EveryRasterOperationOnKnownPixels)
{
    enum { Source, NoSource, StaleSource };
    const struct {
        const char *name;
        DWORD rop;
        int source;
        COLORREF expected; // kDest: the call fails and draws nothing
    } cases[] = {
        {"SRCCOPY", SRCCOPY, Source, RGB(0xF0, 0x0F, 0xAA)},
        {"SRCINVERT", SRCINVERT, Source, RGB(0x3C, 0x3C, 0xFF)},
        {"PATCOPY", PATCOPY, NoSource, RGB(0x12, 0x34, 0x56)},
        {"BLACKNESS", BLACKNESS, NoSource, RGB(0, 0, 0)},
        {"WHITENESS, stale source", WHITENESS, StaleSource, RGB(0xFF, 0xFF, 0xFF)},
        {"SRCCOPY without a source", SRCCOPY, NoSource, kDest},
    };
    HBRUSH brush = CreateSolidBrush(kBrush);
    for (const auto &c : cases) {
        HDC dst = Memory(3, 1), src = Memory(3, 1);
        Fill(dst, 3, 1, kDest);
        Fill(src, 3, 1, kSource);
        SelectObject(dst, brush);
        HDC from = c.source == Source ? src : c.source == NoSource ? NULL : (HDC)(uintptr_t)0x7777;
        EXPECT_EQ(c.expected != kDest, !!BitBlt(dst, 1, 0, 1, 1, from, 1, 0, c.rop)) << c.name;
        EXPECT_EQ(c.expected, GetPixel(dst, 1, 0)) << c.name << std::hex << " got 0x" << GetPixel(dst, 1, 0);
        EXPECT_TRUE(GetPixel(dst, 0, 0) == kDest && GetPixel(dst, 2, 0) == kDest) << c.name << ": neighbours touched";
    }
}

TEST_F(Gdi, CopiesAreClippedToSourceAndDestination)
{
    const COLORREF poison = RGB(0xAA, 0xAA, 0xAA);
    HDC src = Memory(4, 4), dst = Memory(4, 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            SetPixel(src, x, y, RGB(x, y, 9));

    // Source partly outside its bitmap: only the part inside arrives.
    Fill(dst, 4, 4, poison);
    BitBlt(dst, 0, 0, 4, 4, src, 2, 2, SRCCOPY);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(x < 2 && y < 2 ? RGB(x + 2, y + 2, 9) : poison, GetPixel(dst, x, y)) << x << "," << y;

    // Destination partly outside, with a negative origin.
    Fill(dst, 4, 4, poison);
    BitBlt(dst, -1, -1, 4, 4, src, 0, 0, SRCCOPY);
    EXPECT_TRUE(GetPixel(dst, 0, 0) == RGB(1, 1, 9) && GetPixel(dst, 2, 2) == RGB(3, 3, 9) &&
                GetPixel(dst, 3, 3) == poison)
        << std::hex << GetPixel(dst, 0, 0) << " " << GetPixel(dst, 2, 2) << " " << GetPixel(dst, 3, 3);

    EXPECT_EQ(CLR_INVALID, SetPixel(dst, 4, 0, RGB(1, 1, 1)));
    DeleteDC(src);
    EXPECT_EQ(CLR_INVALID, GetPixel(src, 0, 0)) << "stale DC";
}

// ------------------------------------------------------------ window DCs

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

class WindowDc : public kt::DeviceTest {
protected:
    void SetUp() override
    {
        kt::DeviceTest::SetUp();
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
    static HWND Make(DWORD style, int x, int y, int width, int height, HWND parent = NULL)
    {
        return CreateWindowExW(0, TEXT("GdiPlain"), TEXT(""), style | WS_VISIBLE, x, y, width, height, parent, NULL,
                               NULL, NULL);
    }
    COLORREF At(int x, int y) { return GetPixel(screen, x, y); }
    HWND a = nullptr, b = nullptr, c = nullptr;
    HDC screen = nullptr;
};

TEST_F(WindowDc, DrawsOnlyOnPixelsTheWindowShows)
{
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
        {"A's own pixel", 25, 25, 0},        {"A's last pixel", 59, 19, 0},  {"under B", 35, 25, 0xFFFFFF},
        {"under child C", 12, 12, 0xFFFFFF}, {"left of A", 9, 25, 0xFFFFFF}, {"below A", 25, 50, 0xFFFFFF},
    };
    for (const auto &p : probes)
        EXPECT_EQ(p.expected, At(p.x, p.y)) << p.what << std::hex << " got " << At(p.x, p.y);

    // Reading through the DC: its own pixels, nothing where it does not show.
    EXPECT_EQ(0u, GetPixel(dc, 15, 15));
    for (POINT p : {POINT{25, 15} /* covered by B */, POINT{2, 2} /* the child's */, POINT{50, 0} /* beyond */})
        EXPECT_EQ(CLR_INVALID, GetPixel(dc, p.x, p.y)) << p.x << "," << p.y;
    EXPECT_EQ(CLR_INVALID, SetPixel(dc, 25, 15, RGB(1, 2, 3)));
    EXPECT_EQ(0xFFFFFFu, At(35, 25));
}

TEST_F(WindowDc, HiddenAndDestroyedWindowsDrawNothing)
{
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

} // namespace
