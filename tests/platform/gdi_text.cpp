// Text of the device: what TextOutW puts on the pixels, and how DrawTextW
// measures the message boxes' texts. Alignment is tried by the controls.

#include "platform/host/kernel.h"
#include "platform/host/gdi.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class GdiText : public ::testing::Test {
protected:
    // The reset forgets whatever a test leaves behind.
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
        dc = CreateCompatibleDC(NULL);
        HDC screen = GetDC(NULL);
        SelectObject(dc, CreateCompatibleBitmap(screen, kWidth, kHeight));
        ReleaseDC(NULL, screen);
        SelectObject(dc, dev::DialogFont());
        Clear();
    }
    void Clear() { PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS); }
    // The bounding box of pixels that are not white; false when none.
    bool Ink(RECT *box) {
        SetRectEmpty(box);
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++)
                if (GetPixel(dc, x, y) != 0xFFFFFF) {
                    RECT pixel{x, y, x + 1, y + 1};
                    UnionRect(box, box, &pixel);
                }
        return !IsRectEmpty(box);
    }
    static std::string Box(const RECT &r) {
        return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
               std::to_string(r.bottom);
    }
    SIZE Extent(LPCWSTR text) {
        SIZE size{-1, -1};
        EXPECT_TRUE(GetTextExtentPoint32W(dc, text, (int)wcslen(text), &size));
        return size;
    }
    static const int kWidth = 120, kHeight = 60;
    HDC dc = nullptr;
};

TEST_F(GdiText, TextOutInksInsideTheCellInTheTextColourAndOpaqueFillsIt) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkColor(dc, RGB(0, 0, 255)); // in transparent mode, not drawn
    TextOutW(dc, 10, 5, TEXT("Hide"), 4);
    RECT ink;
    ASSERT_TRUE(Ink(&ink));
    SIZE size = Extent(TEXT("Hide"));
    EXPECT_TRUE(ink.left >= 10 && ink.top >= 5 && ink.right <= 10 + size.cx + 1 && ink.bottom <= 5 + size.cy &&
                ink.right - ink.left > size.cx / 2)
        << Box(ink) << " for a cell of " << size.cx << "x" << size.cy << " at 10,5";
    // Stems come out near the text colour, not only as faint shades; the
    // ink keeps the colour's hue, and no background shows.
    int darkest = 255, notRed = 0;
    for (int y = ink.top; y < ink.bottom; y++)
        for (int x = ink.left; x < ink.right; x++) {
            darkest = std::min(darkest, (int)GetGValue(GetPixel(dc, x, y)));
            notRed += GetRValue(GetPixel(dc, x, y)) != 0xFF;
        }
    EXPECT_LT(darkest, 0x40);
    EXPECT_EQ(0, notRed) << "pixels without full red in " << Box(ink);

    // Opaque mode fills exactly the cell with the background colour.
    Clear();
    SetBkMode(dc, OPAQUE);
    TextOutW(dc, 10, 5, TEXT("Hide"), 4);
    EXPECT_TRUE(GetPixel(dc, 10, 5) == RGB(0, 0, 255) && GetPixel(dc, 9 + size.cx, 4 + size.cy) == RGB(0, 0, 255))
        << "cell corners";
    EXPECT_TRUE(GetPixel(dc, 10 + size.cx, 5) == 0xFFFFFF && GetPixel(dc, 10, 5 + size.cy) == 0xFFFFFF)
        << "outside the cell";
}

TEST_F(GdiText, DrawTextCalcRectCountsLines) {
    const struct {
        const char *name;
        LPCWSTR text;
        UINT format;
        int width;
        int lines; // 0: wrapped onto more than two
    } cases[] = {
        {"CR LF breaks", TEXT("Program Memory:\r\nMain Memory:"), DT_LEFT, 200, 2},
        {"single line ignores breaks", TEXT("Program Memory:\r\nMain Memory:"), DT_SINGLELINE, 200, 1},
        {"word wrap at spaces", TEXT("one two three four five six seven"), DT_WORDBREAK, 40, 0},
        {"no wrap without the flag", TEXT("one two three four five six seven"), DT_LEFT, 40, 1},
    };
    for (const auto &c : cases) {
        RECT r{0, 0, c.width, 10};
        int height = DrawTextW(dc, c.text, -1, &r, c.format | DT_CALCRECT);
        EXPECT_EQ(r.bottom, height) << c.name;
        if (c.lines) {
            EXPECT_EQ(13 * c.lines, height) << c.name;
        } else {
            EXPECT_GT(height, 13 * 2) << c.name;
            EXPECT_LE(r.right, c.width + Extent(TEXT("three")).cx) << c.name;
        }
    }
    RECT r{0, 0, 200, 10};
    DrawTextW(dc, TEXT("Program Memory:"), -1, &r, DT_CALCRECT);
    EXPECT_EQ(Extent(TEXT("Program Memory:")).cx, r.right);
    // Nothing is drawn while measuring.
    RECT ink;
    EXPECT_FALSE(Ink(&ink));
}

} // namespace
