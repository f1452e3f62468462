// GDI objects of the device: creation formats, selection rules, deletion
// rules, stale handles, live counts, saved DC states and rectangle helpers.
// Every test starts from a reset device, which forgets whatever it leaves.

#include "platform/host/internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class GdiObjects : public ::testing::Test {
protected:
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
    }
    static BITMAP Info(HGDIOBJ bitmap) {
        BITMAP bm;
        memset(&bm, 0xAA, sizeof bm);
        EXPECT_EQ((int)sizeof(BITMAP), GetObjectW(bitmap, sizeof bm, &bm));
        return bm;
    }
};

TEST_F(GdiObjects, MemoryDcStartsWithMonochromeBitmapAndMakesMonochrome) {
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    ASSERT_NE(nullptr, memory);
    EXPECT_EQ((DWORD)OBJ_MEMDC, GetObjectType(memory));
    EXPECT_EQ((DWORD)OBJ_DC, GetObjectType(screen));
    BITMAP stock = Info(GetCurrentObject(memory, OBJ_BITMAP));
    EXPECT_EQ(1, stock.bmWidth);
    EXPECT_EQ(1, stock.bmHeight);
    EXPECT_EQ(1, stock.bmBitsPixel);

    // Compatible with a fresh memory DC: monochrome, as on the platform.
    BITMAP mono = Info(CreateCompatibleBitmap(memory, 20, 10));
    EXPECT_EQ(1, mono.bmBitsPixel);
    EXPECT_EQ(20, mono.bmWidth);
    EXPECT_EQ(4, mono.bmWidthBytes); // rows of whole 16-bit words

    // Compatible with the screen: 32-bit; and a memory DC holding one makes more.
    HBITMAP fromScreen = CreateCompatibleBitmap(screen, 20, 10);
    BITMAP colour = Info(fromScreen);
    EXPECT_EQ(32, colour.bmBitsPixel);
    EXPECT_EQ(80, colour.bmWidthBytes);
    SelectObject(memory, fromScreen);
    EXPECT_EQ(32, Info(CreateCompatibleBitmap(memory, 2, 2)).bmBitsPixel);
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
    EXPECT_FALSE(IsRectEmpty(&r));
    SetRectEmpty(&r);
    EXPECT_TRUE(IsRectEmpty(&r));
}

} // namespace
