// Static and Button controls and the dialog frame as a user sees them: what
// they paint on the screen, how statics take bitmaps, which taps become
// clicks, what each part of the frame answers to a hit test, the caption's
// colours as activation moves, and the close box.
#include "dialog_testing.h"

#include <algorithm>

using dialogtest::DeviceProgram;
using dialogtest::Describe;
using dialogtest::Only;
using dialogtest::Pixel;
using dialogtest::Seen;
using dialogtest::Template;

namespace {

std::vector<Seen> seen;

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({dialog, message, wParam, lParam});
    return message == WM_INITDIALOG;
}

const DWORD kVisibleDialog = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

// Where a rectangle's pixels differ from the background: their bounding box
// (screen coordinates, empty when there are none) and the runs of rows they make.
struct Ink {
    RECT box;
    int bands;
    int Width() const { return box.right - box.left; }
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
        Ink ink = {{rect.right, rect.bottom, rect.left, rect.top}, 0};
        bool above = false;
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
            ink.bands += any && !above;
            above = any;
        }
        if (ink.box.left > ink.box.right) SetRectEmpty(&ink.box);
        return ink;
    }
    void Tap(HWND control, int dx, int dy, bool down) {
        RECT rect = dialogtest::ScreenRectOf(control);
        dev::Tap(rect.left + dx, rect.top + dy, down);
        Pump();
    }
};

// A new bitmap of the screen's format, filled with one colour.
HBITMAP SolidBitmap(int width, int height, COLORREF color) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(color);
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    return bitmap;
}

// The monitor's own graph tests cover a static showing its first bitmap and
// repainting what is drawn into it; here, refusals, a second bitmap and who
// owns them.
TEST_F(Controls, BitmapStaticTakesOnlyBitmapsResizesToEachAndOwnsNone) {
    Template t(kVisibleDialog, 0, 0, 120, 60, u"Bitmaps");
    t.Item(WS_CHILD | WS_VISIBLE | SS_BITMAP, 10, 10, 15, 13, 1032, 0x82, u"");
    HWND dialog = Create(t);
    ASSERT_NE(dialog, nullptr);
    HWND graph = GetDlgItem(dialog, 1032);
    HBITMAP first = SolidBitmap(20, 10, RGB(255, 0, 0));
    HBITMAP second = SolidBitmap(30, 12, RGB(0, 0, 255));

    EXPECT_EQ(SendMessageW(graph, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)first), 0);
    // Only bitmaps go into a bitmap static; refusals change nothing.
    EXPECT_EQ(SendMessageW(graph, STM_SETIMAGE, IMAGE_ICON, (LPARAM)second), 0);
    HBRUSH notBitmap = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(SendMessageW(graph, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)notBitmap), 0);
    DeleteObject(notBitmap);
    EXPECT_EQ((HBITMAP)SendMessageW(graph, STM_GETIMAGE, IMAGE_BITMAP, 0), first);

    EXPECT_EQ((HBITMAP)SendMessageW(graph, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)second), first);
    RECT rect = dialogtest::ScreenRectOf(graph);
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
    int slack = (left.right - left.left) - inkLeft.Width();
    EXPECT_NEAR(inkCentre.box.left - centre.left, slack / 2, 2) << "centred text";

    // "\r\n" makes two lines; a narrow static wraps words onto more lines.
    EXPECT_EQ(InkIn(dialogtest::ScreenRectOf(GetDlgItem(dialog, 4)), face).bands, 2);
    EXPECT_GE(InkIn(dialogtest::ScreenRectOf(GetDlgItem(dialog, 5)), face).bands, 2);

    // A new text shows at once, without waiting for WM_PAINT.
    SetWindowTextW(GetDlgItem(dialog, 1), u"");
    EXPECT_EQ(InkIn(left, face).bands, 0);
    SetWindowTextW(GetDlgItem(dialog, 1), u"Wider text");
    EXPECT_GT(InkIn(left, face).Width(), inkLeft.Width());
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
    bool Pushed() { return (SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0; }
    HWND dialog = nullptr;
    HWND button = nullptr;
};

TEST_F(Buttons, PressedLookFollowsTheStylusAndOnlyALiftInsideClicks) {
    SendMessageW(button, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(Pushed());
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(200, 5));
    EXPECT_FALSE(Pushed()) << "the pressed look follows the stylus";
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(Pushed());
    EXPECT_TRUE(Commands().empty()) << "nothing happens until the stylus lifts";
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(6, 6));
    EXPECT_FALSE(Pushed());
    std::vector<Seen> commands = Commands();
    ASSERT_EQ(commands.size(), 1u) << Describe(commands);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(1031, BN_CLICKED));
    EXPECT_EQ((HWND)commands[0].lParam, button);

    seen.clear();
    SendMessageW(button, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(200, 5));
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(200, 5));
    EXPECT_TRUE(Commands().empty()) << "slid off before lifting: " << Describe(Commands());
}

TEST_F(Buttons, TapsOnTheScreenClickTheButtonUnderTheStylus) {
    Tap(button, 8, 6, true);
    Tap(button, 8, 6, false);
    HWND hide = GetDlgItem(dialog, 1034);
    Tap(hide, 8, 6, true);
    Tap(hide, 8, 6, false);
    std::vector<Seen> commands = Commands();
    ASSERT_EQ(commands.size(), 2u) << Describe(commands);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(1031, BN_CLICKED));
    EXPECT_EQ(commands[1].wParam, MAKEWPARAM(1034, BN_CLICKED));
    EXPECT_EQ((HWND)commands[1].lParam, hide);
}

