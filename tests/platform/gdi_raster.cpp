// Raster operations, pixels, clipping and format conversion of the device's
// GDI, checked on known pixels.

#include "platform/host/internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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
    HDC Memory(int width, int height, HBITMAP *bitmap = nullptr) {
        HBITMAP b = CreateCompatibleBitmap(screen, width, height);
        HDC dc = CreateCompatibleDC(screen);
        SelectObject(dc, b);
        if (bitmap) *bitmap = b;
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
        {"SRCAND", SRCAND, Source, RGB(0xC0, 0x03, 0x00)},
        {"SRCPAINT", SRCPAINT, Source, RGB(0xFC, 0x3F, 0xFF)},
        {"NOTSRCCOPY", NOTSRCCOPY, Source, RGB(0x0F, 0xF0, 0x55)},
        {"MERGECOPY (pattern AND source)", 0x00C000CA, Source, RGB(0x10, 0x04, 0x02)},
        {"MERGEPAINT (NOT source OR dest)", 0x00BB0226, Source, RGB(0xCF, 0xF3, 0x55)},
        {"PATCOPY", PATCOPY, NoSource, RGB(0x12, 0x34, 0x56)},
        {"PATINVERT", PATINVERT, NoSource, RGB(0xDE, 0x07, 0x03)},
        {"DSTINVERT", DSTINVERT, NoSource, RGB(0x33, 0xCC, 0xAA)},
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

TEST_F(GdiRaster, OverlappingSelfCopyInEveryDirection) {
    const struct {
        const char *name;
        int destX, destY, sourceX, sourceY, width, height;
    } shifts[] = {
        {"one left (the graph scroll)", 0, 0, 1, 0, 7, 3}, {"one right", 1, 0, 0, 0, 7, 3},
        {"one up", 0, 0, 0, 1, 8, 2}, {"one down", 0, 1, 0, 0, 8, 2},
        {"diagonal down-right", 2, 1, 0, 0, 6, 2}, {"diagonal up-left", 0, 0, 3, 1, 5, 2},
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

TEST_F(GdiRaster, GetPixelOutsideTheBitmapIsInvalid) {
    HDC dc = Memory(5, 4);
    Fill(dc, 5, 4, RGB(0, 0, 0));
    for (POINT p : {POINT{-1, 0}, POINT{0, -1}, POINT{5, 0}, POINT{0, 4}, POINT{5, 4}, POINT{100000, 3}})
        EXPECT_EQ(CLR_INVALID, GetPixel(dc, p.x, p.y)) << p.x << "," << p.y;
    EXPECT_EQ(0u, GetPixel(dc, 4, 3)); // black is 0, not invalid
    EXPECT_EQ(CLR_INVALID, SetPixel(dc, 5, 0, RGB(1, 1, 1)));

    // A fresh memory DC shows its 1x1 monochrome bitmap; a stale one nothing.
    HDC fresh = CreateCompatibleDC(screen);
    EXPECT_TRUE(GetPixel(fresh, 0, 0) == 0 && GetPixel(fresh, 1, 0) == CLR_INVALID);
    DeleteDC(fresh);
    EXPECT_EQ(CLR_INVALID, GetPixel(fresh, 0, 0));
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

    // The clip rectangle and the viewport origin.
    Fill(dst, 4, 4, poison);
    int saved = SaveDC(dst);
    EXPECT_EQ(2, IntersectClipRect(dst, 1, 1, 3, 3)); // SIMPLEREGION
    BitBlt(dst, 0, 0, 4, 4, NULL, 0, 0, BLACKNESS);
    RestoreDC(dst, saved);
    for (int i = 0; i < 4; i++) EXPECT_EQ(i == 1 || i == 2 ? 0 : poison, GetPixel(dst, i, i)) << "clipped at " << i;
    POINT previous{-5, -5};
    SetViewportOrgEx(dst, 2, 1, &previous);
    EXPECT_EQ(0, previous.x);
    SetPixel(dst, 0, 0, RGB(5, 5, 5));
    SetViewportOrgEx(dst, 0, 0, nullptr);
    EXPECT_EQ(RGB(5, 5, 5), GetPixel(dst, 2, 1));
}

TEST_F(GdiRaster, MonochromeAndColourConvertAsThePlatformDoes) {
    // 3 by 2, rows of whole 16-bit words; 1 is white.
    const uint8_t bits[4] = {0x40, 0x00, 0xA0, 0x00};
    HDC monoDc = CreateCompatibleDC(screen);
    SelectObject(monoDc, CreateBitmap(3, 2, 1, 1, bits));
    const COLORREF created[2][3] = {{0, 0xFFFFFF, 0}, {0xFFFFFF, 0, 0xFFFFFF}};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) EXPECT_EQ(created[y][x], GetPixel(monoDc, x, y)) << x << "," << y;

    // Monochrome to colour: 0 takes the text colour, 1 the background colour.
    HDC colour = Memory(2, 1);
    SetTextColor(colour, RGB(200, 0, 0));
    SetBkColor(colour, RGB(0, 0, 200));
    BitBlt(colour, 0, 0, 2, 1, monoDc, 0, 0, SRCCOPY);
    EXPECT_TRUE(GetPixel(colour, 0, 0) == RGB(200, 0, 0) && GetPixel(colour, 1, 0) == RGB(0, 0, 200))
        << std::hex << GetPixel(colour, 0, 0) << " " << GetPixel(colour, 1, 0);

    // Colour to monochrome: 1 where the source shows its background colour.
    SetPixel(colour, 0, 0, RGB(1, 2, 3));
    SetPixel(colour, 1, 0, RGB(9, 9, 9));
    SetBkColor(colour, RGB(9, 9, 9));
    BitBlt(monoDc, 0, 0, 2, 1, colour, 0, 0, SRCCOPY);
    EXPECT_TRUE(GetPixel(monoDc, 0, 0) == 0 && GetPixel(monoDc, 1, 0) == 0xFFFFFF)
        << std::hex << GetPixel(monoDc, 0, 0) << " " << GetPixel(monoDc, 1, 0);

    // A monochrome bitmap keeps only black and white.
    SetPixel(monoDc, 0, 0, RGB(250, 250, 200));
    EXPECT_EQ(0xFFFFFFu, GetPixel(monoDc, 0, 0));
}

TEST_F(GdiRaster, ScreenAndCompatibleBitmapAgreeOnColours) {
    const COLORREF colour = RGB(0x12, 0x34, 0x56);
    SetPixel(screen, 5, 6, colour);
    EXPECT_EQ(colour, GetPixel(screen, 5, 6));
    EXPECT_EQ(0x123456u, dev::ScreenPixels()[6 * dev::ScreenWidth() + 5]); // 0x00RRGGBB

    HDC dc = Memory(3, 3);
    BitBlt(dc, 0, 0, 3, 3, screen, 4, 5, SRCCOPY);
    EXPECT_EQ(GetPixel(screen, 5, 6), GetPixel(dc, 1, 1));
    SetPixel(dc, 0, 0, colour);
    EXPECT_EQ(GetPixel(screen, 5, 6), GetPixel(dc, 0, 0));

    uint64_t before = dev::screenGeneration;
    BitBlt(screen, 0, 0, 3, 3, dc, 0, 0, SRCCOPY);
    EXPECT_GT(dev::screenGeneration, before);
    before = dev::screenGeneration;
    BitBlt(dc, 0, 0, 3, 3, NULL, 0, 0, WHITENESS); // a bitmap only
    EXPECT_EQ(before, dev::screenGeneration);
}

TEST_F(GdiRaster, LinesRectanglesAndFills) {
    HDC dc = Memory(8, 8);
    Fill(dc, 8, 8, RGB(255, 255, 255));
    // A line leaves out its end point.
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, 4, 0);
    MoveToEx(dc, 0, 1, nullptr);
    LineTo(dc, 3, 4);
    for (int x = 0; x < 4; x++) EXPECT_EQ(0u, GetPixel(dc, x, 0)) << x;
    EXPECT_TRUE(GetPixel(dc, 1, 2) == 0 && GetPixel(dc, 2, 3) == 0) << "diagonal";
    EXPECT_TRUE(GetPixel(dc, 4, 0) == 0xFFFFFF && GetPixel(dc, 3, 4) == 0xFFFFFF) << "end points drawn";

    // Rectangle: pen border on the outermost pixels inside, brush within.
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ oldBrush = SelectObject(dc, red);
    Fill(dc, 8, 8, RGB(255, 255, 255));
    Rectangle(dc, 1, 1, 5, 5);
    EXPECT_TRUE(GetPixel(dc, 1, 1) == 0 && GetPixel(dc, 4, 4) == 0) << "border";
    EXPECT_TRUE(GetPixel(dc, 2, 2) == RGB(255, 0, 0) && GetPixel(dc, 3, 3) == RGB(255, 0, 0)) << "inside";
    EXPECT_EQ(0xFFFFFFu, GetPixel(dc, 5, 5));
    SelectObject(dc, oldBrush);

    // FillRect excludes right and bottom; FrameRect draws one pixel inside.
    Fill(dc, 8, 8, RGB(255, 255, 255));
    RECT r{2, 2, 6, 5};
    EXPECT_EQ(1, FillRect(dc, &r, red));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 5, 4));
    EXPECT_TRUE(GetPixel(dc, 6, 4) == 0xFFFFFF && GetPixel(dc, 5, 5) == 0xFFFFFF) << "right or bottom filled";
    FrameRect(dc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(GetPixel(dc, 2, 2) == 0 && GetPixel(dc, 5, 4) == 0) << "frame";
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 3, 3));
}

