// The message box as a user meets it: where it stands, how its text wraps,
// which answer each way of closing it gives, and the owner's timers going on
// behind it.
#include "dialog_testing.h"

using dialogtest::DeviceProgram;

namespace {

const char16_t kTitle[] = u"Dead Window!";
const char16_t kLongText[] =
    u"Whoops! One of the windows in the system seems to have become unresponsive. The window belongs to "
    u"the HangDemo class, and was created by the \\Windows\\HangDemo.exe program.";

struct BoxRun {
    std::atomic<HWND> owner{nullptr};
    std::atomic<int> ownerTimers{0};
    std::atomic<int> result{-1};
    std::atomic<bool> ownerEnabledAfter{false};
};
BoxRun *run = nullptr;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && run) ++run->ownerTimers;
    return DefWindowProcW(window, message, wParam, lParam);
}

void BoxBody(UINT type, bool ownerVisible, const char16_t *text) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = u"BoxOwner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowExW(0, u"BoxOwner", u"Owner", WS_POPUP | (ownerVisible ? WS_VISIBLE : 0), 0, 0, 120,
                                 80, nullptr, nullptr, nullptr, nullptr);
    if (ownerVisible) SetForegroundWindow(owner);
    SetTimer(owner, 1, 100, nullptr);
    run->owner = owner;
    run->result = MessageBoxW(owner, text, kTitle, type);
    run->ownerEnabledAfter = IsWindowEnabled(owner) != 0;
    KillTimer(owner, 1);
    DestroyWindow(owner);
}

