// The device's screen: its size from the configuration, what a reset leaves,
// the PNG it writes, and the 3-D edges drawn in the system colours.

#include "platform/host/internal.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class GdiScreen : public ::testing::Test {
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

TEST_F(GdiScreen, SizedFromTheConfigurationAtEveryReset) {
    EXPECT_EQ(240, dev::ScreenWidth());
    EXPECT_EQ(320, dev::ScreenHeight());
    Reset(100, 60);
    EXPECT_EQ(100, dev::ScreenWidth());
    EXPECT_EQ(60, dev::ScreenHeight());
    HDC screen = GetDC(NULL);
    EXPECT_EQ(100, GetDeviceCaps(screen, HORZRES));
    EXPECT_EQ(60, GetDeviceCaps(screen, VERTRES));
    EXPECT_EQ(32, GetDeviceCaps(screen, BITSPIXEL));
    EXPECT_EQ(CLR_INVALID, GetPixel(screen, 100, 0));
    EXPECT_NE(CLR_INVALID, GetPixel(screen, 99, 59));
    ReleaseDC(NULL, screen);
}

TEST_F(GdiScreen, ResetForgetsEveryObject) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HDC dc = CreateCompatibleDC(NULL);
    HDC screen = GetDC(NULL);
    EXPECT_EQ(1, dev::LiveObjects(dev::KindBrush));
    Reset(240, 320);
    EXPECT_EQ(0, dev::LiveObjects(dev::KindBrush));
    EXPECT_EQ(0, dev::LiveObjects(dev::KindDC));
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(0, ReleaseDC(NULL, screen));
    // Stock objects come back, and new objects count from zero.
    EXPECT_NE(nullptr, GetStockObject(WHITE_BRUSH));
    HBRUSH fresh = CreateSolidBrush(0);
    EXPECT_EQ(1, dev::LiveObjects(dev::KindBrush));
    DeleteObject(fresh);
}

TEST_F(GdiScreen, WritesThePixelsAsPng) {
    Reset(30, 20);
    HDC screen = GetDC(NULL);
    PatBlt(screen, 0, 0, 30, 20, WHITENESS);
    SetPixel(screen, 3, 4, RGB(0x12, 0x34, 0x56));
    ReleaseDC(NULL, screen);
    std::string path = ::testing::TempDir() + "gdi_screen.png";
    ASSERT_TRUE(dev::WriteScreenPng(path.c_str()));

    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    EXPECT_EQ(30u, image.width);
    EXPECT_EQ(20u, image.height);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
    const uint8_t *p = &pixels[(4 * 30 + 3) * 3];
    EXPECT_EQ(0x12, p[0]);
    EXPECT_EQ(0x34, p[1]);
    EXPECT_EQ(0x56, p[2]);
    EXPECT_EQ(0xFF, pixels[0]);
    remove(path.c_str());
    EXPECT_FALSE(dev::WriteScreenPng("/nonexistent-dir/x.png"));
}

TEST_F(GdiScreen, EdgesInTheSystemColours) {
    HDC screen = GetDC(NULL);
    PatBlt(screen, 0, 0, 20, 20, BLACKNESS);
    RECT r{0, 0, 10, 10};
    EXPECT_TRUE(DrawEdge(screen, &r, EDGE_RAISED, BF_RECT | 0x800 /* BF_MIDDLE */ | 0x2000 /* BF_ADJUST */));
    struct Probe {
        const char *what;
        int x, y, colour;
    };
    const Probe probes[] = {
        {"outer top-left", 0, 0, COLOR_3DLIGHT},       {"outer top", 5, 0, COLOR_3DLIGHT},
        {"inner top-left", 1, 1, COLOR_BTNHIGHLIGHT},  {"outer bottom-right", 9, 9, COLOR_3DDKSHADOW},
        {"outer bottom-left", 0, 9, COLOR_3DDKSHADOW}, {"inner bottom-right", 8, 8, COLOR_BTNSHADOW},
        {"middle", 5, 5, COLOR_BTNFACE},
    };
    for (const Probe &p : probes)
        EXPECT_EQ(GetSysColor(p.colour), GetPixel(screen, p.x, p.y)) << p.what << std::hex << " got "
                                                                     << GetPixel(screen, p.x, p.y);
    RECT inner{2, 2, 8, 8};
    EXPECT_TRUE(EqualRect(&r, &inner)) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    EXPECT_EQ(0u, GetPixel(screen, 10, 10));

    RECT sunken{10, 10, 20, 20};
    DrawEdge(screen, &sunken, EDGE_SUNKEN, BF_RECT);
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), GetPixel(screen, 10, 10));
    EXPECT_EQ(GetSysColor(COLOR_3DDKSHADOW), GetPixel(screen, 11, 11));
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), GetPixel(screen, 19, 19));
    EXPECT_EQ(0u, GetPixel(screen, 15, 15)) << "no BF_MIDDLE: the inside stays";
    ReleaseDC(NULL, screen);
}

} // namespace
