// Static and Button controls as a user sees them: what they paint on the
// screen, how they take bitmaps, and which taps become clicks.
#include "dialog_testing.h"

#include <algorithm>

using dialogtest::Only;
using dialogtest::Seen;
using dialogtest::Template;

namespace {

std::vector<Seen> seen;

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({dialog, message, wParam, lParam});
    return message == WM_INITDIALOG;
}

const DWORD kVisibleDialog = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

uint32_t Pixel(COLORREF color) { return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color); }

// Bounding box (screen coordinates) of the pixels in a rectangle that differ
// from the background; empty when there are none.
struct Ink {
    RECT box;
    std::vector<bool> rows; // per row of the rectangle: any ink
};

class Controls : public support::DeviceTest {
protected:
    void SetUp() override {
        seen.clear();
        Boot();
        AdoptAsMonitor();
    }
    HWND Create(Template &t) {
        HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, RecordingProc, 0);
        if (dialog) {
            SetForegroundWindow(dialog);
            UpdateWindow(dialog);
            Pump();
        }
        return dialog;
    }
    Ink InkIn(const RECT &rect, uint32_t background) {
        Ink ink;
        SetRect(&ink.box, rect.right, rect.bottom, rect.left, rect.top);
        for (int y = rect.top; y < rect.bottom; ++y) {
            bool any = false;
            for (int x = rect.left; x < rect.right; ++x) {
                if (ScreenPixel(x, y) == background) continue;
                any = true;
                ink.box.left = std::min<LONG>(ink.box.left, x);
                ink.box.right = std::max<LONG>(ink.box.right, x + 1);
                ink.box.top = std::min<LONG>(ink.box.top, y);
                ink.box.bottom = std::max<LONG>(ink.box.bottom, y + 1);
            }
            ink.rows.push_back(any);
        }
        if (ink.box.left > ink.box.right) SetRectEmpty(&ink.box);
        return ink;
    }
    // Runs of rows with ink.
    static int Bands(const Ink &ink) {
        int bands = 0;
        for (size_t i = 0; i < ink.rows.size(); ++i)
            if (ink.rows[i] && (i == 0 || !ink.rows[i - 1])) ++bands;
        return bands;
    }
    void Tap(HWND control, int dx, int dy, bool down) {
        RECT rect = dialogtest::ScreenRectOf(control);
        dev::Tap(rect.left + dx, rect.top + dy, down);
        Pump();
    }
};

void Paint(HBITMAP bitmap, int width, int height, COLORREF color) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(color);
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
}

HBITMAP SolidBitmap(int width, int height, COLORREF color) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    Paint(bitmap, width, height, color);
    return bitmap;
}

TEST_F(Controls, BitmapStaticShowsTheVeryBitmapItHolds) {
    Template t(kVisibleDialog, 0, 0, 120, 60, u"Bitmaps");
    t.Item(WS_CHILD | WS_VISIBLE | SS_BITMAP, 10, 10, 15, 13, 1032, 0x82, u"");
    HWND dialog = Create(t);
    ASSERT_NE(dialog, nullptr);
    HWND graph = GetDlgItem(dialog, 1032);
    HBITMAP first = SolidBitmap(20, 10, RGB(255, 0, 0));
    HBITMAP second = SolidBitmap(30, 12, RGB(0, 0, 255));

    EXPECT_EQ(SendMessageW(graph, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)first), 0);
    RECT rect = dialogtest::ScreenRectOf(graph);
    EXPECT_EQ(rect.right - rect.left, 20);
    EXPECT_EQ(rect.bottom - rect.top, 10);
    Pump();
    EXPECT_EQ(ScreenPixel(rect.left + 5, rect.top + 5), 0xFF0000u);

    // Drawing into the bitmap and repainting shows the new picture.
    Paint(first, 20, 10, RGB(0, 255, 0));
    InvalidateRect(graph, nullptr, FALSE);
    UpdateWindow(graph);
    EXPECT_EQ(ScreenPixel(rect.left + 5, rect.top + 5), 0x00FF00u);

    // Only bitmaps go into a bitmap static; refusals change nothing.
    EXPECT_EQ(SendMessageW(graph, STM_SETIMAGE, IMAGE_ICON, (LPARAM)second), 0);
    HBRUSH notBitmap = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(SendMessageW(graph, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)notBitmap), 0);
    DeleteObject(notBitmap);
    EXPECT_EQ((HBITMAP)SendMessageW(graph, STM_GETIMAGE, IMAGE_BITMAP, 0), first);

    EXPECT_EQ((HBITMAP)SendMessageW(graph, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)second), first);
    rect = dialogtest::ScreenRectOf(graph);
    EXPECT_EQ(rect.right - rect.left, 30);
    EXPECT_EQ(rect.bottom - rect.top, 12);
    Pump();
    EXPECT_EQ(ScreenPixel(rect.left + 25, rect.top + 11), 0x0000FFu);
    DestroyWindow(dialog);
    // The static owns neither bitmap: both are still there to delete.
    EXPECT_TRUE(DeleteObject(first));
    EXPECT_TRUE(DeleteObject(second));
}

