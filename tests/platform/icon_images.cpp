// Icons of the device: copies made by CreateIconIndirect and GetIconInfo,
// drawing through the mask, the image LoadIconW picks, shared icons, and
// the monitor's probe icons.

#include "platform/host/internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

extern const uint8_t perfmonResources[];
extern const size_t perfmonResourcesSize;

namespace {

void Put16(std::vector<uint8_t> &v, uint16_t x) {
    v.push_back(x & 0xFF);
    v.push_back(x >> 8);
}
void Put32(std::vector<uint8_t> &v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// An RT_ICON image of one colour: doubled height, XOR rows, AND rows (all 0).
std::vector<uint8_t> SolidIconImage(int size, int bits, uint32_t colour) {
    std::vector<uint8_t> v;
    Put32(v, 40);
    Put32(v, size);
    Put32(v, size * 2);
    Put16(v, 1);
    Put16(v, bits);
    for (int i = 0; i < 6; i++) Put32(v, 0);
    for (int i = 0; i < (1 << bits); i++) Put32(v, i == 1 ? colour : 0); // index 1 is the colour
    int xorStride = (size * bits + 31) / 32 * 4, andStride = (size + 31) / 32 * 4;
    for (int y = 0; y < size; y++) {
        std::vector<uint8_t> row(xorStride, 0);
        for (int x = 0; x < size; x++) {
            int bit = x * bits;
            row[bit / 8] |= 1 << (8 - bits - bit % 8); // index 1 in every pixel
        }
        v.insert(v.end(), row.begin(), row.end());
    }
    v.insert(v.end(), (size_t)andStride * size, 0);
    return v;
}

struct GroupEntry {
    int size, bits, id;
    std::vector<uint8_t> image;
};

std::vector<uint8_t> Group(const std::vector<GroupEntry> &entries) {
    std::vector<uint8_t> v;
    Put16(v, 0);
    Put16(v, 1);
    Put16(v, (uint16_t)entries.size());
    for (const GroupEntry &e : entries) {
        v.push_back((uint8_t)e.size);
        v.push_back((uint8_t)e.size);
        v.push_back(e.bits < 8 ? (uint8_t)(1 << e.bits) : 0);
        v.push_back(0);
        Put16(v, 1);
        Put16(v, e.bits);
        Put32(v, (uint32_t)e.image.size());
        Put16(v, e.id);
    }
    return v;
}

void AddRecord(std::vector<uint8_t> &res, int type, int name, const std::vector<uint8_t> &data) {
    Put32(res, (uint32_t)data.size());
    Put32(res, 32);
    Put16(res, 0xFFFF);
    Put16(res, type);
    Put16(res, 0xFFFF);
    Put16(res, name);
    Put32(res, 0);
    Put16(res, 0x1030);
    Put16(res, 1033);
    Put32(res, 0);
    Put32(res, 0);
    res.insert(res.end(), data.begin(), data.end());
    while (res.size() % 4) res.push_back(0);
}

int ResourceProgram(HINSTANCE, LPWSTR) {
    Sleep(INFINITE);
    return 0;
}

class Icons : public ::testing::Test {
protected:
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
        HDC screen = GetDC(NULL);
        canvas = CreateCompatibleBitmap(screen, 40, 40);
        ReleaseDC(NULL, screen);
        dc = CreateCompatibleDC(NULL);
        old = SelectObject(dc, canvas);
    }
    void TearDown() override {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(canvas);
        dev::ResetDevice(dev::Config());
    }
    HMODULE Module(const uint8_t *bytes, size_t size) {
        std::u16string name = u"ico" + std::u16string(1, (char16_t)(u'a' + modules++)) + u".exe";
        dev::RegisterProgram(name, u"\\Windows\\" + name, ResourceProgram, bytes, size);
        return dev::ModuleOfProcess(dev::StartProgram(name, u""));
    }
    // A 32-bit bitmap of one colour.
    static HBITMAP Solid(int width, int height, COLORREF colour, bool mono = false) {
        HDC screen = GetDC(NULL);
        HBITMAP b = mono ? CreateBitmap(width, height, 1, 1, nullptr) : CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(NULL, screen);
        HDC m = CreateCompatibleDC(NULL);
        HGDIOBJ o = SelectObject(m, b);
        HBRUSH brush = CreateSolidBrush(colour);
        RECT r{0, 0, width, height};
        FillRect(m, &r, brush);
        DeleteObject(brush);
        SelectObject(m, o);
        DeleteDC(m);
        return b;
    }
    void Background(COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT r{0, 0, 40, 40};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    SIZE IconSize(HICON icon) {
        ICONINFO info{};
        EXPECT_TRUE(GetIconInfo(icon, &info));
        BITMAP bm{};
        GetObjectW(info.hbmColor, sizeof bm, &bm);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return SIZE{bm.bmWidth, bm.bmHeight};
    }
    HBITMAP canvas = nullptr;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
    int modules = 0;
};

TEST_F(Icons, CreateIconIndirectCopiesBothBitmaps) {
    HBITMAP colour = Solid(4, 4, RGB(255, 0, 0)), mask = Solid(4, 4, RGB(0, 0, 0));
    ICONINFO info{TRUE, 0, 0, mask, colour};
    long icons = dev::LiveObjects(dev::KindIcon);
    HICON icon = CreateIconIndirect(&info);
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ(icons + 1, dev::LiveObjects(dev::KindIcon));

    // Drawing into the originals afterwards leaves the icon as it was.
    HDC m = CreateCompatibleDC(NULL);
    HGDIOBJ o = SelectObject(m, colour);
    PatBlt(m, 0, 0, 4, 4, WHITENESS);
    SelectObject(m, mask);
    PatBlt(m, 0, 0, 4, 4, WHITENESS);
    SelectObject(m, o);
    DeleteDC(m);
    DeleteObject(colour);
    DeleteObject(mask);

    Background(RGB(0, 0, 255));
    EXPECT_TRUE(DrawIconEx(dc, 1, 1, icon, 0, 0, 0, NULL, DI_NORMAL));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 1, 1));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 4, 4));
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 5, 5));
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 0, 0));

    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_EQ(icons, dev::LiveObjects(dev::KindIcon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_FALSE(DrawIconEx(dc, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL));
}

TEST_F(Icons, DrawingAndsTheMaskThenXorsTheImage) {
    // Left half: mask set (keep the destination); right half: mask clear.
    HBITMAP mask = Solid(4, 2, RGB(0, 0, 0), true);
    HDC m = CreateCompatibleDC(NULL);
    HGDIOBJ o = SelectObject(m, mask);
    PatBlt(m, 0, 0, 2, 2, WHITENESS);
    SelectObject(m, o);
    DeleteDC(m);
    // Image: black at x=0 (transparent there), blue at x=1 (inverts there),
    // green at x=2 and x=3 (opaque).
    HBITMAP colour = Solid(4, 2, RGB(0, 255, 0));
    m = CreateCompatibleDC(NULL);
    o = SelectObject(m, colour);
    SetPixel(m, 0, 0, 0);
    SetPixel(m, 0, 1, 0);
    SetPixel(m, 1, 0, RGB(0, 0, 255));
    SetPixel(m, 1, 1, RGB(0, 0, 255));
    SelectObject(m, o);
    DeleteDC(m);
    ICONINFO info{TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(colour);

    Background(RGB(255, 255, 255));
    DrawIconEx(dc, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL);
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 0, 0)); // transparent
    EXPECT_EQ(RGB(255, 255, 0), GetPixel(dc, 1, 0));   // white XOR blue
    EXPECT_EQ(RGB(0, 255, 0), GetPixel(dc, 2, 1));     // opaque
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 4, 0)); // beyond the icon

    // Stretched to twice the size.
    Background(RGB(255, 255, 255));
    DrawIconEx(dc, 0, 0, icon, 8, 4, 0, NULL, DI_NORMAL);
    EXPECT_EQ(RGB(0, 255, 0), GetPixel(dc, 7, 3));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 1, 1));
    DestroyIcon(icon);
}

