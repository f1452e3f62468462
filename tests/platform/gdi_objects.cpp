// GDI objects of the device: creation formats, selection rules, deletion
// rules, stale handles, live counts, saved DC states and rectangle helpers;
// and the screen: its size from the configuration, what a reset leaves, the
// PNG it writes, and the 3-D edges drawn in the system colours.
// Every test starts from a reset device, which forgets whatever it leaves.

#include "platform/host/internal.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class GdiObjects : public ::testing::Test {
protected:
    void SetUp() override { Reset(240, 320); }
    void TearDown() override { dev::ResetDevice(dev::Config()); }
    static void Reset(int width, int height) {
        dev::Config config;
        config.manualClock = true;
        config.screenWidth = width;
        config.screenHeight = height;
        dev::ResetDevice(config);
    }
    // "WxH at B bits, R bytes a row"
    static std::string Shape(HGDIOBJ bitmap) {
        BITMAP bm;
        memset(&bm, 0xAA, sizeof bm);
        if (GetObjectW(bitmap, sizeof bm, &bm) != (int)sizeof bm) return "no bitmap";
        return std::to_string(bm.bmWidth) + "x" + std::to_string(bm.bmHeight) + " at " +
               std::to_string(bm.bmBitsPixel) + " bits, " + std::to_string(bm.bmWidthBytes) + " bytes a row";
    }
};

TEST_F(GdiObjects, MemoryDcStartsWithMonochromeBitmapAndMakesMonochrome) {
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    ASSERT_NE(nullptr, memory);
    EXPECT_EQ((DWORD)OBJ_MEMDC, GetObjectType(memory));
    EXPECT_EQ((DWORD)OBJ_DC, GetObjectType(screen));
    EXPECT_EQ("1x1 at 1 bits, 2 bytes a row", Shape(GetCurrentObject(memory, OBJ_BITMAP)));
    // Compatible with a fresh memory DC: monochrome, as on the platform, in
    // rows of whole 16-bit words.
    EXPECT_EQ("20x10 at 1 bits, 4 bytes a row", Shape(CreateCompatibleBitmap(memory, 20, 10)));
    // Compatible with the screen: 32-bit; and a memory DC holding one makes more.
    HBITMAP fromScreen = CreateCompatibleBitmap(screen, 20, 10);
    EXPECT_EQ("20x10 at 32 bits, 80 bytes a row", Shape(fromScreen));
    SelectObject(memory, fromScreen);
    EXPECT_EQ("2x2 at 32 bits, 8 bytes a row", Shape(CreateCompatibleBitmap(memory, 2, 2)));
}

TEST_F(GdiObjects, SelectionReturnsTheReplacedObjectAndGuardsDeletion) {
    HDC screen = GetDC(NULL);
    HDC a = CreateCompatibleDC(screen), b = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));

    HGDIOBJ stockBitmap = GetCurrentObject(a, OBJ_BITMAP);
    EXPECT_EQ(stockBitmap, SelectObject(a, bitmap));
    EXPECT_EQ((HGDIOBJ)bitmap, GetCurrentObject(a, OBJ_BITMAP));
    EXPECT_EQ(nullptr, SelectObject(b, bitmap)) << "a bitmap lives in one DC at a time";
    // Selected objects are not deleted; the bitmap still works afterwards.
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_NE(CLR_INVALID, SetPixel(a, 1, 1, RGB(9, 9, 9)));
    HGDIOBJ stockBrush = SelectObject(a, brush);
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), stockBrush);
    EXPECT_FALSE(DeleteObject(brush));

    // Put back, both delete, and the bitmap may move on to another DC first.
    EXPECT_EQ((HGDIOBJ)bitmap, SelectObject(a, stockBitmap));
    EXPECT_EQ(stockBitmap, SelectObject(b, bitmap));
    EXPECT_EQ((HGDIOBJ)bitmap, SelectObject(b, stockBitmap));
    EXPECT_EQ((HGDIOBJ)brush, SelectObject(a, stockBrush));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteObject(brush));

    for (int index : {WHITE_BRUSH, BLACK_BRUSH, NULL_BRUSH, BLACK_PEN, NULL_PEN, SYSTEM_FONT}) {
        HGDIOBJ object = GetStockObject(index);
        ASSERT_NE(nullptr, object) << index;
        EXPECT_FALSE(DeleteObject(object)) << "stock object " << index;
        EXPECT_EQ(object, GetStockObject(index)) << index;
    }
    // Deleting a DC lets go of the bitmap selected in it.
    HBITMAP kept = CreateCompatibleBitmap(screen, 2, 2);
    SelectObject(a, kept);
    DeleteDC(a);
    EXPECT_TRUE(DeleteObject(kept));
}