TEST_F(Controls, TextStaticsAlignWrapAndBreakLines) {
    Template t(kVisibleDialog, 0, 0, 150, 100, u"Texts");
    t.Item(WS_CHILD | WS_VISIBLE | SS_LEFT, 5, 5, 60, 10, 1, 0x82, u"ab")
        .Item(WS_CHILD | WS_VISIBLE | SS_RIGHT, 5, 20, 60, 10, 2, 0x82, u"ab")
        .Item(WS_CHILD | WS_VISIBLE | SS_CENTER, 5, 35, 60, 10, 3, 0x82, u"ab")
        .Item(WS_CHILD | WS_VISIBLE | SS_LEFT, 80, 5, 60, 30, 4, 0x82, u"One:\r\nTwo:")
        .Item(WS_CHILD | WS_VISIBLE | SS_LEFT, 80, 40, 30, 40, 5, 0x82, u"wrap these words");
    HWND dialog = Create(t);
    ASSERT_NE(dialog, nullptr);
    uint32_t face = Pixel(GetSysColor(COLOR_BTNFACE));

    RECT left = dialogtest::ScreenRectOf(GetDlgItem(dialog, 1));
    RECT right = dialogtest::ScreenRectOf(GetDlgItem(dialog, 2));
    RECT centre = dialogtest::ScreenRectOf(GetDlgItem(dialog, 3));
    Ink inkLeft = InkIn(left, face), inkRight = InkIn(right, face), inkCentre = InkIn(centre, face);
    ASSERT_FALSE(IsRectEmpty(&inkLeft.box));
    ASSERT_FALSE(IsRectEmpty(&inkRight.box));
    ASSERT_FALSE(IsRectEmpty(&inkCentre.box));
    EXPECT_LE(inkLeft.box.left - left.left, 2) << "left-aligned text starts at the left edge";
    EXPECT_LE(right.right - inkRight.box.right, 2) << "right-aligned text ends at the right edge";
    int slack = (left.right - left.left) - (inkLeft.box.right - inkLeft.box.left);
    EXPECT_NEAR(inkCentre.box.left - centre.left, slack / 2, 2) << "centred text";

    // "\r\n" makes two lines; a narrow static wraps words onto more lines.
    EXPECT_EQ(Bands(InkIn(dialogtest::ScreenRectOf(GetDlgItem(dialog, 4)), face)), 2);
    EXPECT_GE(Bands(InkIn(dialogtest::ScreenRectOf(GetDlgItem(dialog, 5)), face)), 2);

    // A new text shows at once, without waiting for WM_PAINT.
    SetWindowTextW(GetDlgItem(dialog, 1), u"");
    Ink cleared = InkIn(left, face);
    EXPECT_TRUE(IsRectEmpty(&cleared.box));
    SetWindowTextW(GetDlgItem(dialog, 1), u"Wider text");
    Ink wider = InkIn(left, face);
    EXPECT_GT(wider.box.right - wider.box.left, inkLeft.box.right - inkLeft.box.left);
    DestroyWindow(dialog);
}