TEST_F(Icons, GetIconInfoHandsOutNewCopies) {
    HBITMAP colour = Solid(3, 3, RGB(10, 20, 30)), mask = Solid(3, 3, RGB(0, 0, 0));
    ICONINFO in{TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&in);
    DeleteObject(colour);
    DeleteObject(mask);
    long bitmaps = dev::LiveObjects(dev::KindBitmap);
    ICONINFO a, b;
    memset(&a, 0xAA, sizeof a);
    memset(&b, 0xAA, sizeof b);
    ASSERT_TRUE(GetIconInfo(icon, &a));
    ASSERT_TRUE(GetIconInfo(icon, &b));
    EXPECT_EQ(TRUE, a.fIcon);
    EXPECT_NE(a.hbmColor, b.hbmColor);
    EXPECT_NE(a.hbmMask, b.hbmMask);
    EXPECT_EQ(bitmaps + 4, dev::LiveObjects(dev::KindBitmap));
    BITMAP bm{};
    GetObjectW(a.hbmMask, sizeof bm, &bm);
    EXPECT_EQ(1, bm.bmBitsPixel);
    GetObjectW(a.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(32, bm.bmBitsPixel);
    EXPECT_EQ(3, bm.bmWidth);
    for (HBITMAP h : {a.hbmColor, a.hbmMask, b.hbmColor, b.hbmMask}) EXPECT_TRUE(DeleteObject(h));
    EXPECT_EQ(bitmaps, dev::LiveObjects(dev::KindBitmap));
    // The icon is unharmed by deleting the copies.
    Background(RGB(255, 255, 255));
    DrawIconEx(dc, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL);
    EXPECT_EQ(RGB(10, 20, 30), GetPixel(dc, 2, 2));
    DestroyIcon(icon);
}

TEST_F(Icons, LoadIconPicksSixteenBySixteenWithTheMostColours) {
    const uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
    std::vector<uint8_t> res;
    AddRecord(res, 0, 0, {});
    std::vector<GroupEntry> best = {{32, 4, 1, SolidIconImage(32, 4, red)},
                                    {16, 1, 2, SolidIconImage(16, 1, green)},
                                    {16, 4, 3, SolidIconImage(16, 4, blue)}};
    std::vector<GroupEntry> nearest = {{48, 4, 4, SolidIconImage(48, 4, green)},
                                       {32, 1, 5, SolidIconImage(32, 1, red)}};
    for (const auto *group : {&best, &nearest})
        for (const GroupEntry &e : *group) AddRecord(res, 3, e.id, e.image);
    AddRecord(res, 14, 50, Group(best));
    AddRecord(res, 14, 51, Group(nearest));
    HMODULE module = Module(res.data(), res.size());

    HICON icon = LoadIconW(module, MAKEINTRESOURCEW(50));
    ASSERT_NE(nullptr, icon);
    SIZE size = IconSize(icon);
    EXPECT_EQ(16, size.cx);
    EXPECT_EQ(16, size.cy);
    Background(RGB(255, 255, 255));
    DrawIconEx(dc, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL);
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 15, 15)) << "the 4-bit image, not the 1-bit one";

    HICON other = LoadIconW(module, MAKEINTRESOURCEW(51));
    ASSERT_NE(nullptr, other);
    size = IconSize(other);
    EXPECT_EQ(32, size.cx) << "no 16 by 16 image: the nearest size";
    EXPECT_EQ(nullptr, LoadIconW(module, MAKEINTRESOURCEW(52)));
}

