// The dialog manager: templates to windows and the start-up messages; modal
// dialogs and the message box.
#include "dialog_testing.h"

#include "app/resource.h"

#include <cstring>

using dialogtest::DeviceProgram;
using dialogtest::Only;
using dialogtest::Seen;
using dialogtest::Template;
using dialogtest::UnitsX;
using dialogtest::UnitsY;

namespace {

// What the recording dialog procedure saw and how it answers.
std::vector<Seen> seen;

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({dialog, message, wParam, lParam});
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        EndDialog(dialog, LOWORD(wParam) + 40);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

const DWORD kPopupDialog = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

// A dialog like the monitor's own: label, graph, two buttons, the last
// without WS_CHILD.
Template SampleTemplate(DWORD style = kPopupDialog) {
    Template t(style, 0, 0, 157, 82, u"Sample");
    t.Item(WS_CHILD | WS_VISIBLE | SS_RIGHT, 7, 7, 60, 16, 0xFFFF, 0x82, u"Label:")
        .Item(WS_CHILD | WS_VISIBLE | SS_BITMAP, 13, 26, 15, 13, 1032, 0x82, u"")
        .Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 7, 63, 45, 12, 1031, 0x80, u"Threads")
        .Item(WS_VISIBLE | WS_TABSTOP, 56, 63, 45, 12, 1034, 0x80, u"Hide");
    return t;
}

std::u16string ClassOf(HWND window) {
    WCHAR name[64];
    std::memset(name, 0xAA, sizeof name);
    int length = GetClassNameW(window, name, 64);
    return std::u16string(name, length > 0 ? (size_t)length : 0);
}

// One control as its template gives it, the rectangle in dialog units.
struct Control {
    int id;
    const char16_t *cls;
    DWORD style;
    int x, y, cx, cy;
};

void ExpectControls(HWND dialog, std::initializer_list<Control> expected) {
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const Control &e : expected) {
        ASSERT_NE(control, nullptr) << "fewer controls than the template has";
        SCOPED_TRACE("control " + std::to_string(e.id));
        EXPECT_EQ(GetDlgCtrlID(control), e.id);
        EXPECT_EQ(ClassOf(control), std::u16string(e.cls));
        EXPECT_EQ((DWORD)GetWindowLongW(control, GWL_STYLE), e.style);
        RECT r = dialogtest::ScreenRectOf(control);
        EXPECT_EQ(r.left - origin.x, UnitsX(e.x));
        EXPECT_EQ(r.top - origin.y, UnitsY(e.y));
        EXPECT_EQ(r.right - r.left, UnitsX(e.cx));
        EXPECT_EQ(r.bottom - r.top, UnitsY(e.cy));
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "more controls than the template has";
}

class DialogManager : public support::DeviceTest {
protected:
    void SetUp() override {
        seen.clear();
        Boot();
        AdoptAsMonitor();
    }
    HWND Create(const Template &t, DLGPROC proc = RecordingProc, LPARAM param = 0) {
        return CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, proc, param);
    }
    HWND FromResource(int id) {
        HRSRC found = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(id), RT_DIALOG);
        if (!found) return nullptr;
        HGLOBAL loaded = LoadResource(monitorState.instance, found);
        return CreateDialogIndirectParamW(monitorState.instance, (LPCDLGTEMPLATEW)LockResource(loaded), nullptr,
                                          QuietProc, 0);
    }
};

TEST_F(DialogManager, BuildsTheMainTemplateControlByControlInPixels) {
    HWND dialog = FromResource(IDD_MAIN);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ClassOf(dialog), std::u16string(DEVICE_DIALOG_CLASS));
    EXPECT_EQ(FindWindowW(DEVICE_DIALOG_CLASS, u"Performance Monitor"), dialog);
    EXPECT_FALSE(IsWindowVisible(dialog)) << "IDD_MAIN has no WS_VISIBLE";
    ExpectControls(dialog, {
                               {65535, u"Static", 0x50020002, 7, 7, 60, 16},
                               {IDC_MEMORY_TEXT, u"Static", 0x50020000, 69, 7, 81, 16},
                               {IDC_GRAPH, u"Static", 0x5000000E, 13, 26, 15, 13},
                               {IDC_THREADS, u"Button", 0x50010000, 7, 63, 45, 12},
                               {IDC_HELP, u"Button", 0x50010000, 105, 63, 45, 12},
                               {IDC_HIDE, u"Button", 0x50010000, 56, 63, 45, 12},
                           });
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, UnitsX(157)) << "the client area has the template's size";
    EXPECT_EQ(client.bottom, UnitsY(82));
    DestroyWindow(dialog);
}

