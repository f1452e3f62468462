// Raster operations, pixels and clipping of the device's GDI, checked on
// known pixels: the operations the graph and the icon probe draw with.

#include "platform/host/kernel.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

class GdiRaster : public ::testing::Test {
protected:
    // The reset forgets every DC and bitmap a test leaves behind.
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
        screen = GetDC(NULL);
    }
    // A memory DC with a new screen-format bitmap of the size selected.
    HDC Memory(int width, int height) {
        HDC dc = CreateCompatibleDC(screen);
        SelectObject(dc, CreateCompatibleBitmap(screen, width, height));
        return dc;
    }
    static void Fill(HDC dc, int width, int height, COLORREF color) {
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) SetPixel(dc, x, y, color);
    }
    HDC screen = nullptr;
};

// Destination, source and brush chosen so every channel tells the bitwise
// operation apart.
const COLORREF kDest = RGB(0xCC, 0x33, 0x55), kSource = RGB(0xF0, 0x0F, 0xAA), kBrush = RGB(0x12, 0x34, 0x56);

TEST_F(GdiRaster, EveryRasterOperationOnKnownPixels) {
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

TEST_F(GdiRaster, OverlappingSelfCopyBothWays) {
    const struct {
        const char *name;
        int destX, destY, sourceX, sourceY, width, height;
    } shifts[] = {
        {"one left (the graph scroll)", 0, 0, 1, 0, 7, 3}, {"diagonal down-right", 2, 1, 0, 0, 6, 2},
    };
    const int w = 8, h = 3;
    auto original = [](int x, int y) { return RGB(x * 20 + 1, y * 40 + 2, 7); };
    for (const auto &c : shifts) {
        HDC dc = Memory(w, h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) SetPixel(dc, x, y, original(x, y));
        BitBlt(dc, c.destX, c.destY, c.width, c.height, dc, c.sourceX, c.sourceY, SRCCOPY);
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                bool inside = x >= c.destX && x < c.destX + c.width && y >= c.destY && y < c.destY + c.height;
                COLORREF expected =
                    inside ? original(x - c.destX + c.sourceX, y - c.destY + c.sourceY) : original(x, y);
                EXPECT_EQ(expected, GetPixel(dc, x, y)) << c.name << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(GdiRaster, CopiesAreClippedToSourceAndDestination) {
    const COLORREF poison = RGB(0xAA, 0xAA, 0xAA);
    HDC src = Memory(4, 4), dst = Memory(4, 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) SetPixel(src, x, y, RGB(x, y, 9));

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

TEST_F(GdiRaster, FillRectLeavesOutRightAndBottom) {
    HDC dc = Memory(8, 8);
    Fill(dc, 8, 8, RGB(255, 255, 255));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{2, 2, 6, 5};
    EXPECT_EQ(1, FillRect(dc, &r, red));
    EXPECT_TRUE(GetPixel(dc, 2, 2) == RGB(255, 0, 0) && GetPixel(dc, 5, 4) == RGB(255, 0, 0)) << "corners";
    EXPECT_TRUE(GetPixel(dc, 6, 4) == 0xFFFFFF && GetPixel(dc, 5, 5) == 0xFFFFFF) << "right or bottom filled";
}

} // namespace
