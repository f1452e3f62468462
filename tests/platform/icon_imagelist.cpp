// Image lists of the device: images cut from a strip, copied on add, drawn
// through their masks and turned into icons.

#include "platform/host/internal.h"

#include <gtest/gtest.h>

namespace {

class ImageLists : public ::testing::Test {
protected:
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
        HDC screen = GetDC(NULL);
        canvas = CreateCompatibleBitmap(screen, 40, 20);
        strip = CreateCompatibleBitmap(screen, 8, 4); // two 4 by 4 images
        ReleaseDC(NULL, screen);
        mask = CreateBitmap(8, 4, 1, 1, nullptr);
        dc = CreateCompatibleDC(NULL);
        old = SelectObject(dc, canvas);
        // Image 0 red, image 1 blue; the mask hides the left column of each.
        Paint(strip, [](HDC m) {
            RECT r0{0, 0, 4, 4}, r1{4, 0, 8, 4};
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
            FillRect(m, &r0, red);
            FillRect(m, &r1, blue);
            DeleteObject(red);
            DeleteObject(blue);
        });
        Paint(mask, [](HDC m) {
            PatBlt(m, 0, 0, 1, 4, WHITENESS);
            PatBlt(m, 4, 0, 1, 4, WHITENESS);
        });
    }
    void TearDown() override {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(canvas);
        DeleteObject(strip);
        DeleteObject(mask);
    }
    template <class F> static void Paint(HBITMAP bitmap, F f) {
        HDC m = CreateCompatibleDC(NULL);
        HGDIOBJ o = SelectObject(m, bitmap);
        f(m);
        SelectObject(m, o);
        DeleteDC(m);
    }
    void White() { PatBlt(dc, 0, 0, 40, 20, WHITENESS); }
    HBITMAP canvas = nullptr, strip = nullptr, mask = nullptr;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
};

TEST_F(ImageLists, AddCutsTheStripAndCopiesIt) {
    long lists = dev::LiveObjects(dev::KindImageList);
    HIMAGELIST list = ImageList_Create(4, 4, ILC_COLOR | ILC_MASK, 2, 2);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(lists + 1, dev::LiveObjects(dev::KindImageList));
    EXPECT_EQ(0, ImageList_Add(list, strip, mask));
    EXPECT_EQ(2, ImageList_GetImageCount(list));
    EXPECT_EQ(2, ImageList_Add(list, strip, mask)); // index of the first new image
    EXPECT_EQ(4, ImageList_GetImageCount(list));
    int w = 0, h = 0;
    EXPECT_TRUE(ImageList_GetIconSize(list, &w, &h));
    EXPECT_EQ(4, w);
    EXPECT_EQ(4, h);

    // Later drawing into the strip does not reach the list.
    Paint(strip, [](HDC m) { PatBlt(m, 0, 0, 8, 4, BLACKNESS); });
    White();
    EXPECT_TRUE(ImageList_Draw(list, 1, dc, 10, 2, ILD_NORMAL));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 10, 2)); // masked column
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 11, 2));
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 13, 5));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 14, 2));
    EXPECT_TRUE(ImageList_Draw(list, 0, dc, 0, 10, ILD_NORMAL));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 3, 13));

    EXPECT_FALSE(ImageList_Draw(list, 4, dc, 0, 0, ILD_NORMAL));
    EXPECT_FALSE(ImageList_Draw(list, -1, dc, 0, 0, ILD_NORMAL));
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_EQ(lists, dev::LiveObjects(dev::KindImageList));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(0, ImageList_GetImageCount(list));
    EXPECT_EQ(-1, ImageList_Add(list, strip, mask));
}

TEST_F(ImageLists, WithoutMaskFlagImagesAreOpaque) {
    HIMAGELIST list = ImageList_Create(4, 4, ILC_COLOR, 1, 1);
    EXPECT_EQ(0, ImageList_Add(list, strip, mask));
    White();
    ImageList_Draw(list, 0, dc, 0, 0, ILD_NORMAL);
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 0, 0));
    ImageList_Destroy(list);
}

TEST_F(ImageLists, GetIconMakesAnIconOfOneImage) {
    HIMAGELIST list = ImageList_Create(4, 4, ILC_COLOR | ILC_MASK, 1, 1);
    ImageList_Add(list, strip, mask);
    long icons = dev::LiveObjects(dev::KindIcon);
    HICON icon = ImageList_GetIcon(list, 1, ILD_NORMAL);
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ(icons + 1, dev::LiveObjects(dev::KindIcon));
    ImageList_Destroy(list); // the icon has its own copy
    White();
    EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 0, 0));
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 1, 0));
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_EQ(icons, dev::LiveObjects(dev::KindIcon));
    EXPECT_EQ(nullptr, ImageList_GetIcon(list, 0, ILD_NORMAL));
}

} // namespace
