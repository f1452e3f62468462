// The dialog manager: templates to windows, the start-up messages, the
// default dialog procedure, the helpers, and modal dialogs whose loop keeps
// the owner's timers running.
#include "dialog_testing.h"

#include "app/resource.h"

#include <cstring>

using dialogtest::DeviceProgram;
using dialogtest::Only;
using dialogtest::Seen;
using dialogtest::Template;

namespace {

// What the recording dialog procedure saw and how it answers.
std::vector<Seen> seen;
INT_PTR initAnswer = TRUE;       // WM_INITDIALOG result
bool endOnCommand = true;        // WM_COMMAND ends the dialog with the command id
bool endInInit = false;          // EndDialog from WM_INITDIALOG
bool quitOnCommand = false;      // PostQuitMessage on WM_COMMAND
LONG_PTR msgResult = 0;          // DWLP_MSGRESULT for WM_USER + 1

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({dialog, message, wParam, lParam});
    switch (message) {
    case WM_INITDIALOG:
        if (endInInit) EndDialog(dialog, 7);
        return initAnswer;
    case WM_COMMAND:
        if (quitOnCommand) PostQuitMessage(5);
        if (endOnCommand) EndDialog(dialog, LOWORD(wParam) + 40);
        return TRUE;
    case WM_USER + 1:
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, msgResult);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

const DWORD kPopupDialog = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

// A dialog like the monitor's own: label, figures, graph, two buttons.
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

class DialogManager : public support::DeviceTest {
protected:
    void SetUp() override {
        seen.clear();
        initAnswer = TRUE;
        endOnCommand = true;
        endInInit = false;
        quitOnCommand = false;
        msgResult = 0;
        Boot();
        AdoptAsMonitor();
    }
};

TEST_F(DialogManager, BuildsControlsInTemplateOrderWithPixelRectangles) {
    Template t = SampleTemplate();
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, RecordingProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ClassOf(dialog), std::u16string(DEVICE_DIALOG_CLASS));

    struct Expected {
        const char16_t *cls;
        int id;
        DWORD style;
        int x, y, cx, cy;
    } expected[] = {
        {u"Static", 65535, WS_CHILD | WS_VISIBLE | SS_RIGHT, 7, 7, 60, 16},
        {u"Static", 1032, WS_CHILD | WS_VISIBLE | SS_BITMAP, 13, 26, 15, 13},
        {u"Button", 1031, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 7, 63, 45, 12},
        // WS_CHILD is added to every control, as the platform does.
        {u"Button", 1034, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 56, 63, 45, 12},
    };
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const Expected &e : expected) {
        ASSERT_NE(control, nullptr) << "fewer controls than the template has";
        SCOPED_TRACE(support::Narrow(e.cls) + " " + std::to_string(e.id));
        EXPECT_EQ(ClassOf(control), std::u16string(e.cls));
        EXPECT_EQ(GetDlgCtrlID(control), e.id);
        EXPECT_EQ((DWORD)GetWindowLongW(control, GWL_STYLE) & ~WS_DISABLED, e.style);
        RECT rect = dialogtest::ClientScreenRectOf(control);
        POINT origin = {0, 0};
        ClientToScreen(dialog, &origin);
        OffsetRect(&rect, -origin.x, -origin.y);
        EXPECT_EQ(rect.left, dialogtest::UnitsX(e.x));
        EXPECT_EQ(rect.top, dialogtest::UnitsY(e.y));
        EXPECT_EQ(rect.right - rect.left, dialogtest::UnitsX(e.cx));
        EXPECT_EQ(rect.bottom - rect.top, dialogtest::UnitsY(e.cy));
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "more controls than the template has";

    // The client area has the template's size; the frame goes around it.
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, dialogtest::UnitsX(157));
    EXPECT_EQ(client.bottom, dialogtest::UnitsY(82));
    RECT insets, window = dialogtest::ScreenRectOf(dialog);
    dev::FrameInsets((DWORD)GetWindowLongW(dialog, GWL_STYLE), (DWORD)GetWindowLongW(dialog, GWL_EXSTYLE), &insets);
    EXPECT_EQ(window.right - window.left, client.right + insets.left + insets.right);
    EXPECT_EQ(window.bottom - window.top, client.bottom + insets.top + insets.bottom);
    // Placed at 0, 0 and kept on the screen.
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 0);
    DestroyWindow(dialog);
}

