// The non-client frame of dialogs: what each part of the frame answers to a
// hit test, the caption's colours as activation moves, and the close box.
#include "dialog_testing.h"

using dialogtest::DeviceProgram;
using dialogtest::Template;

namespace {

const DWORD kFramedDialog = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

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

uint32_t Pixel(COLORREF color) { return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color); }

class DialogFrame : public support::DeviceTest {
protected:
    void SetUp() override {
        sysCloses = 0;
        closes = 0;
        Boot();
    }
    // A framed dialog on a device thread of its own, pumping until it is gone.
    HWND Open(DeviceProgram **program) {
        *program = new DeviceProgram([] {
            Template t(kFramedDialog, 10, 10, 120, 60, u"Frame");
            t.Item(WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 5, 50, 30, 9, 0x82, u"");
            HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, FrameProc, 0);
            SetForegroundWindow(dialog);
            MSG msg;
            while (IsWindow(dialog) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        });
        HWND dialog = nullptr;
        dialogtest::WaitUntil([&] { return (dialog = FindWindowW(DEVICE_DIALOG_CLASS, u"Frame")) != nullptr; });
        return dialog;
    }
    POINT CloseBox(HWND dialog) {
        RECT rect = dialogtest::ScreenRectOf(dialog);
        for (int y = rect.top; y < rect.top + 30; ++y)
            for (int x = rect.right - 1; x > rect.right - 40; --x)
                if (dev::NonClientHitTest(dialog, POINT{x, y}) == HTCLOSE) return POINT{x - 4, y + 4};
        return POINT{-1, -1};
    }
    void Finish(DeviceProgram *program, HWND dialog) {
        if (IsWindow(dialog)) PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(program->Wait());
        delete program;
    }
};

TEST_F(DialogFrame, EachPartAnswersTheHitTest) {
    DeviceProgram *program = nullptr;
    HWND dialog = Open(&program);
    ASSERT_NE(dialog, nullptr);
    RECT window = dialogtest::ScreenRectOf(dialog);
    RECT client = dialogtest::ClientScreenRectOf(dialog);
    POINT box = CloseBox(dialog);
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
    Finish(program, dialog);
}

TEST_F(DialogFrame, CaptionTurnsGreyWhenAnotherWindowComesToTheFront) {
    DeviceProgram *program = nullptr;
    HWND dialog = Open(&program);
    ASSERT_NE(dialog, nullptr);
    RECT window = dialogtest::ScreenRectOf(dialog);
    RECT client = dialogtest::ClientScreenRectOf(dialog);
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
    Finish(program, dialog);
}

TEST_F(DialogFrame, CloseBoxClosesOnlyWhenTheStylusLiftsOverIt) {
    DeviceProgram *program = nullptr;
    HWND dialog = Open(&program);
    ASSERT_NE(dialog, nullptr);
    POINT box = CloseBox(dialog);
    ASSERT_GE(box.x, 0);
    RECT window = dialogtest::ScreenRectOf(dialog);

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
    Finish(program, dialog);
    EXPECT_FALSE(IsWindow(dialog));
}

} // namespace
