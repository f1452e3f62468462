// Static and Button controls as a user sees them: what text statics paint on
// the screen and which taps become clicks. The monitor's graph tests cover the
// bitmap static.
#include "dialog_testing.h"

#include <algorithm>

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

// The monitor's label is right-aligned and its memory readout two lines.
TEST_F(Controls, TextStaticsAlignAndBreakLines) {
    Template t(kVisibleDialog, 0, 0, 150, 100, u"Texts");
    t.Item(WS_CHILD | WS_VISIBLE | SS_LEFT, 5, 5, 60, 10, 1, 0x82, u"ab")
        .Item(WS_CHILD | WS_VISIBLE | SS_RIGHT, 5, 20, 60, 10, 2, 0x82, u"ab")
        .Item(WS_CHILD | WS_VISIBLE | SS_LEFT, 80, 5, 60, 30, 4, 0x82, u"One:\r\nTwo:");
    HWND dialog = Create(t);
    ASSERT_NE(dialog, nullptr);
    uint32_t face = Pixel(GetSysColor(COLOR_BTNFACE));

    RECT left = dialogtest::ScreenRectOf(GetDlgItem(dialog, 1));
    RECT right = dialogtest::ScreenRectOf(GetDlgItem(dialog, 2));
    Ink inkLeft = InkIn(left, face), inkRight = InkIn(right, face);
    ASSERT_FALSE(IsRectEmpty(&inkLeft.box));
    ASSERT_FALSE(IsRectEmpty(&inkRight.box));
    EXPECT_LE(inkLeft.box.left - left.left, 2) << "left-aligned text starts at the left edge";
    EXPECT_LE(right.right - inkRight.box.right, 2) << "right-aligned text ends at the right edge";
    EXPECT_EQ(InkIn(dialogtest::ScreenRectOf(GetDlgItem(dialog, 4)), face).bands, 2) << "\"\\r\\n\" makes two lines";

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

TEST_F(Buttons, TapsClickTheButtonUnderTheStylusOnlyOnALiftInsideAndNeverWhenDisabled) {
    Tap(button, 8, 6, true);
    EXPECT_TRUE(Pushed());
    EXPECT_TRUE(Commands().empty()) << "nothing happens until the stylus lifts";
    Tap(button, 8, 6, false);
    EXPECT_FALSE(Pushed());
    HWND hide = GetDlgItem(dialog, 1034);
    Tap(hide, 8, 6, true);
    Tap(hide, 8, 6, false);
    std::vector<Seen> commands = Commands();
    ASSERT_EQ(commands.size(), 2u) << Describe(commands);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(1031, BN_CLICKED));
    EXPECT_EQ((HWND)commands[0].lParam, button);
    EXPECT_EQ(commands[1].wParam, MAKEWPARAM(1034, BN_CLICKED));
    EXPECT_EQ((HWND)commands[1].lParam, hide);

    seen.clear();
    SendMessageW(button, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(200, 5));
    EXPECT_FALSE(Pushed()) << "the pressed look follows the stylus";
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(200, 5));
    EnableWindow(button, FALSE);
    Tap(button, 8, 6, true);
    EXPECT_FALSE(Pushed());
    Tap(button, 8, 6, false);
    EXPECT_TRUE(Commands().empty()) << "slid off before lifting, or disabled: " << Describe(Commands());
}

} // namespace