TEST_F(DialogManager, StartUpMessagesReachTheProcedureInOrder) {
    Template t = SampleTemplate();
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, RecordingProc, 0x4D);
    ASSERT_NE(dialog, nullptr);
    std::vector<Seen> startup = Only(seen, {WM_SETFONT, WM_INITDIALOG, WM_CREATE, WM_NCCREATE});
    ASSERT_EQ(startup.size(), 2u) << dialogtest::Describe(startup);
    // The procedure never sees WM_CREATE; it hears of the font first, then
    // WM_INITDIALOG with the first tab stop and the caller's value.
    EXPECT_EQ(startup[0].message, (UINT)WM_SETFONT);
    EXPECT_EQ((HFONT)startup[0].wParam, dev::DialogFont());
    EXPECT_EQ(startup[1].message, (UINT)WM_INITDIALOG);
    EXPECT_EQ((HWND)startup[1].wParam, GetDlgItem(dialog, 1031));
    EXPECT_EQ(startup[1].lParam, 0x4D);
    // Answering TRUE gives the focus to that control.
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 1031));
    // The controls heard of the font too.
    EXPECT_EQ((HFONT)SendDlgItemMessageW(dialog, 1031, WM_GETFONT, 0, 0), dev::DialogFont());
    EXPECT_EQ((HFONT)SendMessageW(dialog, WM_GETFONT, 0, 0), dev::DialogFont());
    DestroyWindow(dialog);
}

TEST_F(DialogManager, VisibleOnlyWhenTheTemplateSaysSo) {
    for (bool visible : {false, true}) {
        Template t = SampleTemplate(kPopupDialog | (visible ? WS_VISIBLE : 0));
        HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, QuietProc, 0);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(IsWindowVisible(dialog) != 0, visible) << "WS_VISIBLE in the template: " << visible;
        DestroyWindow(dialog);
    }
}

TEST_F(DialogManager, RefusesTemplatesItCannotBuildAndLeavesNothingBehind) {
    long windowsBefore = dev::LiveObjects(dev::KindWindow);
    Template unknown(kPopupDialog, 0, 0, 50, 50, u"Unknown");
    unknown.Item(WS_CHILD | WS_VISIBLE, 1, 1, 10, 10, 5, 0, u"x", u"NoSuchClass");
    EXPECT_EQ(CreateDialogIndirectParamW(monitorState.instance, unknown.Get(), nullptr, QuietProc, 0), nullptr);
    EXPECT_EQ(DialogBoxIndirectParamW(monitorState.instance, unknown.Get(), nullptr, QuietProc, 0), -1);

    // An extended template (version 1, signature 0xFFFF) is not read.
    WORD extended[32] = {1, 0xFFFF};
    EXPECT_EQ(DialogBoxIndirectParamW(monitorState.instance, (LPCDLGTEMPLATEW)extended, nullptr, QuietProc, 0), -1);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), windowsBefore);
}

TEST_F(DialogManager, CreationDataReachesTheControl) {
    // An item's creation data arrives as lpCreateParams: a word with the
    // count of the bytes that follow it, then those bytes.
    static std::vector<BYTE> received;
    struct Local {
        static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_CREATE) {
                const BYTE *data = (const BYTE *)((CREATESTRUCTW *)lParam)->lpCreateParams;
                WORD size;
                std::memcpy(&size, data, 2);
                received.assign(data + 2, data + 2 + size);
            }
            return DefWindowProcW(window, message, wParam, lParam);
        }
    };
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Local::Proc;
    wc.lpszClassName = u"DataTaker";
    ASSERT_NE(RegisterClassW(&wc), 0);
    received.clear();
    Template t(kPopupDialog, 0, 0, 50, 50, u"Data");
    t.Item(WS_CHILD | WS_VISIBLE, 1, 1, 10, 10, 5, 0, u"x", u"DataTaker", {0xAB, 0xCD, 0xEF, 0x01});
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, QuietProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(received, (std::vector<BYTE>{0xAB, 0xCD, 0xEF, 0x01}));
    DestroyWindow(dialog);
}

