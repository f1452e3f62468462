// The dialog manager: templates to windows in pixels, refused templates, a
// centred picture, modal dialogs and the message box, with the program on a
// device thread of its own while the test drives the device from outside.
#include "platform/host/dialog_internal.h"
#include "tests/support/device_fixture.h"
#include "tests/support/wait_until.h"

#include "app/resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>

namespace {

using Template = dev::TemplateWriter;
using support::WaitUntil;

RECT ScreenRectOf(HWND window)
{
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    return rect;
}

// Dialog units to pixels with the device's dialog base units, rounding
// halves up as the platform's MulDiv does (units are never negative here).
int Units(int units, bool vertical)
{
    int base[2] = {0, 0};
    dev::DialogBaseUnits(&base[0], &base[1]);
    return vertical ? (units * base[1] + 4) / 8 : (units * base[0] + 2) / 4;
}

std::u16string ClassOf(HWND window)
{
    WCHAR name[64];
    std::memset(name, 0xAA, sizeof name);
    int length = GetClassNameW(window, name, 64);
    return std::u16string(name, length > 0 ? (size_t)length : 0);
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

class DialogManager : public support::DeviceTest {
protected:
    void SetUp() override
    {
        Boot();
        AdoptAsMonitor();
    }
};

TEST_F(DialogManager, BuildsTheMainTemplateControlByControlInPixels)
{
    HRSRC found = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance,
                                             (LPCDLGTEMPLATEW)LockResource(LoadResource(monitorState.instance, found)),
                                             nullptr, QuietProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ClassOf(dialog), std::u16string(DEVICE_DIALOG_CLASS));
    EXPECT_FALSE(IsWindowVisible(dialog)) << "IDD_MAIN has no WS_VISIBLE";
    const struct {
        int id;
        const char16_t *cls;
        DWORD style;
        int x, y, cx, cy; // dialog units
    } controls[] = {
        {65535, u"Static", 0x50020002, 7, 7, 60, 16},       {IDC_MEMORY_TEXT, u"Static", 0x50020000, 69, 7, 81, 16},
        {IDC_GRAPH, u"Static", 0x5000000E, 13, 26, 15, 13}, {IDC_THREADS, u"Button", 0x50010000, 7, 63, 45, 12},
        {IDC_HELP, u"Button", 0x50010000, 105, 63, 45, 12}, {IDC_HIDE, u"Button", 0x50010000, 56, 63, 45, 12},
    };
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const auto &e : controls) {
        ASSERT_NE(control, nullptr) << "fewer controls than the template has";
        SCOPED_TRACE("control " + std::to_string(e.id));
        EXPECT_EQ(GetDlgCtrlID(control), e.id);
        EXPECT_EQ(ClassOf(control), std::u16string(e.cls));
        EXPECT_EQ((DWORD)GetWindowLongW(control, GWL_STYLE), e.style);
        RECT r = ScreenRectOf(control);
        EXPECT_EQ(r.left - origin.x, Units(e.x, false));
        EXPECT_EQ(r.top - origin.y, Units(e.y, true));
        EXPECT_EQ(r.right - r.left, Units(e.cx, false));
        EXPECT_EQ(r.bottom - r.top, Units(e.cy, true));
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "more controls than the template has";
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_TRUE(client.right == Units(157, false) && client.bottom == Units(82, true))
        << "the client area has the template's size";
}

TEST_F(DialogManager, RefusesTemplatesItCannotBuildAndLeavesNothingBehind)
{
    long windowsBefore = dev::LiveObjects(dev::KindWindow);
    Template unknown(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT, 0, 0, 50, 50, u"Unknown");
    unknown.Item(WS_CHILD | WS_VISIBLE, 1, 1, 10, 10, 5, 0, u"x", u"NoSuchClass");
    EXPECT_EQ(CreateDialogIndirectParamW(monitorState.instance, unknown.Get(), nullptr, QuietProc, 0), nullptr);
    EXPECT_EQ(DialogBoxIndirectParamW(monitorState.instance, unknown.Get(), nullptr, QuietProc, 0), -1);
    EXPECT_EQ(dev::LiveObjects(dev::KindWindow), windowsBefore);
}

// A bitmap static centred in a control larger than its picture: the picture
// in the middle and the control's background all around it, with nothing
// left over from what was on the screen before.
TEST_F(DialogManager, CentredPictureHasTheBackgroundAllAroundIt)
{
    const DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SETFONT;
    Template t(style, 0, 0, 120, 90, u"Picture");
    t.Item(WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_CENTERIMAGE, 10, 10, 60, 50, 7, 0x82, u"");
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, QuietProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND control = GetDlgItem(dialog, 7);
    RECT rect = ScreenRectOf(control);
    ASSERT_GT(rect.right - rect.left, 20);
    ASSERT_GT(rect.bottom - rect.top, 20);

    // Something unlike the background on the screen where the control is.
    HDC screen = GetDC(nullptr);
    PatBlt(screen, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, BLACKNESS);
    HBITMAP picture = CreateCompatibleBitmap(screen, 8, 6);
    ReleaseDC(nullptr, screen);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, picture);
    PatBlt(memory, 0, 0, 8, 6, WHITENESS);
    SelectObject(memory, old);
    DeleteDC(memory);
    SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)picture);
    InvalidateRect(control, nullptr, TRUE);
    UpdateWindow(control);
    Pump();

    COLORREF face = GetSysColor(COLOR_BTNFACE);
    const uint32_t background = (uint32_t)GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int left = rect.left + (width - 8) / 2, top = rect.top + (height - 6) / 2;
    for (int y = rect.top; y < rect.bottom; y++)
        for (int x = rect.left; x < rect.right; x++) {
            bool inside = x >= left && x < left + 8 && y >= top && y < top + 6;
            uint32_t want = inside ? 0xFFFFFFu : background;
            ASSERT_EQ(ScreenPixel(x, y), want) << "at " << x - rect.left << "," << y - rect.top;
        }
    DestroyWindow(dialog);
    DeleteObject(picture);
}