class Buttons : public Controls {
protected:
    void SetUp() override {
        Controls::SetUp();
        Template t(kVisibleDialog, 0, 0, 120, 60, u"Buttons");
        t.Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10, 45, 14, 1031, 0x80, u"Threads")
            .Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 60, 10, 45, 14, 1034, 0x80, u"Hide");
        dialog = Create(t);
        ASSERT_NE(dialog, nullptr);
        button = GetDlgItem(dialog, 1031);
        seen.clear();
    }
    std::vector<Seen> Commands() { return Only(seen, {WM_COMMAND}); }
    HWND dialog = nullptr;
    HWND button = nullptr;
};

TEST_F(Buttons, PressAndReleaseInsideIsAClick) {
    SendMessageW(button, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
    EXPECT_TRUE(Commands().empty()) << "nothing happens until the stylus lifts";
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(6, 6));
    EXPECT_FALSE(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
    std::vector<Seen> commands = Commands();
    ASSERT_EQ(commands.size(), 1u) << dialogtest::Describe(commands);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(1031, BN_CLICKED));
    EXPECT_EQ((HWND)commands[0].lParam, button);
}

TEST_F(Buttons, SlidingOffBeforeLiftingCancels) {
    SendMessageW(button, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(200, 5));
    EXPECT_FALSE(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED) << "the pressed look follows the stylus";
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(200, 5));
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(200, 5));
    EXPECT_TRUE(Commands().empty()) << dialogtest::Describe(Commands());
}

TEST_F(Buttons, TapsOnTheScreenClickTheButtonUnderTheStylus) {
    Tap(button, 8, 6, true);
    Tap(button, 8, 6, false);
    HWND hide = GetDlgItem(dialog, 1034);
    Tap(hide, 8, 6, true);
    Tap(hide, 8, 6, false);
    std::vector<Seen> commands = Commands();
    ASSERT_EQ(commands.size(), 2u) << dialogtest::Describe(commands);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(1031, BN_CLICKED));
    EXPECT_EQ(commands[1].wParam, MAKEWPARAM(1034, BN_CLICKED));
    EXPECT_EQ((HWND)commands[1].lParam, hide);
}

TEST_F(Buttons, DisabledButtonDoesNothing) {
    EnableWindow(button, FALSE);
    Pump();
    SendMessageW(button, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_FALSE(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Tap(button, 8, 6, true);
    Tap(button, 8, 6, false);
    for (const Seen &s : Commands()) EXPECT_NE(LOWORD(s.wParam), 1031) << dialogtest::Describe(Commands());
}

TEST_F(Buttons, LooksRaisedPressedAndDisabled) {
    RECT rect = dialogtest::ScreenRectOf(button);
    uint32_t highlight = Pixel(GetSysColor(COLOR_BTNHIGHLIGHT));
    uint32_t shadow = Pixel(GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(ScreenPixel(rect.left + 1, rect.top + 1), highlight) << "raised: lit from the top left";

    SendMessageW(button, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(ScreenPixel(rect.left + 1, rect.top + 1), shadow) << "pressed: sunk";
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(500, 500));
    EXPECT_EQ(ScreenPixel(rect.left + 1, rect.top + 1), highlight);

    // The label, away from the frame and the focus dots; its edges are
    // smoothed, so judge by how dark its pixels are.
    auto count = [&](int low, int high) {
        int n = 0;
        for (int y = rect.top + 5; y < rect.bottom - 5; ++y)
            for (int x = rect.left + 6; x < rect.right - 6; ++x) {
                uint32_t p = ScreenPixel(x, y);
                int level = std::max({(int)(p >> 16 & 0xFF), (int)(p >> 8 & 0xFF), (int)(p & 0xFF)});
                n += level >= low && level <= high;
            }
        return n;
    };
    EXPECT_GT(count(0, 0x40), 0) << "enabled: dark label";
    EnableWindow(GetDlgItem(dialog, 1034), FALSE);
    EnableWindow(button, FALSE);
    Pump();
    EXPECT_EQ(count(0, 0x40), 0) << "disabled: no dark label left";
    EXPECT_GT(count(0x70, 0xA0), 0) << "disabled: grey label";
}

} // namespace