TEST_F(DialogManager, CloseBecomesCancelUnlessCancelIsDisabled) {
    struct Case {
        const char *what;
        bool withCancel;
        bool cancelEnabled;
        bool expectCommand;
    } cases[] = {
        {"no Cancel button", false, false, true},
        {"enabled Cancel button", true, true, true},
        {"disabled Cancel button", true, false, false},
    };
    endOnCommand = false;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Template t(kPopupDialog, 0, 0, 80, 40, u"Closing");
        if (c.withCancel)
            t.Item(WS_CHILD | WS_VISIBLE | (c.cancelEnabled ? 0 : WS_DISABLED), 5, 5, 40, 14, IDCANCEL, 0x80,
                   u"Cancel");
        HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, RecordingProc, 0);
        ASSERT_NE(dialog, nullptr);
        seen.clear();
        SendMessageW(dialog, WM_CLOSE, 0, 0);
        Pump();
        std::vector<Seen> got = Only(seen, {WM_CLOSE, WM_COMMAND});
        ASSERT_EQ(got.size(), c.expectCommand ? 2u : 1u) << dialogtest::Describe(got);
        if (c.expectCommand) {
            // Posted, with the Cancel button (or nothing) as the sender.
            EXPECT_EQ(got[1].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
            EXPECT_EQ((HWND)got[1].lParam, c.withCancel ? GetDlgItem(dialog, IDCANCEL) : nullptr);
        }
        EXPECT_TRUE(IsWindow(dialog)) << "the default handling only asks; it closes nothing";
        DestroyWindow(dialog);
    }
}

TEST_F(DialogManager, ResultsComeFromMsgResultOrTheProcedureItself) {
    Template t = SampleTemplate();
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, RecordingProc, 0);
    ASSERT_NE(dialog, nullptr);
    msgResult = 0x1234;
    EXPECT_EQ(SendMessageW(dialog, WM_USER + 1, 0, 0), 0x1234);
    // A procedure that leaves WM_CTLCOLORSTATIC alone gets the button face.
    HDC dc = GetDC(dialog);
    EXPECT_EQ((HBRUSH)SendMessageW(dialog, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)GetDlgItem(dialog, 1032)),
              GetSysColorBrush(COLOR_BTNFACE));
    ReleaseDC(dialog, dc);
    DestroyWindow(dialog);
}

TEST_F(DialogManager, ItemHelpers) {
    Template t = SampleTemplate();
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, QuietProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(SetDlgItemTextW(dialog, 1031, u"Renamed"));
    WCHAR text[32];
    std::memset(text, 0xAA, sizeof text);
    EXPECT_EQ(GetDlgItemTextW(dialog, 1031, text, 32), 7u);
    EXPECT_EQ(std::u16string(text), u"Renamed");
    // Too small a buffer: cut and terminated.
    std::memset(text, 0xAA, sizeof text);
    EXPECT_EQ(GetDlgItemTextW(dialog, 1031, text, 4), 3u);
    EXPECT_EQ(std::u16string(text), u"Ren");
    // No such control: an empty text and nothing else.
    std::memset(text, 0xAA, sizeof text);
    EXPECT_EQ(GetDlgItemTextW(dialog, 4242, text, 32), 0u);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(SendDlgItemMessageW(dialog, 4242, WM_GETTEXTLENGTH, 0, 0), 0);
    // The label's identifier reads back as the template's 16-bit word, so
    // -1 finds nothing, as on the platform.
    EXPECT_EQ(GetDlgItem(dialog, 0xFFFF), GetWindow(dialog, GW_CHILD));
    EXPECT_EQ(GetDlgItem(dialog, -1), nullptr);

    RECT rect = {7, 7, 60, 16};
    EXPECT_TRUE(MapDialogRect(dialog, &rect));
    EXPECT_EQ(rect.left, dialogtest::UnitsX(7));
    EXPECT_EQ(rect.top, dialogtest::UnitsY(7));
    EXPECT_EQ(rect.right, dialogtest::UnitsX(60));
    EXPECT_EQ(rect.bottom, dialogtest::UnitsY(16));
    RECT untouched = {1, 2, 3, 4};
    EXPECT_FALSE(MapDialogRect(GetDlgItem(dialog, 1031), &untouched));
    EXPECT_EQ(untouched.right, 3);
    DestroyWindow(dialog);
}