const char16_t kBoxTitle[] = u"Dead Window!";
const char16_t kLongText[] =
    u"Whoops! One of the windows in the system seems to have become unresponsive. The window belongs to "
    u"the HangDemo class, and was created by the \\Windows\\HangDemo.exe program.";

// What the program running a modal loop saw; written on its device thread.
struct ModalRun {
    std::atomic<HWND> owner{nullptr};
    std::atomic<INT_PTR> result{-2};
    std::atomic<bool> ownerEnabledAfter{false}, done{false};
};

// The test thread stays outside the device and drives it: the program runs
// on a device thread of its own, a visible owner with a modal window.
class MessageBox : public support::DeviceTest {
protected:
    void SetUp() override { Boot(); }
    // Starts the program and finds its modal window once it shows.
    HWND Start(const char16_t *title, std::function<INT_PTR(HWND)> modal)
    {
        ModalRun *run = &state;
        dev::StartDeviceThread(0, [run, modal] {
            HWND owner = CreateWindowExW(0, u"Static", u"Owner", WS_POPUP | WS_VISIBLE, 0, 0, 120, 80, nullptr, nullptr,
                                         nullptr, nullptr);
            SetForegroundWindow(owner);
            run->owner = owner;
            run->result = modal(owner);
            run->ownerEnabledAfter = IsWindowEnabled(owner) != 0;
            DestroyWindow(owner);
            run->done = true;
        });
        HWND found = nullptr;
        WaitUntil([&] {
            found = FindWindowW(DEVICE_DIALOG_CLASS, title);
            return found && IsWindowVisible(found);
        });
        return found;
    }
    INT_PTR Finish()
    {
        return WaitUntil([this] { return state.done.load(); }) ? state.result.load() : -1000;
    }
    ModalRun state;
};

TEST_F(MessageBox, StandsCentredInFrontWithItsTextWrapped)
{
    HWND box = Start(kBoxTitle, [](HWND owner) { return MessageBoxW(owner, kLongText, kBoxTitle, MB_OK); });
    ASSERT_NE(box, nullptr) << "no visible box titled \"Dead Window!\" of the dialog class";
    EXPECT_EQ(GetWindow(box, GW_OWNER), state.owner.load());
    EXPECT_EQ(GetForegroundWindow(), box);
    EXPECT_FALSE(IsWindowEnabled(state.owner.load())) << "the box is modal to its owner";

    RECT rect = ScreenRectOf(box);
    EXPECT_GE(rect.left, 0);
    EXPECT_LE(std::abs(rect.left - (dev::ScreenWidth() - rect.right)), 1)
        << "centred: " << rect.left << ".." << rect.right;
    EXPECT_LE(rect.bottom, ScreenRectOf(FindWindowW(DEVICE_TASKBAR_CLASS, nullptr)).top) << "above the taskbar";

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
    RECT textRect = ScreenRectOf(text);
    EXPECT_LT(textRect.right - textRect.left, oneLine.cx);
    EXPECT_GE(textRect.bottom - textRect.top, 3 * metrics.tmHeight) << "the message needs at least three lines";
    EXPECT_TRUE(textRect.left >= rect.left && textRect.right <= rect.right);

    HWND ok = GetDlgItem(box, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr) << "MB_OK has no Cancel button";
    // A tap on OK, as a user presses it.
    RECT okRect = ScreenRectOf(ok);
    for (bool down : {true, false}) {
        dev::Tap((okRect.left + okRect.right) / 2, (okRect.top + okRect.bottom) / 2, down);
        dev::Settle();
    }
    EXPECT_EQ(Finish(), IDOK);
    EXPECT_TRUE(state.ownerEnabledAfter);
    EXPECT_EQ(FindWindowW(DEVICE_DIALOG_CLASS, kBoxTitle), nullptr);
}

} // namespace