TEST_F(GdiObjects, StaleHandlesFailCleanly) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ((DWORD)OBJ_BRUSH, GetObjectType(brush));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_FALSE(DeleteObject(brush));
    // The next object takes a different handle, so the old one stays dead.
    HBRUSH next = CreateSolidBrush(RGB(4, 5, 6));
    EXPECT_NE(brush, next);
    EXPECT_EQ(0u, GetObjectType(brush));

    HDC dc = CreateCompatibleDC(NULL);
    EXPECT_EQ(nullptr, SelectObject(dc, brush));
    EXPECT_EQ(nullptr, SelectObject(dc, (HGDIOBJ)(uintptr_t)0x12345678));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(nullptr, SelectObject(dc, next));
    EXPECT_EQ(CLR_INVALID, SetTextColor(dc, 0));
    EXPECT_EQ(0, ReleaseDC(NULL, dc));
    EXPECT_EQ(nullptr, CreateCompatibleDC(dc));
    EXPECT_EQ(nullptr, CreateCompatibleBitmap(dc, 4, 4));
}

TEST_F(GdiObjects, LiveCountsFollowCreationAndRelease) {
    const struct {
        const char *name;
        dev::ObjectKind kind;
    } kinds[] = {{"DC", dev::KindDC}, {"bitmap", dev::KindBitmap}, {"brush", dev::KindBrush}, {"pen", dev::KindPen},
                 {"font", dev::KindFont}};
    long before[5];
    for (int i = 0; i < 5; i++) before[i] = dev::LiveObjects(kinds[i].kind);

    HDC window = GetDC(NULL);
    HDC memory = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, 3, 3);
    HBRUSH brush = CreateSolidBrush(0);
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    LOGFONTW lf{};
    lf.lfHeight = -11;
    HFONT font = CreateFontIndirectW(&lf);
    GetStockObject(GRAY_BRUSH); // stock objects are not counted
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(before[i] + (i == 0 ? 2 : 1), dev::LiveObjects(kinds[i].kind)) << kinds[i].name;

    DeleteObject(font);
    DeleteObject(pen);
    DeleteObject(brush);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, window);
    for (int i = 0; i < 5; i++) EXPECT_EQ(before[i], dev::LiveObjects(kinds[i].kind)) << kinds[i].name;

    // A reset forgets every object; stock objects come back.
    brush = CreateSolidBrush(RGB(1, 2, 3));
    memory = CreateCompatibleDC(NULL);
    window = GetDC(NULL);
    Reset(240, 320);
    EXPECT_EQ(0, dev::LiveObjects(dev::KindBrush));
    EXPECT_EQ(0, dev::LiveObjects(dev::KindDC));
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_FALSE(DeleteDC(memory));
    EXPECT_EQ(0, ReleaseDC(NULL, window));
    EXPECT_NE(nullptr, GetStockObject(WHITE_BRUSH));
    CreateSolidBrush(0);
    EXPECT_EQ(1, dev::LiveObjects(dev::KindBrush));
}

TEST_F(GdiObjects, SaveAndRestoreBringBackObjectsAndColours) {
    HDC dc = CreateCompatibleDC(NULL);
    HBRUSH brush = CreateSolidBrush(RGB(7, 7, 7));
    SetTextColor(dc, RGB(1, 1, 1));
    int level = SaveDC(dc);
    EXPECT_EQ(1, level);
    HGDIOBJ before = SelectObject(dc, brush);
    SetTextColor(dc, RGB(2, 2, 2));
    EXPECT_EQ(2, SaveDC(dc));
    EXPECT_TRUE(RestoreDC(dc, -1));
    EXPECT_EQ((HGDIOBJ)brush, GetCurrentObject(dc, OBJ_BRUSH));
    EXPECT_TRUE(RestoreDC(dc, level));
    EXPECT_EQ(before, GetCurrentObject(dc, OBJ_BRUSH));
    EXPECT_EQ(RGB(1, 1, 1), SetTextColor(dc, 0));
    EXPECT_FALSE(RestoreDC(dc, 1)); // nothing saved any more
    EXPECT_TRUE(DeleteObject(brush)); // no longer selected
}