TEST_F(DialogManager, MonitorTemplatesBuildAsTheResourcesSay) {
    HRSRC found = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance,
                                             (LPCDLGTEMPLATEW)LockResource(LoadResource(monitorState.instance, found)),
                                             nullptr, QuietProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(FindWindowW(DEVICE_DIALOG_CLASS, u"Performance Monitor"), dialog);
    EXPECT_FALSE(IsWindowVisible(dialog)) << "IDD_MAIN has no WS_VISIBLE";
    struct Expected {
        int id;
        const char16_t *cls;
        DWORD style;
        int x, y, cx, cy;
    } expected[] = {
        {65535, u"Static", 0x50020002, 7, 7, 60, 16},  {IDC_MEMORY_TEXT, u"Static", 0x50020000, 69, 7, 39, 16},
        {IDC_GRAPH, u"Static", 0x5000000E, 13, 26, 15, 13}, {IDC_THREADS, u"Button", 0x50010000, 7, 63, 45, 12},
        {IDC_HELP, u"Button", 0x50010000, 105, 63, 45, 12}, {IDC_HIDE, u"Button", 0x50010000, 56, 63, 45, 12},
    };
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const Expected &e : expected) {
        ASSERT_NE(control, nullptr);
        SCOPED_TRACE(e.id);
        EXPECT_EQ(GetDlgCtrlID(control), e.id);
        EXPECT_EQ(ClassOf(control), std::u16string(e.cls));
        EXPECT_EQ((DWORD)GetWindowLongW(control, GWL_STYLE), e.style);
        RECT rect;
        GetWindowRect(control, &rect);
        POINT origin = {0, 0};
        ClientToScreen(dialog, &origin);
        EXPECT_EQ(rect.left - origin.x, dialogtest::UnitsX(e.x));
        EXPECT_EQ(rect.top - origin.y, dialogtest::UnitsY(e.y));
        EXPECT_EQ(rect.right - rect.left, dialogtest::UnitsX(e.cx));
        EXPECT_EQ(rect.bottom - rect.top, dialogtest::UnitsY(e.cy));
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr);
    // The graph static takes the size of the bitmap put into it.
    HDC screen = GetDC(nullptr);
    HBITMAP graph = CreateCompatibleBitmap(screen, 200, 40);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_GRAPH, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)graph), 0);
    RECT rect;
    GetWindowRect(GetDlgItem(dialog, IDC_GRAPH), &rect);
    EXPECT_EQ(rect.right - rect.left, 200);
    EXPECT_EQ(rect.bottom - rect.top, 40);
    DestroyWindow(dialog);
    DeleteObject(graph);

    found = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(IDD_THREADS), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    dialog = CreateDialogIndirectParamW(monitorState.instance,
                                        (LPCDLGTEMPLATEW)LockResource(LoadResource(monitorState.instance, found)),
                                        nullptr, QuietProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND list = GetWindow(dialog, GW_CHILD);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(GetDlgCtrlID(list), IDC_THREAD_LIST);
    EXPECT_EQ(ClassOf(list), std::u16string(u"SysListView32"));
    EXPECT_EQ((DWORD)GetWindowLongW(list, GWL_STYLE), 0x50810001u);
    EXPECT_EQ(GetWindow(list, GW_HWNDNEXT), nullptr);
    RECT listRect = dialogtest::ScreenRectOf(list);
    EXPECT_EQ(listRect.right - listRect.left, dialogtest::UnitsX(143));
    EXPECT_EQ(listRect.bottom - listRect.top, dialogtest::UnitsY(148));
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------- modal

// A program with an owner window that counts its timer, running a modal
// dialog from the template.
struct ModalRun {
    std::atomic<HWND> owner{nullptr};
    std::atomic<int> ownerTimers{0};
    std::atomic<INT_PTR> result{-2};
    std::atomic<bool> ownerEnabledAfter{false};
    std::atomic<bool> quitReposted{false};
};
ModalRun *run = nullptr;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && run) ++run->ownerTimers;
    return DefWindowProcW(window, message, wParam, lParam);
}