TEST_F(GdiRaster, StretchBltPicksNearestPixelsAndGetDIBitsReadsThemInEitherOrder) {
    HBITMAP bitmap;
    HDC src = Memory(2, 2), dst = Memory(4, 4, &bitmap), small = Memory(2, 2);
    for (int i = 0; i < 4; i++) SetPixel(src, i % 2, i / 2, RGB(1 + i, 0, 0x40));
    auto expected = [](int x, int y) { return RGB(1 + x / 2 + 2 * (y / 2), 0, 0x40); };
    StretchBlt(dst, 0, 0, 4, 4, src, 0, 0, 2, 2, SRCCOPY);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(expected(x, y), GetPixel(dst, x, y)) << x << "," << y;
    // Shrinking picks one of the source's pixels.
    StretchBlt(small, 0, 0, 2, 2, dst, 0, 0, 4, 4, SRCCOPY);
    for (int i = 0; i < 4; i++) EXPECT_EQ(RGB(1 + i, 0, 0x40), GetPixel(small, i % 2, i / 2)) << i;

    // Every pixel its own colour, to tell the rows apart.
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) SetPixel(dst, x, y, RGB(x + 1, y + 1, 0x40));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    ASSERT_NE(0, GetDIBits(dst, bitmap, 0, 0, nullptr, &info, DIB_RGB_COLORS));
    EXPECT_TRUE(info.bmiHeader.biWidth == 4 && info.bmiHeader.biHeight == 4 && info.bmiHeader.biBitCount == 32)
        << info.bmiHeader.biWidth << "x" << info.bmiHeader.biHeight << " at " << info.bmiHeader.biBitCount;
    uint32_t rows[16];
    for (int order = 0; order < 2; order++) {
        memset(rows, 0xAA, sizeof rows);
        info.bmiHeader.biHeight = order ? 4 : -4; // top-down, then bottom-up
        info.bmiHeader.biCompression = BI_RGB;
        ASSERT_EQ(4, GetDIBits(dst, bitmap, 0, 4, rows, &info, DIB_RGB_COLORS));
        for (int line = 0; line < 4; line++)
            for (int x = 0; x < 4; x++)
                EXPECT_EQ((uint32_t)((x + 1) << 16 | (order ? 4 - line : line + 1) << 8 | 0x40), rows[line * 4 + x])
                    << "order " << order << " line " << line << " x " << x << std::hex << " got " << rows[line * 4 + x];
    }
}

} // namespace