TEST_F(Buttons, LooksRaisedPressedAndDisabledAndDisabledDoesNothing) {
    RECT rect = dialogtest::ScreenRectOf(button);
    uint32_t highlight = Pixel(GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(ScreenPixel(rect.left + 1, rect.top + 1), highlight) << "raised: lit from the top left";
    SendMessageW(button, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(ScreenPixel(rect.left + 1, rect.top + 1), Pixel(GetSysColor(COLOR_BTNSHADOW))) << "pressed: sunk";
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

    SendMessageW(button, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_FALSE(Pushed());
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Tap(button, 8, 6, true);
    Tap(button, 8, 6, false);
    EXPECT_TRUE(Commands().empty()) << Describe(Commands());
}

// ------------------------------------------------------------ the frame

std::atomic<int> sysCloses{0};
std::atomic<int> closes{0};

INT_PTR CALLBACK FrameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) ++sysCloses;
    if (message == WM_CLOSE) {
        ++closes;
        DestroyWindow(dialog);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

class DialogFrame : public support::DeviceTest {
protected:
    void SetUp() override {
        sysCloses = 0;
        closes = 0;
        Boot();
        // A framed dialog on a device thread of its own, pumping until it is gone.
        program = std::make_unique<DeviceProgram>([] {
            Template t(kVisibleDialog, 10, 10, 120, 60, u"Frame");
            t.Item(WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 5, 50, 30, 9, 0x82, u"");
            HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, FrameProc, 0);
            SetForegroundWindow(dialog);
            MSG msg;
            while (IsWindow(dialog) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        });
        dialogtest::WaitUntil([&] { return (dialog = FindWindowW(DEVICE_DIALOG_CLASS, u"Frame")) != nullptr; });
        ASSERT_NE(dialog, nullptr);
        window = dialogtest::ScreenRectOf(dialog);
        client = dialogtest::ClientScreenRectOf(dialog);
    }
    void TearDown() override {
        if (IsWindow(dialog)) PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(program->Wait());
        support::DeviceTest::TearDown();
    }
    std::unique_ptr<DeviceProgram> program;
    HWND dialog = nullptr;
    RECT window, client;
};

TEST_F(DialogFrame, EachPartAnswersTheHitTestAndTheCloseBoxClosesOnlyOnALiftOverIt) {
    POINT box = dialogtest::CloseBoxPoint(dialog);
    ASSERT_GE(box.x, 0) << "no close box on the caption";
    int captionY = (window.top + client.top) / 2;
    struct Case {
        const char *what;
        POINT point;
        LRESULT expected;
    } cases[] = {
        {"caption", {window.left + 30, captionY}, HTCAPTION},
        {"close box", box, HTCLOSE},
        {"client area", {(client.left + client.right) / 2, (client.top + client.bottom) / 2}, HTCLIENT},
        {"left frame", {window.left, (client.top + client.bottom) / 2}, HTBORDER},
        {"bottom frame", {(client.left + client.right) / 2, window.bottom - 1}, HTBORDER},
        {"left of the window", {window.left - 1, captionY}, HTNOWHERE},
        {"below the window", {window.left + 30, window.bottom}, HTNOWHERE},
    };
    for (const Case &c : cases)
        EXPECT_EQ(dev::NonClientHitTest(dialog, c.point), c.expected)
            << c.what << " at " << c.point.x << "," << c.point.y;
    // A child's 1-pixel border.
    HWND child = GetDlgItem(dialog, 9);
    RECT childRect = dialogtest::ScreenRectOf(child);
    EXPECT_EQ(dev::NonClientHitTest(child, POINT{childRect.left, childRect.top + 5}), HTBORDER);
    EXPECT_EQ(dev::NonClientHitTest(child, POINT{childRect.left + 1, childRect.top + 5}), HTCLIENT);

    // Pressed, then slid off to the caption before lifting: nothing.
    dev::Tap(box.x, box.y, true);
    dev::Settle();
    dev::Tap(window.left + 30, box.y, false);
    dev::Settle();
    EXPECT_EQ(sysCloses.load(), 0);
    EXPECT_TRUE(IsWindow(dialog));
    dialogtest::TapAt(box.x, box.y);
    EXPECT_EQ(sysCloses.load(), 1) << "a tap on the close box is SC_CLOSE";
    EXPECT_EQ(closes.load(), 1) << "which the default handling turns into WM_CLOSE";
    EXPECT_TRUE(dialogtest::WaitUntil([&] { return !IsWindow(dialog); }));
}

TEST_F(DialogFrame, CaptionTurnsGreyWhenAnotherWindowComesToTheFront) {
    // A point of the caption bar between the short title and the close box.
    POINT probe = {window.right - 40, (window.top + client.top) / 2};
    dev::Settle();
    EXPECT_EQ(GetForegroundWindow(), dialog);
    EXPECT_EQ(ScreenPixel(probe.x, probe.y), Pixel(GetSysColor(COLOR_ACTIVECAPTION)));

    static std::atomic<HWND> other;
    other = nullptr;
    DeviceProgram front([] {
        HWND window = CreateWindowExW(0, u"Static", u"", WS_POPUP | WS_VISIBLE, 0, 200, 50, 50, nullptr, nullptr,
                                      nullptr, nullptr);
        SetForegroundWindow(window);
        other = window;
        MSG msg;
        while (IsWindow(window) && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    ASSERT_TRUE(dialogtest::WaitUntil([] { return other.load() && GetForegroundWindow() == other.load(); }));
    EXPECT_EQ(ScreenPixel(probe.x, probe.y), Pixel(GetSysColor(COLOR_INACTIVECAPTION)));
    PostMessageW(other.load(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(front.Wait());
}

} // namespace
