// Text of the device: the dialog font's metrics, extents, and what
// ExtTextOutW and DrawTextW put on the pixels.

#include "platform/host/internal.h"

#include <gtest/gtest.h>

namespace {

class GdiText : public ::testing::Test {
protected:
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
        dc = CreateCompatibleDC(NULL);
        HDC screen = GetDC(NULL);
        bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
        ReleaseDC(NULL, screen);
        oldBitmap = SelectObject(dc, bitmap);
        oldFont = SelectObject(dc, dev::DialogFont());
        Clear();
    }
    void TearDown() override {
        SelectObject(dc, oldFont);
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Clear() { PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS); }
    // The bounding box of pixels that are not white; false when none.
    bool Ink(RECT *box, COLORREF background = 0xFFFFFF) {
        *box = RECT{kWidth, kHeight, -1, -1};
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++)
                if (GetPixel(dc, x, y) != background) {
                    box->left = std::min<LONG>(box->left, x);
                    box->top = std::min<LONG>(box->top, y);
                    box->right = std::max<LONG>(box->right, x + 1);
                    box->bottom = std::max<LONG>(box->bottom, y + 1);
                }
        return box->right > 0;
    }
    SIZE Extent(LPCWSTR text) {
        SIZE size{-1, -1};
        int n = 0;
        while (text[n]) n++;
        EXPECT_TRUE(GetTextExtentPoint32W(dc, text, n, &size));
        return size;
    }
    static const int kWidth = 120, kHeight = 60;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr, oldFont = nullptr;
};

TEST_F(GdiText, DialogFontHasThePlatformsBaseUnits) {
    int x = 0, y = 0;
    dev::DialogBaseUnits(&x, &y);
    // MS Sans Serif 8 point gives 6 by 13 on the platform; the stand-in face
    // is picked to match (7 by 13 where only DejaVu Sans itself is found).
    EXPECT_GE(x, 6);
    EXPECT_LE(x, 7);
    EXPECT_EQ(13, y);
    TEXTMETRICW tm;
    memset(&tm, 0xAA, sizeof tm);
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(13, tm.tmHeight);
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_GT(tm.tmAveCharWidth, 3);
    // A fresh DC uses the same font.
    HDC fresh = CreateCompatibleDC(NULL);
    TEXTMETRICW other;
    GetTextMetricsW(fresh, &other);
    EXPECT_EQ(tm.tmHeight, other.tmHeight);
    DeleteDC(fresh);
}

TEST_F(GdiText, ExtentsGrowWithText) {
    SIZE empty = Extent(TEXT(""));
    EXPECT_EQ(0, empty.cx);
    EXPECT_EQ(13, empty.cy);
    SIZE one = Extent(TEXT("8")), three = Extent(TEXT("888")), wide = Extent(TEXT("815,367"));
    EXPECT_GT(one.cx, 2);
    EXPECT_EQ(3 * one.cx, three.cx); // whole-pixel advances add up
    EXPECT_GT(wide.cx, three.cx);
    EXPECT_LT(Extent(TEXT("iii")).cx, Extent(TEXT("WWW")).cx);
    // A bigger font measures bigger.
    LOGFONTW lf{};
    lf.lfHeight = -22;
    HFONT big = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, big);
    SIZE large = Extent(TEXT("888"));
    SelectObject(dc, old);
    DeleteObject(big);
    EXPECT_GT(large.cx, three.cx);
    EXPECT_GT(large.cy, 20);
}

TEST_F(GdiText, TextOutInksInsideTheCellInTheTextColour) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, 10, 5, TEXT("Hide"), 4);
    RECT ink;
    ASSERT_TRUE(Ink(&ink));
    SIZE size = Extent(TEXT("Hide"));
    EXPECT_GE(ink.left, 10);
    EXPECT_GE(ink.top, 5);
    EXPECT_LE(ink.right, 10 + size.cx + 1);
    EXPECT_LE(ink.bottom, 5 + size.cy);
    EXPECT_GT(ink.right - ink.left, size.cx / 2);
    // Stems come out near the text colour, not only as faint shades.
    int darkest = 255;
    for (int y = ink.top; y < ink.bottom; y++)
        for (int x = ink.left; x < ink.right; x++) darkest = std::min(darkest, (int)GetRValue(GetPixel(dc, x, y)));
    EXPECT_LT(darkest, 0x40);
    // In another colour, the ink takes that colour's hue.
    Clear();
    SetTextColor(dc, RGB(255, 0, 0));
    TextOutW(dc, 10, 5, TEXT("Hide"), 4);
    for (int y = ink.top; y < ink.bottom; y++)
        for (int x = ink.left; x < ink.right; x++) EXPECT_EQ(0xFF, GetRValue(GetPixel(dc, x, y))) << x << "," << y;
}