void ModalBody(std::vector<WORD> words) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = u"ModalOwner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowExW(0, u"ModalOwner", u"Owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    SetForegroundWindow(owner);
    SetTimer(owner, 1, 100, nullptr);
    run->owner = owner;
    run->result = DialogBoxIndirectParamW(nullptr, (LPCDLGTEMPLATEW)words.data(), owner, RecordingProc, 0);
    run->ownerEnabledAfter = IsWindowEnabled(owner) != 0;
    MSG msg;
    run->quitReposted = PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 5;
    KillTimer(owner, 1);
    DestroyWindow(owner);
}

// The test thread stays outside the device and drives it: the program runs
// on a device thread of its own.
class ModalDialog : public support::DeviceTest {
protected:
    void SetUp() override {
        seen.clear();
        initAnswer = TRUE;
        endOnCommand = true;
        endInInit = false;
        quitOnCommand = false;
        Boot();
        run = &state;
    }
    void TearDown() override {
        run = nullptr;
        support::DeviceTest::TearDown();
    }
    HWND WaitForDialog(const char16_t *title) {
        HWND found = nullptr;
        dialogtest::WaitUntil([&] { return (found = FindWindowW(DEVICE_DIALOG_CLASS, title)) != nullptr; });
        return found;
    }
    ModalRun state;
};

TEST_F(ModalDialog, OwnerTimersRunBehindItAndEndDialogGivesTheResult) {
    Template t = SampleTemplate();
    DeviceProgram program([words = t.Words()] { ModalBody(words); });
    HWND dialog = WaitForDialog(u"Sample");
    ASSERT_NE(dialog, nullptr);
    dialogtest::WaitUntil([&] { return IsWindowVisible(dialog) != 0; });
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_FALSE(IsWindowEnabled(run->owner.load())) << "the owner takes no input while the dialog is up";
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), run->owner.load());

    int before = run->ownerTimers;
    dev::AdvanceClock(1000);
    EXPECT_GE(run->ownerTimers - before, 9) << "the modal loop must dispatch the owner's timer";

    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1031, BN_CLICKED), 0);
    ASSERT_TRUE(program.Wait());
    EXPECT_EQ(run->result.load(), 1031 + 40);
    EXPECT_TRUE(run->ownerEnabledAfter);
    EXPECT_FALSE(IsWindow(dialog)) << "DialogBox destroys the dialog before it returns";
}

TEST_F(ModalDialog, EndDialogDuringInitialisationNeverShowsIt) {
    endInInit = true;
    Template t = SampleTemplate();
    DeviceProgram program([words = t.Words()] { ModalBody(words); });
    ASSERT_TRUE(program.Wait());
    EXPECT_EQ(run->result.load(), 7);
    EXPECT_TRUE(run->ownerEnabledAfter);
    EXPECT_TRUE(Only(seen, {WM_COMMAND}).empty());
}

TEST_F(ModalDialog, QuitMessageEndsTheLoopAndIsPostedAgain) {
    endOnCommand = false;
    quitOnCommand = true;
    Template t = SampleTemplate();
    DeviceProgram program([words = t.Words()] { ModalBody(words); });
    HWND dialog = WaitForDialog(u"Sample");
    ASSERT_NE(dialog, nullptr);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(program.Wait());
    EXPECT_TRUE(run->quitReposted) << "the application's own loop must still see WM_QUIT";
    EXPECT_TRUE(run->ownerEnabledAfter);
    EXPECT_FALSE(IsWindow(dialog));
}

} // namespace