TEST_F(Icons, LoadedIconsAreSharedAndSurviveDestroyIcon) {
    HMODULE module = Module(perfmonResources, perfmonResourcesSize);
    long icons = dev::LiveObjects(dev::KindIcon);
    HICON a = LoadIconW(module, MAKEINTRESOURCEW(121));
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, LoadIconW(module, MAKEINTRESOURCEW(121)));
    EXPECT_EQ(icons + 1, dev::LiveObjects(dev::KindIcon));
    EXPECT_TRUE(DestroyIcon(a));
    EXPECT_EQ(a, LoadIconW(module, MAKEINTRESOURCEW(121)));
    EXPECT_TRUE(DrawIconEx(dc, 0, 0, a, 0, 0, 0, NULL, DI_NORMAL));
    EXPECT_EQ(icons + 1, dev::LiveObjects(dev::KindIcon));
    // Another module's icon of the same number is another icon.
    HMODULE second = Module(perfmonResources, perfmonResourcesSize);
    EXPECT_NE(a, LoadIconW(second, MAKEINTRESOURCEW(121)));
}

TEST_F(Icons, ProbeIconsDifferAtEveryPixelOnAnyBackground) {
    HMODULE module = Module(perfmonResources, perfmonResourcesSize);
    HICON black = LoadIconW(module, MAKEINTRESOURCEW(121)), white = LoadIconW(module, MAKEINTRESOURCEW(122));
    ASSERT_NE(nullptr, black);
    ASSERT_NE(nullptr, white);
    EXPECT_EQ(16, IconSize(black).cx);
    HDC screen = GetDC(NULL);
    HBITMAP capture = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(NULL, screen);
    HDC m = CreateCompatibleDC(NULL);
    HGDIOBJ o = SelectObject(m, capture);
    for (COLORREF background : {RGB(0x80, 0x80, 0x80), RGB(0, 0, 0), RGB(255, 255, 255), RGB(0xC0, 0, 0x40)}) {
        Background(background);
        DrawIcon(dc, 10, 10, black);
        BitBlt(m, 0, 0, 16, 16, dc, 10, 10, SRCCOPY);
        Background(background);
        DrawIcon(dc, 10, 10, white);
        BitBlt(m, 0, 0, 16, 16, dc, 10, 10, SRCINVERT);
        int differing = 0;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++) differing += GetPixel(m, x, y) == 0xFFFFFF;
        EXPECT_EQ(256, differing) << std::hex << "background " << background;
        EXPECT_EQ(background, GetPixel(dc, 9, 9)) << "drawn outside its square";
        EXPECT_EQ(background, GetPixel(dc, 26, 26)) << "drawn outside its square";
    }
    SelectObject(m, o);
    DeleteDC(m);
    DeleteObject(capture);
}

} // namespace