TEST_F(DialogManager, StartUpMessagesReachTheProcedureInOrder) {
    HWND dialog = Create(SampleTemplate(kPopupDialog | WS_VISIBLE), RecordingProc, 0x4D);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog)) << "WS_VISIBLE in the template shows it";
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, 1034), GWL_STYLE) & WS_CHILD) << "added to every control";
    std::vector<Seen> startup = Only(seen, {WM_SETFONT, WM_INITDIALOG, WM_CREATE, WM_NCCREATE});
    ASSERT_EQ(startup.size(), 2u) << dialogtest::Describe(startup);
    // The procedure never sees WM_CREATE; it hears of the font first, then
    // WM_INITDIALOG with the first tab stop and the caller's value.
    EXPECT_EQ(startup[0].message, (UINT)WM_SETFONT);
    EXPECT_EQ((HFONT)startup[0].wParam, dev::DialogFont());
    EXPECT_EQ(startup[1].message, (UINT)WM_INITDIALOG);
    EXPECT_EQ((HWND)startup[1].wParam, GetDlgItem(dialog, 1031));
    EXPECT_EQ(startup[1].lParam, 0x4D);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 1031)) << "answering TRUE gives that control the focus";
    EXPECT_EQ((HFONT)SendDlgItemMessageW(dialog, 1031, WM_GETFONT, 0, 0), dev::DialogFont());
    DestroyWindow(dialog);
}

TEST_F(DialogManager, RefusesTemplatesItCannotBuildAndLeavesNothingBehind) {
    long windowsBefore = dev::LiveObjects(dev::KindWindow);
    Template unknown(kPopupDialog, 0, 0, 50, 50, u"Unknown");
    unknown.Item(WS_CHILD | WS_VISIBLE, 1, 1, 10, 10, 5, 0, u"x", u"NoSuchClass");
    EXPECT_EQ(Create(unknown, QuietProc), nullptr);
    EXPECT_EQ(DialogBoxIndirectParamW(monitorState.instance, unknown.Get(), nullptr, QuietProc, 0), -1);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), windowsBefore);
}

const char16_t kBoxTitle[] = u"Dead Window!";
const char16_t kLongText[] =
    u"Whoops! One of the windows in the system seems to have become unresponsive. The window belongs to "
    u"the HangDemo class, and was created by the \\Windows\\HangDemo.exe program.";

// What the program running a modal loop saw.
struct ModalRun {
    std::atomic<HWND> owner{nullptr};
    std::atomic<INT_PTR> result{-2};
    std::atomic<bool> ownerEnabledAfter{false};
};
ModalRun *run = nullptr;

void OwnerBody(bool ownerVisible, const std::function<INT_PTR(HWND)> &modal) {
    HWND owner = CreateWindowExW(0, u"Static", u"Owner", WS_POPUP | (ownerVisible ? WS_VISIBLE : 0), 0, 0, 120, 80,
                                 nullptr, nullptr, nullptr, nullptr);
    if (ownerVisible) SetForegroundWindow(owner);
    run->owner = owner;
    run->result = modal(owner);
    run->ownerEnabledAfter = IsWindowEnabled(owner) != 0;
    DestroyWindow(owner);
}

