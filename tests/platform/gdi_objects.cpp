// GDI objects of the device: selection and deletion rules, stale handles,
// live counts; and the screen: its size from the configuration and what a
// reset leaves.
// Every test starts from a reset device, which forgets whatever it leaves.

#include "platform/host/kernel.h"

#include <gtest/gtest.h>

#include <cstring>

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
};

TEST_F(GdiObjects, SelectionReturnsTheReplacedObjectAndGuardsDeletion) {
    HDC screen = GetDC(NULL);
    HDC a = CreateCompatibleDC(screen), b = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));

    HGDIOBJ stockBitmap = GetCurrentObject(a, OBJ_BITMAP);
    EXPECT_EQ(stockBitmap, SelectObject(a, bitmap));
    // A memory DC holding a screen bitmap makes screen bitmaps, as the graph's does.
    BITMAP bm;
    memset(&bm, 0xAA, sizeof bm);
    GetObjectW(CreateCompatibleBitmap(a, 2, 2), sizeof bm, &bm);
    EXPECT_TRUE(bm.bmBitsPixel == 32 && bm.bmWidth == 2) << bm.bmBitsPixel << " bits, " << bm.bmWidth << " wide";
    EXPECT_EQ(nullptr, SelectObject(b, bitmap)) << "a bitmap lives in one DC at a time";
    // Selected objects are not deleted; the bitmap still works afterwards.
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_NE(CLR_INVALID, SetPixel(a, 1, 1, RGB(9, 9, 9)));
    HGDIOBJ stockBrush = SelectObject(a, brush);
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), stockBrush);
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(stockBrush)) << "stock objects stay";

    // Put back, both delete, and the bitmap may move on to another DC first.
    EXPECT_EQ((HGDIOBJ)bitmap, SelectObject(a, stockBitmap));
    EXPECT_EQ(stockBitmap, SelectObject(b, bitmap));
    EXPECT_EQ((HGDIOBJ)bitmap, SelectObject(b, stockBitmap));
    EXPECT_EQ((HGDIOBJ)brush, SelectObject(a, stockBrush));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteObject(brush));
    // Deleting a DC lets go of the bitmap selected in it.
    HBITMAP kept = CreateCompatibleBitmap(screen, 2, 2);
    SelectObject(a, kept);
    DeleteDC(a);
    EXPECT_TRUE(DeleteObject(kept));
}

TEST_F(GdiObjects, StaleHandlesFailCleanly) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_FALSE(DeleteObject(brush));
    // The next object takes a different handle, so the old one stays dead.
    HBRUSH next = CreateSolidBrush(RGB(4, 5, 6));
    EXPECT_NE(brush, next);
    EXPECT_EQ(0u, GetObjectType(brush));

    HDC dc = CreateCompatibleDC(NULL);
    EXPECT_EQ(nullptr, SelectObject(dc, brush));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(nullptr, SelectObject(dc, next));
    EXPECT_EQ(0, ReleaseDC(NULL, dc));
    EXPECT_EQ(nullptr, CreateCompatibleBitmap(dc, 4, 4));
}

TEST_F(GdiObjects, LiveCountsFollowCreationAndRelease) {
    const dev::ObjectKind kinds[] = {dev::KindDC, dev::KindBitmap, dev::KindBrush};
    long before[3];
    for (int i = 0; i < 3; i++) before[i] = dev::LiveObjects(kinds[i]);
    HDC window = GetDC(NULL);
    HDC memory = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, 3, 3);
    HBRUSH brush = CreateSolidBrush(0);
    GetStockObject(GRAY_BRUSH); // stock objects are not counted
    for (int i = 0; i < 3; i++) EXPECT_EQ(before[i] + (i == 0 ? 2 : 1), dev::LiveObjects(kinds[i])) << "kind " << i;
    DeleteObject(brush);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, window);
    for (int i = 0; i < 3; i++) EXPECT_EQ(before[i], dev::LiveObjects(kinds[i])) << "kind " << i;

    // A reset forgets every object; stock objects come back.
    brush = CreateSolidBrush(RGB(1, 2, 3));
    memory = CreateCompatibleDC(NULL);
    Reset(240, 320);
    EXPECT_TRUE(dev::LiveObjects(dev::KindBrush) == 0 && dev::LiveObjects(dev::KindDC) == 0);
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_FALSE(DeleteDC(memory));
    EXPECT_NE(nullptr, GetStockObject(WHITE_BRUSH));
}

TEST_F(GdiObjects, ScreenSizedFromTheConfigurationAtEveryReset) {
    Reset(30, 20);
    HDC screen = GetDC(NULL);
    EXPECT_TRUE(GetDeviceCaps(screen, HORZRES) == 30 && GetDeviceCaps(screen, VERTRES) == 20 &&
                GetDeviceCaps(screen, BITSPIXEL) == 32)
        << GetDeviceCaps(screen, HORZRES) << "x" << GetDeviceCaps(screen, VERTRES) << " at "
        << GetDeviceCaps(screen, BITSPIXEL);
    EXPECT_EQ(CLR_INVALID, GetPixel(screen, 30, 0));
    EXPECT_NE(CLR_INVALID, GetPixel(screen, 29, 19));
}

} // namespace
