// Icons and image lists of the device: drawing through the mask, and the
// strip ImageList_Add cuts and copies. Copies made by CreateIconIndirect,
// GetIconInfo and ImageList_GetIcon are tried by the programs that hand
// icons on; icons loaded from resources with the resources themselves.

#include "platform/host/kernel.h"

#include <gtest/gtest.h>

namespace {

class Icons : public ::testing::Test {
protected:
    // The reset forgets whatever a test leaves behind.
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
        dc = CreateCompatibleDC(NULL);
        SelectObject(dc, Solid(40, 40, RGB(255, 255, 255)));
    }
    // Runs f on a memory DC holding the bitmap.
    template <class F> static void Paint(HBITMAP bitmap, F f) {
        HDC m = CreateCompatibleDC(NULL);
        HGDIOBJ o = SelectObject(m, bitmap);
        f(m);
        SelectObject(m, o);
        DeleteDC(m);
    }
    static void Fill(HDC m, int left, int top, int right, int bottom, COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT r{left, top, right, bottom};
        FillRect(m, &r, brush);
        DeleteObject(brush);
    }
    // A bitmap of one colour, in the screen's format or monochrome.
    static HBITMAP Solid(int width, int height, COLORREF colour, bool mono = false) {
        HDC screen = GetDC(NULL);
        HBITMAP b = mono ? CreateBitmap(width, height, 1, 1, nullptr) : CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(NULL, screen);
        Paint(b, [&](HDC m) { Fill(m, 0, 0, width, height, colour); });
        return b;
    }
    COLORREF At(int x, int y) { return GetPixel(dc, x, y); }
    HDC dc = nullptr;
};

TEST_F(Icons, DrawingAndsTheMaskThenXorsTheImage) {
    // Left half: mask set (keep the destination); right half: mask clear.
    HBITMAP mask = Solid(4, 2, RGB(0, 0, 0), true);
    Paint(mask, [](HDC m) { PatBlt(m, 0, 0, 2, 2, WHITENESS); });
    // Image: black at x=0 (transparent there), blue at x=1 (inverts there),
    // green at x=2 and x=3 (opaque).
    HBITMAP colour = Solid(4, 2, RGB(0, 255, 0));
    Paint(colour, [](HDC m) {
        Fill(m, 0, 0, 1, 2, 0);
        Fill(m, 1, 0, 2, 2, RGB(0, 0, 255));
    });
    ICONINFO info{TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&info);

    // With no size given, the icon's own.
    EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL));
    const struct {
        const char *what;
        int x, y;
        COLORREF expected;
    } probes[] = {{"transparent", 0, 0, RGB(255, 255, 255)}, {"white XOR blue", 1, 0, RGB(255, 255, 0)},
                  {"opaque", 2, 1, RGB(0, 255, 0)},         {"beyond the icon", 4, 0, RGB(255, 255, 255)},
                  {"below the icon", 2, 2, RGB(255, 255, 255)}};
    for (const auto &p : probes) EXPECT_EQ(p.expected, At(p.x, p.y)) << p.what << std::hex << " got " << At(p.x, p.y);

    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_FALSE(DrawIconEx(dc, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL));
}

TEST_F(Icons, ImageListAddCutsTheStripAndCopiesIt) {
    // Two 4 by 4 images, red then blue; the mask hides the left column of each.
    HBITMAP strip = Solid(8, 4, RGB(255, 0, 0)), mask = Solid(8, 4, 0, true);
    Paint(strip, [](HDC m) { Fill(m, 4, 0, 8, 4, RGB(0, 0, 255)); });
    Paint(mask, [](HDC m) {
        PatBlt(m, 0, 0, 1, 4, WHITENESS);
        PatBlt(m, 4, 0, 1, 4, WHITENESS);
    });
    long lists = dev::LiveObjects(dev::KindImageList);
    HIMAGELIST list = ImageList_Create(4, 4, ILC_COLOR | ILC_MASK, 2, 2);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(lists + 1, dev::LiveObjects(dev::KindImageList));
    EXPECT_EQ(0, ImageList_Add(list, strip, mask));
    EXPECT_EQ(2, ImageList_GetImageCount(list));
    EXPECT_EQ(2, ImageList_Add(list, strip, mask)); // index of the first new image
    EXPECT_EQ(4, ImageList_GetImageCount(list));

    // Later drawing into the strip does not reach the list.
    Paint(strip, [](HDC m) { PatBlt(m, 0, 0, 8, 4, BLACKNESS); });
    EXPECT_TRUE(ImageList_Draw(list, 1, dc, 10, 2, ILD_NORMAL));
    EXPECT_TRUE(ImageList_Draw(list, 0, dc, 0, 10, ILD_NORMAL));
    const struct {
        const char *what;
        int x, y;
        COLORREF expected;
    } probes[] = {{"masked column", 10, 2, RGB(255, 255, 255)}, {"image 1", 11, 2, RGB(0, 0, 255)},
                  {"image 1 corner", 13, 5, RGB(0, 0, 255)},    {"beyond", 14, 2, RGB(255, 255, 255)},
                  {"image 0 corner", 3, 13, RGB(255, 0, 0)}};
    for (const auto &p : probes) EXPECT_EQ(p.expected, At(p.x, p.y)) << p.what << std::hex << " got " << At(p.x, p.y);

    EXPECT_FALSE(ImageList_Draw(list, 4, dc, 0, 0, ILD_NORMAL));

    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_EQ(lists, dev::LiveObjects(dev::KindImageList));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(0, ImageList_GetImageCount(list));
    EXPECT_EQ(-1, ImageList_Add(list, strip, mask));
}

} // namespace