std::string Text(const RECT &r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

TEST(GdiRects, IntersectionUnionAndPoints) {
    const struct {
        RECT a, b;
        BOOL intersects;
        RECT intersection, onion;
    } cases[] = {
        {{0, 0, 10, 10}, {5, 5, 15, 15}, TRUE, {5, 5, 10, 10}, {0, 0, 15, 15}},
        {{0, 0, 10, 10}, {10, 0, 20, 10}, FALSE, {0, 0, 0, 0}, {0, 0, 20, 10}}, // touching edges
        {{0, 0, 10, 10}, {2, 2, 2, 8}, FALSE, {0, 0, 0, 0}, {0, 0, 10, 10}},    // empty b
        {{-5, -5, 0, 0}, {-10, -2, -1, 4}, TRUE, {-5, -2, -1, 0}, {-10, -5, 0, 4}},
    };
    for (const auto &c : cases) {
        RECT r;
        memset(&r, 0xAA, sizeof r);
        EXPECT_EQ(c.intersects, IntersectRect(&r, &c.a, &c.b)) << Text(c.a) << " and " << Text(c.b);
        EXPECT_TRUE(EqualRect(&r, &c.intersection)) << Text(c.a) << " and " << Text(c.b) << ": " << Text(r);
        memset(&r, 0xAA, sizeof r);
        UnionRect(&r, &c.a, &c.b);
        EXPECT_TRUE(EqualRect(&r, &c.onion)) << Text(c.a) << " or " << Text(c.b) << ": " << Text(r);
    }
    RECT r;
    SetRect(&r, 1, 2, 3, 4);
    InflateRect(&r, 2, 1);
    OffsetRect(&r, 1, -1);
    EXPECT_EQ("0,0,6,4", Text(r));
    EXPECT_TRUE(PtInRect(&r, POINT{0, 0}));
    EXPECT_FALSE(PtInRect(&r, POINT{6, 0})); // right edge excluded
}

TEST_F(GdiObjects, ScreenSizedFromTheConfigurationAtEveryReset) {
    EXPECT_TRUE(dev::ScreenWidth() == 240 && dev::ScreenHeight() == 320)
        << dev::ScreenWidth() << "x" << dev::ScreenHeight();
    Reset(100, 60);
    HDC screen = GetDC(NULL);
    EXPECT_TRUE(dev::ScreenWidth() == 100 && dev::ScreenHeight() == 60)
        << dev::ScreenWidth() << "x" << dev::ScreenHeight();
    EXPECT_TRUE(GetDeviceCaps(screen, HORZRES) == 100 && GetDeviceCaps(screen, VERTRES) == 60 &&
                GetDeviceCaps(screen, BITSPIXEL) == 32)
        << GetDeviceCaps(screen, HORZRES) << "x" << GetDeviceCaps(screen, VERTRES) << " at "
        << GetDeviceCaps(screen, BITSPIXEL);
    EXPECT_EQ(CLR_INVALID, GetPixel(screen, 100, 0));
    EXPECT_NE(CLR_INVALID, GetPixel(screen, 99, 59));
}

TEST_F(GdiObjects, ScreenWritesItsPixelsAsPng) {
    Reset(30, 20);
    HDC screen = GetDC(NULL);
    PatBlt(screen, 0, 0, 30, 20, WHITENESS);
    SetPixel(screen, 3, 4, RGB(0x12, 0x34, 0x56));
    std::string path = ::testing::TempDir() + "gdi_screen.png";
    ASSERT_TRUE(dev::WriteScreenPng(path.c_str()));

    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    EXPECT_TRUE(image.width == 30 && image.height == 20) << image.width << "x" << image.height;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
    const uint8_t *p = &pixels[(4 * 30 + 3) * 3];
    EXPECT_TRUE(p[0] == 0x12 && p[1] == 0x34 && p[2] == 0x56) << std::hex << +p[0] << " " << +p[1] << " " << +p[2];
    EXPECT_EQ(0xFF, pixels[0]);
    remove(path.c_str());
    EXPECT_FALSE(dev::WriteScreenPng("/nonexistent-dir/x.png"));
}

TEST_F(GdiObjects, EdgesInTheSystemColours) {
    HDC screen = GetDC(NULL);
    PatBlt(screen, 0, 0, 20, 20, BLACKNESS);
    RECT r{0, 0, 10, 10}, sunken{10, 10, 20, 20};
    EXPECT_TRUE(DrawEdge(screen, &r, EDGE_RAISED, BF_RECT | 0x800 /* BF_MIDDLE */ | 0x2000 /* BF_ADJUST */));
    EXPECT_EQ("2,2,8,8", Text(r)) << "adjusted to the inside";
    DrawEdge(screen, &sunken, EDGE_SUNKEN, BF_RECT);
    const struct {
        const char *what;
        int x, y, colour; // colour -1: black, left alone
    } probes[] = {
        {"outer top-left", 0, 0, COLOR_3DLIGHT},       {"outer top", 5, 0, COLOR_3DLIGHT},
        {"inner top-left", 1, 1, COLOR_BTNHIGHLIGHT},  {"outer bottom-right", 9, 9, COLOR_3DDKSHADOW},
        {"outer bottom-left", 0, 9, COLOR_3DDKSHADOW}, {"inner bottom-right", 8, 8, COLOR_BTNSHADOW},
        {"middle", 5, 5, COLOR_BTNFACE},               {"sunken outer top-left", 10, 10, COLOR_BTNSHADOW},
        {"sunken inner top-left", 11, 11, COLOR_3DDKSHADOW}, {"sunken outer bottom-right", 19, 19, COLOR_BTNHIGHLIGHT},
        {"sunken middle, no BF_MIDDLE", 15, 15, -1},   {"beyond the raised edge", 10, 5, -1},
    };
    for (const auto &p : probes)
        EXPECT_EQ(p.colour < 0 ? 0 : GetSysColor(p.colour), GetPixel(screen, p.x, p.y))
            << p.what << std::hex << " got " << GetPixel(screen, p.x, p.y);
}

} // namespace
