// The live counts of GDI objects every leak check relies on, also across a
// reset.
// Every test starts from a reset device, which forgets whatever it leaves.

#include "platform/host/internal.h"

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

} // namespace