TEST_F(GdiText, OpaqueModeFillsTheCellWithTheBackground) {
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 255));
    SetTextColor(dc, RGB(255, 255, 0));
    TextOutW(dc, 2, 3, TEXT("ab"), 2);
    SIZE size = Extent(TEXT("ab"));
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 2, 3));                         // cell corner
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 2 + size.cx - 1, 3 + size.cy - 1)); // far corner
    EXPECT_EQ(0xFFFFFFu, GetPixel(dc, 2 + size.cx, 3));                    // outside
    EXPECT_EQ(0xFFFFFFu, GetPixel(dc, 2, 3 + size.cy));
    // Transparent mode leaves the background alone.
    Clear();
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 2, 3, TEXT("ab"), 2);
    EXPECT_EQ(0xFFFFFFu, GetPixel(dc, 2, 3));
}

TEST_F(GdiText, DrawTextCalcRectCountsLines) {
    SIZE line = Extent(TEXT("Program Memory:"));
    struct Case {
        const char *name;
        LPCWSTR text;
        UINT format;
        int width;
        int lines;
    };
    const Case cases[] = {
        {"one line", TEXT("Program Memory:"), DT_LEFT, 200, 1},
        {"CR LF breaks", TEXT("Program Memory:\r\nMain Memory:"), DT_LEFT, 200, 2},
        {"single line ignores breaks", TEXT("Program Memory:\r\nMain Memory:"), DT_SINGLELINE, 200, 1},
        {"word wrap at spaces", TEXT("one two three four five six seven"), DT_WORDBREAK, 40, 0},
        {"no wrap without the flag", TEXT("one two three four five six seven"), DT_LEFT, 40, 1},
    };
    for (const Case &c : cases) {
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
    EXPECT_EQ(line.cx, r.right);
    // Nothing is drawn while measuring.
    RECT ink;
    EXPECT_FALSE(Ink(&ink));
}

TEST_F(GdiText, DrawTextAlignsAndClips) {
    SetBkMode(dc, TRANSPARENT);
    RECT box{10, 10, 110, 50};
    RECT ink;

    DrawTextW(dc, TEXT("Hi"), -1, &box, DT_RIGHT | DT_SINGLELINE);
    ASSERT_TRUE(Ink(&ink));
    EXPECT_GE(ink.right, 105);
    EXPECT_LE(ink.right, 111);

    Clear();
    DrawTextW(dc, TEXT("Hi"), -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ASSERT_TRUE(Ink(&ink));
    int midX = (ink.left + ink.right) / 2, midY = (ink.top + ink.bottom) / 2;
    EXPECT_NEAR(60, midX, 3);
    EXPECT_NEAR(30, midY, 4);

    // Clipped to the rectangle unless DT_NOCLIP.
    Clear();
    RECT narrow{10, 10, 20, 50};
    DrawTextW(dc, TEXT("Performance"), -1, &narrow, DT_LEFT | DT_SINGLELINE);
    ASSERT_TRUE(Ink(&ink));
    EXPECT_LE(ink.right, 20);
    Clear();
    DrawTextW(dc, TEXT("Performance"), -1, &narrow, DT_LEFT | DT_SINGLELINE | DT_NOCLIP);
    ASSERT_TRUE(Ink(&ink));
    EXPECT_GT(ink.right, 30);

    // The ellipsis keeps a long line inside its rectangle.
    Clear();
    RECT mid{10, 10, 50, 50};
    DrawTextW(dc, TEXT("Performance Monitor"), -1, &mid, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
    ASSERT_TRUE(Ink(&ink));
    EXPECT_LE(ink.right, 51);
}

TEST_F(GdiText, PrefixUnderlinesUnlessTurnedOff) {
    SetBkMode(dc, TRANSPARENT);
    RECT box{0, 0, 100, 30}, ink, plain;
    DrawTextW(dc, TEXT("&Go"), -1, &box, DT_LEFT | DT_SINGLELINE);
    ASSERT_TRUE(Ink(&ink));
    Clear();
    DrawTextW(dc, TEXT("Go"), -1, &box, DT_LEFT | DT_SINGLELINE);
    ASSERT_TRUE(Ink(&plain));
    EXPECT_GT(ink.bottom, plain.bottom) << "no underline below the baseline";
    EXPECT_EQ(plain.left, ink.left);
    Clear();
    DrawTextW(dc, TEXT("&Go"), -1, &box, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    ASSERT_TRUE(Ink(&ink));
    EXPECT_GT(ink.right, plain.right); // the '&' is drawn
}

} // namespace