// The test thread stays outside the device and drives it: the program runs
// on a device thread of its own.
class ModalDialog : public support::DeviceTest {
protected:
    void SetUp() override {
        seen.clear();
        Boot();
        run = &state;
    }
    void TearDown() override {
        run = nullptr;
        support::DeviceTest::TearDown();
    }
    // Starts the program and finds its modal window once it shows.
    HWND Start(const char16_t *title, bool ownerVisible, std::function<INT_PTR(HWND)> modal) {
        program = std::make_unique<DeviceProgram>([ownerVisible, modal] { OwnerBody(ownerVisible, modal); });
        HWND found = nullptr;
        dialogtest::WaitUntil(
            [&] { return (found = FindWindowW(DEVICE_DIALOG_CLASS, title)) != nullptr && IsWindowVisible(found); });
        return found;
    }
    HWND StartDialog() {
        return Start(u"Sample", true, [words = SampleTemplate().Words()](HWND owner) {
            return DialogBoxIndirectParamW(nullptr, (LPCDLGTEMPLATEW)words.data(), owner, RecordingProc, 0);
        });
    }
    HWND StartBox(UINT type, bool ownerVisible = true, const char16_t *text = kLongText) {
        return Start(kBoxTitle, ownerVisible,
                     [type, text](HWND owner) { return MessageBoxW(owner, text, kBoxTitle, type); });
    }
    INT_PTR Finish() { return program->Wait() ? run->result.load() : -1000; }
    void TapCentre(HWND window) {
        RECT rect = dialogtest::ScreenRectOf(window);
        dialogtest::TapAt((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    ModalRun state;
    std::unique_ptr<DeviceProgram> program;
};

using MessageBox = ModalDialog;

// The owner's timers behind the loop are the monitor's own tests' business.
TEST_F(ModalDialog, DisablesTheOwnerUntilEndDialogGivesTheResult) {
    HWND dialog = StartDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(run->owner.load())) << "the owner takes no input while the dialog is up";
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), run->owner.load());
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1031, BN_CLICKED), 0);
    EXPECT_EQ(Finish(), 1031 + 40);
    EXPECT_TRUE(run->ownerEnabledAfter);
    EXPECT_FALSE(IsWindow(dialog)) << "DialogBox destroys the dialog before it returns";
}

TEST_F(MessageBox, StandsCentredInFrontWithItsTextWrapped) {
    HWND box = StartBox(MB_OK);
    ASSERT_NE(box, nullptr) << "no visible box titled \"Dead Window!\" of the dialog class";
    EXPECT_EQ(GetWindow(box, GW_OWNER), run->owner.load());
    EXPECT_EQ(GetForegroundWindow(), box);
    EXPECT_FALSE(IsWindowEnabled(run->owner.load())) << "the box is modal to its owner";

    RECT rect = dialogtest::ScreenRectOf(box);
    EXPECT_GE(rect.left, 0);
    EXPECT_LE(std::abs(rect.left - (dev::ScreenWidth() - rect.right)), 1) << "centred: " << rect.left << ".."
                                                                          << rect.right;
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
    EXPECT_EQ(Finish(), IDOK);
    EXPECT_TRUE(run->ownerEnabledAfter);
    EXPECT_EQ(FindWindowW(DEVICE_DIALOG_CLASS, kBoxTitle), nullptr);
}

TEST_F(MessageBox, ShowsInFrontOfAHiddenOwnerAndALiftOnItsCloseBoxAnswersCancel) {
    HWND box = StartBox(MB_OK, false, u"Short.");
    ASSERT_NE(box, nullptr) << "the box shows even when its owner is hidden";
    EXPECT_EQ(GetForegroundWindow(), box);
    POINT closeBox = dialogtest::CloseBoxPoint(box);
    ASSERT_GE(closeBox.x, 0) << "no close box on the caption";
    // Pressed, then slid off to the caption before lifting: nothing.
    dev::Tap(closeBox.x, closeBox.y, true);
    dev::Settle();
    dev::Tap(dialogtest::ScreenRectOf(box).left + 30, closeBox.y, false);
    dev::Settle();
    EXPECT_TRUE(IsWindowVisible(box));
    dialogtest::TapAt(closeBox.x, closeBox.y);
    // Closing an OK-only box answers Cancel, as the reference platform does.
    EXPECT_EQ(Finish(), IDCANCEL);
}

} // namespace