class MessageBox : public support::DeviceTest {
protected:
    void SetUp() override {
        Boot();
        run = &state;
    }
    void TearDown() override {
        run = nullptr;
        support::DeviceTest::TearDown();
    }
    HWND Open(DeviceProgram **program, UINT type, bool ownerVisible = true, const char16_t *text = kLongText) {
        *program = new DeviceProgram([type, ownerVisible, text] { BoxBody(type, ownerVisible, text); });
        HWND box = nullptr;
        dialogtest::WaitUntil([&] {
            box = FindWindowW(DEVICE_DIALOG_CLASS, kTitle);
            return box && IsWindowVisible(box);
        });
        return box;
    }
    void TapCentre(HWND window) {
        RECT rect = dialogtest::ScreenRectOf(window);
        dialogtest::TapAt((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    int Finish(DeviceProgram *program) {
        bool ended = program->Wait();
        delete program;
        return ended ? run->result.load() : -1000;
    }
    BoxRun state;
};

TEST_F(MessageBox, StandsCentredInFrontWithItsTextWrapped) {
    DeviceProgram *program = nullptr;
    HWND box = Open(&program, MB_OK);
    ASSERT_NE(box, nullptr) << "no visible box titled \"Dead Window!\" of the dialog class";
    EXPECT_EQ(GetWindow(box, GW_OWNER), run->owner.load());
    EXPECT_EQ(GetForegroundWindow(), box);
    EXPECT_FALSE(IsWindowEnabled(run->owner.load())) << "the box is modal to its owner";

    RECT rect = dialogtest::ScreenRectOf(box);
    int screenWidth = dev::ScreenWidth();
    EXPECT_GE(rect.left, 0);
    EXPECT_LE(rect.right, screenWidth);
    EXPECT_LE(std::abs(rect.left - (screenWidth - rect.right)), 1) << "centred: " << rect.left << ".." << rect.right;
    HWND taskbar = FindWindowW(DEVICE_TASKBAR_CLASS, nullptr);
    if (taskbar) {
        EXPECT_LE(rect.bottom, dialogtest::ScreenRectOf(taskbar).top) << "above the taskbar";
    }

    // The text static holds the message, on several lines of the box's width.
    HWND text = GetWindow(box, GW_CHILD);
    ASSERT_NE(text, nullptr);
    WCHAR buffer[512];
    DefWindowProcW(text, WM_GETTEXT, 512, (LPARAM)buffer);
    EXPECT_EQ(std::u16string(buffer), std::u16string(kLongText));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dev::DialogFont());
    SIZE oneLine;
    GetTextExtentPoint32W(dc, kLongText, (int)std::char_traits<char16_t>::length(kLongText), &oneLine);
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    DeleteDC(dc);
    RECT textRect = dialogtest::ScreenRectOf(text);
    EXPECT_LT(textRect.right - textRect.left, oneLine.cx);
    EXPECT_GE(textRect.bottom - textRect.top, 3 * metrics.tmHeight) << "the message needs at least three lines";
    EXPECT_GE(textRect.left, rect.left);
    EXPECT_LE(textRect.right, rect.right);

    HWND ok = GetDlgItem(box, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr) << "MB_OK has no Cancel button";
    TapCentre(ok);
    EXPECT_EQ(Finish(program), IDOK);
    EXPECT_TRUE(run->ownerEnabledAfter);
    EXPECT_EQ(FindWindowW(DEVICE_DIALOG_CLASS, kTitle), nullptr);
}

TEST_F(MessageBox, OwnerTimersKeepRunningBehindIt) {
    DeviceProgram *program = nullptr;
    HWND box = Open(&program, MB_OK);
    ASSERT_NE(box, nullptr);
    int before = run->ownerTimers;
    dev::AdvanceClock(2000);
    EXPECT_GE(run->ownerTimers - before, 19) << "the box's loop must dispatch the owner's timer";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Finish(program), IDOK);
}

TEST_F(MessageBox, EachWayOfClosingGivesItsAnswer) {
    struct Case {
        const char *what;
        UINT type;
        int how; // 0 WM_CLOSE, 1 tap on the close box, 2 tap on Cancel, 3 WM_COMMAND IDOK
        int expected;
    } cases[] = {
        // Closing an OK-only box asks for Cancel, as the reference platform answers.
        {"WM_CLOSE, MB_OK", MB_OK, 0, IDCANCEL},
        {"close box, MB_OK", MB_OK, 1, IDCANCEL},
        {"WM_CLOSE, MB_OKCANCEL", MB_OKCANCEL, 0, IDCANCEL},
        {"Cancel button", MB_OKCANCEL, 2, IDCANCEL},
        {"IDOK command, MB_OKCANCEL", MB_OKCANCEL, 3, IDOK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DeviceProgram *program = nullptr;
        HWND box = Open(&program, c.type, true, u"Short.");
        ASSERT_NE(box, nullptr);
        switch (c.how) {
        case 0: PostMessageW(box, WM_CLOSE, 0, 0); break;
        case 1: {
            RECT rect = dialogtest::ScreenRectOf(box);
            POINT found = {-1, -1};
            for (int y = rect.top; y < rect.top + 30 && found.x < 0; ++y)
                for (int x = rect.right - 1; x > rect.right - 30 && found.x < 0; --x)
                    if (dev::NonClientHitTest(box, POINT{x, y}) == HTCLOSE) found = POINT{x - 3, y + 3};
            ASSERT_GE(found.x, 0) << "no close box on the caption";
            dialogtest::TapAt(found.x, found.y);
            break;
        }
        case 2: {
            HWND cancel = GetDlgItem(box, IDCANCEL);
            ASSERT_NE(cancel, nullptr);
            TapCentre(cancel);
            break;
        }
        case 3: PostMessageW(box, WM_COMMAND, IDOK, 0); break;
        }
        EXPECT_EQ(Finish(program), c.expected);
    }
}

TEST_F(MessageBox, ShowsEvenWhenItsOwnerIsHidden) {
    DeviceProgram *program = nullptr;
    HWND box = Open(&program, MB_OK, false);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(IsWindowVisible(box));
    EXPECT_EQ(GetForegroundWindow(), box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Finish(program), IDOK);
}

} // namespace
